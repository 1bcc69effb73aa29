// Centre sets, coefficient sets and long-double reference sums for the tests
// of the far-field evaluators.
#ifndef SURFACE_FIT_TESTS_FAR_FIELD_SETS_H
#define SURFACE_FIT_TESTS_FAR_FIELD_SETS_H

#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "surface/fit/direct_fit.h"
#include "surface/fit/tests/point_clouds.h"
#include "surface/frame/basic_function.h"

enum class Layout { Uniform, Clustered, Shell };
enum class Signs { Mixed, OneSign, Fitted };

inline const char* Name(Layout l) {
    return l == Layout::Uniform ? "uniform" : l == Layout::Clustered ? "clustered" : "shell";
}
inline const char* Name(Signs s) {
    return s == Signs::Mixed ? "mixed signs" : s == Signs::OneSign ? "one sign" : "fitted";
}

// The centre coefficients of a direct interpolation of a smooth function
// with the kernel of the given type (default polynomial): large values of
// both signs that cancel far away, as a real fit gives.
inline std::vector<double> FittedCoefficients(int32_t type, const Cloud& centres) {
    BasicFunctionKernel k{};
    BasicFunction_Init(type, centres.d, -2, 0.0, 1, &k, nullptr);
    std::vector<double> f(centres.N());
    for (int32_t i = 0; i < centres.N(); ++i) {
        const double* p = centres.rows[i];
        f[i] = std::sin(3 * p[0]) * std::cos(2 * p[1]) + (centres.d == 3 ? p[2] * p[2] : 0.0);
    }
    double* coeffs = nullptr;
    double centre[3];
    std::vector<double> c;
    if (Rbf_FitDirect(centres.N(), centres.rows.data(), f.data(), &k, nullptr, &coeffs, centre, nullptr) == 0)
        c.assign(coeffs, coeffs + centres.N());
    Mem_Free(coeffs);
    return c;
}

// N centres in the unit cube (uniform), in eight tight Gaussian clumps, or
// in a sphere shell of radii 0.9 to 1 (in d = 2 or 3 dimensions).
inline Cloud MakeCentres(Layout layout, int32_t d, int32_t N, uint32_t seed) {
    if (layout == Layout::Uniform) return UniformCloud(d, N, seed);
    if (layout == Layout::Shell) return ShellCloud(d, N, seed);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0, 1);
    std::normal_distribution<double> g(0, 0.03);
    std::vector<std::vector<double>> hubs(8, std::vector<double>(d));
    for (auto& h : hubs)
        for (double& v : h) v = u(rng);
    Cloud c;
    c.d = d;
    c.flat.resize(static_cast<size_t>(N) * d);
    for (int32_t i = 0; i < N; ++i)
        for (int32_t j = 0; j < d; ++j) c.flat[static_cast<size_t>(i) * d + j] = hubs[i % 8][j] + g(rng);
    c.Reindex();
    return c;
}

inline std::vector<double> MakeCoefficients(Signs signs, int32_t N, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(signs == Signs::Mixed ? -1.0 : 0.1, 1.0);
    std::vector<double> c(N);
    for (double& v : c) v = u(rng);
    return c;
}

// Σ c_j φ(r_j) in long double, with Σ |c_j φ(r_j)| for the rounding allowance
// and, when asked, the gradient and the Hessian (xx, xy, yy, xz, yz, zz) of a
// radial φ from φ'(r)/r and φ''(r).
struct Reference {
    long double value = 0, magnitude = 0;
    long double g[3] = {0, 0, 0};
    long double h[6] = {0, 0, 0, 0, 0, 0};
};

struct RadialKernel {
    std::function<long double(long double r)> phi;
    std::function<long double(long double r)> d1;  // φ'(r)
    std::function<long double(long double r)> d2;  // φ''(r)
};

inline Reference NaiveSum(const RadialKernel& k, const Cloud& centres, const std::vector<double>& c, const double* x,
                          bool derivatives) {
    Reference ref;
    const int32_t d = centres.d;
    for (size_t j = 0; j < c.size(); ++j) {
        long double diff[3] = {0, 0, 0}, r2 = 0;
        for (int32_t a = 0; a < d; ++a) {
            diff[a] = static_cast<long double>(x[a]) - centres.rows[j][a];
            r2 += diff[a] * diff[a];
        }
        const long double r = std::sqrt(r2), term = c[j] * k.phi(r);
        ref.value += term;
        ref.magnitude += std::fabs(term);
        if (!derivatives || r == 0) continue;
        const long double a = c[j] * k.d1(r) / r, b = (c[j] * k.d2(r) - a) / r2;
        for (int32_t i = 0; i < d; ++i) ref.g[i] += a * diff[i];
        const int pairs[6][2] = {{0, 0}, {0, 1}, {1, 1}, {0, 2}, {1, 2}, {2, 2}};
        for (int t = 0; t < 6; ++t) {
            const int i = pairs[t][0], jj = pairs[t][1];
            ref.h[t] += (i == jj ? a : 0) + b * diff[i] * diff[jj];
        }
    }
    return ref;
}

// Evaluation points: n uniform in the box of the centres grown by a tenth,
// and every tenth centre itself.
inline Cloud MakePoints(const Cloud& centres, int32_t n, uint32_t seed) {
    const int32_t d = centres.d;
    std::vector<double> lo(d, HUGE_VAL), hi(d, -HUGE_VAL);
    for (const double* p : centres.rows)
        for (int32_t j = 0; j < d; ++j) lo[j] = std::fmin(lo[j], p[j]), hi[j] = std::fmax(hi[j], p[j]);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-0.1, 1.1);
    Cloud pts;
    pts.d = d;
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j < d; ++j) pts.flat.push_back(lo[j] + u(rng) * (hi[j] - lo[j]));
    for (int32_t i = 0; i < centres.N(); i += 10) pts.flat.insert(pts.flat.end(), centres.rows[i], centres.rows[i] + d);
    pts.Reindex();
    return pts;
}

// A few units in the last place of the sum of magnitudes.
inline double RoundingAllowance(long double magnitude) { return 8.0 * std::ldexp(1.0, -52) * magnitude; }

#endif
