#include "sim/scenario.h"

namespace sim {

const char* DefaultScenarioText() {
  return
      "# The built-in scenario: a leg-like limb lying along x, scanned in five\n"
      "# sweeps from different sides. Units: mm, seconds, degrees.\n"
      "serial 321\n"
      "hardware 2.3.1\n"
      "unit 0\n"
      "tracker 0\n"
      "hemisphere 4\n"
      "angle-clip 30\n"
      "line-width 5 50\n"
      "calibration-version 5\n"
      "origin tracker\n"
      "reference 0 0 150 0 0 0\n"
      "limb -260 0 400 70  0 0 400 48  240 0 400 34  300 0 380 40\n"
      "wand 2.0 -230 160.7 591.5  -230 0 400\n"
      "wand 5.0 230 160.7 591.5  230 0 400\n"
      "press 2.1 4.9 scan\n"
      "wand 6.5 -230 250.0 400.0  -230 0 400\n"
      "wand 9.5 230 250.0 400.0  230 0 400\n"
      "press 6.6 9.4 scan\n"
      "wand 11.0 -230 160.7 208.5  -230 0 400\n"
      "wand 14.0 230 160.7 208.5  230 0 400\n"
      "press 11.1 13.9 scan\n"
      "wand 15.5 -230 -160.7 591.5  -230 0 400\n"
      "wand 18.5 230 -160.7 591.5  230 0 400\n"
      "press 15.6 18.4 scan\n"
      "wand 20.0 -230 -250.0 400.0  -230 0 400\n"
      "wand 23.0 230 -250.0 400.0  230 0 400\n"
      "press 20.1 22.9 scan\n";
}

}  // namespace sim
