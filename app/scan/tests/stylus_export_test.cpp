#include <gtest/gtest.h>

#include <vector>

#include "app/scan/stylus_export.h"

namespace {

StylusItem Item(uint32_t flags, int32_t group, float tag) {
    StylusItem s{};
    s.Flags = flags;
    s.Group = group;
    M4_Identity(s.Pose);
    s.ScanPose = s.BasicPose = s.FourthPose = s.Pose;
    s.Pose[12] = tag;
    s.ScanPose[12] = tag + 0.1f;
    s.BasicPose[12] = tag + 0.2f;
    s.FourthPose[12] = tag + 0.3f;
    return s;
}

TEST(StylusExport, RecordsSkipLineHeadsAndNumberLineMembers) {
    std::vector<StylusItem> items = {
        Item(kStylusOnScan, 0, 1),     Item(kStylusLineHead, 1, 2),
        Item(kStylusLineMember, 1, 3), Item(kStylusLineMember | kStylusOnBasic | kStylusHidden, 1, 4),
        Item(kStylusInverted, 2, 5),   Item(0, 3, 6),  // undone: beyond the items in force
    };
    StylusItemList list{};
    list.Items = items.data();
    list.VisibleCount = 5;
    list.TotalCount = 6;
    std::vector<StylusExportRecord> records(5);
    int32_t visible = -1;

    const struct {
        bool surface, inverted;
        float x[4];
        int32_t onSurface[4];
    } cases[] = {
        {false, false, {1.1f, 3, 4, 5}, {1, 0, 0, 0}},
        {true, false, {1, 3, 4.2f, 5}, {0, 0, 1, 0}},
        {true, true, {1, 3, 4.2f, 5.3f}, {0, 0, 1, 0}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(StylusExport_CollectRecords(list, c.surface, c.inverted, records.data(), visible), 4);
        EXPECT_EQ(visible, 3);
        const int32_t lineIndex[] = {-1, 0, 1, -1};
        const int32_t number[] = {0, 1, 1, 2};
        const int32_t shown[] = {1, 1, 0, 1};
        for (int r = 0; r < 4; ++r) {
            EXPECT_EQ(records[r].lineIndex, lineIndex[r]);
            EXPECT_EQ(records[r].itemNumber, number[r]);
            EXPECT_EQ(records[r].visible, shown[r]);
            EXPECT_EQ(records[r].onSurface, c.onSurface[r]) << r;
            EXPECT_FLOAT_EQ(records[r].matrix[12], c.x[r]) << r << " surface " << c.surface;
        }
    }
}

}  // namespace
