#include "surface/fit/one_dim_solvers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

// A callback over a std::function with an evaluation count; x beyond
// `limit` cannot be evaluated (status `failure`).
struct Fn {
    std::function<double(double)> f;
    double limit = HUGE_VAL;
    int failure = 20;
    int calls = 0;
};

int Call(double x, void* context, double* value) {
    Fn* fn = static_cast<Fn*>(context);
    ++fn->calls;
    if (x > fn->limit) return fn->failure;
    *value = fn->f(x);
    return 0;
}

struct Trace {
    std::vector<double> x = std::vector<double>(200, 0.0), f = std::vector<double>(200, 0.0);
    OneDimTrace record{x.data(), f.data()};
    int Next() const { return static_cast<int>(x[0]); }
};

TEST(RootBracket, DoublesTheStepFromTheStart) {
    Fn fn{[](double) { return 1.0; }};
    Trace t;
    double a = 1.0, b = 0.0, fa = 1.0, fb = 0.0;
    EXPECT_EQ(Root_Bracket(Call, &a, &b, &fa, &fb, 100.0, &fn, 10, &t.record), 11);
    ASSERT_EQ(t.Next(), 1 + 1 + 11);
    EXPECT_EQ(t.x[1], 1.0);
    const double expected[] = {101, 301, 701, 1501};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(t.x[2 + i], expected[i]);
    EXPECT_EQ(t.x[12], 1.0 + 100.0 * 2047.0);
    EXPECT_EQ(b, 1.0 + 100.0 * 2047.0);
    EXPECT_EQ(fn.calls, 11);
}

TEST(RootBracket, StopsAtAPointThatCannotBeEvaluated) {
    Fn fn{[](double x) { return x - 5000.0; }, 500.0};
    double a = 1.0, b = 0.0, fa = -4999.0, fb = 0.0;
    EXPECT_EQ(Root_Bracket(Call, &a, &b, &fa, &fb, 100.0, &fn, 10, nullptr), 20);
    EXPECT_EQ(a, 301.0);
    EXPECT_EQ(b, 701.0);
    EXPECT_EQ(fa, 301.0 - 5000.0);

    // The very first trial point already fails: a stays where it was.
    Fn first{[](double x) { return x; }, 0.5};
    a = 0.0, fa = -1.0;
    EXPECT_EQ(Root_Bracket(Call, &a, &b, &fa, &fb, 1.0, &first, 10, nullptr), 20);
    EXPECT_EQ(a, 0.0);
    EXPECT_EQ(b, 1.0);
    EXPECT_EQ(first.calls, 1);
}

TEST(RootBracket, PassesOtherCallbackFailuresAndRefusesNulls) {
    Fn fn{[](double x) { return x; }, 2.0, 21};
    double a = -10.0, b = 0.0, fa = -10.0, fb = 0.0;
    EXPECT_EQ(Root_Bracket(Call, &a, &b, &fa, &fb, 5.0, &fn, 10, nullptr), 21);
    EXPECT_EQ(Root_Bracket(Call, nullptr, &b, &fa, &fb, 5.0, &fn, 10, nullptr), 23);
    EXPECT_EQ(Root_Bracket(Call, &a, nullptr, &fa, &fb, 5.0, &fn, 10, nullptr), 23);
}

TEST(RootFind, ExactSecantAndNothingToDo) {
    Fn line{[](double x) { return x - 2.5; }};
    double a = 0.0, b = 10.0, root = 0.0;
    EXPECT_EQ(Root_Find(Call, &a, &b, -2.5, 7.5, 1e-12, &line, 100, &root, nullptr), 0);
    EXPECT_EQ(root, 2.5);

    Trace t;
    t.x[0] = 4.0;
    Fn never{[](double) -> double { return 0.0; }};
    a = 1.0, b = 1.5;
    EXPECT_EQ(Root_Find(Call, &a, &b, -1.0, 1.0, 0.5, &never, 100, &root, &t.record), 0);
    EXPECT_EQ(never.calls, 0);
    EXPECT_EQ(root, 1.25);
    EXPECT_EQ(t.Next(), 4);
    EXPECT_EQ(Root_Find(Call, &a, &b, -1.0, 1.0, 0.5, &never, 100, nullptr, nullptr), 23);
}

struct RootCase {
    std::string what;
    std::function<double(double)> f;
    double start, step, root;
};

TEST(RootFind, BracketThenFindOverATableOfFunctions) {
    const std::vector<RootCase> cases = {
        {"smooth", [](double x) { return std::cos(x) - x; }, -3.0, 0.5, 0.7390851332151607},
        {"flat", [](double x) { return std::pow(x - 1.5, 5.0); }, -2.0, 0.25, 1.5},
        {"steep", [](double x) { return std::atan(1e4 * (x - 2.0)); }, 0.0, 0.1, 2.0},
        {"exponential", [](double x) { return std::exp(x) - 1e6; }, 0.0, 1.0, std::log(1e6)},
    };
    for (const RootCase& c : cases) {
        SCOPED_TRACE(c.what);
        Fn fn{c.f};
        Trace t;
        double a = c.start, b = 0.0, fa = c.f(c.start), fb = 0.0;
        ASSERT_EQ(Root_Bracket(Call, &a, &b, &fa, &fb, c.step, &fn, 20, &t.record), 0);
        EXPECT_LE(a, c.root);
        EXPECT_GE(b, c.root);
        EXPECT_NE(fa >= 0, fb >= 0);
        double lo = a, hi = b, root = 0.0;
        const int before = t.Next();
        ASSERT_EQ(Root_Find(Call, &lo, &hi, fa, fb, 1e-10, &fn, 200, &root, &t.record), 0);
        EXPECT_NEAR(root, c.root, 1e-9);
        EXPECT_LE(hi - lo, 1e-10);
        EXPECT_EQ(t.Next() - before, fn.calls - (before - 2));  // every evaluation traced

        lo = a, hi = b;
        ASSERT_EQ(Root_FindDigits(Call, &lo, &hi, fa, fb, 12.0, &fn, 1000, &root, nullptr), 0);
        EXPECT_NEAR(root, c.root, 1e-9 * std::fmax(1.0, std::fabs(c.root)));

        lo = a, hi = b;
        double flo = fa, fhi = fb, x = 0.0;
        if (fa < 0) {
            ASSERT_EQ(Root_FindByValue(Call, &lo, &hi, &flo, &fhi, 1e-6, &fn, 500, &x, nullptr), 0);
            EXPECT_LE(std::fabs(c.f(x)), 1e-6);
        }
    }
}

TEST(RootFind, IterationLimitAndNotEvaluable) {
    Fn fn{[](double x) { return std::cos(x) - x; }};
    double a = 0.0, b = 1.0, root = 0.0;
    EXPECT_EQ(Root_Find(Call, &a, &b, 1.0, std::cos(1.0) - 1.0, 1e-15, &fn, 3, &root, nullptr), 11);
    EXPECT_EQ(fn.calls, 3);

    Fn hole{[](double x) { return x - 0.75; }, 0.6, 21};
    a = 0.0, b = 1.0;
    EXPECT_EQ(Root_Find(Call, &a, &b, -0.75, 0.25, 1e-12, &hole, 100, &root, nullptr), 21);
}

// A root left of zero: the relative tolerance must come from |b|, or the
// search never meets it.
TEST(RootFind, DigitsOnANegativeInterval) {
    Fn fn{[](double x) { return x * x * x + 8.0; }};
    double a = -3.0, b = -1.0, root = 0.0;
    EXPECT_EQ(Root_FindDigits(Call, &a, &b, -19.0, 7.0, 10.0, &fn, 200, &root, nullptr), 0);
    EXPECT_NEAR(root, -2.0, 1e-9);
    EXPECT_LT(fn.calls, 200);
}

// Equal end values give no false-position point; the midpoint is used.
TEST(RootFind, EqualEndValuesStayFinite) {
    Fn flat{[](double) { return 0.0; }};
    double a = 0.0, b = 1.0, root = 0.0;
    Root_Find(Call, &a, &b, 0.0, 0.0, 1e-6, &flat, 50, &root, nullptr);
    EXPECT_TRUE(std::isfinite(root));
    EXPECT_GE(root, 0.0);
    EXPECT_LE(root, 1.0);
}

TEST(RootFindByValue, AcceptsAPointThatCannotBeEvaluated) {
    // Status 20 is accepted with the value the callback wrote.
    struct Ctx {
        int calls = 0;
    } ctx;
    auto fn = [](double x, void* c, double* v) -> int {
        ++static_cast<Ctx*>(c)->calls;
        *v = x * x - 2.0;
        return x > 1.4 ? 20 : 0;
    };
    double a = 0.0, b = 2.0, fa = -2.0, fb = 2.0, x = 0.0;
    EXPECT_EQ(Root_FindByValue(fn, &a, &b, &fa, &fb, 1e-8, &ctx, 200, &x, nullptr), 0);
    EXPECT_NEAR(x, std::sqrt(2.0), 1e-8);
}

struct MinCase {
    std::string what;
    std::function<double(double)> f;
    double a, b, at, within;
};

TEST(Minimise, GoldenAndBrentOverATableOfFunctions) {
    const std::vector<MinCase> cases = {
        {"smooth", [](double x) { return (x - 1.0) * (x - 1.0) + 3.0; }, -4.0, 7.0, 1.0, 1e-5},
        {"flat", [](double x) { return std::pow(x - 2.0, 4.0); }, 0.0, 5.0, 2.0, 1e-2},
        {"steep", [](double x) { return 1e3 * std::fabs(x - 0.3); }, -1.0, 2.0, 0.3, 1e-5},
        {"cosine", [](double x) { return std::cos(x); }, 2.0, 4.5, 3.14159265358979323846, 1e-5},
    };
    using Minimiser = int (*)(OneDimFunction, double*, double*, double, void*, int32_t, double*, OneDimTrace*);
    const std::pair<const char*, Minimiser> methods[] = {{"golden", Min_Golden}, {"brent", Min_Brent}};
    for (const MinCase& c : cases) {
        for (const auto& method : methods) {
            SCOPED_TRACE(c.what + " " + method.first);
            Fn fn{c.f};
            double a = c.a, b = c.b, x = 0.0;
            ASSERT_EQ(method.second(Call, &a, &b, 1e-6, &fn, 500, &x, nullptr), 0);
            EXPECT_NEAR(x, c.at, c.within);
            EXPECT_LE(b - a, 1e-6);
            EXPECT_LE(a, x);
            EXPECT_GE(b, x);
        }
        SCOPED_TRACE(c.what + " brent digits");
        Fn fn{c.f};
        double a = c.a, b = c.b, x = 0.0;
        ASSERT_EQ(Min_BrentDigits(Call, &a, &b, 6.0, &fn, 500, &x, nullptr), 0);
        EXPECT_NEAR(x, c.at, c.within);
    }
}

TEST(Minimise, BrentNeedsFewerEvaluationsOnASmoothFunction) {
    Fn golden{[](double x) { return std::exp(x) - 3.0 * x; }};
    Fn brent = golden;
    double a = 0.0, b = 3.0, x = 0.0;
    ASSERT_EQ(Min_Golden(Call, &a, &b, 1e-7, &golden, 500, &x, nullptr), 0);
    EXPECT_NEAR(x, std::log(3.0), 1e-6);
    a = 0.0, b = 3.0;
    ASSERT_EQ(Min_Brent(Call, &a, &b, 1e-7, &brent, 500, &x, nullptr), 0);
    EXPECT_NEAR(x, std::log(3.0), 1e-6);
    EXPECT_LT(brent.calls, golden.calls);
}

TEST(Minimise, LimitsAndFailures) {
    Fn fn{[](double x) { return (x - 1.0) * (x - 1.0); }};
    double a = -1.0, b = 2.0, x = 0.0;
    EXPECT_EQ(Min_Golden(Call, &a, &b, 1e-7, &fn, 3, &x, nullptr), 11);
    a = -1.0, b = 2.0;
    EXPECT_EQ(Min_Brent(Call, &a, &b, 1e-7, &fn, 3, &x, nullptr), 11);
    EXPECT_EQ(fn.calls, 2 * (1 + 3));

    Fn hole{[](double x) { return x * x; }, 0.5, 21};
    a = -1.0, b = 2.0;
    EXPECT_EQ(Min_Brent(Call, &a, &b, 1e-8, &hole, 500, &x, nullptr), 21);
    a = -1.0, b = 2.0;
    EXPECT_EQ(Min_Golden(Call, &a, &b, 1e-8, &hole, 500, &x, nullptr), 21);
    EXPECT_EQ(Min_Golden(Call, &a, nullptr, 1e-8, &hole, 500, &x, nullptr), 23);
}

TEST(MinBracket, WalksDownhillAndStopsPastTheMinimum) {
    Fn fn{[](double x) { return (x - 5.0) * (x - 5.0); }};
    Trace t;
    double a = 0.0, c = 0.0;
    ASSERT_EQ(Min_Bracket(Call, &a, &c, 0.25, &fn, 20, &t.record), 0);
    EXPECT_LT(a, 5.0);
    EXPECT_GT(c, 5.0);
    EXPECT_EQ(t.x[1], 0.0);
    EXPECT_EQ(t.x[2], 0.25);
    EXPECT_EQ(t.x[3], 0.5);
    EXPECT_EQ(t.Next(), 1 + fn.calls);

    // Rising from the start: c is pulled back to the middle point.
    Fn rising{[](double x) { return x; }};
    a = 0.0;
    ASSERT_EQ(Min_Bracket(Call, &a, &c, 1.0, &rising, 20, nullptr), 0);
    EXPECT_EQ(a, 0.0);
    EXPECT_EQ(c, 1.0);

    // Still falling when the doublings run out.
    Fn falling{[](double x) { return -x; }};
    a = 0.0;
    EXPECT_EQ(Min_Bracket(Call, &a, &c, 1.0, &falling, 3, nullptr), 11);
}

}  // namespace
