// ItemStore: the in-memory model of a keyed container file: named items, each
// a typed array of any number of dimensions, kept in the order of adding.
//
// Operations report through the store's error record rather than by
// exceptions: each returns success (or an item) and leaves a numbered error
// with a fixed English text in the store on failure. The last error set
// stays until another one replaces it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

enum class ItemType : std::int32_t {
    Any = -1,  // only for ItemStore_GetCheckedItem
    String = 0,
    Raw = 1,
    Int8 = 2,
    UInt8 = 3,
    Int16 = 4,
    UInt16 = 5,
    Int32 = 6,
    UInt32 = 7,
    Int64 = 8,
    UInt64 = 9,
    Float32 = 10,
    Float64 = 11,
    Time = 12,  // float64 seconds since 1970 UTC, milliseconds as fraction
};
constexpr int kItemTypeCount = 13;

bool ItemType_IsValid(ItemType type);
// The word written in a container's index; nullptr for an invalid type.
const char* ItemType_Name(ItemType type);
int ItemType_ElementSize(ItemType type);  // 0 for an invalid type
int ItemType_Alignment(ItemType type);    // 1 for an invalid type

// Error codes of ItemStoreError.
enum ItemStoreErrorCode : std::int32_t {
    kItemErrorNone = 0,
    kItemErrorMemory = 1,
    kItemErrorOpen = 2,
    kItemErrorRead = 3,
    kItemErrorWrite = 4,
    kItemErrorInvalidItem = 5,
    kItemErrorFormat = 6,
    kItemErrorSyntax = 7,
    kItemErrorData = 8,
    kItemErrorMissingItem = 9,
    kItemErrorSignature = 10,
    kItemErrorEncryption = 11,
};

struct ItemStoreError {
    std::int32_t code = 0;
    std::int32_t detail = 0;  // line of a syntax error, else 0
    char text[512] = "No error";
};

// A path split at every "/": at least one component; components may be
// empty and may hold any byte.
using ItemPath = std::vector<std::string>;

ItemPath ItemPath_Split(const std::string& text);
// Joined with "/" and cut to 127 characters, as shown in messages.
std::string ItemPath_ForMessage(const ItemPath& path);

struct ItemFileView;  // item_file.h
struct ItemStore;

struct StoreItem {
    ItemPath path;
    ItemType type = ItemType::Raw;
    std::int32_t dimensionCount = 0;  // 0: a single element
    std::vector<std::int32_t> sizes;
    std::uint32_t byteSize = 0;
    // Elements with the last dimension varying fastest, little-endian.
    const void* data = nullptr;
    bool ownsData = false;             // data lives in ownedData
    std::vector<unsigned char> ownedData;
    ItemFileView* holder = nullptr;    // the read file's bytes that hold data
    bool pending = true;               // entry read, data not placed yet
    ItemStore* store = nullptr;
    StoreItem* previous = nullptr;
    StoreItem* next = nullptr;

    StoreItem() = default;
    StoreItem(const StoreItem&) = delete;
    StoreItem& operator=(const StoreItem&) = delete;
    ~StoreItem();

    template <class T>
    const T* As() const { return static_cast<const T*>(data); }
};

struct ItemPathHash {
    std::size_t operator()(const ItemPath& path) const;
};

struct ItemStore {
    std::int32_t versionMajor = 2;
    std::int32_t versionMinor = 0;
    std::int32_t dataForm = 0;
    std::optional<std::string> comment;
    std::unordered_map<ItemPath, StoreItem*, ItemPathHash> index;
    StoreItem* first = nullptr;
    StoreItem* last = nullptr;
    ItemStoreError error;

    ItemStore() = default;
    ItemStore(const ItemStore&) = delete;
    ItemStore& operator=(const ItemStore&) = delete;
    ~ItemStore();
};

ItemStore* ItemStore_Create();  // nullptr when memory runs out
void ItemStore_Free(ItemStore* store);  // accepts nullptr

// Adds an item that REFERENCES `data` (nothing is copied): the caller keeps
// it alive until the store has been written or freed. `sizes` holds
// `dimensionCount` entries.
bool ItemStore_AddItemSizes(ItemStore* store, const std::string& path, const void* data,
                            ItemType type, int dimensionCount, const std::int32_t* sizes);

// The same with one size argument per dimension:
// ItemStore_AddItem(store, "Raw/Points", points, ItemType::Float32, 2, count, 3).
template <class... Sizes>
bool ItemStore_AddItem(ItemStore* store, const std::string& path, const void* data,
                       ItemType type, int dimensionCount, Sizes... sizes);

// A "string" item of the text with its terminating zero (copied).
bool ItemStore_AddString(ItemStore* store, const std::string& path, const char* text);
// A "time" item with no dimensions (copied).
bool ItemStore_AddTime(ItemStore* store, const std::string& path, double seconds);

// The shape check of the creation step alone: the byte size of an item of
// that path, type and sizes, or false with the error the creation would set.
bool ItemStore_CheckShape(ItemStore* store, const ItemPath& path, ItemType type, int dimensionCount,
                          const std::int32_t* sizes, std::uint32_t& byteSize);

// The common creation step: checks the shape, copies the data when `copy`
// is set (else keeps the pointer), replaces any item of the same path and
// appends the new one to the item order. nullptr with the error set.
StoreItem* ItemStore_CreateItem(ItemStore* store, const ItemPath& path, const void* data,
                                ItemType type, int dimensionCount, const std::int32_t* sizes,
                                bool copy);

StoreItem* ItemStore_FindItem(ItemStore* store, const std::string& path);
StoreItem* ItemStore_FindItemPath(const ItemStore* store, const ItemPath& path);

// The item when it exists and has the shape; ItemType::Any and -1 for the
// number of dimensions or a size accept any value. Sizes are given and
// checked only when dimensionCount is 1 or more. nullptr with error 9.
StoreItem* ItemStore_GetCheckedItemSizes(ItemStore* store, const std::string& path, ItemType type,
                                         int dimensionCount, const std::int32_t* sizes);
template <class... Sizes>
StoreItem* ItemStore_GetCheckedItem(ItemStore* store, const std::string& path, ItemType type,
                                    int dimensionCount, Sizes... sizes);

// The value of a "time" item with no dimensions, else 0.0 (error 9 set).
double ItemStore_GetTime(ItemStore* store, const std::string& path);

void ItemStore_RemoveItem(ItemStore* store, const ItemPath& path);

// Calls `function` for each item in item order. The function must not add
// or remove items.
void ItemStore_ForEach(ItemStore* store, void (*function)(StoreItem* item, void* user), void* user);

void ItemStore_SetError(ItemStore* store, int code, int detail, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;
// The error record when its code is above 0, else nullptr.
const ItemStoreError* ItemStore_GetError(const ItemStore* store);

void ItemStore_SetDataForm(ItemStore* store, int value);
// The text of the "[comment]" section; nullptr for none.
bool ItemStore_SetComment(ItemStore* store, const char* comment);

template <class... Sizes>
bool ItemStore_AddItem(ItemStore* store, const std::string& path, const void* data,
                       ItemType type, int dimensionCount, Sizes... sizes) {
    const std::int32_t list[] = {static_cast<std::int32_t>(sizes)..., 0};
    if (dimensionCount != static_cast<int>(sizeof...(Sizes))) {
        ItemStore_SetError(store, kItemErrorInvalidItem, 0, "Invalid number of dimensions: %d",
                           dimensionCount);
        return false;
    }
    return ItemStore_AddItemSizes(store, path, data, type, dimensionCount, list);
}

template <class... Sizes>
StoreItem* ItemStore_GetCheckedItem(ItemStore* store, const std::string& path, ItemType type,
                                    int dimensionCount, Sizes... sizes) {
    const std::int32_t list[] = {static_cast<std::int32_t>(sizes)..., 0};
    // Without sizes the number of dimensions is still checked.
    const std::int32_t* given = sizeof...(Sizes) == 0 ? nullptr : list;
    if (given && dimensionCount != static_cast<int>(sizeof...(Sizes))) {
        ItemStore_SetError(store, kItemErrorInvalidItem, 0, "Invalid number of dimensions: %d",
                           dimensionCount);
        return nullptr;
    }
    return ItemStore_GetCheckedItemSizes(store, path, type, dimensionCount, given);
}
