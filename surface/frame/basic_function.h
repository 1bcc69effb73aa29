// Basic functions: the table of the thirteen kernel variants and the
// basic-function record that solutions and fitters hold by value.
//
// A fitted function is Σ λⱼ·φ(|x − cⱼ|) plus a low-degree polynomial. The
// record says which φ (kernel type 0 to 8, dimension, shape parameter c,
// exponent β), the degree and term count of the polynomial, the sign by which
// the fitters multiply their smoothing shift, and carries the eight kernel
// operations. It owns nothing: it is copied, compared and zero-filled as
// plain data.
#ifndef SURFACE_FRAME_BASIC_FUNCTION_H
#define SURFACE_FRAME_BASIC_FUNCTION_H

#include <cstdint>

struct CoreReporter;
struct BasicFunctionKernel;

// The eight kernel operations (n centres, m points, s a squared distance).
// Centres, points and matrix rows are tables of row references; gradients
// are references to d doubles per point. The operations with a status return
// 0, 5 for no points or an empty grid, 10 when the reporter's abort flag is
// set, and 12 when the record does not belong to the kernel.
using KernelPhiFn = double (*)(const BasicFunctionKernel* kernel, double s);
// rows[i][j] = φ(|cᵢ − cⱼ|) for 0 <= j <= i < n (the lower triangle only).
using KernelFillMatrixFn = void (*)(const BasicFunctionKernel* kernel, int32_t n, const double* const* centres,
                                    double* const* rows);
// rows[i][j] = φ(|c_index[i] − cⱼ|) for i < m, j < n.
using KernelFillRowsFn = void (*)(const BasicFunctionKernel* kernel, int32_t n, const double* const* centres, int32_t m,
                                  const int32_t* index, double* const* rows);
// y = Φ·λ over all pairs of centres; y need not be cleared beforehand.
using KernelMultiplyFn = int (*)(const BasicFunctionKernel* kernel, int32_t n, const double* const* centres,
                                 const double* lambda, double* y, const CoreReporter* reporter, double progressEnd);
// values[i] = Σⱼ λⱼ·φ(|pᵢ − cⱼ|).
using KernelPointEvalFn = int (*)(const BasicFunctionKernel* kernel, int32_t n, const double* const* centres,
                                  const double* lambda, int32_t m, const double* const* points, double* values,
                                  const CoreReporter* reporter, double progressEnd);
// The values and the gradients with respect to the point.
using KernelPointGradientFn = int (*)(const BasicFunctionKernel* kernel, int32_t n, const double* const* centres,
                                      const double* lambda, int32_t m, const double* const* points, double* values,
                                      double* const* gradients, const CoreReporter* reporter, double progressEnd);
// The values at the nodes origin + i·spacing of a grid of sizes[0] by
// sizes[1] (by sizes[2] in 3D), coordinate 0 running fastest.
using KernelGridEvalFn = int (*)(const BasicFunctionKernel* kernel, int32_t n, const double* const* centres,
                                 const double* lambda, const double* origin, const double* spacing,
                                 const int32_t* sizes, double* values, const CoreReporter* reporter,
                                 double progressEnd);
using KernelGridGradientFn = int (*)(const BasicFunctionKernel* kernel, int32_t n, const double* const* centres,
                                     const double* lambda, const double* origin, const double* spacing,
                                     const int32_t* sizes, double* values, double* const* gradients,
                                     const CoreReporter* reporter, double progressEnd);

struct BasicFunctionKernel {
    double Param;        // shape parameter c
    int32_t Exponent;    // β of the multiquadric family and the approximate spherical kernel
    int32_t Type;        // kernel type 0 to 8
    int32_t Dim;         // 2 or 3; 0 in the table for rows valid in any dimension
    int32_t PolyDegree;  // -1 none, 0, 1 or 2 (table: default; -2 from the exponent)
    int32_t PolyTerms;   // number of polynomial terms (table: -1)
    int32_t Sign;        // ±1: multiplies the magnitude of the smoothing shift (table: 0 from β)
    const char* Name;
    double JoinRadius;   // approximate spherical: join radius R
    double Factor;       // approximate spherical: slope k; normalized multiquadric: c^(−β)
    double TailDivisor;  // approximate spherical: divisor K of the outer tail
    KernelPhiFn Phi;
    KernelFillMatrixFn FillMatrix;
    KernelFillRowsFn FillRows;
    KernelMultiplyFn Multiply;
    KernelPointEvalFn PointEval;
    KernelPointGradientFn PointGradient;
    KernelGridEvalFn GridEval;
    KernelGridGradientFn GridGradient;
};

enum BasicFunctionType : int32_t {
    kBasicBiharmonic = 0,
    kBasicTriharmonic = 1,
    kBasicMultiquadric = 2,
    kBasicGaussian = 3,
    kBasicShiftedBiharmonic = 4,
    kBasicShiftedTriharmonic = 5,
    kBasicNormalizedMultiquadric = 6,
    kBasicApproxSpherical = 7,
    kBasicSpherical = 8,
};

constexpr int32_t kKernelTableRows = 13;
extern const BasicFunctionKernel KernelTable[kKernelTableRows];

// Fills the record for a request (kernel type, dimension, polynomial degree:
// -2 or less for the default, -1 for none; shape parameter c; exponent β).
// Core status 0, 5 invalid input, 7 invalid dimension, 12 invalid type; one
// error message through the reporter when it may speak at level 1.
int BasicFunction_Init(int32_t type, int32_t dimension, int32_t degree, double c, int32_t exponent,
                       BasicFunctionKernel* kernel, const CoreReporter* reporter);
// Display name of a type, null outside 0 to 8.
const char* BasicFunction_Name(int32_t type);
// Short name of a type in a dimension, or null.
const char* BasicFunction_ShortName(int32_t type, int32_t dimension);
// The lowest polynomial degree the kernel needs; 3 when the kernel does not
// exist in that dimension or the type is unknown.
int32_t BasicFunction_MinPolyDegree(int32_t type, int32_t dimension, int32_t exponent);

#endif
