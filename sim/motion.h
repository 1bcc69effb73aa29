// Wand and stylus paths: poses over scenario time, from key poses. At a key
// the sensor's x axis points at the key's aimed-at point; between two keys
// the position moves linearly and the orientation turns evenly about one
// axis from one key's to the next (so that a smooth path never spins about a
// near-vertical view).
#pragma once

#include <vector>

#include "sim/sim_math.h"

namespace sim {

struct KeyPose {
  double time = 0;     // seconds of scenario time
  Vec3 position;       // mm, transmitter frame
  Vec3 target;         // the point the sensor's x axis aims at
  double roll = 0;     // degrees about the sensor's x axis
};

class Path {
 public:
  // Keys must come in strictly increasing time (the scenario parser checks).
  void Add(const KeyPose& key) { keys_.push_back(key); }
  bool Empty() const { return keys_.empty(); }
  const std::vector<KeyPose>& Keys() const { return keys_; }
  // The pose at time t; held at the first and last key outside their span.
  // An empty path gives the identity pose.
  Pose At(double t) const;

 private:
  std::vector<KeyPose> keys_;
};

}  // namespace sim
