#include "surface/fit/matlab_dump.h"

#include <cstdio>

namespace {

int Element(double value) { return std::printf(" % .4e ", value); }

int Complex(double re, double im) {
    return im >= 0 ? std::printf(" % .4e +%.4ei", re, im) : std::printf(" % .4e %.4ei", re, im);
}

// "%s = [..." then each row after `rowStart`, then "];\n".
int Rows(int32_t rows, int32_t columns, double* const* matrix, const char* name, const char* rowStart) {
    std::printf("%s = [...", name);
    for (int32_t i = 0; i < rows; ++i) {
        std::printf("%s", rowStart);
        for (int32_t j = 0; j < columns; ++j) Element(matrix[i][j]);
    }
    return std::printf("];\n");
}

}  // namespace

int DumpMatlabMatrixTight(int32_t rows, int32_t columns, double* const* matrix, const char* name) {
    return Rows(rows, columns, matrix, name, "\n");
}

int DumpMatlabMatrix(int32_t rows, int32_t columns, double* const* matrix, const char* name) {
    return Rows(rows, columns, matrix, name, " \n");
}

int DumpMatlabSlice(int32_t rows, int32_t columns, int32_t plane, double* const* const* array, const char* name) {
    std::printf("%s(:,:,%d) = [...", name, plane + 1);
    for (int32_t i = 0; i < rows; ++i) {
        std::printf("\n");
        for (int32_t j = 0; j < columns; ++j) Element(array[i][j][plane]);
    }
    return std::printf("];\n");
}

int DumpMatlabTransposed(int32_t rows, int32_t columns, double* const* matrix, const char* name) {
    std::printf("%s = [...", name);
    for (int32_t j = 0; j < columns; ++j) {
        std::printf(" \n");
        for (int32_t i = 0; i < rows; ++i) Element(matrix[i][j]);
    }
    return std::printf("];\n");
}

int DumpMatlabRow(int32_t count, const double* vector, const char* name) {
    std::printf("%s = [", name);
    for (int32_t i = 0; i < count; ++i) Element(vector[i]);
    return std::printf("];\n");
}

int DumpMatlabComplexRow(int32_t count, const std::complex<double>* vector, const char* name) {
    std::printf("%s = [", name);
    for (int32_t i = 0; i < count; ++i) Complex(vector[i].real(), vector[i].imag());
    return std::printf("];\n");
}

int DumpMatlabColumn(int32_t count, const double* vector, const char* name) {
    std::printf("%s = [...", name);
    for (int32_t i = 0; i < count; ++i) std::printf("\n % .4e ", vector[i]);
    return std::printf("];\n");
}

int DumpMatlabInts(int32_t count, const int32_t* vector, const char* name) {
    std::printf("%s = [", name);
    for (int32_t i = 0; i < count; ++i) std::printf("%d ", vector[i]);
    return std::printf("];\n");
}

int DumpMatlabLower(int32_t n, const double* packed, const char* name) {
    std::printf("%s = \n", name);
    const double* row = packed;
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = 0; j <= i; ++j) Element(row[j]);
        std::printf("\n");
        row += i + 1;
    }
    return std::printf("\n");
}

void Dump_MatlabComplex(int32_t n, double* const* lower, const char* name) {
    std::printf("%s = ", name);
    for (int32_t i = 0; i < n; ++i) {
        std::printf("\n");
        for (int32_t j = 0; j <= i; ++j) Complex(lower[i][2 * j], lower[i][2 * j + 1]);
    }
    std::printf("\n");
}

int DumpMatlabRows(int32_t count, int32_t columns, double* const* matrix, const int32_t* rows, const char* name) {
    std::printf("\n %s = [...", name);
    for (int32_t k = 0; k < count; ++k) {
        std::printf(" \n");
        for (int32_t j = 0; j < columns; ++j) Element(matrix[rows[k]][j]);
    }
    return std::printf("];\n");
}
