#include "app/scanfile/tests/scan_file_support.h"

#include "app/files/tests/keyed_scratch_folder.h"
#include "app/scan/basic_surface.h"
#include "app/scan/mesh_normals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

using namespace scan_file_test;

bool SameMatrix(const Matrix4& a, const Matrix4& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool SameTurned(const Facet& a, const Facet& b) {
    for (int t = 0; t < 3; ++t)
        if (a.v[0] == b.v[t] && a.v[1] == b.v[(t + 1) % 3] && a.v[2] == b.v[(t + 2) % 3]) return true;
    return false;
}

class ScanFileRoundTrip : public ::testing::Test {
  protected:
    void SetUp() override {
        BuildRichScan(saved);
        GeneralSettings& g = saved.settings;
        g.BasicReduceEnabled = 1;
        g.ProfileThreshold = 100.0f;
        g.ProfileProcessMode = 3;
        g.BasicParams = BasicSurfParams{1, 2.0f, 2.5f, 0, 0.1f, 1, 1};
        const int32_t built = BasicSurf_Build(g, saved.raw(), 3, saved.basic, nullptr, nullptr);
        ASSERT_TRUE(built == kBasicSurfDone || built == kBasicSurfBadFacets) << built;
        ASSERT_GT(saved.basic.NumFacets, 10);
        FillSurface(saved.rbf, 9, 5.0f, false);
        saved.rbf.Inverted = 1;
        saved.rbf.RbfParams.RbfAccuracy = 0.05f;
        saved.rbf.RbfParams.RbfSimpNFaces = 5000;
        saved.rbf.RbfParams.RbfUseStylusPoints = 1;
        M4_MakeRotationX(20.0f, saved.rbf.RbfParams.CoordinateSystem);
        saved.rbf.ChangeTime = 1.7e9 + 99;
        saved.current = &saved.rbf;
        saved.mode = kScanFileModeSurface;
        saved.settings.BasicParams.FilterRadius = 3.25f;
        saved.settings.RbfParams.RbfSimpAngle = 12.5f;
        saved.settings.GlassThickness = 6.0f;
        saved.settings.StylusBumpHeight = 0.75f;
        saved.settings.CombineSweeps = 2;
        M4_MakeRotationY(33.0f, saved.view.ViewMatrix);
        M4_MakeRotationZ(12.0f, saved.view.CoordinateSystem);
        saved.view.ViewOrigin = Vec3{1, 2, 3};
        saved.view.ZoomFactor = 2.5f;
        saved.view.Options = 5;
        saved.view.DisplayType = 4;
        saved.history = ItemMeta_New(2);
        ASSERT_TRUE(ItemMeta_AppendEdit(saved.history, "New Scan", "", "Tolvaran", "tester", "os", 1.7e9));
        AddForeign({"Other", "Thing"}, 42);
        AddForeign({"VKT", "Shapes"}, 7);
        path = folder.File("scan.tvn");
    }

    void AddForeign(ItemPath path, int32_t value) {
        ForeignItem item;
        item.path = std::move(path);
        item.type = ItemType::Int32;
        item.dimensionCount = 1;
        item.sizes = {1};
        item.byteSize = 4;
        item.data.reset(static_cast<unsigned char*>(std::malloc(4)));
        std::memcpy(item.data.get(), &value, 4);
        saved.foreign.items.push_back(std::move(item));
    }

    ScratchFolder folder;
    std::string path;
    ScanDocument saved;
    ScanDocument loaded;
};

TEST_F(ScanFileRoundTrip, EveryFieldComesBack) {
    ASSERT_TRUE(saved.Save(path)) << saved.error;
    ASSERT_TRUE(loaded.Load(path, nullptr)) << loaded.error;
    const RawData& a = saved.raw();
    const RawData& b = loaded.raw();

    // Sweeps and profiles in force; the undone sweep is gone.
    ASSERT_EQ(b.NumSweeps, 2);
    EXPECT_EQ(b.TotalSweeps, 2);
    ASSERT_EQ(b.NumProfiles, a.NumProfiles);
    for (int s = 0; s <= 2; ++s) EXPECT_EQ(b.SweepStartingProfileNo[s], a.SweepStartingProfileNo[s]);
    for (int s = 0; s < 2; ++s) {
        EXPECT_EQ(b.Sweeps[s].Flags, a.Sweeps[s].Flags) << "sweep " << s;
        EXPECT_EQ(b.Sweeps[s].InitTime, a.Sweeps[s].InitTime);
    }
    EXPECT_TRUE(SameMatrix(b.Sweeps[0].PendingTransform, a.Sweeps[0].PendingTransform));
    EXPECT_FALSE(b.Sweeps[1].Flags & kSweepPendingTransform);
    for (int32_t p = 0; p < b.NumProfiles; ++p) {
        const Profile& x = a.Profiles[p];
        const Profile& y = b.Profiles[p];
        ASSERT_EQ(y.NumPoints, x.NumPoints);
        EXPECT_TRUE(SameMatrix(y.WandRxMatrix, x.WandRxMatrix));
        EXPECT_TRUE(SameMatrix(y.RawReferenceRxMatrix, x.RawReferenceRxMatrix));
        EXPECT_TRUE(SameMatrix(y.ReferenceRxMatrix, x.ReferenceRxMatrix));
        EXPECT_EQ(y.ReferenceEnabled, x.ReferenceEnabled != 0);
        EXPECT_EQ(y.ReceiverStatus, x.ReceiverStatus);
        EXPECT_EQ(y.ScanTime, x.ScanTime);
        Vec3 lo, hi;
        V3_BoundingBox(x.Points, x.NumPoints, &lo, &hi, nullptr, nullptr);
        const Vec3 halfStep{(hi.x - lo.x) / 65535 / 2, (hi.y - lo.y) / 65535 / 2, (hi.z - lo.z) / 65535 / 2};
        for (int32_t k = 0; k < x.NumPoints; ++k) {
            EXPECT_NEAR(y.Points[k].x, x.Points[k].x, halfStep.x * 1.001f + 1e-5f);
            EXPECT_NEAR(y.Points[k].y, x.Points[k].y, halfStep.y * 1.001f + 1e-5f);
            EXPECT_NEAR(y.Points[k].z, x.Points[k].z, halfStep.z * 1.001f + 1e-5f);
            EXPECT_EQ(y.PointValues[k], x.PointValues[k] & 0xFF);
        }
    }

    // Points: one a profile point, fields within what the quantisation moves.
    const int32_t points = a.SweepFirstPoint[2];
    ASSERT_EQ(b.NumPoints, points);
    EXPECT_TRUE(RawData_PointsMatchProfiles(b));
    for (int32_t i = 0; i < points; ++i) {
        const ScanPoint& x = a.Points[i];
        const ScanPoint& y = b.Points[i];
        EXPECT_NEAR(y.Variance, x.Variance, 1e-5f + 1e-4f * x.Variance) << i;
        EXPECT_NEAR(y.ResolutionSq, x.ResolutionSq, 1e-3f + 1e-2f * x.ResolutionSq) << i;
        EXPECT_NEAR(y.Value, x.Value, 1e-2f + 1e-4f * x.Value) << i;
        EXPECT_LT(V3_Distance(y.Normal, x.Normal), 0.05f) << i;
        EXPECT_NEAR(y.Grey, x.Grey, 8) << i;
        const uint32_t select = x.Flags & 0xFF, erase = (x.Flags >> 8) & 0xFFFF;
        const uint32_t wantSelect = (select != 0 && select <= a.SelectionLimit) ? 1 : 0;
        const uint32_t wantErase = erase <= a.EditLimit ? erase : 0;
        EXPECT_EQ(y.Flags, wantSelect | (wantErase << 8)) << i;
    }
    EXPECT_EQ(b.SelectionLimit, 1u);  // a selection is stored as one level
    EXPECT_EQ(b.EditLimit, 1u);
    const int32_t facets = a.SweepFirstFacet[2];
    ASSERT_EQ(b.NumFacets, facets);
    for (int32_t f = 0; f < facets; ++f) EXPECT_TRUE(SameTurned(a.Facets[f], b.Facets[f])) << f;
    for (int s = 0; s <= 2; ++s) {
        EXPECT_EQ(b.SweepFirstPoint[s], a.SweepFirstPoint[s]);
        EXPECT_EQ(b.SweepFirstFacet[s], a.SweepFirstFacet[s]);
    }
    EXPECT_EQ(b.LoadedFromDisk, 1);

    // Header, history of corrections, refraction.
    EXPECT_STREQ(b.Header.ProgramVersion, "3.1.4-b");
    EXPECT_EQ(b.Header.DriverVersion, 7);
    EXPECT_EQ(b.Header.WandSerialNumber, 4242);
    EXPECT_EQ(b.Header.VideoProcessorRevision, 2);
    EXPECT_EQ(b.Header.FileRelease, 1);
    EXPECT_TRUE(SameMatrix(b.Header.WandReceiverOffset, a.Header.WandReceiverOffset));
    EXPECT_EQ(std::memcmp(b.Header.Corrections.LineTweak, a.Header.Corrections.LineTweak,
                          sizeof a.Header.Corrections.LineTweak),
              0);
    EXPECT_EQ(b.Header.Corrections.NewDeviation[9], 1.5f);
    EXPECT_STREQ(b.Header.Corrections.Date[2], "2026-12-01 10:00");
    EXPECT_STREQ(b.Header.CalibrationCreated, "2026-11-30");
    EXPECT_EQ(b.RefractionCorrected, 1);
    EXPECT_EQ(b.RefractionProfiles, b.NumProfiles) << "a corrected scan was saved with every profile corrected";
    EXPECT_EQ(std::memcmp(&b.Refraction, &a.Refraction, sizeof a.Refraction), 0);
    EXPECT_EQ(b.Timestamp, a.Timestamp);

    // Landmarks: the undone group is gone; flags, groups, times, poses.
    const StylusItemList& la = a.Stylus;
    const StylusItemList& lb = b.Stylus;
    ASSERT_EQ(lb.TotalCount, 6);
    EXPECT_EQ(lb.VisibleCount, 6);
    EXPECT_EQ(lb.GroupCount, 4);
    // Saved order: isolated points first, then the line.
    const int order[] = {0, 1, 5, 2, 3, 4};
    for (int k = 0; k < 6; ++k) {
        const StylusItem& x = la.Items[order[k]];
        const StylusItem& y = lb.Items[k];
        SCOPED_TRACE(k);
        EXPECT_EQ(y.Flags, x.Flags);
        EXPECT_EQ(y.Time, x.Time);
        EXPECT_TRUE(SameMatrix(y.Pose, x.Pose));
        const bool inverted = (x.Flags & kStylusInverted) || (k >= 3 && (la.Items[2].Flags & kStylusInverted));
        EXPECT_TRUE(SameMatrix(y.FourthPose, inverted ? x.FourthPose : x.Pose));
        if (x.Flags & kStylusOnScan) {
            EXPECT_NEAR(y.ScanPose[12], x.ScanPose[12], 1e-5f);
            EXPECT_NEAR(y.ScanPose[13], x.ScanPose[13], 1e-5f);
            EXPECT_FLOAT_EQ(y.ScanDistance, x.ScanDistance);
        }
        if (x.Flags & kStylusOnBasic) {
            EXPECT_NEAR(y.BasicPose[12], x.BasicPose[12], 1e-5f);
            EXPECT_NEAR(y.BasicPose[14], x.BasicPose[14], 1e-5f);
            EXPECT_FLOAT_EQ(y.BasicDistance, x.BasicDistance);
        }
    }
    EXPECT_EQ(lb.Items[0].Group, 0);
    EXPECT_EQ(lb.Items[2].Group, 2);
    EXPECT_EQ(lb.Items[3].Group, 3);
    EXPECT_EQ(lb.Items[5].Group, 3);

    // Surfaces, mode and the current one.
    EXPECT_EQ(loaded.mode, kScanFileModeSurface);
    EXPECT_EQ(loaded.current, &loaded.rbf);
    const SurfaceRecord* pairs[2][2] = {{&saved.basic, &loaded.basic}, {&saved.rbf, &loaded.rbf}};
    for (auto& pair : pairs) {
        const SurfaceRecord& x = *pair[0];
        const SurfaceRecord& y = *pair[1];
        ASSERT_EQ(y.NumPoints, x.NumPoints);
        ASSERT_EQ(y.NumFacets, x.NumFacets);
        EXPECT_EQ(std::memcmp(y.Points, x.Points, sizeof(Vec3) * x.NumPoints), 0);
        EXPECT_EQ(std::memcmp(y.Facets, x.Facets, 12 * x.NumFacets), 0);
        EXPECT_EQ(std::memcmp(y.Greyscale, x.Greyscale, x.NumPoints), 0);
        EXPECT_EQ(y.Inverted, x.Inverted);
    }
    EXPECT_EQ(std::memcmp(&loaded.basic.BasicParams, &saved.basic.BasicParams, sizeof(BasicSurfParams)), 0);
    EXPECT_EQ(loaded.rbf.RbfParams.RbfAccuracy, 0.05f);
    EXPECT_EQ(loaded.rbf.RbfParams.RbfSimpNFaces, 5000);
    EXPECT_TRUE(SameMatrix(loaded.rbf.RbfParams.CoordinateSystem, saved.rbf.RbfParams.CoordinateSystem));
    EXPECT_EQ(loaded.rbf.ChangeTime, saved.rbf.ChangeTime);
    EXPECT_EQ(loaded.basic.ChangeTime, saved.basic.ChangeTime);
    // The builder's normals and area come back from the mesh; the RBF mesh
    // gets unit vertex normals.
    for (int32_t k = 0; k < saved.basic.NumPoints; ++k)
        EXPECT_LT(V3_Distance(loaded.basic.PointNormals[k], saved.basic.PointNormals[k]), 1e-4f) << k;
    for (int32_t f = 0; f < saved.basic.NumFacets; ++f)
        EXPECT_LT(V3_Distance(loaded.basic.FacetNormals[f], saved.basic.FacetNormals[f]), 1e-5f) << f;
    float area = 0.0f;
    std::vector<Vec3> facetNormals(static_cast<std::size_t>(saved.basic.NumFacets));
    Mesh_FacetNormals(saved.basic.NumPoints, saved.basic.Points, saved.basic.NumFacets, saved.basic.Facets, 0, nullptr,
                      facetNormals.data(), nullptr, &area, nullptr);
    EXPECT_FLOAT_EQ(loaded.basic.Area, area);
    for (int32_t k = 0; k < loaded.rbf.NumPoints; ++k)
        EXPECT_NEAR(V3_Length(loaded.rbf.PointNormals[k]), 1.0f, 1e-5f) << k;

    // Settings and view.
    EXPECT_EQ(loaded.settings.BasicParams.FilterRadius, 3.25f);
    EXPECT_EQ(loaded.settings.RbfParams.RbfSimpAngle, 12.5f);
    EXPECT_EQ(loaded.settings.GlassThickness, 6.0f);
    EXPECT_EQ(loaded.settings.StylusBumpHeight, 0.75f);
    EXPECT_EQ(loaded.settings.CombineSweeps, 2);
    EXPECT_TRUE(SameMatrix(loaded.view.ViewMatrix, saved.view.ViewMatrix));
    EXPECT_TRUE(SameMatrix(loaded.view.CoordinateSystem, saved.view.CoordinateSystem));
    EXPECT_EQ(loaded.view.ZoomFactor, 2.5f);
    EXPECT_EQ(loaded.view.Options, 5u);
    EXPECT_EQ(loaded.view.DisplayType, 4);
    EXPECT_EQ(loaded.view.ViewOrigin.z, 3.0f);

    // History and foreign items; "VKT/RMS" is the program's and never foreign.
    ASSERT_NE(loaded.history, nullptr);
    ASSERT_EQ(loaded.history->edits.size(), 1u);
    EXPECT_EQ(*loaded.history->edits[0].program_text, "New Scan");
    ASSERT_EQ(loaded.foreign.items.size(), 2u);
    EXPECT_EQ(loaded.foreign.items[0].path, (ItemPath{"Other", "Thing"}));
    EXPECT_EQ(loaded.foreign.items[1].path, (ItemPath{"VKT", "Shapes"}));

    // The fit input: the basic points, then the visible stylus points.
    ASSERT_EQ(loaded.fit.handed.size(), 1u);
    const LoadedFit& fit = loaded.fit.handed[0];
    EXPECT_EQ(fit.restartStage, 1);
    const std::size_t basicPoints = static_cast<std::size_t>(loaded.basic.NumPoints);
    EXPECT_EQ(fit.input.size(), basicPoints + (loaded.settings.RbfParams.RbfUseStylusPoints ? 4u : 0u));
    EXPECT_TRUE(fit.centres.empty());

    // Nothing is left for processing.
    RawData& r = loaded.raw();
    const int32_t pointsBefore = r.NumPoints, facetsBefore = r.NumFacets;
    EXPECT_EQ(Scan_ProcessNewProfiles(r, 3, 4.0f), kScanProcessOk);
    EXPECT_EQ(r.NumPoints, pointsBefore);
    EXPECT_EQ(r.NumFacets, facetsBefore);
}

// Both surfaces saved in scan mode, where neither is shown, come back as they
// were: their own change times, the RBF surface still newer than the basic
// one it was made from; and a second save of the opened scan writes the same
// items, in either mode.
TEST_F(ScanFileRoundTrip, SurfacesKeepTheirTimesAndASecondSaveWritesTheSameItems) {
    saved.basic.ChangeTime = 1.7e9 + 50;
    std::strcpy(saved.raw().Header.ProgramVersion, "3.2.0");  // the seven characters the file keeps
    for (int32_t mode : {kScanFileModeScan, kScanFileModeSurface}) {
        SCOPED_TRACE(mode);
        saved.mode = mode;
        ASSERT_TRUE(saved.Save(path)) << saved.error;
        ScanDocument opened;
        ASSERT_TRUE(opened.Load(path)) << opened.error;
        EXPECT_EQ(opened.basic.ChangeTime, saved.basic.ChangeTime);
        EXPECT_EQ(opened.rbf.ChangeTime, saved.rbf.ChangeTime);
        EXPECT_EQ(opened.rbf.NumPoints, saved.rbf.NumPoints);
        const std::string again = folder.File("again.tvn");
        ASSERT_TRUE(opened.Save(again)) << opened.error;
        const auto first = SectionItems(path);
        ASSERT_FALSE(first.empty());
        EXPECT_EQ(ChangedItems(first, SectionItems(again)), std::vector<std::string>());
    }
}

// A scan saved by a release that stamped only the shown surface: the other
// one, the RBF surface here, must still count as made after the basic one.
TEST_F(ScanFileRoundTrip, AnUnstampedRbfSurfaceComesBackNewerThanTheBasicOne) {
    saved.mode = kScanFileModeScan;
    ASSERT_TRUE(saved.Save(path)) << saved.error;
    const std::string older = folder.File("older.tvn");
    ASSERT_TRUE(Resign(path, older, [](ItemStore* store) {
        ItemStore_RemoveItem(store, ItemPath{"Basic", "Mesh", "Timestamp"});
        ItemStore_RemoveItem(store, ItemPath{"RBF", "Mesh", "Timestamp"});
    }));
    ASSERT_TRUE(loaded.Load(older)) << loaded.error;
    EXPECT_EQ(loaded.basic.ChangeTime, saved.raw().Timestamp);
    EXPECT_GT(loaded.rbf.ChangeTime, loaded.basic.ChangeTime);
    EXPECT_EQ(loaded.rbf.NumPoints, saved.rbf.NumPoints);
}

}  // namespace
