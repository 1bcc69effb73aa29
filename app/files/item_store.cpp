#include "app/files/item_store.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>

#include "app/files/item_file.h"

namespace {

struct TypeInfo {
    const char* name;
    int size;
    int alignment;
};

constexpr TypeInfo kTypes[kItemTypeCount] = {
    {"string", 1, 1}, {"raw", 1, 8},     {"int8", 1, 1},    {"uint8", 1, 1},   {"int16", 2, 2},
    {"uint16", 2, 2}, {"int32", 4, 4},   {"uint32", 4, 4},  {"int64", 8, 8},   {"uint64", 8, 8},
    {"float32", 4, 4}, {"float64", 8, 8}, {"time", 8, 8},
};

void Unlink(ItemStore* store, StoreItem* item) {
    (item->previous ? item->previous->next : store->first) = item->next;
    (item->next ? item->next->previous : store->last) = item->previous;
    item->previous = item->next = nullptr;
}

void Append(ItemStore* store, StoreItem* item) {
    item->previous = store->last;
    item->next = nullptr;
    (store->last ? store->last->next : store->first) = item;
    store->last = item;
}

void SetMemoryError(ItemStore* store) {
    ItemStore_SetError(store, kItemErrorMemory, 0, "Out of memory");
}

bool SplitOrFail(ItemStore* store, const std::string& text, ItemPath& path) {
    try {
        path = ItemPath_Split(text);
        return true;
    } catch (const std::bad_alloc&) {
        SetMemoryError(store);
        return false;
    }
}

// Checks what item creation refuses with code 5; on success gives the byte
// size, which must fit in 32 bits.
bool CheckShape(ItemStore* store, const ItemPath& path, ItemType type, int dimensionCount,
                const std::int32_t* sizes, std::uint32_t& byteSize) {
    if (path.empty()) {
        ItemStore_SetError(store, kItemErrorInvalidItem, 0, "Invalid item name or path");
        return false;
    }
    if (!ItemType_IsValid(type)) {
        ItemStore_SetError(store, kItemErrorInvalidItem, 0, "Invalid item type");
        return false;
    }
    if (dimensionCount < 0) {
        ItemStore_SetError(store, kItemErrorInvalidItem, 0, "Invalid number of dimensions: %d",
                           dimensionCount);
        return false;
    }
    bool anyZero = false;
    for (int d = 0; d < dimensionCount; ++d) {
        if (sizes[d] < 0) {
            ItemStore_SetError(store, kItemErrorInvalidItem, 0, "Invalid size: %d (in dimension %d)",
                               sizes[d], d);
            return false;
        }
        anyZero = anyZero || sizes[d] == 0;
    }
    if ((type == ItemType::Raw || type == ItemType::String) && dimensionCount != 1) {
        ItemStore_SetError(store, kItemErrorInvalidItem, 0,
                           type == ItemType::Raw ? "Invalid item: raw item must be 1-dimensional"
                                                 : "Invalid item: string item must be 1-dimensional");
        return false;
    }
    std::uint64_t total = static_cast<std::uint64_t>(ItemType_ElementSize(type));
    for (int d = 0; d < dimensionCount && !anyZero; ++d) {
        total *= static_cast<std::uint64_t>(sizes[d]);
        if (total > 0xFFFFFFFFu) {
            ItemStore_SetError(store, kItemErrorInvalidItem, 0,
                               "Invalid item: '%s' holds 4 GiB or more",
                               ItemPath_ForMessage(path).c_str());
            return false;
        }
    }
    byteSize = anyZero ? 0 : static_cast<std::uint32_t>(total);
    return true;
}

}  // namespace

bool ItemStore_CheckShape(ItemStore* store, const ItemPath& path, ItemType type, int dimensionCount,
                          const std::int32_t* sizes, std::uint32_t& byteSize) {
    return CheckShape(store, path, type, dimensionCount, sizes, byteSize);
}

bool ItemType_IsValid(ItemType type) {
    int code = static_cast<int>(type);
    return code >= 0 && code < kItemTypeCount;
}

const char* ItemType_Name(ItemType type) {
    return ItemType_IsValid(type) ? kTypes[static_cast<int>(type)].name : nullptr;
}

int ItemType_ElementSize(ItemType type) {
    return ItemType_IsValid(type) ? kTypes[static_cast<int>(type)].size : 0;
}

int ItemType_Alignment(ItemType type) {
    return ItemType_IsValid(type) ? kTypes[static_cast<int>(type)].alignment : 1;
}

ItemPath ItemPath_Split(const std::string& text) {
    ItemPath path;
    std::size_t start = 0;
    for (;;) {
        std::size_t slash = text.find('/', start);
        if (slash == std::string::npos) {
            path.push_back(text.substr(start));
            return path;
        }
        path.push_back(text.substr(start, slash - start));
        start = slash + 1;
    }
}

std::string ItemPath_ForMessage(const ItemPath& path) {
    std::string joined;
    for (std::size_t i = 0; i < path.size() && joined.size() < 127; ++i) {
        if (i > 0) joined += '/';
        joined.append(path[i], 0, 127);
    }
    if (joined.size() > 127) joined.resize(127);
    return joined;
}

// Order-sensitive and built on the library's string hash, so that the
// names of a hostile file cannot easily be made to share one bucket.
std::size_t ItemPathHash::operator()(const ItemPath& path) const {
    std::size_t combined = path.size();
    for (const std::string& component : path)
        combined ^= std::hash<std::string>()(component) + 0x9E3779B9u + (combined << 6) + (combined >> 2);
    return combined;
}

StoreItem::~StoreItem() {
    if (holder) ItemFile_ReleaseView(holder);
}

ItemStore::~ItemStore() {
    StoreItem* item = first;
    while (item) {
        StoreItem* next = item->next;
        delete item;
        item = next;
    }
}

ItemStore* ItemStore_Create() { return new (std::nothrow) ItemStore(); }

void ItemStore_Free(ItemStore* store) { delete store; }

void ItemStore_SetError(ItemStore* store, int code, int detail, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(store->error.text, sizeof store->error.text, format, args);
    va_end(args);
    store->error.code = code;
    store->error.detail = detail;
}

const ItemStoreError* ItemStore_GetError(const ItemStore* store) {
    return store->error.code > 0 ? &store->error : nullptr;
}

void ItemStore_SetDataForm(ItemStore* store, int value) { store->dataForm = value; }

bool ItemStore_SetComment(ItemStore* store, const char* comment) {
    try {
        if (comment)
            store->comment = std::string(comment);
        else
            store->comment.reset();
        return true;
    } catch (const std::bad_alloc&) {
        SetMemoryError(store);
        return false;
    }
}

StoreItem* ItemStore_CreateItem(ItemStore* store, const ItemPath& path, const void* data,
                                ItemType type, int dimensionCount, const std::int32_t* sizes,
                                bool copy) {
    std::uint32_t byteSize = 0;
    if (!CheckShape(store, path, type, dimensionCount, sizes, byteSize)) return nullptr;
    StoreItem* item = nullptr;
    try {
        item = new StoreItem();
        item->path = path;
        item->type = type;
        item->dimensionCount = dimensionCount;
        item->sizes.assign(sizes, sizes + dimensionCount);
        item->byteSize = byteSize;
        if (copy) {
            item->ownedData.resize(byteSize);
            if (byteSize > 0 && data) std::memcpy(item->ownedData.data(), data, byteSize);
            item->data = item->ownedData.data();
            item->ownsData = true;
        } else {
            item->data = data;
        }
        item->store = store;
        auto slot = store->index.find(path);
        if (slot == store->index.end()) {
            store->index.emplace(item->path, item);
        } else {
            Unlink(store, slot->second);
            delete slot->second;
            slot->second = item;
        }
    } catch (const std::bad_alloc&) {
        delete item;
        SetMemoryError(store);
        return nullptr;
    }
    Append(store, item);
    return item;
}

bool ItemStore_AddItemSizes(ItemStore* store, const std::string& path, const void* data,
                            ItemType type, int dimensionCount, const std::int32_t* sizes) {
    ItemPath split;
    if (!SplitOrFail(store, path, split)) return false;
    return ItemStore_CreateItem(store, split, data, type, dimensionCount, sizes, false) != nullptr;
}

bool ItemStore_AddString(ItemStore* store, const std::string& path, const char* text) {
    ItemPath split;
    if (!SplitOrFail(store, path, split)) return false;
    if (!text) {
        ItemStore_SetError(store, kItemErrorInvalidItem, 0, "Invalid item: no text for '%s'",
                           ItemPath_ForMessage(split).c_str());
        return false;
    }
    std::size_t length = std::strlen(text) + 1;
    if (length > 0x7FFFFFFFu) {
        ItemStore_SetError(store, kItemErrorInvalidItem, 0, "Invalid size: %d (in dimension %d)", -1, 0);
        return false;
    }
    const std::int32_t size = static_cast<std::int32_t>(length);
    return ItemStore_CreateItem(store, split, text, ItemType::String, 1, &size, true) != nullptr;
}

bool ItemStore_AddTime(ItemStore* store, const std::string& path, double seconds) {
    ItemPath split;
    if (!SplitOrFail(store, path, split)) return false;
    return ItemStore_CreateItem(store, split, &seconds, ItemType::Time, 0, nullptr, true) != nullptr;
}

StoreItem* ItemStore_FindItemPath(const ItemStore* store, const ItemPath& path) {
    auto found = store->index.find(path);
    return found == store->index.end() ? nullptr : found->second;
}

StoreItem* ItemStore_FindItem(ItemStore* store, const std::string& path) {
    ItemPath split;
    if (!SplitOrFail(store, path, split)) return nullptr;
    return ItemStore_FindItemPath(store, split);
}

StoreItem* ItemStore_GetCheckedItemSizes(ItemStore* store, const std::string& path, ItemType type,
                                         int dimensionCount, const std::int32_t* sizes) {
    ItemPath split;
    if (!SplitOrFail(store, path, split)) return nullptr;
    const std::string shown = ItemPath_ForMessage(split);
    StoreItem* item = ItemStore_FindItemPath(store, split);
    if (!item) {
        ItemStore_SetError(store, kItemErrorMissingItem, 0, "item '%s' is missing from the file",
                           shown.c_str());
        return nullptr;
    }
    if (type != ItemType::Any && item->type != type) {
        const char* expected = ItemType_Name(type);
        ItemStore_SetError(store, kItemErrorMissingItem, 0,
                           "item '%s' has incorrect type '%s', should be '%s'", shown.c_str(),
                           ItemType_Name(item->type), expected ? expected : "?");
        return nullptr;
    }
    if (dimensionCount == -1) return item;
    if (item->dimensionCount != dimensionCount) {
        ItemStore_SetError(store, kItemErrorMissingItem, 0,
                           "item '%s' has incorrect number of dimensions %d, should be %d",
                           shown.c_str(), item->dimensionCount, dimensionCount);
        return nullptr;
    }
    for (int d = 0; sizes && d < dimensionCount; ++d) {
        if (sizes[d] != -1 && item->sizes[static_cast<std::size_t>(d)] != sizes[d]) {
            ItemStore_SetError(store, kItemErrorMissingItem, 0,
                               "item '%s' has incorrect size %d in dimension %d, should be %d",
                               shown.c_str(), item->sizes[static_cast<std::size_t>(d)], d, sizes[d]);
            return nullptr;
        }
    }
    return item;
}

double ItemStore_GetTime(ItemStore* store, const std::string& path) {
    StoreItem* item = ItemStore_GetCheckedItemSizes(store, path, ItemType::Time, 0, nullptr);
    if (!item || !item->data) return 0.0;
    double seconds;
    std::memcpy(&seconds, item->data, sizeof seconds);
    return seconds;
}

void ItemStore_RemoveItem(ItemStore* store, const ItemPath& path) {
    auto found = store->index.find(path);
    if (found == store->index.end()) return;
    StoreItem* item = found->second;
    store->index.erase(found);
    Unlink(store, item);
    delete item;
}

void ItemStore_ForEach(ItemStore* store, void (*function)(StoreItem* item, void* user), void* user) {
    for (StoreItem* item = store->first; item; item = item->next) function(item, user);
}
