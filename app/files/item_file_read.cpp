// Reading a keyed container file (versions 2.0 and 2.1) into an ItemStore.
//
// Everything read from the file is checked against the bytes that remain
// before it is used; item data is never copied: items point into the view.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "app/files/aes_cbc.h"
#include "app/files/item_file.h"
#include "app/files/item_file_format.h"
#include "app/files/wipe_memory.h"

namespace {

bool IsSpace(std::uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

class Cursor {
public:
    explicit Cursor(const ItemFileView* view) : bytes_(view->bytes), size_(view->size) {}

    std::size_t pos = 0;
    int line = 1;

    bool AtEnd() const { return pos >= size_; }
    std::size_t Left() const { return size_ - pos; }
    const std::uint8_t* Here() const { return bytes_ + pos; }
    std::uint8_t Peek() const { return bytes_[pos]; }

    bool Looking(const char* text) const {
        std::size_t n = std::strlen(text);
        return Left() >= n && std::memcmp(Here(), text, n) == 0;
    }
    bool Take(const char* text) {
        if (!Looking(text)) return false;
        pos += std::strlen(text);
        return true;
    }
    // Skips whitespace and counts the lines passed; the number skipped.
    std::size_t SkipSpace() {
        std::size_t start = pos;
        for (; !AtEnd() && IsSpace(Peek()); ++pos)
            if (Peek() == '\n') ++line;
        return pos - start;
    }
    // One or more digits, saturating far above any size a file can hold.
    bool Number(long long& value) {
        if (AtEnd() || !IsDigit(Peek())) return false;
        value = 0;
        for (; !AtEnd() && IsDigit(Peek()); ++pos)
            value = std::min(value * 10 + (Peek() - '0'), 1LL << 40);
        return true;
    }
    void CountLinesUpTo(std::size_t end) {
        line += static_cast<int>(std::count(bytes_ + pos, bytes_ + end, '\n'));
        pos = end;
    }
    std::size_t Find(const char* text) const {
        std::size_t n = std::strlen(text);
        const std::uint8_t* found = std::search(Here(), bytes_ + size_, text, text + n);
        return found == bytes_ + size_ ? std::string::npos : static_cast<std::size_t>(found - bytes_);
    }

private:
    const std::uint8_t* bytes_;
    std::size_t size_;
};

bool OutOfMemory(ItemStore* store) {
    ItemStore_SetError(store, kItemErrorMemory, 0, "Out of memory");
    return false;
}

bool SyntaxError(ItemStore* store, const Cursor& at, const char* text) {
    ItemStore_SetError(store, kItemErrorSyntax, at.line, "%s", text);
    return false;
}

bool ParseHeader(ItemStore* store, Cursor& at) {
    long long major = 0, minor = 0;
    if (!at.Take("%TAVIR-") || !at.Number(major) || !at.Take(".") || !at.Number(minor)) {
        ItemStore_SetError(store, kItemErrorFormat, 0,
                           "File format error: header '%%TAVIR-N.M' is missing");
        return false;
    }
    store->versionMajor = static_cast<std::int32_t>(std::min(major, 0x7FFFFFFFLL));
    store->versionMinor = static_cast<std::int32_t>(std::min(minor, 0x7FFFFFFFLL));
    if (major != 2 || (minor != 0 && minor != 1)) {
        ItemStore_SetError(store, kItemErrorFormat, 0,
                           "File format error: verison %d.%d is not supported, should be 2.0 or 2.1",
                           store->versionMajor, store->versionMinor);
        return false;
    }
    return true;
}

// The comment becomes the store's only with `keep`.
bool ParseComment(ItemStore* store, Cursor& at, bool keep) {
    if (!at.Take("[comment]")) {
        if (at.Take("[index]")) return true;
        return SyntaxError(store, at, "Syntax error: expected '[comment]' or '[index]'");
    }
    at.SkipSpace();
    std::size_t start = at.pos;
    std::size_t index = at.Find("[index]");
    if (index == std::string::npos) return SyntaxError(store, at, "Syntax error: expected '[index]'");
    std::size_t end = index;
    while (end > start && IsSpace(at.Here()[end - 1 - at.pos])) --end;
    try {
        if (keep) store->comment = std::string(reinterpret_cast<const char*>(at.Here()), end - start);
    } catch (const std::bad_alloc&) {
        return OutOfMemory(store);
    }
    // The comment's own lines count, so that later lines are numbered as
    // an editor shows them.
    at.CountLinesUpTo(index);
    at.Take("[index]");
    return true;
}

int MatchTypeName(const Cursor& at) {
    for (int code = 0; code < kItemTypeCount; ++code) {
        const char* name = ItemType_Name(static_cast<ItemType>(code));
        std::size_t n = std::strlen(name);
        if (at.Left() > n && std::memcmp(at.Here(), name, n) == 0 &&
            (at.Here()[n] == ';' || IsSpace(at.Here()[n])))
            return code;
    }
    return -1;
}

// One index entry: name, whitespace, type name, sizes, ";". It becomes an
// item, or with `survey` only its shape is checked and where it starts kept.
bool ParseEntry(ItemStore* store, Cursor& at, std::vector<std::int32_t>& sizes,
                std::vector<std::uint32_t>* survey) {
    std::size_t nameStart = at.pos;
    while (!at.AtEnd() && !IsSpace(at.Peek())) ++at.pos;
    if (at.pos == nameStart) return SyntaxError(store, at, "Syntax error: expected an item name");
    std::size_t nameEnd = at.pos;
    if (at.SkipSpace() == 0)
        return SyntaxError(store, at, "Syntax error: expected whitespace after the item name");
    int type = MatchTypeName(at);
    if (type < 0) return SyntaxError(store, at, "Syntax error: expected a recognised type name");
    at.pos += std::strlen(ItemType_Name(static_cast<ItemType>(type)));
    at.SkipSpace();
    sizes.clear();
    while (!at.Take(";")) {
        long long size = 0;
        if (!at.Number(size)) return SyntaxError(store, at, "Syntax error: expected an integer array size");
        if (size > 0x7FFFFFFFLL) {
            ItemStore_SetError(store, kItemErrorInvalidItem, 0, "Invalid size: %lld (in dimension %d)",
                               size, static_cast<int>(sizes.size()));
            return false;
        }
        try {
            sizes.push_back(static_cast<std::int32_t>(size));
        } catch (const std::bad_alloc&) {
            return OutOfMemory(store);
        }
        at.SkipSpace();
    }
    const char* name = reinterpret_cast<const char*>(at.Here()) - (at.pos - nameStart);
    ItemPath path;
    if (!ItemFile_DecodeName(name, nameEnd - nameStart, path)) {
        std::string shown(name, nameEnd - nameStart);
        ItemStore_SetError(store, kItemErrorSyntax, 0, "Invalid name encoding: '%s'", shown.c_str());
        return false;
    }
    const int dimensions = static_cast<int>(sizes.size());
    if (!survey)
        return ItemStore_CreateItem(store, path, nullptr, static_cast<ItemType>(type), dimensions, sizes.data(),
                                    false) != nullptr;
    std::uint32_t byteSize = 0;
    if (!ItemStore_CheckShape(store, path, static_cast<ItemType>(type), dimensions, sizes.data(), byteSize))
        return false;
    try {
        survey->push_back(static_cast<std::uint32_t>(nameStart));
    } catch (const std::bad_alloc&) {
        return OutOfMemory(store);
    }
    return true;
}

bool ParseIndex(ItemStore* store, Cursor& at, std::vector<std::uint32_t>* survey) {
    std::vector<std::int32_t> sizes;
    for (;;) {
        at.SkipSpace();
        if (at.Looking("[ascii]"))
            return SyntaxError(store, at,
                               "Syntax error: file format version 2.0 does not support text-format data");
        if (at.Take("[binary]")) return true;
        if (!ParseEntry(store, at, sizes, survey)) return false;
    }
}

bool Truncated(ItemStore* store) {
    ItemStore_SetError(store, kItemErrorData, 0, "Data error: data has been truncated");
    return false;
}

// The check bytes after "[binary]" and the reserved bytes behind them.
bool SkipCheckBytes(ItemStore* store, Cursor& at) {
    const std::size_t check = sizeof keyed_container::kCheckBytes;
    const std::size_t compared = std::min(check, at.Left());
    if (std::memcmp(at.Here(), keyed_container::kCheckBytes, compared) != 0) {
        ItemStore_SetError(store, kItemErrorData, 0, "Data error: data has been corrupted");
        return false;
    }
    if (at.Left() < check + keyed_container::kBinaryReserved) return Truncated(store);
    at.pos += check + keyed_container::kBinaryReserved;
    return true;
}

// Moves to the start of an item's data, past its padding, when the file
// holds the padding and the data.
bool SkipPadding(ItemStore* store, Cursor& at, ItemType type, std::uint32_t byteSize) {
    const std::size_t alignment = static_cast<std::size_t>(ItemType_Alignment(type));
    const std::size_t padding = (alignment - at.pos % alignment) % alignment;
    if (at.Left() < padding || at.Left() - padding < byteSize) return Truncated(store);
    at.pos += padding;
    return true;
}

bool PlaceData(ItemStore* store, Cursor& at, ItemFileView* view) {
    if (!SkipCheckBytes(store, at)) return false;
    for (StoreItem* item = store->first; item; item = item->next) {
        if (!item->pending) continue;
        if (!SkipPadding(store, at, item->type, item->byteSize)) return false;
        item->data = at.Here();
        item->holder = view;
        ItemFile_RetainView(view);
        item->pending = false;
        at.pos += item->byteSize;
    }
    return true;
}

bool ReadSignature(ItemStore* store, Cursor& at, Sha1State* hash, std::uint8_t* digest) {
    Sha1_Update(hash, at.Here() - at.pos, at.pos);
    if (!at.Take(keyed_container::kSignatureMarker)) {
        ItemStore_SetError(store, kItemErrorSignature, 0, "Signature error: signature is missing");
        return false;
    }
    if (at.Left() < kSha1DigestSize) {
        ItemStore_SetError(store, kItemErrorSignature, 0, "Signature error: signature has been truncated");
        return false;
    }
    std::memcpy(digest, at.Here(), kSha1DigestSize);
    return true;
}

bool DigestMatches(ItemStore* store, const Sha1State* hash, const std::uint8_t* stored) {
    Sha1State finished = *hash;
    std::uint8_t computed[kSha1DigestSize];
    Sha1_Final(&finished, computed);
    const bool same = std::memcmp(computed, stored, kSha1DigestSize) == 0;
    WipeMemory(&finished, sizeof finished);
    if (!same) ItemStore_SetError(store, kItemErrorSignature, 0, "Signature error: file has been modified");
    return same;
}

// ---- The survey ------------------------------------------------------------
// Before any item is made, the stream is gone through with the read's own
// steps and errors, keeping only where each index entry starts (4 bytes for
// an entry of at least 7): an index of entries beyond number, sizes the data
// cannot hold or a wrong signature are refused before the reader builds a
// record of a few hundred bytes for each entry.

int HexDigit(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

// The next unit of a well-formed encoded name at `i`: a byte, 256 for a
// separator, -1 at the name's end.
int NameUnit(const ItemFileView* view, std::size_t& i) {
    if (i >= view->size || IsSpace(view->bytes[i])) return -1;
    const std::uint8_t c = view->bytes[i];
    if (c == '/') return ++i, 256;
    if (c != '%') return ++i, c;
    const int value = HexDigit(view->bytes[i + 1]) * 16 + HexDigit(view->bytes[i + 2]);
    i += 3;
    return value;
}

// -1, 0 or 1 as the path of the entry at `a` orders before, equals or
// follows the path of the entry at `b`.
int ComparePaths(const ItemFileView* view, std::size_t a, std::size_t b) {
    for (;;) {
        const int x = NameUnit(view, a), y = NameUnit(view, b);
        if (x != y) return x < y ? -1 : 1;
        if (x < 0) return 0;
    }
}

// Keeps, in index order, the entries that get data: an entry whose path a
// later entry repeats is replaced by it and gets none.
void KeepPlacedEntries(const ItemFileView* view, std::vector<std::uint32_t>& entries) {
    std::sort(entries.begin(), entries.end(), [view](std::uint32_t a, std::uint32_t b) {
        const int order = ComparePaths(view, a, b);
        return order != 0 ? order < 0 : a < b;
    });
    // Offset 0 is the header's, never an entry's.
    for (std::size_t k = 0; k + 1 < entries.size(); ++k)
        if (ComparePaths(view, entries[k], entries[k + 1]) == 0) entries[k] = 0;
    std::sort(entries.begin(), entries.end());
    entries.erase(entries.begin(), std::upper_bound(entries.begin(), entries.end(), 0u));
}

// The type and byte size of a well-formed entry.
void EntryShape(const ItemFileView* view, std::uint32_t offset, ItemType& type, std::uint32_t& byteSize) {
    Cursor at(view);
    at.pos = offset;
    while (!IsSpace(at.Peek())) ++at.pos;
    at.SkipSpace();
    type = static_cast<ItemType>(MatchTypeName(at));
    at.pos += std::strlen(ItemType_Name(type));
    at.SkipSpace();
    std::uint64_t total = static_cast<std::uint64_t>(ItemType_ElementSize(type));
    long long size = 0;
    while (!at.Take(";") && at.Number(size)) {
        total *= static_cast<std::uint64_t>(size);
        at.SkipSpace();
    }
    byteSize = static_cast<std::uint32_t>(total);
}

// The data and the signature of a surveyed index. The signature's bytes go
// into `hash` and `digest` as the read takes them; it is compared here.
bool SurveyData(ItemStore* store, Cursor& at, const ItemFileView* view, const std::vector<std::uint32_t>& entries,
                Sha1State* hash, std::uint8_t* digest) {
    if (!SkipCheckBytes(store, at)) return false;
    for (std::uint32_t offset : entries) {
        ItemType type;
        std::uint32_t byteSize = 0;
        EntryShape(view, offset, type, byteSize);
        if (!SkipPadding(store, at, type, byteSize)) return false;
        at.pos += byteSize;
    }
    return !hash || (ReadSignature(store, at, hash, digest) && DigestMatches(store, hash, digest));
}

bool Survey(ItemStore* store, Cursor at, const ItemFileView* view, Sha1State* hash, std::uint8_t* digest) {
    std::vector<std::uint32_t> entries;
    if (!ParseComment(store, at, false) || !ParseIndex(store, at, &entries)) return false;
    KeepPlacedEntries(view, entries);
    return SurveyData(store, at, view, entries, hash, digest);
}

// Items whose entries were read but whose data never got a place would
// point nowhere: a failed read does not leave them behind.
void DropUnplacedItems(ItemStore* store) {
    StoreItem* item = store->first;
    while (item) {
        StoreItem* next = item->next;
        if (item->pending) {
            ItemPath path = item->path;
            ItemStore_RemoveItem(store, path);
        }
        item = next;
    }
}

bool ParseEncrypted(ItemStore* store, Cursor& at, Sha1State* hash, std::uint8_t* digest,
                    const std::uint8_t* key, std::size_t keyLength) {
    if (!key) {
        ItemStore_SetError(store, kItemErrorEncryption, 0, "No decryption key found");
        return false;
    }
    ItemFileView* plain = ItemFile_Decrypt(store, at.Here(), at.Left(), key, keyLength);
    if (!plain) return false;
    bool ok = ItemFile_Parse(store, hash, digest, nullptr, 0, plain);
    ItemFile_ReleaseView(plain);
    return ok;
}

}  // namespace

ItemFileView* ItemFile_Decrypt(ItemStore* store, const std::uint8_t* body, std::size_t bodyLength,
                               const std::uint8_t* key, std::size_t keyLength) {
    if (!key) {
        ItemStore_SetError(store, kItemErrorEncryption, 0, "No decryption key found");
        return nullptr;
    }
    AesCbcReader* reader = AesCbc_NewReader();
    if (!reader) {
        ItemStore_SetError(store, kItemErrorMemory, 0, "Out of memory");
        return nullptr;
    }
    ItemFileView* view = nullptr;
    long long plainLength = -1;
    if (!AesCbc_SetDecryptKey(reader, key, keyLength)) {
        ItemStore_SetError(store, kItemErrorEncryption, 0, "Invalid decryption key length");
    } else if ((plainLength = AesCbc_PlainLength(reader, body, bodyLength)) < 0) {
        ItemStore_SetError(store, kItemErrorEncryption, 0, "Truncated or corrupted data");
    } else if ((view = ItemFile_NewBuffer(static_cast<std::size_t>(plainLength), true, store))) {
        AesCbc_DecryptAll(reader, body, bodyLength, view->bytes);
    }
    AesCbc_FreeReader(reader);
    return view;
}

bool ItemFile_Parse(ItemStore* store, Sha1State* hash, std::uint8_t digest[kSha1DigestSize],
                    const std::uint8_t* decryptionKey, std::size_t decryptionKeyLength,
                    ItemFileView* view) {
    Cursor at(view);
    if (!ParseHeader(store, at)) return false;
    at.SkipSpace();
    if (at.Take("[encrypted]"))
        return ParseEncrypted(store, at, hash, digest, decryptionKey, decryptionKeyLength);
    if (decryptionKey) {
        ItemStore_SetError(store, kItemErrorEncryption, 0, "Cannot decrypt file, it is not encrypted");
        return false;
    }
    // The survey takes the signature's bytes: the read itself need not.
    if (!Survey(store, at, view, hash, digest) || !ParseComment(store, at, true)) return false;
    for (StoreItem* item = store->first; item; item = item->next) item->pending = false;
    bool ok = ParseIndex(store, at, nullptr) && PlaceData(store, at, view);
    if (!ok) DropUnplacedItems(store);
    return ok;
}

bool ItemFile_ReadView(ItemStore* store, ItemFileView* view,
                       const std::uint8_t* signingKey, std::size_t signingKeyLength,
                       const std::uint8_t* decryptionKey, std::size_t decryptionKeyLength) {
    Sha1State hash;
    if (signingKey) {
        Sha1_Init(&hash);
        Sha1_Update(&hash, signingKey, signingKeyLength);
    }
    std::uint8_t stored[kSha1DigestSize] = {};
    bool ok = ItemFile_Parse(store, signingKey ? &hash : nullptr, stored, decryptionKey,
                             decryptionKeyLength, view);
    WipeMemory(&hash, sizeof hash);
    return ok;
}

bool ItemFile_Read(ItemStore* store, const std::string& path, bool utf8,
                   const std::uint8_t* signingKey, std::size_t signingKeyLength,
                   const std::uint8_t* decryptionKey, std::size_t decryptionKeyLength) {
    ItemFileView* view = ItemFile_MapForReading(path, utf8, store);
    if (!view) return false;
    bool ok = ItemFile_ReadView(store, view, signingKey, signingKeyLength, decryptionKey,
                                decryptionKeyLength);
    ItemFile_ReleaseView(view);
    return ok;
}

bool ItemFile_ReadSigned(ItemStore* store, const std::string& path,
                         const std::uint8_t* signingKey, std::size_t signingKeyLength) {
    return ItemFile_Read(store, path, false, signingKey, signingKeyLength, nullptr, 0);
}
