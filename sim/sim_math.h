// Small double-precision vector and rigid-pose maths for the scanner
// simulator. The simulator keeps its own maths so that it checks the program's
// geometry instead of sharing its faults.
#pragma once

#include <cmath>

namespace sim {

struct Vec3 {
  double x = 0, y = 0, z = 0;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator-(Vec3 a) { return {-a.x, -a.y, -a.z}; }
inline Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator*(double s, Vec3 a) { return a * s; }
inline double Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(Vec3 a) { return std::sqrt(Dot(a, a)); }
// The unit vector of `a`; `a` itself when it is too short to normalise.
inline Vec3 Normalised(Vec3 a) {
  const double n = Length(a);
  return n > 1e-12 ? a * (1.0 / n) : a;
}
inline Vec3 Lerp(Vec3 a, Vec3 b, double f) { return a + (b - a) * f; }

// A rotation as its three columns: the images of the frame's x, y and z axes.
struct Rot3 {
  Vec3 ex{1, 0, 0}, ey{0, 1, 0}, ez{0, 0, 1};
};

inline Vec3 Apply(const Rot3& r, Vec3 v) { return r.ex * v.x + r.ey * v.y + r.ez * v.z; }
// The inverse rotation (transpose) applied to `v`.
inline Vec3 ApplyInverse(const Rot3& r, Vec3 v) {
  return {Dot(r.ex, v), Dot(r.ey, v), Dot(r.ez, v)};
}
inline Rot3 Compose(const Rot3& a, const Rot3& b) {  // a after b
  return {Apply(a, b.ex), Apply(a, b.ey), Apply(a, b.ez)};
}
inline Rot3 Transposed(const Rot3& r) {
  return {{r.ex.x, r.ey.x, r.ez.x}, {r.ex.y, r.ey.y, r.ez.y}, {r.ex.z, r.ey.z, r.ez.z}};
}
// Rotation by `degrees` about a unit axis (right-handed).
Rot3 AxisAngle(Vec3 axis, double degrees);
// Rotation from x, y and z angles in degrees, applied in that order (x first).
Rot3 FromAngles(double ax, double ay, double az);

// A rigid pose: maps frame coordinates p to parent coordinates R p + t.
struct Pose {
  Rot3 r;
  Vec3 t;
};

inline Vec3 Apply(const Pose& p, Vec3 v) { return Apply(p.r, v) + p.t; }
inline Vec3 ApplyInverse(const Pose& p, Vec3 v) { return ApplyInverse(p.r, v - p.t); }
inline Pose Inverse(const Pose& p) {
  const Rot3 rt = Transposed(p.r);
  return {rt, -Apply(rt, p.t)};
}
inline Pose Compose(const Pose& a, const Pose& b) {  // a after b
  return {Compose(a.r, b.r), Apply(a, b.t)};
}

// The pose at `position` whose x axis points at `target` and whose y axis is
// the world's z axis made square to x (the world's y axis when x lies within
// 45 degrees of vertical), then turned by `rollDegrees` about x.
Pose LookAt(Vec3 position, Vec3 target, double rollDegrees);

// Interpolates rotations along the shortest arc (quaternion slerp).
Rot3 Slerp(const Rot3& a, const Rot3& b, double f);

// Largest angle in degrees between corresponding axes of two rotations.
double AngleBetween(const Rot3& a, const Rot3& b);

constexpr double kPi = 3.14159265358979323846;
inline double Radians(double degrees) { return degrees * kPi / 180.0; }

}  // namespace sim
