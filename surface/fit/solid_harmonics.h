// Solid harmonics and the two-series (Almansi) form of far fields of the
// 3D biharmonic kernel |x - y|.
//
// Normalisation (associated Legendre functions without the Condon-Shortley
// phase): regular R_n^m(x) = r^n P_n^m(cos θ) e^{imφ} / (n+m)!, irregular
// I_n^m(x) = (n-m)! P_n^m(cos θ) e^{imφ} / r^{n+1}, so that
// 1/|x - y| = Σ_n Σ_{m=-n..n} conj(R_n^m(y)) I_n^m(x) for |y| < |x|, and the
// derivatives move between neighbouring degrees with simple factors:
// ∂z I_n^m = -I_{n+1}^m, (∂x + i∂y) I_n^m = -I_{n+1}^{m+1},
// (∂x - i∂y) I_n^m = I_{n+1}^{m-1}.
//
// A harmonic series stores A_n^m for m = 0..n (entry n(n+1)/2 + m); the
// entries of negative order follow from A_n^{-m} = (-1)^m conj(A_n^m), so
// Σ_m A_n^m I_n^m is real: the m = 0 term once and 2 Re of the others.
//
// A far field F(x) = Σ_{n<=p} <M_n, I_n(x)> + |x|² Σ_{n<=p+2} <N_n, I_n(x)>
// (two harmonic series; every biharmonic function outside a ball has exactly
// one such form about a given centre) is differentiated in the same form:
// the derivative of |x|² h is split again into a harmonic part and |x|²
// times a harmonic part. Translation to another centre is the Taylor series
// of the shift, each term one directional derivative; it is exact for the
// degrees kept.
#ifndef SURFACE_FIT_SOLID_HARMONICS_H
#define SURFACE_FIT_SOLID_HARMONICS_H

#include <cstdint>

#include "surface/frame/tracked_memory.h"

// Scratch room for n pairs left uninitialised: an array of std::complex
// would be zero-filled on every call of the hot loops.
template <int32_t n>
struct PairScratch {
    alignas(16) double raw[2 * n];
    MemPair* data() { return reinterpret_cast<MemPair*>(raw); }
    MemPair& operator[](int32_t i) { return data()[i]; }
};

constexpr int32_t Harmonic_Size(int32_t degree) { return (degree + 1) * (degree + 2) / 2; }
constexpr int32_t Harmonic_Index(int32_t n, int32_t m) { return n * (n + 1) / 2 + m; }

// The largest degree the harmonics are formed to.
constexpr int32_t Harmonic_MaxDegree = 40;

// R_n^m(x) for n = 0..degree, m = 0..n (degree at most Harmonic_MaxDegree).
void Harmonic_Regular(const double* x, int32_t degree, MemPair* out);
// I_n^m(x) for n = 0..degree (x not 0; degree at most Harmonic_MaxDegree).
void Harmonic_Irregular(const double* x, int32_t degree, MemPair* out);
// Σ_{n<=degree} Σ_m A_n^m H_n^m over a series and harmonics of the same layout.
double Harmonic_Contract(const MemPair* a, const MemPair* h, int32_t degree);

// A far field: M to degree mDegree, N to mDegree + 2, stored M then N.
struct FarSeries {
    MemPair* M;
    MemPair* N;
};
constexpr int32_t FarSeries_Size(int32_t mDegree) { return Harmonic_Size(mDegree) + Harmonic_Size(mDegree + 2); }
FarSeries FarSeries_At(MemPair* block, int32_t mDegree);

// Adds the far field of weight c at y (relative to the centre).
void FarSeries_AddSource(FarSeries series, int32_t mDegree, const double* y, double c, MemPair* scratch);
// The value of the series truncated at order p (M to p, N to p + 2) at x
// relative to the centre, from its irregular harmonics h (degree p + 2).
double FarSeries_Value(FarSeries series, int32_t p, const double* x, const MemPair* h);
// out (cleared first) = the directional derivative t·∇ of the series, in the
// same form and truncation.
void FarSeries_Derivative(FarSeries in, int32_t mDegree, const double* t, FarSeries out);
// Adds to `to` the series `from` moved by the shift t = its centre minus
// the new centre. work holds 2 FarSeries_Size(mDegree) pairs.
void FarSeries_AddTranslated(FarSeries from, int32_t mDegree, const double* t, FarSeries to, MemPair* work);

#endif
