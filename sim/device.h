// The stand-in for the USB chip's library: the simulated processing unit
// (sim/device_core.h) behind the calls the acquisition code makes, on the
// steady clock, with a thread that queues each field when it falls due and
// signals the host's event on every arrival.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "app/acquisition/usb_chip_api.h"
#include "sim/device_core.h"

namespace sim {

// Signals the host's event (the Win32 event given to the library).
using Notify = std::function<void(void* eventHandle)>;

class Device {
 public:
  Device(Scenario scenario, Notify notify, ScenarioGates gates = {});
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  usb_chip::Status Open(const std::string& description, usb_chip::Handle* handle);
  usb_chip::Status Close(usb_chip::Handle handle);
  usb_chip::Status Read(usb_chip::Handle handle, void* buffer, usb_chip::Count count,
                        usb_chip::Count* got);
  usb_chip::Status Write(usb_chip::Handle handle, const void* buffer, usb_chip::Count count,
                         usb_chip::Count* written);
  usb_chip::Status Purge(usb_chip::Handle handle, usb_chip::Count mask);
  usb_chip::Status Reset(usb_chip::Handle handle);
  usb_chip::Status SetTimeouts(usb_chip::Handle handle, usb_chip::Count readMs,
                               usb_chip::Count writeMs);
  usb_chip::Status SetEventNotification(usb_chip::Handle handle, usb_chip::Count mask,
                                        void* eventHandle);
  usb_chip::Status GetStatus(usb_chip::Handle handle, usb_chip::Count* rxBytes,
                             usb_chip::Count* txBytes, usb_chip::Count* eventStatus);
  // For the calls that only need a valid handle.
  usb_chip::Status Check(usb_chip::Handle handle);

  // True when no session is open (the device may then be destroyed anywhere).
  bool Idle();
  // The tracker's commands so far (a copy).
  std::vector<std::string> TrackerCommands();

 private:
  using Clock = std::chrono::steady_clock;
  double Now() const;
  Clock::time_point At(double seconds) const;
  usb_chip::Status Validate(usb_chip::Handle handle) const;
  void AdvanceLocked() { AdvanceLocked(Now()); }
  // Queues what is due at `now`; a caller that then judges a deadline uses
  // the same `now`, so nothing due before the deadline is left behind.
  void AdvanceLocked(double now);
  void Pump();
  void StopPump(std::unique_lock<std::mutex>& lock);

  const Clock::time_point start_ = Clock::now();
  Notify notify_;
  std::mutex mutex_;
  std::condition_variable changed_;
  DeviceCore core_;
  std::uintptr_t session_ = 0;  // handle value of the open session; 0 none
  std::uintptr_t sessions_ = 0;
  usb_chip::Count readTimeoutMs_ = 0;  // 0 waits until the bytes are there
  usb_chip::Count eventMask_ = 0;
  void* eventHandle_ = nullptr;
  std::thread pump_;
  bool stopPump_ = false;
};

}  // namespace sim
