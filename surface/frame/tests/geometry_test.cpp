#include "surface/frame/geometry_coarse.h"
#include "surface/frame/geometry_fine.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A rotation about a unit axis followed by a translation.
Mat4d RigidTransform(Vec3d axis, double radians, Vec3d t) {
    const double c = std::cos(radians), s = std::sin(radians), k = 1.0 - c;
    const double a = axis.x, b = axis.y, d = axis.z;
    return Mat4d{{c + a * a * k, a * b * k + d * s, a * d * k - b * s, 0, a * b * k - d * s, c + b * b * k,
                  b * d * k + a * s, 0, a * d * k + b * s, b * d * k - a * s, c + d * d * k, 0, t.x, t.y, t.z, 1}};
}

void ExpectNear(const Mat4d& a, const Mat4d& b, double tolerance) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.m[i], b.m[i], tolerance) << "element " << i;
}

const Mat4d kIdentity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

TEST(GeometryFine, VectorHelpers) {
    Vec3d out{7, 7, 7};
    const Vec3d zero{0, 0, 0};
    EXPECT_EQ(geom_fine::Vec3_Normalise(&zero, &out), 0);
    EXPECT_EQ(out.x, 0.0);
    const Vec3d tiny{1e-101, 0, 0};
    EXPECT_EQ(geom_fine::Vec3_Normalise(&tiny, &out), 0);
    EXPECT_EQ(out.x, 1e-101);
    const Vec3d small{3e-60, 4e-60, 0};
    EXPECT_EQ(geom_fine::Vec3_Normalise(&small, &out), 1);
    EXPECT_NEAR(out.x, 0.6, 1e-15);
    EXPECT_NEAR(out.y, 0.8, 1e-15);

    Vec3d u{1, 0, 0};
    const Vec3d v{0, 1, 0};
    geom_fine::Vec3_Cross(&u, &v, &u);  // out aliases an input
    EXPECT_EQ(u.x, 0.0);
    EXPECT_EQ(u.z, 1.0);
    Vec3d d;
    const Vec3d p{5, 6, 7}, q{1, 2, 3};
    geom_fine::Vec3_Subtract(&p, &q, &d);
    EXPECT_EQ(d.x, 4.0);
    EXPECT_EQ(d.z, 4.0);
}

TEST(GeometryFine, ScaleTranslateAndComposeBuildALatticeTransform) {
    Mat4d scale, shift, lattice;
    geom_fine::Mat4_SetScale(2, 3, 4, &scale);
    geom_fine::Mat4_SetIdentity(&shift);
    const Vec3d t{10, 20, 30};
    geom_fine::Mat4_AddTranslation(&t, &shift);
    geom_fine::Mat4_AddTranslation(&t, &shift);
    geom_fine::Mat4_Compose(&shift, &scale, &lattice);  // scale first, then shift
    Vec3d p{1, 1, 1};
    geom_fine::Mat4_ApplyPoint(&lattice, &p, &p);
    EXPECT_EQ(p.x, 22.0);
    EXPECT_EQ(p.y, 43.0);
    EXPECT_EQ(p.z, 64.0);
}

TEST(GeometryBothSets, ProductsWithTheOutputAliasingAnOperand) {
    const Mat4d M = RigidTransform({0, 0, 1}, 0.3, {1, 2, 3});
    const Mat4d P = RigidTransform({0.6, 0.8, 0}, -1.1, {-4, 5, 0.5});
    Mat4d expected;
    geom_coarse::Mat4_Multiply(&M, &P, &expected);
    // P applied first, then M.
    Vec3d x{0.25, -2, 7}, viaBoth, step;
    geom_coarse::Mat4_TransformPoint(&expected, &x, &viaBoth);
    geom_coarse::Mat4_TransformPoint(&P, &x, &step);
    geom_coarse::Mat4_TransformPoint(&M, &step, &step);
    EXPECT_NEAR(viaBoth.x, step.x, 1e-12);
    EXPECT_NEAR(viaBoth.y, step.y, 1e-12);
    EXPECT_NEAR(viaBoth.z, step.z, 1e-12);

    using Product = void (*)(const Mat4d*, const Mat4d*, Mat4d*);
    for (Product product : {Product(geom_fine::Mat4_Compose), Product(geom_coarse::Mat4_Multiply)}) {
        Mat4d p = P;
        product(&M, &p, &p);
        ExpectNear(p, expected, 0.0);
        Mat4d m = M;
        product(&m, &P, &m);
        ExpectNear(m, expected, 0.0);
    }
}

TEST(GeometryCoarse, RigidInverseTimesTheTransformIsTheIdentity) {
    const Mat4d cases[] = {
        RigidTransform({0, 0, 1}, 0.0, {0, 0, 0}),
        RigidTransform({1, 0, 0}, 1.2, {3, -4, 5}),
        RigidTransform({0.48, 0.6, 0.64}, 2.9, {-120.5, 33.25, 910.0}),
    };
    for (const Mat4d& m : cases) {
        Mat4d inverse, product;
        geom_coarse::Mat4_InvertRigid(&m, &inverse);
        geom_coarse::Mat4_Multiply(&inverse, &m, &product);  // m first, then its inverse
        ExpectNear(product, kIdentity, 1e-12);
        geom_coarse::Mat4_Multiply(&m, &inverse, &product);
        ExpectNear(product, kIdentity, 1e-12);
        Mat4d inPlace = m;
        geom_coarse::Mat4_InvertRigid(&inPlace, &inPlace);
        ExpectNear(inPlace, inverse, 0.0);
    }
}

TEST(GeometryCoarse, IdentityTranslationAndTranspose) {
    Mat4d m;
    geom_coarse::Mat4_Identity(&m);
    ExpectNear(m, kIdentity, 0.0);
    const Vec3d t{1, 2, 3};
    geom_coarse::Mat4_Translation(&t, &m);
    EXPECT_EQ(m.m[13], 2.0);
    EXPECT_EQ(m.m[15], 1.0);
    geom_coarse::Mat4_Transpose(&m, &m);
    EXPECT_EQ(m.m[7], 2.0);
    EXPECT_EQ(m.m[13], 0.0);
    EXPECT_EQ(geom_coarse::kTolerance, static_cast<double>(1e-5f));
}

}  // namespace
