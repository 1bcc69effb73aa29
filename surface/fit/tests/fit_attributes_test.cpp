#include "surface/fit/fit_attributes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "surface/frame/tests/capturing_reporter.h"

namespace {

FitAttributes Defaults() {
    FitAttributes a;
    SetFitAttrDefaults(&a);
    return a;
}

// The labels of the value lines, in order.
std::vector<std::string> Labels(const CapturingReporter& r) {
    std::vector<std::string> labels;
    for (const auto& line : r.lines) labels.push_back(line.text.substr(0, line.text.find(':')));
    return labels;
}

TEST(FitAttributes, DefaultsAreValidInBothDimensions) {
    EXPECT_EQ(SetFitAttrDefaults(nullptr), nullptr);
    FitAttributes a = Defaults();
    EXPECT_EQ(a.FitType, FitType_ErrorBar);
    EXPECT_EQ(a.PolyDegree, 1);
    EXPECT_EQ(a.BasicFunc.K, 1);
    CapturingReporter r(6);
    EXPECT_NE(CheckFitAttributes(3, &a, &r.reporter), 0);
    EXPECT_NE(CheckFitAttributes(2, &a, &r.reporter), 0);
    EXPECT_TRUE(r.lines.empty());
}

TEST(FitAttributes, EachFaultGivesOneErrorLine) {
    struct Case {
        void (*change)(FitAttributes&);
        const char* message;  // null: the basic function's own message
    } cases[] = {
        {[](FitAttributes& a) { a.Rho = -1e-9; }, "Rho smoothing value must be positive."},
        {[](FitAttributes& a) { a.Confidence = 1.01; }, "Confidence value must be between 0 and 1."},
        {[](FitAttributes& a) { a.ReductionThresh = -0.1; }, "ReductionThresh value must be between 0 and 1."},
        {[](FitAttributes& a) { a.PolyDegree = 3; }, "Polynomial degree value is out of range."},
        {[](FitAttributes& a) { a.FitAccFactor = 0.0; }, "FitAccFactor must be between 0 and 0.2."},
        {[](FitAttributes& a) { a.FitAccFactor = 0.21; }, "FitAccFactor must be between 0 and 0.2."},
        {[](FitAttributes& a) { a.BasicFunc.Type = 9; }, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message ? c.message : "basic function");
        FitAttributes a = Defaults();
        c.change(a);
        CapturingReporter r(6);
        EXPECT_EQ(CheckFitAttributes(3, &a, &r.reporter), 0);
        ASSERT_EQ(r.lines.size(), 1u);
        EXPECT_EQ(r.lines[0].level, 1);
        if (c.message) {
            EXPECT_EQ(r.lines[0].text, c.message);
        }
    }
    CapturingReporter r(6);
    EXPECT_EQ(CheckFitAttributes(3, nullptr, &r.reporter), 0);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0].text, "Fit attribute argument is NULL.");
    // Both ends of the closed ranges pass.
    FitAttributes edges = Defaults();
    edges.Confidence = 0.0;
    edges.ReductionThresh = 1.0;
    edges.FitAccFactor = 0.2;
    edges.PolyDegree = 2;
    EXPECT_NE(CheckFitAttributes(3, &edges, nullptr), 0);
}

TEST(FitAttributes, InfoLinesFollowTheFitType) {
    struct Case {
        const char* name;
        void (*change)(FitAttributes&);
        int dimension;
        std::vector<std::string> labels;
    } cases[] = {
        {"error bar",
         [](FitAttributes&) {},
         3,
         {"Basic Function", "Fit Type", "Fit Acc Factor", "Allow Redundant", "Polynomial Degree",
          "Accuracy Confidence"}},
        {"reduction with smoothing and scaling",
         [](FitAttributes& a) {
             a.FitType = FitType_CentreReduction;
             a.Rho = 0.5;
             a.UseSpatialScaling = 1;
         },
         2,
         {"Basic Function", "Fit Type", "Reduction Threshold", "Rho Value", "Polynomial Degree", "Accuracy Confidence",
          "Spatial Scaling"}},
        {"multiquadric parameters, invalid type",
         [](FitAttributes& a) {
             a.FitType = 7;
             a.BasicFunc.Type = 2;
         },
         3,
         {"Basic Function", "Basic Func Param", "Basic Func Param 2", "Fit Type", "Polynomial Degree",
          "Accuracy Confidence"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FitAttributes a = Defaults();
        c.change(a);
        CapturingReporter r(5);
        if (c.dimension == 3)
            PrintFitAttributes3(&a, "Biharmonic", &r.reporter);
        else
            PrintFitAttributes2(&a, "Biharmonic", &r.reporter);
        EXPECT_EQ(Labels(r), c.labels);
    }
    FitAttributes a = Defaults();
    a.FitType = 7;
    CapturingReporter r(5);
    PrintFitAttributes3(&a, "x", &r.reporter);
    ASSERT_GE(r.lines.size(), 2u);
    EXPECT_NE(r.lines[1].text.find("Invalid"), std::string::npos);
}

}  // namespace
