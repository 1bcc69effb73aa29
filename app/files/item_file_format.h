// The fixed byte sequences of the keyed container format.
#pragma once

#include <cstddef>
#include <cstdint>

namespace keyed_container {

constexpr char kHeader20[] = "%TAVIR-2.0\r\n\r\n";
// The clear prefix of version 2.1; neither hashed, encrypted nor counted.
constexpr char kEncryptedPrefix[] = "%TAVIR-2.1\r\n\r\n[encrypted]";
constexpr std::size_t kEncryptedPrefixLength = sizeof kEncryptedPrefix - 1;
constexpr char kBinaryMarker[] = "[binary]";
constexpr char kSignatureMarker[] = "[sha1]";

// After "[binary]": "\r\n \n", a uint32 and the float64 1.23456789 written
// little-endian, then 48 zero bytes. A file that went through a text-mode
// conversion or was written in the other byte order fails here.
constexpr std::uint8_t kCheckBytes[16] = {0x0D, 0x0A, 0x20, 0x0A, 0x04, 0x03, 0x02, 0x01,
                                          0x1B, 0xDE, 0x83, 0x42, 0xCA, 0xC0, 0xF3, 0x3F};
constexpr std::size_t kBinaryReserved = 48;

}  // namespace keyed_container
