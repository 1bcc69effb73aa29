#include "sim/scene.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sim {

namespace {

// Smallest root of a t^2 + 2 b t + c = 0 (a > 0) inside (tMin, tMax), if any.
std::optional<double> NearestRoot(double a, double b, double c, double tMin, double tMax) {
  if (a < 1e-15) return std::nullopt;
  const double disc = b * b - a * c;
  if (disc < 0) return std::nullopt;
  const double s = std::sqrt(disc);
  for (double t : {(-b - s) / a, (-b + s) / a}) {
    if (t > tMin && t < tMax) return t;
  }
  return std::nullopt;
}

class Plane : public Shape {
 public:
  Plane(Vec3 point, Vec3 normal) : point_(point), normal_(Normalised(normal)) {}
  std::optional<Hit> Intersect(Vec3 o, Vec3 d, double tMin, double tMax) const override {
    const double den = Dot(normal_, d);
    if (std::fabs(den) < 1e-12) return std::nullopt;
    const double t = Dot(normal_, point_ - o) / den;
    if (!(t > tMin && t < tMax)) return std::nullopt;
    const Vec3 p = o + d * t;
    // The side the ray comes from is the outside.
    return Hit{t, p, den < 0 ? normal_ : -normal_};
  }
  double SurfaceDistance(Vec3 p) const override { return std::fabs(Dot(normal_, p - point_)); }

 private:
  Vec3 point_, normal_;
};

class Sphere : public Shape {
 public:
  Sphere(Vec3 centre, double radius) : centre_(centre), radius_(radius) {}
  std::optional<Hit> Intersect(Vec3 o, Vec3 d, double tMin, double tMax) const override {
    const Vec3 oc = o - centre_;
    const auto t = NearestRoot(Dot(d, d), Dot(oc, d), Dot(oc, oc) - radius_ * radius_, tMin, tMax);
    if (!t) return std::nullopt;
    const Vec3 p = o + d * *t;
    return Hit{*t, p, Normalised(p - centre_)};
  }
  double SurfaceDistance(Vec3 p) const override {
    return std::fabs(Length(p - centre_) - radius_);
  }

 private:
  Vec3 centre_;
  double radius_;
};

// A calibration target's centre mark: a disc that faces whatever looks at
// it, so that the points a laser sheet through its centre lights on it
// centre on the mark from every side. A ray from within the disc's radius of
// the centre (a point on the disc looking back) meets nothing.
class Target : public Shape {
 public:
  Target(Vec3 centre, double radius) : centre_(centre), radius_(radius) {}
  std::optional<Hit> Intersect(Vec3 o, Vec3 d, double tMin, double tMax) const override {
    const Vec3 towards = o - centre_;
    if (Length(towards) <= radius_) return std::nullopt;
    const Vec3 normal = Normalised(towards);
    const double den = Dot(normal, d);
    if (den > -1e-12) return std::nullopt;
    const double t = Dot(normal, centre_ - o) / den;
    if (!(t > tMin && t < tMax)) return std::nullopt;
    const Vec3 p = o + d * t;
    if (Length(p - centre_) > radius_) return std::nullopt;
    return Hit{t, p, normal};
  }
  double SurfaceDistance(Vec3 p) const override { return std::max(0.0, Length(p - centre_) - radius_); }

 private:
  Vec3 centre_;
  double radius_;
};

class Cylinder : public Shape {
 public:
  Cylinder(Vec3 point, Vec3 axis, double radius)
      : point_(point), axis_(Normalised(axis)), radius_(radius) {}
  std::optional<Hit> Intersect(Vec3 o, Vec3 d, double tMin, double tMax) const override {
    const Vec3 oc = Across(o - point_);
    const Vec3 dc = Across(d);
    const auto t = NearestRoot(Dot(dc, dc), Dot(oc, dc), Dot(oc, oc) - radius_ * radius_, tMin, tMax);
    if (!t) return std::nullopt;
    const Vec3 p = o + d * *t;
    return Hit{*t, p, Normalised(Across(p - point_))};
  }
  double SurfaceDistance(Vec3 p) const override {
    return std::fabs(Length(Across(p - point_)) - radius_);
  }

 private:
  Vec3 Across(Vec3 v) const { return v - axis_ * Dot(v, axis_); }
  Vec3 point_, axis_;
  double radius_;
};

// Signed distance of p from a cone rounded by the spheres (a, ra) and (b, rb):
// the convex hull of the two spheres.
double RoundConeDistance(Vec3 p, Vec3 a, double ra, Vec3 b, double rb) {
  const Vec3 ba = b - a;
  const double l2 = Dot(ba, ba);
  const double rr = ra - rb;
  const double a2 = l2 - rr * rr;
  const double il2 = 1.0 / l2;
  const Vec3 pa = p - a;
  const double y = Dot(pa, ba);
  const double z = y - l2;
  const Vec3 xv = pa * l2 - ba * y;
  const double x2 = Dot(xv, xv);
  const double y2 = y * y * l2;
  const double z2 = z * z * l2;
  const double k = (rr < 0 ? -1.0 : 1.0) * rr * rr * x2;
  if ((z < 0 ? -1.0 : 1.0) * a2 * z2 > k) return std::sqrt(x2 + z2) * il2 - rb;
  if ((y < 0 ? -1.0 : 1.0) * a2 * y2 < k) return std::sqrt(x2 + y2) * il2 - ra;
  return (std::sqrt(x2 * a2 * il2) + y * rr) * il2 - ra;
}

class Limb : public Shape {
 public:
  explicit Limb(std::vector<Joint> joints) : joints_(std::move(joints)) {
    for (const Joint& j : joints_) {
      for (Vec3 c : {j.centre - Vec3{j.radius, j.radius, j.radius},
                     j.centre + Vec3{j.radius, j.radius, j.radius}}) {
        lo_ = {std::min(lo_.x, c.x), std::min(lo_.y, c.y), std::min(lo_.z, c.z)};
        hi_ = {std::max(hi_.x, c.x), std::max(hi_.y, c.y), std::max(hi_.z, c.z)};
      }
    }
  }

  double Signed(Vec3 p) const {
    double d = std::numeric_limits<double>::max();
    for (std::size_t i = 0; i + 1 < joints_.size(); ++i) {
      d = std::min(d, RoundConeDistance(p, joints_[i].centre, joints_[i].radius,
                                        joints_[i + 1].centre, joints_[i + 1].radius));
    }
    return d;
  }

  std::optional<Hit> Intersect(Vec3 o, Vec3 d, double tMin, double tMax) const override {
    // Clip the ray to the bounding box, then march by the distance bound.
    double t0 = tMin, t1 = tMax;
    const double oa[3] = {o.x, o.y, o.z}, da[3] = {d.x, d.y, d.z};
    const double la[3] = {lo_.x, lo_.y, lo_.z}, ha[3] = {hi_.x, hi_.y, hi_.z};
    for (int i = 0; i < 3; ++i) {
      if (std::fabs(da[i]) < 1e-15) {
        if (oa[i] < la[i] || oa[i] > ha[i]) return std::nullopt;
        continue;
      }
      double ta = (la[i] - oa[i]) / da[i], tb = (ha[i] - oa[i]) / da[i];
      if (ta > tb) std::swap(ta, tb);
      t0 = std::max(t0, ta);
      t1 = std::min(t1, tb);
      if (t0 > t1) return std::nullopt;
    }
    double t = t0;
    if (Signed(o + d * t) < 0) return std::nullopt;  // starts inside: no outer surface ahead
    for (int step = 0; step < 400 && t <= t1; ++step) {
      const double s = Signed(o + d * t);
      if (s < 1e-7) return Refine(o, d, t);
      t += s;
    }
    return std::nullopt;
  }

  double SurfaceDistance(Vec3 p) const override { return std::fabs(Signed(p)); }

 private:
  Hit Refine(Vec3 o, Vec3 d, double t) const {
    const Vec3 p = o + d * t;
    const double e = 1e-4;
    const Vec3 n{Signed(p + Vec3{e, 0, 0}) - Signed(p - Vec3{e, 0, 0}),
                 Signed(p + Vec3{0, e, 0}) - Signed(p - Vec3{0, e, 0}),
                 Signed(p + Vec3{0, 0, e}) - Signed(p - Vec3{0, 0, e})};
    return Hit{t, p, Normalised(n)};
  }

  std::vector<Joint> joints_;
  Vec3 lo_{1e300, 1e300, 1e300}, hi_{-1e300, -1e300, -1e300};
};

}  // namespace

std::unique_ptr<Shape> MakePlane(Vec3 point, Vec3 normal) {
  return std::make_unique<Plane>(point, normal);
}
std::unique_ptr<Shape> MakeTarget(Vec3 centre, double radius) {
  return std::make_unique<Target>(centre, radius);
}

std::unique_ptr<Shape> MakeSphere(Vec3 centre, double radius) {
  return std::make_unique<Sphere>(centre, radius);
}
std::unique_ptr<Shape> MakeCylinder(Vec3 point, Vec3 axis, double radius) {
  return std::make_unique<Cylinder>(point, axis, radius);
}
std::unique_ptr<Shape> MakeLimb(const std::vector<Joint>& joints) {
  return std::make_unique<Limb>(joints);
}

std::optional<Hit> Scene::Intersect(Vec3 origin, Vec3 direction, double tMin, double tMax) const {
  std::optional<Hit> best;
  for (const auto& shape : shapes_) {
    if (auto hit = shape->Intersect(origin, direction, tMin, best ? best->t : tMax)) best = hit;
  }
  return best;
}

double Scene::SurfaceDistance(Vec3 p) const {
  double d = std::numeric_limits<double>::max();
  for (const auto& shape : shapes_) d = std::min(d, shape->SurfaceDistance(p));
  return d;
}

}  // namespace sim
