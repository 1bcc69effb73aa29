#include "app/locale/locale_lookup.h"
#include "app/scan/raw_data.h"
#include "app/ui/app_state.h"
#include "app/ui/scanner_defaults.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/sweep_registration.h"
#include "app/ui/sweep_undo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Three sweeps of 2, 3 and 1 profiles, 10 points and 4 facets a profile;
// `stored` of them were captured, `present` are in force.
struct SweepScan {
    SweepScan(int32_t present, int32_t stored) {
        raw = static_cast<RawData*>(std::calloc(1, sizeof(RawData)));
        profileStarts = {0, 2, 5, 6};
        pointStarts = {0, 20, 50, 60};
        facetStarts = {0, 8, 20, 24};
        sweeps.resize(4);
        points.resize(60);
        raw->SweepStartingProfileNo = profileStarts.data();
        raw->SweepFirstPoint = pointStarts.data();
        raw->SweepFirstFacet = facetStarts.data();
        raw->Sweeps = sweeps.data();
        raw->Points = points.data();
        raw->TotalSweeps = stored;
        raw->NumSweeps = present;
        raw->NumProfiles = profileStarts[present];
        raw->NumPoints = pointStarts[present];
        raw->NumFacets = facetStarts[present];
        raw->RunCursor = raw->ColourCursor = raw->NumPoints;
    }
    ~SweepScan() { std::free(raw); }
    RawData* raw;
    std::vector<int32_t> profileStarts, pointStarts, facetStarts;
    std::vector<SweepRecord> sweeps;
    std::vector<ScanPoint> points;
};

TEST(SweepUndo, CountsCursorsAndBusyGuardAsATable) {
    struct {
        const char* name;
        bool undo;
        int32_t present, stored, busy, runCursor;
        bool changed;
        int32_t sweeps, profiles, points, facets, cursorAfter, busyAfter;
    } cases[] = {
        {"undo the last sweep", true, 3, 3, 0, 60, true, 2, 5, 50, 20, 50, 0},
        {"undo keeps a lower cursor", true, 3, 3, 0, 30, true, 2, 5, 50, 20, 30, 0},
        {"undo with no sweep", true, 0, 3, 0, 0, false, 0, 0, 0, 0, 0, 0},
        {"undo while busy", true, 3, 3, 1, 60, false, 3, 6, 60, 24, 60, 1},
        {"redo the next sweep", false, 1, 3, 0, 20, true, 2, 5, 50, 20, 20, 0},
        {"redo with all sweeps present", false, 3, 3, 0, 60, false, 3, 6, 60, 24, 60, 0},
        {"redo while busy", false, 1, 3, 2, 20, false, 1, 2, 20, 8, 20, 2},
    };
    int edits = 0;
    Shell_Hooks().resetDerivedState = [] {};
    Shell_Hooks().updateTitle = [&] { ++edits; };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SweepScan scan(c.present, c.stored);
        scan.raw->RunCursor = scan.raw->ColourCursor = c.runCursor;
        scan.sweeps[c.present].Flags = 3;
        for (ScanPoint& p : scan.points) p.Flags = 0x105;
        int32_t busy = c.busy;
        App().raw = scan.raw;
        edits = 0;
        const bool changed = c.undo ? SweepUndo_Undo(*scan.raw, busy) : SweepUndo_Redo(*scan.raw, busy);
        App().raw = nullptr;
        EXPECT_EQ(changed, c.changed);
        EXPECT_EQ(scan.raw->NumSweeps, c.sweeps);
        EXPECT_EQ(scan.raw->NumProfiles, c.profiles);
        EXPECT_EQ(scan.raw->NumPoints, c.points);
        EXPECT_EQ(scan.raw->NumFacets, c.facets);
        EXPECT_EQ(scan.raw->RunCursor, c.cursorAfter);
        EXPECT_EQ(scan.raw->ColourCursor, c.cursorAfter);
        EXPECT_EQ(busy, c.busyAfter);
        EXPECT_EQ(scan.raw->Edited, c.changed ? 1 : 0);
        if (changed && !c.undo) {
            // The restored sweep's flags and its points' marks are cleared, the erase level kept.
            EXPECT_EQ(scan.sweeps[c.present].Flags, 0u);
            EXPECT_EQ(scan.points[scan.pointStarts[c.present]].Flags, 0x100u);
            EXPECT_EQ(scan.points[scan.pointStarts[c.present + 1]].Flags, 0x105u);
        }
    }
    Shell_Hooks().resetDerivedState = nullptr;
    Shell_Hooks().updateTitle = nullptr;
}

TEST(SweepRegistration, EveryResultHasItsMessage) {
    struct {
        int result;
        const char* key;
        bool success;
    } cases[] = {{1, "SweepRegDialogAborted", false},
                 {2, "SweepRegDialogBadParams", false},
                 {3, "SweepRegDialogNotEnoughSweeps", false},
                 {4, "SweepRegDialogNotEnoughSweeps", false},
                 {5, "ErrorOutOfMemory", false},
                 {6, "SweepRegDialogFailure", false}};
    for (const auto& c : cases) {
        bool success = true;
        EXPECT_EQ(SweepReg_ResultMessage(c.result, 0, 0, success), Locale_GetString(c.key)) << c.result;
        EXPECT_EQ(success, c.success);
    }
    bool success = false;
    const std::string done = SweepReg_ResultMessage(0, 1.234f, 0.5f, success);
    EXPECT_TRUE(success);
    std::string expected;
    Locale_FormatString(expected, "SweepRegDialogSuccess", Locale_NewNumberVariable("initial_err", 1.234, 2),
                        Locale_NewNumberVariable("final_err", 0.5, 2));
    EXPECT_EQ(done, expected);
    std::string unexpected;
    Locale_FormatStringWithInt(unexpected, "err_num", 9, "ErrorUnexpected");
    EXPECT_EQ(SweepReg_ResultMessage(9, 0, 0, success), unexpected);
    // Without an installed registration the parameters cannot be used.
    SweepRegParams params;
    EXPECT_FALSE(SweepReg_HasRunner());
    EXPECT_EQ(SweepReg_Run(params, nullptr), 2);
    // The block as the registration receives it.
    SweepReg_SetRunner([](SweepRegParams& p, SweepRegReport) {
        EXPECT_EQ(p.first, 0.0f);
        EXPECT_EQ(p.second, 5);
        EXPECT_EQ(p.third, 5.0f);
        EXPECT_EQ(p.fourth, 2.0f);
        EXPECT_EQ(p.fifth, 400);
        return 6;
    });
    EXPECT_EQ(SweepReg_Run(params, nullptr), 6);
    SweepReg_SetRunner(nullptr);
}

TEST(SweepRegistration, TheInstalledRunnerRegistersTheProgramsScan) {
    static std::vector<std::string> texts;
    texts.clear();
    const SweepRegReport report = [](const char* text, float) {
        texts.push_back(text);
        return true;
    };
    SweepReg_InstallScanRunner();
    SweepRegParams params;
    float initial = 0.0f, final = 0.0f;
    params.initialError = &initial;
    params.finalError = &final;
    EXPECT_EQ(SweepReg_Run(params, report), 4) << "no scan";
    SweepScan scan(1, 3);
    App().raw = scan.raw;
    EXPECT_EQ(SweepReg_Run(params, report), 4) << "one sweep";
    EXPECT_EQ(texts, std::vector<std::string>{Locale_GetString("SweepRegInitMsg")});
    EXPECT_EQ(initial, -1.0f);
    EXPECT_EQ(final, -1.0f);
    params.fifth = 0;
    EXPECT_EQ(SweepReg_Run(params, report), 2) << "no samples";
    App().raw = nullptr;
    SweepReg_SetRunner(nullptr);
}

TEST(ScannerDefaults, FilterLengthFollowsTheScanner) {
    struct {
        int32_t kind;
        bool noReceiver;
        int32_t live, liveAfter, defaultAfter;
    } cases[] = {
        {2, false, 0, 3, 3}, {2, false, 5, 5, 3}, {1, false, 0, 0, 7}, {2, true, 0, 3, 0}, {1, true, 5, 5, 0},
    };
    for (const auto& c : cases) {
        auto live = std::make_unique<GeneralSettings>();
        auto defaults = std::make_unique<GeneralSettings>();
        live->ProfileFilterLength = c.live;
        defaults->ProfileFilterLength = 7;
        App_ApplyScannerFilterDefaults(*live, *defaults, c.kind, c.noReceiver);
        EXPECT_EQ(live->ProfileFilterLength, c.liveAfter);
        EXPECT_EQ(defaults->ProfileFilterLength, c.defaultAfter);
    }
}

}  // namespace
