// The branding package: named, typed values (texts, PNG pictures, 32-bit
// numbers) appended after the program's executable image.
//
// Layout (32-bit little-endian signed integers, offsets from the file's start):
//   at the directory offset D: the entry count N, then N entries, each a
//   32-byte zero-padded name, a 3-byte type tag ("str", "png", "u32", "i32")
//   and either the data size S followed by S bytes (text with its terminator,
//   or a complete PNG file) or the 32-bit value itself;
//   the file ends in the 10 bytes "TvResource" and the 4-byte offset D.
//
// Every fault of the package (no trailer, bad magic, bad tag, an offset or a
// size outside the file, more entries than the table holds) gives no package.
// Each entry's data is read within its own size and the next entry starts
// right after it; a picture that does not decode is absent, a text is cut at
// its size. Nothing is ever reported to the user.
#pragma once

#include "app/files/image.h"

#include <cstdint>
#include <cstdio>
#include <string>

enum ResourceType : int32_t {
    kResourceString = 0,
    kResourcePng = 1,
    kResourceU32 = 2,
    kResourceI32 = 3,
};

constexpr int32_t kResourceNameSize = 32;
constexpr int32_t kResourcePackageEntries = 64;
constexpr char kResourceMagic[] = "TvResource";  // stored without its terminator
constexpr int32_t kResourceMagicSize = 10;
constexpr int32_t kResourceTrailerSize = kResourceMagicSize + 4;

struct ResourceEntry {
    char name[kResourceNameSize];
    int32_t size;  // the data size (texts and pictures), 4 for numbers
    int32_t type;
    char* text;      // owned, always terminated; kResourceString
    Image* image;    // owned; null when the picture did not decode
    uint32_t value;  // kResourceU32 and kResourceI32
};

struct ResourcePackage {
    int32_t count;
    ResourceEntry entries[kResourcePackageEntries];
};

// The package of the file, or null.
ResourcePackage* ResourcePackage_Load(const std::string& path);
// Frees every text and picture, then the package; null does nothing.
void ResourcePackage_Free(ResourcePackage* package);
// The type code of the next three bytes of the stream; -1 for none of the four tags.
int32_t ResourcePackage_ReadTypeTag(std::FILE* stream);

// The value of the first entry named exactly `name` when it has the asked
// type (and, for a picture, decoded); otherwise the default. Null package:
// the default.
const char* ResourcePackage_GetString(const ResourcePackage* package, const char* name, const char* fallback);
const Image* ResourcePackage_GetImage(const ResourcePackage* package, const char* name, const Image* fallback);
uint32_t ResourcePackage_GetU32(const ResourcePackage* package, const char* name, uint32_t fallback);
