#include "sim/device.h"

#include <algorithm>
#include <cmath>

namespace sim {

using namespace usb_chip;

namespace {

constexpr std::uintptr_t kHandleBase = 0x51D0000;
// The pump looks again at least this often, whatever is due.
constexpr double kLongestWait = 0.5;

}  // namespace

Device::Device(Scenario scenario, Notify notify, ScenarioGates gates)
    : notify_(std::move(notify)), core_(std::move(scenario)) {
  core_.SetGates(std::move(gates));
}

Device::~Device() {
  std::unique_lock<std::mutex> lock(mutex_);
  session_ = 0;
  core_.Close();
  StopPump(lock);
}

double Device::Now() const {
  return std::chrono::duration<double>(Clock::now() - start_).count();
}

Device::Clock::time_point Device::At(double seconds) const {
  return start_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

Status Device::Validate(Handle handle) const {
  const auto value = reinterpret_cast<std::uintptr_t>(handle);
  if (session_ == 0 || value != session_) return kInvalidHandle;
  return core_.SessionLost() ? kIoError : kOk;
}

void Device::AdvanceLocked(double now) {
  const bool wasLost = core_.SessionLost();
  const int arrived = core_.Advance(now);
  if (arrived > 0 && (eventMask_ & kEventRxChar) && eventHandle_ && notify_) notify_(eventHandle_);
  if (arrived > 0 || core_.SessionLost() != wasLost) changed_.notify_all();
}

void Device::Pump() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopPump_) {
    const double wake = std::min(core_.NextEvent(), Now() + kLongestWait);
    changed_.wait_until(lock, At(wake));
    if (stopPump_) break;
    AdvanceLocked();
  }
}

void Device::StopPump(std::unique_lock<std::mutex>& lock) {
  if (!pump_.joinable()) return;
  stopPump_ = true;
  changed_.notify_all();
  std::thread pump = std::move(pump_);
  lock.unlock();
  pump.join();
  lock.lock();
  stopPump_ = false;
}

Status Device::Open(const std::string& description, Handle* handle) {
  if (!handle) return kInvalidParameter;
  std::unique_lock<std::mutex> lock(mutex_);
  const int result = core_.Open(description, Now());
  if (result != kOk) return static_cast<Status>(result);
  session_ = kHandleBase + ++sessions_;
  readTimeoutMs_ = 0;
  eventMask_ = 0;
  eventHandle_ = nullptr;
  *handle = reinterpret_cast<Handle>(session_);
  if (!pump_.joinable()) pump_ = std::thread(&Device::Pump, this);
  return kOk;
}

Status Device::Close(Handle handle) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (Validate(handle) == kInvalidHandle) return kInvalidHandle;
  session_ = 0;
  core_.Close();
  changed_.notify_all();
  StopPump(lock);
  return kOk;
}

Status Device::Read(Handle handle, void* buffer, Count count, Count* got) {
  if (!got || (!buffer && count > 0)) return kInvalidParameter;
  *got = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  const double deadline = readTimeoutMs_ ? Now() + readTimeoutMs_ / 1000.0
                                         : std::numeric_limits<double>::infinity();
  for (;;) {
    // One clock reading for both: with two, a thread held up between them
    // could pass the deadline with fields due before it still unqueued, and
    // return short in the middle of a stream.
    const double now = Now();
    AdvanceLocked(now);
    const Status status = Validate(handle);
    if (status != kOk) return status;
    if (core_.Queued() >= count || now >= deadline) {
      *got = static_cast<Count>(core_.Take(static_cast<std::uint8_t*>(buffer), count));
      return kOk;
    }
    const double wake = std::min({deadline, core_.NextEvent(), Now() + kLongestWait});
    changed_.wait_until(lock, At(wake));
  }
}

Status Device::Write(Handle handle, const void* buffer, Count count, Count* written) {
  if (!written || (!buffer && count > 0)) return kInvalidParameter;
  *written = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  AdvanceLocked();
  const Status status = Validate(handle);
  if (status != kOk) return status;
  core_.Write(static_cast<const char*>(buffer), count, Now());
  *written = count;
  changed_.notify_all();  // the scenario clock may just have started
  return kOk;
}

Status Device::Purge(Handle handle, Count mask) {
  std::unique_lock<std::mutex> lock(mutex_);
  AdvanceLocked();
  const Status status = Validate(handle);
  if (status != kOk) return status;
  if (mask & kPurgeRx) core_.Purge();
  return kOk;
}

Status Device::Reset(Handle handle) {
  std::unique_lock<std::mutex> lock(mutex_);
  AdvanceLocked();
  const Status status = Validate(handle);
  if (status != kOk) return status;
  core_.Purge();
  return kOk;
}

Status Device::SetTimeouts(Handle handle, Count readMs, Count writeMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  const Status status = Validate(handle);
  if (status != kOk) return status;
  readTimeoutMs_ = readMs;
  return kOk;
}

Status Device::SetEventNotification(Handle handle, Count mask, void* eventHandle) {
  std::unique_lock<std::mutex> lock(mutex_);
  const Status status = Validate(handle);
  if (status != kOk) return status;
  eventMask_ = mask;
  eventHandle_ = eventHandle;
  return kOk;
}

Status Device::GetStatus(Handle handle, Count* rxBytes, Count* txBytes, Count* eventStatus) {
  std::unique_lock<std::mutex> lock(mutex_);
  AdvanceLocked();
  const Status status = Validate(handle);
  if (status != kOk) return status;
  if (rxBytes) *rxBytes = static_cast<Count>(core_.Queued());
  if (txBytes) *txBytes = 0;
  if (eventStatus) *eventStatus = 0;
  return kOk;
}

Status Device::Check(Handle handle) {
  std::unique_lock<std::mutex> lock(mutex_);
  return Validate(handle);
}

bool Device::Idle() {
  std::unique_lock<std::mutex> lock(mutex_);
  return session_ == 0;
}

std::vector<std::string> Device::TrackerCommands() {
  std::unique_lock<std::mutex> lock(mutex_);
  return core_.GetTracker().Commands();
}

}  // namespace sim
