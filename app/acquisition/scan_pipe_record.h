// The record the program sends down its outbound pipe for every event of a
// capture: capture start, sweep start, each processed profile with points,
// sweep end, capture end. A listener reads it as 6984 little-endian bytes.
#pragma once

#include "app/scan/geometry.h"

#include <cstddef>
#include <cstdint>

// Record kinds.
constexpr int32_t kPipeCaptureStart = 0;
constexpr int32_t kPipeSweepStart = 1;
constexpr int32_t kPipeProfile = 2;
constexpr int32_t kPipeSweepEnd = 3;
constexpr int32_t kPipeCaptureEnd = 4;

constexpr int32_t kPipeMaxPoints = 564;
constexpr uint32_t kPipeFormatCode = 2;
constexpr uint32_t kPipeMagic = 13752;

struct ScanPipeRecord {
    uint32_t FormatCode;
    uint32_t Kind;
    uint32_t Magic;
    uint32_t KindAgain;
    int32_t NumPoints;
    uint32_t Zero;
    float WandRxMatrix[16];
    float RawReferenceRxMatrix[16];
    float Reserved[16];
    float Points[kPipeMaxPoints][3];
};

static_assert(sizeof(ScanPipeRecord) == 6984, "the wire record is 6984 bytes");
static_assert(offsetof(ScanPipeRecord, Kind) == 4, "kind at 4");
static_assert(offsetof(ScanPipeRecord, KindAgain) == 12, "kind again at 12");
static_assert(offsetof(ScanPipeRecord, NumPoints) == 16, "point count at 16");
static_assert(offsetof(ScanPipeRecord, WandRxMatrix) == 24, "wand matrix at 24");
static_assert(offsetof(ScanPipeRecord, RawReferenceRxMatrix) == 88, "reference matrix at 88");
static_assert(offsetof(ScanPipeRecord, Reserved) == 152, "reserved block at 152");
static_assert(offsetof(ScanPipeRecord, Points) == 216, "points at 216");

// Fills the record: null matrices and a null point list give zeros; a count
// below 0 counts as 0 and at most kPipeMaxPoints points are copied.
void ScanPipeRecord_Build(ScanPipeRecord& record, int32_t kind, const Matrix4* wand, int32_t count, const Vec3* points,
                          const Matrix4* rawReference);

// The record's wire bytes (little-endian whatever the host's order).
void ScanPipeRecord_Encode(const ScanPipeRecord& record, unsigned char (&bytes)[sizeof(ScanPipeRecord)]);
