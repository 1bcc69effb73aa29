#include "app/files/aes.h"
#include "app/files/aes_cbc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/files/tests/crypto_hex.h"
#include "app/files/tests/keyed_scratch_folder.h"
#include "platform/os_seam.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Tests inject the initialisation vector through the OS seam.
struct FixedRandom {
    explicit FixedRandom(Bytes iv) {
        os::SetRandomSourceForTesting([iv](void* out, std::size_t count) {
            for (std::size_t i = 0; i < count; ++i)
                static_cast<std::uint8_t*>(out)[i] = iv[i % iv.size()];
            return true;
        });
    }
    ~FixedRandom() { os::SetRandomSourceForTesting(nullptr); }
};

struct Output {
    Bytes bytes;
    std::vector<std::size_t> chunks;
    static bool Collect(const void* data, std::size_t count, void* user) {
        auto* out = static_cast<Output*>(user);
        const auto* p = static_cast<const std::uint8_t*>(data);
        out->bytes.insert(out->bytes.end(), p, p + count);
        out->chunks.push_back(count);
        return true;
    }
};

Output Encrypt(const Bytes& key, const Bytes& plain, std::size_t piece = 1000) {
    Output out;
    AesCbcWriter* writer = AesCbc_NewWriter(&Output::Collect, &out);
    EXPECT_NE(writer, nullptr);
    EXPECT_TRUE(AesCbc_SetKey(writer, key.data(), key.size()));
    for (std::size_t at = 0; at < plain.size(); at += piece)
        AesCbc_Write(writer, plain.data() + at, std::min(piece, plain.size() - at));
    EXPECT_TRUE(AesCbc_FreeWriter(writer));
    return out;
}

// Decrypts a body, or gives "refused" when the reader rejects it.
std::string Decrypt(const Bytes& key, const Bytes& body) {
    AesCbcReader* reader = AesCbc_NewReader();
    std::string result = "bad key";
    if (AesCbc_SetDecryptKey(reader, key.data(), key.size())) {
        long long length = AesCbc_PlainLength(reader, body.data(), body.size());
        if (length < 0) {
            result = "refused";
        } else {
            Bytes plain(static_cast<std::size_t>(length) + 1);
            EXPECT_TRUE(AesCbc_DecryptAll(reader, body.data(), body.size(), plain.data()));
            result = ToHex(plain.data(), static_cast<std::size_t>(length));
        }
    }
    AesCbc_FreeReader(reader);
    return result;
}

// FIPS-197 appendix C (and the appendix B example) for all three key sizes.
TEST(Aes, BlockKnownAnswers) {
    struct Case {
        const char* key;
        const char* plain;
        const char* cipher;
        int rounds;
    } cases[] = {
        {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
         "69c4e0d86a7b0430d8cdb78070b4c55a", 10},
        {"000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
         "dda97ca4864cdfe06eaf70a0ec0d7191", 12},
        {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089", 14},
        {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
         "3925841d02dc09fbdc118597196a0b32", 10},
    };
    for (const Case& c : cases) {
        Bytes key = FromHex(c.key), plain = FromHex(c.plain), out(16), back(16);
        AesSchedule encrypt, decrypt;
        ASSERT_EQ(Aes_SetEncryptKey(&encrypt, key.data(), static_cast<int>(key.size() * 8)), c.rounds);
        ASSERT_EQ(Aes_SetDecryptKey(&decrypt, key.data(), static_cast<int>(key.size() * 8)), c.rounds);
        Aes_EncryptBlock(&encrypt, c.rounds, plain.data(), out.data());
        EXPECT_EQ(ToHex(out), c.cipher);
        Aes_DecryptBlock(&decrypt, c.rounds, out.data(), back.data());
        EXPECT_EQ(ToHex(back), c.plain);
    }
    AesSchedule schedule;
    const std::uint8_t key[32] = {};
    for (int bits : {0, 64, 160, 255, 320}) EXPECT_EQ(Aes_SetEncryptKey(&schedule, key, bits), 0);
}

// The CBC vectors of NIST SP 800-38A (F.2.1, F.2.3, F.2.5): the stream is
// the initialisation vector, the published ciphertext, then one pad block.
TEST(AesCbc, PublishedCbcVectors) {
    const std::string iv = "000102030405060708090a0b0c0d0e0f";
    const std::string plain =
        "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
        "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710";
    struct Case {
        const char* key;
        const char* cipher;
    } cases[] = {
        {"2b7e151628aed2a6abf7158809cf4f3c",
         "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
         "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7"},
        {"8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
         "4f021db243bc633d7178183a9fa071e8b4d9ada9ad7dedf4e5e738763f69145a"
         "571b242012fb7ae07fa9baac3df102e008b0e27988598881d920a9e64f5615cd"},
        {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
         "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
         "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b"},
    };
    FixedRandom random(FromHex(iv));
    for (const Case& c : cases) {
        for (std::size_t piece : {1u, 7u, 16u, 64u}) {
            Output out = Encrypt(FromHex(c.key), FromHex(plain), piece);
            ASSERT_EQ(out.bytes.size(), 16u + 64u + 16u);
            EXPECT_EQ(ToHex(out.bytes).substr(0, 32 + 128), iv + c.cipher) << piece;
            EXPECT_EQ(Decrypt(FromHex(c.key), out.bytes), plain);
        }
    }
}

// A header-sized text gives the IV and one block ending in two 2s; exactly
// 4096 bytes give the IV, one full chunk, then a block of sixteen 16s.
TEST(AesCbc, ChunkingAndPadding) {
    const Bytes key(32, 0x5A);
    Output header = Encrypt(key, Bytes(14, 'h'));
    EXPECT_EQ(header.bytes.size(), 32u);
    EXPECT_EQ(header.chunks, (std::vector<std::size_t>{16, 16}));

    AesSchedule schedule;
    Aes_SetDecryptKey(&schedule, key.data(), 256);
    std::uint8_t last[16];
    Aes_DecryptBlock(&schedule, 14, header.bytes.data() + 16, last);
    EXPECT_EQ(last[14] ^ header.bytes[14], 2);
    EXPECT_EQ(last[15] ^ header.bytes[15], 2);

    Bytes plain(4096);
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<std::uint8_t>(i);
    Output full = Encrypt(key, plain, 4096);
    EXPECT_EQ(full.chunks, (std::vector<std::size_t>{16, 4096, 16}));
    Aes_DecryptBlock(&schedule, 14, full.bytes.data() + 16 + 4096, last);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(last[i] ^ full.bytes[4096 + i], 16);
    EXPECT_EQ(Decrypt(key, full.bytes), ToHex(plain));

    Output empty = Encrypt(key, {});
    EXPECT_EQ(empty.bytes.size(), 32u);
    EXPECT_EQ(Decrypt(key, empty.bytes), "");
}

// Bodies that are too short, not whole blocks, or whose last pad byte is
// outside 1 to 16 are refused; the other pad bytes are not checked.
TEST(AesCbc, DecryptorRefusesBadBodies) {
    const Bytes key(16, 0x11);
    AesSchedule schedule;
    Aes_SetEncryptKey(&schedule, key.data(), 128);
    auto bodyWithLastByte = [&](std::uint8_t lastPlain) {
        Bytes body(48, 0);
        std::uint8_t plain[16] = {};
        plain[15] = lastPlain;
        for (int i = 0; i < 16; ++i) plain[i] ^= body[16 + i];
        Aes_EncryptBlock(&schedule, 10, plain, body.data() + 32);
        return body;
    };
    EXPECT_EQ(Decrypt(key, Bytes(31, 0)), "refused");
    EXPECT_EQ(Decrypt(key, Bytes(16, 0)), "refused");
    EXPECT_EQ(Decrypt(key, Bytes(40, 0)), "refused");
    EXPECT_EQ(Decrypt(key, bodyWithLastByte(0)), "refused");
    EXPECT_EQ(Decrypt(key, bodyWithLastByte(17)), "refused");
    EXPECT_EQ(Decrypt(key, bodyWithLastByte(16)).size(), 32u);  // 16 plain bytes
    EXPECT_EQ(Decrypt(key, bodyWithLastByte(1)).size(), 62u);   // 31 plain bytes
    EXPECT_EQ(Decrypt(Bytes(20, 1), bodyWithLastByte(1)), "bad key");

    AesCbcWriter* writer = AesCbc_NewWriter(&Output::Collect, nullptr);
    ASSERT_NE(writer, nullptr);
    EXPECT_FALSE(AesCbc_SetKey(writer, key.data(), 20));
    EXPECT_FALSE(AesCbc_FreeWriter(writer));
}

TEST(AesCbc, NoWriterWithoutRandomBytes) {
    os::SetRandomSourceForTesting([](void*, std::size_t) { return false; });
    EXPECT_EQ(AesCbc_NewWriter(&Output::Collect, nullptr), nullptr);
    os::SetRandomSourceForTesting(nullptr);
}

TEST(AesCbc, FailedWritesAreReported) {
    AesCbcWriter* writer = AesCbc_NewWriter([](const void*, std::size_t, void*) { return false; }, nullptr);
    ASSERT_NE(writer, nullptr);
    const Bytes key(16, 3);
    ASSERT_TRUE(AesCbc_SetKey(writer, key.data(), key.size()));
    EXPECT_FALSE(AesCbc_Write(writer, "abc", 3));
    EXPECT_FALSE(AesCbc_FreeWriter(writer));
}

#ifndef _WIN32
// The whole stream, padding included, equals what an independent
// implementation makes with the same key and initialisation vector.
TEST(AesCbc, MatchesOpensslEnc) {
    if (std::system("openssl version >/dev/null 2>&1") != 0) GTEST_SKIP() << "openssl is not installed";
    ScratchFolder folder;
    const Bytes iv = FromHex("f0e1d2c3b4a5968778695a4b3c2d1e0f");
    FixedRandom random(iv);
    for (std::size_t keyLength : {16u, 24u, 32u}) {
        for (std::size_t size : {0u, 1u, 15u, 16u, 17u, 4095u, 4096u, 10000u}) {
            Bytes key(keyLength), plain(size);
            for (std::size_t i = 0; i < keyLength; ++i) key[i] = static_cast<std::uint8_t>(i * 7 + size);
            for (std::size_t i = 0; i < size; ++i) plain[i] = static_cast<std::uint8_t>(i * 13 + 5);
            WriteWholeFile(folder.File("plain"), plain);
            std::string command = "openssl enc -aes-" + std::to_string(keyLength * 8) + "-cbc -K " +
                                  ToHex(key) + " -iv " + ToHex(iv) + " -in '" + folder.File("plain") +
                                  "' -out '" + folder.File("cipher") + "'";
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
            Bytes expected = iv;
            Bytes theirs = ReadWholeFile(folder.File("cipher"));
            expected.insert(expected.end(), theirs.begin(), theirs.end());
            EXPECT_EQ(ToHex(Encrypt(key, plain, 333).bytes), ToHex(expected)) << keyLength << "/" << size;
        }
    }
}
#endif

}  // namespace
