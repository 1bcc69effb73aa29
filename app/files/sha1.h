// SHA-1 (FIPS 180-1), incremental. The container signature is the digest of
// the key's bytes followed by the signed bytes.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kSha1DigestSize = 20;

struct Sha1State {
    std::uint32_t chain[5];
    std::uint32_t bitCountLow;
    std::uint32_t bitCountHigh;
    std::uint8_t block[64];
    std::uint32_t work[80];
};

void Sha1_Init(Sha1State* state);
void Sha1_Update(Sha1State* state, const void* bytes, std::size_t count);
// Pads, writes the digest and zeroes the whole state.
void Sha1_Final(Sha1State* state, std::uint8_t digest[kSha1DigestSize]);
// The 80-round block function over one 64-byte block.
void Sha1_Compress(Sha1State* state, const std::uint8_t block[64]);
