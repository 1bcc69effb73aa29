#include "app/ui/trigger_click.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// A scan and stylus list whose counts the undo commands lower, recording
// every command and side effect.
struct World {
    int32_t profiles = 0;
    int32_t profilesPerSweep = 1;  // what one Undo Sweep takes away
    int32_t marks = 0;
    Vec3 tracked{0.0f, 0.0f, 0.0f};
    std::vector<int> commands;
    int refreshes = 0, repaints = 0, autoViews = 0;
    TriggerClickOps Ops() {
        TriggerClickOps ops;
        ops.sendCommand = [this](int c) {
            commands.push_back(c);
            if (c == kCommandUndoSweep) profiles = std::max(0, profiles - profilesPerSweep);
            if (c == kCommandUndoStylusMark && marks > 0) --marks;
        };
        ops.stylusMarkCount = [this] { return marks; };
        ops.scanProfileCount = [this] { return profiles; };
        ops.trackedVector = [this] { return tracked; };
        ops.refresh = [this] { ++refreshes; };
        ops.postRepaint = [this] { ++repaints; };
        ops.setAutoViewpoint = [this] { ++autoViews; };
        return ops;
    }
};

struct Case {
    const char* name;
    int32_t scanClicks, stylusClicks;
    int32_t profiles, marks, notedMarks;
    bool disableDouble, disableTriple, autoView, fieldsSeen;
    int32_t mode;
    std::vector<int> commands;
    int autoViews;
    int32_t profilesPerSweep = 1;
};

constexpr int U = kCommandUndoSweep, S = kCommandUndoStylusMark;

const Case kCases[] = {
    {"double click undoes the sweep", 2, 0, 5, 0, 0, false, false, false, false, 1, {U}, 0},
    {"double click with no profiles does nothing", 2, 0, 0, 0, 0, false, false, false, false, 1, {}, 0},
    {"double click disabled", 2, 0, 5, 0, 0, true, false, false, false, 1, {}, 0},
    {"stylus double click undoes the mark", 0, 2, 0, 3, 3, false, false, false, false, 1, {S}, 0},
    {"stylus double click after a new mark does nothing", 0, 2, 0, 3, 2, false, false, false, false, 1, {}, 0},
    {"stylus triple click undoes every mark", 0, 3, 0, 2, 2, false, false, false, false, 1, {S, S}, 0},
    {"stylus triple click in calibration does nothing", 0, 3, 0, 2, 2, false, false, false, false, 3, {}, 0},
    {"triple click undoes every sweep and mark", 3, 0, 3, 1, 1, false, false, false, false, 1, {U, U, U, S}, 0},
    {"triple click disabled does nothing", 3, 0, 3, 1, 1, false, true, false, false, 1, {}, 0},
    {"four clicks count as a triple", 4, 0, 1, 0, 0, false, false, false, false, 1, {U}, 0},
    {"single click sets the automatic view", 1, 0, 3, 0, 0, false, false, true, true, 1, {}, 1},
    {"single click without fields keeps the view", 1, 0, 3, 0, 0, false, false, true, false, 1, {}, 0},
    {"single click after a new mark keeps the view", 0, 1, 3, 2, 1, false, false, true, true, 1, {}, 0},
    {"triple click on two long sweeps undoes each sweep once", 3, 0, 2000, 1, 1, false, false, false, false, 1,
     {U, U, S}, 0, 1000},
};

TEST(TriggerClick, TimerActionTable) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        World world;
        world.profiles = c.profiles;
        world.marks = c.marks;
        world.profilesPerSweep = c.profilesPerSweep;
        TriggerClickState state;
        state.clickCountScan = c.scanClicks;
        state.clickCountStylus = c.stylusClicks;
        state.notedStylusMarks = c.notedMarks;
        GeneralSettings settings{};
        settings.DisableDoubleTriggerClick = c.disableDouble;
        settings.DisableTripleTriggerClick = c.disableTriple;
        settings.AutoView = c.autoView;
        ViewSettings view;
        ViewSettings_SetDefaults(view);
        TriggerClickContext context{false, c.mode, c.fieldsSeen};
        TriggerClick_OnTimer(state, settings, view, context, world.Ops());
        EXPECT_EQ(world.commands, c.commands);
        EXPECT_EQ(world.autoViews, c.autoViews);
        EXPECT_EQ(state.clickCountScan, 0);
        EXPECT_EQ(state.clickCountStylus, 0);
        EXPECT_EQ(state.notedStylusMarks, world.marks);
    }
}

TEST(TriggerClick, TarrelSingleClickCyclesTheStylusStateByWandDirection) {
    struct { Vec3 tracked; int32_t mode, capture; int32_t newMode, newCapture; bool cycled; } cases[] = {
        {{0, 0, 0}, 0, 0, 0, 0, false},       // zero vector: no cycle, the single-click view rule instead
        {{-1, 0, 0}, 0, 1, 1, 0, true},       // off -> points
        {{-1, 0.5f, 0}, 1, 0, 1, 1, true},    // points -> lines
        {{-1, 0, 0}, 1, 1, 0, 1, true},       // lines -> off
        {{-0.5f, 1, 0}, 0, 0, 0, 0, false},   // not far enough to the left
    };
    for (auto& c : cases) {
        World world;
        world.tracked = c.tracked;
        TriggerClickState state;
        state.clickCountScan = 1;
        GeneralSettings settings{};
        settings.AutoView = 1;
        settings.Stylus.Mode = c.mode;
        settings.Stylus.CaptureMode = c.capture;
        ViewSettings view;
        ViewSettings_SetDefaults(view);
        TriggerClick_OnTimer(state, settings, view, TriggerClickContext{true, 1, true}, world.Ops());
        EXPECT_EQ(settings.Stylus.Mode, c.newMode);
        EXPECT_EQ(settings.Stylus.CaptureMode, c.newCapture);
        EXPECT_EQ(world.refreshes, c.cycled ? 1 : 0);
        EXPECT_EQ(world.autoViews, c.cycled ? 0 : 1);
        EXPECT_EQ(world.repaints, 1);
    }
}

TEST(TriggerClick, CountingAtTheEndOfEmptySweeps) {
    TriggerClickState state;
    TriggerClick_Count(state, false, false);
    TriggerClick_Count(state, true, false);
    EXPECT_EQ(state.clickCountScan, 2);
    TriggerClick_Count(state, true, true);
    EXPECT_EQ(state.clickCountStylus, 1);
    TriggerClick_Count(state, false, true);  // the timer had fired: a new series
    EXPECT_EQ(state.clickCountScan, 0);
    EXPECT_EQ(state.clickCountStylus, 1);
}

}  // namespace
