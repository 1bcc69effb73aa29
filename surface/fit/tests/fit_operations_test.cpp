#include "surface/fit/fit_operations.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "surface/fit/fit_attributes.h"
#include "surface/fit/tests/fit_data.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

struct Lines {
    Reporter reporter{};
    std::vector<std::pair<int32_t, std::string>> lines;
    int32_t abortOnCall = -1;  // sets the abort flag at the n-th message
    static int Keep(Reporter* r, int32_t level, const char* format, va_list args) {
        auto* self = static_cast<Lines*>(r->user);
        char text[512];
        std::vsnprintf(text, sizeof(text), format, args);
        self->lines.emplace_back(level, text);
        return 0;
    }
    explicit Lines(int32_t level = 5) {
        reporter.callback = Keep;
        reporter.maximumLevel = level;
        reporter.user = this;
    }
    bool Has(const std::string& part) const {
        for (const auto& l : lines)
            if (l.second.find(part) != std::string::npos) return true;
        return false;
    }
};

FitAttributes Attributes(int32_t type) {
    FitAttributes a;
    SetFitAttrDefaults(&a);
    a.FitType = type;
    return a;
}

// Density data of about 1700 points: two levels for the direct fitters.
void SmallSphere(OwnedList* data) { DensityData(&data->list, Shape::Sphere, 800, 11); }

TEST(SelvaneFit3, DirectTypesFitEveryCentreWithinTheAccuracy) {
    for (int32_t type : {FitType_Direct, FitType_DirectGMRes}) {
        OwnedList data;
        SmallSphere(&data);
        OwnedSolution sol;
        FitAttributes a = Attributes(type);
        const double accuracy = 0.01;
        ASSERT_EQ(0, Selvane_Fit3(&sol.s, &data.list, -1, accuracy, 64u << 20, &a, nullptr)) << type;
        EXPECT_EQ(data.list.Count, sol.s.CentreCount);
        EXPECT_EQ(type, sol.s.FitType);
        EXPECT_LT(WorstMiss(sol.s, data.list, 3), accuracy) << type;
        EXPECT_GE(sol.s.AchievedAccuracy, 0.0);
        EXPECT_EQ(0, std::strncmp(sol.s.Creator, "Selvane V 1.4.2", 15));
        EXPECT_EQ(31u, std::strlen(sol.s.Creator));
        EXPECT_DOUBLE_EQ(0.01 * accuracy, sol.s.DefaultEvalAccuracy);
    }
}

// The pipeline's sizes: about 5000 density points of a sphere and of a
// torus, checked at 1000 of them. Without memory for stored factors the
// multilevel fit reaches the same accuracy and says nothing about it.
TEST(SelvaneFit3, DirectTypesAtPipelineSizesWithAndWithoutMemory) {
    struct Case {
        Shape shape;
        int32_t type;
        uint32_t memory;
    } cases[] = {
        {Shape::Sphere, FitType_Direct, 64u << 20},
        {Shape::Sphere, FitType_Direct, 0},
        {Shape::Torus, FitType_Direct, 64u << 20},
        {Shape::Torus, FitType_DirectGMRes, 64u << 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "shape " << static_cast<int>(c.shape) << " type " << c.type << " memory "
                                        << c.memory);
        OwnedList data;
        DensityData(&data.list, c.shape, 2600, 21);
        ASSERT_GE(data.list.Count, 5000);
        ASSERT_LE(data.list.Count, 10000);
        OwnedSolution sol;
        FitAttributes a = Attributes(c.type);
        Lines lines(kLevelInfo);
        const double accuracy = 0.01;
        ASSERT_EQ(0, Selvane_Fit3(&sol.s, &data.list, -1, accuracy, c.memory, &a, &lines.reporter));
        EXPECT_EQ(data.list.Count, sol.s.CentreCount);
        EXPECT_LT(WorstMiss(sol.s, data.list, data.list.Count / 1000), accuracy);
        for (const auto& line : lines.lines) EXPECT_GT(line.first, kLevelWarning) << line.second;
    }
}

TEST(SelvaneFit3, ReducedTypesKeepEveryPointWithinItsAccuracyWithFewerCentres) {
    for (Shape shape : {Shape::Sphere, Shape::Torus}) {
        for (int32_t type : {FitType_CentreReduction, FitType_ErrorBar}) {
            OwnedList data;
            DensityData(&data.list, shape, 2500, 12);
            OwnedSolution sol;
            FitAttributes a = Attributes(type);
            const double accuracy = type == FitType_CentreReduction ? 0.1 : 0.5;
            ASSERT_EQ(0, Selvane_Fit3(&sol.s, &data.list, -1, accuracy, 64u << 20, &a, nullptr)) << type;
            EXPECT_LT(sol.s.CentreCount, data.list.Count / 2) << type;
            EXPECT_EQ(sol.s.CentreCount, sol.s.CoeffCount - 4);
            ASSERT_NE(nullptr, sol.s.Indices);
            EXPECT_LE(WorstMiss(sol.s, data.list), accuracy) << type;
        }
    }
}

TEST(SelvaneFit3, RefusalsAndTrivialResults) {
    OwnedList data;
    SmallSphere(&data);
    struct Case {
        const char* name;
        int32_t type;
        double accuracy;
        double valueScale;
        int expected;
        const char* line;
    } cases[] = {
        {"fit type 4", 4, 0.1, 1.0, ApiStatus_BadAttributes, "Fit type value is out of range"},
        {"accuracy 0", 0, 0.0, 1.0, ApiStatus_NegativeDistance, "per-point accuracy is NULL: 0"},
        {"values within", 0, 10.0, 1e-3, ApiStatus_ValuesBelowAccuracy, "trivial"},
        {"values within, error bar", 2, 10.0, 1e-3, ApiStatus_ValuesBelowAccuracy, ""},
    };
    for (const Case& c : cases) {
        std::vector<double> saved(data.list.Value, data.list.Value + data.list.Count);
        for (int32_t i = 0; i < data.list.Count; ++i) data.list.Value[i] *= c.valueScale;
        OwnedSolution sol;
        FitAttributes a = Attributes(c.type);
        Lines lines;
        EXPECT_EQ(c.expected, Selvane_Fit3(&sol.s, &data.list, -1, c.accuracy, 0, &a, &lines.reporter)) << c.name;
        EXPECT_TRUE(lines.Has(c.line)) << c.name;
        if (c.expected == ApiStatus_ValuesBelowAccuracy) {
            ASSERT_EQ(1, sol.s.CentreCount) << c.name;
            EXPECT_EQ(5, sol.s.CoeffCount);
            for (int k = 0; k < 3; ++k) EXPECT_EQ(0.0, sol.s.Centres[k]);
            for (int k = 0; k < 5; ++k) EXPECT_EQ(0.0, sol.s.Coeffs[k]);
            EXPECT_EQ(0.0, sol.s.AchievedAccuracy);
        }
        std::copy(saved.begin(), saved.end(), data.list.Value);
    }
    EXPECT_EQ(ApiStatus_BadSolution, Selvane_Fit3(nullptr, &data.list, -1, 0.1, 0, nullptr, nullptr));
}

// Points 1e-10 of the extent apart are duplicates; 2e-10 apart they are not.
TEST(SelvaneFit3, NearCoincidentPointsAreRefused) {
    for (double gap : {1e-10, 2e-10}) {
        OwnedList data;
        PointList3_Create(&data.list, 200, 1, 0, 0, 0, 0);
        std::mt19937 rng(3);
        std::uniform_real_distribution<double> u(0.0, 10.0);
        for (int32_t i = 0; i < 200 * 3; ++i) data.list.Location[i] = u(rng);
        data.list.Location[0] = 0.0;
        data.list.Location[3] = 10.0;  // the extent is 10 on x
        // Just inside the box of 1e-10 of the extent, or well outside it.
        data.list.Location[6 * 3] = data.list.Location[5 * 3] + gap * 10.0 * (gap == 1e-10 ? 0.9 : 1.0);
        data.list.Location[6 * 3 + 1] = data.list.Location[5 * 3 + 1];
        data.list.Location[6 * 3 + 2] = data.list.Location[5 * 3 + 2];
        for (int32_t i = 0; i < 200; ++i) data.list.Value[i] = data.list.Location[3 * i] * 0.1;
        data.list.Count = 200;
        OwnedSolution sol;
        FitAttributes a = Attributes(FitType_Direct);
        const int status = Selvane_Fit3(&sol.s, &data.list, -1, 1e-3, 0, &a, nullptr);
        if (gap == 1e-10) {
            EXPECT_EQ(ApiStatus_IdenticalPoints, status);
        } else {
            EXPECT_NE(ApiStatus_IdenticalPoints, status);
        }
    }
}

// Centre reduction needs 100 points; with fewer the fit is direct and says
// so in the caller's attributes and in the solution.
TEST(SelvaneFit3, CentreReductionBelowOneHundredPointsFitsDirectly) {
    for (int32_t count : {99, 100}) {
        OwnedList data;
        Cloud cloud = UniformCloud(3, count, 5);
        PointList3_Create(&data.list, count, 1, 0, 0, 0, 0);
        std::copy(cloud.flat.begin(), cloud.flat.end(), data.list.Location);
        const std::vector<double> values = FieldValues(cloud);
        std::copy(values.begin(), values.end(), data.list.Value);
        data.list.Count = count;
        OwnedSolution sol;
        FitAttributes a = Attributes(FitType_CentreReduction);
        Lines lines(2);
        EXPECT_EQ(0, Selvane_Fit3(&sol.s, &data.list, -1, 0.05, 0, &a, &lines.reporter));
        const bool warned = lines.Has("Centre reduction not supported for fewer than 100 points.");
        EXPECT_EQ(count == 99, warned) << count;
        if (count == 99) {
            EXPECT_EQ(FitType_Direct, a.FitType);
            EXPECT_EQ(FitType_Direct, sol.s.FitType);
            EXPECT_EQ(99, sol.s.CentreCount);
        } else {
            EXPECT_EQ(FitType_CentreReduction, a.FitType);
        }
    }
}

// Centring on the origin stores the input points as centres and the box
// centre as polynomial base; the fit is as good.
TEST(SelvaneFit3, CentreOnOriginKeepsThePointsAsCentres) {
    OwnedList data;
    SmallSphere(&data);
    for (int32_t i = 0; i < data.list.Count; ++i) data.list.Location[3 * i] += 1000.0;
    OwnedSolution sol;
    FitAttributes a = Attributes(FitType_Direct);
    a.CentreOnOrigin = 1;
    ASSERT_EQ(0, Selvane_Fit3(&sol.s, &data.list, -1, 0.01, 64u << 20, &a, nullptr));
    for (int32_t i = 0; i < 3 * data.list.Count; ++i) ASSERT_NEAR(data.list.Location[i], sol.s.Centres[i], 1e-9);
    for (int k = 0; k < 3; ++k) EXPECT_DOUBLE_EQ((sol.s.DataMin[k] + sol.s.DataMax[k]) * 0.5, sol.s.PolyBase[k]);
    EXPECT_LT(WorstMiss(sol.s, data.list, 3), 0.01);
}

// A second fit from the first solution starts from it.
TEST(SelvaneFit3, InitialSolutionsAreUsed) {
    for (int32_t type : {FitType_Direct, FitType_ErrorBar}) {
        OwnedList data;
        SmallSphere(&data);
        OwnedSolution sol;
        FitAttributes a = Attributes(type);
        const double accuracy = type == FitType_Direct ? 0.01 : 0.5;
        ASSERT_EQ(0, Selvane_Fit3(&sol.s, &data.list, -1, accuracy, 64u << 20, &a, nullptr));
        a.UseInitialRbf = 1;
        ASSERT_EQ(0, Selvane_Fit3(&sol.s, &data.list, -1, accuracy, 64u << 20, &a, nullptr)) << type;
        EXPECT_LE(WorstMiss(sol.s, data.list, 3), accuracy) << type;

        // Indices beyond the points are refused.
        if (type == FitType_ErrorBar) {
            sol.s.Indices[0] = data.list.Count;
            EXPECT_EQ(ApiStatus_BadSolution, Selvane_Fit3(&sol.s, &data.list, -1, accuracy, 0, &a, nullptr));
        }
    }
}

// One point: the list itself is the row view and must survive the fit.
TEST(SelvaneFit3, OnePointLeavesTheListIntact) {
    OwnedList data;
    PointList3_Create(&data.list, 1, 1, 0, 0, 0, 0);
    data.list.Count = 1;
    data.list.Location[0] = 1.0;
    data.list.Value[0] = 2.0;
    OwnedSolution sol;
    FitAttributes a = Attributes(FitType_Direct);
    Selvane_Fit3(&sol.s, &data.list, -1, 0.1, 0, &a, nullptr);
    EXPECT_EQ(1.0, data.list.Location[0]);
    EXPECT_EQ(2.0, data.list.Value[0]);
}

// The tracked allocator counts its blocks; at a chosen block it sets the
// abort flag, so that the fit is cancelled at the same place every run.
struct AbortAtBlock {
    static int32_t count;
    static int32_t at;
    static int32_t* flag;
    static void* Alloc(std::size_t bytes) {
        if (++count == at && flag) *flag = 1;
        return std::malloc(bytes);
    }
    static void* Realloc(void* block, std::size_t bytes) { return std::realloc(block, bytes); }
    static void Free(void* block) { std::free(block); }
};
int32_t AbortAtBlock::count = 0;
int32_t AbortAtBlock::at = -1;
int32_t* AbortAtBlock::flag = nullptr;

// The abort flag, set halfway through the fit, ends every type with status
// 1 and a solution that is either a partial fit with its accuracy or empty;
// every block the fit took is given back.
TEST(SelvaneFit3, AbortEndsEveryTypeAndGivesTheMemoryBack) {
    const MemBlockAllocator counting{AbortAtBlock::Alloc, AbortAtBlock::Realloc, AbortAtBlock::Free};
    for (int32_t type : {FitType_Direct, FitType_CentreReduction, FitType_ErrorBar, FitType_DirectGMRes}) {
        OwnedList data;
        DensityData(&data.list, Shape::Sphere, 1500, 13);
        FitAttributes a = Attributes(type);
        const double accuracy = type == FitType_ErrorBar ? 0.3 : 0.01;
        Reporter r{};
        Mem_SetBlockAllocatorForTesting(&counting);
        AbortAtBlock::count = 0;
        AbortAtBlock::at = -1;
        {
            OwnedSolution sol;
            ASSERT_EQ(0, Selvane_Fit3(&sol.s, &data.list, -1, accuracy, 64u << 20, &a, &r)) << type;
        }
        const int32_t blocks = AbortAtBlock::count;
        Mem_TrackBegin();
        const int32_t liveAtStart = Mem_CountLiveBlocks(0, 0);
        AbortAtBlock::count = 0;
        AbortAtBlock::at = blocks / 2;
        AbortAtBlock::flag = &r.abort;
        r.abort = 0;
        OwnedSolution sol;
        const int status = Selvane_Fit3(&sol.s, &data.list, -1, accuracy, 64u << 20, &a, &r);
        AbortAtBlock::flag = nullptr;
        Mem_SetBlockAllocatorForTesting(nullptr);
        EXPECT_EQ(ApiStatus_UserAbort, status) << type;
        if (sol.s.AchievedAccuracy < 0.0) {
            EXPECT_EQ(0, sol.s.CentreCount) << type;
            EXPECT_EQ(nullptr, sol.s.Coeffs) << type;
        } else {
            EXPECT_GT(sol.s.CentreCount, 0) << type;
        }
        EXPECT_EQ(liveAtStart, Mem_CountLiveBlocks(0, 0)) << type;
        Mem_TrackEnd();
    }
}

TEST(SelvaneFit2, FitsTwoDimensionalData) {
    PointList2 list{};
    ASSERT_EQ(0, PointList2_Create(&list, 1200, 1, 0, 0, 0, 0));
    std::mt19937 rng(21);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int32_t i = 0; i < 1200; ++i) {
        list.Location[2 * i] = u(rng);
        list.Location[2 * i + 1] = u(rng);
        list.Value[i] = SmoothField(&list.Location[2 * i], 2);
    }
    list.Count = 1200;
    Solution2 sol{};
    FitAttributes a = Attributes(FitType_Direct);
    ASSERT_EQ(0, Selvane_Fit2(&sol, &list, -1, 1e-3, 64u << 20, &a, nullptr));
    EXPECT_EQ(1200, sol.CentreCount);
    EXPECT_EQ(1203, sol.CoeffCount);
    const BasicFunctionKernel k = Biharmonic(2);
    double worst = 0.0;
    for (int32_t i = 0; i < 1200; i += 7) {
        const double* x = &list.Location[2 * i];
        long double v = 0.0L;
        for (int32_t j = 0; j < sol.CentreCount; ++j) {
            const double dx = x[0] - sol.Centres[2 * j], dy = x[1] - sol.Centres[2 * j + 1];
            v += sol.Coeffs[j] * k.Phi(&k, dx * dx + dy * dy);
        }
        v += sol.Coeffs[1200] + sol.Coeffs[1201] * (x[0] - sol.PolyBase[0]) +
             sol.Coeffs[1202] * (x[1] - sol.PolyBase[1]);
        worst = std::fmax(worst, std::fabs(static_cast<double>(v) - list.Value[i]));
    }
    EXPECT_LT(worst, 1e-3);
    Solution2_Free(&sol);
    PointList2_Free(&list);
}

}  // namespace
