#include "sim/tracker.h"

#include <cstdio>

#include "sim/hardware.h"

namespace sim {

namespace {

// One-letter commands that the tracker takes without a carriage return.
bool IsSingleLetterCommand(char c) {
  return c == 'c' || c == 'W' || c == 'u' || c == 'f' || c == 'C' || c == 'P';
}

constexpr std::size_t kMaxCommandLength = 1024;

}  // namespace

Tracker::Tracker(int unitVersion, int selection, bool secondReceiver,
                 std::function<Vec3(int port)> truePosition)
    : unitVersion_(unitVersion),
      selection_(selection),
      secondReceiver_(secondReceiver),
      truePosition_(std::move(truePosition)) {}

void Tracker::Reset() {
  started_ = false;
  streaming_ = false;
  hemisphere_ = {};
  pending_.clear();
}

void Tracker::Receive(const char* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const char c = bytes[i];
    if (pending_.empty()) {
      if (c == '\r' || c == '\n' || c == ' ') continue;
      if (IsSingleLetterCommand(c)) {
        Execute(std::string(1, c));
        continue;
      }
    }
    if (c == '\r') {
      Execute(pending_);
      pending_.clear();
    } else if (pending_.size() < kMaxCommandLength) {
      pending_ += c;
    }
  }
}

void Tracker::Execute(const std::string& command) {
  commands_.push_back(command);
  switch (command[0]) {
    case 'C':
      started_ = true;
      streaming_ = true;
      break;
    case 'c':
    case 'P':
      streaming_ = false;
      break;
    case 'W':
      Reset();
      break;
    case 'H':
      SetHemisphere(command);
      break;
    default:
      break;  // set-up commands that do not change the records
  }
}

void Tracker::SetHemisphere(const std::string& command) {
  if (command.size() < 2) return;
  const int port = PortOfStation(command[1]);
  if (port < 0) return;
  double x, y, z;
  if (std::sscanf(command.c_str() + 2, ",%lf,%lf,%lf", &x, &y, &z) != 3) return;
  Hemisphere& h = hemisphere_[port];
  if (x == 0 && y == 0 && z == 0) {
    h.sign = Dot(truePosition_(port), h.vector) >= 0 ? 1 : -1;
    h.following = true;
  } else {
    h.vector = {x, y, z};
    h.following = false;
  }
}

char Tracker::StationChar(int port) const {
  if (SwappedStations(unitVersion_)) return port == 0 ? '1' : '3';
  return static_cast<char>('0' + selection_ + (port == 0 ? 2 : 1));
}

int Tracker::PortOfStation(char station) const {
  if (station == StationChar(0)) return 0;
  if (secondReceiver_ && station == StationChar(1)) return 1;
  return -1;
}

int Tracker::PortOfRecord(int index) const {
  if (!secondReceiver_) return 0;
  // Stations arrive in the order of their characters.
  const int first = StationChar(0) < StationChar(1) ? 0 : 1;
  return index == 0 ? first : 1 - first;
}

Vec3 Tracker::ReportedPosition(int port, Vec3 p) const {
  const Hemisphere& h = hemisphere_[port];
  if (h.following) return p * h.sign;
  return Dot(p, h.vector) >= 0 ? p : -p;
}

TrackerRecord Tracker::MakeRecord(int port, const Pose& pose, char error) const {
  TrackerRecord r;
  if (!streaming_) return r;
  r.type = '0';
  r.station = StationChar(port);
  r.error = error;
  const Vec3 p = ReportedPosition(port, pose.t) * 0.1;  // the tracker reports cm
  r.position[0] = static_cast<float>(p.x);
  r.position[1] = static_cast<float>(p.y);
  r.position[2] = static_cast<float>(p.z);
  // Direction cosines, row by row: row i holds component i of the sensor's
  // x, y and z axes.
  const Vec3 cols[3] = {pose.r.ex, pose.r.ey, pose.r.ez};
  for (int col = 0; col < 3; ++col) {
    r.orientation[0 + col] = static_cast<float>(cols[col].x);
    r.orientation[3 + col] = static_cast<float>(cols[col].y);
    r.orientation[6 + col] = static_cast<float>(cols[col].z);
  }
  return r;
}

}  // namespace sim
