#include "surface/fit/permutations.h"

#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

#include <cstddef>
#include <cstring>

namespace {

// Items of a flat array.
struct FlatItems {
    unsigned char* base;
    std::size_t size;
    unsigned char* operator()(int32_t i) const { return base + static_cast<std::size_t>(i) * size; }
};

// Rows of a row-pointer table.
struct RowItems {
    double* const* rows;
    std::size_t size;
    unsigned char* operator()(int32_t i) const { return reinterpret_cast<unsigned char*>(rows[i]); }
};

// Scratch: the visited bytes followed by two item buffers.
class Scratch {
  public:
    Scratch(int32_t count, std::size_t itemSize)
        : block_(static_cast<unsigned char*>(Mem_Alloc(static_cast<std::size_t>(count) + 2 * itemSize))),
          count_(count),
          itemSize_(itemSize) {
        if (block_ && count > 0) std::memset(block_, 0, static_cast<std::size_t>(count));
    }
    ~Scratch() { Mem_Free(block_); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    bool Ok() const { return block_ != nullptr; }
    unsigned char* Visited() const { return block_; }
    unsigned char* Item(int which) const { return block_ + count_ + which * itemSize_; }

  private:
    unsigned char* block_;
    std::size_t count_;
    std::size_t itemSize_;
};

template <typename Items>
int Gather(const Items& item, const int32_t* perm, int32_t count) {
    if (count <= 0) return 0;
    Scratch scratch(count, item.size);
    if (!scratch.Ok()) return CoreStatus_NoMemory;
    unsigned char* visited = scratch.Visited();
    for (int32_t i = 0; i < count; ++i) {
        const int32_t p = perm[i];
        if (p < 0 || p >= count || visited[p]) return CoreStatus_InvalidInput;
        visited[p] = 1;
    }
    for (int32_t i = 0; i < count; ++i) visited[i] = 0;
    unsigned char* held = scratch.Item(0);
    for (int32_t start = 0; start < count; ++start) {
        if (visited[start]) continue;
        visited[start] = 1;
        if (perm[start] == start) continue;
        std::memcpy(held, item(start), item.size);
        int32_t j = start;
        for (;;) {
            const int32_t k = perm[j];
            if (k == start) {
                std::memcpy(item(j), held, item.size);
                break;
            }
            std::memcpy(item(j), item(k), item.size);
            visited[k] = 1;
            j = k;
        }
    }
    return 0;
}

template <typename Items>
int Scatter(const Items& item, const int32_t* perm, int32_t count) {
    if (count <= 0) return 0;
    for (int32_t i = 0; i < count; ++i) {
        if (perm[i] < 0) return CoreStatus_InvalidInput;
    }
    Scratch scratch(count, item.size);
    if (!scratch.Ok()) return CoreStatus_NoMemory;
    unsigned char* visited = scratch.Visited();
    unsigned char* carried = scratch.Item(0);
    unsigned char* found = scratch.Item(1);
    for (int32_t start = 0; start < count; ++start) {
        if (visited[start]) continue;
        visited[start] = 1;
        std::memcpy(carried, item(start), item.size);
        std::memset(item(start), 0, item.size);
        int32_t i = start;
        for (;;) {
            const int32_t target = perm[i];
            // Beyond the items, or a place whose own item has already left:
            // the carried item settles there and the chain ends.
            if (target >= count || visited[target]) {
                std::memcpy(item(target), carried, item.size);
                break;
            }
            std::memcpy(found, item(target), item.size);
            std::memcpy(item(target), carried, item.size);
            visited[target] = 1;
            unsigned char* swap = carried;
            carried = found;
            found = swap;
            i = target;
        }
    }
    return 0;
}

FlatItems Flat(void* base, std::size_t size) { return FlatItems{static_cast<unsigned char*>(base), size}; }

RowItems Rows(double* const* rows, int32_t n) {
    return RowItems{rows, sizeof(double) * static_cast<std::size_t>(n < 0 ? 0 : n)};
}

}  // namespace

int Permute_Ints(int32_t* items, const int32_t* perm, int32_t count) {
    return Gather(Flat(items, sizeof(int32_t)), perm, count);
}

int Permute_Doubles(double* items, const int32_t* perm, int32_t count) {
    return Gather(Flat(items, sizeof(double)), perm, count);
}

int Permute_Quads(void* items, const int32_t* perm, int32_t count) { return Gather(Flat(items, 16), perm, count); }

int Permute_Triples(double* items, const int32_t* perm, int32_t count) {
    return Gather(Flat(items, 3 * sizeof(double)), perm, count);
}

int Permute_Rows(double* const* rows, int32_t n, const int32_t* perm, int32_t count) {
    return Gather(Rows(rows, n), perm, count);
}

int Scatter_Doubles(double* items, const int32_t* perm, int32_t count) {
    return Scatter(Flat(items, sizeof(double)), perm, count);
}

int Scatter_Ints(int32_t* items, const int32_t* perm, int32_t count) {
    return Scatter(Flat(items, sizeof(int32_t)), perm, count);
}

int Scatter_Rows(double* const* rows, int32_t n, const int32_t* perm, int32_t count) {
    return Scatter(Rows(rows, n), perm, count);
}

int Scatter_Triples(double* items, const int32_t* perm, int32_t count) {
    return Scatter(Flat(items, 3 * sizeof(double)), perm, count);
}

int Scatter_Quads(void* items, const int32_t* perm, int32_t count) { return Scatter(Flat(items, 16), perm, count); }
