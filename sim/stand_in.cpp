#include "sim/stand_in.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>

#include "platform/os_seam.h"
#include "sim/host_event.h"

namespace sim {

namespace {

std::mutex& DeviceMutex() {
  static std::mutex m;
  return m;
}

// Never destroyed while a session may be open: a pump thread cannot be
// joined while the library is being unloaded.
Device*& TheDevice() {
  static Device* device = nullptr;
  return device;
}

// Releases an idle device when the library is unloaded. Its constructor makes
// the statics above first, so that they outlive it.
struct ReleaseAtUnload {
  ReleaseAtUnload() {
    DeviceMutex();
    TheDevice();
  }
  ~ReleaseAtUnload() { ReleaseStandInDevice(); }
} releaseAtUnload;

bool ReadScenario(Scenario* scenario) {
  ScenarioError error;
  std::string source;
  bool ok;
  if (const char* path = std::getenv(kScenarioVariable); path && *path) {
    source = path;
    ok = LoadScenarioFile(path, scenario, &error);
  } else {
    const std::string beside = os::ModuleFolder() + kScenarioFileName;
    if (std::ifstream(beside).good()) {
      source = beside;
      ok = LoadScenarioFile(beside, scenario, &error);
    } else {
      source = "built-in scenario";
      ok = ParseScenario(DefaultScenarioText(), scenario, &error);
    }
  }
  if (!ok) {
    std::fprintf(stderr, "scanner simulator: %s:%d: %s\n", source.c_str(), error.line,
                 error.message.c_str());
  }
  return ok;
}

}  // namespace

Device* StandInDevice() {
  std::lock_guard<std::mutex> lock(DeviceMutex());
  if (!TheDevice()) {
    Scenario scenario;
    if (!ReadScenario(&scenario)) return nullptr;
    TheDevice() = new Device(std::move(scenario), SignalHostEvent, RunGates());
  }
  return TheDevice();
}

bool ReleaseStandInDevice() {
  std::lock_guard<std::mutex> lock(DeviceMutex());
  Device* device = TheDevice();
  if (!device) return true;
  if (!device->Idle()) return false;
  delete device;
  TheDevice() = nullptr;
  return true;
}

}  // namespace sim
