#include "app/scan/raw_data.h"
#include "app/scan/stylus_items.h"
#include "app/scan/profile_processing.h"
#include "app/scan/tests/scan_fixture.h"
#include "app/scan/tests/scan_record_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// A list with the given group id for each item, all visible.
struct List {
    StylusItemList list{};
    explicit List(const std::vector<int32_t>& groups) {
        while (list.Capacity < static_cast<int32_t>(groups.size())) EXPECT_TRUE(StylusItems_Grow(list));
        for (size_t i = 0; i < groups.size(); ++i) {
            StylusItem& item = list.Items[i];
            item = StylusItem{};
            M4_Identity(item.Pose);
            item.Pose[12] = static_cast<float>(i);
            item.Group = groups[i];
            item.Flags = kStylusSelected;
        }
        list.VisibleCount = list.TotalCount = static_cast<int32_t>(groups.size());
        list.GroupCount = groups.empty() ? 0 : groups.back() + 1;
    }
    ~List() { StylusItems_Free(list); }
    std::vector<int32_t> Groups() const {
        std::vector<int32_t> g;
        for (int32_t i = 0; i < list.TotalCount; ++i) g.push_back(list.Items[i].Group);
        return g;
    }
};

TEST(StylusItems, GrowthSteps) {
    StylusItemList list{};
    const int32_t steps[] = {100, 144, 207, 298};
    for (int32_t expected : steps) {
        ASSERT_TRUE(StylusItems_Grow(list));
        EXPECT_EQ(list.Capacity, expected);
    }
    StylusItems_Free(list);
    list.Capacity = 99;  // a capacity below 100 also gives 100
    ASSERT_TRUE(StylusItems_Grow(list));
    EXPECT_EQ(list.Capacity, 100);
    StylusItems_Free(list);
}

TEST(StylusItems, UndoAndRedoByGroup) {
    List l({0, 0, 1, 2, 2, 2});
    StylusItemList& list = l.list;
    EXPECT_FALSE(StylusItems_RedoGroup(list)) << "nothing undone";
    ASSERT_TRUE(StylusItems_UndoGroup(list));
    EXPECT_EQ(list.VisibleCount, 3);
    EXPECT_EQ(StylusItems_GroupCount(list), 2);
    ASSERT_TRUE(StylusItems_UndoGroup(list));
    ASSERT_TRUE(StylusItems_UndoGroup(list));
    EXPECT_EQ(list.VisibleCount, 0);
    EXPECT_EQ(list.GroupCount, 0);
    EXPECT_FALSE(StylusItems_UndoGroup(list)) << "empty visible range";
    EXPECT_EQ(list.VisibleCount, 0);
    EXPECT_EQ(list.GroupCount, 0);
    ASSERT_TRUE(StylusItems_RedoGroup(list));
    EXPECT_EQ(list.VisibleCount, 2);
    ASSERT_TRUE(StylusItems_RedoGroup(list));
    ASSERT_TRUE(StylusItems_RedoGroup(list));
    EXPECT_EQ(list.VisibleCount, 6);
    EXPECT_EQ(list.GroupCount, 3);
    EXPECT_FALSE(StylusItems_RedoGroup(list));

    EXPECT_TRUE(StylusItems_Reset(list));
    EXPECT_EQ(list.VisibleCount, 0);
    EXPECT_EQ(list.TotalCount, 6);
    EXPECT_FALSE(StylusItems_Reset(list));
}

TEST(StylusItems, ExtractGroup) {
    struct Case {
        const char* name;
        std::vector<int32_t> groups;
        int32_t extract;
        int32_t visible;
        std::vector<int32_t> after;
        float firstMovedX;  // position of the first item after the visible ones
    };
    const Case cases[] = {
        {"middle group", {0, 1, 1, 2}, 1, 2, {0, 1, 2, 2}, 1.0f},
        {"last group stays in place", {0, 1, 1}, 1, 1, {0, 1, 1}, 1.0f},
        {"first group", {0, 0, 1, 2}, 0, 2, {0, 1, 2, 2}, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        List l(c.groups);
        StylusItems_ExtractGroup(l.list, c.extract);
        EXPECT_EQ(l.list.VisibleCount, c.visible);
        EXPECT_EQ(l.list.GroupCount, static_cast<int32_t>(c.groups.back()));
        EXPECT_EQ(l.Groups(), c.after);
        EXPECT_EQ(l.list.Items[c.visible].Pose[12], c.firstMovedX);
        EXPECT_EQ(l.list.Items[c.visible].Flags & kStylusSelected, 0u);
        EXPECT_NE(l.list.Items[0].Flags & kStylusSelected, 0u) << "the others keep their state";
        // The extracted group is the first to come back.
        ASSERT_TRUE(StylusItems_RedoGroup(l.list));
        EXPECT_EQ(l.list.VisibleCount, static_cast<int32_t>(c.groups.size()));
    }
    List none({0, 1});
    StylusItems_ExtractGroup(none.list, 5);
    EXPECT_EQ(none.list.VisibleCount, 2);
}

TEST(StylusItems, FlipNegatesThePositionOfVisibleItems) {
    List l({0, 1, 2});
    l.list.Items[1].Pose[13] = 4.0f;
    l.list.VisibleCount = 2;
    StylusItems_FlipNormals(l.list);
    EXPECT_EQ(l.list.Items[1].Pose[12], -1.0f);
    EXPECT_EQ(l.list.Items[1].Pose[13], -4.0f);
    EXPECT_EQ(l.list.Items[1].Pose[0], 1.0f) << "the rotation stays";
    EXPECT_EQ(l.list.Items[2].Pose[12], 2.0f);
    EXPECT_EQ(l.list.ReplaceNeeded, 1);
    List empty({});
    StylusItems_FlipNormals(empty.list);
    EXPECT_EQ(empty.list.ReplaceNeeded, 0);
}

TEST(StylusItems, PlaceOnScan) {
    ScanFixture f;
    f.AddSweep({3, 3});  // a strip in the plane x = 0..1, y = 0..2, z = y
    f.Process();
    RawData_ComputeNormals(f.raw);
    StylusItem item{};
    M4_Identity(item.Pose);
    item.Pose[12] = 0.5f;
    item.Pose[13] = 1.0f;
    item.Pose[14] = 1.5f;  // 0.5 above the strip along z
    ASSERT_EQ(StylusItem_PlaceOnScan(f.raw, item, 2.0f), 1);
    EXPECT_NE(item.Flags & kStylusOnScan, 0u);
    EXPECT_NEAR(item.ScanPose[13] - item.ScanPose[14], 0.0f, 1e-6f) << "on the plane z = y";
    EXPECT_NEAR(item.ScanDistance, 0.5f / std::sqrt(2.0f), 1e-6f);
    EXPECT_TRUE(StylusItem_IsPlaced(item, false));
    EXPECT_FALSE(StylusItem_IsPlaced(item, true));

    ASSERT_EQ(StylusItem_PlaceOnScan(f.raw, item, 0.1f), 0) << "too far";
    EXPECT_EQ(item.Flags & kStylusOnScan, 0u);
    EXPECT_EQ(item.ScanDistance, 0.0f);
}

// On a flat scan as processing leaves it, an item 1 mm in front of the scan
// lands on its foot, 1 mm away, wherever it stands over the facets.
TEST(StylusItems, PlaceOnAProcessedScanLandsOnTheFoot) {
    scan_test::TestScan scan;
    for (int p = 0; p < 12; ++p) {
        scan_test::OwnedProfile profile = scan_test::PlaneProfile(static_cast<float>(p), 40);
        scan.Append(profile.Get());
    }
    scan.CloseSweep();
    RawData& raw = scan.raw();
    ASSERT_EQ(Scan_ProcessNewProfiles(raw, 0, 4.0f), kScanProcessOk);
    ASSERT_GT(raw.NumFacets, 0);
    for (const Vec3 at : {Vec3{-40.1f, 5.3f, 1.0f}, Vec3{-35.27f, 2.61f, 1.0f}, Vec3{-45.0f, 8.5f, -1.0f}}) {
        SCOPED_TRACE(at.x);
        StylusItem item{};
        M4_MakeTranslation(at, item.Pose);
        ASSERT_EQ(StylusItem_PlaceOnScan(raw, item, 3.0f), 1);
        EXPECT_NEAR(item.ScanPose[12], at.x, 1e-4f);
        EXPECT_NEAR(item.ScanPose[13], at.y, 1e-4f);
        EXPECT_NEAR(item.ScanPose[14], 0.0f, 1e-4f);
        EXPECT_NEAR(item.ScanDistance, 1.0f, 1e-4f);
    }
}

TEST(StylusItems, PoseChoice) {
    StylusItem item{};
    M4_Identity(item.Pose);
    item.ScanPose = item.BasicPose = item.FourthPose = item.Pose;
    item.Pose[12] = 1;
    item.ScanPose[12] = 2;
    item.BasicPose[12] = 3;
    item.FourthPose[12] = 4;
    struct Case {
        uint32_t flags;
        bool placed, basic, fourth;
        float chosen;
    };
    const Case cases[] = {
        {kStylusOnScan, true, false, false, 2},
        {kStylusOnScan, false, false, false, 1},
        {0, true, false, false, 1},
        {kStylusOnBasic, true, false, false, 1},
        {kStylusOnBasic, true, true, false, 3},
        {kStylusOnBasic | kStylusInverted, false, true, true, 4},
        {kStylusOnBasic | kStylusInverted, true, true, true, 3},
        {kStylusInverted, true, true, false, 1},
        {kStylusOnScan, true, true, false, 1},
        {kStylusInverted, false, false, true, 1},
    };
    for (const Case& c : cases) {
        item.Flags = c.flags;
        Matrix4 out;
        StylusItem_GetPose(item, out, c.placed, c.basic, c.fourth);
        EXPECT_EQ(out[12], c.chosen) << c.flags << " " << c.placed << c.basic << c.fourth;
    }
    StylusItem_ClearPlacement(item);
    EXPECT_EQ(item.Flags, kStylusInverted);
}

}  // namespace
