#include "sim/host_event.h"

namespace sim {

void SignalHostEvent(void* eventHandle) { static_cast<HostEvent*>(eventHandle)->Set(); }

ScenarioGates RunGates() { return {}; }

}  // namespace sim
