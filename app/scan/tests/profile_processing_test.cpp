// Incremental profile processing over a scan record: the waiting first
// profile, the moved-enough removal, empty sweeps, running out of memory,
// greyscale, and one call against many.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "app/scan/profile_processing.h"
#include "app/base/app_messages.h"
#include "scan_record_fixture.h"

namespace {

using scan_test::OwnedProfile;
using scan_test::PlaneProfile;
using scan_test::TestScan;

constexpr int32_t kFilter = 3;
constexpr float kWorst = 4.0f;

// A gently curved surface z = x² / 200 under a wand at (0, y, 100).
OwnedProfile CurvedProfile(float y, int n = 120, float x0 = -50.0f) {
    OwnedProfile p = PlaneProfile(y, n, 0.5f, x0);
    for (Vec3& v : p.points) v.z = v.x * v.x / 200.0f;
    return p;
}

// The surface's unit normal at x.
Vec3 CurvedNormal(float x) {
    Vec3 n{-x / 100.0f, 0.0f, 1.0f};
    V3_Normalise(n, n);
    return n;
}

int32_t Process(TestScan& scan) { return Scan_ProcessNewProfiles(scan.raw(), kFilter, kWorst); }

// Points processed for the profiles in force: their count and profile order.
int32_t ProfilePointTotal(const RawData& raw) {
    int32_t total = 0;
    for (int32_t s = 0; s <= raw.TotalSweeps; ++s) {
        const int32_t begin = raw.SweepStartingProfileNo[s];
        const int32_t end = s < raw.TotalSweeps ? raw.SweepStartingProfileNo[s + 1] : raw.TotalProfiles;
        if (end - begin < 2) continue;  // a lone profile has no points
        for (int32_t p = begin; p < end; ++p) total += raw.Profiles[p].NumPoints;
    }
    return total;
}

// The two records hold the same points, facets and profile order.
void ExpectSameGeometry(const RawData& a, const RawData& b) {
    ASSERT_EQ(a.TotalSweeps, b.TotalSweeps);
    ASSERT_EQ(a.TotalProfiles, b.TotalProfiles);
    ASSERT_EQ(a.NumPoints, b.NumPoints);
    ASSERT_EQ(a.NumFacets, b.NumFacets);
    EXPECT_EQ(std::memcmp(a.Points, b.Points, sizeof(ScanPoint) * a.NumPoints), 0);
    EXPECT_EQ(std::memcmp(a.Facets, b.Facets, sizeof(Facet) * a.NumFacets), 0);
    EXPECT_EQ(std::memcmp(a.FacetNormals, b.FacetNormals, sizeof(Vec3) * a.NumFacets), 0);
    for (int32_t s = 0; s <= a.TotalSweeps; ++s) {
        EXPECT_EQ(a.SweepStartingProfileNo[s], b.SweepStartingProfileNo[s]) << s;
        if (s < a.TotalSweeps) {
            EXPECT_EQ(a.SweepFirstPoint[s + 1], b.SweepFirstPoint[s + 1]) << s;
            EXPECT_EQ(a.SweepFirstFacet[s + 1], b.SweepFirstFacet[s + 1]) << s;
        }
    }
    EXPECT_EQ(a.CurrentSweep, b.CurrentSweep);
    EXPECT_EQ(a.CurrentSweepProfile, b.CurrentSweepProfile);
    EXPECT_EQ(a.NumProfilesProcessed, b.NumProfilesProcessed);
}

class ProfileProcessingTest : public ::testing::Test {
protected:
    void SetUp() override {
        App_SetMessageSink([this](const AppMessage& m) { messages_.push_back(m); });
    }
    void TearDown() override { App_SetMessageSink(nullptr); }

    std::vector<AppMessage> messages_;
};

TEST_F(ProfileProcessingTest, NothingToDoWithoutProfiles) {
    TestScan scan;
    EXPECT_EQ(Process(scan), kScanProcessOk);
    EXPECT_EQ(scan.raw().Timestamp, 0.0);
    EXPECT_EQ(scan.raw().NumPoints, 0);
}

TEST_F(ProfileProcessingTest, FirstProfileOfASweepWaitsForItsSecond) {
    TestScan scan;
    RawData& raw = scan.raw();
    OwnedProfile a = CurvedProfile(0.0f), b = CurvedProfile(0.5f);
    scan.Append(a.Get());
    EXPECT_EQ(Process(scan), kScanProcessOk);
    EXPECT_EQ(raw.NumPoints, 0);
    EXPECT_EQ(raw.NumProfilesProcessed, 0);
    EXPECT_EQ(raw.CurrentSweepProfile, 1);
    EXPECT_EQ(raw.Profiles[0].IsFiltered, 0);
    EXPECT_EQ(raw.Timestamp, 0.0);

    scan.Append(b.Get());
    EXPECT_EQ(Process(scan), kScanProcessOk);
    EXPECT_EQ(raw.Profiles[0].IsFiltered, 1);
    EXPECT_EQ(raw.NumPoints, raw.Profiles[0].NumPoints + raw.Profiles[1].NumPoints);
    EXPECT_GT(raw.NumFacets, 0);
    EXPECT_EQ(raw.NumProfilesProcessed, 2);
    EXPECT_GT(raw.Timestamp, 0.0);
    // Points follow the profiles, and the smoothing dropped each line's ends.
    EXPECT_FLOAT_EQ(raw.Points[0].Vertex.x, raw.Profiles[0].Points[0].x);
    EXPECT_GT(raw.Points[0].Vertex.x, -50.0f);
    for (int32_t k = 0; k < raw.NumPoints; ++k) {
        EXPECT_GT(raw.Points[k].ResolutionSq, 0.2f);
        EXPECT_GT(raw.Points[k].Variance, 0.0f);
        EXPECT_EQ(raw.Points[k].Flags & 0xFFFFFF, 0u);
        EXPECT_GT(V3_Dot(raw.Points[k].Normal, CurvedNormal(raw.Points[k].Vertex.x)), 0.9995f) << k;
    }
}

TEST_F(ProfileProcessingTest, ProfilesThatDidNotMoveAreRemovedAndTheRestCompacted) {
    TestScan scan;
    RawData& raw = scan.raw();
    OwnedProfile p[4] = {CurvedProfile(0.0f), CurvedProfile(0.5f), CurvedProfile(0.5f), CurvedProfile(1.0f)};
    for (OwnedProfile& q : p) scan.Append(q.Get());
    EXPECT_EQ(Process(scan), kScanProcessOk);
    ASSERT_EQ(raw.TotalProfiles, 3);
    EXPECT_EQ(raw.NumProfiles, 3);
    EXPECT_FLOAT_EQ(raw.Profiles[2].WandRxMatrix[13], 1.0f);
    EXPECT_EQ(raw.Profiles[3].Points, nullptr);  // the slot gave up its arrays
    EXPECT_EQ(raw.NumPoints, ProfilePointTotal(raw));
    EXPECT_EQ(raw.CurrentSweepProfile, 3);
}

TEST_F(ProfileProcessingTest, ClosedSweepsWithoutFacetsAreDeletedAndProcessingGoesOn) {
    struct Case {
        const char* name;
        std::vector<std::pair<float, float>> closed;  // wand y and first x of the closed sweep's profiles
    };
    for (const Case& c : {Case{"single profile", {{0.0f, -50.0f}}},
                          Case{"lines side by side", {{0.0f, -50.0f}, {0.5f, 100.0f}}}}) {
        SCOPED_TRACE(c.name);
        TestScan scan, fresh;
        RawData& raw = scan.raw();
        std::vector<OwnedProfile> profiles;
        for (const auto& yx : c.closed) profiles.push_back(CurvedProfile(yx.first, 120, yx.second));
        for (OwnedProfile& q : profiles) scan.Append(q.Get());
        scan.CloseSweep();
        EXPECT_EQ(Process(scan), kScanProcessOk);
        EXPECT_EQ(raw.TotalSweeps, 0);
        EXPECT_EQ(raw.TotalProfiles, 0);
        EXPECT_EQ(raw.NumPoints, 0);
        EXPECT_EQ(raw.CurrentSweep, 0);
        EXPECT_EQ(raw.CurrentSweepProfile, 0);

        // The next sweep takes its index and is processed from its start.
        OwnedProfile next[3] = {CurvedProfile(50.0f), CurvedProfile(50.5f), CurvedProfile(51.0f)};
        for (OwnedProfile& q : next) {
            scan.Append(q.Get());
            fresh.Append(q.Get());
            EXPECT_EQ(Process(scan), kScanProcessOk);
        }
        EXPECT_EQ(Process(fresh), kScanProcessOk);
        ExpectSameGeometry(raw, fresh.raw());
    }
}

TEST_F(ProfileProcessingTest, OneCallOrOneCallPerProfileGiveTheSameScan) {
    TestScan oneByOne, atOnce;
    std::vector<OwnedProfile> profiles;
    for (int k = 0; k < 12; ++k) profiles.push_back(CurvedProfile(0.5f * k + (k % 3) * 0.1f));
    for (int k = 0; k < 12; ++k) {
        for (TestScan* s : {&oneByOne, &atOnce}) s->Append(profiles[k].Get());
        EXPECT_EQ(Process(oneByOne), kScanProcessOk);
        if (k == 5)
            for (TestScan* s : {&oneByOne, &atOnce}) s->CloseSweep();
    }
    EXPECT_EQ(Process(atOnce), kScanProcessOk);
    ExpectSameGeometry(oneByOne.raw(), atOnce.raw());
    EXPECT_EQ(std::memcmp(oneByOne.raw().NormalCarry, atOnce.raw().NormalCarry, sizeof(Vec3) * kMaxProfilePoints),
              0);
}

TEST_F(ProfileProcessingTest, ScansProcessedInTurnKeepTheirOwnGreyscale) {
    // Two scans from the same wand poses, one of the curved surface and one
    // of a plane, processed in turn: neither takes anything of the other, so
    // the curved scan ends as it does when processed alone.
    TestScan curved, plane, alone;
    std::vector<OwnedProfile> profiles;
    for (int k = 0; k < 6; ++k) {
        profiles.push_back(CurvedProfile(0.5f * k));
        profiles.push_back(PlaneProfile(0.5f * k, 120));
        curved.Append(profiles[2 * k].Get());
        alone.Append(profiles[2 * k].Get());
        plane.Append(profiles[2 * k + 1].Get());
        EXPECT_EQ(Process(curved), kScanProcessOk);
        EXPECT_EQ(Process(plane), kScanProcessOk);
    }
    EXPECT_EQ(Process(alone), kScanProcessOk);
    ExpectSameGeometry(curved.raw(), alone.raw());
}

// Builds the scan of `sweeps` (wand y of each profile, the last sweep left
// open), refusing growth of the blocks for the calls listed in `refused`
// (0-based call numbers; one call per profile). Returns the results.
std::vector<int32_t> ProcessWithRefusals(TestScan& scan, const std::vector<std::vector<float>>& sweeps,
                                         const std::vector<int>& refused, std::vector<OwnedProfile>& keep) {
    std::vector<int32_t> results;
    int call = 0;
    for (size_t s = 0; s < sweeps.size(); ++s) {
        for (float y : sweeps[s]) {
            keep.push_back(CurvedProfile(y));
            scan.Append(keep.back().Get());
            bool refuse = false;
            for (int r : refused) refuse = refuse || r == call;
            scan.RefuseGrowth(refuse);
            results.push_back(Process(scan));
            ++call;
        }
        if (s + 1 < sweeps.size()) scan.CloseSweep();
    }
    scan.RefuseGrowth(false);
    results.push_back(Process(scan));
    return results;
}

TEST_F(ProfileProcessingTest, AfterRunningOutOfMemoryTheUnprocessedProfilesAreTakenUpLater) {
    // Each profile holds up to 120 points; the blocks first grow by 1152
    // points, so the fourth profile needs more room than the first growth.
    const std::vector<float> one{0.0f, 0.5f, 1.0f, 1.5f, 2.0f, 2.5f, 3.0f, 3.5f, 4.0f, 4.5f, 5.0f};
    struct Case {
        const char* name;
        std::vector<std::vector<float>> sweeps;
        std::vector<int> refused;
    };
    const Case cases[] = {
        {"open sweep", {one}, {7, 8, 9}},
        {"from the first profile", {one}, {0, 1, 2}},
        {"a closed sweep cut short", {one, {20.0f, 20.5f}}, {9, 10, 11}},
        {"behind an empty closed sweep", {{-20.0f}, one, {20.0f, 20.5f}}, {10, 11, 12}},
        {"empty sweep processed with a new open sweep",
         {one, {-20.0f}, {20.0f, 20.5f, 21.0f}},
         {5, 6, 7, 8, 9, 10, 11, 12}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages_.clear();
        TestScan scan, reference;
        std::vector<OwnedProfile> keep, keepReference;
        const std::vector<int32_t> results = ProcessWithRefusals(scan, c.sweeps, c.refused, keep);
        ProcessWithRefusals(reference, c.sweeps, {}, keepReference);

        int failures = 0;
        for (int32_t r : results) failures += r == kScanProcessOutOfMemory ? 1 : 0;
        EXPECT_GT(failures, 0);
        EXPECT_EQ(results.back(), kScanProcessOk);
        // Told once, however many calls failed in a row.
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_EQ(messages_[0].textKey, "ErrorOutOfMemory");
        EXPECT_EQ(messages_[0].kind, MessageKind::Error);
        ExpectSameGeometry(scan.raw(), reference.raw());
        EXPECT_EQ(scan.raw().NumPoints, ProfilePointTotal(scan.raw()));
    }
}

TEST_F(ProfileProcessingTest, CursorStopsAtTheFirstProfileWithoutPoints) {
    TestScan scan;
    RawData& raw = scan.raw();
    std::vector<OwnedProfile> keep;
    for (int k = 0; k < 3; ++k) {
        keep.push_back(CurvedProfile(0.5f * k));
        scan.Append(keep.back().Get());
    }
    EXPECT_EQ(Process(scan), kScanProcessOk);
    const int32_t points = raw.NumPoints;
    for (int k = 3; k < 12; ++k) {
        keep.push_back(CurvedProfile(0.5f * k));
        scan.Append(keep.back().Get());
    }
    scan.RefuseGrowth(true);
    EXPECT_EQ(Process(scan), kScanProcessOutOfMemory);
    EXPECT_GT(raw.CurrentSweepProfile, 2);
    EXPECT_LT(raw.CurrentSweepProfile, 12);
    EXPECT_EQ(raw.NumProfilesProcessed, raw.CurrentSweepProfile);
    EXPECT_GE(raw.NumPoints, points);
    int32_t withPoints = 0;
    for (int32_t p = 0; p < raw.CurrentSweepProfile; ++p) withPoints += raw.Profiles[p].NumPoints;
    EXPECT_EQ(raw.NumPoints, withPoints);
}

TEST_F(ProfileProcessingTest, GreyscaleOfDimLinesIsBlackAndOfBrightLinesWhite) {
    struct Case {
        int32_t width;
        int lowest, highest;
    };
    // Seen from the camera the plane gives q of about 1.7 per count of width:
    // width 1 lies below the scale, 20 above it.
    for (const Case& c : {Case{1, 0, 0}, Case{10, 100, 170}, Case{20, 255, 255}, Case{0, 255, 255}}) {
        SCOPED_TRACE(c.width);
        TestScan scan;
        OwnedProfile a = PlaneProfile(0.0f, 60), b = PlaneProfile(0.5f, 60);
        a.values.assign(60, c.width);
        b.values.assign(60, c.width);
        scan.Append(a.Get());
        scan.Append(b.Get());
        ASSERT_EQ(Process(scan), kScanProcessOk);
        for (int32_t k = 0; k < scan.raw().NumPoints; ++k) {
            EXPECT_GE(scan.raw().Points[k].Grey, c.lowest) << k;
            EXPECT_LE(scan.raw().Points[k].Grey, c.highest) << k;
        }
    }
}

}  // namespace
