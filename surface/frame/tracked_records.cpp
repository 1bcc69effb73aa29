#include "surface/frame/tracked_records.h"

#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

#include <cstring>

namespace {

// Allocates `count` items of `itemBytes`; a count of 0 or less allocates
// nothing and succeeds. Fails for a byte size beyond kMemLargestBlock.
template <typename T>
bool AllocItems(int32_t count, std::size_t itemBytes, T** out) {
    *out = nullptr;
    if (count <= 0) return true;
    std::size_t bytes = 0;
    if (!Mem_BlockBytes(static_cast<uint64_t>(count), itemBytes, &bytes)) return false;
    *out = static_cast<T*>(Mem_Alloc(bytes));
    return *out != nullptr;
}

}  // namespace

int InitBlockVector(int32_t points, int32_t triangles, int32_t quads, CoreMesh* record) {
    if (!record) return CoreStatus_InvalidInput;
    std::memset(record, 0, sizeof(*record));
    const bool ok = AllocItems(points, 3 * sizeof(double), &record->points) &&
                    AllocItems(triangles, 3 * sizeof(int32_t), &record->triangles) &&
                    AllocItems(quads, 4 * sizeof(int32_t), &record->quads);
    if (!ok) {
        FreeSpatialRecord(record);
        return CoreStatus_NoMemory;
    }
    if (record->points) record->pointCapacity = points;
    if (record->triangles) record->triangleCapacity = triangles;
    if (record->quads) record->quadCapacity = quads;
    return 0;
}

void FreeSpatialRecord(CoreMesh* record) {
    if (!record) return;
    Mem_Free(record->points);
    Mem_Free(record->normals);
    Mem_Free(record->quads);
    Mem_Free(record->triangles);
    Mem_Free(record->sourceIndex);
    std::memset(record, 0, sizeof(*record));
}

int MemPool_Init(std::size_t bytes, MemPool* pool) {
    if (!pool) return CoreStatus_InvalidInput;
    auto* block = static_cast<unsigned char*>(Mem_Calloc(bytes, 1));
    if (!block) {
        std::memset(pool, 0, sizeof(*pool));
        return CoreStatus_NoMemory;
    }
    pool->bytesLeft = bytes;
    pool->next = block;
    pool->start = block;
    return 0;
}
