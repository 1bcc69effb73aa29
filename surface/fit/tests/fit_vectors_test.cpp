#include "surface/fit/fit_vectors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "surface/frame/status_codes.h"
#include "surface/frame/tests/capturing_reporter.h"

namespace {

TEST(ReplaceBadValues, AFloorRaisesLowEntriesWithOneWarning) {
    std::vector<double> v{0.5, -1.0, 0.01, NAN, 2.0};
    CapturingReporter r(6);
    EXPECT_EQ(ReplaceBadValues(5, v.data(), "Accuracy per point", 0.1, &r.reporter), ApiStatus_Success);
    EXPECT_EQ(v, (std::vector<double>{0.5, 0.1, 0.1, 0.1, 2.0}));
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0], (CapturedLine{2, "3 entries in Accuracy per point vector replaced with 0.1"}));

    CapturingReporter quiet(6);
    EXPECT_EQ(ReplaceBadValues(5, v.data(), "Accuracy per point", 0.05, &quiet.reporter), ApiStatus_Success);
    EXPECT_TRUE(quiet.lines.empty());
    EXPECT_EQ(ReplaceBadValues(5, nullptr, "x", 0.1, &quiet.reporter), ApiStatus_Success);
}

TEST(ReplaceBadValues, WithoutAFloorNonPositiveEntriesAreAnError) {
    std::vector<double> v{0.5, 0.0, -2.0, 1.0};
    const std::vector<double> before = v;
    CapturingReporter r(6);
    EXPECT_EQ(ReplaceBadValues(4, v.data(), "Accuracy per point", 0.0, &r.reporter), ApiStatus_NegativeDistance);
    EXPECT_EQ(v, before);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0], (CapturedLine{1, "2 negative values in Accuracy per point vector "}));
    std::vector<double> good{0.5, 1.0};
    EXPECT_EQ(ReplaceBadValues(2, good.data(), "x", -1.0, nullptr), ApiStatus_Success);
}

}  // namespace
