// The Stylus Bump and cast inversion dialogs under Wine, driven through their
// controls and screenshotted: the stored width and height, a bump that
// leaves the RBF surface unsaved so that the close prompt asks for it, and
// the inversion's settings dialog with the messages of its results.
#include "app/base/app_messages.h"
#include "app/export/cast_inversion.h"
#include "app/locale/locale_loader.h"
#include "app/scan/raw_data.h"
#include "app/scan/surface_record.h"
#include "app/ui/app_state.h"
#include "app/ui/cast_tools_win32.h"
#include "app/ui/scan_document.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tests/modal_driver_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace modal_driver;

namespace {

std::vector<AppMessage> g_messages;
std::vector<int> g_commands;

class CastToolsWin32 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { Locale_Load(); }
    void SetUp() override {
        Shell().instance = GetModuleHandleA(nullptr);
        owner_ = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                                 nullptr, Shell().instance, nullptr);
        Shell().main = owner_;
        g_messages.clear();
        g_commands.clear();
        App_SetMessageSink([](const AppMessage& m) { g_messages.push_back(m); });
        Shell_Hooks().sendCommand = [](int command) { g_commands.push_back(command); };
        std::memset(&raw_, 0, sizeof raw_);
        App().raw = &raw_;
        BuildGrid();
    }
    void TearDown() override {
        App().raw = nullptr;
        std::memset(&App().rbf, 0, sizeof App().rbf);
        Shell_Hooks().sendCommand = nullptr;
        App_SetMessageSink(nullptr);
        Shell().main = nullptr;
        DestroyWindow(owner_);
    }
    // A flat RBF surface of 21 x 21 vertices 1 mm apart, saved, with one
    // stylus point at its centre.
    void BuildGrid() {
        points_.clear(), normals_.clear(), facets_.clear();
        for (int i = -10; i <= 10; ++i)
            for (int j = -10; j <= 10; ++j) {
                points_.push_back(Vec3{static_cast<float>(i), static_cast<float>(j), 0.0f});
                normals_.push_back(Vec3{0, 0, 1});
            }
        for (int i = 0; i < 20; ++i)
            for (int j = 0; j < 20; ++j) {
                const int a = i * 21 + j;
                facets_.insert(facets_.end(), {a, a + 21, a + 22, a, a + 22, a + 1});
            }
        facetNormals_.assign(facets_.size() / 3, Vec3{0, 0, 1});
        SurfaceRecord& s = App().rbf;
        std::memset(&s, 0, sizeof s);
        s.NumPoints = s.MaxPoints = static_cast<int32_t>(points_.size());
        s.Points = points_.data();
        s.PointNormals = normals_.data();
        s.NumFacets = s.MaxFacets = static_cast<int32_t>(facetNormals_.size());
        s.Facets = facets_.data();
        s.FacetNormals = facetNormals_.data();
        s.RbfParams.RbfResolution = 1.0f;
        s.Saved = 1;
        s.ChangeTime = 10.0;
        item_ = StylusItem{};
        M4_Identity(item_.Pose);
        raw_.Stylus.Items = &item_;
        raw_.Stylus.VisibleCount = raw_.Stylus.TotalCount = raw_.Stylus.Capacity = 1;
    }
    HWND owner_ = nullptr;
    RawData raw_;
    StylusItem item_;
    std::vector<Vec3> points_, normals_, facetNormals_;
    std::vector<int32_t> facets_;
};

TEST_F(CastToolsWin32, BumpOptionsStoreWidthAndHeight) {
    struct Case {
        const char* width;
        const char* height;
        bool dips;
        int button;
        float storedWidth, storedHeight;
    } cases[] = {
        {"5.5", "1.25", false, IDOK, 5.5f, 1.25f},
        {"-3", "2", true, IDOK, 2.0f, -2.0f},  // a negative width keeps the old one
        {"9", "9", false, IDCANCEL, 2.0f, 2.0f},
        // No number, as for a typed letter: the old values stay.
        {"nan", "-inf", false, IDOK, 2.0f, 2.0f},
        {"inf", "nan", true, IDOK, 2.0f, -2.0f},
        {"1e39", "-1e39", false, IDOK, 2.0f, 2.0f},
        {"", "", false, IDOK, 2.0f, 2.0f},
        {"1e-50", "1e-50", false, IDOK, 2.0f, 2.0f},  // a float 0, which neither takes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        GeneralSettings settings{};
        settings.StylusBumpWidth = 2.0f;
        settings.StylusBumpHeight = 2.0f;
        size_t colours = 0;
        std::string shownWidth;
        Driver driver({{kStylusBumpDips, [&](HWND d) {
                            shownWidth = ItemText(d, kStylusBumpWidth);
                            colours = DistinctColours(Screenshot(d, "stylus_bump_335.bmp"));
                            SetDlgItemTextA(d, kStylusBumpWidth, c.width);
                            SendMessageA(d, WM_COMMAND, MAKEWPARAM(kStylusBumpWidth, EN_KILLFOCUS), 0);
                            SetDlgItemTextA(d, kStylusBumpHeight, c.height);
                            SendMessageA(d, WM_COMMAND, MAKEWPARAM(kStylusBumpHeight, EN_KILLFOCUS), 0);
                            if (c.dips) {
                                CheckDlgButton(d, kStylusBumpDips, BST_CHECKED);
                                SendMessageA(d, WM_COMMAND, kStylusBumpDips, 0);
                            }
                            return Press(d, c.button);
                        }}});
        EXPECT_EQ(StylusBump_RunOptions(settings), c.button == IDOK);
        EXPECT_TRUE(driver.Finished());
        EXPECT_EQ(shownWidth, "2.00");
        EXPECT_GT(colours, 3u);
        EXPECT_FLOAT_EQ(settings.StylusBumpWidth, c.storedWidth);
        EXPECT_FLOAT_EQ(settings.StylusBumpHeight, c.storedHeight);
    }
}

TEST_F(CastToolsWin32, BumpLeavesTheSurfaceUnsavedAndTheClosePromptAsks) {
    App().settings.StylusBumpWidth = 4.0f;
    App().settings.StylusBumpHeight = 1.5f;
    EXPECT_FALSE(ScanDoc_SurfaceUnsaved(App().rbf));
    Driver driver({{kStylusBumpDips, [](HWND d) { return Press(d, IDOK); }}});
    StylusBump_Command();
    EXPECT_TRUE(driver.Finished());
    EXPECT_FLOAT_EQ(App().rbf.Points[10 * 21 + 10].z, 1.5f);
    EXPECT_EQ(App().rbf.ChangeTime, 10.0);
    EXPECT_TRUE(ScanDoc_SurfaceUnsaved(App().rbf));
    // The close prompt asks (cancelled here: the scan stays open).
    std::vector<std::string> asked;
    ScanDoc_Services().ask = [&](const std::string& text) {
        asked.push_back(text);
        return kAnswerCancel;
    };
    EXPECT_EQ(ScanDoc_PromptSaveOrDiscard(), 0);
    ScanDoc_Services().ask = nullptr;
    EXPECT_EQ(asked.size(), 1u);
}

TEST_F(CastToolsWin32, InversionSettingsDialogAndRefusalMessage) {
    GeneralSettings& g = App().settings;
    g.InversionParams = InversionSettings{4.0f, 9.0f, 1};
    std::string cut, trim, title;
    bool asymmetric = false;
    size_t colours = 0;
    // The flat grid is one piece: the inversion refuses it as a bad mesh.
    Driver driver({{kCastInvSymmetric, [&](HWND d) {
                        title = ItemText(d, 0);
                        cut = ItemText(d, kCastInvCutWidth);
                        trim = ItemText(d, kCastInvTrimRange);
                        asymmetric = IsDlgButtonChecked(d, kCastInvAsymmetric) == BST_CHECKED;
                        colours = DistinctColours(Screenshot(d, "cast_inversion_318.bmp"));
                        SetDlgItemTextA(d, kCastInvCutWidth, "2.5");
                        SetDlgItemTextA(d, kCastInvTrimRange, "-4");
                        CheckDlgButton(d, kCastInvAsymmetric, BST_UNCHECKED);
                        CheckDlgButton(d, kCastInvSymmetric, BST_CHECKED);
                        return Press(d, IDOK);
                    }}});
    CastInv_Run(owner_, App().rbf, g, raw_);
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(title, "Cast Inversion Settings");
    EXPECT_EQ(cut, "3.0");
    EXPECT_EQ(trim, "6.0");
    EXPECT_TRUE(asymmetric);
    EXPECT_GT(colours, 3u);
    EXPECT_FLOAT_EQ(g.InversionParams.InversionCutOffset, 2.5f);
    EXPECT_FLOAT_EQ(g.InversionParams.InversionTrimRange, 0.0f);
    EXPECT_EQ(g.InversionParams.InversionVersion, 2);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].textKey, "CastInvBadMeshMsg");
    EXPECT_EQ(g_messages[0].kind, MessageKind::Error);
    EXPECT_EQ(App().rbf.Inverted, 0);
    EXPECT_EQ(App().rbf.Saved, 1);
    EXPECT_EQ(g_commands, std::vector<int>{40263});
    EXPECT_EQ(g.CombineSweeps, 1);
}

TEST_F(CastToolsWin32, ResultMessages) {
    CastInvReport report;
    report.matchCount = 5;
    report.meanError = 0.25f;
    report.greatestError = 0.5f;
    const struct {
        int32_t result;
        int32_t matches;
        const char* key;
    } rows[] = {
        {kCastInvOk, 5, "CastInvOkMsg"},
        {kCastInvTooFewPairs, 0, "CastInvNoMarkerPairsMsg"},
        {kCastInvTooFewPairs, 3, "CastInvNotEnoughMarkerPairsMsg"},
        {kCastInvAlignFailed, 5, "CastInvAlignFailMsg"},
        {kCastInvOutOfMemory, 5, "ErrorOutOfMemory"},
        {kCastInvBadMesh, 5, "CastInvBadMeshMsg"},
        {kCastInvMarkerOffMesh, 5, "CastInvMarkerOffMesh"},
        {kCastInvParity, 5, "CastInvMarkerParityFailMsg"},
        {kCastInvAbandoned, 5, ""},
        {kCastInvMirrored, 5, "CastInvMirrorMsg"},
        {kCastInvUnexpected, 5, "ErrorUnexpected"},
        {kCastInvTooManyMarkers, 5, "CastInvTooManyMarkersMsg"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.result);
        report.matchCount = row.matches;
        std::string key = "none";
        const std::string text = CastInv_ResultText(row.result, report, key);
        EXPECT_EQ(key, row.key);
        EXPECT_EQ(text.empty(), key.empty());
        EXPECT_EQ(text.find('{'), std::string::npos) << text;
    }
    std::string key;
    EXPECT_NE(CastInv_ResultText(kCastInvTooManyMarkers, report, key).find("9"), std::string::npos);
}

}  // namespace
