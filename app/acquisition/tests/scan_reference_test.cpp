// Re-expressing the scan: moves of the receiver and transmitter, the change
// between receiver and transmitter as reference, and the averaged capture.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/acquisition/scan_reference.h"
#include "app/scan/profile_processing.h"
#include "app/scan/tests/scan_record_fixture.h"

namespace {

using scan_test::TestScan;

Matrix4 Pose(float degreesZ, float degreesX, Vec3 t) {
    Matrix4 z, x, m;
    M4_MakeRotationZ(degreesZ, z);
    M4_MakeRotationX(degreesX, x);
    M4_Multiply(z, x, m);
    m[12] = t.x, m[13] = t.y, m[14] = t.z;
    return m;
}

// A scan of `sweeps` sweeps of 3 profiles, stored relative to the receiver
// `reference` (ReferenceEnabled set) or to the transmitter.
void FillScan(TestScan& scan, int sweeps, bool receiver, const Matrix4& reference) {
    for (int s = 0; s < sweeps; ++s) {
        for (int k = 0; k < 3; ++k) {
            scan_test::OwnedProfile p = scan_test::PlaneProfile(float(3 * s + k), 4, 2.0f, float(s));
            p.profile.RawReferenceRxMatrix = reference;
            p.profile.ReferenceEnabled = receiver ? 1 : 0;
            if (receiver) p.profile.ReferenceRxMatrix = reference;
            scan.Append(p.Get());
        }
        scan.CloseSweep();
    }
}

std::vector<Vec3> AllPoints(RawData& raw) {
    std::vector<Vec3> points;
    for (int32_t p = 0; p < raw.NumProfiles; ++p)
        for (int32_t i = 0; i < raw.Profiles[p].NumPoints; ++i) points.push_back(raw.Profiles[p].Points[i]);
    return points;
}

void ExpectNear(const std::vector<Vec3>& a, const std::vector<Vec3>& b, float tolerance) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_LE(V3_Distance(a[i], b[i]), tolerance) << i;
}

TEST(ScanReference, ChangeReferenceTwiceRestoresThePoints) {
    for (bool receiver : {false, true}) {
        TestScan scan;
        FillScan(scan, 2, receiver, Pose(30.0f, 20.0f, {100.0f, -50.0f, 20.0f}));
        ViewSettings view{};
        M4_Identity(view.ViewMatrix);
        const std::vector<Vec3> before = AllPoints(scan.raw());
        ASSERT_TRUE(ChangeReference(scan.raw(), view));
        EXPECT_EQ(scan.raw().Profiles[0].ReferenceEnabled, receiver ? 0 : 1);
        ASSERT_TRUE(ChangeReference(scan.raw(), view));
        ExpectNear(AllPoints(scan.raw()), before, 1e-3f);
        // Processing makes the scan's points again from the profiles.
        Scan_ForgetDerivedPoints(scan.raw());
        EXPECT_EQ(scan.raw().NumProfilesProcessed, 0);
        EXPECT_EQ(scan.raw().NumPoints, 0);
        EXPECT_EQ(scan.raw().CurrentSweep, 0);
    }
    TestScan empty;
    ViewSettings view{};
    EXPECT_FALSE(ChangeReference(empty.raw(), view));
}

TEST(ScanReference, MoveOfTheReceiverThenChangeEqualsTheChangeAlone) {
    const Matrix4 reference = Pose(30.0f, 20.0f, {100.0f, -50.0f, 20.0f});
    const Matrix4 x = MoveReceiverTransform(reference, Pose(-40.0f, 5.0f, {10.0f, 80.0f, -30.0f}));
    TestScan moved, alone;
    FillScan(moved, 2, true, reference);
    FillScan(alone, 2, true, reference);
    ViewSettings view{};
    M4_Identity(view.ViewMatrix);
    Scan_ApplyMoveTransform(moved.raw(), x, view);
    ChangeReference(moved.raw(), view);
    ChangeReference(alone.raw(), view);
    ExpectNear(AllPoints(moved.raw()), AllPoints(alone.raw()), 2e-3f);
}

TEST(ScanReference, MoveKeepsWhatTheScreenShows) {
    ViewSettings view{};
    view.ViewMatrix = Pose(10.0f, 60.0f, {0.0f, 0.0f, 0.0f});
    view.ViewOrigin = Vec3{5.0f, 6.0f, 7.0f};
    const Matrix4 x = Pose(25.0f, -15.0f, {30.0f, 40.0f, 50.0f});
    // The screen shows (p - origin) turned by the view matrix.
    auto screen = [](const ViewSettings& v, Vec3 p) {
        Vec3 d, out;
        V3_Sub(p, v.ViewOrigin, d);
        M4_TransformPoint(v.ViewMatrix, d, out);
        return out;
    };
    const Vec3 p{12.0f, -3.0f, 40.0f};
    const Vec3 before = screen(view, p);
    Vec3 moved;
    M4_TransformPoint(x, p, moved);
    View_ApplyDataTransform(x, view);
    EXPECT_LE(V3_Distance(screen(view, moved), before), 1e-3f);
}

// Undoes the last sweep as the sweep undo does, and redoes it.
void UndoLastSweep(RawData& raw) {
    --raw.NumSweeps;
    raw.NumProfiles = raw.SweepStartingProfileNo[raw.NumSweeps];
    raw.NumPoints = raw.SweepFirstPoint[raw.NumSweeps];
    raw.NumFacets = raw.SweepFirstFacet[raw.NumSweeps];
}
void RedoSweep(RawData& raw) {
    ++raw.NumSweeps;
    raw.NumProfiles = raw.SweepStartingProfileNo[raw.NumSweeps];
    raw.NumPoints = raw.SweepFirstPoint[raw.NumSweeps];
    raw.NumFacets = raw.SweepFirstFacet[raw.NumSweeps];
}

std::vector<Vec3> ScanPoints(const RawData& raw) {
    std::vector<Vec3> points;
    for (int32_t i = 0; i < raw.NumPoints; ++i) points.push_back(raw.Points[i].Vertex);
    return points;
}

TEST(ScanReference, MoveAfterUndoMovesTheUndoneSweepsAndStylusItemsForARedo) {
    const Matrix4 x = Pose(0.0f, 0.0f, {0.0f, 0.0f, 10.0f});
    TestScan scan, whole;
    for (TestScan* s : {&scan, &whole}) {
        FillScan(*s, 3, false, Pose(0.0f, 0.0f, {0.0f, 0.0f, 0.0f}));
        ASSERT_EQ(Scan_ProcessNewProfiles(s->raw(), 0, 4.0f), kScanProcessOk);
    }
    RawData& raw = scan.raw();
    UndoLastSweep(raw);
    StylusItemList& list = raw.Stylus;
    ASSERT_TRUE(StylusItems_Grow(list));
    for (int i = 0; i < 2; ++i) {
        list.Items[i] = StylusItem{};
        M4_Identity(list.Items[i].Pose);
        list.Items[i].Pose[12] = float(i);
        list.Items[i].Group = i;
    }
    list.TotalCount = 2;
    list.VisibleCount = 1;  // the second item undone
    list.GroupCount = 1;
    ViewSettings view{};
    M4_Identity(view.ViewMatrix);
    Scan_ApplyMoveTransform(raw, x, view);
    Scan_ApplyMoveTransform(whole.raw(), x, view);
    EXPECT_FLOAT_EQ(list.Items[0].Pose[14], 10.0f);
    EXPECT_FLOAT_EQ(list.Items[1].Pose[14], 10.0f);
    EXPECT_EQ(list.ReplaceNeeded, 1);
    // The redone sweep comes back where the whole scan's moved sweep is.
    ASSERT_LT(raw.NumSweeps, raw.TotalSweeps);
    RedoSweep(raw);
    ASSERT_GT(raw.NumPoints, 0);
    ASSERT_EQ(raw.NumProfiles, whole.raw().NumProfiles);
    ExpectNear(AllPoints(raw), AllPoints(whole.raw()), 1e-5f);
    ExpectNear(ScanPoints(raw), ScanPoints(whole.raw()), 1e-5f);
    EXPECT_FLOAT_EQ(raw.Profiles[raw.NumProfiles - 1].Points[0].z, 10.0f);
}

TEST(ScanReference, ChangeAfterUndoMakesTheUndoneSweepsAgainInTheNewFrame) {
    const Matrix4 reference = Pose(30.0f, 20.0f, {100.0f, -50.0f, 20.0f});
    TestScan scan, whole;
    for (TestScan* s : {&scan, &whole}) {
        FillScan(*s, 3, true, reference);
        ASSERT_EQ(Scan_ProcessNewProfiles(s->raw(), 0, 4.0f), kScanProcessOk);
    }
    RawData& raw = scan.raw();
    UndoLastSweep(raw);
    const int32_t liveProfiles = raw.NumProfiles;
    ViewSettings view{};
    M4_Identity(view.ViewMatrix);
    ASSERT_TRUE(ChangeReference(raw, view));
    EXPECT_EQ(Scan_RemakeDerivedPoints(raw, 0, 4.0f), kScanProcessOk);
    ASSERT_TRUE(ChangeReference(whole.raw(), view));
    EXPECT_EQ(Scan_RemakeDerivedPoints(whole.raw(), 0, 4.0f), kScanProcessOk);
    EXPECT_EQ(raw.NumProfiles, liveProfiles) << "the undone sweep stays undone";
    RedoSweep(raw);
    ASSERT_GT(raw.NumPoints, 0);
    ASSERT_EQ(raw.NumProfiles, whole.raw().NumProfiles);
    EXPECT_EQ(raw.Profiles[raw.NumProfiles - 1].ReferenceEnabled, 0);
    ExpectNear(AllPoints(raw), AllPoints(whole.raw()), 1e-4f);
    ExpectNear(ScanPoints(raw), ScanPoints(whole.raw()), 1e-4f);
}

TEST(ScanReference, TransmitterMoveMapsOldPosesOntoNewOnes) {
    const Matrix4 t1 = Pose(10.0f, 0.0f, {1.0f, 2.0f, 3.0f});
    const Matrix4 t2 = Pose(70.0f, 30.0f, {-5.0f, 9.0f, 0.0f});
    const Matrix4 x = MoveTransmitterTransform(t1, t2);
    Vec3 a, b;
    // A point fixed to the wand: where T1 put it, X takes it where T2 does.
    const Vec3 local{3.0f, -1.0f, 4.0f};
    M4_TransformPoint(t1, local, a);
    M4_TransformPoint(x, a, a);
    M4_TransformPoint(t2, local, b);
    EXPECT_LE(V3_Distance(a, b), 1e-4f);
}

TEST(ScanReference, CaptureNeedsTenSamples) {
    for (int n : {9, 10}) {
        MatrixCaptureStats stats;
        MatrixCapture_Begin(stats);
        for (int i = 0; i < n; ++i) MatrixCapture_Add(stats, Pose(20.0f + 0.1f * i, 0.0f, {float(i), 0.0f, 0.0f}));
        Matrix4 mean;
        float spread = -1.0f;
        EXPECT_EQ(MatrixCapture_Finish(stats, mean, spread), n == 10);
        if (n == 10) {
            EXPECT_NEAR(mean[12], 4.5f, 1e-4f);
            EXPECT_NEAR(spread, 9.0f, 1e-4f);
            EXPECT_NEAR(mean[0] * mean[0] + mean[1] * mean[1] + mean[2] * mean[2], 1.0f, 1e-5f);
        }
        MatrixCapture_Add(stats, Pose(0.0f, 0.0f, {}));  // no longer accumulating
        EXPECT_EQ(stats.count, n);
    }
}

}  // namespace
