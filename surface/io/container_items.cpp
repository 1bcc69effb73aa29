// Items of a container index: building, finding, shapes and sizes.
#include <cstring>
#include <limits>

#include "surface/frame/record_memory.h"
#include "surface/io/container.h"
#include "surface/io/container_scanner.h"

namespace {

constexpr int64_t kSaturated = std::numeric_limits<int64_t>::max();

char* CopyName(const char* text, std::size_t length) {
    auto* name = static_cast<char*>(Record_Alloc(static_cast<int64_t>(length) + 1, 1));
    if (name == nullptr) return nullptr;
    std::memcpy(name, text, length);
    name[length] = '\0';
    return name;
}

int SetItem(ContainerItem* item, int32_t kind, const char* name, int32_t dimensionCount, const int32_t* dimensions,
            void* data) {
    if (item == nullptr || name == nullptr || dimensionCount < 0) return 0;
    char* copy = CopyName(name, std::strlen(name));
    auto* dims = static_cast<int32_t*>(Record_Alloc(dimensionCount, sizeof(int32_t)));
    if (copy == nullptr || dims == nullptr) {
        Record_Free(copy);
        Record_Free(dims);
        return 0;
    }
    if (dimensionCount > 0) std::memcpy(dims, dimensions, sizeof(int32_t) * dimensionCount);
    Record_Free(item->name);
    Record_Free(item->dimensions);
    item->name = copy;
    item->dimensionCount = dimensionCount;
    item->dimensions = dims;
    item->kind = kind;
    item->data = data;
    return 1;
}

int64_t LineBytes(const ContainerItem& item) {
    // name, blank, kind word, " %u" per size, ";" and the line feed
    int64_t bytes = static_cast<int64_t>(item.name != nullptr ? std::strlen(item.name) : 0) + 3;
    const char* word = ContainerKind_Name(item.kind);
    bytes += word != nullptr ? static_cast<int64_t>(std::strlen(word)) : 0;
    for (int32_t d = 0; d < item.dimensionCount; ++d) {
        bytes += 2;
        for (int32_t v = item.dimensions[d]; v >= 10; v /= 10) ++bytes;
    }
    return bytes;
}

}  // namespace

void Container_ResetIndex(ContainerIndex* index) {
    if (index == nullptr) return;
    std::memset(index, 0, sizeof *index);
    index->encoding = ContainerEncoding_Reset;
}

void Container_FreeIndex(ContainerIndex* index) {
    if (index == nullptr) return;
    ContainerScanner_Free(index->scanner);
    index->scanner = nullptr;
}

void Container_FreeItems(ContainerIndex* index) {
    if (index == nullptr) return;
    Container_FreeIndex(index);
    for (int32_t i = 0; i < index->itemCount; ++i) {
        Record_Free(index->items[i].name);
        Record_Free(index->items[i].dimensions);
    }
    Record_Free(index->items);
    Container_ResetIndex(index);
}

ContainerItem* Container_FindItem(const ContainerIndex* index, const char* name) {
    if (index == nullptr || name == nullptr) return nullptr;
    for (int32_t i = 0; i < index->itemCount; ++i)
        if (index->items[i].name != nullptr && std::strcmp(index->items[i].name, name) == 0) return &index->items[i];
    return nullptr;
}

int ContainerIndex_Reserve(ContainerIndex* index, int32_t count) {
    if (index == nullptr || count < 0) return 0;
    const int64_t wanted = static_cast<int64_t>(index->itemCount) + count;
    if (wanted <= index->itemCapacity) return 1;
    if (wanted > std::numeric_limits<int32_t>::max()) return 0;
    auto* items = static_cast<ContainerItem*>(Record_Realloc(index->items, wanted, sizeof(ContainerItem)));
    if (items == nullptr) return 0;
    index->items = items;
    index->itemCapacity = static_cast<int32_t>(wanted);
    return 1;
}

int ContainerIndex_AddItem(ContainerIndex* index, const char* text, std::size_t length) {
    if (index == nullptr) return 0;
    if (index->itemCount == index->itemCapacity) {
        const int32_t more = index->itemCapacity < 8 ? 8 : index->itemCapacity / 2;
        if (!ContainerIndex_Reserve(index, more)) return 0;
    }
    char* name = CopyName(text, length);
    if (name == nullptr) return 0;
    ContainerItem& item = index->items[index->itemCount++];
    item.name = name;
    item.dimensionCount = 0;
    item.dimensions = nullptr;
    item.kind = ContainerKind_None;
    item.data = nullptr;
    return 1;
}

int ContainerIndex_AddDim(ContainerIndex* index, const char* text, std::size_t length) {
    if (index == nullptr || index->itemCount == 0) return 0;
    // Saturating: a forged size must not wrap to a small one.
    int64_t value = 0;
    for (std::size_t i = 0; i < length; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > std::numeric_limits<int32_t>::max()) return -1;
    }
    ContainerItem& item = index->items[index->itemCount - 1];
    auto* dims = static_cast<int32_t*>(Record_Realloc(item.dimensions, item.dimensionCount + 1, sizeof(int32_t)));
    if (dims == nullptr) return 0;
    dims[item.dimensionCount++] = static_cast<int32_t>(value);
    item.dimensions = dims;
    return 1;
}

ContainerItem* ContainerIndex_AddShaped(ContainerIndex* index, const char* name, int32_t kind, int32_t dimensionCount,
                                        const int32_t* dimensions, void* data) {
    if (index == nullptr || name == nullptr) return nullptr;
    if (!ContainerIndex_AddItem(index, "", 0)) return nullptr;
    ContainerItem* item = &index->items[index->itemCount - 1];
    if (!SetItem(item, kind, name, dimensionCount, dimensions, data)) {
        Record_Free(item->name);
        --index->itemCount;
        return nullptr;
    }
    return item;
}

int ContainerItem_SetBoolean(ContainerItem* item, const char* name, int32_t dimensionCount, const int32_t* dimensions,
                             void* data) {
    return SetItem(item, ContainerKind_Boolean, name, dimensionCount, dimensions, data);
}

int ContainerItem_SetInteger(ContainerItem* item, const char* name, int32_t dimensionCount, const int32_t* dimensions,
                             void* data) {
    return SetItem(item, ContainerKind_Integer, name, dimensionCount, dimensions, data);
}

int ContainerItem_SetDouble(ContainerItem* item, const char* name, int32_t dimensionCount, const int32_t* dimensions,
                            void* data) {
    return SetItem(item, ContainerKind_Double, name, dimensionCount, dimensions, data);
}

int ContainerItem_SetCharacter(ContainerItem* item, const char* name, int32_t dimensionCount, const int32_t* dimensions,
                               void* data) {
    return SetItem(item, ContainerKind_Character, name, dimensionCount, dimensions, data);
}

bool ContainerItem_CheckShape(const ContainerItem* item, int32_t dimensionCount, const int32_t* dimensions,
                              int32_t kind) {
    if (item == nullptr) return true;
    if (kind >= 0 && item->kind != kind) return false;
    if (dimensionCount < 0) return true;
    if (item->dimensionCount != dimensionCount) return false;
    for (int32_t d = 0; d < dimensionCount; ++d)
        if (dimensions != nullptr && dimensions[d] >= 0 && item->dimensions[d] != dimensions[d]) return false;
    return true;
}

int64_t ContainerItem_Elements(const ContainerItem* item) {
    if (item == nullptr) return 0;
    int64_t count = 1;
    for (int32_t d = 0; d < item->dimensionCount; ++d) {
        const int64_t size = item->dimensions[d];
        if (size <= 0) return 0;
        count = count > kSaturated / size ? kSaturated : count * size;
    }
    return count;
}

int64_t ContainerItem_Bytes(const ContainerItem* item) {
    const int64_t count = ContainerItem_Elements(item);
    const int64_t width = item != nullptr ? ContainerKind_BinarySize(item->kind) : 0;
    if (width == 0) return 0;
    return count > kSaturated / width ? kSaturated : count * width;
}

int32_t ContainerKind_BinarySize(int32_t kind) {
    static const int32_t kSizes[] = {1, 4, 8, 1};
    return kind >= 0 && kind < 4 ? kSizes[kind] : 0;
}

int32_t ContainerKind_AsciiSize(int32_t kind) {
    static const int32_t kSizes[] = {6, 8, 23, 1};
    return kind >= 0 && kind < 4 ? kSizes[kind] : 0;
}

int32_t ContainerKind_Size(int32_t encoding, int32_t kind) {
    if (encoding == ContainerEncoding_Ascii) return ContainerKind_AsciiSize(kind);
    if (encoding == ContainerEncoding_Binary) return ContainerKind_BinarySize(kind);
    return 0;
}

const char* ContainerKind_Name(int32_t kind) {
    static const char* const kNames[] = {"Boolean", "Integer", "Double", "Character"};
    return kind >= 0 && kind < 4 ? kNames[kind] : nullptr;
}

int64_t Container_IndexBytes(const ContainerIndex* index) {
    if (index == nullptr) return 0;
    int64_t bytes = 20 + 1;  // the header, then the empty line after the index
    if (index->comment != nullptr) bytes += static_cast<int64_t>(std::strlen(index->comment)) + 12;
    for (int32_t i = 0; i < index->itemCount; ++i) bytes += LineBytes(index->items[i]);
    return bytes;
}

int64_t Container_DataBytes(const ContainerIndex* index) {
    if (index == nullptr) return 0;
    int64_t bytes = index->encoding == ContainerEncoding_Binary ? 20 : 8;
    for (int32_t i = 0; i < index->itemCount; ++i) {
        const int64_t count = ContainerItem_Elements(&index->items[i]);
        const int64_t width = ContainerKind_Size(index->encoding, index->items[i].kind);
        const int64_t item = width != 0 && count > kSaturated / width ? kSaturated : count * width;
        bytes = bytes > kSaturated - item ? kSaturated : bytes + item;
    }
    return bytes;
}

int32_t Container_Bytes(const ContainerIndex* index) {
    if (index == nullptr) return -1;
    const int64_t data = Container_DataBytes(index);
    const int64_t total = data > kSaturated - 1000000 ? kSaturated : Container_IndexBytes(index) + data;
    return total > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                       : static_cast<int32_t>(total);
}
