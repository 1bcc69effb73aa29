// Debugging dumps of vectors and matrices to the standard output in a form
// that a Matlab-style interpreter reads back: a name, an equals sign and the
// values in square brackets ended by a semicolon. Elements print as
// " % .4e "; each dump returns what its last print returned. Matrices are
// row-pointer matrices.
#ifndef SURFACE_FIT_MATLAB_DUMP_H
#define SURFACE_FIT_MATLAB_DUMP_H

#include <complex>
#include <cstdint>

int DumpMatlabMatrixTight(int32_t rows, int32_t columns, double* const* matrix, const char* name);
// Plane `plane` (0-based; printed 1-based) of a three-level array a[i][j][k].
int DumpMatlabSlice(int32_t rows, int32_t columns, int32_t plane, double* const* const* array, const char* name);
// Column by column.
int DumpMatlabTransposed(int32_t rows, int32_t columns, double* const* matrix, const char* name);
int DumpMatlabMatrix(int32_t rows, int32_t columns, double* const* matrix, const char* name);
int DumpMatlabRow(int32_t count, const double* vector, const char* name);
// A negative imaginary part prints its own sign in place of the plus.
int DumpMatlabComplexRow(int32_t count, const std::complex<double>* vector, const char* name);
int DumpMatlabColumn(int32_t count, const double* vector, const char* name);
int DumpMatlabInts(int32_t count, const int32_t* vector, const char* name);
// A lower triangle packed row after row (row i holds i + 1 elements).
int DumpMatlabLower(int32_t n, const double* packed, const char* name);
// Row i holds i + 1 complex elements as real and imaginary pairs.
void Dump_MatlabComplex(int32_t n, double* const* lower, const char* name);
// The rows named by the indices.
int DumpMatlabRows(int32_t count, int32_t columns, double* const* matrix, const int32_t* rows, const char* name);

#endif
