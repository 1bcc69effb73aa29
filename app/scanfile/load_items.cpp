#include "app/scanfile/scan_file_load.h"

#include <cstring>

const StoreItem* Load_Item(ItemStore* store, const char* path, ItemType type, int dims, int32_t size0, int32_t size1,
                           int32_t size2) {
    const int32_t sizes[3] = {size0, size1, size2};
    const StoreItem* item = ItemStore_GetCheckedItemSizes(store, path, type, dims, dims > 0 ? sizes : nullptr);
    if (!item || (item->byteSize > 0 && !item->data)) return nullptr;
    return item;
}

int32_t Load_Int(ItemStore* store, const char* path, int32_t fallback) {
    const StoreItem* item = Load_Item(store, path, ItemType::Int32, 0);
    if (!item) return fallback;
    int32_t value;
    std::memcpy(&value, item->data, sizeof value);
    return value;
}

float Load_Float(ItemStore* store, const char* path, float fallback) {
    const StoreItem* item = Load_Item(store, path, ItemType::Float32, 0);
    if (!item) return fallback;
    float value;
    std::memcpy(&value, item->data, sizeof value);
    return value;
}

bool Load_Matrix(ItemStore* store, const char* path, Matrix4& out) {
    const StoreItem* item = Load_Item(store, path, ItemType::Float32, 2, 4, 4);
    if (!item) return false;
    std::memcpy(&out, item->data, sizeof out);
    return true;
}

bool Load_Text(ItemStore* store, const char* path, char* out, std::size_t limit) {
    const StoreItem* item = Load_Item(store, path, ItemType::String, -1);
    if (!item) return false;
    const auto* text = static_cast<const char*>(item->data);
    std::size_t n = 0;
    while (n < item->byteSize && n < limit && text[n] != '\0') ++n;
    if (n) std::memcpy(out, text, n);
    out[n] = '\0';
    return true;
}
