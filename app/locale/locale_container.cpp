// The locale container: a keyed container file, signed with the locale
// signing key and encrypted with the locale key, whose item
// "LocaleFile/Data" holds the locale text.
#include "app/locale/locale_loader.h"

#include "app/files/container_keys.h"
#include "app/files/item_file.h"
#include "app/files/item_store.h"

#include <new>

namespace {

struct StoreOwner {
    ItemStore* store = ItemStore_Create();
    ~StoreOwner() { ItemStore_Free(store); }
};

}  // namespace

bool Locale_ReadContainer(const std::string& path, std::vector<char>& data) {
    data.clear();
    StoreOwner owner;
    if (!owner.store)
        return false;
    if (!ItemFile_Read(owner.store, path, false, kLocaleSigningKey, kContainerKeyLength,
                       kLocaleDecryptionKey, kContainerKeyLength) ||
        ItemStore_GetError(owner.store))
        return false;
    // A container without the text is read all the same: an empty locale.
    StoreItem* item = ItemStore_FindItem(owner.store, "LocaleFile/Data");
    if (!item || item->type != ItemType::UInt8 || item->dimensionCount != 1 || item->sizes.empty())
        return true;
    std::size_t length = static_cast<std::size_t>(item->sizes[0]);
    if (length > kLocaleMaxSourceSize)
        return false;
    try {
        const char* bytes = static_cast<const char*>(item->data);
        data.assign(bytes, bytes + length);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}
