#include "sim/motion.h"

#include <algorithm>

namespace sim {

Pose Path::At(double t) const {
  if (keys_.empty()) return {};
  if (t <= keys_.front().time) {
    const KeyPose& k = keys_.front();
    return LookAt(k.position, k.target, k.roll);
  }
  if (t >= keys_.back().time) {
    const KeyPose& k = keys_.back();
    return LookAt(k.position, k.target, k.roll);
  }
  const auto next = std::upper_bound(keys_.begin(), keys_.end(), t,
                                     [](double v, const KeyPose& k) { return v < k.time; });
  const KeyPose& b = *next;
  const KeyPose& a = *(next - 1);
  const double f = (t - a.time) / (b.time - a.time);
  return LookAt(Lerp(a.position, b.position, f), Lerp(a.target, b.target, f),
                a.roll + (b.roll - a.roll) * f);
}

}  // namespace sim
