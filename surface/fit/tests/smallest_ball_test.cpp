#include "surface/fit/smallest_ball.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

namespace {

struct Set {
    int d;
    std::vector<std::vector<double>> pts;
    std::vector<const double*> rows() const {
        std::vector<const double*> r;
        for (const auto& p : pts) r.push_back(p.data());
        return r;
    }
};

double Dist2(int d, const double* a, const double* b) {
    double s = 0;
    for (int i = 0; i < d; ++i) s += (a[i] - b[i]) * (a[i] - b[i]);
    return s;
}

// Smallest ball by trying every support set of up to d + 1 points: the
// circumscribed ball of the set (in its affine hull) that holds every point.
double BruteRadius2(const Set& s) {
    const int n = static_cast<int>(s.pts.size()), d = s.d;
    double best = HUGE_VAL, scale = 0;
    for (const auto& p : s.pts)
        for (double v : p) scale = std::max(scale, std::fabs(v));
    const double slack = 1e-9 * (1 + scale * scale);
    auto rows = s.rows();
    std::vector<int> pick;
    auto tryBall = [&](const std::vector<int>& idx) {
        std::vector<const double*> sup;
        for (int i : idx) sup.push_back(rows[i]);
        Ball b;
        if (BallN_FromSupport(d, static_cast<int>(sup.size()), sup.data(), &b) != 0) return;
        if (b.Radius2 >= best) return;
        for (int i = 0; i < n; ++i)
            if (Dist2(d, rows[i], b.Centre) > b.Radius2 + slack) return;
        best = b.Radius2;
    };
    for (int a = 0; a < n; ++a) {
        tryBall({a});
        for (int b = a + 1; b < n; ++b) {
            tryBall({a, b});
            if (d < 2) continue;
            for (int c = b + 1; c < n; ++c) {
                tryBall({a, b, c});
                if (d < 3) continue;
                for (int e = c + 1; e < n; ++e) tryBall({a, b, c, e});
            }
        }
    }
    return best;
}

Set RandomSet(int d, int n, std::mt19937& rng, int kind) {
    std::uniform_real_distribution<double> u(-1, 1);
    Set s{d, {}};
    for (int i = 0; i < n; ++i) {
        std::vector<double> p(d);
        for (double& v : p) v = u(rng);
        if (kind == 1) {  // collinear
            const double t = u(rng);
            for (int j = 0; j < d; ++j) p[j] = 0.5 + t * (j + 1);
        } else if (kind == 2) {  // cospherical about (0.3, ...)
            double r = 0;
            for (double v : p) r += v * v;
            r = std::sqrt(r);
            if (r == 0) p[0] = r = 1;
            for (double& v : p) v = 0.3 + 2 * v / r;
        } else if (kind == 3) {  // coincident in clumps of three places
            for (int j = 0; j < d; ++j) p[j] = (i % 3) * 0.25 - j;
        }
        s.pts.push_back(p);
    }
    return s;
}

void CheckEncloses(const Set& s, const Ball& b, double slack) {
    auto rows = s.rows();
    for (const double* p : rows) EXPECT_LE(Dist2(s.d, p, b.Centre), b.Radius2 + slack);
}

// The general form finds every ball. The 3D form gets at most n - 1 passes:
// one or two points always run out of them (status 11), and so may a set of
// a few points whose ball needs as many passes as it has points; from seven
// points on, the passes always suffice.
TEST(SmallestBall, EqualsTheBruteForceBallOnRandomAndDegenerateSets) {
    std::mt19937 rng(7);
    for (int kind = 0; kind < 4; ++kind) {
        for (int d = 1; d <= 3; ++d) {
            for (int n : {1, 2, 3, 4, 5, 7, 12, 20, 35, 50}) {
                Set s = RandomSet(d, n, rng, kind);
                const double brute = BruteRadius2(s);
                for (bool three : {false, true}) {
                    if (three && d != 3) continue;
                    SCOPED_TRACE(testing::Message() << "kind " << kind << " d " << d << " n " << n << " 3D " << three);
                    auto rows = s.rows();
                    std::vector<int32_t> idx(n);
                    std::iota(idx.begin(), idx.end(), 0);
                    Ball b;
                    int32_t support = -1;
                    const int status = three ? Ball_Smallest(n, rows.data(), idx.data(), &b, &support)
                                             : BallN_Smallest(d, n, rows.data(), idx.data(), nullptr, &b, &support);
                    std::vector<int32_t> sorted = idx;
                    std::sort(sorted.begin(), sorted.end());
                    for (int i = 0; i < n; ++i) ASSERT_EQ(sorted[i], i) << "indices stay a permutation";
                    if (three && n <= 2) {
                        EXPECT_EQ(11, status);
                        continue;
                    }
                    if (three && n < 7 && status == 11) continue;
                    ASSERT_EQ(0, status);
                    EXPECT_GE(support, 1);
                    EXPECT_LE(support, d + 1);
                    CheckEncloses(s, b, 1e-12);
                    EXPECT_NEAR(b.Radius2, brute, 1e-9 * (1 + brute));
                }
            }
        }
    }
}

TEST(SmallestBall, EdgeCases) {
    const double p[2][3] = {{1, 2, 3}, {1, 2, 7}};
    const double* rows[2] = {p[0], p[1]};
    const double tP = 7 * 2.220446e-13;
    struct Case {
        const char* name;
        int n;
        bool three;
        int status;
        double radius2;
    } cases[] = {
        {"one point, general form: the point plus the pivot tolerance", 1, false, 0, 3 * 2.220446e-13},
        {"one point, 3D form: out of passes", 1, true, 11, 0},
        {"two points, general form: half the distance", 2, false, 0, 4 + tP},
        {"two points, 3D form: out of passes", 2, true, 11, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int32_t idx[2] = {0, 1};
        Ball b;
        const int status = c.three ? Ball_Smallest(c.n, rows, idx, &b, nullptr)
                                   : BallN_Smallest(3, c.n, rows, idx, nullptr, &b, nullptr);
        EXPECT_EQ(status, c.status);
        if (status == 0) {
            EXPECT_DOUBLE_EQ(b.Radius2, c.radius2);
        }
    }
}

TEST(SmallestBall, SupportSets) {
    const double a[3] = {0, 0, 0}, b[3] = {2, 0, 0}, c[3] = {0, 2, 0}, e[3] = {0, 0, 2}, f[3] = {4, 0, 0};
    Ball ball;
    const double* none[1] = {a};
    EXPECT_EQ(Ball_FromSupport(0, none, &ball), 0);
    EXPECT_EQ(ball.Radius2, -1.0);
    const double* three[3] = {a, b, c};
    ASSERT_EQ(BallN_FromSupport(3, 3, three, &ball), 0);
    EXPECT_NEAR(ball.Centre[0], 1, 1e-15);
    EXPECT_NEAR(ball.Centre[1], 1, 1e-15);
    EXPECT_NEAR(ball.Radius2, 2, 1e-15);
    const double* four[4] = {a, b, c, e};
    ASSERT_EQ(Ball_FromSupport(4, four, &ball), 0);
    EXPECT_NEAR(ball.Radius2, 3, 1e-14);
    const double* five[5] = {a, b, c, e, f};
    EXPECT_EQ(BallN_FromSupport(3, 5, five, &ball), 5);
    EXPECT_EQ(BallN_FromSupport(3, 2, five, nullptr), 23);
    const double* line[3] = {a, b, f};
    EXPECT_EQ(BallN_FromSupport(3, 3, line, &ball), 16);
    // Four points in one plane: the general form fails, the 3D form takes the
    // circle of the first, second and fourth.
    const double g[3] = {2, 2, 0};
    const double* flat[4] = {a, b, g, c};
    EXPECT_EQ(BallN_FromSupport(3, 4, flat, &ball), 3);
    ASSERT_EQ(Ball_FromSupport(4, flat, &ball), 0);
    EXPECT_NEAR(ball.Radius2, 2, 1e-14);
}

}  // namespace
