// Choosing a unisolvent subset of centres: points on which the monomials of
// a degree are independent, so that the direct fit can eliminate the
// polynomial side conditions on them.
//
// Statuses: 0, 2 no memory, 4 the points do not span the polynomial space
// (fewer chosen than asked), 5 the points coincide within tolerance, 6 fewer
// points than monomials, 7 a dimension the geometric choice does not serve.
#ifndef SURFACE_FIT_POLY_SUBSET_H
#define SURFACE_FIT_POLY_SUBSET_H

#include <cstdint>

// Chooses up to m of the N points (m the monomial count of degree n in d
// dimensions) and returns their indices in ascending order with their count.
// Degree 1 in 2D and 3D uses the geometric choice below; other cases
// Gaussian elimination with row pivoting on the monomial matrix about the
// points' mean.
int Poly_SelectSpanningSubset(int32_t d, int32_t n, int32_t m, int32_t N, const double* const* points, int32_t* indices,
                              int32_t* count);
// The geometric choice for degree 1 in 2D or 3D: the first point, the one
// farthest from it, the one farthest from their line and (3D) the one
// farthest from their plane. `scale` (the largest coordinate magnitude)
// times 2⁻⁵² is the tolerance. Indices come back ascending.
int Poly_ChooseUnisolventLinear(int32_t N, int32_t d, const double* const* points, double scale, int32_t* indices,
                                int32_t* count);
int Poly_ChooseUnisolvent2(int32_t N, const double* const* points, double scale, int32_t* indices, int32_t* count);
int Poly_ChooseUnisolvent3(int32_t N, const double* const* points, double scale, int32_t* indices, int32_t* count);

#endif
