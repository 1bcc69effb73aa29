// Gram–Schmidt orthonormalisation of the rows of a row-pointer matrix
// (k vectors of length n). Statuses: 0, 2 no memory, 4 linear dependency,
// 5 invalid input.
#ifndef SURFACE_FIT_GRAM_SCHMIDT_H
#define SURFACE_FIT_GRAM_SCHMIDT_H

#include <cstdint>

// Modified Gram–Schmidt in place. 5 when n is below k; 4 when a vector keeps
// no more than 2⁻⁵² times the first vector's squared norm after the earlier
// ones are projected out (or the first vector is zero).
int GramSchmidt_Orthonormalise(int32_t k, int32_t n, double* const* V);
// As above, but each step takes the remaining vector of largest squared norm
// (the first of equals). *count receives the number of vectors done: k on
// success; with status 4 the number done before the rest fell below 2⁻⁵²
// times the largest initial squared norm (not written when all are zero).
int GramSchmidt_Pivoted(int32_t k, int32_t n, double* const* V, int32_t* count);
// x := x - Σ (qᵢ·x)·qᵢ over the k rows of Q, all dot products taken first.
int GramSchmidt_ProjectOut(int32_t k, int32_t n, double* const* Q, double* x);

#endif
