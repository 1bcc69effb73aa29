// The fields of a scenario's press as the acquisition thread leaves them in
// the ring: made by the simulated unit (its tracker set up with the
// program's command list), checked by the program's field checks and
// decoded. Tests and benchmarks feed them to the user-interface side one by
// one. The program's side is set up as the set-up tool writes it: the
// scenario's calibration file loaded and its acquisition settings applied.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/acquisition/process_field.h"
#include "sim/scenario.h"

namespace sim {

// Writes the set-up into `folder` and starts the program's side with it;
// false with the reason.
bool StartProgramSide(const Scenario& scenario, const std::string& folder, FieldCheckContext& context,
                      std::string* error);

// The decoded ring slots of press `index`, each as published. The ring must
// be attached; its counts are used and left reset. False with the reason
// when a field failed its checks.
bool MakePressFields(const Scenario& scenario, std::size_t index, FieldCheckContext& context,
                     std::vector<std::vector<std::uint16_t>>* slots, std::string* error);

}  // namespace sim
