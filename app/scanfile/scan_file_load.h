// The steps of the scan load, in the order the load runs them. Each returns
// a LoadStatus; anything but kLoadOk ends the load with its message.
#pragma once

#include "app/scanfile/scan_file.h"
#include "app/scanfile/scan_fit_seam.h"

#include <cstdint>
#include <vector>

enum LoadStatus { kLoadOk, kLoadBadField, kLoadOutOfMemory, kLoadSeveralScans };

struct LoadState {
    ItemStore* store = nullptr;
    bool pointsDecoded = false;
    int64_t profilePoints = 0;          // points of all profiles
    int32_t numPointStates = 0;         // M
    std::vector<uint32_t> pointStates;  // the first min(M, profile points) states
};

// Items of the expected shape, else nullptr (a wrong shape counts as missing).
const StoreItem* Load_Item(ItemStore* store, const char* path, ItemType type, int dims, int32_t size0 = -1,
                           int32_t size1 = -1, int32_t size2 = -1);
int32_t Load_Int(ItemStore* store, const char* path, int32_t fallback);
float Load_Float(ItemStore* store, const char* path, float fallback);
bool Load_Matrix(ItemStore* store, const char* path, Matrix4& out);
// A string item's text up to its first zero, at most `limit` characters.
bool Load_Text(ItemStore* store, const char* path, char* out, std::size_t limit);

LoadStatus Load_Raw(LoadState& state, RawData& raw);
void Load_View(ItemStore* store, ViewSettings& view);
void Load_Current(ItemStore* store, const SurfacePair& surfaces, GeneralSettings* settings, int32_t& mode);
void Load_Settings(ItemStore* store, GeneralSettings& settings);
void Load_SurfaceParams(ItemStore* store, const SurfacePair& surfaces, GeneralSettings* settings);
LoadStatus Load_Mesh(ItemStore* store, SurfaceRecord& surface, const char* section, double fallbackTime);
void Load_RbfParams(ItemStore* store, SurfaceRecord& rbf);
LoadStatus Load_Landmarks(ItemStore* store, StylusItemList& list);
LoadStatus Load_Foreign(ItemStore* store, ForeignItemList& list);
LoadStatus Load_ScanPoints(LoadState& state, RawData& raw, const GeneralSettings* settings);
LoadStatus Load_StoredFit(ItemStore* store, const SurfaceRecord& basic, const StylusItemList* stylus,
                          const GeneralSettings* settings, LoadedFit& fit);
