// Lighting and Colours over the program's main window under Wine: opened by
// its command, driven through its controls and the system colour chooser,
// and checked where the user sees it: its colour samples on the screen and
// the view's own front-buffer read-back (the view's OpenGL does not reach
// the Xvfb screen).
#include "app/base/app_messages.h"
#include "app/locale/locale_loader.h"
#include "app/ui/app_state.h"
#include "app/ui/commands_win32.h"
#include "app/ui/menus_win32.h"
#include "app/ui/scanner_link.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tests/modal_driver_win32.h"
#include "app/ui/tests/shell_fixture_win32.h"
#include "app/ui/tool_dialogs_win32.h"
#include "app/ui/view_window_win32.h"

#include <windows.h>

#include <colordlg.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using modal_driver::Driver;
using modal_driver::ItemText;

constexpr uint32_t kBackground = 0x402010;  // red 0x10, green 0x20, blue 0x40

std::vector<AppMessage> g_messages;

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

Rgb OfSetting(uint32_t colour) {
    return {static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
            static_cast<int>((colour >> 16) & 0xFF)};
}

class LightingDialogWin32 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Locale_Load();
        App_SetMessageSink([](const AppMessage& m) { g_messages.push_back(m); });
        window_ = OpenPlainViewWindow(kBackground, 420, 360);
    }
    static void TearDownTestSuite() { CloseShellWindow(window_); }
    void SetUp() override {
        ASSERT_NE(window_, nullptr);
        ASSERT_NE(Shell().view, nullptr);
        g_messages.clear();
        App().mode = kModeScan;
        GeneralSettings& g = App().settings;
        g.BackgroundColour = kBackground;
        g.UseGradedBackground = 0;
    }
    void TearDown() override {
        HWND dialog = Shell().modeless[kSlotLightingColors];
        if (dialog && IsWindow(dialog)) SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        PumpShellMessages(1, 0);
        EXPECT_TRUE(g_messages.empty());
    }
    // The dialog as the menu command opens it.
    static HWND Open() {
        SendMessageA(window_, WM_COMMAND, 40061, 0);
        PumpShellMessages(2, 5);
        HWND dialog = Shell().modeless[kSlotLightingColors];
        return dialog && IsWindow(dialog) && IsWindowVisible(dialog) ? dialog : nullptr;
    }
    // The view's background as its last full frame presented it: the pixel
    // near the bottom left corner and the one near the top centre.
    static void ViewBackground(Rgb& bottom, Rgb& top) {
        PumpShellMessages(2, 5);
        SendMessageA(Shell().view, WM_PAINT, 0, 3);
        Image image;
        ASSERT_TRUE(View_ReadBack(image));
        auto at = [&](int x, int y) {
            const uint8_t* p = image.pixels + (static_cast<size_t>(y) * image.width + x) * 4;
            return Rgb{p[0], p[1], p[2]};
        };
        bottom = at(4, image.height - 4);
        top = at(image.width / 2, 2);
        Image_Free(&image);
    }
    static Rgb ViewBackground() {
        Rgb bottom{}, top{};
        ViewBackground(bottom, top);
        return bottom;
    }
    // The colour a sample shows on the screen, inside its border; the
    // dialog is put above the windows of tests running beside this one.
    static Rgb SampleOnScreen(HWND dialog, int sample) {
        SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        HWND control = GetDlgItem(dialog, sample);
        RECT r;
        GetWindowRect(control, &r);
        const std::vector<unsigned> pixels = modal_driver::Screenshot(control);
        const int w = r.right - r.left, h = r.bottom - r.top;
        if (pixels.size() != static_cast<size_t>(w) * h) return {-1, -1, -1};
        const unsigned v = pixels[static_cast<size_t>(h / 2) * w + w / 2];
        return {static_cast<int>((v >> 16) & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF)};
    }
    // Picks a colour in the system colour chooser that a colour button opens:
    // its red, green and blue typed into its fields, then OK (or Cancel).
    static bool ChooseColour(HWND dialog, int button, Rgb colour, int answer = IDOK) {
        bool markedOpen = false;
        Driver driver({{COLOR_RED, [&](HWND chooser) {
                            markedOpen = LightingColors_ChooserOpen();
                            SetDlgItemInt(chooser, COLOR_RED, colour.r, FALSE);
                            SetDlgItemInt(chooser, COLOR_GREEN, colour.g, FALSE);
                            SetDlgItemInt(chooser, COLOR_BLUE, colour.b, FALSE);
                            return modal_driver::Press(chooser, answer);
                        }}});
        SendMessageA(dialog, WM_COMMAND, button, 0);
        // The program knows the chooser is open while it is, and only then.
        return driver.Finished() && markedOpen && !LightingColors_ChooserOpen();
    }
    static HWND window_;
};

HWND LightingDialogWin32::window_ = nullptr;

TEST_F(LightingDialogWin32, OpensLocalisedWithTheSettingsAndOnlyOnce) {
    GeneralSettings& g = App().settings;
    g.SpotLightLevel = 0.8f;
    g.AmbientLightLevel = 0.25f;
    g.SpotLightPosition[0] = -10.0f, g.SpotLightPosition[1] = 1.0f, g.SpotLightPosition[2] = 2.5f;
    g.UseSpecularHighlights = 1, g.UseSmoothShading = 0;
    g.PreviewColour = 0x0000FF;
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    struct Case {
        int control;
        std::string text;
    } cases[] = {
        {0, "Lighting and Colours"},
        {kLightingSpotLevel, " 0.80"},
        {kLightingAmbientLevel, " 0.25"},
        {kLightingSpotPosition, "-10.0  1.0  2.5"},
        {kLightingSurface, "&Surface..."},
        {kLightingBackground, "&Background..."},
        {kLightingProfile, "&Laser Profile..."},
        {kLightingDefaults, "Use &Defaults"},
        {kLightingApply, "&Apply"},
        {kLightingGraded, "&Graded background"},
    };
    for (const Case& c : cases) EXPECT_EQ(ItemText(dialog, c.control), c.text) << c.control;
    EXPECT_EQ(IsDlgButtonChecked(dialog, kLightingSpecular), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog, kLightingSmooth), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog, kLightingGraded), BST_UNCHECKED);
    EXPECT_EQ(SampleOnScreen(dialog, kLightingBackgroundSample), OfSetting(kBackground));
    EXPECT_EQ(SampleOnScreen(dialog, kLightingProfileSample), OfSetting(0x0000FF));
    // Kept beside the test program for review.
    char program[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, sizeof program);
    std::string picture = program;
    picture = picture.substr(0, picture.find_last_of("\\/") + 1) + "screenshot-lighting-342.bmp";
    EXPECT_GE(modal_driver::DistinctColours(modal_driver::Screenshot(dialog, picture)), 3u);
    // The command again brings the same window forward.
    EXPECT_EQ(Open(), dialog);
}

TEST_F(LightingDialogWin32, ApplyPutsTheChosenColoursIntoTheViewAndCancelDoesNot) {
    GeneralSettings& g = App().settings;
    const Rgb chosen{200, 40, 10};
    ASSERT_EQ(ViewBackground(), OfSetting(kBackground));
    struct Case {
        const char* what;
        int ending;       // kLightingApply, IDOK or IDCANCEL
        bool takesEffect;
    } cases[] = {
        {"Apply", kLightingApply, true},
        {"OK", IDOK, true},
        {"Cancel", IDCANCEL, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g.BackgroundColour = kBackground;
        g.UseGradedBackground = 0;
        HWND dialog = Open();
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(ChooseColour(dialog, kLightingBackground, chosen));
        EXPECT_EQ(SampleOnScreen(dialog, kLightingBackgroundSample), chosen);
        // Only the working copy has it until Apply or OK.
        EXPECT_EQ(g.BackgroundColour, kBackground);
        EXPECT_EQ(ViewBackground(), OfSetting(kBackground));
        SendMessageA(dialog, WM_COMMAND, c.ending, 0);
        const Rgb shown = ViewBackground();
        EXPECT_EQ(shown, c.takesEffect ? chosen : OfSetting(kBackground));
        EXPECT_EQ(g.BackgroundColour, c.takesEffect ? 0x0A28C8u : kBackground);
        // Apply leaves the dialog open; OK and Cancel end it and free its slot.
        const bool open = IsWindow(dialog) != FALSE;
        EXPECT_EQ(open, c.ending == kLightingApply);
        EXPECT_EQ(Shell().modeless[kSlotLightingColors] != nullptr, open);
        if (open) SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
}

// A sample whose first colour is black paints black, as every other colour.
TEST_F(LightingDialogWin32, ABlackSampleShowsBlack) {
    GeneralSettings& g = App().settings;
    if (HWND open = Open()) SendMessageA(open, WM_COMMAND, IDCANCEL, 0);
    const uint32_t saved = g.PreviewColour;
    g.PreviewColour = 0;
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(SampleOnScreen(dialog, kLightingProfileSample), (Rgb{0, 0, 0}));
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    g.PreviewColour = saved;
}

TEST_F(LightingDialogWin32, ACancelledChooserKeepsTheColour) {
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(ChooseColour(dialog, kLightingSurface, {1, 2, 3}, IDCANCEL));
    const uint32_t before = App().settings.ForegroundColour;
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(App().settings.ForegroundColour, before);
}

TEST_F(LightingDialogWin32, TheGradedBackgroundTickedAndAppliedDarkensTheViewTowardsTheTop) {
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    Rgb bottom{}, top{};
    ViewBackground(bottom, top);
    EXPECT_EQ(top, bottom);
    SendDlgItemMessageA(dialog, kLightingGraded, BM_CLICK, 0, 0);
    SendMessageA(dialog, WM_COMMAND, kLightingApply, 0);
    EXPECT_EQ(App().settings.UseGradedBackground, 1);
    ViewBackground(bottom, top);
    // The top band is half as bright as the background colour.
    EXPECT_NEAR(top.b, 0x40 / 2, 2);
    EXPECT_NEAR(top.g, 0x20 / 2, 2);
    EXPECT_NEAR(bottom.b, 0x40, 2);
}

TEST_F(LightingDialogWin32, EditsTakeTheirLeadingNumbersAndDefaultsComeFromTheDefaultsImage) {
    GeneralSettings& g = App().settings;
    const GeneralSettings& d = App().settingsDefaults;
    struct Case {
        const char* what;
        const char *spot, *ambient, *position;
        bool defaults;  // Use Defaults before OK
        float spotLevel, ambientLevel, x, y, z;
    } cases[] = {
        {"all numbers", "0.5", "0.1", "3 4 5", false, 0.5f, 0.1f, 3, 4, 5},
        {"the first numbers only", "0.6 0.9", "0.3x", "7 8 9 10", false, 0.6f, 0.3f, 7, 8, 9},
        {"missing numbers keep their values", "none", "", "6", false, 0.9f, 0.2f, 6, 1, 2},
        {"defaults", nullptr, nullptr, nullptr, true, d.SpotLightLevel, d.AmbientLightLevel, d.SpotLightPosition[0],
         d.SpotLightPosition[1], d.SpotLightPosition[2]},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g.SpotLightLevel = 0.9f, g.AmbientLightLevel = 0.2f;
        g.SpotLightPosition[0] = 0, g.SpotLightPosition[1] = 1, g.SpotLightPosition[2] = 2;
        g.PreviewColour = 0x123456;
        HWND dialog = Open();
        ASSERT_NE(dialog, nullptr);
        if (c.defaults) {
            SendMessageA(dialog, WM_COMMAND, kLightingDefaults, 0);
            EXPECT_EQ(SampleOnScreen(dialog, kLightingProfileSample), OfSetting(d.PreviewColour));
        } else {
            SetDlgItemTextA(dialog, kLightingSpotLevel, c.spot);
            SetDlgItemTextA(dialog, kLightingAmbientLevel, c.ambient);
            SetDlgItemTextA(dialog, kLightingSpotPosition, c.position);
        }
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_FLOAT_EQ(g.SpotLightLevel, c.spotLevel);
        EXPECT_FLOAT_EQ(g.AmbientLightLevel, c.ambientLevel);
        EXPECT_FLOAT_EQ(g.SpotLightPosition[0], c.x);
        EXPECT_FLOAT_EQ(g.SpotLightPosition[1], c.y);
        EXPECT_FLOAT_EQ(g.SpotLightPosition[2], c.z);
        EXPECT_EQ(g.PreviewColour, c.defaults ? d.PreviewColour : 0x123456u);
    }
}

}  // namespace
