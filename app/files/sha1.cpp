#include "app/files/sha1.h"

#include <cstring>

#include "app/files/wipe_memory.h"

namespace {

inline std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

std::size_t BufferedBytes(const Sha1State* state) { return (state->bitCountLow >> 3) & 63u; }

}  // namespace

void Sha1_Init(Sha1State* state) {
    std::memset(state, 0, sizeof *state);
    state->chain[0] = 0x67452301u;
    state->chain[1] = 0xEFCDAB89u;
    state->chain[2] = 0x98BADCFEu;
    state->chain[3] = 0x10325476u;
    state->chain[4] = 0xC3D2E1F0u;
}

void Sha1_Compress(Sha1State* state, const std::uint8_t block[64]) {
    std::uint32_t* w = state->work;
    for (int t = 0; t < 16; ++t)
        w[t] = (std::uint32_t(block[4 * t]) << 24) | (std::uint32_t(block[4 * t + 1]) << 16) |
               (std::uint32_t(block[4 * t + 2]) << 8) | std::uint32_t(block[4 * t + 3]);
    for (int t = 16; t < 80; ++t) w[t] = Rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    std::uint32_t a = state->chain[0], b = state->chain[1], c = state->chain[2],
                  d = state->chain[3], e = state->chain[4];
    // The four groups of 20 rounds, each with its own function and constant.
    auto round = [&](std::uint32_t f, std::uint32_t k, std::uint32_t word) {
        std::uint32_t temp = Rotl(a, 5) + f + e + word + k;
        e = d;
        d = c;
        c = Rotl(b, 30);
        b = a;
        a = temp;
    };
    for (int t = 0; t < 20; ++t) round(d ^ (b & (c ^ d)), 0x5A827999u, w[t]);
    for (int t = 20; t < 40; ++t) round(b ^ c ^ d, 0x6ED9EBA1u, w[t]);
    for (int t = 40; t < 60; ++t) round((b & c) | (d & (b | c)), 0x8F1BBCDCu, w[t]);
    for (int t = 60; t < 80; ++t) round(b ^ c ^ d, 0xCA62C1D6u, w[t]);
    state->chain[0] += a;
    state->chain[1] += b;
    state->chain[2] += c;
    state->chain[3] += d;
    state->chain[4] += e;
}

void Sha1_Update(Sha1State* state, const void* bytes, std::size_t count) {
    const std::uint8_t* in = static_cast<const std::uint8_t*>(bytes);
    std::size_t used = BufferedBytes(state);
    // The bit count is 64 bits in two halves.
    std::uint64_t bits = (std::uint64_t(state->bitCountHigh) << 32 | state->bitCountLow) +
                         (std::uint64_t(count) << 3);
    state->bitCountLow = static_cast<std::uint32_t>(bits);
    state->bitCountHigh = static_cast<std::uint32_t>(bits >> 32);
    if (used > 0) {
        std::size_t take = 64 - used < count ? 64 - used : count;
        std::memcpy(state->block + used, in, take);
        in += take;
        count -= take;
        if (used + take < 64) return;
        Sha1_Compress(state, state->block);
    }
    for (; count >= 64; in += 64, count -= 64) Sha1_Compress(state, in);
    if (count > 0) std::memcpy(state->block, in, count);
}

void Sha1_Final(Sha1State* state, std::uint8_t digest[kSha1DigestSize]) {
    std::uint8_t length[8];
    for (int i = 0; i < 4; ++i) {
        length[i] = static_cast<std::uint8_t>(state->bitCountHigh >> (24 - 8 * i));
        length[4 + i] = static_cast<std::uint8_t>(state->bitCountLow >> (24 - 8 * i));
    }
    static const std::uint8_t kPad[64] = {0x80};
    std::size_t used = BufferedBytes(state);
    std::size_t padding = used < 56 ? 56 - used : 120 - used;
    Sha1_Update(state, kPad, padding);
    Sha1_Update(state, length, 8);
    for (int i = 0; i < 20; ++i)
        digest[i] = static_cast<std::uint8_t>(state->chain[i / 4] >> (24 - 8 * (i % 4)));
    WipeMemory(state, sizeof *state);
}
