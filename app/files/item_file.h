// The keyed container file: the on-disk form of an ItemStore.
//
// Version 2.0 is a text part (header, optional comment, an index naming
// every item with its type and sizes) followed by a binary part with every
// item's data, aligned, and optionally a keyed SHA-1 signature. Version 2.1
// is a version-2.0 stream encrypted with AES-CBC behind a short clear prefix.
// The writer and the reader are exact mirrors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/files/item_store.h"
#include "app/files/sha1.h"

// A counted, read-only window on the bytes being read: the whole file, or a
// decrypted stream (wiped when released). Every item read from it holds one
// reference, so the bytes live as long as the items that point into them.
// The file itself is read whole and closed at once: saving over a file that
// was read never meets an open handle.
struct ItemFileView {
    int references = 1;
    std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
    bool wipe = false;
};

// The whole file in a new view; nullptr with error 1, 2 or 3 set.
ItemFileView* ItemFile_MapForReading(const std::string& path, bool utf8, ItemStore* store);
// A zeroed buffer view of `size` bytes; nullptr with error 1 set.
ItemFileView* ItemFile_NewBuffer(std::size_t size, bool wipe, ItemStore* store);
void ItemFile_RetainView(ItemFileView* view);
void ItemFile_ReleaseView(ItemFileView* view);  // accepts nullptr

// Opens a binary stream for reading or writing ("rb"/"wb"); with `utf8`
// the path is UTF-8 (see utf8_file.h). nullptr with errno set on failure.
std::FILE* ItemFile_OpenUtf8(const std::string& path, bool utf8, bool forWriting);

// Path components byte by byte: letters, digits, "-", "_" and "." as they
// are, every other byte as "%xx"; components joined with "/".
std::string ItemFile_EncodeName(const ItemPath& path);
// The path of an encoded name; false when a "%" is not followed by two
// hexadecimal digits.
bool ItemFile_DecodeName(const char* encoded, std::size_t length, ItemPath& path);

// Writes the store to `path`. No signing key: no signature; no encryption
// key: version 2.0, else 2.1. The file is replaced only when everything was
// written: a failed write leaves the old file as it was.
bool ItemFile_Write(ItemStore* store, const std::string& path, bool utf8,
                    const std::uint8_t* signingKey, std::size_t signingKeyLength,
                    const std::uint8_t* encryptionKey, std::size_t encryptionKeyLength);
bool ItemFile_WriteSigned(ItemStore* store, const std::string& path,
                          const std::uint8_t* signingKey, std::size_t signingKeyLength);

// Reads a file into the store (normally new and empty). With a signing key
// the file must be signed with it; with a decryption key it must be
// encrypted. On failure the store keeps the items whose data was placed
// before the failure and must be freed by the caller.
bool ItemFile_Read(ItemStore* store, const std::string& path, bool utf8,
                   const std::uint8_t* signingKey, std::size_t signingKeyLength,
                   const std::uint8_t* decryptionKey, std::size_t decryptionKeyLength);
bool ItemFile_ReadSigned(ItemStore* store, const std::string& path,
                         const std::uint8_t* signingKey, std::size_t signingKeyLength);
// The same on bytes already in a view (the reader's reference is not taken).
bool ItemFile_ReadView(ItemStore* store, ItemFileView* view,
                       const std::uint8_t* signingKey, std::size_t signingKeyLength,
                       const std::uint8_t* decryptionKey, std::size_t decryptionKeyLength);

// Parses one stream from the view's first byte. With a hash state every
// signed byte is absorbed, the stored digest copied to `digest` and compared
// with the hash. The whole stream, its signature too, is checked before any
// item is made, with the errors in the order the read finds them.
bool ItemFile_Parse(ItemStore* store, Sha1State* hash, std::uint8_t digest[kSha1DigestSize],
                    const std::uint8_t* decryptionKey, std::size_t decryptionKeyLength,
                    ItemFileView* view);

// Decrypts a version-2.1 body (initialisation vector and ciphertext) into a
// new wiped view holding the plain stream; nullptr with the error set.
ItemFileView* ItemFile_Decrypt(ItemStore* store, const std::uint8_t* body, std::size_t bodyLength,
                               const std::uint8_t* key, std::size_t keyLength);
