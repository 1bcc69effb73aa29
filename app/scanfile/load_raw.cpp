// The Raw section of a load. Every count read from the file is checked
// against the items that carry its data before anything is sized by it, and
// every profile length against the 576 points processing can hold.
#include "app/scanfile/field_coders.h"
#include "app/scanfile/scan_file_load.h"
#include "app/scanfile/scan_file_memory.h"

#include <cstring>

namespace {

template <class T>
T* Zeroed(int64_t count) {
    const auto bytes = static_cast<std::size_t>(count > 0 ? count : 1) * sizeof(T);
    void* block = ScanFile_Malloc(bytes);
    if (block) std::memset(block, 0, bytes);
    return static_cast<T*>(block);
}

void LoadHeader(ItemStore* s, ScanHeader& h) {
    char version[8];
    if (Load_Text(s, "Raw/TolvaranExeVersion", version, 7))
        std::memcpy(h.ProgramVersion, version, sizeof version);
    else
        std::strcpy(h.ProgramVersion, "Unknown Version");
    h.DriverVersion = Load_Int(s, "Raw/OmbrixSysVersion", -1);
    h.WandSerialNumber = Load_Int(s, "Raw/WandSerialNumber", -1);
    h.VideoProcessorRevision = Load_Int(s, "Raw/VideoProcessorRevision", -1);
    h.FileRelease = Load_Int(s, "TVN/ReleaseNumber", 0);
    if (!Load_Matrix(s, "Raw/WandRxOffsetMatrix", h.WandReceiverOffset))
        M4_MakeTranslation(Vec3{-120.0f, 0.0f, -10.0f}, h.WandReceiverOffset);
}

// The exact size of the coded points for these profile lengths.
int64_t CodedSize(const int32_t* lengths, int32_t profiles, int32_t boxBytes) {
    int64_t bytes = 0;
    for (int32_t p = 0; p < profiles; ++p)
        bytes += lengths[p] <= 3 ? 12 * int64_t(lengths[p]) : boxBytes + 6 * int64_t(lengths[p]);
    return bytes;
}

struct Shape {
    int32_t sweeps = 0, profiles = 0;
    const int32_t* sweepLengths = nullptr;
    const int32_t* profileLengths = nullptr;
    const StoreItem* points = nullptr;
    bool pointsV2 = false;
    const Matrix4* wand = nullptr;
    const Matrix4* reference = nullptr;
};

// The counts and the items that carry them, all checked before any of them
// sizes an allocation.
LoadStatus ReadShape(LoadState& st, Shape& shape) {
    ItemStore* s = st.store;
    const StoreItem* scanLengths = ItemStore_FindItem(s, "Raw/ScanLengths");
    if (!scanLengths) return kLoadOk;  // no scan: an empty one
    if (scanLengths->type != ItemType::Int32) return kLoadBadField;
    if (scanLengths->dimensionCount != 1 || scanLengths->sizes[0] != 1) return kLoadSeveralScans;
    std::memcpy(&shape.sweeps, scanLengths->data, 4);
    if (shape.sweeps < 0) return kLoadBadField;
    if (shape.sweeps > 0) {
        const StoreItem* item = Load_Item(s, "Raw/SweepLengths", ItemType::Int32, 1, shape.sweeps);
        if (!item) return kLoadBadField;
        shape.sweepLengths = item->As<int32_t>();
    }
    int64_t profiles = 0;
    for (int32_t k = 0; k < shape.sweeps; ++k) {
        if (shape.sweepLengths[k] < 0) return kLoadBadField;
        profiles += shape.sweepLengths[k];
        if (profiles > INT32_MAX / int32_t(sizeof(Profile))) return kLoadBadField;
    }
    shape.profiles = static_cast<int32_t>(profiles);
    if (shape.profiles > 0) {
        const StoreItem* lengths = Load_Item(s, "Raw/ProfileLengths", ItemType::Int32, 1, shape.profiles);
        const StoreItem* wand = Load_Item(s, "Raw/WandRxMatrices", ItemType::Float32, 3, shape.profiles, 4, 4);
        const StoreItem* reference =
            Load_Item(s, "Raw/RawReferenceRxMatrices", ItemType::Float32, 3, shape.profiles, 4, 4);
        if (!lengths || !wand || !reference) return kLoadBadField;
        shape.profileLengths = lengths->As<int32_t>();
        shape.wand = wand->As<Matrix4>();
        shape.reference = reference->As<Matrix4>();
    }
    for (int32_t p = 0; p < shape.profiles; ++p) {
        if (shape.profileLengths[p] < 0 || shape.profileLengths[p] > kMaxProfilePoints) return kLoadBadField;
        st.profilePoints += shape.profileLengths[p];
    }
    if (st.profilePoints > INT32_MAX / int64_t(sizeof(ScanPoint))) return kLoadBadField;
    shape.points = Load_Item(s, "Raw/CompressedPointsV1", ItemType::Int8, 1);
    if (!shape.points) {
        shape.points = Load_Item(s, "Raw/CompressedPointsV2", ItemType::Int8, 1);
        shape.pointsV2 = shape.points != nullptr;
    }
    if (!shape.points) return shape.profiles > 0 ? kLoadBadField : kLoadOk;
    const int64_t expected = CodedSize(shape.profileLengths, shape.profiles, shape.pointsV2 ? 16 : 24);
    return shape.points->byteSize == expected ? kLoadOk : kLoadBadField;
}

LoadStatus Allocate(RawData& raw, const Shape& shape) {
    const int32_t S = shape.sweeps;
    raw.SweepStartingProfileNo = Zeroed<int32_t>(S + 1);
    raw.SweepFirstPoint = Zeroed<int32_t>(S + 1);
    raw.SweepFirstFacet = Zeroed<int32_t>(S + 1);
    raw.Sweeps = Zeroed<SweepRecord>(S + 1);
    if (!raw.SweepStartingProfileNo || !raw.SweepFirstPoint || !raw.SweepFirstFacet || !raw.Sweeps)
        return kLoadOutOfMemory;
    raw.MaxSweeps = raw.TotalSweeps = raw.NumSweeps = S;
    for (int32_t s = 0; s < S; ++s)
        raw.SweepStartingProfileNo[s + 1] = raw.SweepStartingProfileNo[s] + shape.sweepLengths[s];
    if (shape.profiles == 0) return kLoadOk;
    raw.Profiles = Zeroed<Profile>(shape.profiles);
    if (!raw.Profiles) return kLoadOutOfMemory;
    raw.MaxProfiles = raw.TotalProfiles = raw.NumProfiles = shape.profiles;
    for (int32_t p = 0; p < shape.profiles; ++p) {
        Profile& profile = raw.Profiles[p];
        const int32_t n = shape.profileLengths[p];
        profile.NumPoints = n;
        profile.IsFiltered = 1;  // saved smoothed; smoothing again would change them
        profile.WandRxMatrix = shape.wand[p];
        profile.RawReferenceRxMatrix = shape.reference[p];
        M4_Identity(profile.ReferenceRxMatrix);
        if (n == 0) continue;
        profile.Points = Zeroed<Vec3>(n);
        profile.PointValues = Zeroed<int32_t>(n);
        if (!profile.Points || !profile.PointValues) return kLoadOutOfMemory;
    }
    return kLoadOk;
}

LoadStatus LoadPoints(LoadState& st, RawData& raw, const Shape& shape) {
    if (shape.points) {
        const auto* bytes = static_cast<const uint8_t*>(shape.points->data);
        const auto count = static_cast<int32_t>(shape.points->byteSize);
        const bool ok =
            shape.pointsV2 ? TVNFile_DecodePointsV2(raw, bytes, count) : TVNFile_DecodePointsV1(raw, bytes, count);
        if (!ok) return kLoadBadField;
        st.pointsDecoded = true;
    }
    if (const StoreItem* widths = ItemStore_FindItem(st.store, "Raw/CompressedWidthsV1")) {
        if (widths->type != ItemType::UInt8 || widths->dimensionCount != 1 || widths->byteSize != st.profilePoints)
            return kLoadBadField;
        const auto* bytes = widths->As<uint8_t>();
        for (int32_t p = 0; p < raw.NumProfiles; ++p)
            for (int32_t k = 0; k < raw.Profiles[p].NumPoints; ++k) raw.Profiles[p].PointValues[k] = *bytes++;
    }
    return kLoadOk;
}

LoadStatus LoadProfileFlags(ItemStore* s, RawData& raw) {
    if (const StoreItem* item = Load_Item(s, "Raw/CompressedReferenceEnabledV1", ItemType::UInt32, 1)) {
        if (!TVNFile_DecodeReferenceEnabled(raw, item->As<uint32_t>(), item->sizes[0])) return kLoadBadField;
    }
    if (const StoreItem* item = Load_Item(s, "Raw/CompressedRxStatusV1", ItemType::UInt32, 1)) {
        if (!TVNFile_DecodeRxStatus(raw, item->As<uint32_t>(), item->sizes[0])) return kLoadBadField;
    }
    return kLoadOk;
}

void LoadSweepRecords(ItemStore* s, RawData& raw) {
    const int32_t S = raw.NumSweeps, P = raw.NumProfiles;
    const StoreItem* times = Load_Item(s, "Raw/SweepInitTimes", ItemType::Int32, 1, S);
    const StoreItem* scanTimes = Load_Item(s, "Raw/ProfileScanTimes", ItemType::Int32, 1, P);
    const StoreItem* states = Load_Item(s, "Raw/Editing/SweepStates", ItemType::Int32, 1, S);
    const StoreItem* transforms = Load_Item(s, "Raw/SweepTransformations", ItemType::Float32, 3, S, 4, 4);
    Matrix4 identity;
    M4_Identity(identity);
    for (int32_t k = 0; k < S; ++k) {
        SweepRecord& sweep = raw.Sweeps[k];
        if (times) sweep.InitTime = times->As<int32_t>()[k];
        if (states) sweep.Flags = static_cast<uint32_t>(states->As<int32_t>()[k]);
        sweep.Flags &= ~kSweepPendingTransform;
        sweep.PendingTransform = identity;
        if (!transforms) continue;
        sweep.PendingTransform = transforms->As<Matrix4>()[k];
        if (std::memcmp(&sweep.PendingTransform, &identity, sizeof identity) != 0)
            sweep.Flags |= kSweepPendingTransform;
    }
    for (int32_t p = 0; scanTimes && p < P; ++p) raw.Profiles[p].ScanTime = scanTimes->As<int32_t>()[p];
}

// Checks that the words give exactly `total` values without expanding them
// all; keeps the first `keep` values and the largest of all.
bool DecodeStates(const StoreItem* item, int n, int64_t total, uint32_t* keep, int64_t keepCount, uint32_t& largest) {
    const uint32_t* words = item->As<uint32_t>();
    const uint32_t countMask = 0xFFFFFFFFu >> n;
    int64_t at = 0;
    for (int32_t w = 0; w < item->sizes[0]; ++w) {
        const uint32_t value = words[w] >> (32 - n);
        const uint32_t count = words[w] & countMask;
        if (count == 0 || at + count > total) return false;
        if (value > largest) largest = value;
        for (int64_t k = at; k < keepCount && k < at + count; ++k) keep[k] |= value << (n == 8 ? 0 : 8);
        at += count;
    }
    return at == total;
}

LoadStatus LoadEditStates(LoadState& st, RawData& raw) {
    ItemStore* s = st.store;
    const int32_t M = Load_Int(s, "Raw/Editing/NumPointStates", 0);
    if (M < 0) return kLoadBadField;
    st.numPointStates = M;
    uint32_t topSelect = 0, topCrop = 0;
    if (M > 0) {
        const int64_t keep = M < st.profilePoints ? M : st.profilePoints;
        try {
            st.pointStates.assign(static_cast<std::size_t>(keep), 0u);
        } catch (const std::bad_alloc&) {
            return kLoadOutOfMemory;
        }
        const StoreItem* select = Load_Item(s, "Raw/Editing/CompressedSelectV1", ItemType::UInt32, 1);
        const StoreItem* crop = Load_Item(s, "Raw/Editing/CompressedCropV1", ItemType::UInt32, 1);
        if (select && !DecodeStates(select, 8, M, st.pointStates.data(), keep, topSelect)) return kLoadBadField;
        if (crop && !DecodeStates(crop, 16, M, st.pointStates.data(), keep, topCrop)) return kLoadBadField;
    }
    raw.SelectionLimit = static_cast<uint32_t>(Load_Int(s, "Raw/Editing/SelectLevel", 0));
    raw.EditLimit = static_cast<uint32_t>(Load_Int(s, "Raw/Editing/CropLevel", 0));
    raw.SelectionLevelTop = raw.SelectionLimit > topSelect ? raw.SelectionLimit : topSelect;
    raw.EditLevelTop = raw.EditLimit > topCrop ? raw.EditLimit : topCrop;
    return kLoadOk;
}

void CopyIf(ItemStore* s, const char* path, void* out, int dims, int32_t a, int32_t b, ItemType type) {
    const StoreItem* item = Load_Item(s, path, type, dims, a, b);
    if (item) std::memcpy(out, item->data, item->byteSize);
}

void LoadHistoryAndRefraction(ItemStore* s, RawData& raw) {
    CorrectionHistory& c = raw.Header.Corrections;
    CopyIf(s, "Raw/RecentLutTweaks/LineTweaks", c.LineTweak, 2, 10, 2, ItemType::Float32);
    CopyIf(s, "Raw/RecentLutTweaks/CountTweaks", c.CountTweak, 2, 10, 2, ItemType::Float32);
    CopyIf(s, "Raw/RecentLutTweaks/OldRMS", c.OldRms, 2, 10, 2, ItemType::Float32);
    CopyIf(s, "Raw/RecentLutTweaks/NewRMS", c.NewRms, 2, 10, 2, ItemType::Float32);
    CopyIf(s, "Raw/RecentLutTweaks/OldDeviation", c.OldDeviation, 1, 10, -1, ItemType::Float32);
    CopyIf(s, "Raw/RecentLutTweaks/NewDeviation", c.NewDeviation, 1, 10, -1, ItemType::Float32);
    CopyIf(s, "Raw/RecentLutTweaks/Date", c.Date, 2, 10, 32, ItemType::Int8);
    for (auto& date : c.Date) date[31] = '\0';
    if (!Load_Text(s, "Raw/ConfigFileCreationDate", raw.Header.CalibrationCreated, 1023))
        std::strcpy(raw.Header.CalibrationCreated, "?");
    raw.RefractionCorrected = Load_Int(s, "Raw/RefractionCorrected", raw.RefractionCorrected);
    // A corrected scan was saved with every profile corrected.
    raw.RefractionProfiles = raw.RefractionCorrected ? raw.NumProfiles : 0;
    RefractionSettings& r = raw.Refraction;
    r.RefractiveIndex = Load_Float(s, "Raw/RefractionSettings/RefractiveIndex", r.RefractiveIndex);
    r.GlassThickness = Load_Float(s, "Raw/RefractionSettings/GlassThickness", r.GlassThickness);
    r.GlassZOffset = Load_Float(s, "Raw/RefractionSettings/GlassZOffset", r.GlassZOffset);
    r.ReferenceOnObjectSide = Load_Int(s, "Raw/RefractionSettings/ReferenceOnObjectSide", r.ReferenceOnObjectSide);
    r.GlassReferenceIsRx = Load_Int(s, "Raw/RefractionSettings/GlassReferenceIsRx", r.GlassReferenceIsRx);
}

}  // namespace

LoadStatus Load_Raw(LoadState& st, RawData& raw) {
    LoadHeader(st.store, raw.Header);
    Shape shape;
    LoadStatus status = ReadShape(st, shape);
    if (status != kLoadOk) return status;
    raw.Timestamp = ItemStore_GetTime(st.store, "Raw/Timestamp");
    if ((status = Allocate(raw, shape)) != kLoadOk) return status;
    if ((status = LoadPoints(st, raw, shape)) != kLoadOk) return status;
    if ((status = LoadProfileFlags(st.store, raw)) != kLoadOk) return status;
    LoadSweepRecords(st.store, raw);
    if ((status = LoadEditStates(st, raw)) != kLoadOk) return status;
    LoadHistoryAndRefraction(st.store, raw);
    return kLoadOk;
}
