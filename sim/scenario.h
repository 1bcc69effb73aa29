// The simulator's scenario: the simulated unit, the scene, the wand and
// stylus paths, the trigger presses and the faults to inject, read from a
// plain text file (format in sim/README.md).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/laser_samples.h"
#include "sim/motion.h"
#include "sim/scene.h"
#include "sim/sim_math.h"

namespace sim {

struct Press {
  enum Kind { kScan, kPreview, kStylus };
  double start = 0, end = 0;  // seconds; fields whose time lies in [start, end)
  Kind kind = kScan;
};

struct Fault {
  enum Kind {
    kFraming,       // start-of-video framing bit set
    kSerial,        // another serial number (`value`)
    kRecordType,    // tracker records with a bad record type
    kStation,       // tracker records with an unknown station character
    kTrackerError,  // tracker error character `character` on port `port`
    kPause,         // the unit sends nothing: the capture ends early
  };
  double start = 0, end = 0;  // applies to fields whose time lies in [start, end)
  Kind kind = kFraming;
  unsigned value = 0;
  char character = ' ';
  int port = 0;
};

// The scenario clock holds at `at` until the run lets it go on (a gate of
// that name): the run can open a window before the presses that follow.
struct Wait {
  double at = 0;
  std::string name;
};

struct Unplug {
  double at = 0;
  std::optional<double> replug;  // never replugged when empty
};

struct Scenario {
  // The unit.
  unsigned serial = 0;
  std::string hardware;            // calibration version text, e.g. "2.3.1"
  int unitVersion = 0;             // processing-unit version = frequency mode
  int trackerSelection = 0;
  int hemisphere = 4;              // the program's hemisphere setting: 0..5 fixed, 6 automatic set-up
  double angleClip = 30;           // viewing-cone angle the program should use
  int minLineWidth = 5, maxLineWidth = 50;
  int calibrationVersion = 5;      // 4 or 5
  enum Origin { kTrackerStart, kOpen } origin = kTrackerStart;
  SampleOffset sampleOffset[2];    // per camera channel; none by default
  // The world.
  Scene scene;
  std::optional<Pose> reference;   // a fixed reference receiver on port 1
  Path wand, stylus;               // a stylus path puts the stylus on port 1
  // The timeline (seconds from the origin).
  std::vector<Press> presses;
  std::vector<Fault> faults;
  std::vector<Unplug> unplugs;
  std::vector<Wait> waits;         // in time order, none inside a press
  int openBusy = 0;                // the first opens report the device busy...
  int openNotFound = 0;            // ...then these report it not found
  double duration = 0;             // end of the last press

  bool SecondReceiver() const { return reference.has_value() || !stylus.Empty(); }
  // The true pose of a port's sensor at time t.
  Pose PortPose(int port, double t) const;
};

struct ScenarioError {
  int line = 0;                    // 0 when not tied to a line
  std::string message;
};

// Largest scenario text accepted.
constexpr std::size_t kMaxScenarioBytes = 1 << 20;

// Parses a scenario; false with the first error otherwise.
bool ParseScenario(const std::string& text, Scenario* out, ScenarioError* error);
bool LoadScenarioFile(const std::string& path, Scenario* out, ScenarioError* error);

// The built-in scenario: a limb-like shape scanned in a few sweeps.
const char* DefaultScenarioText();

}  // namespace sim
