// Scan control on scripted fields: each field's profile comes from a list
// instead of the ring, and the host records what the handlers show, send
// and paint.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "app/acquisition/profile_line_log.h"
#include "app/acquisition/scan_control.h"
#include "app/acquisition/scan_pipe_record.h"
#include "app/scan/rbf_surface.h"
#include "app/scan/stylus_export.h"
#include "app/scan/stylus_placement.h"
#include "app/scan/tests/scan_record_fixture.h"

namespace {

using scan_test::WandLookingDown;

struct Detection {
    int32_t camera;
    Vec3 point;
};

struct ScriptedField {
    bool scan = true;
    bool stylus = false;
    int32_t points = 100;  // along x at the field's y on the plane z = 0
    float spacing = 0.5f;
    float x0 = -50.0f;
    Matrix4 wand{};
    std::vector<Detection> detections;
};

ScriptedField ScanField(float y, int32_t points = 100) {
    ScriptedField f;
    f.points = points;
    f.wand = WandLookingDown(0.0f, y, 100.0f);
    f.x0 = -50.0f;
    return f;
}

ScriptedField PreviewField(float y) {
    ScriptedField f = ScanField(y);
    f.scan = false;
    return f;
}

class Harness {
  public:
    Harness() {
        GeneralSettings_SetDefaults(settings, 0, 0);
        settings.RangeClip = 200.0f;
        settings.RawResolutionClip[0] = 0.5f;
        settings.RawResolutionClip[1] = 4.0f;
        settings.ProfileFilterLength = 3;
        settings.AutoView = 0;
        settings.Stylus.Mode = 0;
        settings.Stylus.CaptureMode = 0;
        settings.Stylus.MinLineSegment = 2.0f;
        settings.StylusPointBeep = 0;
        settings.StylusPointAutoView = 0;
        ViewSettings_SetDefaults(view);
        control.raw = &scan.raw();
        control.settings = &settings;
        control.view = &view;
        ScanControlHost& h = control.host;
        h.buildProfile = [this](Profile& staging, const ScanProfileRequest&, ScanFieldReport& report) {
            return Build(staging, report);
        };
        h.hardwareInfo = [this](ScanHardwareInfo& info) {
            info = hardware;
            return true;
        };
        h.cameraCount = [] { return 2; };
        h.mode = [this] { return mode; };
        h.setMode = [this](int32_t m) { mode = m; };
        h.beep = [this](uint32_t type) { beeps.push_back(type); };
        h.warningBox = [this](const char* key) { boxes.push_back(key); };
        h.errorBox = [this](const char* key) { boxes.push_back(key); };
        h.pipe = [this](int32_t kind, const Matrix4*, int32_t count, const Vec3*, const Matrix4*) {
            pipe.push_back(kind);
            if (kind == kPipeProfile && count <= 0) emptyProfileRecords++;
        };
        h.postRepaint = [this](int32_t level) {
            if (level == 2) pacedRepaints.push_back(fieldNumber);
        };
        h.notify = [this](ScanWindow window, uint32_t message) { notices.push_back({window, message}); };
        h.killClickTimer = [this] {
            const bool was = clickTimer;
            clickTimer = false;
            return was;
        };
        h.startClickTimer = [this] { clickTimer = true; };
        h.refractionOn = [this] { return refraction; };
        h.applyRefraction = [this](RawData& raw, int32_t first) {
            corrections.resize(static_cast<std::size_t>(std::max(raw.NumProfiles, 0)));
            for (int32_t p = first; p < raw.NumProfiles; ++p) ++corrections[static_cast<std::size_t>(p)];
        };
    }

    // One capture: first field, the fields numbered from `firstNumber`, last field.
    void Capture(const std::vector<ScriptedField>& fields, int32_t firstNumber = 1) {
        ScanControl_FirstField(control);
        Fields(fields, firstNumber);
        ScanControl_EndOfSweep(control);
        control.state.BusyState = kScanBusyIdle;
    }

    void Fields(const std::vector<ScriptedField>& fields, int32_t firstNumber = 1) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            script.push_back(fields[i]);
            fieldNumber = firstNumber + static_cast<int32_t>(i);
            ScanControl_OnNewFieldReady(control, fieldNumber);
        }
    }

    // The pipe's kinds with runs of profile records folded into "2+".
    std::string PipeText() const {
        std::string text;
        for (std::size_t i = 0; i < pipe.size(); ++i) {
            if (pipe[i] == kPipeProfile && i > 0 && pipe[i - 1] == kPipeProfile) continue;
            if (!text.empty()) text += ' ';
            text += std::to_string(pipe[i]);
            if (pipe[i] == kPipeProfile && i + 1 < pipe.size() && pipe[i + 1] == kPipeProfile) text += '+';
        }
        return text;
    }

    RawData& raw() { return scan.raw(); }

    scan_test::TestScan scan;
    GeneralSettings settings{};
    ViewSettings view{};
    ScanControl control;
    ScanHardwareInfo hardware{"1ABC", 3, 42, 7, "Mon Jan  5 10:00:00 2026\n", 0};
    int32_t mode = kScanModeScan;
    bool refraction = false;
    bool clickTimer = false;
    int32_t fieldNumber = 0;
    int32_t emptyProfileRecords = 0;
    std::vector<int32_t> pipe, pacedRepaints;
    std::vector<int32_t> corrections;  // how often each profile was corrected
    std::vector<uint32_t> beeps;
    std::vector<std::string> boxes;
    std::vector<std::pair<ScanWindow, uint32_t>> notices;
    std::deque<ScriptedField> script;

  private:
    int32_t Build(Profile& staging, ScanFieldReport& report) {
        const ScriptedField f = script.front();
        script.pop_front();
        std::free(staging.Points);
        std::free(staging.PointValues);
        const std::size_t n = static_cast<std::size_t>(std::max(f.points, 1));
        staging.Points = static_cast<Vec3*>(std::malloc(n * sizeof(Vec3)));
        staging.PointValues = static_cast<int32_t*>(std::malloc(n * sizeof(int32_t)));
        staging.NumPoints = f.points;
        for (int32_t k = 0; k < f.points; ++k) {
            staging.Points[k] = Vec3{f.x0 + f.spacing * k, f.wand[13], 0.0f};
            staging.PointValues[k] = 10;
        }
        staging.WandRxMatrix = f.wand;
        M4_Identity(staging.ReferenceRxMatrix);
        // A stylus field's pose is its measured reference record.
        if (f.stylus)
            staging.RawReferenceRxMatrix = f.wand;
        else
            M4_Identity(staging.RawReferenceRxMatrix);
        staging.ReferenceEnabled = 0;
        if (!f.detections.empty() || staging.Extra) {
            ProfileLineLog_Ensure(staging);
            const ProfileLineLog log = ProfileLineLog_Get(staging);
            *log.count = static_cast<int32_t>(f.detections.size());
            for (std::size_t i = 0; i < f.detections.size(); ++i) {
                log.channel[i] = f.detections[i].camera;
                log.point[i] = f.detections[i].point;
                log.start[i] = 1;
                log.end[i] = 2;
            }
        }
        report.scan = f.scan;
        report.stylus = f.stylus;
        report.hardwareValue = 5;
        return 1;
    }
};

std::vector<ScriptedField> Sweep(float y0, int n, float step = 1.0f) {
    std::vector<ScriptedField> fields;
    for (int i = 0; i < n; ++i) fields.push_back(ScanField(y0 + step * i));
    return fields;
}

template <typename T>
std::vector<T> operator+(std::vector<T> a, const std::vector<T>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(ScanControl, RepaintsEveryFifthFieldAndRestartsAtFieldOne) {
    Harness h;
    ScanControl_FirstField(h.control);
    h.Fields(Sweep(0.0f, 12));
    h.Fields(Sweep(20.0f, 3));  // the event numbers start again at 1
    EXPECT_EQ(h.pacedRepaints, (std::vector<int32_t>{1, 6, 11, 1}));
}

TEST(ScanControl, PipeSeesEachCaptureAndSweepBracketed) {
    struct Case {
        const char* name;
        std::vector<std::vector<ScriptedField>> captures;
        const char* pipe;
        int32_t sweeps, clicks;
    };
    const std::vector<Case> cases = {
        {"one sweep", {Sweep(0.0f, 8)}, "0 1 2+ 3 4", 1, 0},
        {"a preview field closes the sweep",
         {Sweep(0.0f, 8) + std::vector<ScriptedField>{PreviewField(8.0f), PreviewField(9.0f)} + Sweep(10.0f, 8)},
         "0 1 2+ 3 1 2+ 3 4",
         2,
         0},
        {"two captures", {Sweep(0.0f, 6), Sweep(30.0f, 6)}, "0 1 2+ 3 4 0 1 2+ 3 4", 2, 0},
        {"nothing kept", {{PreviewField(0.0f), PreviewField(1.0f)}}, "0 4", 0, 1},
        {"only empty profiles", {{ScanField(0.0f, 0), ScanField(1.0f, 0)}}, "0 4", 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        for (const auto& capture : c.captures) h.Capture(capture);
        EXPECT_EQ(h.PipeText(), c.pipe);
        EXPECT_EQ(h.raw().NumSweeps, c.sweeps);
        EXPECT_EQ(h.control.state.ScanClickCount, c.clicks);
        EXPECT_EQ(h.emptyProfileRecords, 0);
        EXPECT_EQ(h.raw().NumProfiles, h.raw().TotalProfiles);
    }
}

TEST(ScanControl, RangeClippedProfilesAreNotKept) {
    Harness h;
    h.settings.RangeClip = 50.0f;  // the plane lies 100 below the wand
    h.Capture(Sweep(0.0f, 6));
    EXPECT_EQ(h.raw().NumProfiles, 0);
    EXPECT_EQ(h.raw().NumSweeps, 0);
    EXPECT_EQ(h.PipeText(), "0 4");
}

TEST(ScanControl, AnotherWandsLoadedScanIsRefused) {
    Harness h;
    h.raw().LoadedFromDisk = 1;
    h.raw().Header.WandSerialNumber = 41;
    h.Capture(Sweep(0.0f, 6));
    EXPECT_EQ(h.boxes, (std::vector<std::string>{"ErrorDifferentWand"}));
    EXPECT_EQ(h.raw().NumProfiles, 0);
    EXPECT_TRUE(h.pipe.empty() || h.PipeText() == "");

    h.boxes.clear();
    h.raw().Header.WandSerialNumber = 42;
    h.Capture(Sweep(0.0f, 6));
    EXPECT_TRUE(h.boxes.empty());
    EXPECT_GT(h.raw().NumProfiles, 0);
}

TEST(ScanControl, EndOfCaptureStampsTheHeader) {
    Harness h;
    h.Capture(Sweep(0.0f, 6));
    const ScanHeader& header = h.raw().Header;
    EXPECT_EQ(header.WandSerialNumber, 42);
    EXPECT_EQ(header.VideoProcessorRevision, 7);
    EXPECT_EQ(header.DriverVersion, 3);
    EXPECT_STREQ(header.ProgramVersion, "4.0.7");
    EXPECT_STREQ(header.CalibrationCreated, "Mon Jan  5 10:00:00 2026");
}

TEST(ScanControl, RefractionCorrectsEveryProfileOnceTheLastSweepToo) {
    Harness h;
    h.refraction = true;
    h.Capture(Sweep(0.0f, 6));
    h.Capture(Sweep(30.0f, 6) + std::vector<ScriptedField>{PreviewField(40.0f)} + Sweep(50.0f, 6));
    h.Capture(Sweep(80.0f, 6));
    ASSERT_EQ(h.raw().NumSweeps, 4);
    EXPECT_EQ(h.raw().RefractionProfiles, h.raw().NumProfiles);
    EXPECT_EQ(h.corrections, std::vector<int32_t>(static_cast<std::size_t>(h.raw().NumProfiles), 1));
}

TEST(ScanControl, ALoadedCorrectedScanKeepsItsProfilesAsTheyAre) {
    Harness h;
    h.Capture(Sweep(0.0f, 6));
    h.Capture(Sweep(30.0f, 6));
    // As the loader leaves a scan saved with the correction.
    const int32_t loaded = h.raw().NumProfiles;
    h.raw().RefractionCorrected = 1;
    h.raw().RefractionProfiles = loaded;
    h.refraction = true;
    h.Capture(Sweep(60.0f, 6));
    ASSERT_GT(h.raw().NumProfiles, loaded);
    std::vector<int32_t> expected(static_cast<std::size_t>(h.raw().NumProfiles), 1);
    std::fill(expected.begin(), expected.begin() + loaded, 0);
    EXPECT_EQ(h.corrections, expected);
}

TEST(ScanControl, NewSweepDiscardsTheUndoneTail) {
    Harness h;
    h.Capture(Sweep(0.0f, 6));
    h.Capture(Sweep(30.0f, 6));
    const int32_t firstSweepProfiles = h.raw().SweepStartingProfileNo[1];
    // Undo the second sweep as the sweep undo does.
    --h.raw().NumSweeps;
    h.raw().NumProfiles = firstSweepProfiles;
    h.raw().NumPoints = h.raw().SweepFirstPoint[1];
    h.raw().NumFacets = h.raw().SweepFirstFacet[1];
    h.Capture(Sweep(60.0f, 6));
    EXPECT_EQ(h.raw().NumSweeps, 2);
    EXPECT_EQ(h.raw().TotalSweeps, 2);
    EXPECT_EQ(h.raw().TotalProfiles, h.raw().NumProfiles);
    EXPECT_FLOAT_EQ(h.raw().Profiles[firstSweepProfiles].WandRxMatrix[13], 60.0f);
}

TEST(ScanControl, StylusFieldsMakePointAndLineItems) {
    struct Case {
        int32_t captureMode;
        std::vector<float> ys;        // positions of one press
        std::vector<uint32_t> flags;  // the items made
        std::vector<float> recorded;  // the positions they hold, -1 for the line's head
    };
    const std::vector<Case> cases = {
        {0, {0.0f, 5.0f, 10.0f}, {0}, {0.0f}},
        // A line: its own head item, then every point kept (a segment of at
        // least 2), the first one too.
        {1,
         {0.0f, 1.0f, 2.5f, 3.0f, 6.0f},
         {kStylusLineHead, kStylusLineMember, kStylusLineMember, kStylusLineMember},
         {-1.0f, 0.0f, 2.5f, 6.0f}},
        {1, {4.0f, 4.5f}, {kStylusLineHead, kStylusLineMember}, {-1.0f, 4.0f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.captureMode);
        Harness h;
        h.settings.Stylus.CaptureMode = c.captureMode;
        std::vector<ScriptedField> press;
        for (float y : c.ys) {
            ScriptedField f = ScanField(y);
            f.stylus = true;
            press.push_back(f);
        }
        h.script.clear();
        ScanControl_FirstField(h.control);
        for (std::size_t i = 0; i < press.size(); ++i) {
            h.script.push_back(press[i]);
            // The stylus pose is the staging profile's measured reference.
            ScanControl_OnNewFieldReady(h.control, static_cast<int32_t>(i + 1));
        }
        const StylusItemList& list = h.raw().Stylus;
        ASSERT_EQ(list.VisibleCount, static_cast<int32_t>(c.flags.size()));
        EXPECT_EQ(list.GroupCount, 1);
        for (int32_t i = 0; i < list.VisibleCount; ++i) {
            const StylusItem& item = list.Items[i];
            EXPECT_EQ(item.Flags, c.flags[i]) << i;
            EXPECT_EQ(item.Group, 0) << i;
            if (c.recorded[i] < 0.0f) {
                const StylusItem zero{};
                EXPECT_EQ(std::memcmp(&item.Pose, &zero.Pose, sizeof item.Pose), 0) << "the head carries no pose";
            } else {
                EXPECT_FLOAT_EQ(item.Pose[13], c.recorded[i]) << i;
            }
        }
        ScanControl_EndOfSweep(h.control);
        EXPECT_EQ(h.control.state.ScanClickCount + h.control.state.StylusClickCount, 0);
        EXPECT_EQ(list.CaptureMarker, 0);
    }
}

// A line of two points recorded by the stylus reaches every reader whole:
// the export rows, the RBF fit's input and the placement on the scan, which
// moves both points and gives the line the farther one's distance.
TEST(ScanControl, ATwoPointLineReachesTheExportTheFitAndThePlacement) {
    Harness h;
    h.Capture({ScanField(0.0f), ScanField(1.0f), ScanField(2.0f), ScanField(3.0f), ScanField(4.0f),
               ScanField(5.0f), ScanField(6.0f), ScanField(7.0f)});
    ASSERT_GT(h.raw().NumFacets, 0);
    h.settings.Stylus.Mode = 1;
    h.settings.Stylus.CaptureMode = 1;
    std::vector<ScriptedField> press;
    for (float y : {2.0f, 5.0f}) {
        ScriptedField f = ScanField(y);
        f.stylus = true;
        press.push_back(f);
    }
    ScanControl_FirstField(h.control);
    h.Fields(press, 20);
    ScanControl_EndOfSweep(h.control);
    StylusItemList& list = h.raw().Stylus;
    ASSERT_EQ(list.VisibleCount, 3);
    const float recorded[2] = {list.Items[1].Pose[13], list.Items[2].Pose[13]};
    EXPECT_FLOAT_EQ(recorded[0], 2.0f);
    EXPECT_FLOAT_EQ(recorded[1], 5.0f);

    std::vector<StylusExportRecord> rows(3);
    int32_t visible = 0;
    ASSERT_EQ(StylusExport_CollectRecords(list, false, false, rows.data(), visible), 2);
    EXPECT_EQ(visible, 2);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(rows[k].lineIndex, k);
        EXPECT_FLOAT_EQ(rows[k].matrix[13], recorded[k]);
    }

    SurfaceRecord basic{};
    int32_t added = 0;
    ASSERT_EQ(RbfSurf_StylusInput(list, basic, added), 1);
    ASSERT_EQ(added, 2);
    for (int k = 0; k < 2; ++k) EXPECT_FLOAT_EQ(basic.Points[k].y, recorded[k]);
    Surface_Free(basic);

    // The stylus tip was 100 mm above the plane the scan lies on.
    list.Items[0].Flags |= kStylusOnScan;
    StylusItems_UpdateShifts(list, h.raw(), 150.0f);
    EXPECT_TRUE(list.Items[0].Flags & kStylusOnScan);
    for (int k = 1; k <= 2; ++k) {
        EXPECT_TRUE(list.Items[k].Flags & kStylusOnScan) << k;
        EXPECT_NEAR(list.Items[k].ScanPose[14], 0.0f, 1e-3f) << k;
    }
    EXPECT_FLOAT_EQ(list.Items[0].ScanDistance, std::max(list.Items[1].ScanDistance, list.Items[2].ScanDistance));
}

TEST(ScanControl, LaserStylusTakesSmallSpotsWithinRange) {
    struct Case {
        const char* name;
        int32_t points;
        float spacing;
        float range;
        bool captured;
    };
    // The spot lies 100 below the wand.
    const std::vector<Case> cases = {
        {"small spot within range", 10, 0.5f, 150.0f, true},
        {"small spot beyond range", 10, 0.5f, 80.0f, false},
        {"spot too wide", 40, 0.5f, 150.0f, false},
        {"no points", 0, 0.5f, 150.0f, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        h.settings.Stylus.Mode = 1;
        h.settings.RangeClip = c.range;
        ScriptedField f = ScanField(3.0f, c.points);
        f.spacing = c.spacing;
        f.x0 = 1.0f;
        h.Capture({f});
        ASSERT_EQ(h.raw().Stylus.VisibleCount, c.captured ? 1 : 0);
        EXPECT_EQ(h.raw().NumProfiles, 0);  // a stylus press keeps no profile
        if (c.captured) {
            const Matrix4& pose = h.raw().Stylus.Items[0].Pose;
            EXPECT_FLOAT_EQ(pose[12], 1.0f + 0.5f * 0.5f * (c.points - 1));
            EXPECT_FLOAT_EQ(pose[13], 3.0f);
            EXPECT_FLOAT_EQ(pose[14], 0.0f);
        }
    }
}

// A target field of the calibration-correction capture: the wand 136 above
// the target (range 125 for the larger geometry), both cameras on it.
ScriptedField TargetField(float y) {
    ScriptedField f = ScanField(y, 0);
    f.wand = WandLookingDown(0.0f, 0.0f, 30.0f + 136.0f);
    f.detections = {{0, {1.0f, 1.0f, 0.0f}}, {1, {-1.0f, 2.0f, 0.0f}}};
    return f;
}

TEST(ScanControl, CorrectionCaptureDropsSweepsOfFewerThanSixProfiles) {
    for (int n : {5, 6}) {
        SCOPED_TRACE(n);
        Harness h;
        h.mode = kScanModeCorrection;
        std::vector<ScriptedField> fields;
        for (int i = 0; i < n; ++i) fields.push_back(TargetField(float(i)));
        h.Capture(fields);
        EXPECT_EQ(h.raw().NumSweeps, n == 6 ? 1 : 0);
        EXPECT_EQ(h.raw().NumProfiles, n == 6 ? 6 : 0);
        EXPECT_EQ(h.raw().TotalProfiles, h.raw().NumProfiles);
        int accepted = 0;
        for (const auto& notice : h.notices) accepted += notice.second == kMsgAccepted;
        EXPECT_EQ(accepted, n);
        if (n == 6) EXPECT_NE(h.raw().Profiles[0].Extra, nullptr);  // the detections travel with the profile
        EXPECT_EQ(h.raw().Staging.Extra == nullptr || h.raw().Staging.Extra != h.raw().Profiles[0].Extra, true);
    }
}

}  // namespace

TEST(ScanControl, FieldStatusByMode) {
    Profile staging{};
    M4_Identity(staging.WandRxMatrix);
    staging.WandRxMatrix[12] = 12.34f;
    staging.WandRxMatrix[13] = -5.0f;
    staging.WandRxMatrix[14] = 300.0f;
    M4_Identity(staging.ReferenceRxMatrix);
    staging.ReferenceRxMatrix[12] = 7.0f;
    struct Case {
        int32_t mode, scan, receiver;
        bool behind, set, warning;
        const char* position;
        const char* key;
    };
    const Case cases[] = {
        {kScanModePreview, 0, 0, false, true, false, " +12.3   -5.0 +300.0   +0.0   -0.0   +0.0",
         "StatusBarPreviewMode"},
        {kScanModeAccuracy, 1, 1, false, true, false, "  +7.0   +0.0   +0.0   +0.0   -0.0   +0.0", "StatusBarScanMode"},
        {kScanModeScan, 1, 0, true, true, true, "StatusBarBackWarning", "StatusBarScanMode"},
        {kScanModeScan, 1, 0, false, true, false, "", "StatusBarScanMode"},
        {kScanModeView, 1, 0, true, false, false, "", "StatusBarScanMode"},
    };
    for (const Case& c : cases) {
        const ScanFieldStatus s = ScanControl_FieldStatus(c.mode, c.scan, staging, c.receiver, c.behind);
        SCOPED_TRACE(c.mode);
        EXPECT_EQ(s.setPosition, c.set);
        EXPECT_EQ(s.warning, c.warning);
        EXPECT_EQ(s.position, c.position);
        EXPECT_STREQ(s.modeKey, c.key);
    }

    // Scanning asks the view only once the scan has a profile.
    Harness h;
    int asked = 0;
    std::vector<ScanFieldStatus> shown;
    h.control.host.wandBehind = [&] { return ++asked > 0; };
    h.control.host.showFieldStatus = [&](const ScanFieldStatus& s) { shown.push_back(s); };
    h.Capture(std::vector<ScriptedField>{ScanField(0.0f, 0)} + Sweep(1.0f, 2));
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_FALSE(shown[0].warning) << "an empty first field keeps no profile";
    EXPECT_TRUE(shown[2].warning);
    EXPECT_EQ(asked, 2);
}

// What each field leaves for the view to draw: the camera view's full
// redraw in preview, new data when a profile was kept, the live profile
// whenever the field was looked at in the sweeps or target modes.
TEST(ScanControl, EachFieldLeavesTheDrawingFlagsTheViewNeeds) {
    ScriptedField previewTarget = TargetField(1.0f);
    previewTarget.scan = false;
    struct Case {
        const char* name;
        int32_t mode;
        std::vector<ScriptedField> before;
        ScriptedField field;
        int32_t flags;
    };
    const Case cases[] = {
        {"camera view", kScanModePreview, {}, ScanField(0.0f), kDrawFull},
        {"kept profile", kScanModeScan, {}, ScanField(0.0f), kDrawLive | kDrawNew},
        {"not moved enough", kScanModeScan, {ScanField(0.0f)}, ScanField(0.0f), kDrawLive},
        {"trigger released", kScanModeScan, {ScanField(0.0f)}, PreviewField(1.0f), kDrawLive},
        {"accepted target", kScanModeCorrection, {}, TargetField(0.0f), kDrawNew},
        {"target not pressed", kScanModeCorrection, {}, previewTarget, kDrawLive},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        h.mode = c.mode;
        ScanControl_FirstField(h.control);
        h.Fields(c.before);
        h.raw().Draw.Flags = 0;
        h.Fields({c.field}, static_cast<int32_t>(c.before.size()) + 1);
        EXPECT_EQ(h.raw().Draw.Flags, c.flags);
        ScanControl_EndOfSweep(h.control);
    }
}

// A kept profile's two copies (points, then values) cannot be had: the
// field beeps, nothing is appended or sent, no sweep opens and the repaint
// pacing does not count the field; the next field is kept as usual. Leak
// checking sees the copy that was had freed again.
TEST(ScanControl, ProfileWhoseCopiesCannotBeHadIsDropped) {
    for (int failing : {1, 2}) {
        SCOPED_TRACE(failing == 1 ? "the points' copy fails" : "the values' copy fails");
        Harness h;
        int calls = 0;
        h.control.host.allocate = [&](std::size_t bytes) -> void* {
            return ++calls == failing ? nullptr : std::malloc(bytes);
        };
        ScanControl_FirstField(h.control);
        h.Fields({ScanField(0.0f)});
        EXPECT_EQ(h.beeps, (std::vector<uint32_t>{kBeepExclamation}));
        EXPECT_EQ(h.raw().NumProfiles, 0);
        EXPECT_EQ(h.raw().NumSweeps, 0);
        EXPECT_EQ(h.control.state.SweepClosed, 1);
        EXPECT_EQ(h.control.state.RepaintCounter, 0);
        EXPECT_EQ(h.PipeText(), "0");

        h.Fields(Sweep(1.0f, 3), 2);
        ScanControl_EndOfSweep(h.control);
        EXPECT_EQ(h.raw().NumProfiles, 3);
        EXPECT_EQ(h.raw().NumSweeps, 1);
        // Field 1 did not count: the pacing posts at field 2, the first it counted.
        EXPECT_EQ(h.pacedRepaints, (std::vector<int32_t>{2}));
        EXPECT_EQ(h.PipeText(), "0 1 2+ 3 4");
    }
}
