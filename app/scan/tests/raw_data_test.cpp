#include "app/scan/raw_data.h"
#include "app/scan/tests/scan_fixture.h"
#include "app/base/app_messages.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// Four sweeps; sweep 0 has an empty profile in the middle, sweep 3 a single
// profile and so no facets.
void FourSweeps(ScanFixture& f) {
    f.AddSweep({3, 3, 0, 3, 3});
    f.AddSweep({4, 4, 4});
    f.AddSweep({2, 2, 2, 2});
    f.AddSweep({5});
    f.Process();
}

void ManyProfiles(ScanFixture& f, int count) {
    f.AddSweep(std::vector<int>(count, 1));
    f.Process();
}

struct Scenario {
    const char* name;
    std::function<void(ScanFixture&)> setup;
    std::function<void(RawData&)> operation;
    std::function<void(const RawData&)> check;
    bool pointsProcessed;  // false once the operation empties points and facets
};

int32_t SweepProfiles(const RawData& r, int32_t s) {
    return r.SweepStartingProfileNo[s + 1] - r.SweepStartingProfileNo[s];
}

const Scenario kScenarios[] = {
    {"profiles 749 of 1000 do not grow", [](ScanFixture& f) { ManyProfiles(f, 749); },
     [](RawData& r) { EXPECT_TRUE(RawData_GrowProfiles(r, 500)); },
     [](const RawData& r) { EXPECT_EQ(r.MaxProfiles, 1000); }, true},
    {"profiles 750 of 1000 grow to 1500", [](ScanFixture& f) { ManyProfiles(f, 750); },
     [](RawData& r) {
         ASSERT_EQ(r.MaxProfiles, 1000);
         EXPECT_TRUE(RawData_GrowProfiles(r, 500));
     },
     [](const RawData& r) {
         EXPECT_EQ(r.MaxProfiles, 1500);
         EXPECT_EQ(r.Profiles[1499].Points, nullptr);
     },
     true},
    {"4 sweeps of 10 slots do not grow", FourSweeps, [](RawData& r) { EXPECT_TRUE(RawData_GrowSweeps(r)); },
     [](const RawData& r) { EXPECT_EQ(r.MaxSweeps, 10); }, true},
    {"5 sweeps of 10 slots grow to 20",
     [](ScanFixture& f) {
         for (int s = 0; s < 5; ++s) f.AddSweep({2, 2});
         f.Process();
     },
     [](RawData& r) {
         ASSERT_EQ(r.MaxSweeps, 10);
         EXPECT_TRUE(RawData_GrowSweeps(r));
     },
     [](const RawData& r) {
         EXPECT_EQ(r.MaxSweeps, 20);
         EXPECT_EQ(r.SweepFirstPoint[5], 20);
     },
     true},
    {"delete hidden sweeps",
     [](ScanFixture& f) {
         FourSweeps(f);
         f.raw.Sweeps[1].Flags = kSweepHidden;
         f.raw.Sweeps[2].Flags = kSweepHidden;
         f.raw.CurrentSweep = 3;
         f.raw.CurrentSweepProfile = f.raw.SweepStartingProfileNo[3];
     },
     [](RawData& r) {
         RawData_DeleteSweepsIf(r, 0, [](const RawData& d, int32_t s) { return (d.Sweeps[s].Flags & kSweepHidden) != 0; });
     },
     [](const RawData& r) {
         EXPECT_EQ(r.TotalSweeps, 2);
         EXPECT_EQ(r.NumProfiles, 6);
         EXPECT_EQ(r.NumPoints, 17);
         EXPECT_EQ(r.CurrentSweep, 1);
         EXPECT_EQ(r.CurrentSweepProfile, 5);
         EXPECT_EQ(r.NumProfilesProcessed, 6);
     },
     true},
    {"delete the current sweep",
     [](ScanFixture& f) {
         FourSweeps(f);
         f.raw.CurrentSweep = 1;
         f.raw.CurrentSweepProfile = f.raw.SweepStartingProfileNo[1] + 2;
     },
     [](RawData& r) { RawData_DeleteSweepsIf(r, 1, [](const RawData&, int32_t s) { return s == 1; }); },
     [](const RawData& r) {
         EXPECT_EQ(r.TotalSweeps, 3);
         EXPECT_EQ(r.CurrentSweep, 1);
         // The sweep that takes its index starts where the current one did.
         EXPECT_EQ(r.CurrentSweepProfile, 5);
         EXPECT_EQ(SweepProfiles(r, 1), 4);
     },
     true},
    {"delete sweeps without facets, with an undone sweep",
     [](ScanFixture& f) {
         FourSweeps(f);
         f.AddSweep({2, 2});
         f.Process();
         f.raw.NumSweeps = 4;  // the last sweep is undone
         f.raw.NumProfiles = f.raw.SweepStartingProfileNo[4];
         f.raw.NumPoints = f.raw.SweepFirstPoint[4];
         f.raw.NumFacets = f.raw.SweepFirstFacet[4];
         f.raw.NumProfilesProcessed = f.raw.NumProfiles;
     },
     [](RawData& r) { RawData_DeleteSweepsIf(r, 0, RawData_SweepHasNoFacets); },
     [](const RawData& r) {
         EXPECT_EQ(r.NumSweeps, 3);
         EXPECT_EQ(r.TotalSweeps, 4);
         EXPECT_EQ(SweepProfiles(r, 3), 2);
     },
     true},
    {"move a sweep down over discarded ones",
     FourSweeps,
     [](RawData& r) {
         RawData_ClearSweepProfiles(r, 1);
         RawData_ClearSweepProfiles(r, 2);
         RawData_MoveSweep(r, 3, 1);
         r.NumSweeps = r.TotalSweeps = 2;
         r.NumProfiles = r.TotalProfiles = r.SweepStartingProfileNo[2];
         r.NumPoints = r.SweepFirstPoint[2];
         r.NumFacets = r.SweepFirstFacet[2];
         r.NumProfilesProcessed = r.NumProfiles;
     },
     [](const RawData& r) {
         EXPECT_EQ(r.NumProfiles, 6);
         EXPECT_EQ(r.Points[12].Vertex.y, 30.0f);
     },
     true},
    {"compact profiles without points",
     [](ScanFixture& f) {
         FourSweeps(f);
         f.raw.CurrentSweepProfile = 4;
     },
     [](RawData& r) { RawData_CompactProfiles(r); },
     [](const RawData& r) {
         EXPECT_EQ(r.TotalProfiles, 12);
         EXPECT_EQ(SweepProfiles(r, 0), 4);
         EXPECT_EQ(r.CurrentSweepProfile, 3);
     },
     true},
    {"remove points by mask",
     FourSweeps,
     [](RawData& r) {
         std::vector<uint8_t> mask(r.NumPoints);
         for (size_t i = 0; i < mask.size(); i += 3) mask[i] = 1;
         RawData_RemovePointsByMask(r, mask.data());
     },
     [](const RawData& r) {
         EXPECT_EQ(r.NumPoints, 24);
         EXPECT_EQ(r.Profiles[0].NumPoints, 2);
         EXPECT_EQ(r.Profiles[0].PointValues[0], 1);
         EXPECT_EQ(r.Profiles[0].PointValues[1], 2);
     },
     true},
    {"apply erased points for good",
     [](ScanFixture& f) {
         FourSweeps(f);
         f.raw.EditLimit = 2;
         f.raw.Points[0].Flags = 1u << kPointEraseShift;
         f.raw.Points[5].Flags = 2u << kPointEraseShift;
         f.raw.Points[6].Flags = 3u << kPointEraseShift;  // an undone erase stays
     },
     [](RawData& r) { RawData_MarkEditablePoints(r); },
     [](const RawData& r) { EXPECT_EQ(r.NumPoints, 35); }, true},
    {"delete one profile",
     FourSweeps,
     [](RawData& r) { RawData_DeleteProfile(r, 5); },
     [](const RawData& r) {
         EXPECT_EQ(r.TotalProfiles, 12);
         EXPECT_EQ(r.NumPoints, 33);
         EXPECT_EQ(SweepProfiles(r, 1), 2);
     },
     true},
    {"discard the undone tail",
     [](ScanFixture& f) {
         FourSweeps(f);
         f.raw.NumSweeps = 2;
         f.raw.NumProfiles = f.raw.SweepStartingProfileNo[2];
         f.raw.NumPoints = f.raw.SweepFirstPoint[2];
         f.raw.NumFacets = f.raw.SweepFirstFacet[2];
         f.raw.NumProfilesProcessed = f.raw.NumProfiles;
         f.raw.CurrentSweep = 3;
         f.raw.CurrentSweepProfile = 8;
         f.raw.ClampPoints = 1000;
     },
     [](RawData& r) { RawData_DiscardSweepsAfterCurrent(r); },
     [](const RawData& r) {
         EXPECT_EQ(r.TotalSweeps, 2);
         EXPECT_EQ(r.TotalProfiles, 8);
         EXPECT_EQ(r.CurrentSweep, 2);
         EXPECT_EQ(r.CurrentSweepProfile, 8);
         EXPECT_EQ(r.ClampPoints, r.NumPoints);
     },
     true},
    {"split sweeps by laser line direction",
     [](ScanFixture& f) {
         f.AddSweep({3, 3, 3, 3}, {0, 1, 0, 1});
         f.AddSweep({3, 3}, {1, 1});
         f.Process();
     },
     [](RawData& r) { RawData_SplitSweep(r); },
     [](const RawData& r) {
         EXPECT_EQ(r.NumSweeps, 3);
         EXPECT_EQ(SweepProfiles(r, 0), 2);
         EXPECT_EQ(SweepProfiles(r, 1), 2);
         EXPECT_EQ(SweepProfiles(r, 2), 2);
         EXPECT_EQ(r.Profiles[1].Points[1].z, 1.0f) << "class 0 first";
         EXPECT_EQ(r.Profiles[2].Points[1].z, -1.0f);
         EXPECT_EQ(r.NumProfilesProcessed, 0);
     },
     false},
};

TEST(RawDataScenarios, EachOperationKeepsTheInvariants) {
    for (const Scenario& sc : kScenarios) {
        SCOPED_TRACE(sc.name);
        ScanFixture f;
        sc.setup(f);
        ExpectScanInvariants(f.raw, true);
        sc.operation(f.raw);
        sc.check(f.raw);
        ExpectScanInvariants(f.raw, sc.pointsProcessed);
    }
}

TEST(RawData, ProfileSideByLaserLineDirection) {
    struct Case {
        std::vector<Vec3> points;
        int32_t side;
    };
    const Case cases[] = {
        {{{0, 0, 0}, {0, 1, 1}}, 0},
        {{{0, 0, 0}, {0, 1, -1}}, 1},
        {{{0, 0, 0}, {5, 0, 0}}, 1},  // along x, which is dropped
        {{{0, 0, 0}, {0, 1, 0}}, 1},  // exactly 45 degrees: the square is 0.5
        {{{0, 3, 3}}, 0},              // one point: measured from the origin
        {{}, 0},
    };
    for (const Case& c : cases) {
        Profile p{};
        M4_Identity(p.WandRxMatrix);
        M4_Identity(p.ReferenceRxMatrix);
        p.NumPoints = static_cast<int32_t>(c.points.size());
        p.Points = const_cast<Vec3*>(c.points.data());
        EXPECT_EQ(RawData_ProfileSide(p), c.side);
    }
}

TEST(RawData, RunsRestartAtEachSweepAndFollowTheEraseLevel) {
    ScanFixture f;
    f.AddSweep({2, 2});
    f.AddSweep({3});
    f.Process();
    RawData& r = f.raw;
    r.EditLimit = 1;
    r.Points[2].Flags = 1u << kPointEraseShift;
    r.Points[3].Flags = 1u << kPointEraseShift;
    RawData_NumberPointRuns(r);
    const uint32_t v = kRunVisible;
    const uint32_t expected[] = {v | 1, v | 2, 1, 2, v | 1, v | 2, v | 3};
    ASSERT_EQ(r.NumPoints, 7);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(r.Points[i].Run, expected[i]) << i;
    EXPECT_EQ(r.RunCursor, 7);

    // Facets: beyond the run cursor they count as all visible.
    EXPECT_FALSE(RawData_FacetAllFlagged(r, 0));  // uses point 2
    r.RunCursor = 2;
    EXPECT_TRUE(RawData_FacetAllFlagged(r, 0));
}

// The sweep being captured is not counted yet; its points start a run of
// their own all the same.
TEST(RawData, TheSweepBeingCapturedStartsARunOfItsOwn) {
    ScanFixture f;
    f.AddSweep({2, 2});
    f.AddSweep({3});
    f.Process();
    RawData& r = f.raw;
    r.NumSweeps = 1;
    RawData_NumberPointRuns(r);
    const uint32_t v = kRunVisible;
    const uint32_t expected[] = {v | 1, v | 2, v | 3, v | 4, v | 1, v | 2, v | 3};
    ASSERT_EQ(r.NumPoints, 7);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(r.Points[i].Run, expected[i]) << i;
}

TEST(RawData, InconsistentRecordIsReportedAndTheProgramGoesOn) {
    ScanFixture f;
    FourSweeps(f);
    std::vector<AppMessage> seen;
    App_SetMessageSink([&](const AppMessage& m) { seen.push_back(m); });
    App_SetTextLookup([](const std::string& key) { return key == "ErrorCrashHeader" ? "Stopped." : "?"; });
    f.raw.NumPoints = f.raw.MaxPoints + 100;  // counts that disagree with the block
    RawData_NumberPointRuns(f.raw);
    ViewSettings view;
    ViewSettings_SetDefaults(view);
    GeneralSettings settings;
    GeneralSettings_SetDefaults(settings, 0xA4A4A4, 0);
    RawData_ColourPoints(f.raw, view, settings);
    App_SetMessageSink(nullptr);
    App_SetTextLookup(nullptr);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].kind, MessageKind::Error);
    EXPECT_EQ(seen[0].textKey, "ErrorCrashHeader");
    // The header's text, not its key, then the details.
    EXPECT_EQ(seen[0].text.rfind("Stopped.\n\n", 0), 0u) << seen[0].text;
    EXPECT_NE(seen[0].text.find("NumPoints"), std::string::npos);
    f.raw.NumPoints = f.raw.SweepFirstPoint[f.raw.NumSweeps];
}

TEST(RawData, ColourModes) {
    ScanFixture f;
    f.AddSweep({4});
    f.AddSweep({1});
    f.Process();
    RawData& r = f.raw;
    r.Sweeps[1].Flags = kSweepHighlighted;
    r.SelectionLimit = 1;
    r.Points[1].Flags = 1;  // selected
    r.Points[2].Flags = 2;  // a selection level not in force
    r.Points[0].Value = 20000.0f;    // v = -50
    r.Points[1].Value = 100000.0f;   // v = 750: clamped
    r.Points[0].ResolutionSq = 4.0f; // w = 120
    r.Points[0].Variance = 0.01f;    // u = 1400 / 750 = 1
    r.Points[0].Grey = 51;
    GeneralSettings settings;
    GeneralSettings_SetDefaults(settings, 0x00C08040, 0);  // red 0x40, green 0x80, blue 0xC0
    ViewSettings view;
    ViewSettings_SetDefaults(view);

    struct Case {
        int32_t mode;
        int point;
        uint8_t rgb[3];
    };
    const Case cases[] = {
        {kColourPlain, 0, {0x40, 0x80, 0xC0}},
        {kColourPlain, 1, {0, 0, 0xC0}},      // selected
        {kColourPlain, 2, {0x40, 0x80, 0xC0}},
        {kColourPlain, 4, {0x40, 0, 0}},      // highlighted sweep
        {kColourGreyscale, 0, {12, 25, 38}},  // base x 51 / 255, truncated
        {kColourValue, 0, {50, 205, 0}},
        {kColourValue, 1, {0, 0, 255}},
        {kColourResolution, 0, {135, 0, 120}},
        {kColourResolution, 1, {255, 255, 0}},
        {kColourVariance, 0, {1, 254, 0}},
        {kColourVariance, 4, {0, 255, 255}},
        {3, 0, {255, 50, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " point " << c.point);
        view.ColourMode = c.mode;
        RawData_ClearPointRunMark(r);
        RawData_ColourPoints(r, view, settings);
        EXPECT_EQ(r.ColourCursor, r.NumPoints);
        EXPECT_EQ(r.Points[c.point].Colour[0], c.rgb[0]);
        EXPECT_EQ(r.Points[c.point].Colour[1], c.rgb[1]);
        EXPECT_EQ(r.Points[c.point].Colour[2], c.rgb[2]);
    }
    // The facet takes the mean of its corners, truncated.
    view.ColourMode = kColourPlain;
    RawData_ClearPointRunMark(r);
    RawData_ColourPoints(r, view, settings);
    f.raw.Facets[0] = Facet{{0, 1, 2}};
    EXPECT_EQ(RawData_FacetColour(r, 0), 0x00C0552Au);
}

TEST(RawData, ExtentsOfVisiblePointsInTheFrame) {
    ScanFixture f;
    f.AddSweep({3});
    f.AddSweep({2});
    f.Process();
    RawData& r = f.raw;
    r.Sweeps[1].Flags = kSweepHidden;
    r.EditLimit = 1;
    r.Points[2].Flags = 1u << kPointEraseShift;  // (0, 2, 2) erased
    Matrix4 frame;
    M4_MakeTranslation(Vec3{100, 0, 0}, frame);
    r.Timestamp = 1.0;
    RawData_ComputeExtents(r, frame);
    ASSERT_EQ(r.ExtentsValid, 1);
    EXPECT_EQ(r.Extents[0].x, 0.0f);
    EXPECT_EQ(r.Extents[0].y, 0.0f);
    EXPECT_EQ(r.Extents[7].y, 1.0f);
    EXPECT_EQ(r.Extents[7].z, 1.0f);
    EXPECT_GT(r.ExtentsTime, 1.0);

    // Unchanged record: nothing is recomputed.
    r.Points[0].Vertex.x = -50.0f;
    RawData_ComputeExtents(r, frame);
    EXPECT_EQ(r.Extents[0].x, 0.0f);
    r.Timestamp = r.ExtentsTime;
    RawData_ComputeExtents(r, frame);
    EXPECT_EQ(r.Extents[0].x, -50.0f);

    r.Sweeps[0].Flags = kSweepHidden;
    r.Timestamp = r.ExtentsTime;
    RawData_ComputeExtents(r, frame);
    EXPECT_EQ(r.ExtentsValid, 0);
    EXPECT_EQ(r.Extents[7].y, 0.0f);
}

TEST(RawData, MirroringWithoutTranslationIsTheIdentity) {
    ScanFixture f;
    f.AddSweep({3, 3});
    f.Process();
    Matrix4 pose;
    M4_Identity(pose);
    M4_RotateX(30.0f, pose);
    M4_RotateZ(-70.0f, pose);
    f.raw.Profiles[0].WandRxMatrix = pose;
    M4_RotateY(15.0f, pose);
    f.raw.Profiles[0].ReferenceRxMatrix = pose;
    const std::vector<Vec3> before(f.raw.Profiles[0].Points, f.raw.Profiles[0].Points + 3);
    RawData_MirrorProfileMatrices(f.raw, true, true);
    for (int j = 0; j < 3; ++j) {
        EXPECT_NEAR(f.raw.Profiles[0].Points[j].x, before[j].x, 1e-5f);
        EXPECT_NEAR(f.raw.Profiles[0].Points[j].y, before[j].y, 1e-5f);
        EXPECT_NEAR(f.raw.Profiles[0].Points[j].z, before[j].z, 1e-5f);
    }

    // With translations the points follow the mirrored wand: identity
    // reference, wand at (0, 0, 10): a point moves by twice the wand's
    // offset seen from the wand.
    Profile& p = f.raw.Profiles[1];
    M4_MakeTranslation(Vec3{0, 0, 10}, p.WandRxMatrix);
    const Vec3 first = p.Points[0];
    RawData_MirrorWandMatrices(f.raw);
    EXPECT_EQ(p.WandRxMatrix[14], -10.0f);
    EXPECT_FLOAT_EQ(p.Points[0].z, first.z - 20.0f);
}

TEST(RawData, NormalsFlipAndRecompute) {
    ScanFixture f;
    f.AddSweep({2, 2});
    f.AddSweep({3, 3});
    f.Process();
    RawData& r = f.raw;
    RawData_ComputeNormals(r);
    // Strips in the plane x = const ... normals are unit length and agree.
    for (int32_t i = 0; i < r.NumPoints; ++i) EXPECT_NEAR(V3_Length(r.Points[i].Normal), 1.0f, 1e-6f) << i;
    const std::vector<ScanPoint> points(r.Points, r.Points + r.NumPoints);
    const std::vector<Facet> facets(r.Facets, r.Facets + r.NumFacets);
    RawData_FlipSweepNormals(r, 1);
    EXPECT_EQ(r.Facets[r.SweepFirstFacet[1]].v[0], facets[r.SweepFirstFacet[1]].v[1]);
    EXPECT_EQ(r.Points[4].Normal.x, -points[4].Normal.x);
    EXPECT_EQ(r.Points[0].Normal.x, points[0].Normal.x);
    RawData_FlipSweepNormals(r, 1);
    RawData_FlipSweepNormals(r, 7);  // no such sweep
    EXPECT_EQ(std::memcmp(points.data(), r.Points, points.size() * sizeof(ScanPoint)), 0);
    EXPECT_EQ(std::memcmp(facets.data(), r.Facets, facets.size() * sizeof(Facet)), 0);
    RawData_FlipNormals(r);
    EXPECT_EQ(r.Points[0].Normal.x, -points[0].Normal.x);
}

TEST(RawData, ReferenceMatricesMustBeRotations) {
    ScanFixture f;
    f.AddSweep({2, 2});
    f.Process();
    M4_MakeRotationZ(33.0f, f.raw.Profiles[1].RawReferenceRxMatrix);
    f.raw.Profiles[1].RawReferenceRxMatrix[12] = 500.0f;  // translation does not count
    EXPECT_TRUE(RawData_CheckReferenceMatrices(f.raw));
    f.raw.Profiles[1].RawReferenceRxMatrix[0] *= 1.001f;
    EXPECT_FALSE(RawData_CheckReferenceMatrices(f.raw));
}

TEST(RawData, FreeingTheRecordKeepsTheReservations) {
    ScanFixture f;
    FourSweeps(f);
    void* const bases[3] = {f.blocks.Points.Base, f.blocks.Facets.Base, f.blocks.FacetNormals.Base};
    for (void* base : bases) ASSERT_NE(base, nullptr);
    for (int cycle = 0; cycle < 1000; ++cycle) {
        RawData_FreeArrays(f.raw);
        ASSERT_EQ(f.raw.PointBlock, &f.blocks.Points);
        ASSERT_EQ(f.blocks.Points.CommittedSize, 0u);
        if (cycle % 100 == 0) {
            f.AddSweep({3, 3});
            f.Process();
        }
        ASSERT_EQ(f.blocks.Points.Base, bases[0]);
        ASSERT_EQ(f.blocks.Facets.Base, bases[1]);
        ASSERT_EQ(f.blocks.FacetNormals.Base, bases[2]);
        ASSERT_EQ(f.blocks.Points.ReservedSize, 4u << 20);
    }
}

}  // namespace
