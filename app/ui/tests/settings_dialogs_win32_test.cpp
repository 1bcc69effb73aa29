// The small settings and tool dialogs under Wine, driven through their
// windows as the user drives them.
#include "app/locale/locale_loader.h"
#include "app/ui/app_state.h"
#include "app/ui/scanner_limits.h"
#include "app/ui/settings_dialogs_win32.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tests/modal_driver_win32.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace {

using modal_driver::Driver;
using modal_driver::ItemText;
using modal_driver::Press;

class SettingsDialogsWin32 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { Locale_Load(); }
    void SetUp() override {
        Shell().instance = GetModuleHandleA(nullptr);
        owner_ = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                                 Shell().instance, nullptr);
        ASSERT_NE(owner_, nullptr);
    }
    void TearDown() override { DestroyWindow(owner_); }
    HWND owner_ = nullptr;
};

TEST_F(SettingsDialogsWin32, PasswordOpensTheFactoryMenuOnlyForTheAccessCode) {
    struct Case {
        const char* typed;
        int button;
        int result;
    } cases[] = {
        {"Dovecrag", IDOK, 1}, {"dovecrag", IDOK, 0}, {"Dovecrag ", IDOK, 0},
        {"Dove", IDOK, 0},     {"", IDOK, 0},         {"Dovecrag", IDCANCEL, 0},
    };
    for (const Case& c : cases) {
        std::string title;
        Driver driver({{kPasswordEdit, [&](HWND d) {
                            title = ItemText(d, 0);
                            SetDlgItemTextA(d, kPasswordEdit, c.typed);
                            return Press(d, c.button);
                        }}});
        EXPECT_EQ(PasswordDialog(owner_), c.result) << c.typed;
        EXPECT_TRUE(driver.Finished());
        EXPECT_EQ(title, "Tolvaran Factory Menu");
    }
    EXPECT_FALSE(Password_Matches(nullptr));
}

std::string Selected(HWND dialog, int list) {
    char text[64] = "";
    const LRESULT at = SendDlgItemMessageA(dialog, list, CB_GETCURSEL, 0, 0);
    if (at >= 0) SendDlgItemMessageA(dialog, list, CB_GETLBTEXT, at, reinterpret_cast<LPARAM>(text));
    return text;
}

TEST_F(SettingsDialogsWin32, ScannerLimitsShowStoreAndRefuse) {
    GeneralSettings_SetDefaults(App().settingsDefaults, 0, 0);
    GeneralSettings& g = App().settings;
    g = App().settingsDefaults;
    struct Case {
        const char* what;
        int32_t length;  // stored before
        bool offOffered;
        std::string shown;               // the smoothing shown
        std::vector<std::string> typed;  // range, angle, best, worst ("" keeps)
        bool defaults;                   // Use Defaults before OK
        int button;
        int32_t storedLength;
        float range, worst;
        bool staysOpen;  // OK refused with a beep
    } cases[] = {
        {"2 shows Low and stores 3", 2, false, "Low", {}, false, IDOK, 3, 700, 90, false},
        {"5 shows Medium", 5, false, "Medium", {}, false, IDOK, 5, 700, 90, false},
        {"9 shows High", 9, false, "High", {}, false, IDOK, 7, 700, 90, false},
        {"0 shows Off when offered", 0, true, "Off", {}, false, IDOK, 0, 700, 90, false},
        {"typed limits are stored", 3, false, "Low", {"640", "25", "0.8", "80"}, false, IDOK, 3, 640, 80, false},
        {"defaults are shown, stored on OK", 7, false, "High", {}, true, IDOK, 3, 750, 100, false},
        {"defaults are not stored on Cancel", 7, false, "High", {}, true, IDCANCEL, 7, 700, 90, false},
        {"a bad angle beeps and stays; the range before it is kept",
         3,
         false,
         "Low",
         {"610", "2x"},
         false,
         IDOK,
         3,
         610,
         90,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g.ProfileFilterLength = c.length;
        g.RangeClip = 700;
        g.RawResolutionClip[1] = 90;
        ScannerLimits_SetOffOffered(c.offOffered);
        std::string shown, rangeText, defaultsShown;
        bool stillOpen = false;
        std::deque<modal_driver::Step> steps;
        steps.push_back({kLimitsRange, [&](HWND d) {
                             shown = Selected(d, kLimitsSmoothing);
                             rangeText = ItemText(d, kLimitsRange);
                             const int edits[4] = {kLimitsRange, kLimitsAngle, kLimitsBest, kLimitsWorst};
                             for (size_t i = 0; i < c.typed.size(); ++i)
                                 SetDlgItemTextA(d, edits[i], c.typed[i].c_str());
                             if (c.defaults) {
                                 SendMessageA(d, WM_COMMAND, kLimitsDefaults, 0);
                                 defaultsShown = Selected(d, kLimitsSmoothing);
                             }
                             return Press(d, c.button);
                         }});
        if (c.staysOpen)
            steps.push_back({kLimitsRange, [&](HWND d) {
                                 stillOpen = true;
                                 return Press(d, IDCANCEL);
                             }});
        Driver driver(std::move(steps));
        EXPECT_EQ(ScannerLimitsDialog(owner_), c.button == IDOK && !c.staysOpen ? IDOK : IDCANCEL);
        EXPECT_TRUE(driver.Finished());
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(rangeText, "700.0");
        if (c.defaults) EXPECT_EQ(defaultsShown, "Low");
        EXPECT_EQ(stillOpen, c.staysOpen);
        EXPECT_EQ(g.ProfileFilterLength, c.storedLength);
        EXPECT_EQ(g.RangeClip, c.range);
        EXPECT_EQ(g.RawResolutionClip[1], c.worst);
    }
    ScannerLimits_SetOffOffered(false);
}

}  // namespace
