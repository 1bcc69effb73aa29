// The view's paint figures for the diagnostics dialog.
#include "app/ui/view_timings.h"

#include "app/scan/raw_data.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ViewTimings, UpdatesAndRepaintsAreKeptApartAndTheLastProfileGivesTheDeviation) {
    std::vector<Profile> profiles(2);
    profiles[0].CameraDeviation = 0.5f;
    profiles[1].CameraDeviation = 1.25f;
    RawData raw{};
    raw.Profiles = profiles.data();
    raw.NumProfiles = 2;

    ViewTimings t;
    ViewTimings_AddPaint(t, 2, 0.0204, nullptr);  // 20 ms
    ViewTimings_AddPaint(t, 1, 9.0, &raw);        // no scan drawn: not counted
    ViewTimings_AddPaint(t, 0, 9.0, &raw);
    EXPECT_EQ(t.cameraDeviation, 0.0);
    ViewTimings_AddPaint(t, 2, 0.0046, &raw);  // 5 ms
    ViewTimings_AddPaint(t, 2, 0.0351, &raw);  // 35 ms
    ViewTimings_AddPaint(t, 4, 1.75, &raw);
    EXPECT_EQ(t.updateCount, 3);
    EXPECT_EQ(t.minUpdate, 5);
    EXPECT_EQ(t.maxUpdate, 35);
    EXPECT_DOUBLE_EQ(t.averageUpdate, 20.0);
    EXPECT_DOUBLE_EQ(t.repaintTime, 1.75);
    EXPECT_DOUBLE_EQ(t.cameraDeviation, 1.25);
    EXPECT_EQ(Diagnostics_GraphicsText(t),
              "MinUpdate: 5\nMaxUpdate: 35\nAveUpdate: 20.00\nRepaintTime:  1.75\nLast CameraDeviation:  1.25\n");
}

}  // namespace
