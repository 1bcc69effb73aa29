#include <windows.h>

#include <map>
#include <string>

#include "sim/host_event.h"

namespace sim {

void SignalHostEvent(void* eventHandle) { SetEvent(static_cast<HANDLE>(eventHandle)); }

namespace {

// A manual-reset event of the session, made once and kept open, so that it
// lives on while the run opens it by name. Called under the device's lock.
HANDLE NamedEvent(const std::string& name) {
  static std::map<std::string, HANDLE> events;
  HANDLE& event = events[name];
  if (!event) event = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
  return event;
}

}  // namespace

ScenarioGates RunGates() {
  ScenarioGates gates;
  gates.reached = [](const std::string& wait) {
    if (HANDLE event = NamedEvent("TolvaranSimReached." + wait)) SetEvent(event);
  };
  gates.released = [](const std::string& wait) {
    HANDLE event = NamedEvent("TolvaranSimGo." + wait);
    return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
  };
  return gates;
}

}  // namespace sim
