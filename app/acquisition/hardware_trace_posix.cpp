#include "app/acquisition/hardware_trace.h"

// Natively there is no debugger output to write to; tests install a sink.
void HardwareTraceDefaultOutput(const char*) {}
