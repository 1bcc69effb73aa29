#include "surface/fit/dd_fit_options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "surface/frame/core_reporter.h"
#include "surface/frame/status_codes.h"

namespace {

struct Lines {
    std::vector<std::pair<int, std::string>> seen;
    CoreReporter reporter;
    Lines() { CoreReporter_Init(&reporter, nullptr, nullptr, 6, 0, &Take, this); }
    static int Take(void* user, int32_t level, const char* format, va_list args) {
        char text[512];
        vsnprintf(text, sizeof text, format, args);
        static_cast<Lines*>(user)->seen.emplace_back(level, text);
        return 0;
    }
};

TEST(DDFitOptions, DefaultsPassAndDifferFromTheirPartsWhereTheFitterSaysSo) {
    DDFitOptions o;
    DDFit_DefaultOptions(&o);
    DDFit_DefaultOptions(nullptr);  // nothing to fill
    EXPECT_EQ(o.Direct.MaxCholeskySize, 850);
    EXPECT_EQ(o.DomDecomp.MaxTotalPts, 500);
    EXPECT_EQ(o.MaxIteration, 50);
    EXPECT_EQ(o.SeparateCoarseEval, -1);
    EXPECT_EQ(o.AllowUpdating, 1);
    Lines lines;
    EXPECT_EQ(DDFit_CheckOptions(&o, &lines.reporter), CoreStatus_Success);
    EXPECT_TRUE(lines.seen.empty());
}

TEST(DDFitOptions, EachFaultIsRefusedWithItsOwnLine) {
    double residual = 0;
    struct Case {
        void (*change)(DDFitOptions&);
        const char* message;
    } cases[] = {
        {[](DDFitOptions& o) { o.MaxIteration = 0; }, "MaxIteration must be positive."},
        {[](DDFitOptions& o) { o.CoarseSampleRate = 1; }, "CoarseSampleRate must be 2 or greater."},
        {[](DDFitOptions& o) { o.MaxCoarseFraction = 1.0; }, "MaxCoarseFraction must be between 0 and 1."},
        {[](DDFitOptions& o) { o.EvalAccFactor = 0.0; }, "EvalAccFactor must be between 0 and 1."},
        {[](DDFitOptions& o) { o.Smoothing = 3; }, "Smoothing flag must be 0, 1 or 2."},
        {[](DDFitOptions& o) { o.UseLambda = -1; }, "UseLambda flag must be 0, 1 or 2."},
        {[](DDFitOptions& o) { o.UseLambda = 2; }, "No Residual passed to use with UseLambda option"},
        {[](DDFitOptions& o) { o.Confidence = 0.0; }, "Confidence must be between 0 and 1."},
        {[](DDFitOptions& o) { o.DesiredRate = 1.5; }, "DesiredRate must be between 0 and 1."},
        {[](DDFitOptions& o) { o.DesiredRate = 0.0; }, "DesiredRate must be between 0 and 1."},
        {[](DDFitOptions& o) { o.RateUndoThresh = 0.9; }, "RateUndoThresh must be 1 or greater."},
        {[](DDFitOptions& o) { o.CoarseAddFrac = 0.0; }, "CoarseAddFrac must be between 0 and 1."},
        {[](DDFitOptions& o) { o.CoarseAddPeriod = 0; }, "CoarseAddPeriod must be 1 or greater."},
        {[](DDFitOptions& o) { o.MaxConvergeErrors = 0; }, "MaxConvergeErrors must be 1 or greater."},
        {[](DDFitOptions& o) { o.MinAlpha = 0.6; }, "MinAlpha must be less than 0.5."},
        {[](DDFitOptions& o) { o.MPipeStopLevel = 0; }, "MPipeStopLevel must be 1 or greater."},
        {[](DDFitOptions& o) { o.DomDecomp.MaxPoints = 500; },
         "Max cholesky size must be at least twice the subdomain size."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        DDFitOptions o;
        DDFit_DefaultOptions(&o);
        c.change(o);
        Lines lines;
        EXPECT_EQ(DDFit_CheckOptions(&o, &lines.reporter), CoreStatus_InvalidInput);
        ASSERT_EQ(lines.seen.size(), 1u);
        EXPECT_EQ(lines.seen[0].first, 1);
        EXPECT_EQ(lines.seen[0].second, c.message);
    }
    // The residual satisfies the start from a passed residual.
    DDFitOptions o;
    DDFit_DefaultOptions(&o);
    o.UseLambda = 2;
    o.Residual = &residual;
    EXPECT_EQ(DDFit_CheckOptions(&o, nullptr), CoreStatus_Success);
}

TEST(DDFitOptions, PartsAreCheckedByTheirOwnRulesAndASmallBottomWarns) {
    DDFitOptions o;
    DDFit_DefaultOptions(&o);
    o.DomDecomp.MallocRatio = 0.5;  // the decomposition's own check refuses it
    Lines refused;
    EXPECT_EQ(DDFit_CheckOptions(&o, &refused.reporter), CoreStatus_InvalidInput);
    ASSERT_EQ(refused.seen.size(), 1u);
    EXPECT_EQ(refused.seen[0].first, 1);

    DDFit_DefaultOptions(&o);
    o.Direct.MaxCholeskySize = 50;
    o.DomDecomp.MaxPoints = 20;
    Lines warned;
    EXPECT_EQ(DDFit_CheckOptions(&o, &warned.reporter), CoreStatus_Success);
    ASSERT_EQ(warned.seen.size(), 1u);
    EXPECT_EQ(warned.seen[0].first, 2);
    EXPECT_EQ(warned.seen[0].second, "Max cholesky size is rather small (less than 100).");
}

}  // namespace
