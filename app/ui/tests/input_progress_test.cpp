#include "app/scan/raw_data.h"
#include "app/ui/input_handlers.h"
#include "app/ui/progress_updater.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/tests/small_scan.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

TEST(InputHandlers, IntegerBoxReadsAsAStream) {
    DefaultInputHandler<int> handler;
    struct {
        const char* text;
        bool ok;
        int value;
    } cases[] = {{"  42", true, 42}, {"17abc", true, 17}, {"-3 4", true, -3}, {"", false, 0}, {"x1", false, 0}};
    for (const auto& c : cases) {
        int value = 0;
        std::string error;
        EXPECT_EQ(InputHandler_Run<int>(handler, c.text, value, error), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        } else {
            EXPECT_EQ(error, "Invalid Value") << c.text;
        }
    }
}

TEST(InputHandlers, ProfilePointBoxParsesValidatesAndMovesTheCursor) {
    SmallScan scan({3, 0, 4, 2, 1});
    ProfilePointInputHandler handler(*scan.raw);
    int repaints = 0;
    Shell_Hooks().postRepaint = [&](int) { ++repaints; };
    struct {
        const char* text;
        const char* error;  // null: accepted
    } cases[] = {
        {"7:12", "Profile index out of bounds."},
        {"3", "Parse Error"},
        {"3:x", "Parse Error"},
        {"-1:0", "Profile index out of bounds."},
        {"1:0", "Point index out of bounds."},
        {"2:4", "Point index out of bounds."},
        {"2:-1", "Point index out of bounds."},
        {"2:3", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ProfilePoint value;
        std::string error;
        const bool ok = InputHandler_Run<ProfilePoint>(handler, c.text, value, error);
        EXPECT_EQ(ok, c.error == nullptr);
        if (c.error) {
            EXPECT_EQ(error, c.error);
        }
    }
    EXPECT_EQ(App_PointCursor().profile, 2);
    EXPECT_EQ(App_PointCursor().point, 3);
    EXPECT_EQ(App_PointCursor().position.y, 3.0f);
    EXPECT_EQ(repaints, 1);
    Shell_Hooks().postRepaint = nullptr;
}

TEST(InputHandlers, GotoWrapsOverEmptyProfiles) {
    SmallScan scan({0, 3, 0, 2, 0});
    struct {
        const char* name;
        int32_t fromProfile, fromPoint, profile, point, toProfile, toPoint;
    } cases[] = {
        {"next within the profile", 1, 0, -1, 1, 1, 1},        {"next over an empty profile", 1, 2, -1, 1, 3, 0},
        {"next wraps from the last point", 3, 1, -1, 1, 1, 0}, {"profile past the end becomes 0", 0, 0, 9, 1, 1, 0},
        {"point past the end advances", 0, 0, 3, 5, 1, 0},     {"plain target", 0, 0, 3, 1, 3, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PointCursor cursor;
        cursor.profile = c.fromProfile, cursor.point = c.fromPoint;
        ASSERT_TRUE(PointCursor_Goto(*scan.raw, cursor, c.profile, c.point));
        EXPECT_EQ(cursor.profile, c.toProfile);
        EXPECT_EQ(cursor.point, c.toPoint);
        EXPECT_EQ(cursor.position.x, static_cast<float>(c.toProfile));
        EXPECT_EQ(cursor.position.y, static_cast<float>(c.toPoint));
    }
    // No point anywhere: the cursor stays (and no endless search).
    SmallScan empty({0, 0});
    PointCursor cursor;
    cursor.profile = 1;
    EXPECT_FALSE(PointCursor_Goto(*empty.raw, cursor, -1, 1));
    EXPECT_EQ(cursor.profile, 1);
}

struct BarRecord {
    int range = -1;
    std::vector<int> positions;
    ProgressBarTarget Target() {
        return {[this](int r) { range = r; }, [this](int p) { positions.push_back(p); }};
    }
};

TEST(ProgressUpdater, TwoStagesRunEvenlyToTheEnd) {
    BarRecord bar;
    ProgressBarUpdater progress(bar.Target());
    EXPECT_EQ(bar.range, 1000);
    ASSERT_EQ(bar.positions, std::vector<int>{0});
    progress.BeginStage(100, 0.5f);
    for (int i = 0; i < 100; ++i) progress.Step();
    progress.BeginStage(100, 1.0f);
    for (int i = 0; i < 100; ++i) progress.Step();
    ASSERT_EQ(bar.positions.size(), 201u);
    EXPECT_EQ(bar.positions[100], 500);
    EXPECT_EQ(bar.positions[200], 1000);
    for (size_t i = 1; i < bar.positions.size(); ++i) {
        EXPECT_GE(bar.positions[i] - bar.positions[i - 1], 4) << i;
        EXPECT_LE(bar.positions[i] - bar.positions[i - 1], 6) << i;
    }
}

TEST(ProgressUpdater, StepsPastTheStageStayAtItsEnd) {
    BarRecord bar;
    ProgressBarUpdater progress(bar.Target());
    progress.BeginStage(3, 0.3f);
    for (int i = 0; i < 10; ++i) progress.Step();
    EXPECT_EQ(bar.positions.back(), 300);
    EXPECT_EQ(bar.positions[bar.positions.size() - 2], 300);
    progress.BeginStage(0, 0.6f);  // no steps: a step goes to the end
    progress.Step();
    EXPECT_EQ(bar.positions.back(), 600);
}

}  // namespace
