// Test support: a solution fitted to the unit sphere's signed distance.
#ifndef SURFACE_EVAL_TESTS_FITTED_SPHERE_H
#define SURFACE_EVAL_TESTS_FITTED_SPHERE_H

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "surface/fit/direct_fit.h"
#include "surface/frame/basic_function.h"
#include "surface/frame/solution.h"
#include "surface/frame/tracked_memory.h"

// The unit sphere's signed distance fitted by direct biharmonic
// interpolation of its density data: points on it with value 0 and points
// 0.1 out and in along the normals with values ±0.1.
struct FittedSphere {
    Solution3 s{};
    FittedSphere() {
        const int n = 150;
        std::vector<double> xyz, values;
        const double golden = 3.14159265358979 * (3.0 - std::sqrt(5.0));
        for (int i = 0; i < n; ++i) {
            const double z = 1.0 - 2.0 * (i + 0.5) / n, r = std::sqrt(1.0 - z * z);
            const double p[3] = {r * std::cos(golden * i), r * std::sin(golden * i), z};
            for (double offset : {0.0, 0.1, -0.1}) {
                for (int k = 0; k < 3; ++k) xyz.push_back(p[k] * (1.0 + offset));
                values.push_back(offset);
            }
        }
        const int N = static_cast<int>(values.size());
        std::vector<double*> rows(N);
        for (int i = 0; i < N; ++i) rows[i] = xyz.data() + 3 * i;
        BasicFunctionKernel k;
        EXPECT_EQ(0, BasicFunction_Init(0, 3, 1, 0.0, 0, &k, nullptr));
        double* coeffs = nullptr;
        double centre[3] = {0, 0, 0};
        EXPECT_EQ(0, Rbf_FitDirect(N, rows.data(), values.data(), &k, nullptr, &coeffs, centre, nullptr));
        EXPECT_EQ(0, Solution3_Create(&s, N, 0));
        std::memcpy(s.Centres, xyz.data(), sizeof(double) * 3 * N);
        std::memcpy(s.Coeffs, coeffs, sizeof(double) * (N + 4));
        Mem_Free(coeffs);
        s.CoeffCount = N + 4;
        s.PolyDegree = 1;
        s.Basic = BasicFunction{0, 0.0, 0};
        s.DefaultEvalAccuracy = 1e-4;
        for (int k3 = 0; k3 < 3; ++k3) s.PolyBase[k3] = centre[k3];
    }
    ~FittedSphere() { Solution3_Free(&s); }
};

#endif
