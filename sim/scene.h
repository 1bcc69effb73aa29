// The simulated scene: surfaces in the tracker transmitter's frame (mm) that
// the laser line falls on. Each shape answers ray hits and the distance of a
// point from its surface (used to check where profiles land).
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "sim/sim_math.h"

namespace sim {

struct Hit {
  double t = 0;   // distance along the (unit) ray direction
  Vec3 point;
  Vec3 normal;    // unit outward normal
};

class Shape {
 public:
  virtual ~Shape() = default;
  // The nearest hit with t in (tMin, tMax) of the ray origin + t * direction
  // (direction of unit length).
  virtual std::optional<Hit> Intersect(Vec3 origin, Vec3 direction, double tMin,
                                       double tMax) const = 0;
  // Distance of `p` from the surface (unsigned).
  virtual double SurfaceDistance(Vec3 p) const = 0;
};

// An infinite plane through `point` with normal `normal`.
std::unique_ptr<Shape> MakePlane(Vec3 point, Vec3 normal);
std::unique_ptr<Shape> MakeSphere(Vec3 centre, double radius);
// A calibration target's centre mark: a disc of `radius` around `centre`
// that faces every ray's origin, so that what a laser sheet through the
// centre lights on it centres there from every side. Its surface distance
// is the distance from the disc's ball.
std::unique_ptr<Shape> MakeTarget(Vec3 centre, double radius);
// An infinite circular cylinder around the axis through `point` along `axis`.
std::unique_ptr<Shape> MakeCylinder(Vec3 point, Vec3 axis, double radius);
// A limb-like shape: a chain of rounded cones, each joining two consecutive
// (centre, radius) joints (thigh, knee, calf, ankle...). Needs two joints or
// more, with radii above 0.
struct Joint {
  Vec3 centre;
  double radius = 0;
};
std::unique_ptr<Shape> MakeLimb(const std::vector<Joint>& joints);

class Scene {
 public:
  void Add(std::unique_ptr<Shape> shape) { shapes_.push_back(std::move(shape)); }
  bool Empty() const { return shapes_.empty(); }
  std::size_t Size() const { return shapes_.size(); }
  std::optional<Hit> Intersect(Vec3 origin, Vec3 direction, double tMin, double tMax) const;
  // Distance from the nearest surface of the scene.
  double SurfaceDistance(Vec3 p) const;

 private:
  std::vector<std::unique_ptr<Shape>> shapes_;
};

}  // namespace sim
