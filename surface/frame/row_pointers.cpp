#include "surface/frame/row_pointers.h"

#include "surface/frame/tracked_matrix.h"
#include "surface/frame/tracked_memory.h"

#include <cstddef>

int RowPointers_MakeStrided(double*** table, double* array, int32_t count, int32_t step) {
    *table = nullptr;
    if (count < 0) return 5;
    auto** rows = static_cast<double**>(Mem_Alloc(sizeof(double*) * static_cast<std::size_t>(count)));
    if (!rows) return 2;
    for (int32_t i = 0; i < count; ++i) rows[i] = array + static_cast<std::ptrdiff_t>(i) * step;
    *table = rows;
    return 0;
}

int RowPointers_Make3(double*** table, double* array, int32_t count) {
    return RowPointers_MakeStrided(table, array, count, 3);
}

int RowPointers_Make2(double*** table, double* array, int32_t count) {
    return RowPointers_MakeStrided(table, array, count, 2);
}

int RowPointers_Make2Level(double**** table, double* base, int32_t count, int32_t n, int32_t step) {
    *table = nullptr;
    if (count < 0 || n < 0) return 5;
    // Laid out as a matrix of pointers: a top table whose first entry starts
    // one block of count x n row pointers, so Mem_FreeMatrix frees it.
    const std::size_t tops = count > 0 ? static_cast<std::size_t>(count) : 1;
    auto*** top = static_cast<double***>(Mem_Alloc(sizeof(double**) * tops));
    if (!top) return 2;
    const std::size_t rowCount = static_cast<std::size_t>(count) * static_cast<std::size_t>(n);
    auto** rows = static_cast<double**>(Mem_Alloc(sizeof(double*) * rowCount));
    if (!rows) {
        Mem_Free(top);
        return 2;
    }
    top[0] = rows;
    for (std::size_t r = 0; r < rowCount; ++r) rows[r] = base + static_cast<std::ptrdiff_t>(r) * step;
    for (int32_t k = 0; k < count; ++k) top[k] = rows + static_cast<std::size_t>(k) * n;
    *table = top;
    return 0;
}
