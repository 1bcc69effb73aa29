// The tool dialogs under Wine, driven through their windows as the user
// drives them, each kept as a picture beside the test program.
#include <windows.h>

#include <commdlg.h>
#include <dlgs.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/acquisition_state.h"
#include "app/base/app_messages.h"
#include "app/files/tests/keyed_scratch_folder.h"
#include "app/locale/locale_loader.h"
#include "app/ui/app_state.h"
#include "app/ui/camera_log.h"
#include "app/ui/scan_control_link.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tests/modal_driver_win32.h"
#include "app/ui/tests/small_scan.h"
#include "app/ui/tool_dialogs_win32.h"

namespace {

namespace fs = std::filesystem;
using modal_driver::Driver;
using modal_driver::ItemText;
using modal_driver::Press;

std::vector<AppMessage> g_messages;

// A picture of the window beside the test program; its number of colours,
// so that a blank window fails.
size_t KeepPicture(HWND window, const std::string& name) {
    char program[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, sizeof program);
    const std::string path = (fs::path(program).parent_path() / ("screenshot-" + name + ".bmp")).string();
    return modal_driver::DistinctColours(modal_driver::Screenshot(window, path));
}

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

class ToolDialogsWin32 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { Locale_Load(); }
    void SetUp() override {
        Shell().instance = GetModuleHandleA(nullptr);
        owner_ = modal_driver::MakeOwner("ToolDialogsOwner", DefWindowProcA, 40, 40, 400, 300);
        ASSERT_NE(owner_, nullptr);
        g_messages.clear();
        App_SetMessageSink([](const AppMessage& m) { g_messages.push_back(m); });
    }
    void TearDown() override {
        App_SetMessageSink(nullptr);
        App().raw = nullptr;
        DestroyWindow(owner_);
    }
    HWND owner_ = nullptr;
};

// ---- Refraction Correction ------------------------------------------------------

// A scan of two profiles seen by a wand 300 mm below the plate, whose scan
// points are the profiles' points.
struct GlassScan {
    SmallScan scan{{3, 2}};
    std::vector<ScanPoint> points;
    GlassScan() {
        for (size_t p = 0; p < scan.profiles.size(); ++p) {
            Profile& profile = scan.profiles[p];
            M4_MakeTranslation(Vec3{0.0f, 0.0f, -300.0f}, profile.WandRxMatrix);
            for (int k = 0; k < profile.NumPoints; ++k) {
                profile.Points[k] = Vec3{5.0f * k, 2.0f * p, -220.0f};
                ScanPoint sp{};
                sp.Vertex = profile.Points[k];
                points.push_back(sp);
            }
        }
        scan.raw->Points = points.data();
        scan.raw->NumPoints = static_cast<int32_t>(points.size());
    }
    float Moved() const {
        float most = 0.0f;
        size_t i = 0;
        for (size_t p = 0; p < scan.profiles.size(); ++p)
            for (int k = 0; k < scan.profiles[p].NumPoints; ++k, ++i) {
                const Vec3 start{5.0f * k, 2.0f * p, -220.0f};
                most = std::fmax(most, V3_Distance(points[i].Vertex, start));
            }
        return most;
    }
};

TEST_F(ToolDialogsWin32, RefractionShowsTheOffsetChoiceAndChecksTheIndex) {
    GeneralSettings& g = App().settings;
    struct Case {
        const char* what;
        float offset;
        int shown;  // the offset button checked
        const char* index;
        bool accepted;
    } cases[] = {
        {"8.05 is the small transmitter", 8.05f, kRefractionSmallOffset, "1.52", true},
        {"8.2 is custom", 8.2f, kRefractionCustomOffset, "1.52", true},
        {"29 is the standard transmitter", 29.0f, kRefractionStandardOffset, "1.52", true},
        {"index 0.01 is refused", 29.0f, kRefractionStandardOffset, "0.01", false},
        {"index 0.011 is accepted", 29.0f, kRefractionStandardOffset, "0.011", true},
        {"index 0 is refused", 8.2f, kRefractionCustomOffset, "0", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GlassScan glass;
        App().raw = glass.scan.raw;
        g_messages.clear();
        g.GlassThickness = 6.0f;
        g.GlassRefractiveIndex = 1.5f;
        g.GlassZOffset = c.offset;
        g.GlassReferenceOnObjectSide = 0;
        g.GlassReferenceIsRx = 0;
        int shown = 0;
        bool offsetEnabled = false, doEnabled = false, undoEnabled = true, doAfter = true, undoAfter = false;
        std::string title, thickness;
        Driver driver({{kRefractionOffset, [&](HWND d) {
                            title = ItemText(d, 0);
                            thickness = ItemText(d, kRefractionThickness);
                            for (int id : {kRefractionSmallOffset, kRefractionStandardOffset, kRefractionCustomOffset})
                                if (Checked(d, id)) shown = id;
                            offsetEnabled = Enabled(d, kRefractionOffset);
                            doEnabled = Enabled(d, kRefractionDo);
                            undoEnabled = Enabled(d, kRefractionUndo);
                            SetDlgItemTextA(d, kRefractionIndex, c.index);
                            SendMessageA(d, WM_COMMAND, kRefractionDo, 0);
                            doAfter = Enabled(d, kRefractionDo);
                            undoAfter = Enabled(d, kRefractionUndo);
                            return Press(d, IDCANCEL);
                        }}});
        RefractionDialog(owner_);
        EXPECT_TRUE(driver.Finished());
        EXPECT_EQ(title, "Refraction Correction");
        EXPECT_EQ(thickness, "6.00");
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(offsetEnabled, c.shown == kRefractionCustomOffset);
        EXPECT_TRUE(doEnabled);
        EXPECT_FALSE(undoEnabled);
        EXPECT_EQ(doAfter, !c.accepted);
        EXPECT_EQ(undoAfter, c.accepted);
        EXPECT_EQ(glass.scan.raw->RefractionCorrected, c.accepted ? 1 : 0);
        if (c.accepted) {
            EXPECT_TRUE(g_messages.empty());
            EXPECT_FLOAT_EQ(g.GlassRefractiveIndex, static_cast<float>(std::atof(c.index)));
            EXPECT_FLOAT_EQ(glass.scan.raw->Refraction.RefractiveIndex, g.GlassRefractiveIndex);
            EXPECT_EQ(glass.scan.raw->RefractionProfiles, 2);
        } else {
            ASSERT_EQ(g_messages.size(), 1u);
            EXPECT_EQ(g_messages[0].textKey, "ErrorInvalidRefractionIndex");
            EXPECT_FLOAT_EQ(g.GlassRefractiveIndex, 1.5f);
            EXPECT_EQ(glass.Moved(), 0.0f);
        }
    }
}

TEST_F(ToolDialogsWin32, RefractionDoMovesTheScanAndUndoBringsItBack) {
    GeneralSettings& g = App().settings;
    g.GlassThickness = 6.0f;
    g.GlassRefractiveIndex = 1.5f;
    g.GlassZOffset = 29.0f;
    GlassScan glass;
    App().raw = glass.scan.raw;
    float afterDo = 0.0f, afterUndo = 1.0f;
    std::string offsetAfterSmall;
    bool offsetEnabledAfterSmall = true;
    size_t colours = 0;
    Driver driver({{kRefractionOffset, [&](HWND d) {
                        colours = KeepPicture(d, "refraction-340");
                        SendMessageA(d, WM_COMMAND, kRefractionSmallOffset, 0);
                        offsetAfterSmall = ItemText(d, kRefractionOffset);
                        offsetEnabledAfterSmall = Enabled(d, kRefractionOffset);
                        SendMessageA(d, WM_COMMAND, kRefractionCustomOffset, 0);
                        SetDlgItemTextA(d, kRefractionOffset, "12.5");
                        SendMessageA(d, WM_COMMAND, kRefractionDo, 0);
                        afterDo = glass.Moved();
                        // The settings changed since: Undo puts back the ones applied.
                        App().settings.GlassZOffset = 3.0f;
                        SendMessageA(d, WM_COMMAND, kRefractionUndo, 0);
                        afterUndo = glass.Moved();
                        return Press(d, IDCANCEL);
                    }}});
    RefractionDialog(owner_);
    EXPECT_TRUE(driver.Finished());
    EXPECT_GE(colours, 3u);
    EXPECT_EQ(offsetAfterSmall, "8.0");
    EXPECT_FALSE(offsetEnabledAfterSmall);
    // On the axis the correction is the thickness along the scanner's Z.
    EXPECT_NEAR(afterDo, 6.0f, 0.5f);
    EXPECT_LT(afterUndo, 0.01f);
    EXPECT_EQ(glass.scan.raw->RefractionCorrected, 0);
    EXPECT_FLOAT_EQ(g.GlassZOffset, 12.5f);
    EXPECT_TRUE(g_messages.empty());
}

// ---- Texture camera -------------------------------------------------------------

void TypeFileName(HWND save, const std::string& path) {
    if (GetDlgItem(save, cmb13))
        SetDlgItemTextA(save, cmb13, path.c_str());
    else
        SetDlgItemTextA(save, edt1, path.c_str());
}

void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

TEST_F(ToolDialogsWin32, TextureCameraRecordsCountsAndSavesThePoses) {
    ScratchFolder folder;
    CameraLog_Clear();
    App().cameraCapture = false;
    HWND window = TextureCamera_Show(owner_);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(Shell().modeless[kSlotTextureCamera], window);
    EXPECT_EQ(ItemText(window, kTextureCameraCount), "0");
    SendMessageA(GetDlgItem(window, kTextureCameraMode), BM_CLICK, 0, 0);
    EXPECT_TRUE(App().cameraCapture);

    // Two poses through scan control's hook, as two capture requests give them.
    ScanControl_InstallLink();
    Matrix4 a, b;
    M4_MakeTranslation(Vec3{1.5f, -2.25f, 300.125f}, a);
    M4_MakeRotationX(30.0f, b);
    ScanControl_Program().host.cameraLogAdd(a);
    ScanControl_Program().host.cameraLogAdd(b);
    EXPECT_EQ(ItemText(window, kTextureCameraCount), "2");
    EXPECT_GE(KeepPicture(window, "texture-camera-365"), 3u);

    const std::string target = folder.File("poses.txt");
    Driver driver({{cmb1, [&](HWND save) {
                        EXPECT_EQ(ItemText(save, 0), "Save Camera Positions");
                        TypeFileName(save, target);
                        return Press(save, IDOK);
                    }}});
    SendMessageA(window, WM_COMMAND, kTextureCameraSave, 0);
    EXPECT_TRUE(driver.Finished());
    std::ifstream in(target);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 2u);
    const Matrix4* poses[2] = {&a, &b};
    for (size_t i = 0; i < 2; ++i) {
        std::istringstream numbers(lines[i]);
        std::string word;
        int count = 0;
        while (numbers >> word) {
            ASSERT_LT(count, 16);
            EXPECT_EQ(word.size() - word.find('.'), 11u) << word;  // ten decimals
            EXPECT_NEAR(std::atof(word.c_str()), (*poses[i])[count], 1e-6) << word;
            ++count;
        }
        EXPECT_EQ(count, 16);
        EXPECT_EQ(lines[i].back(), ' ');
    }

    SendMessageA(window, WM_COMMAND, kTextureCameraClear, 0);
    EXPECT_EQ(ItemText(window, kTextureCameraCount), "0");
    EXPECT_EQ(CameraLog_Count(), 0);
    SendMessageA(window, WM_COMMAND, IDCANCEL, 0);
    Pump();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(App().cameraCapture);
    EXPECT_EQ(Shell().modeless[kSlotTextureCamera], nullptr);
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(ToolDialogsWin32, ACameraLogFileThatCannotBeOpenedGivesOneBoxAndNoFile) {
    ScratchFolder folder;
    CameraLog_Clear();
    const float pose[16] = {1.0f};
    CameraLog_Add(pose);
    const std::string target = folder.File("missing\\poses.txt");
    Driver driver({{cmb1, [&](HWND save) {
                        TypeFileName(save, target);
                        return Press(save, IDOK);
                    }}});
    CameraLog_Save(owner_);
    EXPECT_TRUE(driver.Finished());
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].text.rfind("Open failed, " + target + ": ", 0), 0u) << g_messages[0].text;
    EXPECT_FALSE(fs::exists(target));
    CameraLog_Clear();
}

}  // namespace

namespace {

// ---- Stereo Control -------------------------------------------------------------

TEST_F(ToolDialogsWin32, StereoControlEnablesItsValuesWithStereoAndRefusesBadNumbers) {
    GeneralSettings& g = App().settings;
    struct Case {
        const char* what;
        const char* distance;
        const char* offset;
        bool defaults;
        float storedDistance, storedOffset;
        const char* error;
    } cases[] = {
        {"both stored", "640", "35", false, 640, 35, nullptr},
        {"defaults written, stored on Close", "640", "35", true, 500, 50, nullptr},
        {"a bad distance is refused, the offset stored", "6x", "20", false, 700, 20,
         "Invalid value entered for viewer to screen distance!"},
        {"a bad offset is refused", "450", "", false, 450, 60, "Invalid value entered for object to screen offset!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_messages.clear();
        g.StereoEnabled = 0;
        g.ViewerToScreenDistance = 700;
        g.ObjectToScreenOffset = 60;
        bool editsOffBefore = false, editsOnAfter = false;
        std::string shown;
        Driver driver({{kStereoDistance, [&](HWND d) {
                            editsOffBefore = !IsWindowEnabled(GetDlgItem(d, kStereoDistance)) &&
                                             !IsWindowEnabled(GetDlgItem(d, kStereoApply));
                            shown = ItemText(d, kStereoDistance);
                            SendMessageA(d, WM_COMMAND, kStereoEnabled, 0);
                            editsOnAfter = IsWindowEnabled(GetDlgItem(d, kStereoDistance)) &&
                                           IsWindowEnabled(GetDlgItem(d, kStereoDefaults));
                            SetDlgItemTextA(d, kStereoDistance, c.distance);
                            SetDlgItemTextA(d, kStereoOffset, c.offset);
                            if (c.defaults) SendMessageA(d, WM_COMMAND, kStereoDefaults, 0);
                            return Press(d, IDCANCEL);
                        }}});
        StereoControlDialog(owner_);
        EXPECT_TRUE(driver.Finished());
        EXPECT_EQ(shown, "700");
        EXPECT_TRUE(editsOffBefore);
        EXPECT_TRUE(editsOnAfter);
        EXPECT_EQ(g.StereoEnabled, 1);
        EXPECT_EQ(g.ViewerToScreenDistance, c.storedDistance);
        EXPECT_EQ(g.ObjectToScreenOffset, c.storedOffset);
        if (c.error) {
            ASSERT_EQ(g_messages.size(), 1u);
            EXPECT_EQ(g_messages[0].text, c.error);
        } else {
            EXPECT_TRUE(g_messages.empty());
        }
    }
    g.StereoEnabled = 0;
}

}  // namespace

namespace {

// ---- Extents --------------------------------------------------------------------

TEST_F(ToolDialogsWin32, ExtentsShowTheScansBoxInMillimetresOrInches) {
    // Two points spanning 25.4 x 50.8 x 12.7 mm.
    ScanPoint points[2] = {};
    points[1].Vertex = Vec3{25.4f, 50.8f, 12.7f};
    SweepRecord sweeps[2] = {};
    int32_t first[2] = {0, 2};
    RawData raw{};
    raw.Points = points;
    raw.NumPoints = 2;
    raw.Sweeps = sweeps;
    raw.NumSweeps = 1;
    raw.SweepFirstPoint = first;
    App().raw = &raw;
    M4_Identity(App().view.CoordinateSystem);  // lengths are measured in the view's surface frame
    HWND window = CreateExtentsWindow(owner_);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ItemText(window, kExtentsX), "0.0");
    RECT owner, own;
    GetWindowRect(owner_, &owner);
    GetWindowRect(window, &own);
    EXPECT_EQ(own.left, owner.left + 20);
    EXPECT_EQ(own.bottom, owner.bottom - 50);
    const struct {
        int32_t imperial;
        const char *x, *y, *z, *unit;
    } cases[] = {{0, "25.4", "50.8", "12.7", "mm"}, {1, "1.00", "2.00", "0.50", "in"}};
    for (const auto& c : cases) {
        App().settings.UseImperialUnits = c.imperial;
        UpdateExtents();
        EXPECT_EQ(ItemText(window, kExtentsX), c.x);
        EXPECT_EQ(ItemText(window, kExtentsY), c.y);
        EXPECT_EQ(ItemText(window, kExtentsZ), c.z);
        EXPECT_EQ(ItemText(window, kExtentsZUnit), c.unit);
    }
    App().settings.UseImperialUnits = 0;
    ShowWindow(window, SW_SHOWNOACTIVATE);
    EXPECT_GE(KeepPicture(window, "extents-358"), 3u);
    EXPECT_EQ(ItemText(window, 0), "Extents");
    DestroyWindow(window);
    EXPECT_FALSE(IsWindow(Shell().modeless[kSlotExtents]));
    Shell().modeless[kSlotExtents] = nullptr;
}

// ---- Resources -------------------------------------------------------------------

TEST_F(ToolDialogsWin32, ResourcesShowTheAcquisitionValuesAndHandBackWhatWasTyped) {
    struct Case {
        const char* what;
        std::vector<std::pair<int, const char*>> typed;
        int button;
        int32_t minWidth, maxWidth, filter, fields, sleep;
        float pair[2];
    } cases[] = {
        {"OK keeps what is shown", {}, IDOK, 5, 50, 3, 2, 1, {0.25f, 0.5f}},
        {"typed values; the filter length made odd and the pair clamped",
         {{kResourcesMinWidth, "7"},
          {kResourcesMaxWidth, "40"},
          {kResourcesFilterLength, "4"},
          {kResourcesAdvancePair, "0.2 1.5"},
          {kResourcesTimerFields, "-3"},
          {kResourcesTimerSleep, "9"}},
         IDOK,
         7,
         40,
         5,
         -3,
         9,
         {0.2f, 1.0f}},
        {"one number is no pair", {{kResourcesAdvancePair, "0.3"}}, IDOK, 5, 50, 3, 2, 1, {0.25f, 0.5f}},
        {"three numbers are no pair", {{kResourcesAdvancePair, "0.1 0.2 0.3"}}, IDOK, 5, 50, 3, 2, 1, {0.25f, 0.5f}},
        {"an edit without a number keeps its value", {{kResourcesMaxWidth, "wide"}}, IDOK, 5, 50, 3, 2, 1,
         {0.25f, 0.5f}},
        {"Cancel hands back nothing",
         {{kResourcesMinWidth, "9"}, {kResourcesAdvancePair, "0.9 0.9"}},
         IDCANCEL,
         5,
         50,
         3,
         2,
         1,
         {0.25f, 0.5f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetHardwareParamPair(5, 50);
        SetOddFilterLength(3);
        SetSweepPauseParams(2, 1);
        float start[2] = {0.25f, 0.5f};
        ClampUnitPair(start);
        std::vector<std::string> shown;
        Driver driver({{kResourcesAdvancePair, [&](HWND d) {
                            for (int id : {kResourcesMinWidth, kResourcesMaxWidth, kResourcesFilterLength,
                                           kResourcesAdvancePair, kResourcesTimerFields, kResourcesTimerSleep,
                                           kResourcesNote})
                                shown.push_back(ItemText(d, id));
                            if (&c == &cases[0]) EXPECT_GE(KeepPicture(d, "resources-348"), 3u);
                            for (const auto& t : c.typed) SetDlgItemTextA(d, t.first, t.second);
                            return Press(d, c.button);
                        }}});
        EXPECT_EQ(ResourceValuesDialog(owner_), c.button);
        EXPECT_TRUE(driver.Finished());
        EXPECT_EQ(shown, (std::vector<std::string>{"5", "50", "3", "0.25 0.5", "2", "1", ""}));
        EXPECT_EQ(GetMinLaserLineWidth(), c.minWidth);
        EXPECT_EQ(GetMaxLaserLineWidth(), c.maxWidth);
        EXPECT_EQ(GetOddFilterLength(), c.filter);
        EXPECT_EQ(GetSweepPauseFirst(), c.fields);
        EXPECT_EQ(GetSweepPauseSeconds(), c.sleep);
        float pair[2];
        GetUnitPair(pair);
        EXPECT_FLOAT_EQ(pair[0], c.pair[0]);
        EXPECT_FLOAT_EQ(pair[1], c.pair[1]);
    }
    ResetAcquisitionSettings();
    ResetAcquisitionState();
}

}  // namespace
