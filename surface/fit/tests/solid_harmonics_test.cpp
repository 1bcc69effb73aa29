#include "surface/fit/solid_harmonics.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int kP = 13;

struct Sources {
    std::vector<std::array<double, 3>> y;
    std::vector<double> c;
};

Sources RandomSources(int n, double radius, std::mt19937& rng) {
    std::uniform_real_distribution<double> u(-1, 1);
    Sources s;
    while (static_cast<int>(s.y.size()) < n) {
        std::array<double, 3> p{u(rng), u(rng), u(rng)};
        if (p[0] * p[0] + p[1] * p[1] + p[2] * p[2] > 1) continue;
        for (double& v : p) v *= radius;
        s.y.push_back(p);
        s.c.push_back(u(rng));
    }
    return s;
}

double Direct(const Sources& s, const double* x, const double* shift) {
    double v = 0;
    for (size_t j = 0; j < s.y.size(); ++j)
        v += s.c[j] * std::sqrt(std::pow(x[0] - s.y[j][0] - shift[0], 2) + std::pow(x[1] - s.y[j][1] - shift[1], 2) +
                                std::pow(x[2] - s.y[j][2] - shift[2], 2));
    return v;
}

struct Series {
    std::vector<MemPair> block = std::vector<MemPair>(FarSeries_Size(kP));
    FarSeries s = FarSeries_At(block.data(), kP);
};

void Form(const Sources& src, const double* shift, Series& out) {
    std::vector<MemPair> scratch(Harmonic_Size(kP + 2));
    for (size_t j = 0; j < src.y.size(); ++j) {
        const double y[3] = {src.y[j][0] + shift[0], src.y[j][1] + shift[1], src.y[j][2] + shift[2]};
        FarSeries_AddSource(out.s, kP, y, src.c[j], scratch.data());
    }
}

double Value(const Series& s, const double* x) {
    std::vector<MemPair> h(Harmonic_Size(kP + 2));
    Harmonic_Irregular(x, kP + 2, h.data());
    return FarSeries_Value(s.s, kP, x, h.data());
}

TEST(SolidHarmonics, AdditionTheoremOfTheInverseDistance) {
    const double x[3] = {1.3, -0.7, 2.1}, y[3] = {0.2, 0.3, -0.25};
    std::vector<MemPair> r(Harmonic_Size(30)), h(Harmonic_Size(30));
    Harmonic_Regular(y, 30, r.data());
    Harmonic_Irregular(x, 30, h.data());
    for (auto& v : r) v = std::conj(v);
    const double exact = 1.0 / std::sqrt(std::pow(1.1, 2) + 1.0 + std::pow(2.35, 2));
    EXPECT_NEAR(Harmonic_Contract(r.data(), h.data(), 30), exact, 1e-15);
}

TEST(SolidHarmonics, FarFieldDerivativesAndTranslationAgreeWithTheDirectSum) {
    std::mt19937 rng(5);
    const Sources src = RandomSources(40, 1.0, rng);
    const double zero[3] = {0, 0, 0};
    Series far;
    Form(src, zero, far);
    const double x[3] = {4.0, -3.0, 5.5};
    const double d = std::sqrt(16 + 9 + 30.25), bound = 2.0 * 20 / (2 * kP + 5) * std::pow(1 / d, kP + 2) / (1 - 1 / d);
    EXPECT_NEAR(Value(far, x), Direct(src, x, zero), bound);

    // Each derivative expansion against a central difference of the sum.
    const double h = 1e-4;
    for (int axis = 0; axis < 3; ++axis) {
        double t[3] = {0, 0, 0};
        t[axis] = 1;
        Series dx;
        FarSeries_Derivative(far.s, kP, t, dx.s);
        double xp[3] = {x[0], x[1], x[2]}, xm[3] = {x[0], x[1], x[2]};
        xp[axis] += h, xm[axis] -= h;
        const double fd = (Direct(src, xp, zero) - Direct(src, xm, zero)) / (2 * h);
        EXPECT_NEAR(Value(dx, x), fd, 1e-7) << "axis " << axis;
    }

    // Moving the centre: the sources about (0.4, -0.3, 0.2) translated to the
    // origin equal the series formed about the origin.
    const double t[3] = {0.4, -0.3, 0.2};
    Series shifted, moved;
    Form(src, zero, shifted);  // about the shifted centre the sources sit at y
    std::vector<MemPair> work(2 * FarSeries_Size(kP));
    FarSeries_AddTranslated(shifted.s, kP, t, moved.s, work.data());
    Series direct;
    Form(src, t, direct);
    double largest = 0, diff = 0;
    for (int i = 0; i < FarSeries_Size(kP); ++i) {
        largest = std::fmax(largest, std::abs(direct.block[i]));
        diff = std::fmax(diff, std::abs(direct.block[i] - moved.block[i]));
    }
    EXPECT_LT(diff, 1e-12 * largest);
}

}  // namespace
