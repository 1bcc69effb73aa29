// Fitted RBF solutions (2D and 3D): centres, coefficients (one per centre,
// then the polynomial terms), the basic function, the polynomial part and
// the metadata of the fit; with their checks, their conversion to the
// fitting core's record and their rigid transforms.
//
// Polynomial coefficients follow the centres' coefficients, in coordinates
// relative to the polynomial base, in this order: degree 0: 1; degree 1:
// 1, x, y, z (2D: 1, x, y); degree 2: 1, x, x², y, xy, y², z, xz, yz, z²
// (2D: 1, x, x², y, xy, y²).
//
// The records are allocated with the run-time allocator, so that the
// library's caller may create and free them too. Statuses are the API
// statuses: 0, 2 no memory, 6 solution missing or invalid, 17 invalid
// argument.
#ifndef SURFACE_FRAME_SOLUTION_H
#define SURFACE_FRAME_SOLUTION_H

#include <cstdint>

struct BasicFunctionKernel;
struct CoreRbf;
struct Reporter;

// The basic function as the library's caller describes it.
struct BasicFunction {
    int32_t Type;  // 0 to 4
    double C;      // parameter
    int32_t K;     // exponent
};

struct Solution3 {
    int32_t CentreCount;
    int32_t CoeffCount;  // centres plus polynomial terms
    double AchievedAccuracy;
    double DefaultEvalAccuracy;  // must not be negative
    double* Centres;             // three doubles a centre
    double* Coeffs;
    int32_t* Indices;  // or null: the input point each centre came from
    double PolyBase[3];
    double DataMin[3];
    double DataMax[3];
    BasicFunction Basic;
    int32_t PolyDegree;  // -1 none, 0, 1, 2; -2 unset
    double Rho;          // smoothing, not negative
    int32_t FitType;
    char Creator[32];
};

struct Solution2 {
    int32_t CentreCount;
    int32_t CoeffCount;
    double AchievedAccuracy;
    double DefaultEvalAccuracy;
    double* Centres;  // two doubles a centre
    double* Coeffs;
    int32_t* Indices;
    double PolyBase[2];
    double DataMin[2];
    double DataMax[2];
    BasicFunction Basic;
    int32_t PolyDegree;
    double Rho;
    int32_t FitType;
    char Creator[32];
};

// Zero-fills, sets the centre count, degree -2 and coefficient count
// centres + 15, and allocates the centres, centres + 15 coefficients and,
// when asked, the indices. 6 for a null solution or a negative count; 2
// with the record empty when memory runs out.
int Solution3_Create(Solution3* solution, int32_t centres, int32_t withIndices);
int Solution2_Create(Solution2* solution, int32_t centres, int32_t withIndices);
// Creates the destination for the source's centres and copies everything.
// 6 when either is missing or the source's counts do not fit its arrays.
int Solution3_Copy(Solution3* destination, const Solution3* source);
int Solution2_Copy(Solution2* destination, const Solution2* source);
// Free releases the arrays and zero-fills; Clear only zero-fills (null allowed).
void Solution3_Free(Solution3* solution);
void Solution2_Free(Solution2* solution);
void Solution3_Clear(Solution3* solution);
void Solution2_Clear(Solution2* solution);
// 1 when usable, else 0 after one message.
int Solution3_Check(const Solution3* solution, Reporter* reporter);
int Solution2_Check(const Solution2* solution, Reporter* reporter);

// 1 when the fitting core has a kernel for the basic function in this
// dimension with this polynomial degree, else 0 after one message.
int BasicFunction_Check(const BasicFunction* basic, int32_t dimension, int32_t degree, Reporter* reporter);
// Selects the core kernel for the basic function with the extra value s
// (a shift of the parameter). Core status 0, or 10 when no kernel fits.
int BasicFunction_ToCore(const BasicFunction* basic, double s, int32_t dimension, int32_t degree,
                         BasicFunctionKernel* kernel, Reporter* reporter);

// The degree whose term count is `count` (-2 when none has it), and the
// term count of a degree (-1 for an unknown degree).
int32_t Poly_DegreeFromCount(int32_t count, int32_t dimension);
int32_t Poly_CoeffCount(int32_t degree, int32_t dimension);

// Builds the core record over the solution: its own row table over the
// centres, and references to the coefficients and indices (the solution
// must outlive it; free it with CoreSolution_Free). Core status 0, 2, or 10.
int Solution3_ToCore(const Solution3* solution, CoreRbf* core, Reporter* reporter);
int Solution2_ToCore(const Solution2* solution, CoreRbf* core, Reporter* reporter);

// Moves the solution by a rigid motion: three rows of four doubles
// (rotation in the first three columns, translation in the fourth). The
// rotation rows must be orthonormal within 1e-12, else 17. 6 when the
// solution does not pass its check, 2 when scratch cannot be had.
int Solution3_Transform(Solution3* solution, const double* matrix);
// The 2D form: two rows (a, b, tx; c, d, ty) of a rotation: a = d, b = -c and
// a² + b² = 1, each within 1e-12, else 17.
int Solution2_Transform(Solution2* solution, const double* matrix);

#endif
