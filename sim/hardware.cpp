#include "sim/hardware.h"

namespace sim {

namespace {

constexpr HardwareModel kModels[] = {
    {"1.1.1", 1, 1, 1, 2, false, false},
    {"2.1.1", 2, 1, 1, 1, false, false},
    {"2.2.1", 2, 2, 1, 1, true, true},
    {"2.3.1", 2, 3, 1, 2, true, true},
};

}  // namespace

const HardwareModel* FindHardware(const std::string& text) {
  for (const HardwareModel& m : kModels) {
    if (text == m.text) return &m;
  }
  return nullptr;
}

}  // namespace sim
