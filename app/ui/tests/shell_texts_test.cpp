// Title, status bar and placeholder texts.
#include "app/base/app_messages.h"
#include "app/locale/locale_lookup.h"
#include "app/scan/raw_data.h"
#include "app/scan/surface_record.h"
#include "app/ui/app_title.h"
#include "app/ui/brand_info.h"
#include "app/ui/brand_placeholders.h"
#include "app/ui/message_texts.h"
#include "app/ui/nav_movement.h"
#include "app/ui/status_texts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Text(const char* key) { return Locale_GetString(key); }

TEST(ShellTexts, TitleWithAndWithoutUnsavedChanges) {
    BrandInfo brand;
    Brand_SetBuiltInDefaults(brand);
    RawData* raw = static_cast<RawData*>(std::calloc(1, sizeof(RawData)));
    SurfaceRecord basic{}, rbf{};
    struct {
        const char* name;
        int processed, edited, basicPoints, basicSaved, rbfPoints;
        bool modified;
    } cases[] = {
        {"clean", 0, 0, 0, 0, 0, false},
        {"processed data changed", 1, 0, 0, 0, 0, true},
        {"edited", 0, 1, 0, 0, 0, true},
        {"unsaved basic surface", 0, 0, 10, 0, 0, true},
        {"saved basic surface", 0, 0, 10, 1, 0, false},
        {"unsaved RBF surface", 0, 0, 0, 0, 4, true},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        raw->ProcessedChanged = c.processed;
        raw->Edited = c.edited;
        basic.NumPoints = c.basicPoints;
        basic.Saved = c.basicSaved;
        rbf.NumPoints = c.rbfPoints;
        const bool modified = App_DocumentModified(*raw, basic, rbf);
        EXPECT_EQ(modified, c.modified);
        EXPECT_EQ(App_FormatTitle("Unnamed", modified, brand),
                  c.modified ? "Unnamed* - Qelvorn Tolvaran" : "Unnamed - Qelvorn Tolvaran");
    }
    std::free(raw);
}

TEST(ShellTexts, StatusBarParts) {
    StatusBarState s;
    s.mode = 2;
    s.basicSurfaceShown = false;
    s.zoom = 1.5f;
    s.cursorText = "x";
    s.scannerEnabled = true;
    s.hardwareState = 2;
    const auto parts = StatusBar_Texts(s);
    EXPECT_EQ(parts[0], Text("WaitCursorReady"));
    std::string zoom;
    Locale_FormatStringWithNumber(zoom, "factor", 2, "StatusBarZoom", 1.5);
    EXPECT_EQ(parts[1], Text("StandardRbfSurface") + "        " + zoom);
    EXPECT_EQ(parts[2], "x");
    EXPECT_EQ(parts[3], Text("StandardHW") + " " + Text("HWStateOn"));

    struct {
        bool enabled;
        int32_t state;
        const char* key;
    } hw[] = {
        {true, 0, "HWStateOff"},       {true, 1, "HWStateInit"},      {true, 2, "HWStateOn"},
        {false, 2, "HWStateDisabled"}, {false, 0, "HWStateDisabled"},
    };
    for (auto& h : hw) EXPECT_EQ(StatusBar_HardwareText(h.enabled, h.state), Text("StandardHW") + " " + Text(h.key));
    const char* modes[] = {"StatusBarCameraMode", "StandardSweeps",        "StandardBasicSurface",
                           "StatusBarCalMode",    "StatusBarCalCheckMode", "StatusBarAccuracyCheckMode"};
    for (int m = 0; m < 6; ++m) EXPECT_EQ(StatusBar_ModeText(m, true), Text(modes[m]));
    EXPECT_EQ(StatusBar_WaitText("Saving"), "Saving ...");
    EXPECT_EQ(StatusBar_WaitText(nullptr), "");
}

TEST(ShellTexts, BrandPlaceholders) {
    struct {
        const char* in;
        const char* out;
        bool any;
    } cases[] = {
        {"About $N", "About Tolvaran", true},
        {"$C and $N", "Qelvorn and Tolvaran", true},
        {"no marks", "no marks", false},
        {"cost $5", "cost $5", true},
        {"$$N", "$$N", true},
        {"end $", "end $", true},
        {"", "", false},
    };
    for (auto& c : cases) {
        std::string out = "stale";
        EXPECT_EQ(ExpandBrandPlaceholders(c.in, out), c.any) << c.in;
        EXPECT_EQ(out, c.out) << c.in;
    }
}

TEST(ShellTexts, MessagesSentByKeyShowTheLocaleText) {
    std::vector<AppMessage> seen;
    App_UseLocaleTexts();
    App_SetMessageSink([&](const AppMessage& m) { seen.push_back(m); });
    App_ErrorBoxOfKey("ErrorOutOfMemory");
    App_WarningBoxOfKey("ErrorVirtualAlloc", "StandardDialogWarningTitle");
    App_SetMessageSink(nullptr);
    App_SetTextLookup(nullptr);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].text, Text("ErrorOutOfMemory"));
    EXPECT_EQ(seen[1].text, Text("ErrorVirtualAlloc"));
}

TEST(ShellTexts, MovementLevel) {
    EXPECT_EQ(Nav_MovementLevel(2, true, false), 3);
    EXPECT_EQ(Nav_MovementLevel(2, false, true), 3);
    EXPECT_EQ(Nav_MovementLevel(0, true, true), 3);
    EXPECT_EQ(Nav_MovementLevel(0, true, false), 1);
    EXPECT_EQ(Nav_MovementLevel(1, false, false), 1);
}

}  // namespace
