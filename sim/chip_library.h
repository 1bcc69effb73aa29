// Loads the USB chip's library the way the acquisition code does: by name,
// looking its 25 functions up by name. On Windows that is the stand-in
// FTD2XX.dll beside the program; native builds bind the stand-in's functions
// linked into the program. For the simulator's tests and tools.
#pragma once

#include <string>

#include "app/acquisition/usb_chip_api.h"

namespace sim {

// Fills `table`; false with the reason when the library or a function is
// missing.
bool LoadChipLibrary(usb_chip::FunctionTable* table, std::string* error);
// Unloads it (its device must be closed), so that the next load reads the
// scenario again.
void UnloadChipLibrary();
// Names the scenario file for the next load (TOLVARAN_SIM_SCENARIO).
void SetScenarioPath(const std::string& path);

// A manual-reset event for the library's arrival notification: a Win32 event
// on Windows, a HostEvent natively.
class ArrivalEvent {
 public:
  ArrivalEvent();
  ~ArrivalEvent();
  ArrivalEvent(const ArrivalEvent&) = delete;
  ArrivalEvent& operator=(const ArrivalEvent&) = delete;
  void* Handle() const { return handle_; }
  // True when signalled within `ms` milliseconds.
  bool Wait(int ms);
  void Reset();

 private:
  void* handle_;
};

}  // namespace sim
