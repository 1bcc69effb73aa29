#include "app/files/aes.h"

#include <array>
#include <cstring>

#include "app/files/wipe_memory.h"

namespace {

constexpr std::uint8_t kSBox[256] = {
    0x63, 0x7c, 0x77, 0x7b, 0xf2, 0x6b, 0x6f, 0xc5, 0x30, 0x01, 0x67, 0x2b, 0xfe, 0xd7, 0xab, 0x76,
    0xca, 0x82, 0xc9, 0x7d, 0xfa, 0x59, 0x47, 0xf0, 0xad, 0xd4, 0xa2, 0xaf, 0x9c, 0xa4, 0x72, 0xc0,
    0xb7, 0xfd, 0x93, 0x26, 0x36, 0x3f, 0xf7, 0xcc, 0x34, 0xa5, 0xe5, 0xf1, 0x71, 0xd8, 0x31, 0x15,
    0x04, 0xc7, 0x23, 0xc3, 0x18, 0x96, 0x05, 0x9a, 0x07, 0x12, 0x80, 0xe2, 0xeb, 0x27, 0xb2, 0x75,
    0x09, 0x83, 0x2c, 0x1a, 0x1b, 0x6e, 0x5a, 0xa0, 0x52, 0x3b, 0xd6, 0xb3, 0x29, 0xe3, 0x2f, 0x84,
    0x53, 0xd1, 0x00, 0xed, 0x20, 0xfc, 0xb1, 0x5b, 0x6a, 0xcb, 0xbe, 0x39, 0x4a, 0x4c, 0x58, 0xcf,
    0xd0, 0xef, 0xaa, 0xfb, 0x43, 0x4d, 0x33, 0x85, 0x45, 0xf9, 0x02, 0x7f, 0x50, 0x3c, 0x9f, 0xa8,
    0x51, 0xa3, 0x40, 0x8f, 0x92, 0x9d, 0x38, 0xf5, 0xbc, 0xb6, 0xda, 0x21, 0x10, 0xff, 0xf3, 0xd2,
    0xcd, 0x0c, 0x13, 0xec, 0x5f, 0x97, 0x44, 0x17, 0xc4, 0xa7, 0x7e, 0x3d, 0x64, 0x5d, 0x19, 0x73,
    0x60, 0x81, 0x4f, 0xdc, 0x22, 0x2a, 0x90, 0x88, 0x46, 0xee, 0xb8, 0x14, 0xde, 0x5e, 0x0b, 0xdb,
    0xe0, 0x32, 0x3a, 0x0a, 0x49, 0x06, 0x24, 0x5c, 0xc2, 0xd3, 0xac, 0x62, 0x91, 0x95, 0xe4, 0x79,
    0xe7, 0xc8, 0x37, 0x6d, 0x8d, 0xd5, 0x4e, 0xa9, 0x6c, 0x56, 0xf4, 0xea, 0x65, 0x7a, 0xae, 0x08,
    0xba, 0x78, 0x25, 0x2e, 0x1c, 0xa6, 0xb4, 0xc6, 0xe8, 0xdd, 0x74, 0x1f, 0x4b, 0xbd, 0x8b, 0x8a,
    0x70, 0x3e, 0xb5, 0x66, 0x48, 0x03, 0xf6, 0x0e, 0x61, 0x35, 0x57, 0xb9, 0x86, 0xc1, 0x1d, 0x9e,
    0xe1, 0xf8, 0x98, 0x11, 0x69, 0xd9, 0x8e, 0x94, 0x9b, 0x1e, 0x87, 0xe9, 0xce, 0x55, 0x28, 0xdf,
    0x8c, 0xa1, 0x89, 0x0d, 0xbf, 0xe6, 0x42, 0x68, 0x41, 0x99, 0x2d, 0x0f, 0xb0, 0x54, 0xbb, 0x16,
};

constexpr std::array<std::uint8_t, 256> MakeInverseSBox() {
    std::array<std::uint8_t, 256> inverse{};
    for (int i = 0; i < 256; ++i) inverse[kSBox[i]] = static_cast<std::uint8_t>(i);
    return inverse;
}
constexpr std::array<std::uint8_t, 256> kInvSBox = MakeInverseSBox();

constexpr std::uint8_t XTime(std::uint8_t x) {
    return static_cast<std::uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1B : 0x00));
}

constexpr std::uint8_t Multiply(std::uint8_t x, std::uint8_t y) {
    std::uint8_t product = 0;
    while (y) {
        if (y & 1) product ^= x;
        x = XTime(x);
        y >>= 1;
    }
    return product;
}

// Products by the inverse MixColumns coefficients, one table each.
struct ProductTable {
    std::uint8_t by[4][256];  // 9, 11, 13, 14
};
constexpr ProductTable MakeProducts() {
    ProductTable table{};
    const std::uint8_t factors[4] = {9, 11, 13, 14};
    for (int f = 0; f < 4; ++f)
        for (int x = 0; x < 256; ++x) table.by[f][x] = Multiply(static_cast<std::uint8_t>(x), factors[f]);
    return table;
}
constexpr ProductTable kProducts = MakeProducts();
inline std::uint8_t Times9(std::uint8_t x) { return kProducts.by[0][x]; }
inline std::uint8_t Times11(std::uint8_t x) { return kProducts.by[1][x]; }
inline std::uint8_t Times13(std::uint8_t x) { return kProducts.by[2][x]; }
inline std::uint8_t Times14(std::uint8_t x) { return kProducts.by[3][x]; }

int RoundsFor(int keyBits) {
    switch (keyBits) {
        case 128: return 10;
        case 192: return 12;
        case 256: return 14;
        default: return 0;
    }
}

void AddRoundKey(std::uint8_t s[16], const std::uint8_t* k) {
    for (int i = 0; i < 16; ++i) s[i] ^= k[i];
}

// The state is column by column, as the input bytes come: s[4 * c + r].
void ShiftRows(std::uint8_t s[16]) {
    std::uint8_t t[16];
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) t[4 * c + r] = s[4 * ((c + r) % 4) + r];
    std::memcpy(s, t, 16);
}

void InvShiftRows(std::uint8_t s[16]) {
    std::uint8_t t[16];
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) t[4 * ((c + r) % 4) + r] = s[4 * c + r];
    std::memcpy(s, t, 16);
}

void MixColumns(std::uint8_t s[16]) {
    for (int c = 0; c < 4; ++c) {
        std::uint8_t* col = s + 4 * c;
        std::uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
        std::uint8_t all = a0 ^ a1 ^ a2 ^ a3;
        col[0] ^= all ^ XTime(a0 ^ a1);
        col[1] ^= all ^ XTime(a1 ^ a2);
        col[2] ^= all ^ XTime(a2 ^ a3);
        col[3] ^= all ^ XTime(a3 ^ a0);
    }
}

void InvMixColumns(std::uint8_t s[16]) {
    for (int c = 0; c < 4; ++c) {
        std::uint8_t* col = s + 4 * c;
        std::uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
        col[0] = Times14(a0) ^ Times11(a1) ^ Times13(a2) ^ Times9(a3);
        col[1] = Times9(a0) ^ Times14(a1) ^ Times11(a2) ^ Times13(a3);
        col[2] = Times13(a0) ^ Times9(a1) ^ Times14(a2) ^ Times11(a3);
        col[3] = Times11(a0) ^ Times13(a1) ^ Times9(a2) ^ Times14(a3);
    }
}

// The key expansion of FIPS-197, section 5.2, on bytes.
int ExpandKey(AesSchedule* schedule, const std::uint8_t* key, int keyBits) {
    int rounds = RoundsFor(keyBits);
    if (rounds == 0) return 0;
    const int nk = keyBits / 32;
    const int words = 4 * (rounds + 1);
    std::uint8_t* w = schedule->roundKeys;
    std::memcpy(w, key, static_cast<std::size_t>(4 * nk));
    std::uint8_t rcon = 1;
    for (int i = nk; i < words; ++i) {
        std::uint8_t t[4];
        std::memcpy(t, w + 4 * (i - 1), 4);
        if (i % nk == 0) {
            std::uint8_t first = t[0];
            t[0] = static_cast<std::uint8_t>(kSBox[t[1]] ^ rcon);
            t[1] = kSBox[t[2]];
            t[2] = kSBox[t[3]];
            t[3] = kSBox[first];
            rcon = XTime(rcon);
        } else if (nk > 6 && i % nk == 4) {
            for (auto& b : t) b = kSBox[b];
        }
        for (int j = 0; j < 4; ++j) w[4 * i + j] = static_cast<std::uint8_t>(w[4 * (i - nk) + j] ^ t[j]);
    }
    return rounds;
}

}  // namespace

int Aes_SetEncryptKey(AesSchedule* schedule, const std::uint8_t* key, int keyBits) {
    return ExpandKey(schedule, key, keyBits);
}

// The inverse cipher walks the same round keys backwards.
int Aes_SetDecryptKey(AesSchedule* schedule, const std::uint8_t* key, int keyBits) {
    return ExpandKey(schedule, key, keyBits);
}

void Aes_EncryptBlock(const AesSchedule* schedule, int rounds, const std::uint8_t in[16],
                      std::uint8_t out[16]) {
    std::uint8_t s[16];
    std::memcpy(s, in, 16);
    AddRoundKey(s, schedule->roundKeys);
    for (int round = 1; round <= rounds; ++round) {
        for (auto& b : s) b = kSBox[b];
        ShiftRows(s);
        if (round < rounds) MixColumns(s);
        AddRoundKey(s, schedule->roundKeys + 16 * round);
    }
    std::memcpy(out, s, 16);
    WipeMemory(s, sizeof s);
}

void Aes_DecryptBlock(const AesSchedule* schedule, int rounds, const std::uint8_t in[16],
                      std::uint8_t out[16]) {
    std::uint8_t s[16];
    std::memcpy(s, in, 16);
    AddRoundKey(s, schedule->roundKeys + 16 * rounds);
    for (int round = rounds - 1; round >= 0; --round) {
        InvShiftRows(s);
        for (auto& b : s) b = kInvSBox[b];
        AddRoundKey(s, schedule->roundKeys + 16 * round);
        if (round > 0) InvMixColumns(s);
    }
    std::memcpy(out, s, 16);
    WipeMemory(s, sizeof s);
}
