// Fixed results of the geometry library, written as exact values. The same
// expectations hold in every build: bit for bit where only arithmetic and
// square roots are involved, within a few units in the last place where the
// C library's sine, cosine and arcsine are.
#include "app/scan/geometry.h"
#include "app/scan/svd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

const Matrix4 kA = {{0.1f, -0.7f, 0.3f, 0.0f, 0.45f, 0.2f, -0.9f, 0.0f, 0.6f, 0.33f, 0.25f, 0.0f, 12.5f, -3.25f, 7.125f, 1.0f}};
const Matrix4 kB = {{0.8f, 0.1f, -0.55f, 0.0f, -0.2f, 0.95f, 0.15f, 0.0f, 0.5f, 0.3f, 0.81f, 0.0f, -1.5f, 2.75f, 0.3f, 1.0f}};
const Vec3 kP = {1.7f, -2.3f, 0.45f};
const Vec3D kRows[5] = {{1.5, -0.3, 2.2}, {0.7, 3.1, -1.4}, {-2.6, 0.9, 0.35}, {0.05, -1.75, 4.4}, {3.3, 0.6, -0.8}};
const Vec3 kTri[3] = {{0.3f, 0.1f, 0.2f}, {4.1f, 0.7f, -0.3f}, {0.9f, 3.7f, 0.5f}};

const float kProduct[16] = {-0x1.a3d70cp-3, -0x1.716874p-1, 0x1.9999ap-7, 0x0p+0, 0x1.fd70a2p-2, 0x1.849ba4p-2, -0x1.c147acp-1, 0x0p+0, 0x1.578d5p-1, -0x1.73eaap-6, 0x1.51eb84p-4, 0x0p+0, 0x1.b88f5cp+3, -0x1.8d0e58p+0, 0x1.11999ap+2, 0x1p+0};
const float kInverse[16] = {0x1.99999ap-4, 0x1.ccccccp-2, 0x1.333334p-1, 0x0p+0, -0x1.666666p-1, 0x1.99999ap-3, 0x1.51eb86p-2, 0x0p+0, 0x1.333334p-2, -0x1.ccccccp-1, 0x1p-2, 0x0p+0, -0x1.6a6666p+2, 0x1.7p+0, -0x1.06ae16p+3, 0x1p+0};
const float kTransformed[3] = {0x1.7cf5c2p+3, -0x1.301894p+2, 0x1.3a28f6p+3};
const float kNormalised[3] = {0x1.2ca13ep-1, -0x1.96bc06p-1, 0x1.3e505ep-3};
const float kCentroid[3] = {0x1.c44446p+0, 0x1.8p+0, 0x1.11111p-3};
const float kTriangle[5] = {0x1.d526e4p+0, 0x1.5e3382p-2, -0x1.b376p-10, 0x1.af984p+1, 0x1p+0};
const float kOrthonormal[16] = {0x1.541eb8p-2, -0x1.d8d7f4p-1, 0x1.88c904p-3, 0x0p+0, 0x1.e20f04p-2, -0x1.c70fp-7, -0x1.c3a964p-1, 0x0p+0, 0x1.a27bc8p-1, 0x1.887dc8p-2, 0x1.b877fep-2, 0x0p+0, 0x1.9p+3, -0x1.ap+1, 0x1.c8p+2, 0x1p+0};
const double kSvd[12] = {0x1.7a9f70d29455ep+2, 0x1.2007a5070c206p+2, 0x1.3963d6c908b75p+1, 0x1.aa377051a8104p-4, 0x1.0bbd6a9ad038ep-1, -0x1.b126fba98b8dp-1, 0x1.fcd5c1161de37p-1, -0x1.617cd22ad76ap-6, 0x1.be102184c5a3p-4, -0x1.3cfe61be5dd54p-5, 0x1.b446d2a5b947dp-1, 0x1.0b3bfa2c3d5b4p-1};
const double kFit[12] = {0x1.2e147ae147ae1p-1, 0x1.051eb851eb853p-1, 0x1.e666666666668p-1, 0x1.82a5b1f5eebep-3, 0x1.229ffbd59b80fp-1, -0x1.9a4a29fbc2bc4p-1, 0x1.1e2762e570c2cp-3, 0x1.959a4b537559cp-1, 0x1.3028b3444cbbcp-1, 0x1.a375174a51505p+1, 0x1.fa4c5fbb63cc8p+0, 0x1.e62ca0017ab25p-2};
const float kAxisRotation[16] = {0x1.a93ddp-1, 0x1.eb936ap-2, -0x1.21268p-2, 0x0p+0, -0x1.86013ep-2, 0x1.b80dccp-1, 0x1.5d1dep-2, 0x0p+0, 0x1.a01d38p-2, -0x1.67a9dap-3, 0x1.cb1934p-1, 0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0, 0x1p+0};
const float kEuler[3] = {0x1.4d15b2p+4, 0x1.066e36p+4, 0x1.e071a4p+4};
const double kRotationD[16] = {0x1p+0, 0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0, 0x1.abeef0f9643bbp-1, 0x1.191985443c4d8p-1, 0x0p+0, 0x0p+0, -0x1.191985443c4d8p-1, 0x1.abeef0f9643bbp-1, 0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0, 0x1p+0};

void ExpectBits(const float* actual, const float* expected, int n) {
    for (int i = 0; i < n; ++i) EXPECT_EQ(actual[i], expected[i]) << "element " << i;
}

void ExpectBits(const double* actual, const double* expected, int n) {
    for (int i = 0; i < n; ++i) EXPECT_EQ(actual[i], expected[i]) << "element " << i;
}

// Distance in units of the last place between two finite values of one sign
// (or zero).
int64_t UlpDistance(double a, double b) {
    int64_t ia, ib;
    std::memcpy(&ia, &a, sizeof a);
    std::memcpy(&ib, &b, sizeof b);
    if (ia < 0) ia = INT64_MIN - ia;
    if (ib < 0) ib = INT64_MIN - ib;
    return ia > ib ? ia - ib : ib - ia;
}

int32_t UlpDistance(float a, float b) {
    int32_t ia, ib;
    std::memcpy(&ia, &a, sizeof a);
    std::memcpy(&ib, &b, sizeof b);
    if (ia < 0) ia = INT32_MIN - ia;
    if (ib < 0) ib = INT32_MIN - ib;
    return ia > ib ? ia - ib : ib - ia;
}

template <typename T>
void ExpectUlps(const T* actual, const T* expected, int n, int ulps) {
    for (int i = 0; i < n; ++i)
        EXPECT_LE(UlpDistance(actual[i], expected[i]), ulps)
            << "element " << i << ": " << actual[i] << " vs " << expected[i];
}

TEST(GeometryGolden, ArithmeticIsBitExact) {
    Matrix4 m;
    M4_Multiply(kA, kB, m);
    ExpectBits(m.m, kProduct, 16);
    M4_InvertRigid(kA, m);
    ExpectBits(m.m, kInverse, 16);
    Vec3 v;
    M4_TransformPoint(kA, kP, v);
    ExpectBits(&v.x, kTransformed, 3);
    V3_Normalise(kP, v);
    ExpectBits(&v.x, kNormalised, 3);
    V3_Centroid(kTri, 3, v);
    ExpectBits(&v.x, kCentroid, 3);

    Plane plane;
    Plane_FromThreePoints(kTri[0], kTri[1], kTri[2], plane);
    Vec3 normal;
    V3_Normalise(Vec3{plane.a, plane.b, plane.c}, normal);
    float tri[5];
    Vec3 closest;
    tri[4] = static_cast<float>(Tri_ClosestPoint(Vec3{2.2f, -0.9f, 1.3f}, kTri[0], kTri[1], kTri[2],
                                                 normal, closest, 0, 0, 0.01f, 100.0f, tri[3]));
    tri[0] = closest.x;
    tri[1] = closest.y;
    tri[2] = closest.z;
    ExpectBits(tri, kTriangle, 5);
}

TEST(GeometryGolden, DecompositionAndFitsAreBitExact) {
    Matrix4 m;
    ASSERT_EQ(M4_Orthonormalise(kA, m), 1);
    ExpectBits(m.m, kOrthonormal, 16);

    double svd[12];
    Vec3D r1, r2, r3;
    ASSERT_EQ(Svd_OfRows(5, kRows, svd[0], r1, svd[1], r2, svd[2], r3), 1);
    const Vec3D* vectors[3] = {&r1, &r2, &r3};
    for (int k = 0; k < 3; ++k) {
        svd[3 + 3 * k] = vectors[k]->x;
        svd[4 + 3 * k] = vectors[k]->y;
        svd[5 + 3 * k] = vectors[k]->z;
    }
    ExpectBits(svd, kSvd, 12);

    Vec3D centroid, direction, normal;
    double fit[12];
    ASSERT_EQ(Svd_FitPlaneOrLine(5, kRows, centroid, &direction, &normal, &fit[9], &fit[10], &fit[11]), 1);
    const Vec3D* fitVectors[3] = {&centroid, &direction, &normal};
    for (int k = 0; k < 3; ++k) {
        fit[3 * k] = fitVectors[k]->x;
        fit[3 * k + 1] = fitVectors[k]->y;
        fit[3 * k + 2] = fitVectors[k]->z;
    }
    ExpectBits(fit, kFit, 12);
}

TEST(GeometryGolden, TrigonometryWithinAFewUlps) {
    Matrix4 m;
    M4_MakeAxisRotation(Vec3{0.42426407f, 0.56568542f, 0.70710678f}, 37.5f, m);
    ExpectUlps(m.m, kAxisRotation, 16, 4);
    // The angles come from the expected matrix, so only the arcsine and
    // cosine of this build are measured.
    Matrix4 expected;
    std::memcpy(expected.m, kAxisRotation, sizeof expected.m);
    Vec3 angles;
    M4_ToEulerAngles(expected, angles);
    ExpectUlps(&angles.x, kEuler, 3, 4);
    Matrix4D d;
    M4D_MakeRotation(33.3, d);
    ExpectUlps(d.m, kRotationD, 16, 4);
}

}  // namespace
