#include "sim/hardware.h"

#include <cstdio>

namespace sim {

const HardwareVersionEntry* FindHardware(const std::string& text) {
  int major, minor, revision;
  char end;
  if (std::sscanf(text.c_str(), "%d.%d.%d%c", &major, &minor, &revision, &end) != 3) return nullptr;
  const HardwareVersionEntry* entry = FindHardwareVersion(major, minor, revision, 1);
  if (!entry || text != entry->text || entry->fixedWandProperty) return nullptr;
  return entry;
}

}  // namespace sim
