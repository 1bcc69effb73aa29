// The AES block cipher (FIPS-197) with 128-, 192- and 256-bit keys.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kAesBlockSize = 16;

struct AesSchedule {
    std::uint8_t roundKeys[240];  // (rounds + 1) round keys of 16 bytes
};

// Expand a key of `keyBits` bits; the number of rounds (10, 12 or 14), or 0
// for any other key size.
int Aes_SetEncryptKey(AesSchedule* schedule, const std::uint8_t* key, int keyBits);
int Aes_SetDecryptKey(AesSchedule* schedule, const std::uint8_t* key, int keyBits);

void Aes_EncryptBlock(const AesSchedule* schedule, int rounds, const std::uint8_t in[16],
                      std::uint8_t out[16]);
void Aes_DecryptBlock(const AesSchedule* schedule, int rounds, const std::uint8_t in[16],
                      std::uint8_t out[16]);
