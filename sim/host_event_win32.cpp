#include <windows.h>

#include "sim/host_event.h"

namespace sim {

void SignalHostEvent(void* eventHandle) { SetEvent(static_cast<HANDLE>(eventHandle)); }

}  // namespace sim
