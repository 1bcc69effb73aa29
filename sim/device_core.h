// The simulated processing unit behind its USB chip, without threads: the
// caller passes the time (seconds of a steady clock) to every call, and
// fields that have fallen due by then are queued as whole fields. The
// threaded stand-in library (sim/device.h) drives it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "sim/processing_unit.h"
#include "sim/scenario.h"
#include "sim/tracker.h"

namespace sim {

// How the run holds the scenario clock at a wait: it is told the wait was
// reached, and asked whether it lets the clock go on. Without gates the clock
// runs on past every wait.
struct ScenarioGates {
  std::function<void(const std::string& name)> reached;
  std::function<bool(const std::string& name)> released;
};

class DeviceCore {
 public:
  explicit DeviceCore(Scenario scenario);

  // Open outcome: 0 opened, 1 busy, 2 not found (the chip library's codes).
  int Open(const std::string& description, double now);
  void Close();
  bool IsOpen() const { return open_; }
  // The open session was lost to an unplug; calls on it fail until closed.
  bool SessionLost() const { return lost_; }

  // Queues every field due by `now`; returns how many were queued.
  int Advance(double now);
  // When the next field or plug change falls due (infinity when none).
  double NextEvent() const;

  std::size_t Queued() const { return queue_.size(); }
  std::size_t Take(std::uint8_t* out, std::size_t count);
  void Purge() { queue_.clear(); }
  // Bytes written to the unit go to the tracker.
  void Write(const char* bytes, std::size_t count, double now);

  void SetGates(ScenarioGates gates) { gates_ = std::move(gates); }

  const Scenario& GetScenario() const { return scenario_; }
  const Tracker& GetTracker() const { return tracker_; }
  // Seconds of scenario time at `now`; negative before the origin is set.
  double ScenarioTime(double now) const { return originSet_ ? now - origin_ : -1; }
  std::uint64_t FieldsQueued() const { return fieldsQueued_; }
  std::uint64_t FieldsDropped() const { return fieldsDropped_; }

  // At most this many bytes wait in the chip; fields that do not fit are lost.
  static constexpr std::size_t kQueueLimit = 256 * 2384;

 private:
  bool Plugged(double scenarioTime) const;
  const Press* PressAt(double scenarioTime) const;
  bool Paused(double scenarioTime) const;
  void SetOrigin(double now);
  void LoseSession();
  // At a wait the run has not released, the clock stays there.
  void HoldAtWait();

  Scenario scenario_;
  double now_ = 0;
  Tracker tracker_;
  ProcessingUnit unit_;
  bool open_ = false, lost_ = false;
  int opens_ = 0;
  bool originSet_ = false;
  double origin_ = 0;
  std::int64_t nextField_ = 0;  // next video field to consider
  std::deque<std::uint8_t> queue_;
  std::uint64_t fieldsQueued_ = 0, fieldsDropped_ = 0;
  ScenarioGates gates_;
  std::size_t nextWait_ = 0;  // the first wait not passed
  bool waitReached_ = false;  // the run was told of it
};

}  // namespace sim
