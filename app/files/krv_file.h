// The program's older binary files behind the program file header: the older
// scan file (".krv": captured profiles with packed points, sweeps, the view
// and the stylus items; versions 2 to 4 read, version 4 written) and the raw
// video file (".vid": the tracker matrices and the raw laser-line samples of
// every profile; written only).
//
// Results: 0 done; readers 1 not opened, 2 not this format, 3 unsupported
// version, 4 read error, truncated file or a count or index outside the
// file's own bounds, 5 out of memory; writers 1 not created, 6 a write
// failed. The writers go through the safe file writer: a failed write leaves
// the file that was there before untouched.
#pragma once

#include "app/scan/raw_data.h"

#include <cstdint>
#include <iosfwd>
#include <string>

enum KrvResult : int32_t {
    kKrvOk = 0,
    kKrvNotOpened = 1,
    kKrvNotThisFormat = 2,
    kKrvBadVersion = 3,
    kKrvReadError = 4,
    kKrvOutOfMemory = 5,
    kKrvWriteFailed = 6,
};

constexpr int32_t kKrvVersionWritten = 4;
constexpr int32_t kVidVersionWritten = 3;
constexpr size_t kKrvProfileRecordSize = 240;
constexpr size_t kKrvOldProfileRecordSize = 164;  // versions 2 and 3
constexpr size_t kKrvSweepRecordSize = 272;
constexpr size_t kKrvViewRecordSize = 272;

// The view as the older scan file keeps it (272 bytes, little-endian words).
struct KrvViewRecord {
    int32_t DisplayType;
    Matrix4 ViewMatrix;
    Vec3 ViewOrigin;
    float ZoomFactor;
    uint32_t ForegroundColour;
    uint32_t BackgroundColour;
    uint32_t PreviewColour;
    uint32_t CustomColours[16];
    float AmbientLightLevel;
    float SpotLightLevel;
    float SpotLightPosition[3];
    uint32_t Options;  // read back as 0
    uint8_t Unused[88];
};
static_assert(sizeof(KrvViewRecord) == kKrvViewRecordSize, "the view record is 272 bytes");

// A profile's points packed to three unsigned 16-bit values each: offset the
// per-axis minimum, one scale for all axes from the largest extent (65520
// steps). One point is the offset itself; coincident points give scale 0.
void KrvFile_PackShortPoints(const Profile& profile, uint16_t* packed, Vec3& offset, float& scale);
void KrvFile_UnpackShortPoints(int32_t count, const Vec3& offset, float scale, const uint16_t* packed, Vec3* points);

// Writes the scan as an older scan file of version 4; on success the scan's
// file version becomes 4 and its modified marks are cleared.
int32_t KrvFile_Save(const char* path, RawData& raw, const KrvViewRecord& view);

// Reads an older scan file into `raw`, which must hold no profiles, sweeps or
// stylus items (its blocks may be attached). On failure nothing is kept in
// `raw` and `view` is left as it was apart from its options, which every
// read sets to 0.
int32_t KrvFile_Load(const char* path, RawData& raw, KrvViewRecord& view);
int32_t KrvFile_Read(std::istream& in, RawData& raw, KrvViewRecord& view);

// Writes the raw video file: per profile the tracker matrices, the reference
// flag and the first four sample arrays of its line log (count 0 without one).
int32_t VidFile_Save(RawData& raw, const char* path);
