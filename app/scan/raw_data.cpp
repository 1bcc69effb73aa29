// Growth, clearing and the undone tail of the scan record.
#include "app/scan/raw_data.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

void ScanBlocks_Init(ScanBlocks& blocks) {
    blocks.Points = BigBuffer{nullptr, kPointBlockBytes, 0};
    blocks.Facets = BigBuffer{nullptr, kFacetBlockBytes, 0};
    blocks.FacetNormals = BigBuffer{nullptr, kFacetNormalBlockBytes, 0};
}

void ScanBlocks_Free(ScanBlocks& blocks) {
    BigBuffer_Free(blocks.Points);
    BigBuffer_Free(blocks.Facets);
    BigBuffer_Free(blocks.FacetNormals);
}

void RawData_AttachBlocks(RawData& raw, ScanBlocks& blocks) {
    raw.PointBlock = &blocks.Points;
    raw.FacetBlock = &blocks.Facets;
    raw.FacetNormalBlock = &blocks.FacetNormals;
}

bool RawData_GrowProfiles(RawData& raw, int32_t n) {
    if (raw.NumProfiles + n / 2 < raw.MaxProfiles) return true;
    const int64_t capacity = static_cast<int64_t>(raw.MaxProfiles) + n;
    if (n <= 0 || capacity > INT32_MAX / static_cast<int64_t>(sizeof(Profile))) return false;
    void* grown = std::realloc(raw.Profiles, static_cast<std::size_t>(capacity) * sizeof(Profile));
    if (!grown) return false;
    raw.Profiles = static_cast<Profile*>(grown);
    // New slots own nothing.
    std::memset(raw.Profiles + raw.MaxProfiles, 0, static_cast<std::size_t>(n) * sizeof(Profile));
    raw.MaxProfiles = static_cast<int32_t>(capacity);
    return true;
}

namespace {

// Reallocates one sweep table to `count` entries, zeroing the new ones.
template <typename T>
bool GrowTable(T*& table, int32_t oldCount, int32_t count) {
    void* grown = std::realloc(table, static_cast<std::size_t>(count) * sizeof(T));
    if (!grown) return false;
    table = static_cast<T*>(grown);
    const int32_t kept = std::max(0, oldCount);
    std::memset(table + kept, 0, static_cast<std::size_t>(count - kept) * sizeof(T));
    return true;
}

}  // namespace

bool RawData_GrowSweeps(RawData& raw) {
    if (raw.NumSweeps + 5 < raw.MaxSweeps) return true;
    const int32_t old = raw.MaxSweeps;
    const int32_t capacity = old + 10;
    if (!GrowTable(raw.SweepStartingProfileNo, raw.SweepStartingProfileNo ? old + 1 : 0, capacity + 1))
        return false;
    if (!GrowTable(raw.SweepFirstPoint, raw.SweepFirstPoint ? old + 1 : 0, capacity + 1)) return false;
    if (!GrowTable(raw.SweepFirstFacet, raw.SweepFirstFacet ? old + 1 : 0, capacity + 1)) return false;
    if (!GrowTable(raw.Sweeps, raw.Sweeps ? old : 0, capacity)) return false;
    raw.MaxSweeps = capacity;
    raw.SweepStartingProfileNo[0] = 0;
    raw.SweepFirstPoint[0] = 0;
    raw.SweepFirstFacet[0] = 0;
    return true;
}

void RawData_ClearProfile(Profile& profile) {
    if (profile.Extra) {
        for (void* array : profile.Extra->Arrays) std::free(array);
        std::free(profile.Extra);
    }
    std::free(profile.Points);
    std::free(profile.PointValues);
    std::memset(&profile, 0, sizeof profile);
}

void RawData_ClearSweepProfiles(RawData& raw, int32_t s) {
    const int32_t begin = std::max(0, raw.SweepStartingProfileNo[s]);
    const int32_t end = std::min(raw.SweepStartingProfileNo[s + 1], raw.MaxProfiles);
    for (int32_t p = begin; p < end; ++p) RawData_ClearProfile(raw.Profiles[p]);
}

void RawData_FreeArrays(RawData& raw) {
    std::free(raw.SweepStartingProfileNo);
    std::free(raw.SweepFirstPoint);
    std::free(raw.SweepFirstFacet);
    std::free(raw.Sweeps);
    RawData_ClearProfile(raw.Staging);
    if (raw.Profiles) {
        const int32_t held = std::min(raw.TotalProfiles, raw.MaxProfiles);
        for (int32_t p = 0; p < held; ++p) RawData_ClearProfile(raw.Profiles[p]);
    }
    std::free(raw.Profiles);
    BigBuffer* blocks[3] = {raw.PointBlock, raw.FacetBlock, raw.FacetNormalBlock};
    for (BigBuffer* block : blocks)
        if (block) BigBuffer_Decommit(*block);
    StylusItems_Free(raw.Stylus);
    // The reservations belong to the program: zeroing the record must not
    // lose them.
    std::memset(&raw, 0, sizeof raw);
    raw.PointBlock = blocks[0];
    raw.FacetBlock = blocks[1];
    raw.FacetNormalBlock = blocks[2];
}

void RawData_DiscardSweepsAfterCurrent(RawData& raw) {
    while (raw.TotalSweeps > raw.NumSweeps) {
        raw.SweepStartingProfileNo[raw.TotalSweeps] = 0;
        --raw.TotalSweeps;
    }
    raw.CurrentSweep = std::min(raw.CurrentSweep, raw.TotalSweeps);
    const int32_t held = std::min(raw.TotalProfiles, raw.MaxProfiles);
    for (int32_t p = raw.NumProfiles; p < held; ++p) RawData_ClearProfile(raw.Profiles[p]);
    raw.TotalProfiles = raw.NumProfiles;
    raw.CurrentSweepProfile = std::min(raw.CurrentSweepProfile, raw.NumProfiles);
    raw.NumProfilesProcessed = std::min(raw.NumProfilesProcessed, raw.NumProfiles);
    raw.RefractionProfiles = std::min(raw.RefractionProfiles, raw.NumProfiles);
    raw.ClampProfiles = std::min(raw.ClampProfiles, raw.NumProfiles);
    raw.ClampPoints = std::min(raw.ClampPoints, raw.NumPoints);
    raw.ClampFacets = std::min(raw.ClampFacets, raw.NumFacets);
}
