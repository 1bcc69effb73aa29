// Every truncation and every single-byte change of a small signed 2.0 file
// and of a small encrypted 2.1 file, plus fixed-seed random mutations: the
// reader gives an error code or a verified store, and never reads outside
// the file (run under the sanitizers natively).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>

#include "app/files/container_keys.h"
#include "app/files/tests/keyed_container_fixture.h"
#include "app/files/tests/keyed_scratch_folder.h"

namespace {

const std::size_t kKey = kContainerKeyLength;

struct Keys {
    const std::uint8_t* sign;
    const std::uint8_t* crypt;
};
const Keys kScan{kScanFileSigningKey, nullptr};
const Keys kLocale{kLocaleSigningKey, kLocaleDecryptionKey};

struct Outcome {
    bool ok;
    int code;
    std::string text;
};

// Reads the bytes and, when the read succeeds, touches every byte of every
// item so that a data pointer outside the file cannot go unnoticed.
Outcome Read(const Bytes& bytes, const Keys& keys, const ItemStore* expected = nullptr) {
    ItemStore* store = ItemStore_Create();
    bool ok = ReadBytes(store, bytes, keys.sign, kKey, keys.crypt, kKey);
    if (ok) {
        static volatile unsigned sink;
        for (const StoreItem* item = store->first; item; item = item->next)
            for (std::uint32_t i = 0; i < item->byteSize; ++i) sink = sink + static_cast<const std::uint8_t*>(item->data)[i];
        if (expected) ExpectSameStore(expected, store);
    }
    Outcome outcome{ok, store->error.code, store->error.text};
    ItemStore_Free(store);
    return outcome;
}

// A small store that still has a comment, padding before aligned data and
// items of one and two dimensions.
struct SmallStore {
    std::uint16_t counts[3] = {1, 2, 65535};
    double value = -2.5;
    std::uint8_t raw[2][2] = {{9, 8}, {7, 6}};
    ItemStore* store = ItemStore_Create();
    SmallStore() {
        ItemStore_SetComment(store, "c");
        ItemStore_AddString(store, "N", "ab");
        ItemStore_AddItem(store, "a/c", counts, ItemType::UInt16, 1, 3);
        ItemStore_AddItem(store, "v", &value, ItemType::Float64, 0);
        ItemStore_AddItem(store, "g", raw, ItemType::UInt8, 2, 2, 2);
    }
    ~SmallStore() { ItemStore_Free(store); }
};

class MutationSweep : public ::testing::Test {
protected:
    SmallStore original;
    ScratchFolder folder;

    Bytes Written(const Keys& keys) {
        const std::string path = folder.File("c");
        EXPECT_TRUE(ItemFile_Write(original.store, path, false, keys.sign, kKey, keys.crypt, kKey));
        return ReadWholeFile(path);
    }
};

TEST_F(MutationSweep, EveryTruncationFails) {
    for (const Keys& keys : {kScan, kLocale}) {
        const Bytes file = Written(keys);
        ASSERT_TRUE(Read(file, keys, original.store).ok);
        for (std::size_t length = 0; length < file.size(); ++length) {
            Outcome outcome = Read(Bytes(file.begin(), file.begin() + static_cast<long>(length)), keys);
            ASSERT_FALSE(outcome.ok) << length;
            ASSERT_GT(outcome.code, 0) << length;
        }
    }
}

// Changes to the data, its padding, the reserved bytes or the digest are
// caught by the signature; changes to the structure by the parser's own
// checks (or by the signature when they leave the structure readable).
TEST_F(MutationSweep, EverySingleByteChangeOfASignedFileFails) {
    const Bytes file = Written(kScan);
    const std::string text(file.begin(), file.end());
    const std::size_t binary = text.find("[binary]");
    const std::size_t checkEnd = binary + 8 + 16;
    const std::size_t tag = file.size() - 26, digest = file.size() - 20;
    ASSERT_EQ(text.substr(tag, 6), "[sha1]");
    std::set<int> headerCodes, indexCodes, tagCodes;
    for (std::size_t at = 0; at < file.size(); ++at) {
        for (int value = 0; value < 256; ++value) {
            if (value == file[at]) continue;
            Bytes changed = file;
            changed[at] = static_cast<std::uint8_t>(value);
            Outcome outcome = Read(changed, kScan);
            ASSERT_FALSE(outcome.ok) << at << " = " << value;
            if (at < 14) {
                headerCodes.insert(outcome.code);
            } else if (at < binary + 8) {
                indexCodes.insert(outcome.code);
            } else if (at < checkEnd) {
                ASSERT_EQ(outcome.text, "Data error: data has been corrupted") << at;
            } else if (at >= tag && at < digest) {
                ASSERT_EQ(outcome.text, "Signature error: signature is missing") << at;
            } else {
                ASSERT_EQ(outcome.text, "Signature error: file has been modified") << at << " = " << value;
            }
        }
    }
    EXPECT_EQ(headerCodes, (std::set<int>{kItemErrorFormat, kItemErrorSyntax, kItemErrorSignature}));
    for (int code : indexCodes)
        EXPECT_TRUE(code == kItemErrorInvalidItem || code == kItemErrorSyntax || code == kItemErrorData ||
                    code == kItemErrorSignature)
            << code;
    EXPECT_TRUE(indexCodes.count(kItemErrorSyntax));
    }

// Only the clear prefix is outside the signature; a change there that the
// reader still accepts must give back the very same verified store.
TEST_F(MutationSweep, EverySingleByteChangeOfAnEncryptedFile) {
    const Bytes file = Written(kLocale);
    int accepted = 0;
    for (std::size_t at = 0; at < file.size(); ++at) {
        for (int value = 0; value < 256; value += (at < 25 ? 1 : 5)) {
            if (value == file[at]) continue;
            Bytes changed = file;
            changed[at] = static_cast<std::uint8_t>(value);
            Outcome outcome = Read(changed, kLocale, original.store);
            if (outcome.ok) {
                ++accepted;
                ASSERT_LT(at, 25u) << "accepted a change inside the encrypted body at " << at;
            } else {
                ASSERT_GT(outcome.code, 0);
            }
        }
    }
    EXPECT_GT(accepted, 0);  // e.g. the version digit: the marker decides
}

// Random multi-byte changes, cuts and insertions, read with and without
// keys; fixed seeds keep the run repeatable.
TEST_F(MutationSweep, RandomMutationsNeverCrash) {
    std::mt19937 random(20240611u);
    for (const Keys& keys : {kScan, kLocale}) {
        const Bytes file = Written(keys);
        const Keys readers[] = {keys, {nullptr, keys.crypt}};
        for (int round = 0; round < 3000; ++round) {
            Bytes changed = file;
            const int changes = 1 + static_cast<int>(random() % 8);
            for (int i = 0; i < changes; ++i) {
                std::size_t at = random() % changed.size();
                switch (random() % 4) {
                    case 0: changed[at] ^= static_cast<std::uint8_t>(1u << (random() % 8)); break;
                    case 1: changed[at] = static_cast<std::uint8_t>(random()); break;
                    case 2: changed.insert(changed.begin() + static_cast<long>(at), static_cast<std::uint8_t>("0123456789 ;%\r\n"[random() % 15])); break;
                    default: if (changed.size() > 1) changed.erase(changed.begin() + static_cast<long>(at)); break;
                }
            }
            for (const Keys& reader : readers) {
                Outcome outcome = Read(changed, reader);
                ASSERT_TRUE(outcome.ok || outcome.code > 0) << round;
            }
        }
    }
}

// Index entries whose sizes claim far more data than the file holds are
// refused before anything of that size is allocated.
TEST_F(MutationSweep, HugeClaimedSizesAreRefusedCheaply) {
    const std::string head = "%TAVIR-2.0\r\n\r\n[index]\r\n";
    const std::string bin = BinaryHeader();
    const std::string entries[] = {
        "a uint8 2147483647;\r\n",       "a float64 268435455;\r\n",
        "a int32 65536 16383;\r\n",      "a uint8 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 4000000;\r\n",
        "a raw 99999999999999999999;\r\n", "a string 4294967295;\r\n",
    };
    for (const std::string& entry : entries) {
        Outcome outcome = Read(ToBytes(head + entry + "\r\n" + bin + "tiny"), {nullptr, nullptr});
        EXPECT_FALSE(outcome.ok) << entry;
        EXPECT_TRUE(outcome.code == kItemErrorData || outcome.code == kItemErrorInvalidItem) << entry;
    }
}

}  // namespace
