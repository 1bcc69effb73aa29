#include "app/scanfile/field_coders.h"

#include "app/scanfile/scan_file_memory.h"

#include <cstdlib>

SaveBuffers::~SaveBuffers() {
    for (void* block : blocks) std::free(block);
}

void* SaveBuffers::Take(std::size_t bytes) {
    void* block = ScanFile_Malloc(bytes);
    if (block) {
        try {
            blocks.push_back(block);
            return block;
        } catch (const std::bad_alloc&) {
            std::free(block);
        }
    }
    outOfMemory = true;
    return nullptr;
}

int32_t ScanFile_ProfilesInForce(const RawData& scan) {
    if (!scan.SweepStartingProfileNo || scan.NumSweeps <= 0) return 0;
    return scan.SweepStartingProfileNo[scan.NumSweeps];
}

int32_t ScanFile_PointsInForce(const RawData& scan) {
    if (!scan.SweepFirstPoint || scan.NumSweeps <= 0) return 0;
    const int32_t n = scan.SweepFirstPoint[scan.NumSweeps];
    return n < scan.NumPoints ? n : scan.NumPoints;
}

int32_t ScanFile_FacetsInForce(const RawData& scan) {
    if (!scan.SweepFirstFacet || scan.NumSweeps <= 0) return 0;
    const int32_t n = scan.SweepFirstFacet[scan.NumSweeps];
    return n < scan.NumFacets ? n : scan.NumFacets;
}
