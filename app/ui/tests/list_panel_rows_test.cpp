// The list panel's rows apart from its window: their texts, how a row's
// check box and selection reach the scan, and Flip.
#include "app/locale/locale_loader.h"
#include "app/locale/locale_string_table.h"
#include "app/ui/list_panel_rows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Three sweeps of 2, 3 and 1 points over six profiles a point each; profile
// p was captured at 100 + 25 p seconds.
struct RowScan {
    RawData raw{};
    std::vector<ScanPoint> points = std::vector<ScanPoint>(6);
    std::vector<SweepRecord> sweeps = std::vector<SweepRecord>(4);
    std::vector<Profile> profiles = std::vector<Profile>(6);
    int32_t firstPoint[4] = {0, 2, 5, 6};
    int32_t firstProfile[4] = {0, 2, 5, 6};
    int32_t firstFacet[4] = {0, 0, 0, 0};
    RowScan() {
        std::memset(points.data(), 0, points.size() * sizeof(ScanPoint));
        std::memset(sweeps.data(), 0, sweeps.size() * sizeof(SweepRecord));
        for (size_t i = 0; i < points.size(); ++i) points[i].Normal = Vec3{0.0f, 0.6f, 0.8f};
        for (size_t p = 0; p < profiles.size(); ++p) profiles[p].ScanTime = 100 + 25 * static_cast<int32_t>(p);
        raw.Points = points.data();
        raw.NumPoints = 6;
        raw.Sweeps = sweeps.data();
        raw.NumSweeps = 3;
        raw.SweepFirstPoint = firstPoint;
        raw.SweepFirstFacet = firstFacet;
        raw.SweepStartingProfileNo = firstProfile;
        raw.Profiles = profiles.data();
        raw.NumProfiles = 6;
    }
};

class ListPanelRows : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Locale_LoadInto(Locale_Strings(), std::string(TEST_SOURCE_DIR) + "../locale/data/", [](const std::string&) {});
    }
};

TEST_F(ListPanelRows, TheTimeColumnIsMinutesAndSecondsWithALeadingBlank) {
    const struct {
        int32_t seconds;
        const char* text;
    } cases[] = {{0, " 0:00"}, {75, " 1:15"}, {59, " 0:59"}, {600, "10:00"}, {3725, "62:05"}};
    for (const auto& c : cases) EXPECT_EQ(ListRow_TimeText(c.seconds), c.text) << c.seconds;
}

TEST_F(ListPanelRows, SweepRowsShowNumberPointsFlippedStateAndTime) {
    RowScan scan;
    scan.sweeps[1].Flags = kSweepFlipped;
    const ListRowTexts first = ListRow_Sweep(scan.raw, 0);
    EXPECT_EQ(first.cells[0], "Sweep 1");
    EXPECT_EQ(first.cells[1], "2");
    EXPECT_EQ(first.cells[2], "");
    EXPECT_EQ(first.cells[3], " 0:00");
    const ListRowTexts second = ListRow_Sweep(scan.raw, 1);
    EXPECT_EQ(second.cells[0], "Sweep 2");
    EXPECT_EQ(second.cells[1], "3");
    EXPECT_EQ(second.cells[2], "flipped");
    EXPECT_EQ(second.cells[3], " 0:50");
    EXPECT_EQ(ListRow_Sweep(scan.raw, 2).cells[3], " 2:05");
    EXPECT_EQ(ListRow_Surface(true).cells[1], "RBF Surface");
    EXPECT_EQ(ListRow_Surface(false).cells[0], "Surface");
}

TEST_F(ListPanelRows, StylusRowsShowTheGroupAndTheDistanceMoved) {
    StylusItem items[2] = {};
    items[0].Group = 4;
    items[1].Group = 5;
    items[1].Flags = kStylusOnScan;
    items[1].ScanDistance = 1.234f;
    StylusItemList list{};
    list.Items = items;
    list.VisibleCount = 2;
    EXPECT_EQ(ListRow_Stylus(list, 0, false).cells[0], "Mark 5");
    EXPECT_EQ(ListRow_Stylus(list, 0, false).cells[1], "-");
    EXPECT_EQ(ListRow_Stylus(list, 1, false).cells[1], "moved 1.23 mm");
    EXPECT_EQ(ListRow_Stylus(list, 1, true).cells[1], "-");
}

TEST_F(ListPanelRows, ARowsCheckAndSelectionReachItsSweepOrItem) {
    RowScan scan;
    const struct {
        bool checked, selected;
        uint32_t flags;
        int result;
    } cases[] = {
        {true, false, 0, 0},
        {false, false, kSweepHidden, kRowChanged | kRowVisibilityChanged},
        {false, true, kSweepHidden | kSweepHighlighted, kRowChanged},
        {true, true, kSweepHighlighted, kRowChanged | kRowVisibilityChanged},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ListRow_ApplySweep(scan.raw, 1, c.checked, c.selected), c.result);
        EXPECT_EQ(scan.sweeps[1].Flags, c.flags);
    }
    StylusItem item{};
    StylusItemList list{};
    list.Items = &item;
    list.VisibleCount = 1;
    EXPECT_EQ(ListRow_ApplyStylus(list, 0, false, true), kRowChanged);
    EXPECT_EQ(item.Flags, kStylusHidden | kStylusSelected);
    EXPECT_EQ(ListRow_ApplyStylus(list, 0, false, true), 0);
}

TEST_F(ListPanelRows, FlippingASweepTwiceRestoresItsNormalsAndClearsItsText) {
    RowScan scan;
    ListRow_FlipSweep(scan.raw, 1);
    EXPECT_EQ(ListRow_Sweep(scan.raw, 1).cells[2], "flipped");
    EXPECT_FLOAT_EQ(scan.points[2].Normal.y, -0.6f);
    EXPECT_FLOAT_EQ(scan.points[0].Normal.y, 0.6f);  // other sweeps keep theirs
    EXPECT_FLOAT_EQ(scan.points[5].Normal.y, 0.6f);
    ListRow_FlipSweep(scan.raw, 1);
    EXPECT_EQ(ListRow_Sweep(scan.raw, 1).cells[2], "");
    for (const ScanPoint& p : scan.points) EXPECT_FLOAT_EQ(p.Normal.z, 0.8f);
}

}  // namespace
