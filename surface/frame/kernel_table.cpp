// The kernel table: thirteen variants of the nine basic functions, each with
// its defaults and its eight operations.
#include "surface/frame/basic_function.h"
#include "surface/frame/kernel_loops.h"
#include "surface/frame/kernel_shapes.h"

namespace {

using namespace kernel_shapes;
using kernel_loops::Family;

#define KERNEL_OPERATIONS(Shape)                                                                         \
    &Family<Shape>::Phi, &Family<Shape>::FillMatrix, &Family<Shape>::FillRows, &Family<Shape>::Multiply, \
        &Family<Shape>::PointEval, &Family<Shape>::PointGradient, &Family<Shape>::GridEval,              \
        &Family<Shape>::GridGradient

}  // namespace

// Param, Exponent, Type, Dim, PolyDegree, PolyTerms, Sign, Name, JoinRadius,
// Factor, TailDivisor, operations. A degree of -2 and a sign of 0 are worked
// out from the exponent when the record is initialised. The Gaussian is
// positive definite, so its smoothing shift is added to the diagonal (+1).
const BasicFunctionKernel KernelTable[kKernelTableRows] = {
    {0.0, 0, 0, 3, 1, -1, -1, "3D Biharmonic", 0.0, 0.0, 0.0, KERNEL_OPERATIONS(Biharmonic3)},
    {0.0, 0, 1, 3, 2, -1, 1, "3D Triharmonic", 0.0, 0.0, 0.0, KERNEL_OPERATIONS(Triharmonic3)},
    {0.0, 1, 2, 3, 1, -1, -1, "3D Multiquadric", 0.0, 0.0, 0.0, KERNEL_OPERATIONS(Multiquadric3)},
    {0.0, -1, 2, 3, 1, -1, -1, "3D Inverse Multiquadric", 0.0, 0.0, 0.0, KERNEL_OPERATIONS(InverseMultiquadric3)},
    {0.0, 1, 8, 3, 1, -1, 1, "3D Spherical", 0.0, 0.0, 0.0, KERNEL_OPERATIONS(Spherical3)},
    {0.0, 1, 2, 0, -2, -1, 0, "Generalized Multiquadric", 0.0, 0.0, 0.0, KERNEL_OPERATIONS(GeneralizedMultiquadric)},
    {0.0, 1, 6, 0, -2, -1, 0, "Normalized Multiquadric", 0.0, 0.0, 0.0, KERNEL_OPERATIONS(NormalizedMultiquadric)},
    {0.0, -9, 7, 0, 0, -1, 1, "Approximate Spherical", 0.0, 0.0, 0.0, KERNEL_OPERATIONS(ApproxSpherical)},
    {1.0, 0, 3, 0, 1, -1, 1, "Gaussian", 0.0, 0.0, 0.0, KERNEL_OPERATIONS(Gaussian)},
    {0.0, 0, 0, 2, 1, -1, 1, "2D Biharmonic", 0.0, 0.0, 0.0, KERNEL_OPERATIONS(Biharmonic2)},
    {0.0, 0, 1, 2, 2, -1, -1, "2D Triharmonic", 0.0, 0.0, 0.0, KERNEL_OPERATIONS(Triharmonic2)},
    {0.0, 0, 4, 2, 1, -1, 1, "2D Shifted Biharmonic", 0.0, 0.0, 0.0, KERNEL_OPERATIONS(ShiftedBiharmonic2)},
    {0.0, 0, 5, 2, 2, -1, -1, "2D Shifted Triharmonic", 0.0, 0.0, 0.0, KERNEL_OPERATIONS(ShiftedTriharmonic2)},
};
