#include "surface/io/scan3.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "surface/frame/record_memory.h"
#include "surface/frame/tests/capturing_reporter.h"

namespace {

// A scan of `points` points at (i, 2i, 3i) and the given sizes.
void MakeScan(Scan3* scan, int32_t points, std::initializer_list<int32_t> sizes) {
    ASSERT_EQ(0, Scan3_Create(scan, points, static_cast<int32_t>(sizes.size()), 1, 0, 0, 0, 0));
    for (int32_t i = 0; i < points; ++i)
        for (int a = 0; a < 3; ++a) scan->Points.Location[3 * i + a] = i * (a + 1);
    for (int32_t i = 0; i < points; ++i) scan->Points.Value[i] = 0.5 * i;
    for (int32_t size : sizes) {
        scan->Origin[3 * scan->OriginCount] = scan->OriginCount;
        scan->Origin[3 * scan->OriginCount + 1] = -1.0;
        scan->Origin[3 * scan->OriginCount + 2] = 2.0;
        scan->Size[scan->OriginCount++] = size;
    }
}

TEST(Scan3Test, ValidationRefusesEveryUnsoundScanWithItsMessage) {
    struct Case {
        const char* what;
        int32_t points;
        std::initializer_list<int32_t> sizes;
        const char* message;  // null: usable
    } cases[] = {
        {"sizes sum to the count", 6, {2, 4}, nullptr},
        {"sizes sum short", 6, {2, 3}, "Scan sizes do not sum to the number of points"},
        {"a negative size making up the sum", 3, {8, -5}, "Scan sizes do not sum to the number of points"},
        {"sums that wrap in 32 bits", 1, {INT_MAX, INT_MAX, 3}, "Scan sizes do not sum to the number of points"},
        {"no origin", 4, {}, "Scan must contain at least one scan origin"},
        {"no points", 0, {0}, "Scan point list is empty"},
    };
    for (const Case& c : cases) {
        Scan3 scan;
        MakeScan(&scan, c.points, c.sizes);
        CapturingReporter r(6);
        EXPECT_EQ(c.message == nullptr ? 1 : 0, Scan3_Validate(&scan, &r.reporter)) << c.what;
        if (c.message != nullptr) {
            ASSERT_EQ(1u, r.lines.size()) << c.what;
            EXPECT_EQ((CapturedLine{1, c.message}), r.lines[0]) << c.what;
        }
        Scan3_Free(&scan);
    }
}

TEST(Scan3Test, ValidationRefusesBrokenOriginArraysAndANullScan) {
    Scan3 scan;
    MakeScan(&scan, 4, {4});
    CapturingReporter r(6);
    double* origin = scan.Origin;
    scan.Origin = nullptr;
    EXPECT_EQ(0, Scan3_Validate(&scan, &r.reporter));
    scan.Origin = origin;
    scan.OriginCapacity = 0;
    EXPECT_EQ(12, Scan3_ValidateAlt(&scan, -1, &r.reporter));
    scan.OriginCapacity = 1;
    EXPECT_EQ(0, Scan3_ValidateAlt(&scan, -1, &r.reporter));
    EXPECT_EQ(15, Scan3_ValidateAlt(&scan, 0, &r.reporter));
    EXPECT_EQ(0, Scan3_Validate(nullptr, &r.reporter));
    EXPECT_EQ(12, Scan3_ValidateAlt(nullptr, -1, &r.reporter));
    ASSERT_GE(r.lines.size(), 3u);
    EXPECT_EQ("Scan structure is invalid", r.lines[0].text);
    EXPECT_EQ("Scan structure is invalid", r.lines[1].text);
    Scan3_Free(&scan);
}

TEST(Scan3Test, CreateRefusesBadArgumentsAndLeavesNothingWhenMemoryRunsOut) {
    Scan3 scan;
    EXPECT_EQ(8, Scan3_Create(&scan, -1, 1, 0, 0, 0, 0, 0));
    EXPECT_EQ(8, Scan3_Create(&scan, 1, -1, 0, 0, 0, 0, 0));
    EXPECT_EQ(12, Scan3_Create(nullptr, 1, 1, 0, 0, 0, 0, 0));
    EXPECT_EQ(8, Scan3_AllocOrigins(&scan, -1));
    EXPECT_EQ(12, Scan3_AllocOrigins(nullptr, 1));
    for (int32_t allowed = 0; allowed < 3; ++allowed) {
        Record_FailAllocationsAfterForTesting(allowed);
        EXPECT_EQ(2, Scan3_Create(&scan, 5, 2, 1, 0, 0, 0, 0)) << allowed;
        Record_FailAllocationsAfterForTesting(-1);
        EXPECT_EQ(nullptr, scan.Points.Location);
        EXPECT_EQ(nullptr, scan.Origin);
        EXPECT_EQ(nullptr, scan.Size);
    }
}

TEST(Scan3Test, ResizeOriginsCutsTheCountAndKeepsAShrinkWhenTheSecondArrayFails) {
    Scan3 scan;
    MakeScan(&scan, 6, {1, 2, 3});
    EXPECT_EQ(12, Scan3_ResizeOrigins(nullptr, 2));
    EXPECT_EQ(8, Scan3_ResizeOrigins(&scan, -1));
    ASSERT_EQ(0, Scan3_ResizeOrigins(&scan, 5));
    EXPECT_EQ(3, scan.OriginCount);
    EXPECT_EQ(5, scan.OriginCapacity);
    EXPECT_EQ(3, scan.Size[2]);

    Record_FailAllocationsAfterForTesting(1);  // the origins shrink, the sizes fail
    EXPECT_EQ(2, Scan3_ResizeOrigins(&scan, 2));
    Record_FailAllocationsAfterForTesting(-1);
    EXPECT_EQ(2, scan.OriginCapacity);
    EXPECT_EQ(2, scan.OriginCount);

    Record_FailAllocationsAfterForTesting(1);  // a growth that fails halfway changes nothing
    EXPECT_EQ(2, Scan3_ResizeOrigins(&scan, 9));
    Record_FailAllocationsAfterForTesting(-1);
    EXPECT_EQ(2, scan.OriginCapacity);
    EXPECT_EQ(2, scan.Size[1]);
    Scan3_Free(&scan);
}

TEST(Scan3Test, CopyTakesOriginsPointsAndOnRequestTheAlternateSets) {
    Scan3 source, copy;
    MakeScan(&source, 4, {1, 3});
    int32_t set = -1;
    ASSERT_EQ(0, PointList3_AddAltSet(&source.Points, "hi", &set, 1, 0, 0, 0, 1));
    source.Points.Alt[0].Value[3] = 7.0;
    for (int32_t withSets = 0; withSets < 2; ++withSets) {
        ASSERT_EQ(0, Scan3_Copy(&copy, &source, withSets));
        EXPECT_EQ(1, Scan3_Validate(&copy, nullptr));
        EXPECT_EQ(2, copy.OriginCount);
        EXPECT_EQ(3, copy.Size[1]);
        EXPECT_EQ(1.0, copy.Origin[3]);
        EXPECT_EQ(9.0, copy.Points.Location[11]);
        EXPECT_EQ(1.5, copy.Points.Value[3]);
        ASSERT_EQ(withSets, copy.Points.AltCount);
        if (withSets) {
            EXPECT_EQ(7.0, copy.Points.Alt[0].Value[3]);
        }
        Scan3_Free(&copy);
    }
    Record_FailAllocationsAfterForTesting(3);  // origins made, points not
    EXPECT_EQ(2, Scan3_Copy(&copy, &source, 1));
    Record_FailAllocationsAfterForTesting(-1);
    EXPECT_EQ(nullptr, copy.Origin);
    EXPECT_EQ(nullptr, copy.Points.Location);

    EXPECT_EQ(12, Scan3_Copy(nullptr, &source, 0));
    source.OriginCount = -1;
    EXPECT_EQ(8, Scan3_Copy(&copy, &source, 0));
    source.OriginCount = 2;
    Scan3_Free(&source);
}

}  // namespace
