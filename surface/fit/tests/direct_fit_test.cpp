#include "surface/fit/direct_fit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "surface/frame/basic_function.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/tracked_memory.h"

namespace {

struct Centres {
    int dim;
    std::vector<double> flat;
    std::vector<double*> rows;
    Centres(int n, int d) : dim(d), flat(static_cast<size_t>(n) * d), rows(n) { Point(); }
    void Point() {
        for (size_t i = 0; i < rows.size(); ++i) rows[i] = &flat[i * dim];
    }
    int size() const { return static_cast<int>(rows.size()); }
};

// The mean of the centres, coordinate by coordinate.
std::vector<double> Centroid(const Centres& c) {
    std::vector<double> mean(c.dim, 0.0);
    for (int i = 0; i < c.size(); ++i)
        for (int a = 0; a < c.dim; ++a) mean[a] += c.rows[i][a];
    for (double& m : mean) m /= c.size();
    return mean;
}

Centres RandomCentres(int n, int d, unsigned seed) {
    Centres c(n, d);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (double& v : c.flat) v = u(rng);
    return c;
}

BasicFunctionKernel Kernel(int32_t type, int32_t dim, int32_t degree, double c = 0.0, int32_t beta = 0) {
    BasicFunctionKernel k;
    EXPECT_EQ(0, BasicFunction_Init(type, dim, degree, c, beta, &k, nullptr));
    return k;
}

// The fitted function written out: the kernel sum over the centres plus the
// polynomial in the library's monomial order, about the polynomial centre.
double Evaluate(const BasicFunctionKernel& k, const Centres& c, const double* coeffs, const double* polyCentre,
                const double* x) {
    long double sum = 0;
    for (int j = 0; j < c.size(); ++j) {
        double r2 = 0;
        for (int a = 0; a < c.dim; ++a) r2 += (x[a] - c.rows[j][a]) * (x[a] - c.rows[j][a]);
        sum += coeffs[j] * k.Phi(&k, r2);
    }
    const double* p = coeffs + c.size();
    double y[3] = {0, 0, 0};
    for (int a = 0; a < c.dim; ++a) y[a] = x[a] - polyCentre[a];
    if (k.PolyDegree >= 0) sum += p[0];
    if (k.PolyDegree == 1)
        for (int a = 0; a < c.dim; ++a) sum += p[1 + a] * y[a];
    if (k.PolyDegree == 2) {
        sum += p[1] * y[0] + p[2] * y[0] * y[0] + p[3] * y[1] + p[4] * y[0] * y[1] + p[5] * y[1] * y[1];
        if (c.dim == 3) sum += p[6] * y[2] + p[7] * y[0] * y[2] + p[8] * y[1] * y[2] + p[9] * y[2] * y[2];
    }
    return static_cast<double>(sum);
}

double Smooth(const double* x) { return std::sin(3 * x[0]) + std::cos(2 * x[1]) * std::exp(0.5 * x[2]); }

// Messages of the core, formatted.
struct Messages {
    std::vector<std::string> lines;
    CoreReporter reporter;
    int32_t abort = 0;
    double progress = 0;
    explicit Messages(int32_t level = 6) { CoreReporter_Init(&reporter, &abort, &progress, level, 0, &Capture, this); }
    static int Capture(void* user, int32_t, const char* format, va_list args) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        static_cast<Messages*>(user)->lines.push_back(text);
        return 0;
    }
    bool Said(const std::string& text) const { return std::find(lines.begin(), lines.end(), text) != lines.end(); }
};

struct Fit {
    std::vector<double> coeffs;
    double centre[3] = {0, 0, 0};
};

Fit Solve(InterpolationData* data, const std::vector<double>& values) {
    Fit fit;
    fit.coeffs.assign(values.size() + data->Kernel->PolyTerms, 0.0);
    double* out = fit.coeffs.data();
    EXPECT_EQ(
        0, Rbf_SolveInterpolation(static_cast<int32_t>(values.size()), values.data(), data, &out, fit.centre, nullptr));
    return fit;
}

TEST(DirectFit, InterpolatesASmoothFunctionWithAnErrorThatFallsAsCentresAreAdded) {
    const BasicFunctionKernel k = Kernel(0, 3, 1);  // biharmonic, linear polynomial
    const Centres all = RandomCentres(1500, 3, 1);
    std::vector<double> tests;
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> u(0.15, 0.85);
    for (int i = 0; i < 3 * 200; ++i) tests.push_back(u(rng));
    double previous = 1e300;
    for (int n : {250, 500, 1000, 1500}) {
        Centres c(n, 3);
        std::copy(all.flat.begin(), all.flat.begin() + 3 * n, c.flat.begin());
        std::vector<double> f(n);
        double largest = 0;
        for (int i = 0; i < n; ++i) largest = std::max(largest, std::fabs(f[i] = Smooth(c.rows[i])));
        double* coeffs = nullptr;
        double centre[3];
        ASSERT_EQ(0, Rbf_FitDirect(n, c.rows.data(), f.data(), &k, nullptr, &coeffs, centre, nullptr));
        for (int i = 0; i < n; ++i)
            ASSERT_NEAR(f[i], Evaluate(k, c, coeffs, centre, c.rows[i]), 1e-9 * largest) << n << " " << i;
        double squared = 0;
        for (int t = 0; t < 200; ++t) {
            const double e = Evaluate(k, c, coeffs, centre, &tests[3 * t]) - Smooth(&tests[3 * t]);
            squared += e * e;
        }
        const double rms = std::sqrt(squared / 200);
        EXPECT_LT(rms, previous) << n;
        previous = rms;
        Mem_Free(coeffs);
    }
    EXPECT_LT(previous, 2e-3);
}

TEST(DirectFit, ReproducesALinearFunctionWithZeroKernelCoefficients) {
    const BasicFunctionKernel k = Kernel(0, 3, 1);
    const Centres c = RandomCentres(200, 3, 2);
    std::vector<double> f(c.size());
    auto linear = [](const double* x) { return 3.0 + 2.0 * x[0] - x[1] + 0.5 * x[2]; };
    for (int i = 0; i < c.size(); ++i) f[i] = linear(c.rows[i]);
    InterpolationData data;
    ASSERT_EQ(0, Rbf_FactorInterpolation(c.size(), c.rows.data(), &k, nullptr, &data, nullptr));
    Fit fit = Solve(&data, f);
    for (int i = 0; i < c.size(); ++i) EXPECT_NEAR(0.0, fit.coeffs[i], 1e-12) << i;
    const double far[3] = {5.0, -3.0, 2.0};
    EXPECT_NEAR(linear(far), Evaluate(k, c, fit.coeffs.data(), fit.centre, far), 1e-12 * std::fabs(linear(far)));
    // The polynomial is written about the mean of the centres.
    const std::vector<double> mean = Centroid(c);
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(mean[a], fit.centre[a], 1e-15);
    Rbf_FreeInterpolation(&data);
}

TEST(DirectFit, CoplanarCentresSolveWithASmallerSubset) {
    const BasicFunctionKernel k = Kernel(0, 3, 1);
    Centres c = RandomCentres(150, 3, 3);
    for (int i = 0; i < c.size(); ++i) c.rows[i][2] = 0.25 + 0.5 * c.rows[i][0];  // a tilted plane
    std::vector<double> f(c.size());
    for (int i = 0; i < c.size(); ++i) f[i] = Smooth(c.rows[i]);
    InterpolationData data;
    ASSERT_EQ(0, Rbf_FactorInterpolation(c.size(), c.rows.data(), &k, nullptr, &data, nullptr));
    EXPECT_EQ(3, data.SubsetCount);
    Fit fit = Solve(&data, f);
    for (int i = 0; i < c.size(); ++i)
        EXPECT_NEAR(f[i], Evaluate(k, c, fit.coeffs.data(), fit.centre, c.rows[i]), 1e-9);
    Rbf_FreeInterpolation(&data);
}

struct KernelCase {
    const char* name;
    int32_t type, dim, degree;
    double c;
    int32_t beta;
    double rho;
    int32_t centred;
};

class DirectFitKernels : public ::testing::TestWithParam<KernelCase> {};

TEST_P(DirectFitKernels, InterpolateAtTheirCentres) {
    const KernelCase& kc = GetParam();
    const BasicFunctionKernel k = Kernel(kc.type, kc.dim, kc.degree, kc.c, kc.beta);
    const Centres c = RandomCentres(160, kc.dim, 4);
    std::vector<double> f(c.size());
    for (int i = 0; i < c.size(); ++i) {
        double x[3] = {c.rows[i][0], c.rows[i][1], kc.dim == 3 ? c.rows[i][2] : 0.4};
        f[i] = Smooth(x);
    }
    DirectFitOptions options;
    Rbf_DirectDefaultOptions(&options);
    options.Rho = kc.rho;
    options.AllowCentredPoly = kc.centred;
    options.PolyCentre[0] = 0.5, options.PolyCentre[1] = -1.0, options.PolyCentre[2] = 2.0;
    InterpolationData data;
    ASSERT_EQ(0, Rbf_FactorInterpolation(c.size(), c.rows.data(), &k, &options, &data, nullptr));
    Fit fit = Solve(&data, f);
    // The polynomial centre: the origin, the mean of the centres, or the one given.
    const std::vector<double> mean = Centroid(c);
    for (int a = 0; a < kc.dim; ++a) {
        const double expected = kc.centred == 2 ? options.PolyCentre[a] : kc.centred == 0 ? 0.0 : mean[a];
        EXPECT_NEAR(expected, fit.centre[a], 1e-15) << a;
    }
    // With smoothing the fit misses each value by the shift times its coefficient.
    const double shift = std::fabs(kc.rho) * k.Sign;
    for (int i = 0; i < c.size(); ++i)
        EXPECT_NEAR(f[i], Evaluate(k, c, fit.coeffs.data(), fit.centre, c.rows[i]) + shift * fit.coeffs[i], 1e-8) << i;
    Rbf_FreeInterpolation(&data);
    EXPECT_EQ(nullptr, data.Factor);
}

INSTANTIATE_TEST_SUITE_P(Kernels, DirectFitKernels,
                         ::testing::Values(KernelCase{"Biharmonic3Quadratic", 0, 3, 2, 0.0, 0, 0.0, 1},
                                           KernelCase{"Triharmonic3", 1, 3, 1, 0.0, 0, 0.0, 0},
                                           KernelCase{"Multiquadric3", 2, 3, 0, 0.1, 1, 0.0, 2},
                                           KernelCase{"InverseMultiquadricNoPolynomial", 2, 3, -1, 0.5, -1, 0.0, 1},
                                           KernelCase{"GaussianSmoothed", 3, 3, -1, 4.0, 0, 1e-3, 1},
                                           KernelCase{"ThinPlate2", 0, 2, 1, 0.0, 0, 0.0, 1},
                                           KernelCase{"BiharmonicSmoothed", 0, 3, 1, 0.0, 0, -0.05, 1}),
                         [](const ::testing::TestParamInfo<KernelCase>& info) { return info.param.name; });

TEST(DirectFit, FactoringRefusesBadOptionsAndArguments) {
    const BasicFunctionKernel k = Kernel(0, 3, 1);
    const Centres c = RandomCentres(11, 3, 5);
    InterpolationData data;
    struct Case {
        void (*set)(DirectFitOptions*);
        int status;
        const char* message;
    };
    const Case cases[] = {
        {[](DirectFitOptions* o) { o->MallocRatio = 0.99; }, 5, "MallocRatio must be greater than 1"},
        {[](DirectFitOptions* o) { o->MallocRatio = 1.0; }, 0, nullptr},
        {[](DirectFitOptions* o) { o->MaxCholeskySize = 9; }, 5, "MaxCholeskySize must be greater than 10"},
        {[](DirectFitOptions* o) { o->MaxCholeskySize = 5001; }, 5, "MaxCholeskySize must be less than 5000"},
        {[](DirectFitOptions* o) { o->AllowCentredPoly = 3; }, 5, "AllowCentredPoly must be 0, 1 or 2"},
        {[](DirectFitOptions* o) { o->MaxCholeskySize = 11; }, 0, nullptr},  // N at the limit
        {[](DirectFitOptions* o) { o->MaxCholeskySize = 10; }, 5, "Too many centres for cholesky fit"},
    };
    for (const Case& cs : cases) {
        DirectFitOptions o;
        Rbf_DirectDefaultOptions(&o);
        cs.set(&o);
        Messages m;
        EXPECT_EQ(cs.status, Rbf_FactorInterpolation(c.size(), c.rows.data(), &k, &o, &data, &m.reporter));
        if (cs.message) {
            EXPECT_EQ((std::vector<std::string>{cs.message}), m.lines);
        }
        EXPECT_EQ(cs.status == 0, data.Initialised == 1);
        Rbf_FreeInterpolation(&data);
    }
    Messages m;
    EXPECT_EQ(5, Rbf_FactorInterpolation(0, c.rows.data(), &k, nullptr, &data, &m.reporter));
    EXPECT_EQ(5, Rbf_FactorInterpolation(3, nullptr, &k, nullptr, &data, &m.reporter));
    EXPECT_EQ(5, Rbf_FactorInterpolation(3, c.rows.data(), nullptr, nullptr, &data, &m.reporter));
    EXPECT_EQ(5, Rbf_FactorInterpolation(3, c.rows.data(), &k, nullptr, nullptr, &m.reporter));
    EXPECT_EQ((std::vector<std::string>{"Number of centres is less than 1", "Centres is NULL", "Basic function is NULL",
                                        "RBF Interpolation data pointer is NULL"}),
              m.lines);
    // Three centres cannot carry the four terms of a linear polynomial in 3D.
    EXPECT_EQ(6, Rbf_FactorInterpolation(3, c.rows.data(), &k, nullptr, &data, nullptr));
    EXPECT_EQ(0, data.Initialised);
    // All centres in one place have no polynomial subset to speak of.
    Centres same(6, 3);
    std::fill(same.flat.begin(), same.flat.end(), 0.5);
    EXPECT_NE(0, Rbf_FactorInterpolation(6, same.rows.data(), &k, nullptr, &data, nullptr));
    EXPECT_EQ(nullptr, data.Work);
}

TEST(DirectFit, SolvingChecksItsArguments) {
    const BasicFunctionKernel k = Kernel(0, 3, 1);
    const Centres c = RandomCentres(20, 3, 6);
    std::vector<double> f(20, 1.0);
    InterpolationData data;
    std::memset(&data, 0, sizeof data);
    double* coeffs = nullptr;
    double centre[3];
    Messages m;
    data.N = 20;
    data.Options.AllowCentredPoly = 1;
    EXPECT_EQ(5, Rbf_SolveInterpolation(20, f.data(), &data, &coeffs, centre, &m.reporter));
    ASSERT_EQ(0, Rbf_FactorInterpolation(20, c.rows.data(), &k, nullptr, &data, nullptr));
    EXPECT_EQ(23, Rbf_SolveInterpolation(20, nullptr, &data, &coeffs, centre, &m.reporter));
    EXPECT_EQ(23, Rbf_SolveInterpolation(20, f.data(), &data, &coeffs, nullptr, &m.reporter));
    EXPECT_EQ(5, Rbf_SolveInterpolation(19, f.data(), &data, &coeffs, centre, &m.reporter));
    EXPECT_EQ((std::vector<std::string>{"RBF interpolation data is not initialized", "Required argument was NULL",
                                        "Required argument was NULL",
                                        "Number of values does not match RBF interpolation data"}),
              m.lines);
    // The coefficients are allocated for the caller when it gives none.
    ASSERT_EQ(0, Rbf_SolveInterpolation(20, f.data(), &data, &coeffs, centre, nullptr));
    EXPECT_NEAR(1.0, coeffs[20], 1e-12);  // a constant is all polynomial
    Mem_Free(coeffs);
    Rbf_FreeInterpolation(&data);
    // Without a centred polynomial no centre is needed and the origin is used.
    DirectFitOptions o;
    Rbf_DirectDefaultOptions(&o);
    o.AllowCentredPoly = 0;
    coeffs = nullptr;
    ASSERT_EQ(0, Rbf_FitDirect(20, c.rows.data(), f.data(), &k, &o, &coeffs, nullptr, nullptr));
    Mem_Free(coeffs);
}

// Values of a fit at fixed test points.
std::vector<double> ValuesAt(const BasicFunctionKernel& k, const Centres& c, const Fit& fit) {
    std::vector<double> v;
    for (int t = 0; t < 50; ++t) {
        const double x[3] = {0.02 * t, 1.0 - 0.015 * t, 0.5 + 0.007 * t};
        v.push_back(Evaluate(k, c, fit.coeffs.data(), fit.centre, x));
    }
    return v;
}

void ExpectSameValues(const std::vector<double>& a, const std::vector<double>& b) {
    ASSERT_EQ(a.size(), b.size());
    double scale = 0;
    for (double v : b) scale = std::max(scale, std::fabs(v));
    for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(b[i], a[i], 1e-9 * scale) << i;
}

class DirectFitUpdates : public ::testing::TestWithParam<double> {};

TEST_P(DirectFitUpdates, AddingAndRemovingCentresEqualsRefactoringTheFinalSet) {
    const BasicFunctionKernel k = Kernel(0, 3, 1);
    Centres c = RandomCentres(400, 3, 7);
    std::vector<double> f(400);
    for (int i = 0; i < 400; ++i) f[i] = Smooth(c.rows[i]);
    DirectFitOptions o;
    Rbf_DirectDefaultOptions(&o);
    o.MallocRatio = GetParam();
    InterpolationData data;
    ASSERT_EQ(0, Rbf_FactorInterpolation(250, c.rows.data(), &k, &o, &data, nullptr));
    Messages m;
    ASSERT_EQ(0, Rbf_AddCentres(250, c.rows.data(), &data, &m.reporter));  // nothing new
    ASSERT_EQ(0, Rbf_AddCentres(330, c.rows.data(), &data, &m.reporter));
    ASSERT_EQ(0, Rbf_AddCentres(400, c.rows.data(), &data, &m.reporter));
    EXPECT_TRUE(m.Said("Interpolation data updated"));
    EXPECT_GE(data.Capacity, 400);
    auto refactored = [&](const Centres& set, const std::vector<double>& values) {
        InterpolationData fresh;
        EXPECT_EQ(0, Rbf_FactorInterpolation(set.size(), set.rows.data(), &k, &o, &fresh, nullptr));
        Fit fit = Solve(&fresh, values);
        Rbf_FreeInterpolation(&fresh);
        return ValuesAt(k, set, fit);
    };
    ExpectSameValues(ValuesAt(k, c, Solve(&data, f)), refactored(c, f));

    // Remove factor positions spread over the whole range, among them the
    // place that a subset centre left (it now holds the centre swapped out of
    // the front) and some appended centres.
    std::vector<int32_t> gone;
    for (int32_t p = 399; p >= data.SubsetCount; p -= 37) gone.push_back(p);
    const int32_t factorPlace = data.Subset[data.SubsetCount - 1];
    ASSERT_GE(factorPlace, data.SubsetCount);
    EXPECT_NE(factorPlace, data.Order[factorPlace]);
    if (std::find(gone.begin(), gone.end(), factorPlace) == gone.end()) gone.push_back(factorPlace);
    std::vector<bool> removed(400, false);
    for (int32_t p : gone) removed[data.Order[p]] = true;
    std::vector<double> keptValues;
    for (int i = 0; i < 400; ++i)
        if (!removed[i]) keptValues.push_back(f[i]);
    ASSERT_EQ(0, Rbf_RemoveCentres(static_cast<int32_t>(gone.size()), gone.data(), &data, c.rows.data(), &m.reporter));
    const int32_t left = 400 - static_cast<int32_t>(gone.size());
    ASSERT_EQ(left, data.N);
    Centres kept(left, 3);
    std::copy(c.flat.begin(), c.flat.begin() + 3 * left, kept.flat.begin());
    ExpectSameValues(ValuesAt(k, kept, Solve(&data, keptValues)), refactored(kept, keptValues));

    // And grow again after the removal.
    Centres grown(left + 30, 3);
    std::copy(kept.flat.begin(), kept.flat.end(), grown.flat.begin());
    std::vector<double> grownValues = keptValues;
    std::mt19937 rng(12);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int i = left; i < left + 30; ++i) {
        for (int a = 0; a < 3; ++a) grown.rows[i][a] = u(rng);
        grownValues.push_back(Smooth(grown.rows[i]));
    }
    ASSERT_EQ(0, Rbf_AddCentres(left + 30, grown.rows.data(), &data, nullptr));
    ExpectSameValues(ValuesAt(k, grown, Solve(&data, grownValues)), refactored(grown, grownValues));
    Rbf_FreeInterpolation(&data);
}

INSTANTIATE_TEST_SUITE_P(MallocRatios, DirectFitUpdates, ::testing::Values(1.0, 1.5));

TEST(DirectFit, UpdatesRefuseWhatTheyCannotDo) {
    const BasicFunctionKernel k = Kernel(0, 3, 1);
    const Centres c = RandomCentres(40, 3, 8);
    DirectFitOptions o;
    Rbf_DirectDefaultOptions(&o);
    o.MaxCholeskySize = 35;
    InterpolationData data;
    std::memset(&data, 0, sizeof data);
    Messages m;
    EXPECT_EQ(5, Rbf_AddCentres(30, c.rows.data(), &data, &m.reporter));
    ASSERT_EQ(0, Rbf_FactorInterpolation(30, c.rows.data(), &k, &o, &data, nullptr));
    EXPECT_EQ(5, Rbf_AddCentres(0, c.rows.data(), &data, &m.reporter));
    EXPECT_EQ(5, Rbf_AddCentres(31, nullptr, &data, &m.reporter));
    EXPECT_EQ(5, Rbf_AddCentres(31, c.rows.data(), nullptr, &m.reporter));
    EXPECT_EQ(5, Rbf_AddCentres(29, c.rows.data(), &data, &m.reporter));
    EXPECT_EQ(5, Rbf_AddCentres(36, c.rows.data(), &data, &m.reporter));
    EXPECT_EQ((std::vector<std::string>{"Cholesky data is not initialized", "NumCentres is not positive",
                                        "Centres array is NULL", "Data array is NULL",
                                        "Number of new centres is negative", "Too many centres for choleksy fit"}),
              m.lines);
    m.lines.clear();
    const int32_t subset[1] = {data.SubsetCount - 1};
    const int32_t beyond[1] = {30};
    const int32_t twice[2] = {12, 12};
    EXPECT_EQ(5, Rbf_RemoveCentres(0, subset, &data, nullptr, &m.reporter));
    EXPECT_EQ(5, Rbf_RemoveCentres(1, nullptr, &data, nullptr, &m.reporter));
    EXPECT_EQ(5, Rbf_RemoveCentres(1, subset, nullptr, nullptr, &m.reporter));
    EXPECT_EQ(5, Rbf_RemoveCentres(1, subset, &data, nullptr, &m.reporter));
    EXPECT_EQ(5, Rbf_RemoveCentres(1, beyond, &data, nullptr, &m.reporter));
    EXPECT_EQ(5, Rbf_RemoveCentres(2, twice, &data, nullptr, &m.reporter));
    EXPECT_EQ((std::vector<std::string>{
                  "Number of centres to remove is not positive", "Centres to remove array is NULL",
                  "Data array is NULL", "Centres to remove indices outside of range",
                  "Centres to remove indices outside of range", "Centres to remove contain a repeated index"}),
              m.lines);
    EXPECT_EQ(30, data.N);
    // A cancel flag stops both updates; removal then changes nothing.
    m.abort = 1;
    const int32_t one[1] = {20};
    EXPECT_EQ(10, Rbf_RemoveCentres(1, one, &data, nullptr, &m.reporter));
    EXPECT_EQ(30, data.N);
    EXPECT_EQ(10, Rbf_AddCentres(32, c.rows.data(), &data, &m.reporter));
    Rbf_FreeInterpolation(&data);
    EXPECT_EQ(0, Rbf_FreeInterpolation(nullptr));
}

TEST(DirectFit, RunningOutOfMemoryLeavesNothingBehind) {
    const BasicFunctionKernel k = Kernel(0, 3, 1);
    const Centres c = RandomCentres(60, 3, 9);
    std::vector<double> f(60, 2.0);
    ASSERT_EQ(0, Mem_TrackBegin());
    const size_t before = Mem_CurrentBytes();
    // Every allocation fails in turn until the factorisation has all it needs.
    int failures = 0;
    bool succeeded = false;
    for (int allowed = 0; !succeeded && allowed < 100000; ++allowed) {
        InterpolationData data;
        Mem_FailAllocationsAfterForTesting(allowed);
        int status = Rbf_FactorInterpolation(60, c.rows.data(), &k, nullptr, &data, nullptr);
        Mem_FailAllocationsAfterForTesting(-1);
        ASSERT_TRUE(status == 0 || status == 2) << status;
        succeeded = status == 0;
        if (status == 2) {
            ++failures;
            EXPECT_EQ(nullptr, data.Factor);
            EXPECT_EQ(0, data.Initialised);
        }
        Rbf_FreeInterpolation(&data);
        ASSERT_EQ(before, Mem_CurrentBytes()) << allowed;
    }
    EXPECT_TRUE(succeeded);
    EXPECT_GT(failures, 5);
    Mem_TrackEnd();
}

}  // namespace
