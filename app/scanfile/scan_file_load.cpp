// The load: the file is read and checked whole, then each section fills the
// records it belongs to. A load that fails leaves every output empty and
// hands the surface library nothing.
#include "app/scanfile/scan_file_load.h"

#include "app/files/container_keys.h"
#include "app/files/item_file.h"
#include "app/locale/locale_lookup.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace {

struct LoadOutputs {
    RawData* raw;
    ItemMetadata** metadata;
    ForeignItemList* foreign;
    const SurfacePair* surfaces;
    ScanFitSeam* fit;
    GeneralSettings* settings;
    ViewSettings* view;
    ScanBlocks* blocks;
};

void ClearScan(RawData& raw, ScanBlocks* blocks) {
    RawData_FreeArrays(raw);
    if (blocks) RawData_AttachBlocks(raw, *blocks);
}

void ClearSurfaces(const SurfacePair* surfaces) {
    if (!surfaces) return;
    if (surfaces->basic) Surface_Free(*surfaces->basic);
    if (surfaces->rbf) Surface_Free(*surfaces->rbf);
    if (surfaces->current) *surfaces->current = surfaces->basic;
}

void Prepare(const LoadOutputs& o) {
    if (o.raw) ClearScan(*o.raw, o.blocks);
    if (o.metadata) *o.metadata = nullptr;
    if (o.foreign) o.foreign->items.clear();
    ClearSurfaces(o.surfaces);
    if (o.fit) o.fit->Clear();
    if (o.view) {
        o.view->DisplayType = 2;
        M4_Identity(o.view->ViewMatrix);
        o.view->ViewOrigin = Vec3{0.0f, 0.0f, 0.0f};
        o.view->ZoomFactor = 1.0f;
        o.view->Options = 0;
        M4_Identity(o.view->CoordinateSystem);
    }
}

void Fail(const LoadOutputs& o) {
    if (o.raw) ClearScan(*o.raw, o.blocks);
    if (o.metadata) {
        ItemMeta_Free(*o.metadata);
        *o.metadata = nullptr;
    }
    if (o.foreign) o.foreign->items.clear();
    ClearSurfaces(o.surfaces);
    if (o.fit) o.fit->Clear();
}

std::string StatusText(LoadStatus status) {
    std::string text;
    switch (status) {
        case kLoadBadField:
            return Locale_GetString("ErrorTVNLoadBadField");
        case kLoadSeveralScans:
            return Locale_FormatStringWithText(text, "app", "Tolvaran", "ErrorUpgradeApp");
        default:
            return Locale_GetString("ErrorOutOfMemory");
    }
}

// The time a mesh without a stamp of its own takes: the scan's, or now.
double FallbackTime(ItemStore* store) {
    const double scan = ItemStore_GetTime(store, "Raw/Timestamp");
    return scan > 0.0 ? scan : ItemFile_CurrentTime();
}

LoadStatus LoadSections(LoadState& st, const LoadOutputs& o, int32_t& mode, LoadedFit& fit, bool& handFit) {
    ItemStore* s = st.store;
    LoadStatus status = kLoadOk;
    if (o.raw && (status = Load_Raw(st, *o.raw)) != kLoadOk) return status;
    if (o.metadata && !(*o.metadata = ItemMeta_Read(s))) return kLoadOutOfMemory;
    if (o.view) Load_View(s, *o.view);
    if (o.surfaces) Load_Current(s, *o.surfaces, o.settings, mode);
    if (o.settings) Load_Settings(s, *o.settings);
    const SurfacePair* pair = o.surfaces;
    if (pair && pair->basic && pair->rbf) {
        Load_SurfaceParams(s, *pair, o.settings);
        const double fallback = FallbackTime(s);
        if ((status = Load_Mesh(s, *pair->basic, "Basic", fallback)) != kLoadOk) return status;
        // An RBF surface without a stamp of its own was made from the basic
        // surface saved with it: just after it, or the view would drop it.
        const double rbfFallback = std::nextafter(std::max(fallback, pair->basic->ChangeTime), HUGE_VAL);
        if ((status = Load_Mesh(s, *pair->rbf, "RBF", rbfFallback)) != kLoadOk) return status;
        if (pair->rbf->NumPoints > 0) Load_RbfParams(s, *pair->rbf);
    }
    if (o.raw && (status = Load_Landmarks(s, o.raw->Stylus)) != kLoadOk) return status;
    if (o.foreign && (status = Load_Foreign(s, *o.foreign)) != kLoadOk) return status;
    if (o.raw && (status = Load_ScanPoints(st, *o.raw, o.settings)) != kLoadOk) return status;
    // The stored fit last: its input holds the stylus positions just loaded,
    // and nothing reaches the library unless everything before succeeded.
    handFit = o.fit && pair && pair->basic && pair->basic->NumPoints > 0 && o.fit->LibraryLoaded();
    if (handFit) status = Load_StoredFit(s, *pair->basic, o.raw ? &o.raw->Stylus : nullptr, o.settings, fit);
    return status;
}

void Finish(const LoadState& st, RawData& raw) {
    const int64_t n = static_cast<int64_t>(st.pointStates.size()) < raw.NumPoints
                          ? static_cast<int64_t>(st.pointStates.size())
                          : raw.NumPoints;
    for (int64_t i = 0; i < n; ++i) raw.Points[i].Flags = st.pointStates[static_cast<std::size_t>(i)];
    raw.LoadedFromDisk = 1;
}

void SetText(char* errorText, const std::string& text) {
    std::strncpy(errorText, text.c_str(), kScanFileErrorTextSize - 1);
    errorText[kScanFileErrorTextSize - 1] = '\0';
}

}  // namespace

bool TVNFile_Load(const char* fileName, RawData* raw, ItemMetadata** metadataOut, ForeignItemList* foreignOut,
                  const SurfacePair* surfaces, ScanFitSeam* fitContext, GeneralSettings* settings, ViewSettings* view,
                  ScanBlocks* blocks, char errorText[kScanFileErrorTextSize], int32_t* modeOut) {
    const LoadOutputs outputs{raw, metadataOut, foreignOut, surfaces, fitContext, settings, view, blocks};
    Prepare(outputs);
    LoadState st;
    st.store = ItemStore_Create();
    if (!st.store) {
        SetText(errorText, Locale_GetString("ErrorOutOfMemory"));
        Fail(outputs);
        return false;
    }
    if (!ItemFile_ReadSigned(st.store, fileName, kScanFileSigningKey, kContainerKeyLength)) {
        SetText(errorText, TVNFile_ReportError(st.store, fileName));
        ItemStore_Free(st.store);
        Fail(outputs);
        return false;
    }
    int32_t mode = kScanFileModeScan;
    LoadedFit fit;
    bool handFit = false;
    const LoadStatus status = LoadSections(st, outputs, mode, fit, handFit);
    ItemStore_Free(st.store);
    if (status != kLoadOk) {
        SetText(errorText, StatusText(status));
        Fail(outputs);
        return false;
    }
    if (raw) Finish(st, *raw);
    if (handFit) fitContext->Hand(fit);
    if (modeOut) *modeOut = mode;
    return true;
}
