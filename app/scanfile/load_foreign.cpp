// Items of other programs, copied out of the file so that the next save
// writes them back unchanged.
#include "app/scanfile/scan_file_load.h"
#include "app/scanfile/scan_file_memory.h"

#include <cstring>

LoadStatus Load_Foreign(ItemStore* s, ForeignItemList& list) {
    try {
        std::size_t count = 0;
        for (const StoreItem* item = s->first; item; item = item->next) count += !TVNFile_IsKnownSection(item->path);
        list.items.reserve(count);
        for (const StoreItem* item = s->first; item; item = item->next) {
            if (TVNFile_IsKnownSection(item->path)) continue;
            ForeignItem copy;
            copy.path = item->path;
            copy.type = item->type;
            copy.dimensionCount = item->dimensionCount;
            copy.sizes = item->sizes;
            copy.byteSize = item->byteSize;
            copy.data.reset(static_cast<unsigned char*>(ScanFile_Malloc(item->byteSize)));
            if (!copy.data) return kLoadOutOfMemory;
            if (item->byteSize) std::memcpy(copy.data.get(), item->data, item->byteSize);
            list.items.push_back(std::move(copy));
        }
        return kLoadOk;
    } catch (const std::bad_alloc&) {
        return kLoadOutOfMemory;
    }
}
