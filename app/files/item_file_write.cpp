// Writing an ItemStore as a keyed container file (versions 2.0 and 2.1).
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "app/files/aes_cbc.h"
#include "app/files/item_file.h"
#include "app/files/item_file_format.h"
#include "app/files/safe_file_write.h"
#include "app/files/wipe_memory.h"

namespace {

// Every byte of the container stream passes here: it is hashed when
// signing, encrypted or written, and counted for the alignment of the data.
struct StreamSink {
    Sha1State* hash = nullptr;
    AesCbcWriter* encryptor = nullptr;
    files::SafeFileWriter* file = nullptr;
    std::uint64_t count = 0;

    void Put(const void* bytes, std::size_t size) {
        if (size == 0) return;
        if (hash) Sha1_Update(hash, bytes, size);
        if (encryptor)
            AesCbc_Write(encryptor, bytes, size);
        else
            file->Write(bytes, size);
        count += size;
    }
    void Put(const std::string& text) { Put(text.data(), text.size()); }
};

bool WriteToFile(const void* bytes, std::size_t count, void* user) {
    return static_cast<files::SafeFileWriter*>(user)->Write(bytes, count);
}

// The hash state after the key is as secret as the key.
struct HashGuard {
    Sha1State state;
    ~HashGuard() { WipeMemory(&state, sizeof state); }
};

struct FreeEncryptor {
    void operator()(AesCbcWriter* writer) const { AesCbc_FreeWriter(writer); }
};

std::string IndexEntry(const StoreItem& item) {
    std::string entry = ItemFile_EncodeName(item.path);
    entry += ' ';
    entry += ItemType_Name(item.type);
    for (std::int32_t size : item.sizes) {
        entry += ' ';
        entry += std::to_string(size);
    }
    entry += ";\r\n";
    return entry;
}

// The text part: header, comment and index. Built before the file is
// opened, so that nothing is created for a store that cannot be written.
bool BuildTextPart(ItemStore* store, std::string& text) {
    for (const StoreItem* item = store->first; item; item = item->next) {
        if (!item->data && item->byteSize > 0) {
            ItemStore_SetError(store, kItemErrorInvalidItem, 0, "Invalid item: '%s' has no data",
                               ItemPath_ForMessage(item->path).c_str());
            return false;
        }
    }
    try {
        text = keyed_container::kHeader20;
        if (store->comment) text += "[comment]\r\n" + *store->comment + "\r\n\r\n";
        text += "[index]\r\n";
        for (const StoreItem* item = store->first; item; item = item->next) text += IndexEntry(*item);
        text += "\r\n";
        return true;
    } catch (const std::bad_alloc&) {
        ItemStore_SetError(store, kItemErrorMemory, 0, "Out of memory");
        return false;
    }
}

void WriteBinaryPart(ItemStore* store, StreamSink& sink) {
    static const std::uint8_t kZeros[48] = {};
    sink.Put(keyed_container::kBinaryMarker, std::strlen(keyed_container::kBinaryMarker));
    sink.Put(keyed_container::kCheckBytes, sizeof keyed_container::kCheckBytes);
    sink.Put(kZeros, sizeof kZeros);
    for (const StoreItem* item = store->first; item; item = item->next) {
        const std::uint64_t alignment = static_cast<std::uint64_t>(ItemType_Alignment(item->type));
        sink.Put(kZeros, static_cast<std::size_t>((alignment - sink.count % alignment) % alignment));
        sink.Put(item->data, item->byteSize);
    }
}

bool WriteFailed(ItemStore* store, const files::SafeFileWriter& file) {
    if (!file.Failed()) return false;
    ItemStore_SetError(store, kItemErrorWrite, 0, "Write error: %s", file.ErrorText().c_str());
    return true;
}

}  // namespace

bool ItemFile_Write(ItemStore* store, const std::string& path, bool utf8,
                    const std::uint8_t* signingKey, std::size_t signingKeyLength,
                    const std::uint8_t* encryptionKey, std::size_t encryptionKeyLength) {
    std::string text;
    if (!BuildTextPart(store, text)) return false;

    files::SafeFileWriter file;
    std::unique_ptr<AesCbcWriter, FreeEncryptor> encryptor;
    if (encryptionKey) {
        encryptor.reset(AesCbc_NewWriter(&WriteToFile, &file));
        if (!encryptor) {
            ItemStore_SetError(store, kItemErrorMemory, 0, "Out of memory");
            return false;
        }
        if (!AesCbc_SetKey(encryptor.get(), encryptionKey, encryptionKeyLength)) {
            ItemStore_SetError(store, kItemErrorEncryption, 0, "Invalid key size");
            return false;
        }
    }
    if (!file.Open(path, utf8)) {
        ItemStore_SetError(store, kItemErrorWrite, 0, "Open error: %s", file.ErrorText().c_str());
        return false;
    }
    if (encryptor) file.Write(keyed_container::kEncryptedPrefix, keyed_container::kEncryptedPrefixLength);

    HashGuard guard;
    Sha1State& hash = guard.state;
    StreamSink sink;
    sink.file = &file;
    sink.encryptor = encryptor.get();
    if (signingKey) {
        Sha1_Init(&hash);
        Sha1_Update(&hash, signingKey, signingKeyLength);
        sink.hash = &hash;
    }
    sink.Put(text);
    if (WriteFailed(store, file)) return false;
    WriteBinaryPart(store, sink);
    if (WriteFailed(store, file)) return false;
    if (signingKey) {
        std::uint8_t digest[kSha1DigestSize];
        Sha1_Final(&hash, digest);
        sink.hash = nullptr;
        sink.Put(keyed_container::kSignatureMarker, std::strlen(keyed_container::kSignatureMarker));
        sink.Put(digest, sizeof digest);
        if (WriteFailed(store, file)) return false;
    }
    // The last block goes through the same checked writes: a file whose end
    // was not written is never put in the target's place.
    if (encryptor) AesCbc_FreeWriter(encryptor.release());
    if (WriteFailed(store, file)) return false;
    if (!file.Commit()) {
        WriteFailed(store, file);
        return false;
    }
    return true;
}

bool ItemFile_WriteSigned(ItemStore* store, const std::string& path,
                          const std::uint8_t* signingKey, std::size_t signingKeyLength) {
    return ItemFile_Write(store, path, false, signingKey, signingKeyLength, nullptr, 0);
}
