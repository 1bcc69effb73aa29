#include "app/acquisition/scan_pipe_record.h"

#include <algorithm>
#include <cstring>

void ScanPipeRecord_Build(ScanPipeRecord& record, int32_t kind, const Matrix4* wand, int32_t count, const Vec3* points,
                          const Matrix4* rawReference) {
    std::memset(&record, 0, sizeof record);
    const int32_t n = points ? std::clamp(count, 0, kPipeMaxPoints) : 0;
    record.FormatCode = kPipeFormatCode;
    record.Kind = static_cast<uint32_t>(kind);
    record.Magic = kPipeMagic;
    record.KindAgain = static_cast<uint32_t>(kind);
    record.NumPoints = n;
    if (wand) std::memcpy(record.WandRxMatrix, wand->m, sizeof record.WandRxMatrix);
    if (rawReference) std::memcpy(record.RawReferenceRxMatrix, rawReference->m, sizeof record.RawReferenceRxMatrix);
    for (int32_t i = 0; i < n; ++i) {
        record.Points[i][0] = points[i].x;
        record.Points[i][1] = points[i].y;
        record.Points[i][2] = points[i].z;
    }
}

namespace {

void PutWord(unsigned char* out, uint32_t word) {
    for (int b = 0; b < 4; ++b) out[b] = static_cast<unsigned char>(word >> (8 * b));
}

}  // namespace

void ScanPipeRecord_Encode(const ScanPipeRecord& record, unsigned char (&bytes)[sizeof(ScanPipeRecord)]) {
    // Every member is a 32-bit word.
    uint32_t words[sizeof(ScanPipeRecord) / 4];
    std::memcpy(words, &record, sizeof words);
    for (std::size_t i = 0; i < sizeof words / 4; ++i) PutWord(bytes + 4 * i, words[i]);
}
