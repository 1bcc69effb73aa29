// Tetrahedral polynomial arrays in u = (ux, uy, uz) for the multiquadric
// series: the coefficients of degree t follow those of lower degree; inside
// a degree, the monomial ux^a uy^b uz^e sits at j(j+1)/2 + e with j = b + e.
#ifndef SURFACE_FIT_MQ_SERIES_H
#define SURFACE_FIT_MQ_SERIES_H

#include <cstdint>

// Adds c times the Taylor polynomial of (1 - 2 u·y + s|u|²)^{k/2} to total
// degree `top` to `series`; scratch is a tetrahedral array of that degree,
// alpha and beta the recurrence coefficients (index 2 .. top).
void MQSeries_AddSource(double* series, int32_t top, int32_t k, const double* y, double s, double c,
                        const double* alpha, const double* beta, double* scratch);
// Σ A_{abe} u^{abe} over total degrees 0 .. top.
double MQSeries_Evaluate(const double* series, int32_t top, const double* u);
// The series G (degree top + 1) with ∂/∂d_axis (|d|^k S(u)) = |d|^k G(u) for
// the series S of degree top (G cleared first).
void MQSeries_Derivative(const double* series, int32_t top, int32_t k, int32_t axis, double* out);

#endif
