// Views on the bytes being read, and the encoding of item names.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "app/files/item_file.h"
#include "app/files/utf8_file.h"
#include "app/files/wipe_memory.h"

namespace {

bool IsPlainNameByte(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

const char* ErrnoText(int error) { return std::strerror(error != 0 ? error : EIO); }

}  // namespace

ItemFileView* ItemFile_NewBuffer(std::size_t size, bool wipe, ItemStore* store) {
    auto* view = new (std::nothrow) ItemFileView();
    std::uint8_t* bytes = view ? new (std::nothrow) std::uint8_t[size > 0 ? size : 1]() : nullptr;
    if (!bytes) {
        delete view;
        ItemStore_SetError(store, kItemErrorMemory, 0, "Out of memory");
        return nullptr;
    }
    view->bytes = bytes;
    view->size = size;
    view->wipe = wipe;
    return view;
}

void ItemFile_RetainView(ItemFileView* view) { ++view->references; }

void ItemFile_ReleaseView(ItemFileView* view) {
    if (!view || --view->references > 0) return;
    if (view->wipe) WipeMemory(view->bytes, view->size);
    delete[] view->bytes;
    delete view;
}

std::FILE* ItemFile_OpenUtf8(const std::string& path, bool utf8, bool forWriting) {
    return files::OpenFile(path, utf8, forWriting);
}

ItemFileView* ItemFile_MapForReading(const std::string& path, bool utf8, ItemStore* store) {
    errno = 0;
    std::FILE* file = ItemFile_OpenUtf8(path, utf8, false);
    if (!file) {
        ItemStore_SetError(store, kItemErrorOpen, 0, "%s", ErrnoText(errno));
        return nullptr;
    }
    std::uint64_t size = 0;
    ItemFileView* view = nullptr;
    if (!files::FileSize(file, &size)) {
        ItemStore_SetError(store, kItemErrorOpen, 0, "%s", ErrnoText(errno));
    } else if (size >= (std::uint64_t(1) << 32) || size > SIZE_MAX) {
        ItemStore_SetError(store, kItemErrorOpen, 0, "File is too big");
    } else if (size == 0) {
        ItemStore_SetError(store, kItemErrorOpen, 0, "File is empty");
    } else if ((view = ItemFile_NewBuffer(static_cast<std::size_t>(size), false, store)) != nullptr) {
        errno = 0;
        std::size_t got = std::fread(view->bytes, 1, view->size, file);
        if (got != view->size) {
            ItemStore_SetError(store, kItemErrorRead, 0, "%s",
                               std::ferror(file) ? ErrnoText(errno) : "File is shorter than its size");
            ItemFile_ReleaseView(view);
            view = nullptr;
        }
    }
    std::fclose(file);
    return view;
}

std::string ItemFile_EncodeName(const ItemPath& path) {
    static const char kHex[] = "0123456789abcdef";
    std::string encoded;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (i > 0) encoded += '/';
        for (unsigned char c : path[i]) {
            if (IsPlainNameByte(c)) {
                encoded += static_cast<char>(c);
            } else {
                encoded += '%';
                encoded += kHex[c >> 4];
                encoded += kHex[c & 15];
            }
        }
    }
    return encoded;
}

bool ItemFile_DecodeName(const char* encoded, std::size_t length, ItemPath& path) {
    path.assign(1, std::string());
    for (std::size_t i = 0; i < length; ++i) {
        char c = encoded[i];
        if (c == '/') {
            path.emplace_back();
        } else if (c == '%') {
            int high = i + 2 < length ? HexValue(encoded[i + 1]) : -1;
            int low = i + 2 < length ? HexValue(encoded[i + 2]) : -1;
            if (high < 0 || low < 0) return false;
            path.back() += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            path.back() += c;
        }
    }
    return true;
}
