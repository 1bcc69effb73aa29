// AES in CBC mode for the encrypted container: a streaming encryptor that
// writes through a callback in chunks of 4096 bytes, led by a random
// initialisation vector, and a whole-buffer decryptor.
//
// Padding: the last block is filled with k bytes of value k (1 to 16), so
// the ciphertext is always 1 to 16 bytes longer than the plain text.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/files/aes.h"

// Receives output bytes; returns false when they could not be written.
using AesCbcWriteFunction = bool (*)(const void* bytes, std::size_t count, void* user);

struct AesCbcWriter {
    int rounds;  // 0 while no key is set
    AesSchedule schedule;
    AesCbcWriteFunction write;
    void* user;
    std::uint8_t partial[16];
    std::size_t partialCount;
    std::uint8_t chain[16];  // the initialisation vector at first
    bool ivWritten;
    bool failed;  // a callback reported a failed write
    std::uint8_t buffer[4096];
    std::size_t bufferedBlocks;
};

struct AesCbcReader {
    int rounds;
    AesSchedule schedule;
};

// Fills the buffer from the platform's cryptographic random source.
bool AesCbc_RandomBytes(void* buffer, std::size_t count);

// A writer with a fresh initialisation vector; nullptr when memory runs out
// or the random source fails.
AesCbcWriter* AesCbc_NewWriter(AesCbcWriteFunction write, void* user);
// Accepts keys of 16, 24 and 32 bytes.
bool AesCbc_SetKey(AesCbcWriter* writer, const std::uint8_t* key, std::size_t length);
// Encrypts bytes in order; false once any write has failed.
bool AesCbc_Write(AesCbcWriter* writer, const void* bytes, std::size_t count);
// Pads and writes the last block and everything buffered, wipes and frees
// the writer. False when any write of the writer failed.
bool AesCbc_FreeWriter(AesCbcWriter* writer);

AesCbcReader* AesCbc_NewReader();
bool AesCbc_SetDecryptKey(AesCbcReader* reader, const std::uint8_t* key, std::size_t length);
// The body is the initialisation vector followed by the ciphertext. Checks
// its length and last pad byte; the plain length, or -1.
long long AesCbc_PlainLength(const AesCbcReader* reader, const std::uint8_t* body,
                             std::size_t bodyLength);
// Decrypts into `output`, which holds AesCbc_PlainLength bytes; false when
// the body does not pass that check.
bool AesCbc_DecryptAll(const AesCbcReader* reader, const std::uint8_t* body,
                       std::size_t bodyLength, std::uint8_t* output);
void AesCbc_FreeReader(AesCbcReader* reader);
