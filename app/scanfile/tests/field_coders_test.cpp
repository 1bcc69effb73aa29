#include "app/scanfile/field_coders.h"

#include "app/scan/tests/scan_fixture.h"
#include "app/scanfile/scan_file_memory.h"
#include "app/base/app_messages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct StoreHolder {
    ItemStore* store = ItemStore_Create();
    ~StoreHolder() { ItemStore_Free(store); }
    const StoreItem* Item(const char* path) { return ItemStore_FindItem(store, path); }
};

std::vector<uint8_t> ItemBytes(const StoreItem* item) {
    const auto* b = static_cast<const uint8_t*>(item->data);
    return std::vector<uint8_t>(b, b + item->byteSize);
}

// Profiles with the given points, one sweep.
void SetProfiles(ScanFixture& scan, const std::vector<std::vector<Vec3>>& profiles) {
    std::vector<int> counts;
    for (const auto& p : profiles) counts.push_back(static_cast<int>(p.size()));
    scan.AddSweep(counts);
    for (std::size_t k = 0; k < profiles.size(); ++k)
        for (std::size_t j = 0; j < profiles[k].size(); ++j) scan.raw.Profiles[k].Points[j] = profiles[k][j];
}

void ClearPoints(RawData& raw) {
    for (int32_t p = 0; p < raw.NumProfiles; ++p)
        if (raw.Profiles[p].NumPoints > 0)
            std::memset(raw.Profiles[p].Points, 0, sizeof(Vec3) * raw.Profiles[p].NumPoints);
}

TEST(PointCoder, SizesQuantisationAndDecodeTable) {
    struct Case {
        const char* name;
        std::vector<std::vector<Vec3>> profiles;
        int32_t bytes;
    };
    const Case cases[] = {
        {"three points stored raw", {{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}}, 36},
        {"four points: box and triples", {{{0, 0, 0}, {1, 2, 3}, {4, 5, 6}, {7, 8, 9}}}, 48},
        {"plane x = c", {{{2.5f, 0, 0}, {2.5f, 1, 1}, {2.5f, 3, 2}, {2.5f, 7, 9}, {2.5f, 8, 8}}}, 24 + 30},
        {"empty and mixed profiles", {{}, {{1, 1, 1}}, {{0, 0, 0}, {10, 0, -5}, {3, 3, 3}, {-1, 9, 2}}}, 12 + 48},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScanFixture scan;
        SetProfiles(scan, c.profiles);
        StoreHolder s;
        SaveBuffers buffers;
        ASSERT_TRUE(TVNFile_PackPointsV1(s.store, scan.raw, buffers));
        const StoreItem* item = s.Item("Raw/CompressedPointsV1");
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->type, ItemType::Int8);
        const std::vector<uint8_t> bytes = ItemBytes(item);
        ASSERT_EQ(static_cast<int32_t>(bytes.size()), c.bytes);

        ClearPoints(scan.raw);
        ASSERT_TRUE(TVNFile_DecodePointsV1(scan.raw, bytes.data(), c.bytes));
        for (std::size_t k = 0; k < c.profiles.size(); ++k) {
            const auto& want = c.profiles[k];
            Vec3 lo{}, hi{};
            if (!want.empty())
                V3_BoundingBox(want.data(), static_cast<int32_t>(want.size()), &lo, &hi, nullptr, nullptr);
            for (std::size_t j = 0; j < want.size(); ++j) {
                const Vec3& got = scan.raw.Profiles[k].Points[j];
                const float* g = &got.x;
                const float* w = &want[j].x;
                for (int a = 0; a < 3; ++a) {
                    const float halfStep = ((&hi.x)[a] - (&lo.x)[a]) / 65535.0f / 2.0f;
                    EXPECT_NEAR(g[a], w[a], halfStep * 1.0001f + 1e-6f) << "profile " << k << " point " << j;
                }
                if (c.name[0] == 'p') {
                    EXPECT_EQ(got.x, 2.5f);  // the flat axis decodes exactly
                }
            }
        }
        // One byte more or less fails.
        std::vector<uint8_t> longer = bytes;
        longer.push_back(0);
        EXPECT_FALSE(TVNFile_DecodePointsV1(scan.raw, longer.data(), c.bytes + 1));
        std::vector<uint8_t> shorter(bytes.begin(), bytes.end() - 1);
        EXPECT_FALSE(TVNFile_DecodePointsV1(scan.raw, shorter.data(), c.bytes - 1));
    }
}

TEST(PointCoder, BoxEndsGiveZeroAnd65535AndHalfStepRoundsDown) {
    ScanFixture scan;
    const float step = 10.0f / 65535.0f;
    SetProfiles(scan, {{{0, 0, 0}, {10, 10, 10}, {0.4999999f * step, 5, 5}, {0.51f * step, 1, 1}}});
    StoreHolder s;
    SaveBuffers buffers;
    ASSERT_TRUE(TVNFile_PackPointsV1(s.store, scan.raw, buffers));
    const std::vector<uint8_t> bytes = ItemBytes(s.Item("Raw/CompressedPointsV1"));
    uint16_t q[4][3];
    std::memcpy(q, bytes.data() + 24, sizeof q);
    EXPECT_EQ(q[0][0], 0);
    EXPECT_EQ(q[1][0], 65535);
    EXPECT_EQ(q[1][2], 65535);
    EXPECT_EQ(q[2][0], 0);
    EXPECT_EQ(q[3][0], 1);
}

TEST(PointCoder, V2UsesOriginAndOneStep) {
    ScanFixture scan;
    scan.AddSweep({4, 2});
    std::vector<uint8_t> bytes;
    const float head[4] = {1.0f, 2.0f, 3.0f, 0.5f};
    bytes.resize(16 + 4 * 6 + 24);
    std::memcpy(bytes.data(), head, 16);
    const uint16_t q[4][3] = {{0, 0, 0}, {1, 2, 3}, {10, 0, 4}, {65535, 1, 1}};
    std::memcpy(bytes.data() + 16, q, sizeof q);
    const float raw[6] = {7, 8, 9, 10, 11, 12};
    std::memcpy(bytes.data() + 40, raw, sizeof raw);
    ASSERT_TRUE(TVNFile_DecodePointsV2(scan.raw, bytes.data(), static_cast<int32_t>(bytes.size())));
    EXPECT_EQ(scan.raw.Profiles[0].Points[1].y, 3.0f);
    EXPECT_EQ(scan.raw.Profiles[0].Points[2].x, 6.0f);
    EXPECT_EQ(scan.raw.Profiles[0].Points[3].x, 1.0f + 65535 * 0.5f);
    EXPECT_EQ(scan.raw.Profiles[1].Points[1].z, 12.0f);
    EXPECT_FALSE(TVNFile_DecodePointsV2(scan.raw, bytes.data(), static_cast<int32_t>(bytes.size()) - 1));
}

TEST(PointCoder, NoProfilesDecodeOnlyAnEmptyItem) {
    ScanFixture scan;
    const uint8_t one = 0;
    EXPECT_TRUE(TVNFile_DecodePointsV1(scan.raw, nullptr, 0));
    EXPECT_FALSE(TVNFile_DecodePointsV1(scan.raw, &one, 1));
}

std::vector<uint32_t> Pack(const std::vector<uint32_t>& values, int n) {
    std::vector<uint32_t> words(values.size() + 1);
    words.resize(
        TVNFile_PackRuns([&](int32_t i) { return values[i]; }, static_cast<int32_t>(values.size()), n, words.data()));
    return words;
}

TEST(RunLengths, PackAndDecodeTable) {
    const std::vector<uint32_t> crop(70000, 3);
    const std::vector<uint32_t> cropWords = Pack(crop, 16);
    EXPECT_EQ(cropWords, (std::vector<uint32_t>{(3u << 16) | 65535u, (3u << 16) | 4465u}));

    // 20 million equal 8-bit values: two words, the first at the longest run.
    std::vector<uint32_t> words(3);
    EXPECT_EQ(TVNFile_PackRuns([](int32_t) { return 0u; }, 20000000, 8, words.data()), 2);
    EXPECT_EQ(words[0], 16777215u);
    EXPECT_EQ(words[1], 20000000u - 16777215u);

    const std::vector<uint32_t> mixed = {1, 1, 0, 0, 0, 1};
    EXPECT_EQ(Pack(mixed, 1), (std::vector<uint32_t>{0x80000002u, 3u, 0x80000001u}));

    struct Case {
        const char* name;
        std::vector<uint32_t> words;
        int32_t count;
        bool ok;
    };
    const Case cases[] = {
        {"exact", cropWords, 70000, true},
        {"one value too many in the words", cropWords, 69999, false},
        {"one value too few in the words", cropWords, 70001, false},
        {"a word with count 0", {(3u << 16) | 2u, 3u << 16, (3u << 16) | 1u}, 3, false},
        {"no words for no values", {}, 0, true},
        {"a word left over", {(3u << 16) | 2u, (1u << 16) | 1u}, 2, false},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> values(static_cast<std::size_t>(c.count) + 1);
        EXPECT_EQ(
            TVNFile_DecodeRunLengths(c.words.data(), static_cast<int32_t>(c.words.size()), values.data(), c.count, 16),
            c.ok)
            << c.name;
        if (c.ok && c.count) {
            EXPECT_EQ(values[c.count - 1], 3u);
        }
    }
}

TEST(RunLengths, SelectLevelRuleAndCropLevel) {
    struct Case {
        const char* name;
        std::vector<uint32_t> flags;
        uint32_t selectLimit, editLimit;
        int32_t words, level;
    };
    const Case cases[] = {
        {"none selected", std::vector<uint32_t>(10, 0), 0, 0, 1, 0},
        {"all selected", std::vector<uint32_t>(10, 1), 1, 0, 1, 1},
        {"selection above the limit counts as none", {2, 2, 0}, 1, 0, 1, 0},
        {"some selected", {0, 0, 1, 0}, 1, 0, 3, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScanFixture scan;
        scan.AddSweep({static_cast<int>(c.flags.size() / 2), static_cast<int>(c.flags.size() - c.flags.size() / 2)});
        scan.Process();
        scan.raw.SweepFirstPoint[1] = scan.raw.NumPoints = static_cast<int32_t>(c.flags.size());
        for (std::size_t i = 0; i < c.flags.size(); ++i) scan.raw.Points[i].Flags = c.flags[i] | (5u << 8);
        scan.raw.SelectionLimit = c.selectLimit;
        scan.raw.EditLimit = 4;
        StoreHolder s;
        SaveBuffers buffers;
        ASSERT_TRUE(TVNFile_PackSelectV1(s.store, scan.raw, buffers));
        ASSERT_TRUE(TVNFile_PackCropV1(s.store, scan.raw, buffers));
        EXPECT_EQ(s.Item("Raw/Editing/CompressedSelectV1")->sizes[0], c.words);
        EXPECT_EQ(*s.Item("Raw/Editing/SelectLevel")->As<int32_t>(), c.level);
        EXPECT_EQ(*s.Item("Raw/Editing/CropLevel")->As<int32_t>(), 4);
        // Crop level 5 is above the limit 4: written as 0.
        EXPECT_EQ(s.Item("Raw/Editing/CompressedCropV1")->As<uint32_t>()[0] >> 16, 0u);
    }
}

TEST(RunLengths, ProfileFlagsRoundTrip) {
    ScanFixture scan;
    scan.AddSweep({3, 3, 3, 3});
    const int32_t enabled[] = {1, 1, 0, 1};
    const int32_t status[] = {0x0102, 0x0102, 0x0307, 0x0007};
    for (int p = 0; p < 4; ++p) {
        scan.raw.Profiles[p].ReferenceEnabled = enabled[p];
        scan.raw.Profiles[p].ReceiverStatus = status[p];
        M4_MakeTranslation(Vec3{1.0f * p, 2, 3}, scan.raw.Profiles[p].RawReferenceRxMatrix);
    }
    StoreHolder s;
    SaveBuffers buffers;
    ASSERT_TRUE(TVNFile_PackRunLengthsV1(s.store, scan.raw, buffers));
    ASSERT_TRUE(TVNFile_PackRxStatusV1(s.store, scan.raw, buffers));
    const StoreItem* ref = s.Item("Raw/CompressedReferenceEnabledV1");
    const StoreItem* rx = s.Item("Raw/CompressedRxStatusV1");
    EXPECT_EQ(ref->sizes[0], 3);
    EXPECT_EQ(rx->sizes[0], 2 + 3);  // no word spans the two halves
    for (int p = 0; p < 4; ++p) {
        scan.raw.Profiles[p].ReferenceEnabled = 7;
        scan.raw.Profiles[p].ReceiverStatus = 0;
    }
    ASSERT_TRUE(TVNFile_DecodeReferenceEnabled(scan.raw, ref->As<uint32_t>(), ref->sizes[0]));
    ASSERT_TRUE(TVNFile_DecodeRxStatus(scan.raw, rx->As<uint32_t>(), rx->sizes[0]));
    for (int p = 0; p < 4; ++p) {
        EXPECT_EQ(scan.raw.Profiles[p].ReferenceEnabled, enabled[p]);
        EXPECT_EQ(scan.raw.Profiles[p].ReceiverStatus, status[p]);
        EXPECT_EQ(scan.raw.Profiles[p].ReferenceRxMatrix[12], enabled[p] ? 1.0f * p : 0.0f);
    }
    // A run going on across the two halves is accepted.
    const uint32_t across[] = {(5u << 24) | 8u};
    ASSERT_TRUE(TVNFile_DecodeRxStatus(scan.raw, across, 1));
    EXPECT_EQ(scan.raw.Profiles[3].ReceiverStatus, 0x0505);
}

TEST(FacetPacker, CheckedStreamOrPlainFacetsWithOneBox) {
    ScanFixture scan;
    scan.AddSweep({20, 20, 20});
    scan.Process();
    std::vector<AppMessage> boxes;
    App_SetMessageSink([&](const AppMessage& m) { boxes.push_back(m); });
    {
        StoreHolder s;
        SaveBuffers buffers;
        ASSERT_TRUE(TVNFile_PackFacetsV1(s.store, scan.raw, buffers));
        EXPECT_NE(s.Item("Raw/CompressedRawFacetsV1"), nullptr);
        EXPECT_EQ(s.Item("Raw/FacetsV1"), nullptr);
        EXPECT_TRUE(boxes.empty());
    }
    TVNFile_SetFacetCheckHookForTesting([](Facet* f, int32_t n) {
        if (n > 5) std::swap(f[5].v[0], f[5].v[1]);  // reversed: not the same facet
    });
    {
        StoreHolder s;
        SaveBuffers buffers;
        ASSERT_TRUE(TVNFile_PackFacetsV1(s.store, scan.raw, buffers));
        EXPECT_EQ(s.Item("Raw/CompressedRawFacetsV1"), nullptr);
        const StoreItem* plain = s.Item("Raw/FacetsV1");
        ASSERT_NE(plain, nullptr);
        EXPECT_EQ(plain->sizes, (std::vector<int32_t>{scan.raw.NumFacets, 3}));
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].textKey, "ErrorTVNCompressionFailed");
        EXPECT_EQ(boxes[0].titleKey, "StandardDialogErrorTitle");
        EXPECT_TRUE(boxes[0].ownerless);
    }
    TVNFile_SetFacetCheckHookForTesting(nullptr);
    App_SetMessageSink(nullptr);
}

TEST(Packers, EachFailsWhenItsBufferCannotBeHad) {
    ScanFixture scan;
    scan.AddSweep({20, 20, 20});
    scan.Process();
    using Packer = bool (*)(ItemStore*, const RawData&, SaveBuffers&);
    const Packer packers[] = {TVNFile_PackPointsV1, TVNFile_PackRunLengthsV1, TVNFile_PackRxStatusV1,
                              TVNFile_PackSelectV1, TVNFile_PackCropV1,       TVNFile_PackFacetsV1};
    for (Packer packer : packers) {
        StoreHolder s;
        SaveBuffers buffers;
        ScanFile_FailAllocationForTesting(1);
        EXPECT_FALSE(packer(s.store, scan.raw, buffers));
        EXPECT_TRUE(buffers.outOfMemory);
        ScanFile_FailAllocationForTesting(0);
    }
}

}  // namespace
