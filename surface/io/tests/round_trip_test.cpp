// Every object kind saved and loaded in both encodings: binary bit for bit,
// ASCII to the 15 digits of "%.15g"; the loaders of either dimension or kind
// on the same files; and, natively, a reader in Python written from the
// format's description alone finds the same numbers in every file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "surface/io/container.h"
#include "surface/io/grid_file.h"
#include "surface/io/load_any.h"
#include "surface/io/mesh_file.h"
#include "surface/io/point_list_file.h"
#include "surface/io/scan_file.h"
#include "surface/io/solution_file.h"
#include "surface/io/tests/data_objects.h"

namespace {

using namespace data_objects;

const char kFolder[] = "round_trip_files";

std::string PathOf(const std::string& name, int32_t ascii) {
    return std::string(kFolder) + "/" + name + (ascii ? ".txt" : ".bin");
}

// Every object kind: visit(name, object, save, load, same, free, build).
template <class Visit>
void ForEveryObject(Visit visit) {
    PointList2 list2{};
    MakeList<PointList2, 2>(&list2, &PointList2_Create, &PointList2_AddAltSet);
    visit("points2", list2, &Selvane_SavePointList2, &Selvane_LoadPointList2, &ExpectSameList<PointList2, 2>,
          &PointList2_Free, [](const PointList2* l, ContainerIndex* i) { return PointList2_BuildItems(l, 0, i); });
    PointList2_Free(&list2);
    PointList3 list3{};
    MakeList<PointList3, 3>(&list3, &PointList3_Create, &PointList3_AddAltSet);
    visit("points3", list3, &Selvane_SavePointList3, &Selvane_LoadPointList3, &ExpectSameList<PointList3, 3>,
          &PointList3_Free, [](const PointList3* l, ContainerIndex* i) { return PointList3_BuildItems(l, 0, i); });
    PointList3_Free(&list3);
    for (bool gradient : {false, true}) {
        const std::string tag = gradient ? "_gradient" : "";
        Grid2 grid2;
        MakeGrid<Grid2, 2>(&grid2, gradient, &Grid2_CheckSize);
        visit("grid2" + tag, grid2, &Selvane_SaveGrid2, &Selvane_LoadGrid2, &ExpectSameGrid<Grid2, 2>, &Grid2_Free,
              &Grid2_BuildItems);
        Grid2_Free(&grid2);
        Grid3 grid3;
        MakeGrid<Grid3, 3>(&grid3, gradient, &Grid3_CheckSize);
        visit("grid3" + tag, grid3, &Selvane_SaveGrid3, &Selvane_LoadGrid3, &ExpectSameGrid<Grid3, 3>, &Grid3_Free,
              &Grid3_BuildItems);
        Grid3_Free(&grid3);
    }
    for (int32_t degree = -1; degree <= 2; ++degree) {
        const bool indices = degree % 2 == 0;
        const std::string tag = std::to_string(degree + 1) + (indices ? "_indices" : "");
        Solution2 s2;
        MakeSolution<Solution2, 2>(&s2, indices, degree, &Solution2_Create, &Solution2_Check);
        visit("solution2_" + tag, s2, &Selvane_SaveSolution2, &Selvane_LoadSolution2, &ExpectSameSolution<Solution2, 2>,
              &Solution2_Free, &Solution2_BuildItems);
        Solution2_Free(&s2);
        Solution3 s3;
        MakeSolution<Solution3, 3>(&s3, !indices, degree, &Solution3_Create, &Solution3_Check);
        visit("solution3_" + tag, s3, &Selvane_SaveSolution3, &Selvane_LoadSolution3, &ExpectSameSolution<Solution3, 3>,
              &Solution3_Free, &Solution3_BuildItems);
        Solution3_Free(&s3);
    }
    Scan3 scan;
    MakeScan(&scan);
    visit("scan", scan, &Selvane_SaveScan3, &Selvane_LoadScan3, &ExpectSameScan, &Scan3_Free, &Scan3_BuildItems);
    Scan3_Free(&scan);
    const struct {
        const char* name;
        int32_t triangles, quads;
    } meshes[] = {{"mesh_tri", 3, 0}, {"mesh_quad", 0, 2}, {"mesh_both", 2, 1}};
    for (const auto& m : meshes) {
        Mesh3 mesh{};
        MakeMesh(&mesh, m.triangles, m.quads);
        visit(m.name, mesh, &Selvane_SaveMesh3, &Selvane_LoadMesh3, &ExpectSameMesh, &Mesh3_Free, &Mesh3_BuildItems);
        Mesh3_Free(&mesh);
    }
}

// Saves, loads back, compares, and saves the loaded copy again: the two
// files must be the same bytes.
struct RoundTrip {
    template <class T, class Save, class Load, class Same, class Free, class Build>
    void operator()(const std::string& name, const T& original, Save save, Load load, Same same, Free free,
                    Build) const {
        for (int32_t ascii : {0, 1}) {
            SCOPED_TRACE(name + (ascii ? " ASCII" : " binary"));
            const std::string path = PathOf(name, ascii), again = path + ".again";
            std::FILE* f = std::fopen(path.c_str(), "wb");
            ASSERT_NE(nullptr, f);
            ASSERT_EQ(0, save(&original, f, ascii, nullptr));
            std::fclose(f);
            T back{};
            int32_t line = 0;
            f = std::fopen(path.c_str(), "rb");
            ASSERT_EQ(0, load(&back, f, &line, nullptr));
            std::fclose(f);
            EXPECT_EQ(ascii ? 1 : -1, line > 0 ? 1 : line);
            same(original, back, ascii != 0);
            f = std::fopen(again.c_str(), "wb");
            ASSERT_EQ(0, save(&back, f, ascii, nullptr));
            std::fclose(f);
            EXPECT_EQ(ReadAll(path.c_str()), ReadAll(again.c_str()));
            std::remove(again.c_str());
            std::remove(path.c_str());
            free(&back);
        }
    }
};

class RoundTripTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
#ifdef _WIN32
        std::system("mkdir round_trip_files 2> NUL");
#else
        std::system("mkdir -p round_trip_files");
#endif
    }
};

TEST_F(RoundTripTest, EveryKindInBothEncodings) { ForEveryObject(RoundTrip{}); }

#ifndef _WIN32
// The numbers of every item as the object's own items give them, one item a
// line: name, kind, dimensions, then the values ("%.17g" for doubles), for
// the Python reader to compare with.
void WriteExpected(const std::string& name, const ContainerIndex& index) {
    std::FILE* f = std::fopen((std::string(kFolder) + "/" + name + ".expected").c_str(), "wb");
    ASSERT_NE(nullptr, f);
    for (int32_t i = 0; i < index.itemCount; ++i) {
        const ContainerItem& item = index.items[i];
        std::fprintf(f, "%s %s %d", item.name, ContainerKind_Name(item.kind), item.dimensionCount);
        for (int32_t d = 0; d < item.dimensionCount; ++d) std::fprintf(f, " %d", item.dimensions[d]);
        std::fprintf(f, " :");
        const int64_t count = ContainerItem_Elements(&item);
        for (int64_t e = 0; e < count; ++e) {
            if (item.kind == ContainerKind_Double)
                std::fprintf(f, " %.17g", static_cast<const double*>(item.data)[e]);
            else if (item.kind == ContainerKind_Integer)
                std::fprintf(f, " %d", static_cast<const int32_t*>(item.data)[e]);
            else
                std::fprintf(f, " %d", static_cast<const unsigned char*>(item.data)[e]);
        }
        std::fprintf(f, "\n");
    }
    std::fclose(f);
}

// Writes every kind in both encodings with the numbers its items hold, and
// lets the Python reader compare (one run for all files).
TEST_F(RoundTripTest, PythonReaderFindsTheSameNumbers) {
    std::string arguments;
    ForEveryObject([&](const std::string& name, const auto& object, auto save, auto, auto, auto, auto build) {
        for (int32_t ascii : {0, 1}) {
            std::FILE* f = std::fopen(PathOf(name, ascii).c_str(), "wb");
            ASSERT_NE(nullptr, f);
            ASSERT_EQ(0, save(&object, f, ascii, nullptr));
            std::fclose(f);
        }
        ContainerIndex index;
        Container_ResetIndex(&index);
        ASSERT_TRUE(build(&object, &index));
        WriteExpected(name, index);
        Container_FreeItems(&index);
        arguments += " " + std::string(kFolder) + "/" + name + ".expected " + PathOf(name, 0) + " " + PathOf(name, 1);
    });
    const std::string command =
        std::string("python3 ") + TEST_SOURCE_DIR + "/tests/tavir_reader.py --check" + arguments;
    EXPECT_EQ(0, std::system(command.c_str())) << command;
}
#endif

// Files of every kind through the loaders of either dimension or kind.
TEST_F(RoundTripTest, LoadersOfEitherKindTellDimensionAndKind) {
    Grid2 g2;
    Grid3 g3;
    MakeGrid<Grid2, 2>(&g2, true, &Grid2_CheckSize);
    MakeGrid<Grid3, 3>(&g3, false, &Grid3_CheckSize);
    Solution2 s2;
    Solution3 s3;
    MakeSolution<Solution2, 2>(&s2, true, 1, &Solution2_Create, &Solution2_Check);
    MakeSolution<Solution3, 3>(&s3, false, 0, &Solution3_Create, &Solution3_Check);
    PointList2 l2{};
    PointList3 l3{};
    MakeList<PointList2, 2>(&l2, &PointList2_Create, &PointList2_AddAltSet);
    MakeList<PointList3, 3>(&l3, &PointList3_Create, &PointList3_AddAltSet);
    Scan3 scan;
    MakeScan(&scan);
    Mesh3 mesh{};
    MakeMesh(&mesh, 2, 1);
    const char* path = "round_trip_any.tvr";
    for (int32_t ascii : {0, 1}) {
        const auto save = [&](auto saver, const auto* object) {
            std::FILE* f = std::fopen(path, "wb");
            ASSERT_EQ(0, saver(object, f, ascii, nullptr));
            std::fclose(f);
        };
        const auto open = [&] { return std::fopen(path, "rb"); };
        int32_t dimension = 0, line = 0, kind = 0;
        Grid2 b2{};
        Grid3 b3{};
        save(&Selvane_SaveGrid2, &g2);
        std::FILE* f = open();
        EXPECT_EQ(0, Selvane_LoadGridAny(&b2, &b3, &dimension, f, &line, nullptr));
        std::fclose(f);
        EXPECT_EQ(2, dimension);
        ExpectSameGrid<Grid2, 2>(g2, b2, ascii);
        EXPECT_EQ(nullptr, b3.Value);
        Grid2_Free(&b2);
        save(&Selvane_SaveGrid3, &g3);
        f = open();
        EXPECT_EQ(0, Selvane_LoadGridAny(&b2, &b3, &dimension, f, &line, nullptr));
        std::fclose(f);
        EXPECT_EQ(3, dimension);
        ExpectSameGrid<Grid3, 3>(g3, b3, ascii);
        Grid3_Free(&b3);

        Solution2 t2{};
        Solution3 t3{};
        save(&Selvane_SaveSolution2, &s2);
        f = open();
        EXPECT_EQ(0, Selvane_LoadSolutionAny(&t2, &t3, &dimension, f, &line, nullptr));
        std::fclose(f);
        EXPECT_EQ(2, dimension);
        ExpectSameSolution<Solution2, 2>(s2, t2, ascii);
        Solution2_Free(&t2);
        save(&Selvane_SaveSolution3, &s3);
        f = open();
        EXPECT_EQ(0, Selvane_LoadSolutionAny(&t2, &t3, &dimension, f, &line, nullptr));
        std::fclose(f);
        EXPECT_EQ(3, dimension);
        ExpectSameSolution<Solution3, 3>(s3, t3, ascii);
        Solution3_Free(&t3);

        PointList2 p2{};
        PointList3 p3{};
        Scan3 bs{};
        Mesh3 bm{};
        save(&Selvane_SavePointList3, &l3);
        f = open();
        EXPECT_EQ(0, Selvane_LoadPointListAny(&p2, &p3, &dimension, f, &line, nullptr));
        std::fclose(f);
        EXPECT_EQ(3, dimension);
        ExpectSameList<PointList3, 3>(l3, p3, ascii);
        PointList3_Free(&p3);

        // Selvane_LoadAll: every kind, the objects of the others left empty.
        const auto loadAll = [&] {
            std::FILE* g = open();
            const int status = Selvane_LoadAll(&p2, &p3, &bs, &bm, &kind, g, &line, nullptr);
            std::fclose(g);
            return status;
        };
        save(&Selvane_SavePointList2, &l2);
        ASSERT_EQ(0, loadAll());
        EXPECT_EQ(LoadedKind_PointList2, kind);
        ExpectSameList<PointList2, 2>(l2, p2, ascii);
        PointList2_Free(&p2);
        save(&Selvane_SavePointList3, &l3);
        ASSERT_EQ(0, loadAll());
        EXPECT_EQ(LoadedKind_PointList3, kind);
        ExpectSameList<PointList3, 3>(l3, p3, ascii);
        PointList3_Free(&p3);
        save(&Selvane_SaveMesh3, &mesh);
        ASSERT_EQ(0, loadAll());
        EXPECT_EQ(LoadedKind_Mesh, kind);
        EXPECT_EQ(0, p3.Count);
        EXPECT_EQ(nullptr, p3.Location);
        ExpectSameMesh(mesh, bm, ascii);
        Mesh3_Free(&bm);
        save(&Selvane_SaveScan3, &scan);
        ASSERT_EQ(0, loadAll());
        EXPECT_EQ(LoadedKind_Scan, kind);
        EXPECT_EQ(nullptr, p3.Location);
        ExpectSameScan(scan, bs, ascii);
        Scan3_Free(&bs);
    }
    std::remove(path);
    Grid2_Free(&g2);
    Grid3_Free(&g3);
    Solution2_Free(&s2);
    Solution3_Free(&s3);
    PointList2_Free(&l2);
    PointList3_Free(&l3);
    Scan3_Free(&scan);
    Mesh3_Free(&mesh);
}

}  // namespace
