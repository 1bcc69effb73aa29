// The program's container keys, the only copy of them. Scan files are signed
// with the scan-file key; the locale container is signed with the locale
// signing key and encrypted (AES-256) with the locale decryption key.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kContainerKeyLength = 32;

extern const std::uint8_t kScanFileSigningKey[kContainerKeyLength];
extern const std::uint8_t kLocaleSigningKey[kContainerKeyLength];
extern const std::uint8_t kLocaleDecryptionKey[kContainerKeyLength];
