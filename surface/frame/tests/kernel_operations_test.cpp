#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "surface/frame/basic_function.h"
#include "surface/frame/core_reporter.h"

namespace {

const double kGarbage = std::numeric_limits<double>::quiet_NaN();

// One kernel: how to make its record, and φ written out in r.
struct KernelCase {
    const char* row;
    int32_t type, dim;
    double c;
    int32_t beta;
    std::function<double(double r)> phi;
};

double Ln(double x) { return std::log(x); }

std::vector<KernelCase> Cases() {
    const double c7 = 0.6;  // approximate spherical, 2D
    const int b7 = -3;
    const double R = c7 / std::sqrt(1.0 - b7), k7 = b7 * R / (2 * c7 * c7);
    const double K7 = 2 * std::pow((2.0 - b7) / (1.0 - b7), (b7 - 2) / 2.0);
    return {
        {"3D Biharmonic", 0, 3, 0, 0, [](double r) { return r; }},
        {"3D Triharmonic", 1, 3, 0, 0, [](double r) { return r * r * r; }},
        {"3D Multiquadric", 2, 3, 0.7, 1, [](double r) { return std::sqrt(0.49 + r * r); }},
        {"3D Inverse Multiquadric", 2, 3, 0.7, -1, [](double r) { return 1 / std::sqrt(0.49 + r * r); }},
        {"3D Spherical", 8, 3, 1.5, 0,
         [](double r) { return r < 1.5 ? 1 - 1.5 * r / 1.5 + 0.5 * std::pow(r / 1.5, 3) : 0.0; }},
        {"Generalized Multiquadric", 2, 2, 0.5, 3, [](double r) { return std::pow(0.25 + r * r, 1.5); }},
        {"Generalized Multiquadric", 2, 3, 0.5, 5, [](double r) { return std::pow(0.25 + r * r, 2.5); }},
        {"Normalized Multiquadric", 6, 3, 0.8, -3,
         [](double r) { return std::pow(0.8, 3) * std::pow(0.64 + r * r, -1.5); }},
        {"Normalized Multiquadric", 6, 2, 0.8, 1, [](double r) { return std::sqrt(0.64 + r * r) / 0.8; }},
        {"Approximate Spherical", 7, 3, 1.0, -9,
         [](double r) {
             const double R9 = 1 / std::sqrt(10.0), K9 = 2 * std::pow(1.1, -5.5);
             return r <= R9 ? 1 - 4.5 * R9 * r : std::pow(1 + r * r, -4.5) / K9;
         }},
        {"Approximate Spherical", 7, 2, c7, b7,
         [=](double r) { return r <= R ? 1 + k7 * r : std::pow(c7, -b7) / K7 * std::pow(c7 * c7 + r * r, b7 / 2.0); }},
        {"Gaussian", 3, 2, 0.8, 0, [](double r) { return std::exp(-0.8 * r * r); }},
        {"Gaussian", 3, 3, 1.0, 0, [](double r) { return std::exp(-r * r); }},
        {"2D Biharmonic", 0, 2, 0, 0, [](double r) { return r > 0 ? r * r * Ln(r) : 0.0; }},
        {"2D Triharmonic", 1, 2, 0, 0, [](double r) { return r > 0 ? r * r * r * r * Ln(r) : 0.0; }},
        {"2D Shifted Biharmonic", 4, 2, 0.6, 0,
         [](double r) {
             const double u = 0.36 + r * r;
             return 0.5 * u * Ln(u);
         }},
        {"2D Shifted Triharmonic", 5, 2, 0.6, 0,
         [](double r) {
             const double u = 0.36 + r * r;
             return 0.5 * u * u * Ln(u);
         }},
    };
}

BasicFunctionKernel Make(const KernelCase& kc) {
    BasicFunctionKernel k;
    EXPECT_EQ(0, BasicFunction_Init(kc.type, kc.dim, -2, kc.c, kc.beta, &k, nullptr));
    EXPECT_STREQ(kc.row, k.Name);
    return k;
}

// Points as row tables over flat storage.
struct Points {
    std::vector<double> flat;
    std::vector<const double*> rows;
    Points(int count, int dim, std::mt19937& rng, double spread = 1.0) : flat(count * dim), rows(count) {
        std::uniform_real_distribution<double> u(-spread, spread);
        for (double& v : flat) v = u(rng);
        for (int i = 0; i < count; ++i) rows[i] = &flat[i * dim];
    }
};

double Dist(const double* a, const double* b, int d) {
    double s = 0;
    for (int k = 0; k < d; ++k) s += (a[k] - b[k]) * (a[k] - b[k]);
    return std::sqrt(s);
}

double Near(double expected) { return 1e-12 * (1 + std::fabs(expected)); }

TEST(KernelOperations, PhiAgainstClosedForms) {
    for (const KernelCase& kc : Cases()) {
        SCOPED_TRACE(std::string(kc.row) + " dim " + std::to_string(kc.dim));
        const BasicFunctionKernel k = Make(kc);
        for (double r : {0.0, 1e-3, 0.1, 0.3, 0.5, 0.9, 1.2, 2.0, 3.5})
            EXPECT_NEAR(kc.phi(r), k.Phi(&k, r * r), Near(kc.phi(r))) << "r=" << r;
    }
}

TEST(KernelOperations, MatricesProductsAndEvaluationsAgainstNaiveLoops) {
    std::mt19937 rng(21);
    for (const KernelCase& kc : Cases()) {
        SCOPED_TRACE(std::string(kc.row) + " dim " + std::to_string(kc.dim));
        const BasicFunctionKernel k = Make(kc);
        const int d = kc.dim, n = 23, m = 9;
        Points centres(n, d, rng), points(m, d, rng);
        // One evaluation point on a centre.
        for (int a = 0; a < d; ++a) points.flat[a] = centres.flat[5 * d + a];
        std::vector<double> lambda(n);
        for (double& l : lambda) l = std::uniform_real_distribution<double>(-1, 1)(rng);

        // FillMatrix (lower triangle) and FillRows.
        std::vector<double> tri(n * (n + 1) / 2, kGarbage);
        std::vector<double*> triRows(n);
        for (int i = 0; i < n; ++i) triRows[i] = &tri[i * (i + 1) / 2];
        k.FillMatrix(&k, n, centres.rows.data(), triRows.data());
        const int32_t pick[3] = {4, 0, 22};
        std::vector<double> full(3 * n, kGarbage);
        double* fullRows[3] = {&full[0], &full[n], &full[2 * n]};
        k.FillRows(&k, n, centres.rows.data(), 3, pick, fullRows);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j <= i; ++j) {
                const double e = kc.phi(Dist(centres.rows[i], centres.rows[j], d));
                ASSERT_NEAR(e, triRows[i][j], Near(e));
            }
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < n; ++j) {
                const double e = kc.phi(Dist(centres.rows[pick[i]], centres.rows[j], d));
                ASSERT_NEAR(e, fullRows[i][j], Near(e));
            }

        // Multiply over the full symmetric matrix; y holds garbage beforehand.
        std::vector<double> y(n, kGarbage);
        ASSERT_EQ(0, k.Multiply(&k, n, centres.rows.data(), lambda.data(), y.data(), nullptr, 1.0));
        for (int i = 0; i < n; ++i) {
            double e = 0;
            for (int j = 0; j < n; ++j) e += kc.phi(Dist(centres.rows[i], centres.rows[j], d)) * lambda[j];
            EXPECT_NEAR(e, y[i], Near(e) * 10);
        }

        // Point values and gradients.
        std::vector<double> values(m, kGarbage), values2(m, kGarbage), grads(m * d, kGarbage);
        std::vector<double*> gradRows(m);
        for (int i = 0; i < m; ++i) gradRows[i] = &grads[i * d];
        ASSERT_EQ(0, k.PointEval(&k, n, centres.rows.data(), lambda.data(), m, points.rows.data(), values.data(),
                                 nullptr, 1.0));
        ASSERT_EQ(0, k.PointGradient(&k, n, centres.rows.data(), lambda.data(), m, points.rows.data(), values2.data(),
                                     gradRows.data(), nullptr, 1.0));
        for (int i = 0; i < m; ++i) {
            double e = 0;
            for (int j = 0; j < n; ++j) e += lambda[j] * kc.phi(Dist(points.rows[i], centres.rows[j], d));
            EXPECT_NEAR(e, values[i], Near(e) * 10);
            EXPECT_NEAR(e, values2[i], Near(e) * 10);
        }

        // A grid of 3 by 2 (by 2) nodes against the same sums at the nodes.
        const double origin[3] = {-0.4, 0.3, -0.7}, spacing[3] = {0.35, -0.5, 0.9};
        const int32_t sizes[3] = {3, 2, 2};
        const int count = d == 3 ? 12 : 6;
        std::vector<double> gv(count, kGarbage), gv2(count, kGarbage), gg(count * d, kGarbage);
        std::vector<double*> ggRows(count);
        for (int i = 0; i < count; ++i) ggRows[i] = &gg[i * d];
        ASSERT_EQ(
            0, k.GridEval(&k, n, centres.rows.data(), lambda.data(), origin, spacing, sizes, gv.data(), nullptr, 1.0));
        ASSERT_EQ(0, k.GridGradient(&k, n, centres.rows.data(), lambda.data(), origin, spacing, sizes, gv2.data(),
                                    ggRows.data(), nullptr, 1.0));
        std::vector<double> nodeFlat(count * d);
        std::vector<const double*> nodes(count);
        for (int idx = 0; idx < count; ++idx) {
            const int i[3] = {idx % 3, (idx / 3) % 2, idx / 6};
            for (int a = 0; a < d; ++a) nodeFlat[idx * d + a] = origin[a] + i[a] * spacing[a];
            nodes[idx] = &nodeFlat[idx * d];
            double e = 0;
            for (int j = 0; j < n; ++j) e += lambda[j] * kc.phi(Dist(nodes[idx], centres.rows[j], d));
            EXPECT_NEAR(e, gv[idx], Near(e) * 10) << "node " << idx;
            EXPECT_NEAR(e, gv2[idx], Near(e) * 10) << "node " << idx;
        }
        // Grid gradients equal point gradients at the nodes.
        std::vector<double> pv(count), pg(count * d);
        std::vector<double*> pgRows(count);
        for (int i = 0; i < count; ++i) pgRows[i] = &pg[i * d];
        ASSERT_EQ(0, k.PointGradient(&k, n, centres.rows.data(), lambda.data(), count, nodes.data(), pv.data(),
                                     pgRows.data(), nullptr, 1.0));
        for (int i = 0; i < count * d; ++i) EXPECT_EQ(pg[i], gg[i]);
    }
}

TEST(KernelOperations, GradientsAgainstFiniteDifferences) {
    std::mt19937 rng(22);
    for (const KernelCase& kc : Cases()) {
        SCOPED_TRACE(std::string(kc.row) + " dim " + std::to_string(kc.dim));
        const BasicFunctionKernel k = Make(kc);
        const int d = kc.dim;
        Points centres(4, d, rng), points(6, d, rng, 1.3);
        const double lambda[4] = {0.7, -1.1, 0.4, 1.9};
        for (int i = 0; i < 6; ++i) {
            const double* p = points.rows[i];
            double v, g[3];
            double* gr = g;
            ASSERT_EQ(0, k.PointGradient(&k, 4, centres.rows.data(), lambda, 1, &p, &v, &gr, nullptr, 1.0));
            for (int a = 0; a < d; ++a) {
                const double h = 1e-5;
                double plus[3], minus[3];
                for (int b = 0; b < d; ++b) plus[b] = minus[b] = p[b];
                plus[a] += h;
                minus[a] -= h;
                const double* pp = plus;
                const double* pm = minus;
                double vp, vm;
                ASSERT_EQ(0, k.PointEval(&k, 4, centres.rows.data(), lambda, 1, &pp, &vp, nullptr, 1.0));
                ASSERT_EQ(0, k.PointEval(&k, 4, centres.rows.data(), lambda, 1, &pm, &vm, nullptr, 1.0));
                const double fd = (vp - vm) / (2 * h);
                EXPECT_NEAR(fd, g[a], 1e-6 * (1 + std::fabs(fd))) << "point " << i << " axis " << a;
            }
        }
    }
}

TEST(KernelOperations, CoincidentPointAddsValueButNoGradient) {
    for (const KernelCase& kc : Cases()) {
        SCOPED_TRACE(std::string(kc.row) + " dim " + std::to_string(kc.dim));
        const BasicFunctionKernel k = Make(kc);
        const double centre[3] = {0.2, -0.1, 0.4};
        const double* c = centre;
        const double lambda = 1.7;
        double v, g[3];
        double* gr = g;
        ASSERT_EQ(0, k.PointGradient(&k, 1, &c, &lambda, 1, &c, &v, &gr, nullptr, 1.0));
        EXPECT_NEAR(lambda * kc.phi(0.0), v, 1e-15);
        for (int a = 0; a < kc.dim; ++a) EXPECT_EQ(0.0, g[a]);
        EXPECT_FALSE(std::isnan(v));
    }
}

TEST(KernelOperations, ApproximateSphericalJoinsSmoothlyAtR) {
    BasicFunctionKernel k;
    ASSERT_EQ(0, BasicFunction_Init(7, 3, -2, 1.0, -9, &k, nullptr));
    const double R = 1 / std::sqrt(10.0);
    EXPECT_EQ(1.0, k.Phi(&k, 0.0));
    EXPECT_NEAR(0.55, k.Phi(&k, R * R), 1e-15);
    EXPECT_NEAR(0.55, k.Phi(&k, R * R * (1 + 1e-12)), 1e-12);
    const double centre[3] = {0, 0, 0};
    const double* c = &centre[0];
    const double one = 1.0;
    for (double r : {R * (1 - 1e-9), R * (1 + 1e-9)}) {
        const double p[3] = {r, 0, 0};
        const double* pp = p;
        double v, g[3];
        double* gr = g;
        ASSERT_EQ(0, k.PointGradient(&k, 1, &c, &one, 1, &pp, &v, &gr, nullptr, 1.0));
        EXPECT_NEAR(4.5 * R, std::fabs(g[0]), 1e-7) << r;
    }
}

TEST(KernelOperations, EdgeValuesOfTheMatrices) {
    const double a[3] = {0, 0, 0}, b[3] = {3, 4, 0};
    const double* c[2] = {a, b};
    double tri[3];
    double* rows[2] = {&tri[0], &tri[1]};
    BasicFunctionKernel k;
    ASSERT_EQ(0, BasicFunction_Init(0, 3, -2, 0, 0, &k, nullptr));
    k.FillMatrix(&k, 2, c, rows);
    EXPECT_EQ(0.0, rows[0][0]);
    EXPECT_EQ(5.0, rows[1][0]);
    EXPECT_EQ(0.0, rows[1][1]);
    ASSERT_EQ(0, BasicFunction_Init(2, 3, -2, 2.0, 1, &k, nullptr));
    k.FillMatrix(&k, 2, c, rows);
    EXPECT_EQ(2.0, rows[0][0]);
    EXPECT_DOUBLE_EQ(std::sqrt(29.0), rows[1][0]);
    // Shifted 2D kernels with c = 0 at s = 0 give 0, not NaN.
    ASSERT_EQ(0, BasicFunction_Init(4, 2, -2, 0.0, 0, &k, nullptr));
    EXPECT_EQ(0.0, k.Phi(&k, 0.0));
    ASSERT_EQ(0, BasicFunction_Init(5, 2, -2, 0.0, 0, &k, nullptr));
    EXPECT_EQ(0.0, k.Phi(&k, 0.0));
}

struct Status {
    const char* what;
    int expected;
    std::function<int()> run;
};

TEST(KernelOperations, StatusTable) {
    BasicFunctionKernel biharm, gauss, mq2;
    ASSERT_EQ(0, BasicFunction_Init(0, 3, -2, 0, 0, &biharm, nullptr));
    ASSERT_EQ(0, BasicFunction_Init(3, 3, -2, 1.0, 0, &gauss, nullptr));
    ASSERT_EQ(0, BasicFunction_Init(2, 2, -2, 1.0, 3, &mq2, nullptr));  // type 2, Dim 2
    BasicFunctionKernel mq3row = KernelTable[2];                        // 3D multiquadric operations
    const double p0[3] = {0.1, 0.2, 0.3}, p1[3] = {1, 1, 1};
    const double* pts[2] = {p0, p1};
    const double lambda[2] = {1, 2};
    double out[24];
    double g0[3];
    double* grads[24];
    for (double*& g : grads) g = g0;
    const double origin[3] = {0, 0, 0}, spacing[3] = {1, 1, 1};
    const int32_t sizes[3] = {2, 3, 4}, empty[3] = {2, 0, 4};
    int32_t abort = 1;
    double progress = 0;
    CoreReporter cancelled;
    CoreReporter_Init(&cancelled, &abort, &progress, 0, 0, nullptr, nullptr);
    const Status cases[] = {
        {"point eval m = 0", 5, [&] { return biharm.PointEval(&biharm, 2, pts, lambda, 0, pts, out, nullptr, 1); }},
        {"point gradient m = 0", 5,
         [&] { return biharm.PointGradient(&biharm, 2, pts, lambda, 0, pts, out, grads, nullptr, 1); }},
        {"grid size 0", 5,
         [&] { return biharm.GridEval(&biharm, 2, pts, lambda, origin, spacing, empty, out, nullptr, 1); }},
        {"grid gradient size 0", 5,
         [&] { return biharm.GridGradient(&biharm, 2, pts, lambda, origin, spacing, empty, out, grads, nullptr, 1); }},
        {"cancel before the grid", 10,
         [&] { return biharm.GridEval(&biharm, 2, pts, lambda, origin, spacing, sizes, out, &cancelled, 1); }},
        {"cancel before the gradient grid", 10,
         [&] { return gauss.GridGradient(&gauss, 2, pts, lambda, origin, spacing, sizes, out, grads, &cancelled, 1); }},
        {"2D record on the 3D multiquadric", 12,
         [&] { return mq3row.Multiply(&mq2, 2, pts, lambda, out, nullptr, 1); }},
        {"2D record on the 3D multiquadric grid", 12,
         [&] { return mq3row.GridEval(&mq2, 2, pts, lambda, origin, spacing, sizes, out, nullptr, 1); }},
        {"biharmonic record on the Gaussian", 12,
         [&] { return gauss.PointEval(&biharm, 2, pts, lambda, 2, pts, out, nullptr, 1); }},
        {"wrong type with m = 0 is 12 first", 12,
         [&] { return gauss.PointEval(&biharm, 2, pts, lambda, 0, pts, out, nullptr, 1); }},
        {"2D record on the generalized multiquadric", 0,
         [&] { return KernelTable[5].PointEval(&mq2, 2, pts, lambda, 2, pts, out, nullptr, 1); }},
    };
    for (const Status& s : cases) {
        for (double& v : out) v = kGarbage;
        EXPECT_EQ(s.expected, s.run()) << s.what;
        if (s.expected != 0) {
            for (double v : out) ASSERT_TRUE(std::isnan(v)) << s.what << ": output written";
        }
    }
    // Multiply with no centres leaves y alone.
    out[0] = -3;
    EXPECT_EQ(0, biharm.Multiply(&biharm, 0, pts, lambda, out, nullptr, 1));
    EXPECT_EQ(-3, out[0]);
    // PointEval with no centres writes zeros.
    EXPECT_EQ(0, biharm.PointEval(&biharm, 0, pts, lambda, 2, pts, out, nullptr, 1));
    EXPECT_EQ(0.0, out[1]);
    // A cancel flag seen after a step keeps the finished outputs.
    for (double& v : out) v = kGarbage;
    EXPECT_EQ(10, biharm.PointEval(&biharm, 2, pts, lambda, 2, pts, out, &cancelled, 1));
    EXPECT_FALSE(std::isnan(out[0]));
    EXPECT_TRUE(std::isnan(out[1]));
}

TEST(KernelOperations, ProgressInLumpsOfAboutOnePercent) {
    BasicFunctionKernel k;
    ASSERT_EQ(0, BasicFunction_Init(0, 3, -2, 0, 0, &k, nullptr));
    std::mt19937 rng(23);
    Points centres(1024, 3, rng);
    std::vector<double> lambda(1024, 1.0), y(1024);
    int32_t abort = 0;
    double progress = 0.0;
    CoreReporter rep;
    CoreReporter_Init(&rep, &abort, &progress, 0, 0, nullptr, nullptr);
    // share 2⁻¹⁰, k = 10: after rows 0, 10, ..., 1020 (103 lumps).
    ASSERT_EQ(0, k.Multiply(&k, 1024, centres.rows.data(), lambda.data(), y.data(), &rep, 1.0));
    EXPECT_DOUBLE_EQ(1030.0 / 1024.0, progress);
    // A grid of 1024 points: after points 10, 20, ..., 1020 (102 lumps).
    progress = 0.0;
    const double origin[3] = {0, 0, 0}, spacing[3] = {0.1, 0.1, 0.1};
    const int32_t sizes[3] = {16, 8, 8};
    std::vector<double> values(1024);
    ASSERT_EQ(0,
              k.GridEval(&k, 3, centres.rows.data(), lambda.data(), origin, spacing, sizes, values.data(), &rep, 1.0));
    EXPECT_DOUBLE_EQ(1020.0 / 1024.0, progress);
    // A value already past the end adds nothing.
    progress = 1.5;
    ASSERT_EQ(0, k.Multiply(&k, 1024, centres.rows.data(), lambda.data(), y.data(), &rep, 1.0));
    EXPECT_EQ(1.5, progress);
}

}  // namespace
