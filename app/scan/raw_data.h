// The scan record: the captured profiles grouped into sweeps, the points and
// facets made from them with their per-sweep index tables, the edit levels,
// the cached extents and the stylus items. There is one scan in the program;
// every subsystem reads it and the user-interface thread changes it.
//
// Counts and indices are signed 32-bit. Arrays are heap blocks owned by the
// record (std::malloc/realloc), except the points, facets and facet normals,
// which live in three large reserved blocks that the program owns and
// attaches to the record.
#pragma once

#include "app/scan/settings_records.h"
#include "app/scan/big_buffer.h"
#include "app/scan/geometry.h"
#include "app/scan/stylus_items.h"

#include <cstdint>
#include <functional>

// Most points a profile holds; the processing buffers are sized for it.
constexpr int kMaxProfilePoints = 576;

// The camera sample record of a profile's field: a count and five owned arrays.
struct ProfileExtra {
    int32_t Count;
    void* Arrays[5];
};

struct Profile {
    int32_t NumPoints;
    Vec3* Points;               // owned; scan coordinates once processed
    Matrix4 WandRxMatrix;       // the wand pose
    Matrix4 ReferenceRxMatrix;  // the reference pose in use (identity without reference)
    int32_t ReferenceEnabled;
    float CameraDeviation;
    ProfileExtra* Extra;  // owned, may be null
    int32_t ScanTime;
    Matrix4 RawReferenceRxMatrix;  // the reference pose as measured
    int32_t Flags;                 // bit value 2: selected
    int32_t* PointValues;          // owned, one a point
    int32_t ReceiverStatus;        // byte 0 receiver 0, byte 1 receiver 1
    int32_t IsFiltered;            // 1 once the filtering pass smoothed the profile
};

// Point flags word: bits 0-7 the selection level, bits 8-23 the erase level.
constexpr uint32_t kPointSelectionMask = 0xFF;
constexpr int kPointEraseShift = 8;
constexpr uint32_t kPointEraseMask = 0xFFFF00;
// Run word: bit 31 set for a visible point, bits 0-30 its position in its run.
constexpr uint32_t kRunVisible = 0x80000000u;

struct ScanPoint {
    Vec3 Normal;
    Vec3 Vertex;
    float Variance;
    float ResolutionSq;
    float Value;  // a further value of the point, shown by colour mode 5
    uint32_t Flags;
    uint8_t Colour[3];  // red, green, blue
    uint8_t Grey;       // brightness 0-255
    uint32_t Run;
};
static_assert(sizeof(ScanPoint) == 48, "a scan point is 48 bytes");

struct Facet {
    int32_t v[3];
};

// Flags word of a sweep.
constexpr uint32_t kSweepHidden = 0x01;  // neither drawn nor measured
constexpr uint32_t kSweepHighlighted = 0x02;
constexpr uint32_t kSweepExportChainA = 0x20;  // chain consecutive sweeps into export groups
constexpr uint32_t kSweepExportChainB = 0x40;
constexpr uint32_t kSweepFlipped = 0x200;
constexpr uint32_t kSweepPendingTransform = 0x400;  // a registration transform is pending

struct SweepRecord {
    uint32_t Flags;
    Matrix4 PendingTransform;  // the registration transform (kSweepPendingTransform)
    double InitTime;
    ViewSettings View;  // the view when the sweep started
    int32_t HardwareValue;
    int32_t HardwareWord;
};

struct RefractionSettings {
    float GlassThickness;
    float RefractiveIndex;
    float GlassZOffset;
    int32_t ReferenceOnObjectSide;
    int32_t GlassReferenceIsRx;
};

// The calibration-correction history kept with a scan, newest ten entries.
struct CorrectionHistory {
    float LineTweak[10][2];
    float CountTweak[10][2];
    float OldRms[10][2];
    float NewRms[10][2];
    float OldDeviation[10];
    float NewDeviation[10];
    char Date[10][32];
    uint8_t Valid[10];
};

struct ScanHeader {
    int32_t WandSerialNumber;        // -1 unknown
    int32_t VideoProcessorRevision;  // -1 unknown
    char ProgramVersion[32];
    int32_t DriverVersion;  // -1 unknown
    int32_t FileRelease;
    Matrix4 WandReceiverOffset;
    CorrectionHistory Corrections;
    char CalibrationCreated[1024];
};

// What the live view has drawn of the scan. The view draws incrementally
// from the cursors; whoever changes the scan other than by appending sets
// kDrawFull so that the next frame starts again.
constexpr int32_t kDrawFull = 1;  // redraw everything
constexpr int32_t kDrawNew = 2;   // draw what was appended since the last frame
constexpr int32_t kDrawLive = 4;  // draw the live profile over the frame

struct ScanDrawState {
    int32_t Flags;
    int32_t DrawnProfiles;  // cursors: what the kept frame already shows
    int32_t DrawnPoints;
    int32_t DrawnFacets;
    int32_t Frames;  // frame statistics since the last full redraw
    int32_t ProfilesTotal;
    int32_t MinProfilesPerFrame;
    int32_t MaxProfilesPerFrame;
    float AverageProfilesPerFrame;
};

struct RawData {
    // Sweeps: NumSweeps <= TotalSweeps <= MaxSweeps; the three index tables
    // hold MaxSweeps + 1 entries, entry s + 1 ending sweep s.
    int32_t MaxSweeps;
    int32_t TotalSweeps;
    int32_t NumSweeps;
    SweepRecord* Sweeps;
    int32_t* SweepStartingProfileNo;

    // Profiles: NumProfiles <= TotalProfiles <= MaxProfiles.
    int32_t MaxProfiles;
    int32_t TotalProfiles;
    int32_t NumProfiles;
    Profile* Profiles;
    Profile Staging;  // filled from a field, copied into Profiles when kept

    // Points and facets, in the attached blocks.
    int32_t MaxPoints;
    int32_t NumPoints;
    ScanPoint* Points;
    int32_t LoadedPointCount;
    int32_t MaxFacets;
    int32_t NumFacets;
    Facet* Facets;
    Vec3* FacetNormals;
    int32_t* SweepFirstPoint;
    int32_t* SweepFirstFacet;

    int32_t LoadedFromDisk;
    int32_t CurrentSweep;  // the sweep being captured or processed
    int32_t LastProfile;
    int32_t CurrentSweepProfile;  // where the current sweep's profiles stand
    int32_t LastOffsetInPoints;
    int32_t FirstProfileFound;
    int32_t SecondProfileFound;
    int32_t NumProfilesProcessed;

    // Profile processing's working lists.
    int32_t NumClippedPoints;
    Vec3 ClippedPoints[kMaxProfilePoints];
    Vec3 NormalCarry[kMaxProfilePoints];

    // The program's three reserved blocks.
    BigBuffer* PointBlock;
    BigBuffer* FacetBlock;
    BigBuffer* FacetNormalBlock;

    uint32_t SelectionLimit;     // highest selection level in force
    uint32_t SelectionLevelTop;  // highest selection level made (redo)
    uint32_t EditLimit;          // highest erase level in force
    uint32_t EditLevelTop;       // highest erase level made (redo)

    int32_t RunCursor;     // first point whose run word is not computed
    int32_t ColourCursor;  // first point whose colour is not computed

    Vec3 Extents[8];  // corner k at the maximum in x, y, z for bits 0, 1, 2 of k
    double ExtentsTime;
    int32_t ExtentsValid;

    // Counters kept by other parts of the program, never above the counts.
    int32_t ClampProfiles;
    int32_t ClampPoints;
    int32_t ClampFacets;

    Matrix4 ScanAlignment;
    ScanHeader Header;
    int32_t ProcessedChanged;
    int32_t Edited;
    int32_t StylusChanged;

    RefractionSettings Refraction;
    int32_t RefractionCorrected;
    int32_t RefractionProfiles;  // the profiles below this index carry the correction
    StylusItemList Stylus;
    double Timestamp;  // the record's change time; caches compare theirs with it
    ScanDrawState Draw;
};

// The program's three reserved blocks for the scan.
struct ScanBlocks {
    BigBuffer Points;
    BigBuffer Facets;
    BigBuffer FacetNormals;
};

// Blocks with the program's sizes, not yet reserved.
void ScanBlocks_Init(ScanBlocks& blocks);
void ScanBlocks_Free(ScanBlocks& blocks);
// Attaches the blocks to a record (after it was zeroed).
void RawData_AttachBlocks(RawData& raw, ScanBlocks& blocks);

// ---- Growth and clearing --------------------------------------------------
bool RawData_GrowProfiles(RawData& raw, int32_t n);
bool RawData_GrowSweeps(RawData& raw);
void RawData_ClearProfile(Profile& profile);
void RawData_ClearSweepProfiles(RawData& raw, int32_t s);
// Frees every array, decommits the blocks (keeping their reservations) and
// zeroes the record; the blocks stay attached.
void RawData_FreeArrays(RawData& raw);
void RawData_DiscardSweepsAfterCurrent(RawData& raw);

// ---- Sweeps and profiles --------------------------------------------------
using SweepPredicate = std::function<bool(const RawData&, int32_t s)>;
void RawData_DeleteSweepsIf(RawData& raw, int32_t first, const SweepPredicate& predicate);
// True when sweep s has no facets.
bool RawData_SweepHasNoFacets(const RawData& raw, int32_t s);
void RawData_MoveSweep(RawData& raw, int32_t from, int32_t to);
void RawData_CompactProfiles(RawData& raw);
void RawData_DeleteProfilesByMask(RawData& raw, const uint8_t* mask);
void RawData_DeleteProfile(RawData& raw, int32_t p);
int32_t RawData_ProfileSide(const Profile& profile);
void RawData_SplitSweep(RawData& raw);

// ---- Points and facets ----------------------------------------------------
bool RawData_PointInEditRange(const RawData& raw, int32_t i);
bool RawData_FacetAllFlagged(const RawData& raw, int32_t f);
// Red, green and blue in the low three bytes; the fourth byte is 0.
uint32_t RawData_FacetColour(const RawData& raw, int32_t f);
bool RawData_PointsMatchProfiles(const RawData& raw);
void RawData_RemovePointsByMask(RawData& raw, const uint8_t* mask);
void RawData_MarkEditablePoints(RawData& raw);
void RawData_FlipNormals(RawData& raw);
void RawData_FlipSweepNormals(RawData& raw, int32_t s);
void RawData_ComputeNormals(RawData& raw);
bool RawData_CheckReferenceMatrices(const RawData& raw);
void RawData_MirrorProfileMatrices(RawData& raw, bool wand, bool reference);
void RawData_MirrorWandMatrices(RawData& raw);
void RawData_MirrorReferenceMatrices(RawData& raw);

// ---- Drawing state --------------------------------------------------------
void RawData_NumberPointRuns(RawData& raw);
void RawData_ClearSweepCursor(RawData& raw);
void RawData_ClearPointRunMark(RawData& raw);
void RawData_ColourPoints(RawData& raw, const ViewSettings& view, const GeneralSettings& settings);
void RawData_ComputeExtents(RawData& raw, const Matrix4& frame);
