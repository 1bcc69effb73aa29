#include "surface/frame/tracked_matrix.h"

#include <cstring>
#include <limits>

namespace {

// Element counts are computed in 64 bits and refused when a block of that
// many elements could not be addressed.
bool BlockBytes(uint64_t elements, std::size_t elementSize, std::size_t* bytes) {
    const uint64_t limit = std::numeric_limits<std::size_t>::max() / elementSize;
    if (elements > limit) return false;
    *bytes = static_cast<std::size_t>(elements) * elementSize;
    return true;
}

uint64_t TriangleElements(int32_t n) { return static_cast<uint64_t>(n) * (static_cast<uint64_t>(n) + 1) / 2; }

int32_t AtLeastOne(int32_t n) { return n == 0 ? 1 : n; }

// Table of `rows` row pointers over one data block of `elements` items; the
// rows are set by the caller.
template <typename T>
T** AllocTableAndData(int32_t rows, uint64_t elements) {
    std::size_t tableBytes = 0;
    std::size_t dataBytes = 0;
    if (!BlockBytes(static_cast<uint64_t>(rows), sizeof(T*), &tableBytes) ||
        !BlockBytes(elements, sizeof(T), &dataBytes)) {
        return nullptr;
    }
    auto** table = static_cast<T**>(Mem_Alloc(tableBytes));
    if (!table) return nullptr;
    auto* data = static_cast<T*>(Mem_Alloc(dataBytes));
    if (!data) {
        Mem_Free(table);
        return nullptr;
    }
    table[0] = data;
    return table;
}

template <typename T>
T** AllocRectangle(int32_t rows, int32_t columns) {
    if (rows < 0 || columns < 0) return nullptr;
    rows = AtLeastOne(rows);
    T** table = AllocTableAndData<T>(rows, static_cast<uint64_t>(rows) * columns);
    if (!table) return nullptr;
    for (int32_t i = 0; i < rows; ++i) table[i] = table[0] + static_cast<std::size_t>(i) * columns;
    return table;
}

template <typename T>
T** AllocTriangle(int32_t n) {
    if (n < 0) return nullptr;
    n = AtLeastOne(n);
    T** table = AllocTableAndData<T>(n, TriangleElements(n));
    if (!table) return nullptr;
    for (int32_t i = 0; i < n; ++i) table[i] = table[0] + TriangleElements(i);
    return table;
}

// Resizes a row table to `rows` pointers and its data block to `elements`
// doubles; the rows are set by the caller. On failure both old blocks have
// been freed.
double** ReallocTableAndData(double** matrix, int32_t rows, uint64_t elements) {
    std::size_t tableBytes = 0;
    std::size_t dataBytes = 0;
    if (!BlockBytes(static_cast<uint64_t>(rows), sizeof(double*), &tableBytes) ||
        !BlockBytes(elements, sizeof(double), &dataBytes)) {
        Mem_FreeMatrix(matrix);
        return nullptr;
    }
    double* data = matrix[0];
    auto** table = static_cast<double**>(Mem_Realloc(matrix, tableBytes));
    if (!table) {
        Mem_Free(data);
        return nullptr;
    }
    data = static_cast<double*>(Mem_Realloc(data, dataBytes));
    if (!data) {
        Mem_Free(table);
        return nullptr;
    }
    table[0] = data;
    return table;
}

// Top table of `items` entries over a row table of `rows` pointers and a data
// block of `elements` doubles.
double*** AllocThreeLevels(int32_t items, uint64_t rows, uint64_t elements) {
    std::size_t topBytes = 0;
    if (!BlockBytes(static_cast<uint64_t>(items), sizeof(double**), &topBytes) ||
        rows > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
        return nullptr;
    }
    auto*** top = static_cast<double***>(Mem_Alloc(topBytes));
    if (!top) return nullptr;
    double** middle = AllocTableAndData<double>(static_cast<int32_t>(rows), elements);
    if (!middle) {
        Mem_Free(top);
        return nullptr;
    }
    top[0] = middle;
    return top;
}

}  // namespace

double** Mem_AllocMatrix(int32_t rows, int32_t columns) { return AllocRectangle<double>(rows, columns); }

double** Mem_AllocMatrixB(int32_t rows, int32_t columns) { return Mem_AllocMatrix(rows, columns); }

int32_t** Mem_AllocIntMatrix(int32_t rows, int32_t columns) { return AllocRectangle<int32_t>(rows, columns); }

MemPair** AllocPairMatrix(int32_t rows, int32_t columns) { return AllocRectangle<MemPair>(rows, columns); }

double** Mem_AllocLowerTriangle(int32_t n) { return AllocTriangle<double>(n); }

MemPair** Mem_AllocLowerTrianglePairs(int32_t n) { return AllocTriangle<MemPair>(n); }

double*** Mem_AllocTriangleStack(int32_t count, int32_t n) {
    if (count < 0 || n < 0) return nullptr;
    count = AtLeastOne(count);
    n = AtLeastOne(n);
    const uint64_t perItem = TriangleElements(n);
    double*** top = AllocThreeLevels(count, static_cast<uint64_t>(count) * n, perItem * count);
    if (!top) return nullptr;
    double** rows = top[0];
    double* data = rows[0];
    for (int32_t k = 0; k < count; ++k) {
        top[k] = rows + static_cast<std::size_t>(k) * n;
        for (int32_t j = 0; j < n; ++j) top[k][j] = data + perItem * k + TriangleElements(j);
    }
    return top;
}

double*** AllocStack3(int32_t count, int32_t n, int32_t step) {
    if (count < 0 || n < 0 || step < 0) return nullptr;
    count = AtLeastOne(count);
    n = AtLeastOne(n);
    const uint64_t rowCount = static_cast<uint64_t>(count) * n;
    double*** top = AllocThreeLevels(count, rowCount, rowCount * step);
    if (!top) return nullptr;
    double** rows = top[0];
    double* data = rows[0];
    for (uint64_t r = 0; r < rowCount; ++r) rows[r] = data + r * step;
    for (int32_t k = 0; k < count; ++k) top[k] = rows + static_cast<std::size_t>(k) * n;
    return top;
}

double*** AllocStack3(const Stack3Shape* shape) {
    if (!shape) return nullptr;
    return AllocStack3(shape->count, shape->n, shape->step);
}

double*** Mem_AllocTetra(int32_t n) {
    if (n < 0) return nullptr;
    n = AtLeastOne(n);
    const uint64_t size = static_cast<uint64_t>(n);
    double*** top = AllocThreeLevels(n, TriangleElements(n), size * (size + 1) * (size + 2) / 6);
    if (!top) return nullptr;
    double** row = top[0];
    double* data = row[0];
    for (int32_t i = 0; i < n; ++i) {
        top[i] = row;
        for (int32_t j = 0; j < n - i; ++j) {
            *row++ = data;
            data += n - i - j;
        }
    }
    return top;
}

void Mem_FreeMatrix(void* matrix) {
    if (!matrix) return;
    auto** table = static_cast<void**>(matrix);
    Mem_Free(table[0]);
    Mem_Free(table);
}

void Mem_FreeMatrixB(void* matrix) { Mem_FreeMatrix(matrix); }
void Mem_FreeMatrixC(void* matrix) { Mem_FreeMatrix(matrix); }
void Mem_FreeMatrixD(void* matrix) { Mem_FreeMatrix(matrix); }
void Mem_FreeMatrixE(void* matrix) { Mem_FreeMatrix(matrix); }
void Mem_FreeIntMatrix(void* matrix) { Mem_FreeMatrix(matrix); }

void Mem_FreeMatrixRows(void* array) {
    if (!array) return;
    auto*** top = static_cast<void***>(array);
    Mem_FreeMatrix(top[0]);
    Mem_Free(top);
}

double** Mem_ReallocMatrix(double** matrix, int32_t rows, int32_t columns) {
    if (!matrix) return Mem_AllocMatrix(rows, columns);
    if (rows < 0 || columns < 0) {
        Mem_FreeMatrix(matrix);
        return nullptr;
    }
    rows = AtLeastOne(rows);
    columns = AtLeastOne(columns);
    double** table = ReallocTableAndData(matrix, rows, static_cast<uint64_t>(rows) * columns);
    if (!table) return nullptr;
    for (int32_t i = 0; i < rows; ++i) table[i] = table[0] + static_cast<std::size_t>(i) * columns;
    return table;
}

double** Mem_ReallocMatrixB(double** matrix, int32_t rows, int32_t columns) {
    return Mem_ReallocMatrix(matrix, rows, columns);
}

double** Mem_ReallocMatrixRows(double** matrix, int32_t rows, int32_t oldColumns, int32_t newColumns) {
    if (!matrix) return Mem_AllocMatrix(rows, newColumns);
    std::size_t dataBytes = 0;
    if (rows < 0 || oldColumns < 0 || newColumns < 0 ||
        !BlockBytes(static_cast<uint64_t>(AtLeastOne(rows)) * newColumns, sizeof(double), &dataBytes)) {
        Mem_FreeMatrix(matrix);
        return nullptr;
    }
    rows = AtLeastOne(rows);
    // The row table of the new layout, built before the data moves.
    auto** moved = static_cast<double**>(Mem_Alloc(sizeof(double*) * static_cast<std::size_t>(rows)));
    if (!moved) {
        Mem_FreeMatrix(matrix);
        return nullptr;
    }
    double* data = matrix[0];
    const std::size_t oldStride = static_cast<std::size_t>(oldColumns);
    const std::size_t newStride = static_cast<std::size_t>(newColumns);
    if (newColumns > oldColumns) {
        // Enlarge first, then move the rows from the last to the first so
        // that no row overwrites one not yet moved.
        data = static_cast<double*>(Mem_Realloc(data, dataBytes));
        if (!data) {
            Mem_Free(matrix);
            Mem_Free(moved);
            return nullptr;
        }
        for (int32_t i = 0; i < rows; ++i) moved[i] = data + i * newStride;
        for (int32_t i = rows - 1; i >= 0; --i) {
            std::memmove(moved[i], data + i * oldStride, sizeof(double) * oldStride);
        }
    } else {
        // Move the rows from the first to the last, then shrink.
        for (int32_t i = 0; i < rows; ++i) moved[i] = data + i * newStride;
        for (int32_t i = 0; i < rows; ++i) {
            std::memmove(moved[i], data + i * oldStride, sizeof(double) * newStride);
        }
        data = static_cast<double*>(Mem_Realloc(data, dataBytes));
        if (!data) {
            Mem_Free(matrix);
            Mem_Free(moved);
            return nullptr;
        }
    }
    for (int32_t i = 0; i < rows; ++i) matrix[i] = data + i * newStride;
    Mem_Free(moved);
    return matrix;
}

double** Mem_ReallocTriangle(double** matrix, int32_t n) {
    if (!matrix) return Mem_AllocLowerTriangle(n);
    if (n < 0) {
        Mem_FreeMatrix(matrix);
        return nullptr;
    }
    n = AtLeastOne(n);
    double** table = ReallocTableAndData(matrix, n, TriangleElements(n));
    if (!table) return nullptr;
    for (int32_t i = 0; i < n; ++i) table[i] = table[0] + TriangleElements(i);
    return table;
}
