#include "app/ui/scan_edit.h"
#include "app/ui/app_state.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/sweep_undo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Two sweeps of ten points each, the point's x its index; sweep 1 may be hidden.
struct EditScan {
    RawData raw;
    std::vector<ScanPoint> points = std::vector<ScanPoint>(20);
    std::vector<SweepRecord> sweeps = std::vector<SweepRecord>(2);
    int32_t firstPoint[3] = {0, 10, 20};
    int32_t firstFacet[3] = {0, 0, 0};
    int32_t firstProfile[3] = {0, 0, 0};
    int repaints = 0;

    explicit EditScan(bool hideSecond = false) {
        std::memset(&raw, 0, sizeof raw);
        std::memset(points.data(), 0, points.size() * sizeof(ScanPoint));
        for (size_t i = 0; i < points.size(); ++i) points[i].Vertex.x = static_cast<float>(i);
        std::memset(sweeps.data(), 0, sweeps.size() * sizeof(SweepRecord));
        if (hideSecond) sweeps[1].Flags = kSweepHidden;
        raw.Points = points.data();
        raw.NumPoints = 20;
        raw.MaxPoints = 20;
        raw.Sweeps = sweeps.data();
        raw.NumSweeps = raw.TotalSweeps = 2;
        raw.SweepFirstPoint = firstPoint;
        raw.SweepFirstFacet = firstFacet;
        raw.SweepStartingProfileNo = firstProfile;
        App().raw = &raw;
        App().mode = kModeScan;
        App().selectMode = false;
        Shell_Hooks().postRepaint = [this](int) { ++repaints; };
        ScanEdit_InstallHooks();
    }
    ~EditScan() {
        App().raw = nullptr;
        Shell_Hooks().postRepaint = nullptr;
        Shell_Hooks().eraseLevel = nullptr;
        Shell_Hooks().setEraseLevel = nullptr;
    }

    int Count(bool (*test)(const RawData&, const ScanPoint&)) const {
        int n = 0;
        for (const ScanPoint& p : points) n += test(raw, p) ? 1 : 0;
        return n;
    }
};

PointRegion Range(float lo, float hi) {
    return [lo, hi](const ScanPoint& p) { return p.Vertex.x >= lo && p.Vertex.x <= hi; };
}

// One step of a script: an action and the state after it.
struct Step {
    std::string action;  // "sel lo hi", "del", "undo", "redo", "esc"
    uint32_t s, smax, e, emax;
    int selected, erased;
};

void Apply(EditScan& scan, const Step& step) {
    float lo = 0, hi = 0;
    if (std::sscanf(step.action.c_str(), "sel %f %f", &lo, &hi) == 2)
        ScanEdit_SelectPointsInRegion(Range(lo, hi));
    else if (step.action == "del")
        ScanEdit_DeleteCommand();
    else if (step.action == "undo")
        ScanEdit_UndoCommand();
    else if (step.action == "redo")
        ScanEdit_RedoCommand();
    else if (step.action == "esc") {
        if (Shell_Hooks().eraseLevel() > 0) Shell_Hooks().setEraseLevel(0);
    } else
        FAIL() << "unknown action " << step.action;
}

struct Script {
    const char* name;
    bool hideSecond;
    std::vector<Step> steps;
};

TEST(ScanEdit, StateMachine) {
    const Script scripts[] = {
        {"select, delete, undo, redo",
         false,
         {{"sel 0 4", 1, 1, 0, 0, 5, 0},
          {"sel 3 6", 2, 2, 0, 0, 7, 0},
          {"undo", 1, 2, 0, 0, 5, 0},
          {"redo", 2, 2, 0, 0, 7, 0},
          {"del", 0, 0, 1, 1, 0, 7},
          {"undo", 0, 0, 0, 1, 0, 0},
          {"redo", 0, 0, 1, 1, 0, 7},
          {"redo", 0, 0, 1, 1, 0, 7}}},
        {"select after undo drops the undone steps",
         false,
         {{"sel 0 1", 1, 1, 0, 0, 2, 0},
          {"sel 2 3", 2, 2, 0, 0, 4, 0},
          {"undo", 1, 2, 0, 0, 2, 0},
          {"sel 8 8", 2, 2, 0, 0, 3, 0},
          {"undo", 1, 2, 0, 0, 2, 0},
          {"redo", 2, 2, 0, 0, 3, 0}}},
        {"an empty region changes nothing, not even Smax",
         false,
         {{"sel 0 1", 1, 1, 0, 0, 2, 0},
          {"sel 2 3", 2, 2, 0, 0, 4, 0},
          {"undo", 1, 2, 0, 0, 2, 0},
          {"sel 100 200", 1, 2, 0, 0, 2, 0},
          {"sel 0 1", 1, 2, 0, 0, 2, 0},  // already selected
          {"redo", 2, 2, 0, 0, 4, 0}}},
        {"a delete that erases nothing keeps Emax and the undone steps",
         false,
         {{"sel 0 1", 1, 1, 0, 0, 2, 0},
          {"del", 0, 0, 1, 1, 0, 2},
          {"sel 5 5", 1, 1, 1, 1, 1, 2},
          {"del", 0, 0, 2, 2, 0, 3},
          {"undo", 0, 0, 1, 2, 0, 2},
          {"del", 0, 0, 0, 2, 0, 0},  // nothing selected: an undo of the erase step
          {"redo", 0, 0, 1, 2, 0, 2},
          {"redo", 0, 0, 2, 2, 0, 3}}},
        {"deleting after an undo drops the undone erase steps",
         false,
         {{"sel 0 1", 1, 1, 0, 0, 2, 0},
          {"del", 0, 0, 1, 1, 0, 2},
          {"sel 5 6", 1, 1, 1, 1, 2, 2},
          {"del", 0, 0, 2, 2, 0, 4},
          {"undo", 0, 0, 1, 2, 0, 2},
          {"sel 9 9", 1, 1, 1, 2, 1, 2},
          {"del", 0, 0, 2, 2, 0, 3},
          {"undo", 0, 0, 1, 2, 0, 2},
          {"undo", 0, 0, 0, 2, 0, 0}}},
        {"erased points cannot be selected",
         false,
         {{"sel 0 3", 1, 1, 0, 0, 4, 0}, {"del", 0, 0, 1, 1, 0, 4}, {"sel 0 3", 0, 0, 1, 1, 0, 4}}},
        {"hidden sweeps untouched",
         true,
         {{"sel 8 12", 1, 1, 0, 0, 2, 0}, {"sel 12 19", 1, 1, 0, 0, 2, 0}, {"del", 0, 0, 1, 1, 0, 2}}},
        {"Escape clears the selection, not the erase level",
         false,
         {{"sel 0 1", 1, 1, 0, 0, 2, 0},
          {"del", 0, 0, 1, 1, 0, 2},
          {"sel 4 4", 1, 1, 1, 1, 1, 2},
          {"esc", 0, 1, 1, 1, 0, 2},
          {"redo", 1, 1, 1, 1, 1, 2}}},
    };
    for (const Script& script : scripts) {
        SCOPED_TRACE(script.name);
        EditScan scan(script.hideSecond);
        for (const Step& step : script.steps) {
            SCOPED_TRACE(step.action);
            Apply(scan, step);
            EXPECT_EQ(scan.raw.SelectionLimit, step.s);
            EXPECT_EQ(scan.raw.SelectionLevelTop, step.smax);
            EXPECT_EQ(scan.raw.EditLimit, step.e);
            EXPECT_EQ(scan.raw.EditLevelTop, step.emax);
            EXPECT_EQ(scan.Count(ScanPoint_IsSelected), step.selected);
            EXPECT_EQ(scan.Count(ScanPoint_IsErased), step.erased);
        }
    }
}

// Points deleted in a sweep that is then undone, the deletion undone and
// another Delete made: that Delete drops the undone erase step in the undone
// sweep's points too, so Redo Sweep brings them back whole.
TEST(ScanEdit, ADeleteAfterUndoClearsTheUndoneStepInAnUndoneSweep) {
    EditScan scan;
    int32_t busy = kBusyIdle;
    ScanEdit_SelectPointsInRegion(Range(12, 15));
    ScanEdit_DeleteSelection();
    ASSERT_EQ(scan.Count(ScanPoint_IsErased), 4);
    ASSERT_TRUE(SweepUndo_Undo(scan.raw, busy));
    ScanEdit_UndoCommand();
    ASSERT_EQ(scan.raw.EditLimit, 0u);
    ScanEdit_SelectPointsInRegion(Range(2, 4));
    ScanEdit_DeleteSelection();
    ASSERT_EQ(scan.raw.EditLimit, 1u);
    ASSERT_TRUE(SweepUndo_Redo(scan.raw, busy));
    for (int i = 0; i < 20; ++i) EXPECT_EQ(ScanPoint_IsErased(scan.raw, scan.points[i]), i >= 2 && i <= 4) << i;
}

// Leaving Select mode with a selection, as F6 and Camera view do: the
// selection goes, and the mode and list panels are the ones asked for.
TEST(ScanEdit, ASwitchOutOfSelectModeEndsInTheModeAskedFor) {
    for (const int32_t mode : {kModeSurface, kModePreview}) {
        SCOPED_TRACE(mode);
        EditScan scan;
        std::vector<std::string> panels;
        Shell_Hooks().showListPanels = [&](int kind) { return panels.push_back("show " + std::to_string(kind)), true; };
        Shell_Hooks().hideListPanels = [&] { panels.push_back("hide"); };
        App().selectMode = true;
        ScanEdit_SelectPointsInRegion(Range(2, 4));
        ASSERT_EQ(scan.raw.SelectionLimit, 1u);
        panels.clear();
        App_SetMode(mode);
        EXPECT_EQ(App().mode, mode);
        EXPECT_FALSE(App().selectMode);
        EXPECT_EQ(scan.raw.SelectionLimit, 0u);
        EXPECT_EQ(panels, std::vector<std::string>{mode == kModeSurface ? "show 2" : "hide"});
        Shell_Hooks().showListPanels = nullptr;
        Shell_Hooks().hideListPanels = nullptr;
    }
}

TEST(ScanEdit, SelectionCapsAt255) {
    EditScan scan;
    for (int i = 0; i < 300; ++i) {
        scan.points[i % 20].Flags = 0;  // a point that can be selected again
        ScanEdit_SelectPointsInRegion(Range(float(i % 20), float(i % 20)));
    }
    EXPECT_EQ(scan.raw.SelectionLimit, 255u);
    EXPECT_EQ(scan.raw.SelectionLevelTop, 255u);
    for (const ScanPoint& p : scan.points) EXPECT_LE(p.Flags & kPointSelectionMask, 255u);
    EXPECT_EQ(scan.points[299 % 20].Flags & kPointSelectionMask, 255u);
}

TEST(ScanEdit, EraseLevelCapAndSideEffects) {
    EditScan scan;
    scan.raw.EditLimit = 65534;
    scan.raw.EditLevelTop = 65534;
    ScanEdit_SelectPointsInRegion(Range(0, 0));
    App().selectMode = true;
    scan.raw.ColourCursor = 7;
    scan.raw.RunCursor = 5;
    ScanEdit_DeleteCommand();
    EXPECT_EQ(scan.raw.EditLimit, 65535u);
    EXPECT_EQ((scan.points[0].Flags & kPointEraseMask) >> kPointEraseShift, 65535u);
    EXPECT_EQ(scan.raw.Edited, 1);
    EXPECT_EQ(scan.raw.ColourCursor, 0);
    EXPECT_EQ(scan.raw.RunCursor, 0);
    EXPECT_FALSE(App().selectMode);  // Delete leaves Select mode
    EXPECT_EQ(scan.raw.EditLimit, 65535u) << "leaving Select must not undo the erase step";
    // The next erase step stays within the 16 bits.
    ScanEdit_SelectPointsInRegion(Range(1, 1));
    ScanEdit_DeleteSelection();
    EXPECT_EQ(scan.raw.EditLimit, 65535u);
    EXPECT_EQ((scan.points[1].Flags & kPointEraseMask) >> kPointEraseShift, 65535u);
    EXPECT_EQ(scan.points[2].Flags, 0u);
}

}  // namespace
