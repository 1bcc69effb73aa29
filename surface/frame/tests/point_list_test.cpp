#include "surface/frame/point_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "surface/frame/record_memory.h"
#include "surface/frame/tests/capturing_reporter.h"

namespace {

// A list of n points with values and numbered contents.
PointList3 Numbered(int32_t n, bool gradient = false) {
    PointList3 list;
    EXPECT_EQ(0, PointList3_Create(&list, n, 1, 0, 0, 0, gradient ? 1 : 0));
    list.Count = n;
    for (int32_t i = 0; i < 3 * n; ++i) list.Location[i] = i;
    for (int32_t i = 0; i < n; ++i) list.Value[i] = 100 + i;
    if (gradient)
        for (int32_t i = 0; i < 3 * n; ++i) list.Gradient[i] = -i;
    return list;
}

TEST(PointListCreate, AllocatesTheAskedForArraysOrNothing) {
    PointList3 list;
    ASSERT_EQ(0, PointList3_Create(&list, 0, 1, 1, 1, 1, 1));
    EXPECT_EQ(nullptr, list.Location);
    EXPECT_EQ(nullptr, list.Value);
    EXPECT_EQ(nullptr, list.Gradient);
    EXPECT_EQ(0, list.Count);
    EXPECT_EQ(8, PointList3_Create(&list, -1, 0, 0, 0, 0, 0));
    EXPECT_EQ(4, PointList3_Create(nullptr, 3, 0, 0, 0, 0, 0));

    ASSERT_EQ(0, PointList3_Create(&list, 5, 0, 1, 0, 1, 1));
    EXPECT_NE(nullptr, list.Location);
    EXPECT_EQ(nullptr, list.Value);
    EXPECT_NE(nullptr, list.Accuracy);
    EXPECT_EQ(nullptr, list.Lower);
    EXPECT_NE(nullptr, list.Upper);
    EXPECT_EQ(5, list.Capacity);
    EXPECT_EQ(0, list.Count);
    PointList3_Free(&list);
    EXPECT_EQ(nullptr, list.Location);

    // Every allocation fails in turn until the list can be had.
    int status = 2;
    int allowed = 0;
    for (; status != 0 && allowed < 1000; ++allowed) {
        Record_FailAllocationsAfterForTesting(allowed);
        status = PointList3_Create(&list, 5, 1, 1, 0, 0, 0);
        Record_FailAllocationsAfterForTesting(-1);
        if (status != 0) {
            EXPECT_EQ(2, status);
            EXPECT_EQ(nullptr, list.Location);
            EXPECT_EQ(0, list.Capacity);
        }
    }
    ASSERT_EQ(0, status);
    EXPECT_EQ(4, allowed);  // location, value and accuracy, then success
    PointList3_Free(&list);
}

TEST(PointListAltSets, NamesMustStartWithALetterAndHoldWordCharacters) {
    PointList3 list = Numbered(4);
    struct Case {
        const char* name;
        int status;
    };
    const Case cases[] = {{"Ab_9", 0}, {"x", 0},   {"1abc", 15}, {"a-b", 15},
                          {"", 15},    {"_x", 15}, {"a b", 15},  {nullptr, 15}};
    for (const Case& c : cases) {
        int32_t index = 99;
        EXPECT_EQ(c.status, PointList3_AddAltSet(&list, c.name, &index, 1, 0, 0, 0, 0)) << (c.name ? c.name : "null");
        if (c.status != 0) {
            EXPECT_EQ(-1, index);
        }
    }
    EXPECT_EQ(2, list.AltCount);
    PointList3_Free(&list);
}

TEST(PointListAltSets, AnExistingNameGivesItsSetAndGrowsItsFields) {
    PointList3 list = Numbered(4);
    int32_t first = -1, again = -1, second = -1;
    ASSERT_EQ(0, PointList3_AddAltSet(&list, "Smooth", &first, 1, 0, 0, 0, 0));
    ASSERT_EQ(0, PointList3_AddAltSet(&list, "Rough", &second, 0, 0, 0, 0, 1));
    EXPECT_EQ(0, first);
    EXPECT_EQ(1, second);
    EXPECT_EQ(16, PointList3_AddAltSet(&list, "Smooth", &again, 0, 1, 0, 0, 0));
    EXPECT_EQ(0, again);
    EXPECT_EQ(2, list.AltCount);
    EXPECT_NE(nullptr, PointList3_GetAccuracy(&list, 0));
    EXPECT_NE(nullptr, PointList3_GetValue(&list, 0));
    EXPECT_EQ(nullptr, PointList3_GetValue(&list, 1));
    EXPECT_NE(nullptr, PointList3_GetGradient(&list, 1));
    EXPECT_EQ(list.Value, PointList3_GetValue(&list, -1));
    EXPECT_EQ(nullptr, PointList3_GetValue(&list, 2));
    EXPECT_EQ(nullptr, PointList3_GetValue(nullptr, -1));
    // Names compare case-sensitively; without an index the set is appended.
    int32_t index = -1;
    EXPECT_EQ(0, PointList3_FindAlt(&list, "Rough", &index));
    EXPECT_EQ(1, index);
    EXPECT_EQ(15, PointList3_FindAlt(&list, "rough", &index));
    EXPECT_EQ(0, PointList3_FindAlt(&list, "", &index));
    EXPECT_EQ(-1, index);
    EXPECT_EQ(17, PointList3_FindAlt(&list, nullptr, &index));
    EXPECT_EQ(0, PointList3_AddAltSet(&list, "Smooth", nullptr, 0, 0, 0, 0, 0));
    EXPECT_EQ(3, list.AltCount);
    PointList3_Free(&list);
}

TEST(PointListAltSets, TheNinthSetGrowsTheArrayFromEightToEleven) {
    PointList3 list = Numbered(2);
    for (int i = 0; i < 9; ++i) {
        int32_t index = -1;
        ASSERT_EQ(0, PointList3_AddAltSet(&list, ("s" + std::to_string(i)).c_str(), &index, 1, 0, 0, 0, 0));
        EXPECT_EQ(i, index);
        EXPECT_EQ(i < 8 ? 8 : 11, list.AltCapacity);
    }
    // Removing closes the gap; the names after it move down.
    ASSERT_EQ(0, PointList3_RemoveAlt(&list, 3));
    EXPECT_EQ(8, list.AltCount);
    EXPECT_STREQ("s4", list.Alt[3].Name);
    EXPECT_EQ(15, PointList3_RemoveAlt(&list, 8));
    EXPECT_EQ(15, PointList3_RemoveAlt(&list, -1));
    // A failed addition leaves the list as it was, until one succeeds.
    int status = 2;
    for (int allowed = 0; status != 0 && allowed < 1000; ++allowed) {
        int32_t index = 7;
        Record_FailAllocationsAfterForTesting(allowed);
        status = PointList3_AddAltSet(&list, "late", &index, 1, 0, 0, 0, 0);
        Record_FailAllocationsAfterForTesting(-1);
        if (status != 0) {
            EXPECT_EQ(2, status);
            EXPECT_EQ(-1, index);
            EXPECT_EQ(8, list.AltCount);
        } else {
            EXPECT_EQ(8, index);
        }
    }
    ASSERT_EQ(0, status);
    EXPECT_EQ(9, list.AltCount);
    PointList3_Free(&list);
}

TEST(PointListFields, AddFreeOrLeaveEachFieldAndTakeBackAFailedCall) {
    PointList3 list = Numbered(3);
    ASSERT_EQ(0, PointList3_SetFields(&list, -1, -1, 1, 0, 1, 0));
    EXPECT_EQ(nullptr, list.Value);
    EXPECT_NE(nullptr, list.Accuracy);
    EXPECT_NE(nullptr, list.Upper);
    EXPECT_EQ(15, PointList3_SetFields(&list, 0, 1, 0, 0, 0, 0));
    EXPECT_EQ(4, PointList3_SetFields(nullptr, -1, 1, 0, 0, 0, 0));
    // Lower is added, then Gradient fails: Lower goes again and Accuracy stays.
    Record_FailAllocationsAfterForTesting(1);
    EXPECT_EQ(2, PointList3_SetFields(&list, -1, 0, -1, 1, 0, 1));
    Record_FailAllocationsAfterForTesting(-1);
    EXPECT_EQ(nullptr, list.Lower);
    EXPECT_EQ(nullptr, list.Gradient);
    EXPECT_NE(nullptr, list.Accuracy);
    PointList3_Free(&list);
}

TEST(PointListCopies, MainSetsAndDeepCopiesCarryEveryArray) {
    PointList3 source = Numbered(4, true);
    int32_t set = -1;
    ASSERT_EQ(0, PointList3_AddAltSet(&source, "A", &set, 1, 0, 0, 0, 1));
    for (int i = 0; i < 4; ++i) source.Alt[0].Value[i] = 7 * i;
    for (int i = 0; i < 12; ++i) source.Alt[0].Gradient[i] = 0.5 * i;
    ASSERT_EQ(0, PointList3_AddAltSet(&source, "B", &set, 0, 1, 0, 0, 0));

    PointList3 copy;
    ASSERT_EQ(0, PointList3_CopyMain(&copy, &source));
    EXPECT_EQ(4, copy.Count);
    EXPECT_EQ(0, copy.AltCount);
    EXPECT_EQ(source.Location[11], copy.Location[11]);
    EXPECT_EQ(source.Gradient[11], copy.Gradient[11]);
    EXPECT_EQ(nullptr, copy.Accuracy);
    PointList3_Free(&copy);
    EXPECT_EQ(17, PointList3_CopyMain(&source, &source));
    EXPECT_EQ(4, PointList3_CopyMain(nullptr, &source));

    ASSERT_EQ(0, PointList3_DeepCopy(&copy, &source));
    ASSERT_EQ(2, copy.AltCount);
    EXPECT_STREQ("A", copy.Alt[0].Name);
    EXPECT_STREQ("B", copy.Alt[1].Name);
    EXPECT_EQ(21, copy.Alt[0].Value[3]);
    EXPECT_EQ(5.5, copy.Alt[0].Gradient[11]);
    EXPECT_NE(nullptr, copy.Alt[1].Accuracy);
    EXPECT_EQ(nullptr, copy.Alt[1].Value);

    // One set into another list, renamed, and into the source itself.
    int32_t index = -1;
    ASSERT_EQ(0, PointList3_CopyAltSet(&copy, &index, "C", &source, 0));
    EXPECT_EQ(2, index);
    EXPECT_EQ(14, copy.Alt[2].Value[2]);
    EXPECT_EQ(17, PointList3_CopyAltSet(&source, &index, nullptr, &source, 0));
    for (int i = 0; i < 7; ++i)  // enough to move the set array while copying
        ASSERT_EQ(0, PointList3_CopyAltSet(&source, &index, ("D" + std::to_string(i)).c_str(), &source, 0));
    EXPECT_EQ(21, source.Alt[index].Value[3]);
    EXPECT_EQ(15, PointList3_CopyAltSet(&copy, &index, nullptr, &source, -1));
    EXPECT_EQ(15, PointList3_CopyAltSet(&copy, &index, nullptr, &source, 99));
    PointList3_Free(&copy);

    // A deep copy that runs out of memory anywhere leaves an empty destination.
    int status = 2;
    for (int allowed = 0; status != 0 && allowed < 1000; ++allowed) {
        Record_FailAllocationsAfterForTesting(allowed);
        status = PointList3_DeepCopy(&copy, &source);
        Record_FailAllocationsAfterForTesting(-1);
        if (status == 0) break;
        EXPECT_EQ(2, status);
        EXPECT_EQ(nullptr, copy.Location);
        EXPECT_EQ(0, copy.AltCount);
    }
    ASSERT_EQ(0, status);
    EXPECT_EQ(source.AltCount, copy.AltCount);
    PointList3_Free(&copy);
    PointList3_Free(&source);
}

TEST(PointListCapacity, ResizesEveryArrayAndCutsTheCount) {
    PointList3 list = Numbered(6, true);
    int32_t set = -1;
    ASSERT_EQ(0, PointList3_AddAltSet(&list, "A", &set, 1, 0, 0, 0, 0));
    for (int i = 0; i < 6; ++i) list.Alt[0].Value[i] = i;
    ASSERT_EQ(0, PointList3_SetCapacity(&list, 4));
    EXPECT_EQ(4, list.Count);
    EXPECT_EQ(4, list.Capacity);
    ASSERT_EQ(0, PointList3_SetCapacity(&list, 50));
    EXPECT_EQ(4, list.Count);
    EXPECT_EQ(11, list.Location[11]);
    EXPECT_EQ(103, list.Value[3]);
    EXPECT_EQ(3, list.Alt[0].Value[3]);
    list.Alt[0].Value[49] = 1;  // the sets grew too
    list.Gradient[149] = 1;
    EXPECT_EQ(8, PointList3_SetCapacity(&list, -1));
    EXPECT_EQ(4, PointList3_SetCapacity(nullptr, 3));
    Record_FailAllocationsAfterForTesting(2);
    EXPECT_EQ(2, PointList3_SetCapacity(&list, 400));
    Record_FailAllocationsAfterForTesting(-1);
    EXPECT_EQ(50, list.Capacity);
    PointList3_Free(&list);
}

struct CheckCase {
    const char* what;
    int32_t count;  // -1 leaves the list valid but makes the count negative
    bool dropLocation;
    int32_t minimum;
    int32_t uses[5];
    int expected;
    std::vector<CapturedLine> lines;
};

TEST(PointListCheck, ReportsTheFirstFailureAndWarnsOfUnusedFields) {
    const std::vector<CheckCase> cases = {
        {"usable", 3, false, 1, {1, 0, 0, 0, 0}, 1, {}},
        {"negative count", -1, false, 0, {0, 0, 0, 0, 0}, 0, {{1, "Input point list structure is invalid"}}},
        {"no locations", 3, true, 0, {0, 0, 0, 0, 0}, 0, {{1, "Input point list structure is invalid"}}},
        {"empty", 0, false, 1, {0, 0, 0, 0, 0}, 0, {{1, "Input point list is empty"}}},
        {"short", 3, false, 4, {0, 0, 0, 0, 0}, 0, {{1, "Input point list length (3), must be at least 4"}}},
        {"negative minimum", 0, false, -5, {0, 0, 0, 0, 0}, 1, {}},
        {"unused fields warn",
         3,
         false,
         1,
         {-1, 0, 0, 0, -1},
         1,
         {{2, "Input point list field 'Value' is not used by this function"},
          {2, "Input point list field 'Gradient' is not used by this function"}}},
        {"first missing field",
         3,
         false,
         1,
         {-1, 1, 0, 1, 0},
         0,
         {{2, "Input point list field 'Value' is not used by this function"},
          {1, "Input point list field 'Accuracy' is required by this function"}}},
    };
    for (const CheckCase& c : cases) {
        PointList3 list = Numbered(3, true);
        list.Count = c.count;
        double* location = list.Location;
        if (c.dropLocation) list.Location = nullptr;
        CapturingReporter rep(6);
        EXPECT_EQ(c.expected, PointList3_Check(&list, "Input", c.minimum, &rep.reporter, c.uses[0], c.uses[1],
                                               c.uses[2], c.uses[3], c.uses[4]))
            << c.what;
        EXPECT_EQ(c.lines, rep.lines) << c.what;
        list.Location = location;
        PointList3_Free(&list);
    }
    CapturingReporter rep(6);
    EXPECT_EQ(0, PointList3_Check(nullptr, "Mesh", 0, &rep.reporter, 0, 0, 0, 0, 0));
    EXPECT_EQ((std::vector<CapturedLine>{{1, "Mesh point list is NULL"}}), rep.lines);
}

TEST(PointListCheck, AlternateSetChecksGiveTheirStatus) {
    PointList3 list = Numbered(3);
    struct Case {
        int32_t set;
        int32_t minimum;
        int32_t valueUse;
        int status;
        std::vector<CapturedLine> lines;
    };
    {
        CapturingReporter rep(6);
        EXPECT_EQ(15, PointList3_CheckAlt(&list, 0, "Source", 1, &rep.reporter, 0, 0, 0, 0, 0));
        EXPECT_EQ((std::vector<CapturedLine>{{1, "Source point list alternate data required"}}), rep.lines);
    }
    int32_t set = -1;
    ASSERT_EQ(0, PointList3_AddAltSet(&list, "A", &set, 0, 1, 0, 0, 0));
    const std::vector<Case> cases = {
        {-1, 1, 1, 0, {}},
        {0, 1, 0, 0, {}},
        {0, 1, 1, 4, {{1, "Source point list field 'Value' is required by this function"}}},
        {0, 5, 0, 4, {{1, "Source point list length (3), must be at least 5"}}},
        {1, 1, 0, 15, {{1, "Source point list alternate index out of range 1"}}},
    };
    for (const Case& c : cases) {
        CapturingReporter rep(6);
        EXPECT_EQ(c.status,
                  PointList3_CheckAlt(&list, c.set, "Source", c.minimum, &rep.reporter, c.valueUse, 0, 0, 0, 0));
        EXPECT_EQ(c.lines, rep.lines);
    }
    list.Count = 4;  // above the capacity
    CapturingReporter rep(6);
    EXPECT_EQ(4, PointList3_CheckAlt(&list, -1, "Source", 0, &rep.reporter, 0, 0, 0, 0, 0));
    EXPECT_EQ((std::vector<CapturedLine>{{1, "Source point list contains an invalid size"}}), rep.lines);
    PointList3_Free(&list);
}

TEST(PointList2, TheTwinCarriesTwoCoordinatesAndTwoGradientComponents) {
    PointList2 list;
    ASSERT_EQ(0, PointList2_Create(&list, 3, 0, 0, 0, 0, 1));
    list.Count = 3;
    for (int i = 0; i < 6; ++i) list.Location[i] = list.Gradient[i] = i + 1;
    int32_t set = -1;
    ASSERT_EQ(0, PointList2_AddAltSet(&list, "G", &set, 0, 0, 0, 0, 1));
    for (int i = 0; i < 6; ++i) list.Alt[0].Gradient[i] = -i;
    PointList2 copy;
    ASSERT_EQ(0, PointList2_DeepCopy(&copy, &list));
    EXPECT_EQ(6, copy.Location[5]);
    EXPECT_EQ(6, copy.Gradient[5]);
    EXPECT_EQ(-5, copy.Alt[0].Gradient[5]);
    EXPECT_EQ(1, PointList2_Check(&copy, "Input", 3, nullptr, 0, 0, 0, 0, 1));
    PointList2_Free(&copy);
    PointList2_Free(&list);
}

}  // namespace
