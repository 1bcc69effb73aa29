#include "surface/fit/poly_eval.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "surface/fit/poly_terms.h"
#include "surface/fit/tests/poly_naive.h"

namespace {

struct RandomPoly {
    int d, n, m;
    std::vector<double> coeffs, flat;
    std::vector<const double*> points;
    double centre[3] = {0.4, -0.3, 1.1};
    RandomPoly(int d_, int n_, int N, std::mt19937& rng) : d(d_), n(n_), m(Poly_Binomial(d_, n_)) {
        std::uniform_real_distribution<double> u(-1.5, 1.5);
        coeffs.resize(m > 0 ? m : 1);
        for (double& c : coeffs) c = u(rng);
        flat.resize(N * d);
        for (double& v : flat) v = u(rng);
        for (int i = 0; i < N; ++i) points.push_back(&flat[i * d]);
    }
};

double Tol(double v) { return 1e-12 * (1 + std::fabs(v)); }

TEST(PolyEval, ValuesAgainstNaiveMonomialSums) {
    std::mt19937 rng(41);
    for (int d = 1; d <= 3; ++d)
        for (int n = 0; n <= 3; ++n) {
            SCOPED_TRACE(testing::Message() << "d=" << d << " n=" << n);
            const int N = 7;
            RandomPoly s(d, n, N, rng);
            std::vector<double> out(N, 2.5), cleared(N, 99.0);
            Poly_Eval(d, n, s.coeffs.data(), s.centre, N, s.points.data(), out.data());
            Poly_EvalClear(d, n, s.coeffs.data(), s.centre, N, s.points.data(), cleared.data());
            for (int i = 0; i < N; ++i) {
                const double e = poly_naive::Value(d, n, s.coeffs.data(), s.centre, s.points[i]);
                EXPECT_NEAR(2.5 + e, out[i], Tol(e));  // added to what was there
                EXPECT_NEAR(e, cleared[i], Tol(e));
                EXPECT_NEAR(e, Poly_EvalAt(d, n, s.coeffs.data(), s.centre, s.points[i]), Tol(e));
            }
        }
    // A negative degree adds nothing.
    const double p[2] = {1, 1};
    const double* pp = p;
    double out = 3.0;
    Poly_Eval(2, -1, nullptr, nullptr, 1, &pp, &out);
    EXPECT_EQ(3.0, out);
}

TEST(PolyEval, GradientsAgainstNaiveDerivatives) {
    std::mt19937 rng(42);
    for (int d = 1; d <= 3; ++d)
        for (int n = 0; n <= 3; ++n) {
            SCOPED_TRACE(testing::Message() << "d=" << d << " n=" << n);
            const int N = 5;
            RandomPoly s(d, n, N, rng);
            std::vector<double> flatGrad(N * d, 1.0), flatGrad2(N * d, 1.0);
            std::vector<double*> grad(N), grad2(N);
            for (int i = 0; i < N; ++i) grad[i] = &flatGrad[i * d], grad2[i] = &flatGrad2[i * d];
            ASSERT_EQ(0, Poly_Derivatives(d, n, s.coeffs.data(), nullptr, s.centre, N, s.points.data(), grad.data()));
            // With descriptors made beforehand.
            std::vector<std::vector<double>> desc(d, std::vector<double>(Poly_Binomial(d, n - 1) + 1));
            std::vector<const double*> descRows(d);
            int32_t scratch[3];
            for (int k = 0; k < d; ++k) {
                ASSERT_EQ(0, Poly_DerivDescriptor(d, n, s.coeffs.data(), scratch, k, desc[k].data()));
                descRows[k] = desc[k].data();
                // The descriptor is the derivative's coefficient array of degree n - 1.
                if (n >= 1) {
                    const double e = poly_naive::Derivative(d, n, s.coeffs.data(), s.centre, s.points[0], k);
                    EXPECT_NEAR(e, poly_naive::Value(d, n - 1, desc[k].data(), s.centre, s.points[0]), Tol(e));
                }
            }
            ASSERT_EQ(0, Poly_Derivatives(d, n, s.coeffs.data(), descRows.data(), s.centre, N, s.points.data(),
                                          grad2.data()));
            for (int i = 0; i < N; ++i)
                for (int k = 0; k < d; ++k) {
                    const double e = poly_naive::Derivative(d, n, s.coeffs.data(), s.centre, s.points[i], k);
                    EXPECT_NEAR(1.0 + e, grad[i][k], Tol(e));
                    EXPECT_NEAR(1.0 + e, grad2[i][k], Tol(e));
                }
        }
    // Descriptors made here stop where 16 coefficients no longer hold them.
    std::vector<double> c(Poly_Binomial(3, 5), 1.0);
    const double p[3] = {0, 0, 0};
    const double* pp = p;
    double g[3];
    double* gp = g;
    EXPECT_EQ(5, Poly_Derivatives(3, 5, c.data(), nullptr, nullptr, 1, &pp, &gp));
}

TEST(PolyEval, GridsAgainstNaiveSumsAtTheNodes) {
    std::mt19937 rng(43);
    const double origin[3] = {-0.5, 0.25, 1.0}, spacing[3] = {0.3, -0.4, 0.7};
    const int32_t sizes[3] = {4, 3, 2};
    for (int d = 1; d <= 3; ++d)
        for (int n = -1; n <= 3; ++n) {
            SCOPED_TRACE(testing::Message() << "d=" << d << " n=" << n);
            RandomPoly s(d, n, 1, rng);
            int count = 1;
            for (int k = 0; k < d; ++k) count *= sizes[k];
            std::vector<double> values(count, -1.0);
            std::vector<std::vector<double>> grads(d, std::vector<double>(count, 0.5));
            std::vector<double*> gradRows(d);
            for (int k = 0; k < d; ++k) gradRows[k] = grads[k].data();
            ASSERT_EQ(0, Poly_GridEval(d, n, s.coeffs.data(), s.centre, origin, spacing, sizes, values.data()));
            ASSERT_EQ(0, Poly_GridGradient(d, n, s.coeffs.data(), s.centre, origin, spacing, sizes, gradRows.data()));
            for (int at = 0; at < count; ++at) {
                const int idx[3] = {at % 4, (at / 4) % 3, at / 12};
                double node[3];
                for (int k = 0; k < d; ++k) node[k] = origin[k] + idx[k] * spacing[k];
                const double e = n < 0 ? 0.0 : poly_naive::Value(d, n, s.coeffs.data(), s.centre, node);
                EXPECT_NEAR(-1.0 + e, values[at], Tol(e)) << "node " << at;
                for (int k = 0; k < d; ++k) {
                    const double g = n < 1 ? 0.0 : poly_naive::Derivative(d, n, s.coeffs.data(), s.centre, node, k);
                    EXPECT_NEAR(0.5 + g, grads[k][at], Tol(g)) << "node " << at << " axis " << k;
                }
                // Degree 1: the same value as Poly_Eval at the node.
                if (n == 1) {
                    const double* np = node;
                    double v = -1.0;
                    Poly_Eval(d, n, s.coeffs.data(), s.centre, 1, &np, &v);
                    EXPECT_NEAR(v, values[at], 1e-14);
                }
            }
        }
}

}  // namespace
