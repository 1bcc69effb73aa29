// The scan's facets for the file: strip-coded, and trusted only after the
// coded form decoded back to the same facets.
#include "app/scanfile/facet_coder.h"
#include "app/scanfile/field_coders.h"
#include "app/scanfile/scan_file_memory.h"

#include "app/locale/locale_lookup.h"
#include "app/base/app_messages.h"

#include <cstdlib>

namespace {

std::function<void(Facet*, int32_t)>& CheckHook() {
    static std::function<void(Facet*, int32_t)> hook;
    return hook;
}

Facet* GrowTemporary(Facet* old, int32_t capacity, void*) {
    return static_cast<Facet*>(ScanFile_Realloc(old, std::size_t(capacity) * sizeof(Facet)));
}

bool Degenerate(const Facet& f) { return f.v[0] == f.v[1] || f.v[1] == f.v[2] || f.v[0] == f.v[2]; }

// The same corners in the same order, possibly turned, never reversed.
bool SameTurned(const Facet& a, const Facet& b) {
    for (int t = 0; t < 3; ++t)
        if (a.v[0] == b.v[t] && a.v[1] == b.v[(t + 1) % 3] && a.v[2] == b.v[(t + 2) % 3]) return true;
    return false;
}

bool DecodedMatches(const Facet* facets, int32_t count, const Facet* decoded, int32_t decodedCount) {
    int32_t k = 0;
    for (int32_t f = 0; f < count; ++f) {
        if (Degenerate(facets[f])) continue;
        if (k >= decodedCount || !SameTurned(facets[f], decoded[k])) return false;
        ++k;
    }
    return k == decodedCount;
}

}  // namespace

void TVNFile_SetFacetCheckHookForTesting(std::function<void(Facet*, int32_t)> hook) { CheckHook() = std::move(hook); }

bool TVNFile_PackFacetsV1(ItemStore* store, const RawData& scan, SaveBuffers& buffers) {
    uint8_t* bytes = nullptr;
    int32_t byteCount = 0;
    if (!FacetCoder_Compress(scan, &bytes, &byteCount)) {
        buffers.outOfMemory = true;
        return false;
    }
    try {
        buffers.blocks.push_back(bytes);
    } catch (const std::bad_alloc&) {
        std::free(bytes);
        buffers.outOfMemory = true;
        return false;
    }

    Facet* decoded = nullptr;
    int32_t decodedCount = 0, capacity = 0;
    const int ok = FacetCoder_Decompress(bytes, byteCount, GrowTemporary, nullptr, &decoded, &decodedCount, &capacity);
    if (!ok && decodedCount >= capacity) {  // the temporary array could not grow
        std::free(decoded);
        buffers.outOfMemory = true;
        return false;
    }
    if (CheckHook()) CheckHook()(decoded, decodedCount);
    const int32_t count = ScanFile_FacetsInForce(scan);
    const bool matches = ok && DecodedMatches(scan.Facets, count, decoded, decodedCount);
    std::free(decoded);
    if (matches) return ItemStore_AddItem(store, "Raw/CompressedRawFacetsV1", bytes, ItemType::UInt8, 1, byteCount);

    AppMessage message;
    message.kind = MessageKind::Error;
    message.textKey = "ErrorTVNCompressionFailed";
    message.titleKey = "StandardDialogErrorTitle";
    message.ownerless = true;
    message.text = Locale_GetString("ErrorTVNCompressionFailed");
    App_ShowMessage(message);
    return ItemStore_AddItem(store, "Raw/FacetsV1", scan.Facets, ItemType::Int32, 2, count, 3);
}
