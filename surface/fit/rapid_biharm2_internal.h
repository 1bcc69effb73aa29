// Shared inside the RapidBiharm2 sources: the series algebra of the
// two-function form and the tree helpers.
#ifndef SURFACE_FIT_RAPID_BIHARM2_INTERNAL_H
#define SURFACE_FIT_RAPID_BIHARM2_INTERNAL_H

#include "surface/fit/rapid_biharm2.h"
#include "surface/fit/solid_harmonics.h"

using Cx = MemPair;

inline Cx Mul(Cx a, Cx b) {
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

// Laurent series of one function: head α, β, γ and a_1..a_L.
struct Biharm2Laurent {
    Cx* head;  // 3 entries
    Cx* a;     // L entries (index k - 1)
};

// Adds one centre of weight c at w (relative to the panel centre) to the
// panel's two series.
void Biharm2_AddCentre(Biharm2Panel* panel, int32_t L, Cx w, double c);
// Adds a child's two series moved by v = child centre - parent centre.
void Biharm2_AddChild(Biharm2Panel* parent, const Biharm2Panel* child, int32_t L);
// Adds to the Taylor series of `target` (length T + 1 each) the far field of
// a source panel (its Laurent series of length L, centre `centre`).
void Biharm2_AddFarField(Biharm2Panel* target, int32_t T, const Cx* head1, const Cx* a1, const Cx* head2, const Cx* a2,
                         int32_t L, const double* centre);
// The far field of one centre of weight c at x.
void Biharm2_AddPointSource(Biharm2Panel* target, int32_t T, const double* x, double c);
// The parent's Taylor series (length parentT + 1 each) moved to the child's
// centre and cut to the child's length T + 1.
void Biharm2_ShiftTaylor(const Biharm2Panel* parent, int32_t parentT, Biharm2Panel* child, int32_t T);
// Re[ζ̄ L1(ζ) + L2(ζ)] at x.
double Biharm2_TaylorValue(const Biharm2Panel* panel, int32_t T, const double* x);
// The panel holding x on the deepest level (null when none).
const Biharm2Panel* Biharm2_Find(const RapidBiharm2Workspace* ws, const double* x);
// φ(r) = r² ln r from r².
inline double Biharm2_Phi(double r2) { return r2 > 0.0 ? 0.5 * r2 * __builtin_log(r2) : 0.0; }

#endif
