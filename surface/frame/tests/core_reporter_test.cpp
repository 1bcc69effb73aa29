#include "surface/frame/core_reporter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Line {
    int32_t level;
    std::string text;
};

struct Capture {
    std::vector<Line> lines;
    CoreReporter core{};

    explicit Capture(int32_t level = 6) {
        CoreReporter_Init(&core, nullptr, nullptr, level, 0, &Capture::Record, this);
    }
    static int Record(void* user, int32_t level, const char* format, va_list args) {
        char text[1024];
        std::vsnprintf(text, sizeof(text), format, args);
        static_cast<Capture*>(user)->lines.push_back({level, text});
        return 42;
    }
    std::string Only() const {
        return lines.size() == 1 ? lines[0].text : "<" + std::to_string(lines.size()) + " lines>";
    }
};

TEST(CoreReporter, InitStoresTheFieldsInOrderAndOpensEveryCategoryForMaskZero) {
    int32_t abort = 0;
    double progress = 0.0;
    CoreReporter core;
    CoreReporter_Init(&core, &abort, &progress, 2, 0, &Capture::Record, &abort);
    EXPECT_EQ(core.abort, &abort);
    EXPECT_EQ(core.progress, &progress);
    EXPECT_EQ(core.maximumLevel, 2);
    EXPECT_EQ(core.categoryMask, -1);
    EXPECT_EQ(core.user, &abort);
    EXPECT_TRUE(CoreReporter_SpeaksIn(&core, 2, kCategoryFgmresSolver));
    EXPECT_FALSE(CoreReporter_Speaks(&core, 3));

    CoreReporter_Init(&core, &abort, &progress, 5, kCategoryDirectFit, &Capture::Record, nullptr);
    EXPECT_TRUE(CoreReporter_SpeaksIn(&core, 5, kCategoryDirectFit));
    EXPECT_FALSE(CoreReporter_SpeaksIn(&core, 5, kCategoryDecomposition));
    EXPECT_FALSE(CoreReporter_SpeaksIn(&core, 6, kCategoryDirectFit));
    core.callback = nullptr;
    EXPECT_FALSE(CoreReporter_Speaks(&core, 1));
    EXPECT_FALSE(CoreReporter_Speaks(nullptr, 1));

    CoreReporter_SetProgress(&core, 0.75);
    EXPECT_EQ(progress, 0.75);
    EXPECT_FALSE(CoreReporter_AbortRequested(&core));
    abort = 1;
    EXPECT_TRUE(CoreReporter_AbortRequested(&core));
}

TEST(CoreReporter, FixedLevelMessagesReturnTheCallbacksResult) {
    Capture capture;
    EXPECT_EQ(CoreReporter_Error(&capture.core, "e %d", 1), 42);
    CoreReporter_Warning(&capture.core, "w");
    CoreReporter_Success(&capture.core, "s");
    CoreReporter_Info(&capture.core, "i");
    CoreReporter_Debug(&capture.core, "d %s", "x");
    ASSERT_EQ(capture.lines.size(), 5u);
    const int32_t levels[] = {1, 2, 3, 5, 6};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(capture.lines[i].level, levels[i]);
    EXPECT_EQ(capture.lines[4].text, "d x");
}

TEST(CoreReporter, TimingLines) {
    struct Case {
        int32_t milliseconds;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {1234, "Solve 1.23s"},
        {59999, "Solve 60.00s"},  // the short form is chosen on the unrounded time
        {60000, "Solve  1:00.00s (60.00s)"},
        {60999, "Solve  1:01.00s (61.00s)"},  // hundredths never print as 100
        {754321, "Solve 12:34.32s (754.32s)"},
        {3600000, "Solve 1:00:00.00s (3600.00s)"},
        {3723450, "Solve 1:02:03.45s (3723.45s)"},
    };
    for (const Case& c : cases) {
        Capture capture;
        CoreReporter_Elapsed(&capture.core, "Solve", c.milliseconds);
        EXPECT_EQ(capture.Only(), c.expected) << c.milliseconds;
        EXPECT_EQ(capture.lines[0].level, 3);
    }
}

TEST(CoreReporter, SuccessElapsedFormatsTheMessageThenTheTime) {
    Capture capture;
    CoreReporter_SuccessElapsed(&capture.core, "Fitted %d centres of %s", 61000, 40, "50% done");
    EXPECT_EQ(capture.Only(), "Fitted 40 centres of 50% done  1:01.00s (61.00s)");

    capture.lines.clear();
    const std::string longMessage(400, 'm');
    CoreReporter_SuccessElapsed(&capture.core, "%s", 500, longMessage.c_str());
    EXPECT_EQ(capture.Only(), std::string(255, 'm') + " 0.50s");
}

TEST(CoreReporter, WhereNamesTheFileAfterItsLastBackslash) {
    struct Case {
        std::string path;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"C:\\build\\fit\\ddfit.c", "ddfit.c(42):"},
        {"surface/fit/ddfit.c", "surface/fit/ddfit.c(42):"},
        {"C:\\odd\\100%.c", "100%.c(42):"},
        {std::string(300, 'p'), std::string(255, 'p')},
    };
    for (const Case& c : cases) {
        Capture capture;
        EXPECT_EQ(CoreReporter_Where(&capture.core, 2, c.path.c_str(), 42), 1);
        EXPECT_EQ(capture.Only(), c.expected);
        EXPECT_EQ(capture.lines[0].level, 2);
    }
}

TEST(CoreReporter, ValueAndVectorLinesStartTheirValuesAtColumnThirty) {
    Capture capture;
    CoreReporter_Value(&capture.core, "Accuracy", "%.3g", 0.001);
    EXPECT_EQ(capture.Only(), "Accuracy:                     0.001");
    EXPECT_EQ(capture.lines[0].level, 5);

    capture.lines.clear();
    const double values[] = {1.0, 0.5, 123456.0, -2.25e-7};
    CoreReporter_Vector(&capture.core, "Errors", 4, values);
    EXPECT_EQ(capture.Only(), "Errors:                       1 0.5 1.235e+05 -2.25e-07 ");

    capture.lines.clear();
    const int32_t counts[] = {3, -1, 70};
    CoreReporter_IntVector(&capture.core, std::string(40, 'L').c_str(), 3, counts);
    EXPECT_EQ(capture.Only(), std::string(30, 'L') + "3 -1 70 ");
}

TEST(CoreReporter, VectorLinesStopAtOneHundredSixtyCharacters) {
    Capture capture;
    std::vector<double> values(200, 1.0 / 3.0);  // "0.3333 " is 7 characters
    CoreReporter_Vector(&capture.core, "Many", static_cast<int32_t>(values.size()), values.data());
    const std::string line = capture.Only();
    EXPECT_LE(line.size(), 160u);
    EXPECT_EQ(line.size(), 30u + 7u * 18u);
    EXPECT_EQ(line.substr(line.size() - 7), "0.3333 ");
}

}  // namespace
