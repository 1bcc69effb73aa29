// Shared inside the RapidBiphi3 sources.
#ifndef SURFACE_FIT_RAPID_BIPHI3_INTERNAL_H
#define SURFACE_FIT_RAPID_BIPHI3_INTERNAL_H

#include "surface/fit/rapid_biphi3.h"

constexpr int32_t kBiphi3SeriesSize = FarSeries_Size(kBiphi3MaxOrder);
constexpr int32_t kBiphi3HarmonicSize = Harmonic_Size(kBiphi3MaxOrder + 2);
static_assert(kBiphi3MaxOrder + 2 <= Harmonic_MaxDegree, "the far fields need harmonics beyond the largest degree");

// RapidBiphi3_Setup that polls the reporter's abort flag per panel (10, with
// the expansions freed).
int Biphi3_Setup(RapidBiphi3Workspace* workspace, const double* coeffs, int32_t derivativeLevel, double accuracy,
                 const CoreReporter* reporter);
// The value of one panel's direct sum at x.
double Biphi3_DirectValue(const RapidBiphi3Workspace* workspace, const Biphi3Panel* panel, const double* x);
// Irregular harmonics at x relative to the panel centre, for order p.
void Biphi3_Harmonics(const Biphi3Panel* panel, const double* x, int32_t p, double* d, MemPair* h);

#endif
