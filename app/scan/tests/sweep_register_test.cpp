#include "app/scan/sweep_register.h"

#include "app/scan/svd.h"
#include "app/scan/tests/registration_scan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

using scan_test::Height;
using scan_test::Pose;
using scan_test::SurfaceScan;
using scan_test::ToScan;

// Everything the registration may move, to compare before and after.
struct ScanImage {
    std::vector<ScanPoint> points;
    std::vector<Vec3> facetNormals, profilePoints;
    std::vector<Matrix4> wands;

    explicit ScanImage(const RawData& r)
        : points(r.Points, r.Points + r.NumPoints), facetNormals(r.FacetNormals, r.FacetNormals + r.NumFacets) {
        for (int32_t p = 0; p < r.NumProfiles; ++p) {
            wands.push_back(r.Profiles[p].WandRxMatrix);
            profilePoints.insert(profilePoints.end(), r.Profiles[p].Points,
                                 r.Profiles[p].Points + r.Profiles[p].NumPoints);
        }
    }

    // The largest difference of any coordinate or matrix element.
    float Distance(const ScanImage& o) const {
        float worst = 0.0f;
        auto vec = [&worst](const Vec3& a, const Vec3& b) {
            worst = std::max({worst, std::fabs(a.x - b.x), std::fabs(a.y - b.y), std::fabs(a.z - b.z)});
        };
        for (size_t i = 0; i < points.size(); ++i)
            vec(points[i].Vertex, o.points[i].Vertex), vec(points[i].Normal, o.points[i].Normal);
        for (size_t i = 0; i < facetNormals.size(); ++i) vec(facetNormals[i], o.facetNormals[i]);
        for (size_t i = 0; i < profilePoints.size(); ++i) vec(profilePoints[i], o.profilePoints[i]);
        for (size_t p = 0; p < wands.size(); ++p)
            for (int i = 0; i < 16; ++i) worst = std::max(worst, std::fabs(wands[p][i] - o.wands[p][i]));
        return worst;
    }
};

SweepRegParameters DialogParameters() { return SweepRegParameters{}; }

struct ReportLog {
    std::vector<std::string> keys;
    std::vector<float> fractions;
    int stopAfter = -1;  // stop at this call of the registering step

    SweepRegStepReport Report() {
        return [this](const char* key, float fraction) {
            keys.push_back(key);
            fractions.push_back(fraction);
            if (stopAfter < 0) return true;
            return std::string(key) != "SweepRegRegisterMsg" && std::string(key) != "SweepRegAbortMsg"
                       ? true
                       : static_cast<int>(keys.size()) <= stopAfter;
        };
    }
};

// The movement of sweep 1 relative to sweep 0 that a run left in force.
Matrix4 RelativePending(const RawData& r) {
    Matrix4 inverse, out;
    M4_InvertRigid(r.Sweeps[0].PendingTransform, inverse);
    M4_Multiply(inverse, r.Sweeps[1].PendingTransform, out);
    return out;
}

float Determinant3(const Matrix4& m) {
    return m[0] * (m[5] * m[10] - m[6] * m[9]) - m[1] * (m[4] * m[10] - m[6] * m[8]) +
           m[2] * (m[4] * m[9] - m[5] * m[8]);
}

TEST(SweepRegIcpStep, FitsKnownMotionsWithProperRotations) {
    std::vector<Vec3> bumpy, flat;
    for (int i = 0; i < 12; ++i)
        for (int j = 0; j < 9; ++j) {
            bumpy.push_back(Vec3{float(i * 3), float(j * 4), Height(float(i * 3), float(j * 4))});
            flat.push_back(Vec3{float(i * 3) + 0.3f * std::sin(float(j)), float(j * 4), 0.0f});
        }
    std::vector<Vec3> mirrored = flat;
    for (Vec3& p : mirrored) p.x = -p.x;
    const Matrix4 motion = Pose(Vec3{0.2f, -0.4f, 1.0f}, 7.0f, Vec3{3.0f, -2.0f, 1.5f});
    const Matrix4 inPlane = Pose(Vec3{0.0f, 0.0f, 1.0f}, 10.0f, Vec3{1.0f, 2.0f, 0.0f});
    struct Case {
        const char* name;
        const std::vector<Vec3>* source;
        const Matrix4* move;              // target = source moved
        const std::vector<Vec3>* target;  // or this target
        float errorAfter;
    } cases[] = {
        {"bumpy points moved rigidly", &bumpy, &motion, nullptr, 1e-3f},
        {"flat patch turned in its plane", &flat, &inPlane, nullptr, 1e-3f},
        // The best fit of a mirror image of a flat patch is the half turn
        // that lays the patch onto itself, never a reflection.
        {"flat patch onto its mirror image", &flat, nullptr, &mirrored, 1e-3f},
    };
    for (const Case& c : cases) {
        std::vector<Vec3> target = c.target ? *c.target : *c.source;
        if (c.move)
            for (Vec3& p : target) M4_TransformPoint(*c.move, p, p);
        Matrix4 m;
        float scale = 0.0f, before = -1.0f, after = -1.0f;
        ASSERT_EQ(SweepReg_IcpStep(int32_t(target.size()), c.source->data(), target.data(), m, &scale, &before, &after),
                  1)
            << c.name;
        EXPECT_NEAR(Determinant3(m), 1.0f, 1e-5f) << c.name;
        EXPECT_EQ(scale, 1.0f) << c.name;
        EXPECT_GT(before, 1.0f) << c.name;
        EXPECT_LT(after, c.errorAfter) << c.name;
        if (c.move) {
            for (int i = 0; i < 16; ++i) EXPECT_NEAR(m[i], (*c.move)[i], 1e-4f) << c.name << " element " << i;
        }
    }
}

TEST(SweepRegIcpStep, RefusesTooFewPairsAndDegenerateOnes) {
    const Vec3 two[2] = {{0, 0, 0}, {1, 0, 0}};
    const Vec3 same[4] = {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}, {1, 2, 3}};
    Matrix4 m;
    M4_Identity(m);
    m[12] = 42.0f;
    EXPECT_EQ(SweepReg_IcpStep(2, two, two, m, nullptr, nullptr, nullptr), 0);
    // All pairs on one point: no rotation can be told, the decomposition fails.
    EXPECT_EQ(SweepReg_IcpStep(4, same, same, m, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(m[12], 42.0f);
}

class SweepRegRunTest : public ::testing::Test {
  protected:
    void MakeTwoSweeps(const Matrix4& secondMove, bool secondUsesReference = true) {
        Matrix4 identity;
        M4_Identity(identity);
        scan.AddSweep(-30, 8, false, identity);
        scan.AddSweep(-8, 30, secondUsesReference, secondMove);
    }

    SurfaceScan scan;
    ReportLog log;
};

TEST_F(SweepRegRunTest, UndoesAKnownMisalignmentAndTakesItBack) {
    const Matrix4 offset = Pose(Vec3{0.4f, 1.0f, -0.3f}, 1.0f, Vec3{0.8f, -0.6f, 0.5f});
    MakeTwoSweeps(offset);
    const ScanImage before(scan.raw());
    float initial = 0.0f, finalError = 0.0f;
    SweepRegParameters params = DialogParameters();
    params.Iterations = 60;
    params.InitialError = &initial;
    params.FinalError = &finalError;
    const double stampBefore = scan.raw().Timestamp;
    ASSERT_EQ(SweepReg_Run(scan.raw(), params, log.Report()), kSweepRegDone);
    EXPECT_GT(initial, 0.1f);
    EXPECT_LT(finalError, 0.03f);  // the tangent planes' own error on this curved surface
    EXPECT_GT(scan.raw().Timestamp, stampBefore);
    EXPECT_TRUE(scan.raw().Draw.Flags & kDrawFull);
    for (int32_t s = 0; s < 2; ++s) EXPECT_TRUE(scan.raw().Sweeps[s].Flags & kSweepPendingTransform);

    // Sweep 1 now sits where it would without the offset.
    Matrix4 residual;
    M4_Multiply(RelativePending(scan.raw()), offset, residual);
    Matrix4 identity;
    M4_Identity(identity);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(residual[i], identity[i], i >= 12 ? 0.01f : 1e-3f) << i;
    // Poses moved with their points, with and without a reference.
    EXPECT_LT(scan.WorstPoseMismatch(), 1e-4f);
    // Scan points and normals moved as their profiles and facets.
    const RawData& r = scan.raw();
    for (int32_t i = 0; i < r.NumPoints; i += 97) {
        EXPECT_NEAR(V3_Length(r.Points[i].Normal), 1.0f, 2e-6f);
    }
    EXPECT_EQ(std::string(log.keys.front()), "SweepRegInitMsg");
    EXPECT_EQ(std::string(log.keys.back()), "SweepRegApplyMsg");
    EXPECT_FLOAT_EQ(log.fractions.back(), 0.99f);

    // Back within float precision: a few steps of 1/65536 at the largest
    // values held (poses about 100 mm from the origin).
    SweepReg_ApplyPending(scan.raw());
    EXPECT_LT(ScanImage(scan.raw()).Distance(before), 1e-4f);
    EXPECT_LT(scan.WorstPoseMismatch(), 1e-4f);
    for (int32_t s = 0; s < 2; ++s) EXPECT_FALSE(scan.raw().Sweeps[s].Flags & kSweepPendingTransform);
}

TEST_F(SweepRegRunTest, SecondRunAccumulatesIntoThePendingMatrix) {
    MakeTwoSweeps(Pose(Vec3{0.0f, 1.0f, 0.0f}, 0.8f, Vec3{0.5f, 0.0f, 0.3f}), false);
    const ScanImage before(scan.raw());
    SweepRegParameters params = DialogParameters();
    params.Iterations = 2;
    ASSERT_EQ(SweepReg_Run(scan.raw(), params, log.Report()), kSweepRegDone);
    ASSERT_EQ(SweepReg_Run(scan.raw(), params, log.Report()), kSweepRegDone);
    EXPECT_GT(ScanImage(scan.raw()).Distance(before), 0.1f);
    SweepReg_ApplyPending(scan.raw());
    EXPECT_LT(ScanImage(scan.raw()).Distance(before), 1e-4f);
}

TEST_F(SweepRegRunTest, RunsThatMoveNothing) {
    Matrix4 far;
    M4_Identity(far);
    far[14] = 60.0f;  // well beyond the search radius
    struct Case {
        const char* name;
        Matrix4 second;
        uint32_t secondFlags;
        bool eraseSecond;  // every point of the second sweep erased in force
        int stopAfter;
        int result;
    } cases[] = {
        {"second sweep hidden", Pose(Vec3{0, 0, 1}, 0.5f, Vec3{1, 0, 0}), kSweepHidden, false, -1,
         kSweepRegTooFewSweeps},
        {"second sweep's points all erased", Pose(Vec3{0, 0, 1}, 0.5f, Vec3{1, 0, 0}), 0, true, -1,
         kSweepRegTooFewSweeps},
        {"cancelled while registering", Pose(Vec3{0, 0, 1}, 0.5f, Vec3{1, 0, 0}), 0, false, 3, kSweepRegCancelled},
        {"no overlap", far, 0, false, -1, kSweepRegDone},
    };
    for (const Case& c : cases) {
        SurfaceScan local;
        Matrix4 identity;
        M4_Identity(identity);
        local.AddSweep(-30, 8, false, identity);
        local.AddSweep(-8, 30, true, c.second);
        RawData& r = local.raw();
        r.Sweeps[1].Flags |= c.secondFlags;
        if (c.eraseSecond) {
            r.EditLimit = r.EditLevelTop = 1;
            for (int32_t i = r.SweepFirstPoint[1]; i < r.SweepFirstPoint[2]; ++i)
                r.Points[i].Flags = 1u << kPointEraseShift;
        }
        const ScanImage before(r);
        ReportLog calls;
        calls.stopAfter = c.stopAfter;
        float initial = 5.0f, finalError = 5.0f;
        SweepRegParameters params = DialogParameters();
        params.InitialError = &initial;
        params.FinalError = &finalError;
        EXPECT_EQ(SweepReg_Run(r, params, calls.Report()), c.result) << c.name;
        EXPECT_EQ(ScanImage(r).Distance(before), 0.0f) << c.name;
        for (int32_t s = 0; s < 2; ++s) EXPECT_FALSE(r.Sweeps[s].Flags & kSweepPendingTransform) << c.name;
        EXPECT_EQ(finalError, c.result == kSweepRegDone ? 0.0f : -1.0f) << c.name;
        if (c.result == kSweepRegCancelled) {
            EXPECT_EQ(std::string(calls.keys.back()), "SweepRegAbortMsg");
        }
    }
}

TEST(SweepRegAlign, WithoutAHookTheAlignmentStopsAtOnce) {
    SweepRegSweep sweeps[2] = {};
    for (SweepRegSweep& s : sweeps) M4_Identity(s.Transform);
    SweepReg_SetProgressHook(nullptr, nullptr);
    EXPECT_EQ(SweepReg_Align(sweeps, 2, DialogParameters(), nullptr, nullptr), 0);
}

TEST_F(SweepRegRunTest, AThresholdAboveEveryErrorEndsAfterTheFirstRound) {
    MakeTwoSweeps(Pose(Vec3{0, 0, 1}, 0.5f, Vec3{1, 0, 0}));
    SweepRegParameters params = DialogParameters();
    params.StopThreshold = 100.0f;
    params.Iterations = 10;
    ASSERT_EQ(SweepReg_Run(scan.raw(), params, log.Report()), kSweepRegDone);
    float registering = 0.0f;
    for (size_t k = 0; k < log.keys.size(); ++k)
        if (log.keys[k] == "SweepRegRegisterMsg") registering = std::max(registering, log.fractions[k]);
    // Round 1 reports its start (0.1) and stops before any sweep's step.
    EXPECT_FLOAT_EQ(registering, 0.1f);
}

TEST_F(SweepRegRunTest, ParametersThatCannotWork) {
    MakeTwoSweeps(Pose(Vec3{0, 0, 1}, 0.5f, Vec3{1, 0, 0}));
    const ScanImage before(scan.raw());
    SweepRegParameters noSamples = DialogParameters(), noRadius = DialogParameters();
    noSamples.Samples = 0;
    noRadius.SearchRadius = 0.0f;
    EXPECT_EQ(SweepReg_Run(scan.raw(), noSamples, log.Report()), kSweepRegBadParameters);
    EXPECT_EQ(SweepReg_Run(scan.raw(), noRadius, log.Report()), kSweepRegBadParameters);
    EXPECT_EQ(ScanImage(scan.raw()).Distance(before), 0.0f);
}

}  // namespace
