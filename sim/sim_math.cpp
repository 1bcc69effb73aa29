#include "sim/sim_math.h"

#include <algorithm>

namespace sim {

Rot3 AxisAngle(Vec3 axis, double degrees) {
  const Vec3 u = Normalised(axis);
  const double a = Radians(degrees);
  const double c = std::cos(a), s = std::sin(a), k = 1.0 - c;
  // Rodrigues' formula, column by column.
  auto rotate = [&](Vec3 v) { return v * c + Cross(u, v) * s + u * (Dot(u, v) * k); };
  return {rotate({1, 0, 0}), rotate({0, 1, 0}), rotate({0, 0, 1})};
}

Rot3 FromAngles(double ax, double ay, double az) {
  return Compose(AxisAngle({0, 0, 1}, az), Compose(AxisAngle({0, 1, 0}, ay), AxisAngle({1, 0, 0}, ax)));
}

Pose LookAt(Vec3 position, Vec3 target, double rollDegrees) {
  const Vec3 x = Normalised(target - position);
  Vec3 up{0, 0, 1};
  if (std::fabs(Dot(up, x)) > 0.7) up = {0, 1, 0};  // within 45 degrees of vertical
  const Vec3 y0 = Normalised(up - x * Dot(up, x));
  const Rot3 base{x, y0, Cross(x, y0)};
  return {Compose(base, AxisAngle({1, 0, 0}, rollDegrees)), position};
}

namespace {

struct Quat {
  double w, x, y, z;
};

Quat ToQuat(const Rot3& r) {
  // Matrix element m[row][col] is column col's component row.
  const double m00 = r.ex.x, m11 = r.ey.y, m22 = r.ez.z;
  const double trace = m00 + m11 + m22;
  Quat q;
  if (trace > 0) {
    const double s = std::sqrt(trace + 1.0) * 2;
    q = {0.25 * s, (r.ey.z - r.ez.y) / s, (r.ez.x - r.ex.z) / s, (r.ex.y - r.ey.x) / s};
  } else if (m00 > m11 && m00 > m22) {
    const double s = std::sqrt(1.0 + m00 - m11 - m22) * 2;
    q = {(r.ey.z - r.ez.y) / s, 0.25 * s, (r.ey.x + r.ex.y) / s, (r.ez.x + r.ex.z) / s};
  } else if (m11 > m22) {
    const double s = std::sqrt(1.0 + m11 - m00 - m22) * 2;
    q = {(r.ez.x - r.ex.z) / s, (r.ey.x + r.ex.y) / s, 0.25 * s, (r.ez.y + r.ey.z) / s};
  } else {
    const double s = std::sqrt(1.0 + m22 - m00 - m11) * 2;
    q = {(r.ex.y - r.ey.x) / s, (r.ez.x + r.ex.z) / s, (r.ez.y + r.ey.z) / s, 0.25 * s};
  }
  return q;
}

Rot3 FromQuat(Quat q) {
  const double n = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
  q = {q.w / n, q.x / n, q.y / n, q.z / n};
  const double w = q.w, x = q.x, y = q.y, z = q.z;
  return {{1 - 2 * (y * y + z * z), 2 * (x * y + w * z), 2 * (x * z - w * y)},
          {2 * (x * y - w * z), 1 - 2 * (x * x + z * z), 2 * (y * z + w * x)},
          {2 * (x * z + w * y), 2 * (y * z - w * x), 1 - 2 * (x * x + y * y)}};
}

}  // namespace

Rot3 Slerp(const Rot3& a, const Rot3& b, double f) {
  Quat qa = ToQuat(a), qb = ToQuat(b);
  double d = qa.w * qb.w + qa.x * qb.x + qa.y * qb.y + qa.z * qb.z;
  if (d < 0) {
    qb = {-qb.w, -qb.x, -qb.y, -qb.z};
    d = -d;
  }
  double wa = 1 - f, wb = f;
  if (d < 0.9995) {
    const double theta = std::acos(d);
    const double s = std::sin(theta);
    wa = std::sin((1 - f) * theta) / s;
    wb = std::sin(f * theta) / s;
  }
  return FromQuat({wa * qa.w + wb * qb.w, wa * qa.x + wb * qb.x, wa * qa.y + wb * qb.y,
                   wa * qa.z + wb * qb.z});
}

double AngleBetween(const Rot3& a, const Rot3& b) {
  auto angle = [](Vec3 u, Vec3 v) {
    const double c = Dot(Normalised(u), Normalised(v));
    return std::acos(std::clamp(c, -1.0, 1.0)) * 180.0 / kPi;
  };
  return std::max({angle(a.ex, b.ex), angle(a.ey, b.ey), angle(a.ez, b.ez)});
}

}  // namespace sim
