#include <windows.h>

#include <cstdlib>

#include "sim/chip_library.h"
#include "sim/stand_in.h"

namespace sim {

namespace {

HMODULE module = nullptr;

}  // namespace

bool LoadChipLibrary(usb_chip::FunctionTable* table, std::string* error) {
  if (!module) module = LoadLibraryA(usb_chip::kLibraryName);
  if (!module) {
    *error = std::string("cannot load ") + usb_chip::kLibraryName;
    return false;
  }
  static_assert(sizeof(usb_chip::FunctionTable) == usb_chip::kFunctionCount * sizeof(void*),
                "one pointer per function");
  auto* slots = reinterpret_cast<FARPROC*>(table);
  for (int i = 0; i < usb_chip::kFunctionCount; ++i) {
    slots[i] = GetProcAddress(module, usb_chip::kFunctionNames[i]);
    if (!slots[i]) {
      *error = std::string("missing function ") + usb_chip::kFunctionNames[i];
      return false;
    }
  }
  return true;
}

void UnloadChipLibrary() {
  if (module) FreeLibrary(module);
  module = nullptr;
}

void SetScenarioPath(const std::string& path) {
  SetEnvironmentVariableA(kScenarioVariable, path.c_str());
  _putenv_s(kScenarioVariable, path.c_str());
}

ArrivalEvent::ArrivalEvent() : handle_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
ArrivalEvent::~ArrivalEvent() { CloseHandle(handle_); }
bool ArrivalEvent::Wait(int ms) { return WaitForSingleObject(handle_, static_cast<DWORD>(ms)) == WAIT_OBJECT_0; }
void ArrivalEvent::Reset() { ResetEvent(handle_); }

}  // namespace sim
