// keyed_container: the way to make the locale container and to look inside
// any keyed container file.
//
//   keyed_container pack-locale <locale text> <output .dat>
//       Packs the text as the item "LocaleFile/Data" (uint8, one dimension)
//       into a container signed and encrypted with the locale keys.
//   keyed_container dump <container>
//       Lists every item with its type, sizes and a preview of its values.
//       The signature is checked with the program's keys; a file that none
//       of them verifies is still listed, marked as not verified.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "app/files/container_keys.h"
#include "app/files/item_file.h"
#include "app/files/item_store.h"

namespace {

struct StoreOwner {
    ItemStore* store = ItemStore_Create();
    ~StoreOwner() { ItemStore_Free(store); }
};

bool ReadWhole(const char* path, std::vector<std::uint8_t>& bytes) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    std::uint8_t chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

int PackLocale(const char* textPath, const char* outputPath) {
    std::vector<std::uint8_t> text;
    if (!ReadWhole(textPath, text)) {
        std::fprintf(stderr, "cannot read %s: %s\n", textPath, std::strerror(errno));
        return 1;
    }
    if (text.size() > 0x7FFFFFFFu) {
        std::fprintf(stderr, "%s is too big\n", textPath);
        return 1;
    }
    StoreOwner owner;
    if (!owner.store) return 1;
    if (!ItemStore_AddItem(owner.store, "LocaleFile/Data", text.data(), ItemType::UInt8, 1,
                           static_cast<std::int32_t>(text.size())) ||
        !ItemFile_Write(owner.store, outputPath, false, kLocaleSigningKey, kContainerKeyLength,
                        kLocaleDecryptionKey, kContainerKeyLength)) {
        std::fprintf(stderr, "cannot write %s: %s\n", outputPath, owner.store->error.text);
        return 1;
    }
    std::printf("packed %zu bytes into %s\n", text.size(), outputPath);
    return 0;
}

std::string Printable(const char* text, std::size_t length) {
    std::string out;
    for (std::size_t i = 0; i < length && out.size() < 200; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        } else out += static_cast<char>(c);
    }
    return out;
}

template <class T>
T Element(const StoreItem& item, std::size_t index) {
    T value;
    std::memcpy(&value, static_cast<const std::uint8_t*>(item.data) + index * sizeof(T), sizeof(T));
    return value;
}

std::string Preview(const StoreItem& item) {
    const std::size_t count = item.byteSize / static_cast<std::size_t>(ItemType_ElementSize(item.type));
    const std::size_t shown = count < 8 ? count : 8;
    char buffer[64];
    std::string out;
    switch (item.type) {
        case ItemType::String: {
            const char* text = static_cast<const char*>(item.data);
            std::size_t length = 0;
            while (length < item.byteSize && text[length]) ++length;
            return "\"" + Printable(text, length) + "\"";
        }
        case ItemType::Time: {
            double seconds = Element<double>(item, 0);
            std::time_t whole = static_cast<std::time_t>(seconds);
            char when[32] = "?";
            if (const std::tm* utc = std::gmtime(&whole)) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", utc);
            std::snprintf(buffer, sizeof buffer, "%.3f (%s)", seconds, when);
            return buffer;
        }
        case ItemType::Raw:
        case ItemType::UInt8:
            if (count > 0 && item.type == ItemType::UInt8 && item.dimensionCount == 1)
                out = "\"" + Printable(static_cast<const char*>(item.data), count) + "\"";
            else
                for (std::size_t i = 0; i < (count < 16 ? count : 16); ++i) {
                    std::snprintf(buffer, sizeof buffer, "%02x ", Element<std::uint8_t>(item, i));
                    out += buffer;
                }
            return out;
        default:
            break;
    }
    for (std::size_t i = 0; i < shown; ++i) {
        switch (item.type) {
            case ItemType::Int8: std::snprintf(buffer, sizeof buffer, "%d", Element<std::int8_t>(item, i)); break;
            case ItemType::Int16: std::snprintf(buffer, sizeof buffer, "%d", Element<std::int16_t>(item, i)); break;
            case ItemType::UInt16: std::snprintf(buffer, sizeof buffer, "%u", Element<std::uint16_t>(item, i)); break;
            case ItemType::Int32: std::snprintf(buffer, sizeof buffer, "%" PRId32, Element<std::int32_t>(item, i)); break;
            case ItemType::UInt32: std::snprintf(buffer, sizeof buffer, "%" PRIu32, Element<std::uint32_t>(item, i)); break;
            case ItemType::Int64: std::snprintf(buffer, sizeof buffer, "%" PRId64, Element<std::int64_t>(item, i)); break;
            case ItemType::UInt64: std::snprintf(buffer, sizeof buffer, "%" PRIu64, Element<std::uint64_t>(item, i)); break;
            case ItemType::Float32: std::snprintf(buffer, sizeof buffer, "%g", Element<float>(item, i)); break;
            default: std::snprintf(buffer, sizeof buffer, "%g", Element<double>(item, i)); break;
        }
        out += (i ? " " : "") + std::string(buffer);
    }
    if (count > shown) out += " ...";
    return out;
}

void PrintItem(StoreItem* item, void*) {
    std::string shape = "[";
    for (std::size_t d = 0; d < item->sizes.size(); ++d) shape += (d ? " x " : "") + std::to_string(item->sizes[d]);
    shape += "]";
    std::printf("%-40s %-8s %-14s %10" PRIu32 " bytes  %s\n", ItemFile_EncodeName(item->path).c_str(),
                ItemType_Name(item->type), shape.c_str(), item->byteSize, Preview(*item).c_str());
}

struct KeyChoice {
    const char* name;
    const std::uint8_t* sign;
    const std::uint8_t* crypt;
};

int Dump(const char* path) {
    const KeyChoice choices[] = {
        {"scan file key", kScanFileSigningKey, nullptr},
        {"locale key", kLocaleSigningKey, nullptr},
        {"locale key", kLocaleSigningKey, kLocaleDecryptionKey},
        {"NOT VERIFIED", nullptr, nullptr},
        {"NOT VERIFIED", nullptr, kLocaleDecryptionKey},
    };
    std::string firstError;
    for (const KeyChoice& choice : choices) {
        StoreOwner owner;
        if (!owner.store) return 1;
        if (!ItemFile_Read(owner.store, path, false, choice.sign, kContainerKeyLength, choice.crypt,
                           kContainerKeyLength)) {
            const ItemStoreError& error = owner.store->error;
            if (firstError.empty()) firstError = error.text;
            // Only a signature or encryption mismatch is worth another key.
            if (error.code != kItemErrorSignature && error.code != kItemErrorEncryption) {
                std::fprintf(stderr, "%s: %s (code %d, line %d)\n", path, error.text, error.code, error.detail);
                return 1;
            }
            continue;
        }
        std::printf("file: %s\nencrypted: %s\nsignature: %s", path, choice.crypt ? "yes" : "no", choice.name);
        if (!choice.sign) std::printf(" (%s)", firstError.c_str());
        std::printf("\n");
        if (owner.store->comment)
            std::printf("comment: %s\n", Printable(owner.store->comment->data(), owner.store->comment->size()).c_str());
        ItemStore_ForEach(owner.store, &PrintItem, nullptr);
        return 0;
    }
    std::fprintf(stderr, "%s: %s\n", path, firstError.c_str());
    return 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: keyed_container pack-locale <locale text> <output .dat>\n"
                 "       keyed_container dump <container>\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "pack-locale") == 0) return PackLocale(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "dump") == 0) return Dump(argv[2]);
    return Usage();
}
