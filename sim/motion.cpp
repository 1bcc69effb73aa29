#include "sim/motion.h"

#include <algorithm>

namespace sim {

Pose Path::At(double t) const {
  if (keys_.empty()) return {};
  auto pose = [](const KeyPose& k) { return LookAt(k.position, k.target, k.roll); };
  if (t <= keys_.front().time) return pose(keys_.front());
  if (t >= keys_.back().time) return pose(keys_.back());
  const auto next = std::upper_bound(keys_.begin(), keys_.end(), t,
                                     [](double v, const KeyPose& k) { return v < k.time; });
  const KeyPose& b = *next;
  const KeyPose& a = *(next - 1);
  const double f = (t - a.time) / (b.time - a.time);
  return {Slerp(pose(a).r, pose(b).r, f), Lerp(a.position, b.position, f)};
}

}  // namespace sim
