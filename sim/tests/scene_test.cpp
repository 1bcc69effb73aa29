#include "sim/scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace sim {
namespace {

struct ShapeCase {
  const char* name;
  std::unique_ptr<Shape> shape;
  Vec3 origin, direction;
  bool hits;
  Vec3 expected;  // the first hit when it hits
};

TEST(Scene, RaysHitEachShapeOnItsSurfaceFacingTheRay) {
  ShapeCase cases[] = {
      {"plane", MakePlane({0, 0, 100}, {0, 0, -1}), {5, 5, 0}, {0, 0, 1}, true, {5, 5, 100}},
      {"plane from behind", MakePlane({0, 0, 100}, {0, 0, 1}), {5, 5, 0}, {0, 0, 1}, true, {5, 5, 100}},
      {"plane parallel", MakePlane({0, 0, 100}, {0, 0, 1}), {0, 0, 0}, {1, 0, 0}, false, {}},
      {"sphere", MakeSphere({0, 0, 300}, 50), {0, 0, 0}, {0, 0, 1}, true, {0, 0, 250}},
      {"sphere missed", MakeSphere({0, 0, 300}, 50), {0, 60, 0}, {0, 0, 1}, false, {}},
      {"sphere behind", MakeSphere({0, 0, -300}, 50), {0, 0, 0}, {0, 0, 1}, false, {}},
      {"cylinder", MakeCylinder({0, 0, 200}, {1, 0, 0}, 40), {30, 0, 0}, {0, 0, 1}, true, {30, 0, 160}},
      {"cylinder along ray", MakeCylinder({0, 0, 200}, {0, 0, 1}, 40), {0, 100, 0}, {0, 0, 1}, false, {}},
      // The cone is tangent to both spheres: radius (60 - 100 * 0.1) / cos(asin 0.1) midway.
      {"limb thigh", MakeLimb({{{-100, 0, 300}, 60}, {{100, 0, 300}, 40}}), {0, 0, 0}, {0, 0, 1}, true,
       {0, 0, 300 - 50 / std::sqrt(0.99)}},
      {"limb end cap", MakeLimb({{{-100, 0, 300}, 60}, {{100, 0, 300}, 40}}), {400, 0, 300}, {-1, 0, 0},
       true, {140, 0, 300}},
      {"target", MakeTarget({0, 0, 300}, 5), {0, 3, 0}, {0, 0, 1}, true, {0, 3, 300.03}},  // faces (0, 3, 0)
      {"target from the side", MakeTarget({0, 0, 300}, 5), {200, 0, 300}, {-1, 0, 0}, true, {0, 0, 300}},
      {"target missed", MakeTarget({0, 0, 300}, 5), {0, 6, 0}, {0, 0, 1}, false, {}},
      {"target from on it", MakeTarget({0, 0, 300}, 5), {0, 4, 300}, {0, 0, -1}, false, {}},
      {"limb missed", MakeLimb({{{-100, 0, 300}, 60}, {{100, 0, 300}, 40}}), {0, 100, 0}, {0, 0, 1},
       false, {}},
  };
  for (ShapeCase& c : cases) {
    const auto hit = c.shape->Intersect(c.origin, Normalised(c.direction), 0, 1e4);
    ASSERT_EQ(hit.has_value(), c.hits) << c.name;
    if (!hit) continue;
    EXPECT_NEAR(Length(hit->point - c.expected), 0, 1e-5) << c.name;
    EXPECT_NEAR(c.shape->SurfaceDistance(hit->point), 0, 1e-6) << c.name;
    EXPECT_NEAR(Length(hit->normal), 1, 1e-9) << c.name;
    EXPECT_LT(Dot(hit->normal, c.direction), 0) << c.name << ": normal faces the ray";
  }
}

TEST(Scene, LimbTapersBetweenItsJoints) {
  // Midway between joints of radius 60 and 40 (200 apart), the surface lies
  // close to radius 50 (the cone is tangent to both spheres).
  auto limb = MakeLimb({{{-100, 0, 0}, 60}, {{100, 0, 0}, 40}, {{250, 0, 50}, 30}});
  EXPECT_NEAR(limb->SurfaceDistance({0, 0, 50.0}), 0, 0.6);
  EXPECT_NEAR(limb->SurfaceDistance({0, 0, 0}), 50, 0.6);  // on the axis, inside
  EXPECT_NEAR(limb->SurfaceDistance({250, 0, 80}), 0, 1e-9);  // the last joint's sphere
}

TEST(Scene, NearestShapeWinsAndDistanceIsToTheNearestSurface) {
  Scene scene;
  scene.Add(MakePlane({0, 0, 500}, {0, 0, 1}));
  scene.Add(MakeSphere({0, 0, 300}, 50));
  const auto hit = scene.Intersect({0, 0, 0}, {0, 0, 1}, 0, 1e4);
  ASSERT_TRUE(hit);
  EXPECT_NEAR(hit->point.z, 250, 1e-9);
  EXPECT_NEAR(scene.SurfaceDistance({0, 0, 480}), 20, 1e-9);
  EXPECT_FALSE(scene.Intersect({0, 0, 0}, {0, 0, 1}, 0, 200));
}

}  // namespace
}  // namespace sim
