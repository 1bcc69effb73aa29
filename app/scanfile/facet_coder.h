// The facet coder: the scan's facet list (triangles of three point indices)
// as triangle strips in a short bit stream, and back. Strips follow the
// facets in their stored order, so decoding gives the same facets in the same
// order, each with its orientation (its corners possibly turned cyclically).
// Within a strip a vertex usually costs one to three bits, because
// neighbouring scan points have neighbouring indices.
//
// Stream: per strip its vertex count L (8 bits; L >= 256 as 8 zero bits and
// 32 bits), then L vertex codes read against the strip's last two vertices p
// and q (both 0 at a strip's start): "0" p + 1, "10" q + 1, "110" p, "111"
// and 32 bits the value. An 8-bit zero and a 32-bit zero end the stream; the
// writer adds 8 zero bits and keeps whole bytes.
#pragma once

#include "app/scan/raw_data.h"

#include <cstdint>
#include <map>
#include <vector>

// Grows a facet array to `capacity` facets keeping its content; the new
// array, or nullptr when that failed (the old one is then still valid).
using FacetGrowFunction = Facet* (*)(Facet* old, int32_t capacity, void* user);

// Codes `count` facets into a new std::malloc buffer owned by the caller.
// 1 on success, 0 when memory ran out (nothing is returned then).
int FacetCoder_CompressFacets(const Facet* facets, int32_t count, uint8_t** bytesOut, int32_t* byteCountOut);
// The scan's facets in force.
int FacetCoder_Compress(const RawData& scan, uint8_t** bytesOut, int32_t* byteCountOut);

// Decodes into `*facets` from its first element on, growing it through
// `grow`. 1 on success; 0 when growing failed (`*count` tells how many
// facets were decoded) or the stream is bad (it ends before its end marker).
int FacetCoder_Decompress(const uint8_t* bytes, int32_t byteCount, FacetGrowFunction grow, void* user, Facet** facets,
                          int32_t* count, int32_t* capacity);

// Decodes into the scan's own facet array in its reserved block; the count
// and capacity are the scan's. 0 on a bad stream or when the block is full.
int FacetCoder_DecompressMesh(RawData& scan, const uint8_t* bytes, int32_t byteCount);

// Grows the scan's facet block to `capacity` facets.
Facet* TVNFile_GrowFacets(Facet* old, int32_t capacity, void* scan);

// ---- The strip builder's steps -------------------------------------------

struct StripKey {
    int32_t facet, p, q, orientation;
    bool operator<(const StripKey& other) const;
};

// The strip-length memo, cleared at every strip start. A facet continues a
// strip along at most three of its edges, so each facet index of the strip
// keeps its few entries in a flat table; any further key goes to an ordered
// map.
class StripMemo {
  public:
    // Empties the memo for a strip whose facets start at `base`.
    void Clear(int32_t base);
    bool Find(const StripKey& key, int32_t& length) const;
    void Put(const StripKey& key, int32_t length);

  private:
    struct Entry {
        int32_t p, q, orientation, length;
    };
    struct Slot {
        int32_t count;
        Entry entries[4];
    };
    int32_t base_ = 0;
    int32_t used_ = 0;  // slots touched since the last clear
    std::vector<Slot> slots_;
    std::map<StripKey, int32_t> overflow_;
};

// State of the strip being built: the facets, the memo of strip lengths and
// the explicit stack its recursion runs on, so that a strip through the
// whole list needs no call stack.
struct StripBuilder {
    const Facet* facets = nullptr;
    int32_t count = 0;
    StripMemo memo;
    struct Frame {
        StripKey key;
        int32_t third;
        int32_t stage;
        int32_t first;
    };
    std::vector<Frame> stack;
};

// How many facets from index i on can continue a strip whose last edge is
// p, q with orientation o.
int32_t FacetCoder_StripLength(StripBuilder& builder, int32_t i, int32_t p, int32_t q, int32_t o);

// Extends the strip from facet `next` on; appends the vertices to `strip`
// (a repeated vertex where the strip swaps sides) and returns the index of
// the first facet not taken.
int32_t FacetCoder_ExtendStrip(StripBuilder& builder, int32_t next, int32_t p, int32_t q, int32_t o,
                               std::vector<int32_t>& strip);
