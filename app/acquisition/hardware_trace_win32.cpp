#include "app/acquisition/hardware_trace.h"

#include <windows.h>

void HardwareTraceDefaultOutput(const char* line) { OutputDebugStringA(line); }
