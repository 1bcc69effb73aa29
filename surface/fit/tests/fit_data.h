// Fitting data as the scan pipeline makes it: points on a sphere or a torus
// with their normals, turned into density data (the surface at value 0 and
// signed distances off it), and the fitted solution evaluated directly.
#ifndef SURFACE_FIT_TESTS_FIT_DATA_H
#define SURFACE_FIT_TESTS_FIT_DATA_H

#include <cmath>
#include <random>
#include <vector>

#include "surface/fit/density.h"
#include "surface/fit/tests/fit_fixtures.h"
#include "surface/frame/point_list.h"
#include "surface/frame/solution.h"

struct OwnedList {
    PointList3 list{};
    OwnedList() = default;
    OwnedList(const OwnedList&) = delete;
    OwnedList& operator=(const OwnedList&) = delete;
    ~OwnedList() { PointList3_Free(&list); }
};

struct OwnedSolution {
    Solution3 s{};
    OwnedSolution() = default;
    OwnedSolution(const OwnedSolution&) = delete;
    OwnedSolution& operator=(const OwnedSolution&) = delete;
    ~OwnedSolution() { Solution3_Free(&s); }
};

enum class Shape { Sphere, Torus };

constexpr double kTwoPi = 6.283185307179586;

// n surface points with unit normals (radius 40, or a torus of radii 40 and
// 15), then density data with the pipeline's settings for a point spacing
// `resolution`.
inline void DensityData(PointList3* list, Shape shape, int32_t n, uint32_t seed, double resolution = 1.0) {
    PointList3_Create(list, n, 1, 0, 0, 0, 1);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int32_t i = 0; i < n; ++i) {
        double p[3], g[3];
        if (shape == Shape::Sphere) {
            const double z = 2.0 * u(rng) - 1.0, t = kTwoPi * u(rng), r = std::sqrt(1.0 - z * z);
            g[0] = r * std::cos(t);
            g[1] = r * std::sin(t);
            g[2] = z;
            for (int k = 0; k < 3; ++k) p[k] = 40.0 * g[k];
        } else {
            const double a = kTwoPi * u(rng), b = kTwoPi * u(rng);
            g[0] = std::cos(a) * std::cos(b);
            g[1] = std::sin(a) * std::cos(b);
            g[2] = std::sin(b);
            p[0] = (40.0 + 15.0 * std::cos(b)) * std::cos(a);
            p[1] = (40.0 + 15.0 * std::cos(b)) * std::sin(a);
            p[2] = 15.0 * std::sin(b);
        }
        for (int k = 0; k < 3; ++k) {
            list->Location[3 * i + k] = p[k];
            list->Gradient[3 * i + k] = g[k];
        }
        list->Value[i] = 0.0;
    }
    list->Count = n;
    DensityAttributes a;
    SetDensityAttrDefaults(&a);
    a.FixedLength = 1;
    a.GridPoints = 100;
    Selvane_DensityFromNormals3(list, -1, resolution * 5.0, 0.0, &a, nullptr);
}

// The solution's value at x: Σ cⱼ φ(|x − cⱼ|) plus its linear polynomial
// about its base, summed directly.
inline double SolutionValue(const Solution3& s, const BasicFunctionKernel& k, const double* x) {
    long double v = 0.0L;
    for (int32_t j = 0; j < s.CentreCount; ++j) {
        double r2 = 0.0;
        for (int a = 0; a < 3; ++a) r2 += (x[a] - s.Centres[3 * j + a]) * (x[a] - s.Centres[3 * j + a]);
        v += static_cast<long double>(s.Coeffs[j]) * k.Phi(&k, r2);
    }
    const int32_t m = s.CoeffCount - s.CentreCount;
    if (m >= 1) v += s.Coeffs[s.CentreCount];
    if (m >= 4)
        for (int a = 0; a < 3; ++a)
            v += static_cast<long double>(s.Coeffs[s.CentreCount + 1 + a]) * (x[a] - s.PolyBase[a]);
    return static_cast<double>(v);
}

// Largest |s(xᵢ) − fᵢ| over every stride-th point of the list.
inline double WorstMiss(const Solution3& s, const PointList3& list, int32_t stride = 1) {
    const BasicFunctionKernel k = Biharmonic(3);
    double worst = 0.0;
    for (int32_t i = 0; i < list.Count; i += stride)
        worst = std::fmax(worst, std::fabs(SolutionValue(s, k, &list.Location[3 * i]) - list.Value[i]));
    return worst;
}

#endif
