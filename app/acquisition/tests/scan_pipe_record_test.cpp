// The outbound pipe's wire record.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/acquisition/scan_pipe_record.h"

namespace {

uint32_t WordAt(const unsigned char* bytes, std::size_t offset) {
    return uint32_t(bytes[offset]) | uint32_t(bytes[offset + 1]) << 8 | uint32_t(bytes[offset + 2]) << 16 |
           uint32_t(bytes[offset + 3]) << 24;
}

float FloatAt(const unsigned char* bytes, std::size_t offset) {
    const uint32_t word = WordAt(bytes, offset);
    float f;
    std::memcpy(&f, &word, sizeof f);
    return f;
}

TEST(ScanPipeRecord, ProfileRecordBytes) {
    std::vector<Vec3> points(600);
    for (std::size_t i = 0; i < points.size(); ++i) points[i] = Vec3{float(i), -float(i), 0.5f};
    Matrix4 wand, reference;
    for (int i = 0; i < 16; ++i) wand[i] = float(i + 1), reference[i] = -float(i + 1);
    ScanPipeRecord record;
    ScanPipeRecord_Build(record, kPipeProfile, &wand, 600, points.data(), &reference);
    static unsigned char bytes[sizeof(ScanPipeRecord)];
    ScanPipeRecord_Encode(record, bytes);
    const unsigned char header[24] = {2, 0, 0, 0, 2,    0,    0, 0, 0xB8, 0x35, 0, 0,
                                      2, 0, 0, 0, 0x34, 0x02, 0, 0, 0,    0,    0, 0};
    EXPECT_EQ(std::memcmp(bytes, header, sizeof header), 0);  // 564 points at most
    EXPECT_EQ(FloatAt(bytes, 24), 1.0f);
    EXPECT_EQ(FloatAt(bytes, 24 + 4 * 12), 13.0f);
    EXPECT_EQ(FloatAt(bytes, 88 + 4 * 15), -16.0f);
    for (std::size_t o = 152; o < 216; o += 4) EXPECT_EQ(WordAt(bytes, o), 0u) << o;
    EXPECT_EQ(FloatAt(bytes, 216), 0.0f);
    EXPECT_EQ(FloatAt(bytes, 216 + 12 * 563), 563.0f);
    EXPECT_EQ(FloatAt(bytes, 216 + 12 * 563 + 4), -563.0f);
    EXPECT_EQ(FloatAt(bytes, 6984 - 4), 0.5f);
}

TEST(ScanPipeRecord, AbsentPartsAreZeros) {
    struct Case {
        int32_t kind, count;
        bool points;
        int32_t n;
    };
    const Vec3 one[1] = {{1, 2, 3}};
    for (const Case& c : {Case{kPipeCaptureEnd, 0, false, 0}, Case{kPipeProfile, 5, false, 0},
                          Case{kPipeProfile, -3, true, 0}, Case{kPipeProfile, 1, true, 1}}) {
        ScanPipeRecord record;
        std::memset(&record, 0xAB, sizeof record);
        ScanPipeRecord_Build(record, c.kind, nullptr, c.count, c.points ? one : nullptr, nullptr);
        EXPECT_EQ(record.Kind, uint32_t(c.kind));
        EXPECT_EQ(record.KindAgain, uint32_t(c.kind));
        EXPECT_EQ(record.NumPoints, c.n);
        EXPECT_EQ(record.Zero, 0u);
        for (float f : record.WandRxMatrix) EXPECT_EQ(f, 0.0f);
        for (float f : record.RawReferenceRxMatrix) EXPECT_EQ(f, 0.0f);
        EXPECT_EQ(record.Points[0][0], c.n ? 1.0f : 0.0f);
        EXPECT_EQ(record.Points[kPipeMaxPoints - 1][2], 0.0f);
    }
}

}  // namespace
