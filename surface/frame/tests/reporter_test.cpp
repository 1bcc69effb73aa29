#include "surface/frame/operation_numbers.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"

#include "surface/frame/tests/capturing_reporter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(StatusCodes, EveryCoreCodeMapsToItsApiCodeAndReportsItsMessage) {
    const char* unexpected = "Unexpected status value encountered";
    struct Case {
        int32_t core;
        const char* name;
        int32_t api;
        const char* message;  // null: nothing reported
    };
    const std::vector<Case> cases = {
        {-1, "Unknown Status", 3, unexpected},
        {0, "Success", 0, nullptr},
        {1, "Failure", 3, "Miscellaneous internal failure"},
        {2, "No Memory", 2, "Internal memory allocation failure"},
        {3, "Negative Cholesky Pivot", 3, "Internal matrix not definite"},
        {4, "Data Linear Dependancy", 21, "Data linearly dependant"},
        {5, "Invalid Input", 3, "Internal invalid function call arguments"},
        {6, "Not Enough Points", 17, "Insufficient interpolation points to solve RBF equations"},
        {7, "Invalid Dimension", 3, "Internal invalid dimension encountered"},
        {8, "File IO Failure", 3, unexpected},
        {9, "No Convergence", 18, "RBF fitter repeatedly failed convergence tests"},
        {10, "User Abort", 1, "Function aborted by user"},
        {11, "Reached Max Iteration", 19, "RBF fitter reached internal max iteration count"},
        {12, "Invalid Basic Function ID", 3, "Internal invalid RBF basic function encountered"},
        {13, "Multi-Threading Failure", 3, unexpected},
        {14, "Duplicate Data Points", 20, "Duplicate points found"},
        {15, "Memory Pool Full", 3, unexpected},
        {16, "Divide by zero encountered", 3, "Internal matrix not definite"},
        {17, "Negative Accuracy Passed", 7, "Internal negative accuracy encountered"},
        {18, "Subdomain Not Updated", 3, unexpected},
        {19, "Fitter Returned Trivial Solution", 22,
         "All interpolation values less than specified accuracy. trivial solution"},
        {20, "Early Line Search Termination", 3, unexpected},
        {21, "Bad Search Function", 3, unexpected},
        {22, "Tree Depth limit encountered", 3, unexpected},
        {23, "Required pointer argument was NULL", 3, unexpected},
        {24, "Distance value was negative", 3, unexpected},
        {25, "Mesh was not manifold", 14, unexpected},
        {26, "Size value was not positive", 3, unexpected},
        {27, "Mesh face ordering was inconsistent", 14, unexpected},
        {28, "Required method is not present (function pointer is NULL)", 3, unexpected},
        {29, "Count or index value was negative", 3, unexpected},
        {30, "Index out of range", 3, unexpected},
        {31, "Unknown Status", 3, unexpected},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(CoreStatus_Name(c.core), c.name) << c.core;
        EXPECT_EQ(CoreStatus_ToApiStatus(c.core), c.api) << c.core;
        CapturingReporter capture(1);
        CoreStatus_Report(&capture.reporter, c.core);
        if (c.message) {
            const std::vector<CapturedLine> expected = {{1, c.message}};
            EXPECT_EQ(capture.lines, expected) << c.core;
        } else {
            EXPECT_TRUE(capture.lines.empty()) << c.core;
        }
    }
    CoreStatus_Report(nullptr, 5);
}

TEST(StatusCodes, ApiTextsAtTheEdgesOfTheTable) {
    const std::vector<std::pair<int32_t, const char*>> cases = {
        {-1, "Unknown status code"},
        {0, "Success"},
        {1, "User abort"},
        {9, "Too few grid arguments passed"},
        {24, "Could not find the surface from any seed"},
        {25, "Reserved status code"},
        {26, "File open failed"},
        {29, "File is missing %TAVIR-x.y header"},
        {36, "File item missing or wrong size"},
        {37, "Unknown status code"},
        {1000000, "Unknown status code"},
    };
    for (const auto& c : cases) EXPECT_STREQ(Status_Message(c.first), c.second) << c.first;
}

TEST(OperationNumbers, NamesSkipOperationFifteen) {
    struct Case {
        int32_t index;
        const char* name;
    };
    for (const Case& c : std::vector<Case>{{0, "None"},
                                           {1, "Complete"},
                                           {14, "Selvane_CheckMesh3"},
                                           {15, "Selvane_MakeConsistentMesh3"},
                                           {Op_Isosurf3 - 1, "Selvane_Isosurf3"},
                                           {67, "Selvane_Iges_Save"},
                                           {68, "User Function"},
                                           {69, nullptr},
                                           {-1, nullptr}}) {
        if (c.name) {
            EXPECT_STREQ(Reporter_OperationName(c.index), c.name) << c.index;
        } else {
            EXPECT_EQ(Reporter_OperationName(c.index), nullptr) << c.index;
        }
    }
}

TEST(OperationNumbers, ProgressTexts) {
    const std::vector<std::pair<int32_t, const char*>> cases = {
        {-5, "Unknown function"},           {0, "Unknown function"},  {1, "Unknown function"},
        {2, "Removing overlapping points"}, {9, "Fitting RBF"},       {15, "Splitting mesh into parts"},
        {16, "Making mesh consistent"},     {30, "Unknown function"}, {68, "Saving Iges format mesh"},
        {69, "Unknown function"},           {70, "Unknown function"},
    };
    for (const auto& c : cases) EXPECT_STREQ(Reporter_OperationText(c.first), c.second) << c.first;
}

TEST(Reporter, OperationThirtyAnnouncesAndFinishesAsUnknown) {
    CapturingReporter capture(3);
    Reporter_BeginOperation(&capture.reporter, Op_RemoveNonMeshPoints3);
    Reporter_EndOperation(&capture.reporter);
    const std::vector<CapturedLine> expected = {{3, "Unknown function"}, {3, "Finished unknown function"}};
    EXPECT_EQ(capture.lines, expected);
    EXPECT_EQ(capture.formats[0], "Unknown function");
    EXPECT_EQ(capture.formats[1], "Finished %c%s");
}

TEST(Reporter, LevelNamesAndCoreLevels) {
    const std::vector<std::pair<int32_t, const char*>> names = {{-3, "silent"}, {0, "silent"},  {1, "error"},
                                                                {2, "warning"}, {3, "success"}, {4, "progress"},
                                                                {5, "info"},    {6, "debug"},   {9, "debug"}};
    for (const auto& c : names) EXPECT_STREQ(Reporter_LevelName(c.first), c.second) << c.first;
    const std::vector<std::pair<int32_t, int32_t>> core = {{-1, 0}, {0, 0}, {1, 1}, {2, 2}, {3, 2},
                                                           {4, 2},  {5, 5}, {6, 5}, {7, 0}};
    for (const auto& c : core) EXPECT_EQ(Reporter_CoreLevel(c.first), c.second) << c.first;
}

TEST(Reporter, MessagesPassOnlyUpToTheMaximumLevel) {
    CapturingReporter capture(2);
    Reporter_Error(&capture.reporter, "e%d", 1);
    Reporter_Warning(&capture.reporter, "w%d", 2);
    Reporter_Success(&capture.reporter, "s");
    Reporter_Info(&capture.reporter, "i");
    Reporter_Debug(&capture.reporter, "d");
    Reporter_AtLevel(&capture.reporter, 0, "silent level %s", "passes");
    Reporter_Value(&capture.reporter, "Label", "%d", 3);
    const std::vector<CapturedLine> expected = {{1, "e1"}, {2, "w2"}, {0, "silent level passes"}};
    EXPECT_EQ(capture.lines, expected);

    // The forwarder of the core messenger does not look at the level.
    capture.lines.clear();
    va_list none{};
    Reporter_Forward(&capture.reporter, 6, "forwarded", none);
    Reporter_Forward(nullptr, 6, "dropped", none);
    const std::vector<CapturedLine> forwarded = {{6, "forwarded"}};
    EXPECT_EQ(capture.lines, forwarded);
}

TEST(Reporter, ValueLinesPutTheValueAtColumnTwentyFive) {
    struct Case {
        std::string label;
        const char* format;
        std::string expected;
    };
    const std::string label24(24, 'x');
    const std::string label25 = std::string(24, 'y') + "Z";
    const std::vector<Case> cases = {
        {"Peak Memory Used", "%dMB", "Peak Memory Used:        7MB"},
        {"", "%dMB", ":                        7MB"},
        {std::string(23, 'a'), "%dMB", std::string(23, 'a') + ": 7MB"},
        {label24, "%dMB", label24 + ":7MB"},
        {label25, "%dMB", label25 + "7MB"},
        {label25 + "tail", "%dMB", label25 + "7MB"},
        {"100% sure", "%dMB", "100% sure:               7MB"},
    };
    for (const Case& c : cases) {
        CapturingReporter capture(5);
        Reporter_Value(&capture.reporter, c.label.c_str(), c.format, 7);
        ASSERT_EQ(capture.lines.size(), 1u);
        EXPECT_EQ(capture.lines[0], (CapturedLine{5, c.expected})) << c.label;
    }
}

TEST(Reporter, ValueFormatsAreCutAtOneHundredTwentyEightCharacters) {
    CapturingReporter capture(5);
    const std::string longText(200, 'v');
    Reporter_Value(&capture.reporter, "Long", longText.c_str());
    ASSERT_EQ(capture.lines.size(), 1u);
    EXPECT_EQ(capture.lines[0].text.size(), 25u + 128u);

    // A cut through a conversion drops the conversion instead of leaving a
    // broken one at the end.
    capture.lines.clear();
    const std::string cut = std::string(126, 'w') + "%.3f";
    Reporter_Value(&capture.reporter, "Cut", cut.c_str(), 1.5);
    ASSERT_EQ(capture.lines.size(), 1u);
    EXPECT_EQ(capture.lines[0].text, "Cut:                     " + std::string(126, 'w'));
}

}  // namespace
