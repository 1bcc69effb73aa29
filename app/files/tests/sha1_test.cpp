#include "app/files/sha1.h"

#include <gtest/gtest.h>

#include <string>

#include "app/files/tests/crypto_hex.h"

namespace {

std::string Digest(const std::string& message, std::size_t piece) {
    Sha1State state;
    Sha1_Init(&state);
    for (std::size_t at = 0; at < message.size(); at += piece)
        Sha1_Update(&state, message.data() + at, std::min(piece, message.size() - at));
    std::uint8_t digest[kSha1DigestSize];
    Sha1_Final(&state, digest);
    return ToHex(digest, sizeof digest);
}

struct Vector {
    std::string message;
    const char* digest;
};

// FIPS 180-1 appendices A and B, the empty message, and lengths around the
// 55/56/64-byte padding boundaries (digests from the standard algorithm).
TEST(Sha1, KnownAnswersInAnyPieces) {
    const Vector vectors[] = {
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"The quick brown fox jumps over the lazy dog", "2fd4e1c67a2d28fced849ee1bb76e7391b93eb12"},
    };
    for (const Vector& v : vectors)
        for (std::size_t piece : {1u, 3u, 55u, 56u, 63u, 64u, 65u, 1000u})
            EXPECT_EQ(Digest(v.message, piece), v.digest) << v.message.size() << " in " << piece;
}

TEST(Sha1, FinalWipesTheState) {
    Sha1State state;
    Sha1_Init(&state);
    Sha1_Update(&state, "secret key", 10);
    std::uint8_t digest[kSha1DigestSize];
    Sha1_Final(&state, digest);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&state);
    for (std::size_t i = 0; i < sizeof state; ++i) ASSERT_EQ(bytes[i], 0) << i;
}

}  // namespace
