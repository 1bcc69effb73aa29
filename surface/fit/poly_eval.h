// Evaluation of the polynomial part at points and on grids, with its
// derivatives. Coefficients follow the monomial order of poly_terms.h, in
// coordinates relative to the polynomial centre (null: the origin). Values
// and gradients are added to what the outputs already hold.
#ifndef SURFACE_FIT_POLY_EVAL_H
#define SURFACE_FIT_POLY_EVAL_H

#include <cstdint>

// Adds p(point) to out[i] for each of the N points.
void Poly_Eval(int32_t d, int32_t n, const double* coefficients, const double* centre, int32_t N,
               const double* const* points, double* out);
// Clears out (N values), then evaluates.
void Poly_EvalClear(int32_t d, int32_t n, const double* coefficients, const double* centre, int32_t N,
                    const double* const* points, double* out);
// The value at one point by nested Horner steps: a polynomial in the last
// coordinate whose coefficients are the blocks of lower dimension.
double Poly_EvalAt(int32_t d, int32_t n, const double* coefficients, const double* centre, const double* point);

// The coefficients (monomial order of degree n - 1) of ∂p/∂x_k, k from 0.
// Degree 0 writes nothing. `scratch` holds d ints. Status 0, or 2 when the
// count table cannot be allocated.
int Poly_DerivDescriptor(int32_t d, int32_t n, const double* coefficients, int32_t* scratch, int32_t k, double* out);
// The fixed degree-2 forms in 2D and 3D.
void Poly_DerivDescriptor2(const double* c, int32_t k, double* out);
void Poly_DerivDescriptor3(const double* c, int32_t k, double* out);
// Adds the gradient at each point to its row of d doubles. `descriptors` (d
// coefficient arrays, or null to build them here) are the derivatives of
// Poly_DerivDescriptor. Status 0, 2, or 5 when descriptors built here would
// need more than 16 coefficients each (above degree 3 in 3D, 5 in 2D).
int Poly_Derivatives(int32_t d, int32_t n, const double* coefficients, const double* const* descriptors,
                     const double* centre, int32_t N, const double* const* points, double* const* gradients);

// Adds the polynomial at every node origin + i·spacing of a grid of the
// given sizes; the first index runs fastest.
int Poly_GridEval(int32_t d, int32_t n, const double* coefficients, const double* centre, const double* origin,
                  const double* spacing, const int32_t* sizes, double* values);
// Adds the gradient over the grid: component k into gradients[k], an array of
// one value per node. Status 0 or 2.
int Poly_GridGradient(int32_t d, int32_t n, const double* coefficients, const double* centre, const double* origin,
                      const double* spacing, const int32_t* sizes, double* const* gradients);

#endif
