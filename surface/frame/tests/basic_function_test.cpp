#include "surface/frame/basic_function.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "surface/frame/core_reporter.h"

namespace {

struct Capture {
    std::vector<std::string> lines;
    CoreReporter core{};
    explicit Capture(int32_t level = 1) {
        CoreReporter_Init(&core, nullptr, nullptr, level, 0, &Capture::Record, this);
    }
    static int Record(void* user, int32_t level, const char* format, va_list args) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        EXPECT_EQ(1, level);
        static_cast<Capture*>(user)->lines.push_back(text);
        return 0;
    }
};

struct Case {
    int32_t type, dim, degree;
    double c;
    int32_t beta;
    int status;
    const char* message;  // the one error line, or "" for none
    const char* name;     // the chosen row on success
    int32_t polyDegree, polyTerms, sign;
};

const double kNaN = std::numeric_limits<double>::quiet_NaN();

const Case kCases[] = {
    // The multiquadric family: the row and the exponent rules.
    {2, 3, -2, 1.0, 1, 0, "", "3D Multiquadric", 0, 1, -1},
    {2, 3, -2, 1.0, -1, 0, "", "3D Inverse Multiquadric", -1, 0, 1},
    {2, 3, -2, 1.0, 3, 0, "", "Generalized Multiquadric", 1, 4, 1},
    {2, 2, -2, 1.0, 5, 0, "", "Generalized Multiquadric", 2, 6, -1},
    {2, 3, -2, 1.0, 7, 5, "Multiquadric exponent must be 5 or less", nullptr, 0, 0, 0},
    {2, 3, -2, 1.0, 2, 5, "Multiquadric exponent must be odd", nullptr, 0, 0, 0},
    {2, 3, -2, 0.0, -3, 5, "Multiquadric constant must be positive with negative exponents", nullptr, 0, 0, 0},
    {2, 3, 1, 0.0, 3, 0, "", "Generalized Multiquadric", 1, 4, 1},
    {6, 3, -2, 0.0, 1, 5, "Normalized Inverse Multiquadric constant must be positive", nullptr, 0, 0, 0},
    {6, 3, -2, 1.0, 2, 5, "Normalized Inverse Multiquadric exponent must be odd", nullptr, 0, 0, 0},
    {6, 3, 2, 1.0, 7, 5, "Polynomial degree too low (2). Degree 3 required", nullptr, 0, 0, 0},
    {6, 3, -2, 1.0, 7, 5, "Degree of polynomial too large (3). Must be 2 or less", nullptr, 0, 0, 0},
    {6, 2, -2, 2.0, -5, 0, "", "Normalized Multiquadric", -1, 0, 1},
    // Gaussian: positive definite, so its smoothing shift adds (+1).
    {3, 2, -2, 0.8, 0, 0, "", "Gaussian", 1, 3, 1},
    {3, 3, -2, 0.0, 0, 5, "Gaussian constant must be positive", nullptr, 0, 0, 0},
    {3, 3, -2, kNaN, 0, 5, "Gaussian constant must be positive", nullptr, 0, 0, 0},
    // Polyharmonic kernels and their degrees.
    {0, 3, 2, 0.0, 0, 0, "", "3D Biharmonic", 2, 10, -1},
    {0, 3, -2, 0.0, 0, 0, "", "3D Biharmonic", 1, 4, -1},
    {0, 2, 1, 0.0, 0, 0, "", "2D Biharmonic", 1, 3, 1},
    {0, 3, -1, 0.0, 0, 5, "Polynomial degree too low (-1). Degree 0 required", nullptr, 0, 0, 0},
    {1, 2, 1, 0.0, 0, 5, "Polynomial degree too low (1). Degree 2 required", nullptr, 0, 0, 0},
    {1, 3, -2, 0.0, 0, 0, "", "3D Triharmonic", 2, 10, 1},
    {4, 2, -2, -3.0, 0, 0, "", "2D Shifted Biharmonic", 1, 3, 1},
    {5, 2, -2, 0.0, 0, 0, "", "2D Shifted Triharmonic", 2, 6, -1},
    {4, 3, -2, 1.0, 0, 7, "Shifted Biharmonic not implemented in specified dimension (3)", nullptr, 0, 0, 0},
    {5, 3, -2, 1.0, 0, 7, "Shifted Triharmonic not implemented in specified dimension (3)", nullptr, 0, 0, 0},
    // Compactly supported and approximately spherical kernels.
    {8, 3, -2, 1.0, 0, 0, "", "3D Spherical", 1, 4, 1},
    {8, 2, -2, 1.0, 0, 7, "Spherical not implemented in specified dimension (2)", nullptr, 0, 0, 0},
    {8, 2, -2, 0.0, 0, 5, "Spherical constant must be positive", nullptr, 0, 0, 0},
    {7, 2, -2, 1.0, -9, 0, "", "Approximate Spherical", 0, 1, 1},
    {7, 3, -1, 1.0, -1, 0, "", "Approximate Spherical", -1, 0, 1},
    {7, 3, -2, 1.0, 1, 5, "ApproxSpherical exponent must be negative and odd", nullptr, 0, 0, 0},
    {7, 3, -2, 1.0, -2, 5, "ApproxSpherical exponent must be negative and odd", nullptr, 0, 0, 0},
    {7, 3, -2, 0.0, -9, 5, "ApproxSpherical constant must be positive", nullptr, 0, 0, 0},
    // Checks before the type is looked at.
    {99, 1, 5, 1.0, 0, 7, "Dimension out of range", nullptr, 0, 0, 0},
    {0, 4, 0, 1.0, 0, 7, "Dimension out of range", nullptr, 0, 0, 0},
    {99, 3, 3, 1.0, 0, 5, "Degree of polynomial too large (3). Must be 2 or less", nullptr, 0, 0, 0},
    {9, 3, -2, 1.0, 0, 12, "Invalid basic function type", nullptr, 0, 0, 0},
    {-1, 3, -2, 1.0, 0, 12, "Invalid basic function type", nullptr, 0, 0, 0},
};

bool AllZero(const BasicFunctionKernel& k) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&k);
    for (size_t i = 0; i < sizeof k; ++i)
        if (p[i]) return false;
    return true;
}

TEST(BasicFunctionInit, RequestTable) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " dim " << c.dim << " degree " << c.degree << " c "
                                        << c.c << " beta " << c.beta);
        Capture capture;
        BasicFunctionKernel k;
        std::memset(&k, 0x5A, sizeof k);
        const int status = BasicFunction_Init(c.type, c.dim, c.degree, c.c, c.beta, &k, &capture.core);
        EXPECT_EQ(c.status, status);
        if (*c.message) {
            ASSERT_EQ(1u, capture.lines.size());
            EXPECT_EQ(c.message, capture.lines[0]);
        } else {
            EXPECT_TRUE(capture.lines.empty());
        }
        if (status == 0) {
            EXPECT_STREQ(c.name, k.Name);
            EXPECT_EQ(c.polyDegree, k.PolyDegree);
            EXPECT_EQ(c.polyTerms, k.PolyTerms);
            EXPECT_EQ(c.sign, k.Sign);
            EXPECT_EQ(c.dim, k.Dim);
            EXPECT_NE(nullptr, k.Multiply);
        } else if (status == 12 || std::strstr(c.message, "not implemented")) {
            EXPECT_TRUE(AllZero(k));
        } else if (!std::strstr(c.message, "Degree ")) {
            // Early and parameter failures leave the record as it was.
            const unsigned char* p = reinterpret_cast<const unsigned char*>(&k);
            for (size_t i = 0; i < sizeof k; ++i) ASSERT_EQ(0x5A, p[i]);
        }
    }
}

TEST(BasicFunctionInit, QuietWithoutASpeakingReporter) {
    BasicFunctionKernel k;
    EXPECT_EQ(7, BasicFunction_Init(0, 1, 0, 0.0, 0, &k, nullptr));
    Capture silent(0);
    EXPECT_EQ(7, BasicFunction_Init(0, 1, 0, 0.0, 0, &k, &silent.core));
    EXPECT_TRUE(silent.lines.empty());
    CoreReporter noCallback{};
    noCallback.maximumLevel = 6;
    EXPECT_EQ(12, BasicFunction_Init(42, 2, 0, 0.0, 0, &k, &noCallback));
}

TEST(BasicFunctionInit, DerivedConstants) {
    BasicFunctionKernel k;
    ASSERT_EQ(0, BasicFunction_Init(7, 3, -2, 1.0, -9, &k, nullptr));
    const double R = 1.0 / std::sqrt(10.0);
    EXPECT_DOUBLE_EQ(R, k.JoinRadius);
    EXPECT_DOUBLE_EQ(-9.0 * R / 2.0, k.Factor);
    EXPECT_DOUBLE_EQ(2.0 * std::pow(1.1, -5.5), k.TailDivisor);
    EXPECT_EQ(1.0, k.Param);
    EXPECT_EQ(-9, k.Exponent);

    ASSERT_EQ(0, BasicFunction_Init(6, 3, -2, 2.0, 3, &k, nullptr));
    EXPECT_DOUBLE_EQ(0.125, k.Factor);
    ASSERT_EQ(0, BasicFunction_Init(0, 3, 1, 5.0, 3, &k, nullptr));
    EXPECT_EQ(0.0, k.Param);  // nothing stored for the polyharmonic kernels
    EXPECT_EQ(0, k.Exponent);
}

TEST(BasicFunctionNames, NamesShortNamesAndMinimumDegrees) {
    const char* names[] = {"Biharmonic",
                           "Triharmonic",
                           "Multiquadric",
                           "Gaussian",
                           "Shifted Biharmonic",
                           "Shifted Triharmonic",
                           "Normalized Multiquadric",
                           "Approximate Spherical",
                           "Spherical"};
    for (int t = 0; t < 9; ++t) EXPECT_STREQ(names[t], BasicFunction_Name(t));
    EXPECT_EQ(nullptr, BasicFunction_Name(9));
    EXPECT_EQ(nullptr, BasicFunction_Name(-1));

    struct Short {
        int type, dim;
        const char* name;
    } shorts[] = {{0, 2, "biphi2"}, {0, 3, "biphi3"},  {1, 2, "triphi2"}, {1, 3, "triphi3"}, {2, 2, "multi"},
                  {3, 3, nullptr},  {4, 2, "sbiphi2"}, {4, 3, nullptr},   {5, 2, nullptr},   {6, 3, "nmulti"},
                  {7, 2, nullptr},  {8, 3, nullptr},   {12, 2, nullptr}};
    for (const Short& s : shorts) EXPECT_STREQ(s.name, BasicFunction_ShortName(s.type, s.dim));

    struct Min {
        int type, dim, beta, degree;
    } mins[] = {{0, 2, 0, 1}, {0, 3, 0, 0},   {0, 4, 0, 3}, {1, 2, 0, 2},  {1, 3, 0, 1},   {2, 3, 5, 2},
                {2, 3, 1, 0}, {2, 3, -1, -1}, {6, 2, 7, 3}, {3, 2, 0, -1}, {7, 3, -9, -1}, {8, 2, 0, -1},
                {4, 2, 0, 1}, {4, 3, 0, 3},   {5, 2, 0, 2}, {5, 3, 0, 3},  {9, 3, 0, 3}};
    for (const Min& m : mins)
        EXPECT_EQ(m.degree, BasicFunction_MinPolyDegree(m.type, m.dim, m.beta))
            << m.type << " " << m.dim << " " << m.beta;
}

}  // namespace
