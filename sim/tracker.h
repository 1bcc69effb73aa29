// The simulated motion tracker. Its replies are never read, so it acts on
// commands only as far as they change the records it sends later:
//  - records are blank (all zero) until the tracker has been started with
//    "C" (continuous output); "c" and "P" stop the output, "W" resets it;
//  - each station's position is known only up to its sign: the tracker
//    reports the one of p and -p in its hemisphere, which starts as +x and
//    is set by "H<st>,x,y,z"; "H<st>,0,0,0" then follows the sensor from
//    the sign it has at that moment;
//  - station characters follow the processing-unit version and the tracker
//    selection.
// Port 0 is the wand's receiver; port 1 the second receiver (the reference,
// or the stylus) when there is one.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "sim/sim_math.h"

namespace sim {

// One record of the tracker's binary output. A blank record (output stopped)
// is all zero.
struct TrackerRecord {
  char type = 0;           // '0'
  char station = 0;
  char error = 0;          // ' ' for no error
  float position[3] = {};  // cm
  float orientation[9] = {};  // direction cosines, three rows
};

class Tracker {
 public:
  // `truePosition` gives a port's true position (mm) at the moment a command
  // takes effect; hemisphere tracking starts from its sign.
  Tracker(int unitVersion, int selection, bool secondReceiver,
          std::function<Vec3(int port)> truePosition);

  // Bytes written to the tracker's serial line, in any chunking.
  void Receive(const char* bytes, std::size_t count);

  // Power cycle: back to the state after switching on.
  void Reset();

  bool Started() const { return started_; }
  char StationChar(int port) const;
  // The port whose record comes `index`-th (0 or 1) in every field.
  int PortOfRecord(int index) const;
  // The binary record of `port` for a sensor at `pose` (mm), with the error
  // character `error` (' ' for none). Blank while the output is stopped.
  TrackerRecord MakeRecord(int port, const Pose& pose, char error) const;
  // The position the tracker reports for a true position (mm), after its
  // hemisphere choice.
  Vec3 ReportedPosition(int port, Vec3 truePosition) const;

  // Every complete command received, in order (for checks and the log).
  const std::vector<std::string>& Commands() const { return commands_; }

 private:
  struct Hemisphere {
    Vec3 vector{1, 0, 0};
    bool following = false;
    double sign = 1;
  };

  void Execute(const std::string& command);
  void SetHemisphere(const std::string& command);
  int PortOfStation(char station) const;

  int unitVersion_, selection_;
  bool secondReceiver_;
  std::function<Vec3(int)> truePosition_;
  bool started_ = false;
  bool streaming_ = false;
  std::array<Hemisphere, 2> hemisphere_{};
  std::string pending_;
  std::vector<std::string> commands_;
};

}  // namespace sim
