#include "surface/frame/row_pointers.h"

#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"
#include "surface/frame/tracked_memory.h"

#include <cstddef>

int RowPointers_MakeStrided(double*** table, double* array, int32_t count, int32_t step) {
    *table = nullptr;
    if (count < 0) return CoreStatus_InvalidInput;
    std::size_t bytes = 0;
    if (!Mem_BlockBytes(static_cast<uint64_t>(count), sizeof(double*), &bytes)) return CoreStatus_NoMemory;
    auto** rows = static_cast<double**>(Mem_Alloc(bytes));
    if (!rows) return CoreStatus_NoMemory;
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
    if (count < 0 || n < 0) return CoreStatus_InvalidInput;
    // Laid out as a matrix of pointers: a top table whose first entry starts
    // one block of count x n row pointers, so Mem_FreeMatrix frees it. The
    // row count is formed in 64 bits: in 32 it can wrap to a small block.
    const uint64_t tops = count > 0 ? static_cast<uint64_t>(count) : 1;
    const uint64_t rowCount = static_cast<uint64_t>(count) * static_cast<uint64_t>(n);
    std::size_t topBytes = 0;
    std::size_t rowBytes = 0;
    if (!Mem_BlockBytes(tops, sizeof(double**), &topBytes) || !Mem_BlockBytes(rowCount, sizeof(double*), &rowBytes)) {
        return CoreStatus_NoMemory;
    }
    auto*** top = static_cast<double***>(Mem_Alloc(topBytes));
    if (!top) return CoreStatus_NoMemory;
    auto** rows = static_cast<double**>(Mem_Alloc(rowBytes));
    if (!rows) {
        Mem_Free(top);
        return CoreStatus_NoMemory;
    }
    top[0] = rows;
    for (uint64_t r = 0; r < rowCount; ++r) rows[r] = base + static_cast<std::ptrdiff_t>(r) * step;
    for (int32_t k = 0; k < count; ++k) top[k] = rows + static_cast<std::size_t>(k) * n;
    *table = top;
    return 0;
}
