// The host's "data arrived" event that the stand-in library signals. On
// Windows it is the Win32 event handle the host passed in; in native builds
// it points to a HostEvent.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "sim/device_core.h"

namespace sim {

void SignalHostEvent(void* eventHandle);

// The run's gates of the scenario's waits. On Windows two named events per
// wait: "TolvaranSimReached.NAME", set when the clock holds there, and
// "TolvaranSimGo.NAME", which the run sets to let it go on (both made by the
// library and kept open while it is loaded). Native builds have none: their
// clock runs on past every wait.
ScenarioGates RunGates();

// A manual-reset event for native hosts (tests and tools).
class HostEvent {
 public:
  void Set() {
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = true;
    cv_.notify_all();
  }
  void ResetEvent() {
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = false;
  }
  // True when set within `ms` milliseconds.
  bool Wait(int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return set_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool set_ = false;
};

}  // namespace sim
