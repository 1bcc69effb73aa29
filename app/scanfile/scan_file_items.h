#pragma once
// The items of a saved scan file, for comparing two saves of one scan (the
// scan file's tests and the run probe's save-and-reopen road).
#include "app/files/container_keys.h"
#include "app/files/item_file.h"
#include "app/scanfile/scan_file.h"

#include <map>
#include <string>

// Every item of a saved scan but its edit history, by path: type, sizes and
// bytes. Empty when the file cannot be read.
inline std::map<std::string, std::string> SectionItems(const std::string& path) {
    std::map<std::string, std::string> items;
    ItemStore* store = ItemStore_Create();
    if (store && ItemFile_ReadSigned(store, path, kScanFileSigningKey, kContainerKeyLength)) {
        for (StoreItem* item = store->first; item; item = item->next) {
            const std::string name = ItemPath_ForMessage(item->path);
            if (name.rfind("__meta__", 0) == 0) continue;
            std::string bytes = std::to_string(static_cast<int>(item->type));
            for (int32_t size : item->sizes) bytes += ":" + std::to_string(size);
            bytes += "|" + std::string(static_cast<const char*>(item->data), item->byteSize);
            items[name] = bytes;
        }
    }
    ItemStore_Free(store);
    return items;
}
