// Carving matrices out of a memory pool.
#include "surface/fit/matrix_arena.h"

#include <cstddef>

namespace {

std::size_t RoundUp8(std::size_t bytes) { return (bytes + 7u) & ~static_cast<std::size_t>(7u); }

// Takes `data` doubles and a table of `rows` pointers from the pool; the
// caller points the rows.
double** Carve(std::size_t data, std::size_t rows, MemPool* arena) {
    const std::size_t dataBytes = data * sizeof(double);
    const std::size_t tableBytes = RoundUp8(rows * sizeof(double*));
    if (!arena || !arena->next || dataBytes + tableBytes > arena->bytesLeft) return nullptr;
    double* block = reinterpret_cast<double*>(arena->next);
    double** table = reinterpret_cast<double**>(arena->next + dataBytes);
    arena->next += dataBytes + tableBytes;
    arena->bytesLeft -= dataBytes + tableBytes;
    table[0] = block;
    return table;
}

}  // namespace

double** Arena_AllocMatrix(int32_t rows, int32_t columns, MemPool* arena) {
    if (rows < 0 || columns < 0) return nullptr;
    const std::size_t r = rows > 0 ? rows : 1;
    const std::size_t c = columns > 0 ? columns : 1;
    double** table = Carve(r * c, r, arena);
    if (!table) return nullptr;
    for (std::size_t i = 1; i < r; ++i) table[i] = table[0] + i * c;
    return table;
}

double** Arena_AllocTriangle(int32_t n, MemPool* arena) {
    if (n < 0) return nullptr;
    const std::size_t r = n > 0 ? n : 1;
    double** table = Carve(r * (r + 1) / 2, r, arena);
    if (!table) return nullptr;
    for (std::size_t i = 1; i < r; ++i) table[i] = table[0] + i * (i + 1) / 2;
    return table;
}
