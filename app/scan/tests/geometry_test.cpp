#include "app/scan/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

Matrix4 Identity() {
    Matrix4 m;
    M4_Identity(m);
    return m;
}

Matrix4 FromEuler(float x, float y, float z) {
    Matrix4 m = Identity();
    M4_RotateX(x, m);
    M4_RotateY(y, m);
    M4_RotateZ(z, m);
    return m;
}

// A pose with a general rotation and a translation.
Matrix4 SamplePose() {
    Matrix4 m = FromEuler(25.0f, -40.0f, 110.0f);
    M4_Translate(Vec3{12.5f, -3.0f, 40.0f}, m);
    return m;
}

void ExpectMatrixNear(const Matrix4& a, const Matrix4& b, float tol) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[i], b[i], tol) << "element " << i;
}

void ExpectSameBits(const Matrix4& a, const Matrix4& b) {
    for (int i = 0; i < 16; ++i) EXPECT_EQ(a[i], b[i]) << "element " << i;
}

void ExpectVecEq(const Vec3& a, const Vec3& b) {
    EXPECT_EQ(a.x, b.x);
    EXPECT_EQ(a.y, b.y);
    EXPECT_EQ(a.z, b.z);
}

TEST(MatrixConventions, MultiplyAppliesTheSecondOperandFirst) {
    // Integer-valued matrices keep every product exact.
    Matrix4 swapXY = Identity();  // (x, y, z) -> (y, x, z)
    swapXY[0] = 0; swapXY[1] = 1; swapXY[4] = 1; swapXY[5] = 0;
    Matrix4 shift;
    M4_MakeTranslation(Vec3{10, 20, 30}, shift);
    const Vec3 p{1, 2, 3};

    Matrix4 product;
    M4_Multiply(swapXY, shift, product);  // shift first, then swap
    Vec3 viaProduct, step;
    M4_TransformPoint(product, p, viaProduct);
    M4_TransformPoint(shift, p, step);
    M4_TransformPoint(swapXY, step, step);
    ExpectVecEq(viaProduct, step);
    ExpectVecEq(viaProduct, Vec3{22, 11, 33});
    // The translation row is the transformed origin.
    EXPECT_EQ(product[12], 20);
    EXPECT_EQ(product[13], 10);
    EXPECT_EQ(product[14], 30);
}

TEST(MatrixConventions, AppendingOperationsRunAfterTheMatrixOwnTransform) {
    const Vec3 p{1, 0, 0};
    Matrix4 m;
    M4_MakeScale(Vec3{2, 3, 4}, m);
    M4_Translate(Vec3{5, 0, 0}, m);  // scale first, then translate
    Vec3 q;
    M4_TransformPoint(m, p, q);
    ExpectVecEq(q, Vec3{7, 0, 0});
    M4_Scale(Vec3{10, 10, 10}, m);  // then scale again
    M4_TransformPoint(m, p, q);
    ExpectVecEq(q, Vec3{70, 0, 0});

    // A quarter turn about z takes x to y (row vectors, [1] = sin).
    Matrix4 r = Identity();
    M4_RotateZ(90.0f, r);
    M4_TransformPoint(r, Vec3{1, 0, 0}, q);
    EXPECT_NEAR(q.x, 0.0f, 1e-6f);
    EXPECT_NEAR(q.y, 1.0f, 1e-6f);
}

TEST(MatrixConventions, OutputMayAliasAnInput) {
    const Matrix4 a = SamplePose();
    Matrix4 b = FromEuler(-70.0f, 15.0f, 200.0f);
    M4_Translate(Vec3{-1, 2, -3}, b);

    struct Case {
        const char* name;
        std::function<void(const Matrix4&, const Matrix4&, Matrix4&)> op;
    };
    const Case cases[] = {
        {"multiply", [](const Matrix4& x, const Matrix4& y, Matrix4& o) { M4_Multiply(x, y, o); }},
        {"add", [](const Matrix4& x, const Matrix4& y, Matrix4& o) { M4_Add(x, y, o); }},
        {"transpose", [](const Matrix4& x, const Matrix4&, Matrix4& o) { M4_Transpose(x, o); }},
        {"invert", [](const Matrix4& x, const Matrix4&, Matrix4& o) { M4_InvertRigid(x, o); }},
        {"scale", [](const Matrix4& x, const Matrix4&, Matrix4& o) { M4_ScaleElements(3.0f, x, o); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Matrix4 separate;
        c.op(a, b, separate);
        Matrix4 intoFirst = a;
        c.op(intoFirst, b, intoFirst);
        ExpectSameBits(intoFirst, separate);
        Matrix4 intoSecond = b;
        c.op(a, intoSecond, intoSecond);
        if (std::string(c.name) == "multiply" || std::string(c.name) == "add")
            ExpectSameBits(intoSecond, separate);
    }

    Vec3 p{3, -4, 5}, q;
    M4_TransformPoint(a, p, q);
    M4_TransformPoint(a, p, p);
    ExpectVecEq(p, q);
}

TEST(MatrixConventions, RigidInverseRoundTrip) {
    const Matrix4 pose = SamplePose();
    Matrix4 inverse, product;
    M4_InvertRigid(pose, inverse);
    M4_Multiply(inverse, pose, product);
    ExpectMatrixNear(product, Identity(), 2e-6f);
    M4_Multiply(pose, inverse, product);
    ExpectMatrixNear(product, Identity(), 2e-6f);

    const Vec3 p{7, 8, -9};
    Vec3 q;
    M4_TransformPoint(pose, p, q);
    M4_TransformPoint(inverse, q, q);
    EXPECT_NEAR(q.x, p.x, 1e-4f);
    EXPECT_NEAR(q.y, p.y, 1e-4f);
    EXPECT_NEAR(q.z, p.z, 1e-4f);
}

TEST(MatrixConventions, AxisRotationAboutACoordinateAxisMatchesTheAxisBuilders) {
    Matrix4 axis, plain;
    M4_MakeAxisRotation(Vec3{1, 0, 0}, 33.0f, axis);
    M4_MakeRotationX(33.0f, plain);
    ExpectMatrixNear(axis, plain, 1e-6f);
    M4_MakeAxisRotation(Vec3{0, 1, 0}, -71.0f, axis);
    M4_MakeRotationY(-71.0f, plain);
    ExpectMatrixNear(axis, plain, 1e-6f);
    M4_MakeAxisRotation(Vec3{0, 0, 1}, 150.0f, axis);
    M4_MakeRotationZ(150.0f, plain);
    ExpectMatrixNear(axis, plain, 1e-6f);
}

TEST(EulerAngles, RebuildTheMatrixInEveryQuadrant) {
    const float xs[] = {-175.0f, -120.0f, -60.0f, -5.0f, 0.0f, 5.0f, 60.0f, 120.0f, 175.0f, 180.0f};
    const float ys[] = {-89.0f, -60.0f, -20.0f, 0.0f, 20.0f, 60.0f, 89.0f};
    const float zs[] = {-170.0f, -95.0f, -90.0f, -30.0f, 0.0f, 30.0f, 90.0f, 95.0f, 170.0f};
    for (float x : xs)
        for (float y : ys)
            for (float z : zs) {
                const Matrix4 m = FromEuler(x, y, z);
                Vec3 angles;
                M4_ToEulerAngles(m, angles);
                ASSERT_FALSE(std::isnan(angles.x) || std::isnan(angles.y) || std::isnan(angles.z))
                    << x << " " << y << " " << z;
                EXPECT_GE(angles.y, -90.0f);
                EXPECT_LE(angles.y, 90.0f);
                const Matrix4 rebuilt = FromEuler(angles.x, angles.y, angles.z);
                SCOPED_TRACE(testing::Message() << "x " << x << " y " << y << " z " << z);
                // Near y = ±90 degrees the angles lose precision, the matrix not much.
                ExpectMatrixNear(rebuilt, m, std::fabs(y) > 80.0f ? 2e-3f : 2e-5f);
            }
}

TEST(VectorGuards, NormaliseLeavesShortAndInvalidVectorsAlone) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        Vec3 in;
        bool unchanged;
    };
    const Case cases[] = {
        {{1e-5f, 0, 0}, true},       // exactly the guard
        {{6e-6f, 6e-6f, 0}, true},   // length 8.5e-6
        {{0, 0, 0}, true},
        {{nan, 1, 0}, true},
        {{0, 0, -2e-5f}, false},
        {{3, 4, 12}, false},
    };
    for (const Case& c : cases) {
        Vec3 out;
        V3_Normalise(c.in, out);
        if (c.unchanged) {
            EXPECT_EQ(std::memcmp(&out, &c.in, sizeof out), 0);
        } else {
            EXPECT_NEAR(out.x * out.x + out.y * out.y + out.z * out.z, 1.0f, 1e-6f);
        }
    }
    Vec3 v{3, 4, 0};
    V3_Normalise(v, v);
    ExpectVecEq(v, Vec3{0.6f, 0.8f, 0.0f});

    Plane tiny{1e-6f, 0, 0, 5}, out;
    Plane_Normalise(tiny, out);
    EXPECT_EQ(out.d, 5.0f);
    Plane_Normalise(Plane{0, 0, 2, 4}, out);
    EXPECT_EQ(out.c, 1.0f);
    EXPECT_EQ(out.d, 2.0f);

    Vec3D small{5e-6, 5e-6, 0}, outD;
    V3D_Normalise(small, outD);
    EXPECT_EQ(outD.x, 5e-6);
}

TEST(VectorGuards, MissingIntersectionIsTenToTheTen) {
    Plane floor;
    Plane_FromPointNormal(Vec3{0, 0, 2}, Vec3{0, 0, 1}, floor);
    EXPECT_EQ(floor.d, -2.0f);
    Vec3 hit;
    // A ray along the plane never meets it.
    EXPECT_EQ(Plane_RayParameter(Vec3{0, 0, 5}, Vec3{1, 1, 0}, floor), 1e10f);
    Plane_RayIntersection(Vec3{0, 0, 5}, Vec3{1, 1, 0}, floor, hit);
    ExpectVecEq(hit, Vec3{1e10f, 1e10f, 1e10f});
    // A ray downwards meets it.
    EXPECT_EQ(Plane_RayParameter(Vec3{1, 2, 5}, Vec3{0, 0, -2}, floor), 1.5f);
    Plane_RayIntersection(Vec3{1, 2, 5}, Vec3{0, 0, -2}, floor, hit);
    ExpectVecEq(hit, Vec3{1, 2, 2});
}

TEST(VectorOps, BoxTestsAndBoundingBox) {
    float sum = -1;
    EXPECT_FALSE(V3_WithinBox(Vec3{1, 1, 1}, Vec3{1, 1, 1}, 0.0f, sum));
    EXPECT_EQ(sum, 0.0f);
    EXPECT_TRUE(V3_WithinBox(Vec3{0, 0, 0}, Vec3{1, 1, 1}, 3.5f, sum));
    EXPECT_EQ(sum, 3.0f);
    EXPECT_FALSE(V3_WithinBox(Vec3{0, 0, 0}, Vec3{1, 1, 1}, 3.0f, sum));  // strictly below
    EXPECT_EQ(sum, 3.0f);
    EXPECT_FALSE(V3_WithinBox(Vec3{0, 0, 0}, Vec3{0, 0, 9}, 10.0f, sum));
    EXPECT_EQ(sum, 10.0f);

    EXPECT_FALSE(V3_BeyondTolerance(Vec3{0, 0, 0}, Vec3{1, 1, 1}, 3.0f));
    EXPECT_TRUE(V3_BeyondTolerance(Vec3{0, 0, 0}, Vec3{1, 1, 1}, 2.9f));
    EXPECT_TRUE(V3_BeyondTolerance(Vec3{0, 0, 0}, Vec3{5, 0, 0}, 2.0f));

    const Vec3 one{1, -2, 3};
    Vec3 lo, hi, centre, extent;
    V3_BoundingBox(&one, 1, &lo, &hi, &centre, &extent);
    ExpectVecEq(lo, one);
    ExpectVecEq(hi, one);
    ExpectVecEq(centre, one);
    ExpectVecEq(extent, Vec3{0, 0, 0});

    const Vec3 pts[] = {{1, 5, -1}, {-3, 2, 4}, {2, -6, 0}};
    V3_BoundingBox(pts, 3, &lo, nullptr, &centre, &extent);
    ExpectVecEq(lo, Vec3{-3, -6, -1});
    ExpectVecEq(centre, Vec3{-0.5f, -0.5f, 1.5f});
    ExpectVecEq(extent, Vec3{5, 11, 5});

    Vec3 c;
    V3_Centroid(pts, 0, c);
    ExpectVecEq(c, Vec3{0, 0, 0});
    V3_Centroid(pts, 2, c);
    ExpectVecEq(c, Vec3{-1, 3.5f, 1.5f});
}

TEST(VectorOps, LinesAndPlanes) {
    const Vec3 origin{1, 1, 0}, dir{2, 0, 0};
    EXPECT_EQ(Line_Parameter(Vec3{5, 3, 0}, origin, dir), 2.0f);
    Vec3 q;
    Line_ClosestPoint(Vec3{5, 3, 0}, origin, dir, q);
    ExpectVecEq(q, Vec3{5, 1, 0});
    EXPECT_EQ(Line_DistanceSquared(Vec3{5, 3, 4}, origin, dir), 20.0f);
    // A direction too short to measure along gives the origin.
    EXPECT_EQ(Line_Parameter(Vec3{5, 3, 0}, origin, Vec3{1e-3f, 0, 0}), 0.0f);

    const Vec3D od{0, 0, 0};
    EXPECT_EQ(LineD_Parameter(Vec3D{3, 4, 0}, od, Vec3D{1e-3, 0, 0}), 0.0);
    EXPECT_EQ(LineD_Parameter(Vec3D{3, 4, 0}, od, Vec3D{2, 0, 0}), 1.5);
    EXPECT_EQ(LineD_DistanceSquared(Vec3D{3, 4, 0}, od, Vec3D{2, 0, 0}), 16.0);

    Plane p;
    Plane_FromThreePoints(Vec3{0, 0, 1}, Vec3{1, 0, 1}, Vec3{0, 1, 1}, p);
    EXPECT_EQ(p.c, 1.0f);
    EXPECT_EQ(p.d, -1.0f);
    EXPECT_EQ(Plane_SignedDistance(Vec3{4, 4, 3}, p), 2.0f);
    Plane_ProjectOut(Vec3{4, 4, 3}, p, q);
    ExpectVecEq(q, Vec3{4, 4, 1});

    Vec3 n;
    V3_NormalFrom4Points(Vec3{0, 0, 0}, Vec3{2, 0, 0}, Vec3{2, 2, 0}, Vec3{0, 2, 0}, n);
    ExpectVecEq(n, Vec3{0, 0, -1});
}

TEST(TriangleClosestPoint, RegionsInsideOnlySideAndBound) {
    const Vec3 a{0, 0, 0}, b{4, 0, 0}, c{0, 4, 0}, up{0, 0, 1};
    struct Case {
        const char* name;
        Vec3 p;
        int insideOnly, side;
        float tol, maxSq;
        int result;
        Vec3 point;
        float distSq;
    };
    const Case cases[] = {
        {"inside above", {1, 1, 2}, 0, 0, 0, 100, 1, {1, 1, 0}, 4},
        {"inside below", {1, 1, -2}, 0, 0, 0, 100, 1, {1, 1, 0}, 4},
        {"beyond a", {-1, -1, 0}, 0, 0, 0, 100, 1, {0, 0, 0}, 2},
        {"beyond b", {5, -1, 0}, 0, 0, 0, 100, 1, {4, 0, 0}, 2},
        {"beyond c", {-1, 5, 0}, 0, 0, 0, 100, 1, {0, 4, 0}, 2},
        {"beyond ab", {2, -1, 1}, 0, 0, 0, 100, 1, {2, 0, 0}, 2},
        {"beyond bc", {3, 3, 0}, 0, 0, 0, 100, 1, {2, 2, 0}, 2},
        {"beyond ca", {-1, 2, 0}, 0, 0, 0, 100, 1, {0, 2, 0}, 1},
        {"insideOnly, inside", {1, 1, 2}, 1, 0, 0, 100, 1, {1, 1, 0}, 4},
        {"insideOnly, beyond ab", {2, -1, 0}, 1, 0, 0, 100, 0, {}, 100},
        {"insideOnly, beyond bc", {3, 3, 0}, 1, 0, 0, 100, 0, {}, 100},
        {"insideOnly, beyond ca", {-1, 2, 0}, 1, 0, 0, 100, 0, {}, 100},
        {"insideOnly, within tolerance of ab", {1, -0.05f, 1}, 1, 0, 0.1f, 100, 1, {1, -0.05f, 0}, 1},
        {"front only, below", {1, 1, -2}, 0, 1, 0, 100, 0, {}, 100},
        {"front only, just below within tol", {1, 1, -0.05f}, 0, 1, 0.1f, 100, 1, {1, 1, 0}, 0.0025f},
        {"back only, above", {1, 1, 2}, 0, -1, 0, 100, 0, {}, 100},
        {"back only, below", {1, 1, -2}, 0, -1, 0, 100, 1, {1, 1, 0}, 4},
        {"height beyond bound", {1, 1, 2}, 0, 0, 0, 3, 0, {}, 3},
        {"corner beyond bound", {-1, -1, 0}, 0, 0, 0, 1.5f, 0, {}, 1.5f},
        {"distance equal to bound", {-1, -1, 0}, 0, 0, 0, 2, 1, {0, 0, 0}, 2},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Vec3 out{-7, -7, -7};
        float distSq = -1;
        EXPECT_EQ(Tri_ClosestPoint(k.p, a, b, c, up, out, k.insideOnly, k.side, k.tol, k.maxSq, distSq),
                  k.result);
        EXPECT_FLOAT_EQ(distSq, k.distSq);
        if (k.result) {
            EXPECT_FLOAT_EQ(out.x, k.point.x);
            EXPECT_FLOAT_EQ(out.y, k.point.y);
            EXPECT_FLOAT_EQ(out.z, k.point.z);
        }
    }
    Vec3 out;
    float distSq;
    EXPECT_EQ(Tri_ClosestPoint(Vec3{1, 1, 1}, a, b, c, Vec3{0, 0, 0}, out, 0, 0, 0, 100, distSq), 0)
        << "a triangle without a normal has no closest point";
    EXPECT_EQ(distSq, 100.0f);
}

}  // namespace
