#include "app/files/resource_package.h"

#include "app/files/png_image.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr char kTags[4][4] = {"str", "png", "u32", "i32"};

bool ReadInt(std::FILE* stream, int32_t& value) {
    unsigned char b[4];
    if (std::fread(b, 1, 4, stream) != 4) return false;
    value = static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                 static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24);
    return true;
}

// The file being read and its length, so that every size can be held
// against what is left of it.
struct Reader {
    std::FILE* stream;
    long length;

    long Left() const {
        const long at = std::ftell(stream);
        return at < 0 || at > length ? 0 : length - at;
    }
    // The next `size` bytes; false when they lie beyond the file.
    bool Bytes(int32_t size, std::vector<uint8_t>& out) const {
        if (size < 0 || size > Left()) return false;
        out.resize(static_cast<size_t>(size));
        return size == 0 || std::fread(out.data(), 1, out.size(), stream) == out.size();
    }
};

bool ReadText(const Reader& reader, ResourceEntry& entry) {
    std::vector<uint8_t> bytes;
    if (!ReadInt(reader.stream, entry.size) || !reader.Bytes(entry.size, bytes)) return false;
    entry.text = static_cast<char*>(std::malloc(bytes.size() + 1));
    if (!entry.text) return false;
    if (!bytes.empty()) std::memcpy(entry.text, bytes.data(), bytes.size());
    entry.text[bytes.size()] = '\0';  // a text without its terminator is cut at its size
    return true;
}

bool ReadPicture(const Reader& reader, ResourceEntry& entry) {
    std::vector<uint8_t> bytes;
    if (!ReadInt(reader.stream, entry.size) || !reader.Bytes(entry.size, bytes)) return false;
    Image decoded;
    if (!Png_Decode(bytes.data(), bytes.size(), decoded)) return true;  // absent, the package goes on
    entry.image = new (std::nothrow) Image(decoded);
    if (!entry.image) Image_Free(&decoded);
    return entry.image != nullptr;
}

bool ReadEntry(const Reader& reader, ResourceEntry& entry) {
    if (std::fread(entry.name, 1, kResourceNameSize, reader.stream) != kResourceNameSize) return false;
    entry.name[kResourceNameSize - 1] = '\0';
    entry.type = ResourcePackage_ReadTypeTag(reader.stream);
    switch (entry.type) {
        case kResourceString:
            return ReadText(reader, entry);
        case kResourcePng:
            return ReadPicture(reader, entry);
        case kResourceU32:
        case kResourceI32: {
            int32_t value = 0;
            if (!ReadInt(reader.stream, value)) return false;
            entry.value = static_cast<uint32_t>(value);
            entry.size = 4;
            return true;
        }
    }
    return false;
}

// The directory offset from the trailer; -1 when the file has none.
long DirectoryOffset(std::FILE* stream, long& length) {
    if (std::fseek(stream, 0, SEEK_END) != 0) return -1;
    length = std::ftell(stream);
    if (length < kResourceTrailerSize || std::fseek(stream, length - kResourceTrailerSize, SEEK_SET) != 0) return -1;
    char magic[kResourceMagicSize];
    int32_t offset = 0;
    if (std::fread(magic, 1, sizeof magic, stream) != sizeof magic || !ReadInt(stream, offset)) return -1;
    if (std::memcmp(magic, kResourceMagic, kResourceMagicSize) != 0) return -1;
    if (offset < 0 || offset > length - kResourceTrailerSize - 4) return -1;
    return offset;
}

ResourcePackage* ReadPackage(std::FILE* stream) {
    long length = 0;
    const long offset = DirectoryOffset(stream, length);
    if (offset < 0 || std::fseek(stream, offset, SEEK_SET) != 0) return nullptr;
    int32_t count = 0;
    if (!ReadInt(stream, count) || count > kResourcePackageEntries) return nullptr;
    ResourcePackage* package = static_cast<ResourcePackage*>(std::calloc(1, sizeof(ResourcePackage)));
    if (!package || count <= 0) return package;
    const Reader reader = {stream, length - kResourceTrailerSize};
    for (int32_t i = 0; i < count; ++i) {
        ResourceEntry& entry = package->entries[i];
        package->count = i + 1;  // what Free must release, also when this entry fails
        if (!ReadEntry(reader, entry)) {
            ResourcePackage_Free(package);
            return nullptr;
        }
    }
    return package;
}

const ResourceEntry* Find(const ResourcePackage* package, const char* name) {
    if (!package || !name) return nullptr;
    for (int32_t i = 0; i < package->count && i < kResourcePackageEntries; ++i)
        if (std::strncmp(package->entries[i].name, name, kResourceNameSize) == 0) return &package->entries[i];
    return nullptr;
}

}  // namespace

int32_t ResourcePackage_ReadTypeTag(std::FILE* stream) {
    char tag[3];
    if (!stream || std::fread(tag, 1, 3, stream) != 3) return -1;
    for (int32_t i = 0; i < 4; ++i)
        if (std::memcmp(tag, kTags[i], 3) == 0) return i;
    return -1;
}

ResourcePackage* ResourcePackage_Load(const std::string& path) {
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (!stream) return nullptr;
    ResourcePackage* package = ReadPackage(stream);
    std::fclose(stream);
    return package;
}

void ResourcePackage_Free(ResourcePackage* package) {
    if (!package) return;
    for (int32_t i = 0; i < package->count && i < kResourcePackageEntries; ++i) {
        ResourceEntry& entry = package->entries[i];
        std::free(entry.text);
        if (entry.image) {
            Image_Free(entry.image);
            delete entry.image;
        }
    }
    std::free(package);
}

const char* ResourcePackage_GetString(const ResourcePackage* package, const char* name, const char* fallback) {
    const ResourceEntry* entry = Find(package, name);
    return entry && entry->type == kResourceString ? entry->text : fallback;
}

const Image* ResourcePackage_GetImage(const ResourcePackage* package, const char* name, const Image* fallback) {
    const ResourceEntry* entry = Find(package, name);
    return entry && entry->type == kResourcePng && entry->image ? entry->image : fallback;
}

uint32_t ResourcePackage_GetU32(const ResourcePackage* package, const char* name, uint32_t fallback) {
    const ResourceEntry* entry = Find(package, name);
    return entry && entry->type == kResourceU32 ? entry->value : fallback;
}
