#include "surface/eval/octree.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

Octree* Small(int32_t level = 6) { return Octree_Create(level, 1, 1, 2, 2, sizeof(int32_t), 4); }

TEST(OctreeTest, FindOutsideTheCubeGivesNoneWithoutTouchingTheTree) {
    Octree* t = Small(4);
    ASSERT_NE(nullptr, t);
    ASSERT_NE(nullptr, Octree_AddVoxel(3, 3, 3, t));
    const int32_t panels = t->NumPanels, reads = t->NumWriteReads;
    EXPECT_EQ(nullptr, Octree_FindVoxel(-1, 0, 0, t));
    EXPECT_EQ(nullptr, Octree_FindVoxel(0, 16, 0, t));
    EXPECT_EQ(nullptr, Octree_FindVoxel(0, 0, 16, t));
    EXPECT_EQ(panels, t->NumPanels);
    EXPECT_EQ(reads, t->NumWriteReads);
    EXPECT_NE(nullptr, Octree_FindVoxel(3, 3, 3, t));
    EXPECT_EQ(reads + 1, t->NumWriteReads);
    Octree_Free(t);
}

TEST(OctreeTest, AddingTwiceReturnsTheSameUnitAndCountsAnOverwrite) {
    Octree* t = Small();
    void* first = nullptr;
    void* second = nullptr;
    EXPECT_EQ(1, Octree_AddVoxelStatus(5, 9, 2, t, &first));
    EXPECT_EQ(2, Octree_AddVoxelStatus(5, 9, 2, t, &second));
    EXPECT_EQ(first, second);
    EXPECT_EQ(1, t->Overwrite);
    EXPECT_EQ(1, t->NumVoxels);
    EXPECT_EQ(5, t->Min[0]);
    EXPECT_EQ(9, t->Max[1]);
    Octree_Free(t);
}

TEST(OctreeTest, DeletingTheOnlyVoxelFreesItsPathAndAddingAgainReusesIt) {
    Octree* t = Small(6);
    Octree_SetNonExpanding(t);
    void* unit = Octree_AddVoxel(40, 1, 63, t);
    ASSERT_NE(nullptr, unit);
    EXPECT_EQ(6, t->NumPanels);  // the root and one panel a level below it
    EXPECT_EQ(unit, Octree_DeleteVoxel(40, 1, 63, t));
    EXPECT_EQ(5, t->NumDelPanels);
    EXPECT_EQ(1, t->NumDelVoxels);
    EXPECT_EQ(nullptr, Octree_FindVoxel(40, 1, 63, t));
    for (void* c : t->Root->Child) EXPECT_EQ(nullptr, c);
    EXPECT_EQ(unit, Octree_AddVoxel(7, 7, 7, t));
    EXPECT_EQ(1, t->NumVoxels);
    EXPECT_EQ(6, t->NumPanels);
    EXPECT_EQ(0, t->NumDelPanels);
    EXPECT_EQ(nullptr, Octree_DeleteVoxel(8, 7, 7, t));
    Octree_Free(t);
}

TEST(OctreeTest, SelfExpandingTreeGrowsForNegativeCoordinates) {
    Octree* t = Small(4);
    *static_cast<int32_t*>(Octree_AddVoxel(2, 2, 2, t)) = 7;
    ASSERT_NE(nullptr, Octree_AddVoxel(-3, 0, 0, t));
    EXPECT_EQ(5, t->MaxLevel);
    EXPECT_EQ(16, t->Ioffset);
    EXPECT_EQ(0, t->Joffset);
    EXPECT_EQ(7, *static_cast<int32_t*>(Octree_FindVoxel(2, 2, 2, t)));
    EXPECT_EQ(-3, t->Min[0]);
    // Deleting the far voxel lowers the root again.
    Octree_DeleteVoxel(-3, 0, 0, t);
    EXPECT_EQ(7, *static_cast<int32_t*>(Octree_FindVoxel(2, 2, 2, t)));
    EXPECT_LT(t->MaxLevel, 5);
    // A non-expanding tree refuses what lies outside.
    Octree* fixed = Small(4);
    Octree_SetNonExpanding(fixed);
    EXPECT_EQ(nullptr, Octree_AddVoxel(-1, 0, 0, fixed));
    EXPECT_EQ(nullptr, Octree_AddVoxel(16, 0, 0, fixed));
    // Growth stops at its limit.
    Octree* deep = Small(kOctreeGrowthLimit);
    EXPECT_EQ(nullptr, Octree_AddVoxel(-1, 0, 0, deep));
    EXPECT_EQ(nullptr, Octree_Create(0, 1, 1, 2, 2, 4, 4));
    EXPECT_EQ(nullptr, Octree_Create(24, 1, 1, 2, 2, 4, 4));
    Octree_Free(t);
    Octree_Free(fixed);
    Octree_Free(deep);
}

using Key = std::tuple<int32_t, int32_t, int32_t>;

void ExpectSame(const std::map<Key, int32_t>& model, Octree* t) {
    for (const auto& [key, value] : model) {
        const auto* unit =
            static_cast<const int32_t*>(Octree_FindVoxel(std::get<0>(key), std::get<1>(key), std::get<2>(key), t));
        ASSERT_NE(nullptr, unit);
        EXPECT_EQ(value, *unit);
    }
}

TEST(OctreeTest, RandomWalkAgreesWithAMapAndReusesFreedMemory) {
    Octree* t = Small(3);
    std::map<Key, int32_t> model;
    std::mt19937 rng(17);
    std::uniform_int_distribution<int32_t> coord(-20, 40), op(0, 9);
    size_t peak = 0;
    for (int step = 0; step < 20000; ++step) {
        const Key key{coord(rng), coord(rng), coord(rng) / 4};
        const auto [i, j, k] = key;
        if (op(rng) < 6 || model.empty()) {
            void* unit = nullptr;
            const int status = Octree_AddVoxelStatus(i, j, k, t, &unit);
            ASSERT_EQ(model.count(key) ? 2 : 1, status);
            *static_cast<int32_t*>(unit) = step;
            model[key] = step;
        } else {
            auto it = model.begin();
            std::advance(it, std::uniform_int_distribution<size_t>(0, model.size() - 1)(rng));
            const auto [a, b, c] = it->first;
            ASSERT_NE(nullptr, Octree_DeleteVoxel(a, b, c, t));
            EXPECT_EQ(nullptr, Octree_FindVoxel(a, b, c, t));
            model.erase(it);
        }
        peak = std::max(peak, model.size());
        if (step % 2000 == 0) ExpectSame(model, t);
    }
    ExpectSame(model, t);
    // Units come from the free list before the pool grows.
    EXPECT_EQ(static_cast<int32_t>(peak), t->NumVoxels);
    EXPECT_EQ(static_cast<int32_t>(model.size()), t->NumVoxels - t->NumDelVoxels);

    // Save and load give the same voxels and header.
    std::FILE* f = std::tmpfile();
    ASSERT_NE(nullptr, f);
    ASSERT_EQ(1, Octree_Save(f, t));
    std::rewind(f);
    Octree* loaded = Octree_Load(f);
    ASSERT_NE(nullptr, loaded);
    ExpectSame(model, loaded);
    EXPECT_EQ(t->MaxLevel, loaded->MaxLevel);
    EXPECT_EQ(t->Ioffset, loaded->Ioffset);
    EXPECT_EQ(t->NumDelVoxels, loaded->NumDelVoxels);
    EXPECT_EQ(t->NumDelPanels, loaded->NumDelPanels);
    // The loaded tree goes on working, from its free lists first.
    const int32_t voxels = loaded->NumVoxels;
    for (int n = 0; n < loaded->NumDelVoxels; ++n) ASSERT_NE(nullptr, Octree_AddVoxel(100 + n, 0, 0, loaded));
    EXPECT_EQ(voxels, loaded->NumVoxels);
    Octree_Free(loaded);

    // Every truncation of the file, a wrong magic and a number outside the
    // pools give none.
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    std::rewind(f);
    ASSERT_EQ(bytes.size(), std::fread(bytes.data(), 1, bytes.size(), f));
    std::fclose(f);
    auto loads = [](const std::vector<unsigned char>& data, size_t length) {
        std::FILE* g = std::tmpfile();
        std::fwrite(data.data(), 1, length, g);
        std::rewind(g);
        Octree* tree = Octree_Load(g);
        std::fclose(g);
        const bool ok = tree != nullptr;
        Octree_Free(tree);
        return ok;
    };
    EXPECT_TRUE(loads(bytes, bytes.size()));
    for (size_t cut : {size_t{0}, size_t{3}, size_t{40}, bytes.size() / 2, bytes.size() - 1})
        EXPECT_FALSE(loads(bytes, cut)) << cut;
    std::vector<unsigned char> wrong = bytes;
    wrong[0] ^= 1;
    EXPECT_FALSE(loads(wrong, wrong.size()));
    // The first panel's first child number (after magic, 27 header ints, the
    // root number, its parent and level word) pointed far outside.
    std::vector<unsigned char> outside = bytes;
    const size_t at = 4 * (1 + 27 + 1 + 2);
    outside[at + 3] = 0x3F;
    EXPECT_FALSE(loads(outside, outside.size()));
    Octree_Free(t);
}

// The saved file's ints, and a load of them back.
std::vector<int32_t> Saved(const Octree* t) {
    std::FILE* f = std::tmpfile();
    Octree_Save(f, t);
    std::vector<int32_t> ints(static_cast<size_t>(std::ftell(f)) / 4);
    std::rewind(f);
    EXPECT_EQ(ints.size(), std::fread(ints.data(), 4, ints.size(), f));
    std::fclose(f);
    return ints;
}
Octree* Loaded(const std::vector<int32_t>& ints) {
    std::FILE* f = std::tmpfile();
    std::fwrite(ints.data(), 4, ints.size(), f);
    std::rewind(f);
    Octree* t = Octree_Load(f);
    std::fclose(f);
    return t;
}

TEST(OctreeTest, LoadRefusesLinksThatMakeNoTree) {
    // Three panels on one path: the root (level 3), its child (2) and
    // grandchild (1), which holds the voxel.
    Octree* t = Small(3);
    ASSERT_NE(nullptr, Octree_AddVoxel(0, 0, 0, t));
    ASSERT_EQ(3, t->NumPanels);
    const std::vector<int32_t> ints = Saved(t);
    const size_t header = 1 + 27, panels = header + 1;
    const int32_t root = ints[header];
    const auto* child = static_cast<const OctreePanel*>(t->Root->Child[0]);
    ASSERT_NE(nullptr, child);
    const int32_t grandchild = static_cast<const OctreePanel*>(child->Child[0])->Number;
    auto childSlot = [&](int32_t panel) { return panels + 10 * static_cast<size_t>(panel) + 2; };
    Octree* same = Loaded(ints);
    ASSERT_NE(nullptr, same);
    EXPECT_NE(nullptr, Octree_FindVoxel(0, 0, 0, same));
    Octree_Free(same);
    struct Case {
        const char* what;
        size_t at;
        int32_t value;
    } cases[] = {
        {"the root its own child", childSlot(root), root},
        {"a level skipped", childSlot(root), grandchild},
        {"a child naming another parent", panels + 10 * static_cast<size_t>(grandchild), root},
    };
    for (const Case& c : cases) {
        std::vector<int32_t> bad = ints;
        bad[c.at] = c.value;
        Octree* loaded = Loaded(bad);
        EXPECT_EQ(nullptr, loaded) << c.what;
        Octree_Free(loaded);
    }
    Octree_Free(t);
}

std::string g_dump;
int Print(void*, const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    g_dump += buffer;
    return 0;
}
void PrintUnit(void* user, OctreePrinter printer, const void* unit) {
    printer(user, "%d ", *static_cast<const int32_t*>(unit));
}

TEST(OctreeTest, TextDumpPrintsTheHeaderAndTheClippedData) {
    Octree* t = Small(2);
    *static_cast<int32_t*>(Octree_AddVoxel(1, 0, 0, t)) = 5;
    g_dump.clear();
    Octree_write_octree(nullptr, &Print, t, &PrintUnit, 2, nullptr, nullptr);
    EXPECT_EQ("Octree_write_octree: No Null value\n", g_dump);
    g_dump.clear();
    const int32_t none = -1;
    const int32_t ranges[6] = {2, 0, 0, 0, 0, 0};
    Octree_write_octree(nullptr, &Print, t, &PrintUnit, 2, &none, ranges);
    EXPECT_NE(std::string::npos, g_dump.find("NumVoxels  1\n"));
    EXPECT_NE(std::string::npos, g_dump.find("Self expanding Octree\n"));
    EXPECT_NE(std::string::npos, g_dump.find("(Index clipped data (0,2) (0,0) (0,0) ) "));
    EXPECT_NE(std::string::npos, g_dump.find("Z Level 0\n\n-1 5 -1 \n"));
    g_dump.clear();
    Octree_write_octree(nullptr, &Print, t, nullptr, 1, &none, nullptr);
    EXPECT_NE(std::string::npos, g_dump.find("NULL Data fn\n\n"));
    Octree_Free(t);
}

}  // namespace
