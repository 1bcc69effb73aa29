#include "sim/device_core.h"

#include <algorithm>
#include <cmath>

#include "app/acquisition/usb_chip_api.h"

namespace sim {

namespace {

constexpr double kNever = std::numeric_limits<double>::infinity();

}  // namespace

DeviceCore::DeviceCore(Scenario scenario)
    : scenario_(std::move(scenario)),
      tracker_(scenario_.unitVersion, scenario_.trackerSelection, scenario_.SecondReceiver(),
               [this](int port) {
                 return scenario_.PortPose(port, std::max(0.0, ScenarioTime(now_))).t;
               }),
      unit_(scenario_, tracker_) {}

bool DeviceCore::Plugged(double t) const {
  for (const Unplug& u : scenario_.unplugs) {
    if (t >= u.at && (!u.replug || t < *u.replug)) return false;
  }
  return true;
}

const Press* DeviceCore::PressAt(double t) const {
  const auto it = std::upper_bound(scenario_.presses.begin(), scenario_.presses.end(), t,
                                   [](double v, const Press& p) { return v < p.start; });
  if (it == scenario_.presses.begin()) return nullptr;
  const Press& p = *(it - 1);
  return t < p.end ? &p : nullptr;
}

bool DeviceCore::Paused(double t) const {
  for (const Fault& f : scenario_.faults) {
    if (f.kind == Fault::kPause && t >= f.start && t < f.end) return true;
  }
  return false;
}

void DeviceCore::SetOrigin(double now) {
  if (originSet_) return;
  originSet_ = true;
  origin_ = now;
  nextField_ = 0;
}

int DeviceCore::Open(const std::string& description, double now) {
  Advance(now);
  const double t = ScenarioTime(now);
  ++opens_;
  if (opens_ <= scenario_.openBusy) return usb_chip::kInvalidHandle;
  if (opens_ <= scenario_.openBusy + scenario_.openNotFound) return usb_chip::kDeviceNotFound;
  if (description != usb_chip::kDeviceDescription) return usb_chip::kDeviceNotFound;
  if (originSet_ && !Plugged(t)) return usb_chip::kDeviceNotFound;
  if (open_ && !lost_) return usb_chip::kInvalidHandle;
  open_ = true;
  lost_ = false;
  queue_.clear();
  if (scenario_.origin == Scenario::kOpen) SetOrigin(now);
  return usb_chip::kOk;
}

void DeviceCore::Close() {
  open_ = false;
  lost_ = false;
  queue_.clear();
}

void DeviceCore::HoldAtWait() {
  if (!gates_.released) return;
  while (nextWait_ < scenario_.waits.size()) {
    const Wait& wait = scenario_.waits[nextWait_];
    if (now_ - origin_ < wait.at) return;
    if (!waitReached_) {
      waitReached_ = true;
      if (gates_.reached) gates_.reached(wait.name);
    }
    if (!gates_.released(wait.name)) {
      origin_ = now_ - wait.at;
      return;
    }
    ++nextWait_;
    waitReached_ = false;
  }
}

int DeviceCore::Advance(double now) {
  now_ = std::max(now_, now);
  if (!originSet_) return 0;
  HoldAtWait();
  int queued = 0;
  for (;;) {
    const double t = ProcessingUnit::FieldTime(nextField_);
    const double due = origin_ + ProcessingUnit::FieldTime(nextField_ + 1);
    if (due > now_) break;
    if (open_ && !Plugged(due - origin_)) LoseSession();
    const Press* press = PressAt(t);
    if (press && open_ && !lost_ && !Paused(t)) {
      const std::vector<std::uint8_t> field = unit_.MakeField(nextField_, press->kind);
      if (queue_.size() + field.size() > kQueueLimit) {
        ++fieldsDropped_;  // the chip's buffer is full: the unit's field is lost
      } else {
        queue_.insert(queue_.end(), field.begin(), field.end());
        ++fieldsQueued_;
        ++queued;
      }
    }
    ++nextField_;
  }
  if (open_ && !Plugged(now_ - origin_)) LoseSession();
  return queued;
}

void DeviceCore::LoseSession() {
  lost_ = true;
  queue_.clear();
}

double DeviceCore::NextEvent() const {
  if (!originSet_) return kNever;
  double next = origin_ + ProcessingUnit::FieldTime(nextField_ + 1);
  const double t = now_ - origin_;
  for (const Unplug& u : scenario_.unplugs) {
    if (u.at > t) next = std::min(next, origin_ + u.at);
    if (u.replug && *u.replug > t) next = std::min(next, origin_ + *u.replug);
  }
  return next;
}

std::size_t DeviceCore::Take(std::uint8_t* out, std::size_t count) {
  const std::size_t n = std::min(count, queue_.size());
  std::copy(queue_.begin(), queue_.begin() + static_cast<long>(n), out);
  queue_.erase(queue_.begin(), queue_.begin() + static_cast<long>(n));
  return n;
}

void DeviceCore::Write(const char* bytes, std::size_t count, double now) {
  Advance(now);
  tracker_.Receive(bytes, count);
  if (scenario_.origin == Scenario::kTrackerStart && tracker_.Started()) SetOrigin(now);
}

}  // namespace sim
