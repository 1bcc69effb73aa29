#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/files/container_keys.h"
#include "app/files/item_file.h"
#include "app/files/safe_file_write.h"
#include "app/files/sha1.h"
#include "app/files/tests/keyed_container_fixture.h"
#include "app/files/tests/keyed_scratch_folder.h"

namespace {

const std::uint8_t* const kSign = kScanFileSigningKey;
const std::size_t kKeyLength = kContainerKeyLength;

struct StoreHolder {
    ItemStore* store = ItemStore_Create();
    ~StoreHolder() { ItemStore_Free(store); }
    ItemStore* operator->() const { return store; }
    operator ItemStore*() const { return store; }
};

TEST(KeyedContainer, EveryTypeRoundTripsSignedAndEncrypted) {
    ScratchFolder folder;
    EveryTypeStore original;
    struct Case {
        const char* name;
        const std::uint8_t* sign;
        const std::uint8_t* crypt;
    } cases[] = {
        {"plain.tvn", nullptr, nullptr},
        {"signed.tvn", kSign, nullptr},
        {"locale.dat", kLocaleSigningKey, kLocaleDecryptionKey},
        {"encrypted-unsigned.dat", nullptr, kLocaleDecryptionKey},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.File(c.name);
        ASSERT_TRUE(ItemFile_Write(original.store, path, false, c.sign, kKeyLength, c.crypt, kKeyLength))
            << original.store->error.text;
        StoreHolder read;
        ASSERT_TRUE(ItemFile_Read(read, path, false, c.sign, kKeyLength, c.crypt, kKeyLength))
            << read->error.text;
        EXPECT_EQ(ItemStore_GetError(read), nullptr);
        EXPECT_EQ(read->versionMajor, 2);
        EXPECT_EQ(read->versionMinor, 0);  // an encrypted file's inner header
        ExpectSameStore(original.store, read);
        EXPECT_EQ(ItemStore_GetTime(read, "Info/Saved"), 1700000000.125);
    }
}

TEST(KeyedContainer, EmptyStoreHasTheExactLayout) {
    ScratchFolder folder;
    StoreHolder empty;
    const std::string expected = "%TAVIR-2.0\r\n\r\n[index]\r\n\r\n" + BinaryHeader();
    ASSERT_EQ(expected.size(), 97u);

    ASSERT_TRUE(ItemFile_Write(empty, folder.File("plain"), false, nullptr, 0, nullptr, 0));
    EXPECT_EQ(ReadWholeFile(folder.File("plain")), ToBytes(expected));

    ASSERT_TRUE(ItemFile_WriteSigned(empty, folder.File("signed"), kSign, kKeyLength));
    Bytes signedFile = ReadWholeFile(folder.File("signed"));
    ASSERT_EQ(signedFile.size(), 123u);
    EXPECT_EQ(Bytes(signedFile.begin(), signedFile.begin() + 97), ToBytes(expected));
    EXPECT_EQ(std::string(signedFile.begin() + 97, signedFile.begin() + 103), "[sha1]");
    // Not an HMAC: SHA-1 of the key followed by the signed bytes, in one piece.
    Bytes hashed(kSign, kSign + kKeyLength);
    hashed.insert(hashed.end(), expected.begin(), expected.end());
    Sha1State state;
    Sha1_Init(&state);
    Sha1_Update(&state, hashed.data(), hashed.size());
    std::uint8_t digest[kSha1DigestSize];
    Sha1_Final(&state, digest);
    EXPECT_EQ(Bytes(signedFile.begin() + 103, signedFile.end()), Bytes(digest, digest + 20));

    ASSERT_TRUE(ItemFile_Write(empty, folder.File("locale"), false, kLocaleSigningKey, kKeyLength,
                               kLocaleDecryptionKey, kKeyLength));
    Bytes encrypted = ReadWholeFile(folder.File("locale"));
    EXPECT_EQ(encrypted.size(), 25u + 16u + 128u);
    EXPECT_EQ(std::string(encrypted.begin(), encrypted.begin() + 25), "%TAVIR-2.1\r\n\r\n[encrypted]");

    for (const char* name : {"plain", "signed"}) {
        StoreHolder read;
        EXPECT_TRUE(ItemFile_Read(read, folder.File(name), false, nullptr, 0, nullptr, 0)) << name;
        EXPECT_EQ(read->first, nullptr);
    }
}

TEST(KeyedContainer, DataIsAlignedFromTheStreamStart) {
    ScratchFolder folder;
    // Pick the size of a byte item so that the float64 after it would start
    // at offset 1001: it must start at 1008, after 7 zero bytes.
    const std::string text = "%TAVIR-2.0\r\n\r\n[index]\r\nbytes uint8 NNN;\r\nvalue float64;\r\n\r\n";
    const int before = static_cast<int>(text.size() + BinaryHeader().size());
    const int count = 1001 - before;
    ASSERT_GE(count, 100);
    ASSERT_LT(count, 1000);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count), 0xAB);
    double value = 2.5;
    StoreHolder store;
    ItemStore_AddItem(store, "bytes", bytes.data(), ItemType::UInt8, 1, count);
    ItemStore_AddItem(store, "value", &value, ItemType::Float64, 0);
    ASSERT_TRUE(ItemFile_Write(store, folder.File("a"), false, nullptr, 0, nullptr, 0));
    Bytes file = ReadWholeFile(folder.File("a"));
    ASSERT_EQ(file.size(), 1016u);
    EXPECT_EQ(file[1000], 0xAB);
    EXPECT_EQ(Bytes(file.begin() + 1001, file.begin() + 1008), Bytes(7, 0));
    double stored;
    std::memcpy(&stored, file.data() + 1008, 8);
    EXPECT_EQ(stored, 2.5);
}

TEST(KeyedContainer, NamesAreEncodedInTheIndex) {
    EXPECT_EQ(ItemFile_EncodeName({"Raw", "a b%c/d\xE9", "ok-_.Z9"}), "Raw/a%20b%25c%2fd%e9/ok-_.Z9");
    ItemPath path;
    ASSERT_TRUE(ItemFile_DecodeName("Raw/a%20b%25C%2Fd%e9//", 22, path));
    EXPECT_EQ(path, (ItemPath{"Raw", "a b%C/d\xE9", "", ""}));
    for (const char* bad : {"a%", "a%2", "a%zz", "%g0"}) EXPECT_FALSE(ItemFile_DecodeName(bad, std::strlen(bad), path)) << bad;
}

struct ParseCase {
    const char* what;
    std::string text;  // the container, unsigned unless said
    int code;
    const char* message;
    int detail;
};

// Hand-made streams for the parser's rules and errors; read without keys.
TEST(KeyedContainer, ParserRulesAndErrors) {
    const std::string head = "%TAVIR-2.0\r\n\r\n";
    const std::string bin = BinaryHeader();
    const ParseCase cases[] = {
        {"not a container", "hello", 6, "File format error: header '%TAVIR-N.M' is missing", 0},
        {"no minor number", "%TAVIR-2.", 6, "File format error: header '%TAVIR-N.M' is missing", 0},
        {"version 1.0", "%TAVIR-1.0\r\n\r\n[index]\r\n\r\n" + bin, 6,
         "File format error: verison 1.0 is not supported, should be 2.0 or 2.1", 0},
        {"version 2.2", "%TAVIR-2.2\r\n", 6,
         "File format error: verison 2.2 is not supported, should be 2.0 or 2.1", 0},
        {"no index", head + "stuff", 7, "Syntax error: expected '[comment]' or '[index]'", 3},
        {"comment without index", head + "[comment]\r\nnote\r\n", 7, "Syntax error: expected '[index]'", 4},
        {"text data", head + "[index]\r\n[ascii]", 7,
         "Syntax error: file format version 2.0 does not support text-format data", 4},
        {"end after the name", head + "[index]\r\nname", 7,
         "Syntax error: expected whitespace after the item name", 4},
        {"end of data", head + "[index]\r\nname int8;\r\n", 7, "Syntax error: expected an item name", 5},
        {"size glued to the type", head + "[index]\r\nname int85;\r\n" + bin, 7,
         "Syntax error: expected a recognised type name", 4},
        {"name glued to the type", head + "[index]\r\nnameint8 5;\r\n" + bin, 7,
         "Syntax error: expected a recognised type name", 4},
        {"unknown type on the third index line",
         head + "[index]\r\na int8;\r\nb int8;\r\nc integer;\r\n" + bin, 7,
         "Syntax error: expected a recognised type name", 6},
        {"size not a number", head + "[index]\r\na int8 x;\r\n" + bin, 7,
         "Syntax error: expected an integer array size", 4},
        {"bad name encoding", head + "[index]\r\nbad%zzname int8;\r\n" + bin, 7,
         "Invalid name encoding: 'bad%zzname'", 0},
        {"string with two sizes", head + "[index]\r\ns string 1 2;\r\n" + bin, 5,
         "Invalid item: string item must be 1-dimensional", 0},
        {"size of 2^31", head + "[index]\r\nr uint8 2147483648;\r\n" + bin, 5,
         "Invalid size: 2147483648 (in dimension 0)", 0},
        {"4 GiB of data", head + "[index]\r\nr float64 65536 8192;\r\n" + bin, 5,
         "Invalid item: 'r' holds 4 GiB or more", 0},
        {"written comment holding [index]",
         head + "[comment]\r\nsee [index] x int8;\r\n\r\n[index]\r\n\r\n" + bin, 7,
         "Syntax error: expected a recognised type name", 8},
        {"check bytes changed", head + "[index]\r\n\r\n[binary]\r\n \n\x01\x02\x03\x04" + std::string(56, '\0'),
         8, "Data error: data has been corrupted", 0},
        {"reserved bytes cut", head + "[index]\r\n\r\n" + bin.substr(0, 40), 8,
         "Data error: data has been truncated", 0},
        {"data cut", head + "[index]\r\nv float64 2;\r\n\r\n" + bin + std::string(15, '\0'), 8,
         "Data error: data has been truncated", 0},
    };
    for (const ParseCase& c : cases) {
        StoreHolder store;
        EXPECT_FALSE(ReadBytes(store, ToBytes(c.text), nullptr, 0, nullptr, 0)) << c.what;
        EXPECT_EQ(store->error.code, c.code) << c.what;
        EXPECT_STREQ(store->error.text, c.message) << c.what;
        EXPECT_EQ(store->error.detail, c.detail) << c.what;
        // Entries whose data never got a place are not left behind.
        for (const StoreItem* item = store->first; item; item = item->next)
            EXPECT_FALSE(item->pending) << c.what;
    }
}

TEST(KeyedContainer, CommentsAndSpacing) {
    const std::string bin = BinaryHeader();
    struct Case {
        std::string text;
        std::optional<std::string> comment;
        std::vector<std::string> items;
    } cases[] = {
        {"%TAVIR-2.0\r\n\r\n[comment]\r\n  \r\n\t[index]\r\n\r\n" + bin, std::string(), {}},
        {"%TAVIR-2.0 [comment] two\r\nlines \r\n[index] a int8; b\tuint8\n2 ;\n" + bin + "\x01\x02\x03",
         std::string("two\r\nlines"), {"a", "b"}},
        // A comment holding "[index]" ends there; the rest reads as entries.
        {"%TAVIR-2.0\r\n\r\n[comment]\r\nsee [index] x int8;\r\n" + bin + "\x07", std::string("see"), {"x"}},
    };
    for (const Case& c : cases) {
        StoreHolder store;
        ASSERT_TRUE(ReadBytes(store, ToBytes(c.text), nullptr, 0, nullptr, 0)) << store->error.text;
        EXPECT_EQ(store->comment, c.comment);
        std::vector<std::string> names;
        for (const StoreItem* item = store->first; item; item = item->next) names.push_back(item->path[0]);
        EXPECT_EQ(names, c.items);
    }
}

TEST(KeyedContainer, SignatureAndKeyErrors) {
    ScratchFolder folder;
    EveryTypeStore original;
    const std::string plainPath = folder.File("plain"), signedPath = folder.File("signed"),
                      lockedPath = folder.File("locked");
    ASSERT_TRUE(ItemFile_Write(original.store, plainPath, false, nullptr, 0, nullptr, 0));
    ASSERT_TRUE(ItemFile_WriteSigned(original.store, signedPath, kSign, kKeyLength));
    ASSERT_TRUE(ItemFile_Write(original.store, lockedPath, false, kLocaleSigningKey, kKeyLength,
                               kLocaleDecryptionKey, kKeyLength));
    const Bytes signedBytes = ReadWholeFile(signedPath);
    const Bytes lockedBytes = ReadWholeFile(lockedPath);
    const std::uint8_t wrongKey[32] = {1};
    Bytes changedData = signedBytes;
    changedData[signedBytes.size() - 30] ^= 1;  // the last item's data
    const Bytes cutDigest(signedBytes.begin(), signedBytes.end() - 1);
    const Bytes shortBody(lockedBytes.begin(), lockedBytes.begin() + 25 + 31);

    struct Case {
        const char* what;
        Bytes file;
        const std::uint8_t* sign;
        const std::uint8_t* crypt;
        std::size_t cryptLength;
        int code;
        const char* message;
    } cases[] = {
        {"unsigned with a key", ReadWholeFile(plainPath), kSign, nullptr, 0, 10,
         "Signature error: signature is missing"},
        {"data changed", changedData, kSign, nullptr, 0, 10, "Signature error: file has been modified"},
        {"other signing key", signedBytes, kLocaleSigningKey, nullptr, 0, 10,
         "Signature error: file has been modified"},
        {"digest cut", cutDigest, kSign, nullptr, 0, 10, "Signature error: signature has been truncated"},
        {"clear file, decryption key", signedBytes, kSign, kLocaleDecryptionKey, 32, 11,
         "Cannot decrypt file, it is not encrypted"},
        {"encrypted, no decryption key", lockedBytes, kLocaleSigningKey, nullptr, 0, 11,
         "No decryption key found"},
        {"20-byte decryption key", lockedBytes, kLocaleSigningKey, kLocaleDecryptionKey, 20, 11,
         "Invalid decryption key length"},
        {"31-byte body", shortBody, kLocaleSigningKey, kLocaleDecryptionKey, 32, 11,
         "Truncated or corrupted data"},
        {"encrypted, wrong signing key", lockedBytes, kSign, kLocaleDecryptionKey, 32, 10,
         "Signature error: file has been modified"},
    };
    for (const Case& c : cases) {
        StoreHolder store;
        EXPECT_FALSE(ReadBytes(store, c.file, c.sign, kKeyLength, c.crypt, c.cryptLength)) << c.what;
        EXPECT_EQ(store->error.code, c.code) << c.what;
        EXPECT_STREQ(store->error.text, c.message) << c.what;
    }

    // A wrong decryption key fails: on the pad byte, or later in the parse.
    StoreHolder wrong;
    EXPECT_FALSE(ReadBytes(wrong, lockedBytes, kLocaleSigningKey, kKeyLength, wrongKey, 32));
    EXPECT_TRUE(wrong->error.code == 11 || wrong->error.code == 6) << wrong->error.text;

    // A signed file read without a key is accepted, its signature ignored.
    StoreHolder unchecked;
    EXPECT_TRUE(ReadBytes(unchecked, changedData, nullptr, 0, nullptr, 0)) << unchecked->error.text;
}

TEST(KeyedContainer, WriterRefusesBadKeysAndItems) {
    ScratchFolder folder;
    StoreHolder store;
    EXPECT_FALSE(ItemFile_Write(store, folder.File("x"), false, nullptr, 0, kLocaleDecryptionKey, 20));
    EXPECT_EQ(store->error.code, kItemErrorEncryption);
    EXPECT_STREQ(store->error.text, "Invalid key size");

    EXPECT_FALSE(ItemFile_WriteSigned(store, folder.File("missing/x"), kSign, kKeyLength));
    EXPECT_EQ(store->error.code, kItemErrorWrite);
    EXPECT_EQ(std::string(store->error.text).rfind("Open error: ", 0), 0u) << store->error.text;

    const std::int32_t size = 4;
    ItemStore_CreateItem(store, {"nothing"}, nullptr, ItemType::UInt8, 1, &size, false);
    EXPECT_FALSE(ItemFile_WriteSigned(store, folder.File("y"), kSign, kKeyLength));
    EXPECT_EQ(store->error.code, kItemErrorInvalidItem);
    EXPECT_TRUE(folder.Names().empty());
}

TEST(KeyedContainer, FileOpenErrors) {
    ScratchFolder folder;
    WriteWholeFile(folder.File("empty"), {});
    StoreHolder empty, missing;
    EXPECT_FALSE(ItemFile_ReadSigned(empty, folder.File("empty"), kSign, kKeyLength));
    EXPECT_EQ(empty->error.code, kItemErrorOpen);
    EXPECT_STREQ(empty->error.text, "File is empty");
    EXPECT_FALSE(ItemFile_ReadSigned(missing, folder.File("missing"), kSign, kKeyLength));
    EXPECT_EQ(missing->error.code, kItemErrorOpen);
    EXPECT_STRNE(missing->error.text, "");
}

// Items read from a file stay valid while the same store is saved over that
// file: the save must work, and they must still hold their data.
TEST(KeyedContainer, SavingOverTheFileThatWasRead) {
    ScratchFolder folder;
    EveryTypeStore original;
    const std::string path = folder.File("scan.tvn");
    ASSERT_TRUE(ItemFile_WriteSigned(original.store, path, kSign, kKeyLength));
    StoreHolder loaded;
    ASSERT_TRUE(ItemFile_ReadSigned(loaded, path, kSign, kKeyLength));
    ItemStore_AddString(loaded, "Info/Name", "renamed");
    ASSERT_TRUE(ItemFile_WriteSigned(loaded, path, kSign, kKeyLength)) << loaded->error.text;
    EXPECT_EQ(std::memcmp(ItemStore_FindItem(loaded, "Raw/Points")->data, original.f32, sizeof original.f32), 0);
    StoreHolder again;
    ASSERT_TRUE(ItemFile_ReadSigned(again, path, kSign, kKeyLength)) << again->error.text;
    ExpectSameStore(loaded, again);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"scan.tvn"});
}

// A disk that fills up at any point of a save leaves the old file intact,
// for a signed file and for an encrypted one (whose last block is written
// only when the encryptor finishes).
TEST(KeyedContainer, FailedSaveKeepsTheOldFile) {
    ScratchFolder folder;
    EveryTypeStore original;
    const std::string path = folder.File("scan.tvn");
    StoreHolder small;
    ItemStore_AddString(small, "Only", "old content");
    struct Case {
        const std::uint8_t* sign;
        const std::uint8_t* crypt;
    } cases[] = {{kSign, nullptr}, {kLocaleSigningKey, kLocaleDecryptionKey}};
    for (const Case& c : cases) {
        ASSERT_TRUE(ItemFile_Write(small, path, false, c.sign, kKeyLength, c.crypt, kKeyLength));
        const Bytes old = ReadWholeFile(path);
        ASSERT_TRUE(ItemFile_Write(original.store, folder.File("full"), false, c.sign, kKeyLength, c.crypt,
                                   kKeyLength));
        const std::int64_t fullSize = static_cast<std::int64_t>(ReadWholeFile(folder.File("full")).size());
        std::remove(folder.File("full").c_str());
        for (std::int64_t limit : {std::int64_t{0}, std::int64_t{30}, fullSize / 2, fullSize - 17, fullSize - 1}) {
            files::SetSafeWriteDiskFullAfterForTesting(limit);
            EXPECT_FALSE(ItemFile_Write(original.store, path, false, c.sign, kKeyLength, c.crypt, kKeyLength))
                << limit;
            files::SetSafeWriteDiskFullAfterForTesting(-1);
            EXPECT_EQ(original.store->error.code, kItemErrorWrite) << limit;
            EXPECT_EQ(std::string(original.store->error.text).rfind("Write error: ", 0), 0u);
            EXPECT_EQ(ReadWholeFile(path), old) << limit;
            EXPECT_EQ(folder.Names(), std::vector<std::string>{"scan.tvn"}) << limit;
        }
        StoreHolder check;
        ASSERT_TRUE(ItemFile_Read(check, path, false, c.sign, kKeyLength, c.crypt, kKeyLength));
        EXPECT_STREQ(ItemStore_FindItem(check, "Only")->As<char>(), "old content");
    }
}

// With the UTF-8 flag a name is UTF-8 whatever the system's code page.
TEST(KeyedContainer, Utf8PathsAreReadThroughTheirWideForm) {
    ScratchFolder folder;
    EveryTypeStore original;
    const std::string ascii = folder.File("plain-name.tvn");
    ASSERT_TRUE(ItemFile_Write(original.store, ascii, true, kSign, kKeyLength, nullptr, 0)) << original.store->error.text;
    const std::string utf8 = folder.File("Fu\xC3\x9F-\xE6\x89\xAB\xE6\x8F\x8F.tvn");  // "Fuß-扫描"
    std::filesystem::copy_file(ascii, std::filesystem::u8path(utf8));
    StoreHolder read;
    ASSERT_TRUE(ItemFile_Read(read, utf8, true, kSign, kKeyLength, nullptr, 0)) << read->error.text;
    ExpectSameStore(original.store, read);

    StoreHolder writer;
    ItemStore_AddString(writer, "x", "y");
    const std::string target = folder.File("neu-\xC3\xA9.tvn");
#ifdef _WIN32
    // Replacing goes by narrow names here: refused rather than misnamed.
    EXPECT_FALSE(ItemFile_Write(writer, target, true, kSign, kKeyLength, nullptr, 0));
    EXPECT_EQ(writer->error.code, kItemErrorWrite);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(target)));
#else
    EXPECT_TRUE(ItemFile_Write(writer, target, true, kSign, kKeyLength, nullptr, 0));
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(target)));
#endif
    // Nothing else is left behind: the two names above and the written one.
    const auto entries = std::distance(std::filesystem::directory_iterator(std::filesystem::u8path(folder.File(""))),
                                       std::filesystem::directory_iterator());
#ifdef _WIN32
    EXPECT_EQ(entries, 2);
#else
    EXPECT_EQ(entries, 3);
#endif
}

}  // namespace
