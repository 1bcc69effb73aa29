// The compact item forms of a scan's bulk: profile points quantised to 16
// bits per axis within each profile's box, per-profile and per-point flags as
// run-length words, and the facets as a checked strip stream. Packers add
// items that reference buffers held by the save until the file is written;
// decoders check every read against the item's size.
#pragma once

#include "app/files/item_store.h"
#include "app/scan/raw_data.h"

#include <cstdint>
#include <functional>
#include <vector>

// The arrays one save hands to its store, freed when the save ends, and the
// save's out-of-memory mark.
struct SaveBuffers {
    std::vector<void*> blocks;
    bool outOfMemory = false;

    SaveBuffers() = default;
    SaveBuffers(const SaveBuffers&) = delete;
    SaveBuffers& operator=(const SaveBuffers&) = delete;
    ~SaveBuffers();
    // A new block kept until the save ends; nullptr (and the mark set) when
    // memory runs out.
    void* Take(std::size_t bytes);
};

// What a save writes: the sweeps below NumSweeps, their profiles, points and
// facets; nothing undone.
int32_t ScanFile_ProfilesInForce(const RawData& scan);
int32_t ScanFile_PointsInForce(const RawData& scan);
int32_t ScanFile_FacetsInForce(const RawData& scan);

// ---- Points ----------------------------------------------------------------
bool TVNFile_PackPointsV1(ItemStore* store, const RawData& scan, SaveBuffers& buffers);
// Fill the points of the scan's NumProfiles profiles, whose point arrays are
// already sized; true only when the bytes are consumed exactly.
bool TVNFile_DecodePointsV1(RawData& scan, const uint8_t* bytes, int32_t byteCount);
bool TVNFile_DecodePointsV2(RawData& scan, const uint8_t* bytes, int32_t byteCount);

// ---- Run-length words: a value in the top N bits, a run count below -------
bool TVNFile_PackRunLengthsV1(ItemStore* store, const RawData& scan, SaveBuffers& buffers);
bool TVNFile_PackRxStatusV1(ItemStore* store, const RawData& scan, SaveBuffers& buffers);
bool TVNFile_PackSelectV1(ItemStore* store, const RawData& scan, SaveBuffers& buffers);
bool TVNFile_PackCropV1(ItemStore* store, const RawData& scan, SaveBuffers& buffers);

// Packs `count` values into words (the buffer holds at least `count` words);
// returns the number of words.
int32_t TVNFile_PackRuns(const std::function<uint32_t(int32_t)>& value, int32_t count, int n, uint32_t* words);
// True when the words give exactly valueCount values.
bool TVNFile_DecodeRunLengths(const uint32_t* words, int32_t wordCount, uint32_t* values, int32_t valueCount, int n);
bool TVNFile_DecodeReferenceEnabled(RawData& scan, const uint32_t* words, int32_t wordCount);
bool TVNFile_DecodeRxStatus(RawData& scan, const uint32_t* words, int32_t wordCount);

// ---- Facets ----------------------------------------------------------------
// Codes, checks by decoding, and adds "Raw/CompressedRawFacetsV1"; when the
// check fails the user is told and "Raw/FacetsV1" holds the plain facets.
// False only when memory ran out.
bool TVNFile_PackFacetsV1(ItemStore* store, const RawData& scan, SaveBuffers& buffers);

// Test seam: changes the decoded facets before they are compared (an empty
// function turns it off).
void TVNFile_SetFacetCheckHookForTesting(std::function<void(Facet* facets, int32_t count)> hook);
