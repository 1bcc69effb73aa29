#include "surface/fit/rad_fit_fgmres_options.h"

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

TEST(RadFitFGMResOptions, DefaultsPass) {
    RadFitFGMResOptions o;
    RadFitFGMRes_DefaultOptions(&o);
    EXPECT_EQ(o.Bottom.MaxCholeskySize, 1000);
    EXPECT_EQ(o.DomDecomp.MallocRatio, 1.0);
    EXPECT_EQ(o.Solver.MaxIteration, 50);
    EXPECT_EQ(o.Solver.MaxSaved, 4);
    Lines lines;
    EXPECT_EQ(RadFitFGMRes_CheckOptions(&o, &lines.reporter), CoreStatus_Success);
    EXPECT_TRUE(lines.seen.empty());
}

TEST(RadFitFGMResOptions, EachFaultIsRefusedWithItsOwnLine) {
    struct Case {
        void (*change)(RadFitFGMResOptions&);
        const char* message;  // null: a part's own message, not checked here
    } cases[] = {
        {[](RadFitFGMResOptions& o) { o.Solver.MaxIteration = 0; }, "MaxIteration must be positive (0)"},
        {[](RadFitFGMResOptions& o) { o.Bottom.MaxCholeskySize = 1; }, nullptr},
        {[](RadFitFGMResOptions& o) { o.DomDecomp.MallocRatio = 0.5; }, nullptr},
        {[](RadFitFGMResOptions& o) { o.CoarseSampleRate = 1; }, "CoarseSampleRate must be 2 or greater."},
        {[](RadFitFGMResOptions& o) { o.LevelAccFactor = 0.6; }, "LevelAccFactor must be between 0 and 0.5."},
        {[](RadFitFGMResOptions& o) { o.MinimumRate = 0.0; }, "MinimumRate must be between 0 and 1."},
        {[](RadFitFGMResOptions& o) { o.AddFraction = -0.1; }, "AddFraction must be between 0 and 1."},
        {[](RadFitFGMResOptions& o) { o.MaxCoarseSize = 0.1; },
         "MaxCoarseSize must be larger than coarse sample rate."},
        {[](RadFitFGMResOptions& o) { o.MaxCoarseSize = 0.7; }, "MaxCoarseSize must be 1.0-AddFraction or less."},
        {[](RadFitFGMResOptions& o) { o.CoarseAddPeriod = 0; }, "CoarseAddPeriod must be at least 1."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message ? c.message : "a part's own check");
        RadFitFGMResOptions o;
        RadFitFGMRes_DefaultOptions(&o);
        c.change(o);
        Lines lines;
        EXPECT_EQ(RadFitFGMRes_CheckOptions(&o, &lines.reporter), CoreStatus_InvalidInput);
        ASSERT_EQ(lines.seen.size(), 1u);
        EXPECT_EQ(lines.seen[0].first, 1);
        if (c.message) {
            EXPECT_EQ(lines.seen[0].second, c.message);
        }
    }
}

}  // namespace
