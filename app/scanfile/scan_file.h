// The scan file (".tvn"): one scan with its surfaces, build settings, view
// and landmarks as named items of a signed version-2.0 keyed container, with
// the container's edit history and the items of other programs carried
// along. `TVNFile_Save` writes it; `TVNFile_Load` reads it, or a file of an
// earlier release, into whichever records the caller passes.
#pragma once

#include "app/files/container_metadata.h"
#include "app/files/item_store.h"
#include "app/scan/settings_records.h"
#include "app/scan/raw_data.h"
#include "app/scan/surface_record.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

constexpr int kScanFileErrorTextSize = 1024;

// Application modes the file cares about.
constexpr int32_t kScanFileModeScan = 1;
constexpr int32_t kScanFileModeSurface = 2;

// An item of an opened file that belongs to none of the program's sections,
// kept while the scan is open and written back unchanged.
struct ForeignItem {
    ItemPath path;
    ItemType type = ItemType::Raw;
    int32_t dimensionCount = 0;
    std::vector<int32_t> sizes;
    uint32_t byteSize = 0;
    std::unique_ptr<unsigned char, void (*)(void*)> data{nullptr, std::free};
};

struct ForeignItemList {
    std::vector<ForeignItem> items;
};

// The two surfaces and the one shown in surface mode.
struct SurfacePair {
    SurfaceRecord* basic = nullptr;
    SurfaceRecord* rbf = nullptr;
    SurfaceRecord** current = nullptr;
};

// True for the program's own sections: first component "TVN", "Raw",
// "Basic", "RBF", "Landmarks", "View", "Tolvaran", "Icon" or "__meta__", or
// "VKT" followed by "RMS" or "Transforms".
bool TVNFile_IsKnownSection(const ItemPath& path);

// The message for the store's error code.
std::string TVNFile_ReportError(const ItemStore* store, const char* fileName);

// What the save reads besides the scan, owned by the scan document.
struct ScanFileSaveContext {
    int32_t mode = 0;                          // the application mode
    const ViewSettings* view = nullptr;        // the live view settings
    const ItemMetadata* history = nullptr;     // the edit history, none for a new scan
    const ForeignItemList* foreign = nullptr;  // the items carried from the opened file
};

// Writes the file. True when it was written with every section complete;
// false with the message in errorText (untouched when the store itself
// could not be made). Nothing is written unless every section was built:
// the file on disk is never replaced by an incomplete one.
bool TVNFile_Save(const SurfacePair& surfaces, const char* fileName, bool basicShifts, bool rbfShifts, RawData* raw,
                  const GeneralSettings* settings, const ScanFileSaveContext& context,
                  char errorText[kScanFileErrorTextSize]);

// The section writers, in the order of the save.
struct SaveBuffers;
struct ScanFileWriter;
bool TVNFile_Raw_Save(ScanFileWriter& w, const RawData* raw, int32_t current);
bool TVNFile_Basic_Save(ScanFileWriter& w, const SurfaceRecord& surface, const GeneralSettings* settings,
                        int32_t* current);
bool TVNFile2_Rbf_Save(ScanFileWriter& w, const SurfaceRecord& surface, int32_t* current);
bool TVNFile_Settings_Save(ScanFileWriter& w, const GeneralSettings& settings);
bool TVNFile_View_Save(ScanFileWriter& w, const ViewSettings& view);
bool TVNFile_Landmarks_Save(ScanFileWriter& w, const StylusItemList& list, bool basicShifts, bool rbfShifts);

// Reads the file into the records given (any of them may be null; a null
// output is neither cleared nor filled). The scan record is freed first and
// gets `blocks` attached; the edit-history holder gets a new record; the
// foreign list is replaced. On failure every output is left empty, the
// library is handed nothing, and errorText holds the message.
class ScanFitSeam;
bool TVNFile_Load(const char* fileName, RawData* raw, ItemMetadata** metadataOut, ForeignItemList* foreignOut,
                  const SurfacePair* surfaces, ScanFitSeam* fitContext, GeneralSettings* settings, ViewSettings* view,
                  ScanBlocks* blocks, char errorText[kScanFileErrorTextSize], int32_t* modeOut);
