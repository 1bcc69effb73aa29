#include <cmath>
#include <cstdio>

#include "surface/fit/rapid_biphi3_internal.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

void PrintSeries(const char* name, const MemPair* a, int32_t degree) {
    std::printf("%s\n", name);
    for (int32_t n = 0; n <= degree; ++n) {
        for (int32_t m = 0; m <= n; ++m) {
            const MemPair v = a[Harmonic_Index(n, m)];
            std::printf("(%.4e,%.4e) ", v.real(), v.imag());
        }
        std::printf("\n");
    }
}

// Largest |far - direct| of one order over a sphere of 16 × 32 points.
double SphereError(const RapidBiphi3Workspace* ws, const Biphi3Panel* p, int32_t order, double multiplier) {
    const double radius = multiplier * p->Radius;
    double worst = 0.0;
    for (int32_t a = 0; a < 16; ++a)
        for (int32_t b = 0; b < 32; ++b) {
            const double theta = kPi * (a + 0.5) / 16, phi = 2 * kPi * b / 32;
            const double x[3] = {p->Centre[0] + radius * std::sin(theta) * std::cos(phi),
                                 p->Centre[1] + radius * std::sin(theta) * std::sin(phi),
                                 p->Centre[2] + radius * std::cos(theta)};
            double d[3];
            MemPair h[kBiphi3HarmonicSize];
            Biphi3_Harmonics(p, x, order, d, h);
            const double far = FarSeries_Value(FarSeries_At(p->Far, kBiphi3MaxOrder), order, d, h);
            worst = std::fmax(worst, std::fabs(far - Biphi3_DirectValue(ws, p, x)));
        }
    return worst;
}

}  // namespace

void RapidBiphi3_DumpSubtree(const Biphi3Panel* p) {
    if (!p) return;
    std::printf("New panel     level  %d   centcount %d \n", p->Level, p->Count);
    std::printf("Panel radius: %.4e\n", p->Radius);
    if (p->Count == 0) std::printf(" No centers \n");
    if (p->Far) {
        std::printf("Use at distance vector: ");
        for (int32_t k = 0; k < 3; ++k) std::printf("%.4e ", std::sqrt(p->D2[k]));
        std::printf("\n");
        const FarSeries s = FarSeries_At(p->Far, kBiphi3MaxOrder);
        PrintSeries("M", s.M, kBiphi3MaxOrder);
        PrintSeries("N", s.N, kBiphi3MaxOrder + 2);
    }
    if (p->Leaf) {
        std::printf("   childless \n");
        return;
    }
    RapidBiphi3_DumpSubtree(p->Child[0]);
    RapidBiphi3_DumpSubtree(p->Child[1]);
}

void RapidBiphi3_DumpLevel(const RapidBiphi3Workspace* ws, int32_t level) {
    if (!ws || level < 0 || level >= kBiphi3Levels) return;
    for (const Biphi3Panel* p = ws->Levels[level]; p; p = p->Next) {
        std::printf("Bounding box            level  %d   centcount %d \n", p->Level, p->Count);
        std::printf("Centers\n");
        for (int32_t i = p->First; i < p->End; ++i) {
            const double* c = ws->Centres + 3 * i;
            std::printf("Final # %3d initial # %3d x = ( %g %g %g )\n", i, ws->Permutation[i], c[0], c[1], c[2]);
        }
    }
}

void RapidBiphi3_SphereErrors(const RapidBiphi3Workspace* ws, const Biphi3Panel* p, double multiplier) {
    if (!ws || !p || !p->Far) return;
    std::printf("Approximate maximum error on a sphere\n");
    for (int32_t order = 2; order <= kBiphi3MaxOrder; ++order)
        std::printf(" p = %d Maximum error = %.4e\n", order, SphereError(ws, p, order, multiplier));
}

int RapidBiphi3_SphereTest(const RapidBiphi3Workspace* ws, const Biphi3Panel* p, int32_t order, double multiplier) {
    if (!ws || !p || !p->Far || order < 0 || order > kBiphi3MaxOrder) return 1;
    const double worst = SphereError(ws, p, order, multiplier);
    std::printf(" p = %d Maximum error = %.4e\n", order, worst);
    return worst > ws->Accuracy ? 1 : 0;
}
