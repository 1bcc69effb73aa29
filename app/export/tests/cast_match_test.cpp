// Matching of the markers of a cut cast's two pieces: both methods recover a
// known rigid transform from shuffled marker lists, with and without
// digitising noise, and refuse what they cannot align.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "app/export/cast_match.h"

namespace {

// Uniform in [0, 1) from the raw generator, whose sequence is fixed by the
// standard (the library's distributions are not).
double Uniform(std::mt19937& rng) { return rng() / 4294967296.0; }

// Markers spread over a piece of a cast, never closer than 25 mm.
std::vector<Vec3> Markers(int32_t count, std::mt19937& rng) {
    std::vector<Vec3> out;
    while (static_cast<int32_t>(out.size()) < count) {
        const Vec3 p{static_cast<float>(-100 + 200 * Uniform(rng)), static_cast<float>(-60 + 120 * Uniform(rng)),
                     static_cast<float>(-40 + 80 * Uniform(rng))};
        bool apart = true;
        for (const Vec3& q : out) apart = apart && V3_Distance(p, q) > 25.0f;
        if (apart) out.push_back(p);
    }
    return out;
}

Matrix4 RigidTransform(Vec3 axis, float degrees, Vec3 translation) {
    V3_Normalise(axis, axis);
    Matrix4 t;
    M4_MakeAxisRotation(axis, degrees, t);
    t[12] = translation.x;
    t[13] = translation.y;
    t[14] = translation.z;
    return t;
}

// List 2: list 1 carried back by the transform (so the transform moves it
// onto list 1), each marker moved by `noise` mm in a random direction, the
// order shuffled. `truth` receives each list-2 marker's noise-free position.
std::vector<Vec3> SecondList(const std::vector<Vec3>& list1, const Matrix4& t, float noise, std::mt19937& rng,
                             std::vector<Vec3>& truth) {
    Matrix4 back;
    M4_InvertRigid(t, back);
    std::vector<Vec3> out(list1.size());
    truth.resize(list1.size());
    for (size_t i = 0; i < list1.size(); ++i) {
        M4_TransformPoint(back, list1[i], truth[i]);
        Vec3 d{static_cast<float>(Uniform(rng) - 0.5), static_cast<float>(Uniform(rng) - 0.5),
               static_cast<float>(Uniform(rng) - 0.5)};
        V3_Normalise(d, d);
        V3_AddScaled(truth[i], noise, d, out[i]);
    }
    for (size_t i = out.size() - 1; i > 0; --i) {
        const size_t j = rng() % (i + 1);
        std::swap(out[i], out[j]);
        std::swap(truth[i], truth[j]);
    }
    return out;
}

using MatchFunction = int32_t (*)(const Vec3*, const Vec3*, int32_t, int32_t, Matrix4&, int32_t&, float&, float&);

struct MatchResult {
    int32_t returned = -1;
    Matrix4 transform{};
    int32_t count = -1;
    float greatest = -1.0f;
    float mean = -1.0f;
};

MatchResult Match(MatchFunction match, const std::vector<Vec3>& list1, const std::vector<Vec3>& list2) {
    MatchResult r;
    r.returned = match(list1.data(), list2.data(), static_cast<int32_t>(list1.size()),
                       static_cast<int32_t>(list2.size()), r.transform, r.count, r.greatest, r.mean);
    return r;
}

double Determinant3(const Matrix4& m) {
    return m[0] * (m[5] * m[10] - m[6] * m[9]) - m[1] * (m[4] * m[10] - m[6] * m[8]) +
           m[2] * (m[4] * m[9] - m[5] * m[8]);
}

struct TransformCase {
    int32_t markers;
    Vec3 axis;
    float degrees;
    Vec3 translation;
};

const TransformCase kTransforms[] = {
    {4, {0, 0, 1}, 0.0f, {0, 0, 0}},
    {4, {1, 0, 0}, 90.0f, {500, 0, 0}},
    {5, {0, 1, 1}, 180.0f, {-200, 250, -300}},
    {6, {1, 2, 3}, 37.0f, {0, 0, -500}},
    {7, {-1, 0.5f, 0.2f}, -120.0f, {120, -340, 310}},
    {8, {0.3f, -0.9f, 0.1f}, 171.5f, {-353, -353, 0}},
};

const struct {
    const char* name;
    MatchFunction match;
} kMethods[] = {{"asymmetric", CastInv_MatchSingle}, {"symmetric", CastInv_MatchPair}};

TEST(CastMatch, BothMethodsRecoverAKnownTransformExactly) {
    for (const auto& method : kMethods) {
        for (size_t c = 0; c < std::size(kTransforms); ++c) {
            const TransformCase& tc = kTransforms[c];
            SCOPED_TRACE(testing::Message() << method.name << ", case " << c);
            std::mt19937 rng(static_cast<uint32_t>(100 + c));
            const std::vector<Vec3> list1 = Markers(tc.markers, rng);
            const Matrix4 truth = RigidTransform(tc.axis, tc.degrees, tc.translation);
            std::vector<Vec3> clean;
            const std::vector<Vec3> list2 = SecondList(list1, truth, 0.0f, rng, clean);
            const MatchResult r = Match(method.match, list1, list2);
            ASSERT_EQ(r.returned, 1);
            EXPECT_EQ(r.count, tc.markers);
            EXPECT_GE(r.mean, 0.0f);
            EXPECT_LT(r.mean, 1e-3f);
            EXPECT_LT(r.greatest, 2e-3f);
            EXPECT_NEAR(Determinant3(r.transform), 1.0, 1e-5);
            for (int i = 0; i < 12; ++i) EXPECT_NEAR(r.transform[i], truth[i], 2e-6) << i;
            for (int i = 12; i < 15; ++i) EXPECT_NEAR(r.transform[i], truth[i], 1e-3) << i;
        }
    }
}

TEST(CastMatch, BothMethodsAlignNoisyMarkersWithinTheNoise) {
    const float noise = 0.2f;
    for (const auto& method : kMethods) {
        for (size_t c = 0; c < std::size(kTransforms); ++c) {
            const TransformCase& tc = kTransforms[c];
            SCOPED_TRACE(testing::Message() << method.name << ", case " << c);
            std::mt19937 rng(static_cast<uint32_t>(200 + c));
            const std::vector<Vec3> list1 = Markers(tc.markers, rng);
            const Matrix4 truth = RigidTransform(tc.axis, tc.degrees, tc.translation);
            std::vector<Vec3> clean;
            const std::vector<Vec3> list2 = SecondList(list1, truth, noise, rng, clean);
            const MatchResult r = Match(method.match, list1, list2);
            ASSERT_EQ(r.returned, 1);
            EXPECT_EQ(r.count, tc.markers);
            EXPECT_GT(r.mean, 0.0f);
            EXPECT_LE(r.mean, noise);
            EXPECT_LE(r.greatest, 2 * noise);
            EXPECT_NEAR(Determinant3(r.transform), 1.0, 1e-5);
            // The fitted transform puts each marker's true position within
            // the noise of where the true transform puts it.
            for (size_t i = 0; i < clean.size(); ++i) {
                Vec3 fitted, exact;
                M4_TransformPoint(r.transform, clean[i], fitted);
                M4_TransformPoint(truth, clean[i], exact);
                EXPECT_LT(V3_Distance(fitted, exact), noise) << i;
            }
        }
    }
}

TEST(CastMatch, FiveMarkersAgainstFour) {
    std::mt19937 rng(7);
    const std::vector<Vec3> five = Markers(5, rng);
    const Matrix4 truth = RigidTransform({1, 1, 0}, 64.0f, {-150, 80, 420});
    std::vector<Vec3> clean;
    std::vector<Vec3> four = SecondList(five, truth, 0.0f, rng, clean);
    four.pop_back();
    // Either list may hold the extra marker: at most four pairs, and these
    // are the right ones.
    const MatchResult longFirst = Match(CastInv_MatchSingle, five, four);
    ASSERT_EQ(longFirst.returned, 1);
    EXPECT_LE(longFirst.count, 4);
    EXPECT_LT(longFirst.mean, 1e-3f);
    for (int i = 0; i < 15; ++i) EXPECT_NEAR(longFirst.transform[i], truth[i], 1e-3) << i;

    Matrix4 back;
    M4_InvertRigid(truth, back);
    const MatchResult longSecond = Match(CastInv_MatchSingle, four, five);
    ASSERT_EQ(longSecond.returned, 1);
    EXPECT_LE(longSecond.count, 4);
    EXPECT_LT(longSecond.mean, 1e-3f);
    for (int i = 0; i < 15; ++i) EXPECT_NEAR(longSecond.transform[i], back[i], 1e-3) << i;

    // The symmetric matching needs equal counts and leaves its outputs alone.
    for (const auto& lists : {std::make_pair(five, four), std::make_pair(four, five)}) {
        const MatchResult r = Match(CastInv_MatchPair, lists.first, lists.second);
        EXPECT_EQ(r.returned, 0);
        EXPECT_EQ(r.count, -1);
        EXPECT_EQ(r.mean, -1.0f);
    }
}

TEST(CastMatch, MarkersOnALineGiveNoTransform) {
    // Four markers along a slanted line on each piece, the second set moved:
    // the pairs cannot fix a rotation about the line.
    std::vector<Vec3> line1, line2;
    const float steps[] = {0.0f, 30.0f, 75.0f, 140.0f};
    for (float s : steps) {
        line1.push_back(Vec3{10 + s * 0.6f, -20 + s * 0.8f, 5.0f});
        line2.push_back(Vec3{-40.0f, 200 + s * 0.8f, 30 + s * 0.6f});
    }
    const MatchResult r = Match(CastInv_MatchSingle, line1, line2);
    EXPECT_EQ(r.returned, 1);
    EXPECT_EQ(r.mean, -1.0f);
    EXPECT_EQ(r.greatest, -1.0f);
}

TEST(CastMatch, SymmetricMatchingWithNoFittableAssignmentReportsNoTransform) {
    // Markers on an axis line: every assignment's cross-covariance has rank
    // 1, so no rotation can be fitted; the starting sums must not come out
    // as errors.
    std::vector<Vec3> line1, line2;
    for (float s : {0.0f, 30.0f, 75.0f, 140.0f}) {
        line1.push_back(Vec3{s, 0, 0});
        line2.push_back(Vec3{0, 0, 50 + s});
    }
    const MatchResult r = Match(CastInv_MatchPair, line1, line2);
    EXPECT_EQ(r.returned, 1);
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(r.mean, -1.0f);
    EXPECT_EQ(r.greatest, -1.0f);
}

TEST(CastMatch, ProfileScore) {
    const float a[] = {0, 10, 20, 30};
    const float b[] = {0, 10.5f, 30.2f};
    const float far[] = {0, 50, 60};
    const struct {
        const char* name;
        const float* a;
        const float* b;
        int32_t n, m, k;
        float score;
    } cases[] = {
        {"k of 0", a, b, 4, 3, 0, 0.0f},
        {"k above a list", a, b, 4, 3, 4, -1.0f},
        {"one element of a skipped", a, b, 4, 3, 3, 0 + 0 + 10 + 10.5f + 30 + 30.2f},
        {"smallest pairs win", a, b, 4, 3, 2, 0 + 0 + 10 + 10.5f},
        {"beyond the tolerance", a, far, 4, 3, 2, -1.0f},
        {"only the zeros pair", a, far, 4, 3, 1, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FLOAT_EQ(CastInv_ProfileScore(c.a, c.b, c.n, c.m, c.k, 1.0f), c.score);
    }
}

}  // namespace
