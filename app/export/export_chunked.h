// The two chunked binary writers: 3DS (little-endian chunks with 16-bit
// identifiers) and LightWave LWOB (big-endian IFF chunks). Both formats count
// in 16 bits; the files are small, so each is built whole in memory, its
// chunk lengths patched there, and then written in one go.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/export/export_common.h"

constexpr int32_t kChunkedFormatLimit = 65535;

using ChunkBytes = std::vector<unsigned char>;

// Open 3DS chunks: the offset of each one's header, innermost last.
using Chunk3dsStack = std::vector<std::size_t>;
bool Chunk3ds_Begin(ChunkBytes& file, uint16_t id, Chunk3dsStack& stack);
bool Chunk3ds_End(ChunkBytes& file, Chunk3dsStack& stack);

// An open LightWave chunk: the offset just after its length word.
struct ChunkLwo {
    std::size_t dataStart = 0;
};
bool ChunkLwo_Begin(ChunkBytes& file, const char id[4], ChunkLwo& chunk);
bool ChunkLwo_End(ChunkBytes& file, ChunkLwo& chunk);

// The low `count` bytes of the value, most significant first.
bool WriteReversed(ChunkBytes& file, uint32_t value, int count);

// 0 success, 1 the file could not be created, 2 a write failed (the target is
// left as it was), 3 more than 65535 points, 4 more than 65535 faces (no file
// either way).
int ThreeDStudio_Write(const std::string& path, const Matrix4* matrix, const Vec3* positions, int32_t pointCount,
                       const int32_t* facets, int32_t facetCount);
// Results 0 to 3 as above.
int Lightwave_Write(const std::string& path, const Matrix4* matrix, const Vec3* positions, int32_t pointCount,
                    const int32_t* facets, int32_t facetCount);
