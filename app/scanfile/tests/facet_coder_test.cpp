#include "app/scanfile/facet_coder.h"

#include "app/scan/tests/scan_fixture.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <cstdlib>
#include <random>
#include <vector>

namespace {

std::vector<uint8_t> Compress(const std::vector<Facet>& facets) {
    uint8_t* bytes = nullptr;
    int32_t count = 0;
    EXPECT_EQ(FacetCoder_CompressFacets(facets.data(), static_cast<int32_t>(facets.size()), &bytes, &count), 1);
    std::vector<uint8_t> out(bytes, bytes + count);
    std::free(bytes);
    return out;
}

Facet* GrowWithRealloc(Facet* old, int32_t capacity, void*) {
    return static_cast<Facet*>(std::realloc(old, sizeof(Facet) * capacity));
}

struct Decoded {
    int result = 0;
    std::vector<Facet> facets;
    int32_t capacity = 0;
};

Decoded Decompress(const std::vector<uint8_t>& bytes) {
    Decoded d;
    Facet* array = nullptr;
    int32_t count = 0;
    d.result = FacetCoder_Decompress(bytes.data(), static_cast<int32_t>(bytes.size()), GrowWithRealloc, nullptr, &array,
                                     &count, &d.capacity);
    d.facets.assign(array, array + count);
    std::free(array);
    return d;
}

bool Degenerate(const Facet& f) { return f.v[0] == f.v[1] || f.v[1] == f.v[2] || f.v[0] == f.v[2]; }

// Same corners in the same order up to a cyclic turn.
bool SameFacet(const Facet& a, const Facet& b) {
    for (int t = 0; t < 3; ++t)
        if (a.v[0] == b.v[t] && a.v[1] == b.v[(t + 1) % 3] && a.v[2] == b.v[(t + 2) % 3]) return true;
    return false;
}

void ExpectRoundTrip(const std::vector<Facet>& facets) {
    const Decoded d = Decompress(Compress(facets));
    ASSERT_EQ(d.result, 1);
    std::size_t k = 0;
    for (const Facet& f : facets) {
        if (Degenerate(f)) continue;
        ASSERT_LT(k, d.facets.size());
        ASSERT_TRUE(SameFacet(f, d.facets[k])) << "facet " << k;
        ++k;
    }
    EXPECT_EQ(k, d.facets.size());
}

// The facets a strip 0, 1, 2, ..., n + 1 decodes to.
std::vector<Facet> LongStrip(int32_t n) {
    std::vector<Facet> facets(n);
    for (int32_t k = 0; k < n; ++k) facets[k] = (k % 2 == 0) ? Facet{{k + 2, k, k + 1}} : Facet{{k + 2, k + 1, k}};
    return facets;
}

TEST(FacetCoder, GoldenStreams) {
    struct Case {
        const char* name;
        std::vector<Facet> facets;
        std::vector<uint8_t> bytes;
        std::vector<Facet> decoded;
    };
    const Case cases[] = {
        {"empty list", {}, {0, 0, 0, 0, 0, 0}, {}},
        {"single facet", {{{4, 5, 6}}}, {0x03, 0xE0, 0, 0, 0, 0x94, 0, 0, 0, 0, 0}, {{{6, 4, 5}}}},
        {"two facets sharing an edge",
         {{{1, 2, 3}}, {{3, 2, 4}}},
         {0x04, 0x54, 0, 0, 0, 0, 0},
         {{{3, 1, 2}}, {{4, 3, 2}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = Compress(c.facets);
        EXPECT_EQ(bytes, c.bytes);
        const Decoded d = Decompress(bytes);
        ASSERT_EQ(d.result, 1);
        ASSERT_EQ(d.facets.size(), c.decoded.size());
        for (std::size_t k = 0; k < d.facets.size(); ++k)
            for (int j = 0; j < 3; ++j) EXPECT_EQ(d.facets[k].v[j], c.decoded[k].v[j]);
    }
}

TEST(FacetCoder, RandomListsRoundTripWithDegenerateFacetsDropped) {
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        std::vector<Facet> facets(1 + random() % 400);
        const int32_t spread = 1 + static_cast<int32_t>(random() % 50);
        for (Facet& f : facets)
            for (int32_t& v : f.v) v = static_cast<int32_t>(random() % spread) - (round == 3 ? spread / 2 : 0);
        ExpectRoundTrip(facets);
    }
    ExpectRoundTrip({{{INT32_MAX, 0, -1}}, {{INT32_MIN, INT32_MAX, 5}}, {{2, 2, 3}}});
}

TEST(FacetCoder, ScanStripsRoundTripIntoFewStrips) {
    ScanFixture scan;
    scan.AddSweep({40, 40, 40, 40, 12, 12});
    scan.AddSweep({30, 30, 30});
    scan.Process();
    std::vector<Facet> facets(scan.raw.Facets, scan.raw.Facets + scan.raw.NumFacets);
    ExpectRoundTrip(facets);
    // Profile-pair strips: a few bits a vertex, far below 12 bytes a facet.
    EXPECT_LT(Compress(facets).size(), facets.size() * 2);
}

TEST(FacetCoder, DecoderGrowsFromCapacityZeroTo1024) {
    const Decoded d = Decompress(Compress(LongStrip(10)));
    EXPECT_EQ(d.result, 1);
    EXPECT_EQ(d.capacity, 1024);
}

TEST(FacetCoder, CutStreamFailsWithoutReadingPastItsEnd) {
    const std::vector<uint8_t> whole = Compress(LongStrip(50));
    for (std::size_t cut = 0; cut + 1 < whole.size(); ++cut) {
        // A copy of exactly the cut length, so ASan sees any read past it.
        std::vector<uint8_t> part(whole.begin(), whole.begin() + cut);
        EXPECT_EQ(Decompress(part).result, 0) << "cut at " << cut;
    }
}

TEST(FacetCoder, FailedGrowthReportsTheFacetsDecoded) {
    const std::vector<uint8_t> bytes = Compress(LongStrip(1500));
    Facet* array = nullptr;
    int32_t count = 0, capacity = 0;
    const auto growOnce = [](Facet* old, int32_t n, void*) -> Facet* {
        return old ? nullptr : static_cast<Facet*>(std::malloc(sizeof(Facet) * n));
    };
    EXPECT_EQ(FacetCoder_Decompress(bytes.data(), static_cast<int32_t>(bytes.size()), growOnce, nullptr, &array, &count,
                                    &capacity),
              0);
    EXPECT_EQ(count, 1024);
    std::free(array);
}

// A strip through a million facets is built on a thread whose stack holds
// 256 KiB: the strip length recursion must not use the call stack.
void* CodeMillionStrip(void* outcome) {
    const std::vector<Facet> facets = LongStrip(1000000);
    const std::vector<uint8_t> bytes = Compress(facets);
    const Decoded d = Decompress(bytes);
    bool same = d.result == 1 && d.facets.size() == facets.size();
    for (std::size_t k = 0; same && k < facets.size(); ++k) same = SameFacet(facets[k], d.facets[k]);
    // One strip: the long count, the first two vertices, then a bit or two a vertex.
    *static_cast<bool*>(outcome) = same && bytes.size() < 300000;
    return nullptr;
}

TEST(FacetCoder, MillionFacetStripOnA256KiBStack) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, 256 * 1024), 0);
    bool outcome = false;
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attributes, CodeMillionStrip, &outcome), 0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    pthread_attr_destroy(&attributes);
    EXPECT_TRUE(outcome);
}

}  // namespace
