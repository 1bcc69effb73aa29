// The Raw section: the scan as captured, its sweeps and profiles, the coded
// points, facets and flags, the calibration history and the edit state.
#include "app/scanfile/scan_file_writer.h"

#include <cstring>

namespace {

// The sweep and profile arrays, gathered before anything is added.
struct RawArrays {
    int32_t sweeps = 0, profiles = 0, points = 0;
    int32_t* scanLengths = nullptr;
    int32_t* sweepLengths = nullptr;
    int32_t* sweepTimes = nullptr;
    int32_t* sweepStates = nullptr;
    Matrix4* transforms = nullptr;
    int32_t* profileLengths = nullptr;
    int32_t* profileTimes = nullptr;
    Matrix4* wand = nullptr;
    Matrix4* reference = nullptr;
    uint8_t* widths = nullptr;
};

bool Gather(ScanFileWriter& w, const RawData& raw, RawArrays& a) {
    a.sweeps = raw.NumSweeps > 0 ? raw.NumSweeps : 0;
    a.profiles = ScanFile_ProfilesInForce(raw);
    int64_t total = 0;
    for (int32_t p = 0; p < a.profiles; ++p) total += raw.Profiles[p].NumPoints;
    a.scanLengths = w.Array<int32_t>(1);
    a.sweepLengths = w.Array<int32_t>(a.sweeps);
    a.sweepTimes = w.Array<int32_t>(a.sweeps);
    a.sweepStates = w.Array<int32_t>(a.sweeps);
    a.transforms = w.Array<Matrix4>(a.sweeps);
    a.profileLengths = w.Array<int32_t>(a.profiles);
    a.profileTimes = w.Array<int32_t>(a.profiles);
    a.wand = w.Array<Matrix4>(a.profiles);
    a.reference = w.Array<Matrix4>(a.profiles);
    a.widths = w.Array<uint8_t>(total);
    if (!a.scanLengths || !a.sweepLengths || !a.sweepTimes || !a.sweepStates || !a.transforms || !a.profileLengths ||
        !a.profileTimes || !a.wand || !a.reference || !a.widths)
        return false;
    *a.scanLengths = a.sweeps;
    for (int32_t s = 0; s < a.sweeps; ++s) {
        const SweepRecord& sweep = raw.Sweeps[s];
        a.sweepLengths[s] = raw.SweepStartingProfileNo[s + 1] - raw.SweepStartingProfileNo[s];
        a.sweepTimes[s] = static_cast<int32_t>(sweep.InitTime);
        a.sweepStates[s] = static_cast<int32_t>(sweep.Flags);
        if (sweep.Flags & kSweepPendingTransform)
            a.transforms[s] = sweep.PendingTransform;
        else
            M4_Identity(a.transforms[s]);
    }
    int64_t at = 0;
    for (int32_t p = 0; p < a.profiles; ++p) {
        const Profile& profile = raw.Profiles[p];
        a.profileLengths[p] = profile.NumPoints;
        a.profileTimes[p] = profile.ScanTime;
        a.wand[p] = profile.WandRxMatrix;
        a.reference[p] = profile.RawReferenceRxMatrix;
        for (int32_t k = 0; k < profile.NumPoints; ++k)
            a.widths[at++] = profile.PointValues ? static_cast<uint8_t>(profile.PointValues[k]) : 0;
    }
    a.points = static_cast<int32_t>(total);
    return true;
}

bool AddHeader(ScanFileWriter& w, const RawData& raw, int32_t current) {
    const ScanHeader& h = raw.Header;
    return w.Text("Raw/TolvaranExeVersion", h.ProgramVersion, sizeof h.ProgramVersion) &&
           w.Int("Raw/OmbrixSysVersion", h.DriverVersion) && w.Int("Raw/WandSerialNumber", h.WandSerialNumber) &&
           w.Int("Raw/VideoProcessorRevision", h.VideoProcessorRevision) &&
           w.Matrix("Raw/WandRxOffsetMatrix", h.WandReceiverOffset) && w.Int("Raw/Current", current) &&
           w.Time("Raw/Timestamp", raw.Timestamp);
}

bool AddArrays(ScanFileWriter& w, const RawArrays& a) {
    ItemStore* s = w.store;
    return ItemStore_AddItem(s, "Raw/ScanLengths", a.scanLengths, ItemType::Int32, 1, 1) &&
           ItemStore_AddItem(s, "Raw/SweepLengths", a.sweepLengths, ItemType::Int32, 1, a.sweeps) &&
           ItemStore_AddItem(s, "Raw/SweepInitTimes", a.sweepTimes, ItemType::Int32, 1, a.sweeps) &&
           ItemStore_AddItem(s, "Raw/Editing/SweepStates", a.sweepStates, ItemType::Int32, 1, a.sweeps) &&
           ItemStore_AddItem(s, "Raw/SweepTransformations", a.transforms, ItemType::Float32, 3, a.sweeps, 4, 4) &&
           ItemStore_AddItem(s, "Raw/ProfileLengths", a.profileLengths, ItemType::Int32, 1, a.profiles) &&
           ItemStore_AddItem(s, "Raw/ProfileScanTimes", a.profileTimes, ItemType::Int32, 1, a.profiles) &&
           ItemStore_AddItem(s, "Raw/WandRxMatrices", a.wand, ItemType::Float32, 3, a.profiles, 4, 4) &&
           ItemStore_AddItem(s, "Raw/RawReferenceRxMatrices", a.reference, ItemType::Float32, 3, a.profiles, 4, 4);
}

bool AddCorrections(ScanFileWriter& w, const ScanHeader& h) {
    ItemStore* s = w.store;
    const CorrectionHistory& c = h.Corrections;
    return w.Text("Raw/ConfigFileCreationDate", h.CalibrationCreated, sizeof h.CalibrationCreated) &&
           ItemStore_AddItem(s, "Raw/RecentLutTweaks/LineTweaks", c.LineTweak, ItemType::Float32, 2, 10, 2) &&
           ItemStore_AddItem(s, "Raw/RecentLutTweaks/CountTweaks", c.CountTweak, ItemType::Float32, 2, 10, 2) &&
           ItemStore_AddItem(s, "Raw/RecentLutTweaks/OldRMS", c.OldRms, ItemType::Float32, 2, 10, 2) &&
           ItemStore_AddItem(s, "Raw/RecentLutTweaks/NewRMS", c.NewRms, ItemType::Float32, 2, 10, 2) &&
           ItemStore_AddItem(s, "Raw/RecentLutTweaks/OldDeviation", c.OldDeviation, ItemType::Float32, 1, 10) &&
           ItemStore_AddItem(s, "Raw/RecentLutTweaks/NewDeviation", c.NewDeviation, ItemType::Float32, 1, 10) &&
           ItemStore_AddItem(s, "Raw/RecentLutTweaks/Date", c.Date, ItemType::Int8, 2, 10, 32);
}

bool AddRefraction(ScanFileWriter& w, const RawData& raw) {
    if (!w.Int("Raw/RefractionCorrected", raw.RefractionCorrected)) return false;
    if (raw.RefractionCorrected == 0) return true;
    const RefractionSettings& r = raw.Refraction;
    return w.Float("Raw/RefractionSettings/RefractiveIndex", r.RefractiveIndex) &&
           w.Float("Raw/RefractionSettings/GlassThickness", r.GlassThickness) &&
           w.Float("Raw/RefractionSettings/GlassZOffset", r.GlassZOffset) &&
           w.Int("Raw/RefractionSettings/ReferenceOnObjectSide", r.ReferenceOnObjectSide) &&
           w.Int("Raw/RefractionSettings/GlassReferenceIsRx", r.GlassReferenceIsRx);
}

}  // namespace

bool TVNFile_Raw_Save(ScanFileWriter& w, const RawData* raw, int32_t current) {
    if (!raw) return true;
    RawArrays a;
    if (!Gather(w, *raw, a)) return false;
    return AddHeader(w, *raw, current) && AddArrays(w, a) && TVNFile_PackPointsV1(w.store, *raw, w.buffers) &&
           ItemStore_AddItem(w.store, "Raw/CompressedWidthsV1", a.widths, ItemType::UInt8, 1, a.points) &&
           TVNFile_PackFacetsV1(w.store, *raw, w.buffers) && TVNFile_PackRunLengthsV1(w.store, *raw, w.buffers) &&
           TVNFile_PackRxStatusV1(w.store, *raw, w.buffers) && AddCorrections(w, raw->Header) &&
           w.Int("Raw/Editing/NumPointStates", ScanFile_PointsInForce(*raw)) &&
           TVNFile_PackSelectV1(w.store, *raw, w.buffers) && TVNFile_PackCropV1(w.store, *raw, w.buffers) &&
           AddRefraction(w, *raw);
}
