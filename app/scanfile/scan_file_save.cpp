// The save: every section into one store, then one signed write. A section
// that could not be built ends the save before anything is written, so the
// file on disk is never replaced by one missing edit levels, landmarks or
// surfaces.
#include "app/scanfile/scan_file.h"
#include "app/scanfile/scan_file_writer.h"

#include "app/files/container_keys.h"
#include "app/files/item_file.h"
#include "app/locale/locale_lookup.h"

#include <cstring>
#include <string>

namespace {

void SetText(char* errorText, const std::string& text) {
    std::strncpy(errorText, text.c_str(), kScanFileErrorTextSize - 1);
    errorText[kScanFileErrorTextSize - 1] = '\0';
}

bool AddForeign(ItemStore* store, const ForeignItemList* foreign) {
    if (!foreign) return true;
    for (const ForeignItem& item : foreign->items)
        if (!ItemStore_CreateItem(store, item.path, item.data.get(), item.type, item.dimensionCount, item.sizes.data(),
                                  false))
            return false;
    return true;
}

bool BuildSections(ScanFileWriter& w, const SurfacePair& surfaces, bool basicShifts, bool rbfShifts, const RawData* raw,
                   const GeneralSettings* settings, const ScanFileSaveContext& context) {
    const SurfaceRecord* current = surfaces.current ? *surfaces.current : nullptr;
    const bool surfaceMode = context.mode == kScanFileModeSurface;
    int32_t basicCurrent = surfaceMode && current && current == surfaces.basic;
    int32_t rbfCurrent = surfaceMode && current && current == surfaces.rbf;
    static const int32_t kOne = 1;
    if (!ItemStore_AddItem(w.store, "TVN/ReleaseNumber", &kOne, ItemType::Int32, 0) ||
        !ItemStore_AddItem(w.store, "TVN/ReleaseNumberOne", &kOne, ItemType::Int32, 0))
        return false;
    if (context.history) ItemMeta_Write(w.store, context.history);
    if (!TVNFile_Raw_Save(w, raw, context.mode == kScanFileModeScan ? 1 : 0)) return false;
    if (surfaces.basic && !TVNFile_Basic_Save(w, *surfaces.basic, settings, &basicCurrent)) return false;
    if (surfaces.rbf && !TVNFile2_Rbf_Save(w, *surfaces.rbf, &rbfCurrent)) return false;
    if (settings && !TVNFile_Settings_Save(w, *settings)) return false;
    if (context.view && !TVNFile_View_Save(w, *context.view)) return false;
    if (raw && !TVNFile_Landmarks_Save(w, raw->Stylus, basicShifts, rbfShifts)) return false;
    return AddForeign(w.store, context.foreign);
}

}  // namespace

bool TVNFile_Save(const SurfacePair& surfaces, const char* fileName, bool basicShifts, bool rbfShifts, RawData* raw,
                  const GeneralSettings* settings, const ScanFileSaveContext& context,
                  char errorText[kScanFileErrorTextSize]) {
    ItemStore* store = ItemStore_Create();
    if (!store) return false;
    store->dataForm = 0;
    bool saved = false;
    {
        SaveBuffers buffers;
        ScanFileWriter w{store, buffers};
        const bool built = BuildSections(w, surfaces, basicShifts, rbfShifts, raw, settings, context);
        if (buffers.outOfMemory || (!built && !ItemStore_GetError(store))) {
            SetText(errorText, Locale_GetString("ErrorOutOfMemory"));
        } else if (!built || ItemStore_GetError(store)) {
            SetText(errorText,
                    std::string(Locale_GetString("ErrorTVNSaveUnknown")) + TVNFile_ReportError(store, fileName));
        } else if (!ItemFile_WriteSigned(store, fileName, kScanFileSigningKey, kContainerKeyLength)) {
            SetText(errorText, TVNFile_ReportError(store, fileName));
        } else {
            saved = true;
        }
        ItemStore_Free(store);  // before the buffers its items reference
    }
    if (!saved) return false;
    if (raw) {
        raw->ProcessedChanged = 0;
        raw->Edited = 0;
        raw->Header.FileRelease = 1;
    }
    if (surfaces.basic && surfaces.basic->NumPoints > 0) surfaces.basic->Saved = 1;
    if (surfaces.rbf && surfaces.rbf->NumPoints > 0) surfaces.rbf->Saved = 1;
    return true;
}
