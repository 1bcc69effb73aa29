#include "surface/fit/wavefront_objects.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "surface/fit/poly_mesh.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

// Two objects over the same five points: two triangles of a square, and a
// triangle with a quad.
const double kPoints[] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0.5, 0.5, 1};

struct Objects {
    PolyMesh meshes[2];
    Objects() {
        const int32_t square[] = {0, 1, 2, 0, 2, 3};
        const int32_t tri[] = {0, 1, 4}, quad[] = {1, 2, 3, 4};
        EXPECT_EQ(PolyMesh_Build(5, kPoints, 2, square, 0, nullptr, 0, &meshes[0]), 0);
        EXPECT_EQ(PolyMesh_Build(5, kPoints, 1, tri, 1, quad, 0, &meshes[1]), 0);
    }
    ~Objects() {
        PolyMesh_Free(&meshes[0]);
        PolyMesh_Free(&meshes[1]);
    }
};

std::string Path(const char* stem) {
    std::string path = testing::TempDir() + stem;
#ifndef _WIN32
    path += "-" + std::to_string(static_cast<long>(getpid()));
#endif
    return path + ".obj";
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(WavefrontObjects, TwoGroupsOverTheFirstObjectsPoints) {
    Objects objects;
    const std::string path = Path("two_objects");
    ASSERT_EQ(SaveMultiObjectWavefront(path.c_str(), "two parts", 2, objects.meshes), 1);
    const auto lines = Lines(path);
    ASSERT_EQ(lines.size(), 2u + 5u + 2 * 4u + 4u);
    EXPECT_EQ(lines[0].rfind("# Wavefront file created by SaveMultiObjectWavefront on ", 0), 0u);
    EXPECT_EQ(lines[1], "# two parts");
    EXPECT_EQ(lines[6], "v 0.5 0.5 1");
    const std::vector<std::string> rest(lines.begin() + 7, lines.end());
    EXPECT_EQ(rest, (std::vector<std::string>{"g object1", "#       5 points", "#       2 tris", "#       0 quads",
                                              "f 1 2 3", "f 1 3 4", "g object2", "#       5 points", "#       1 tris",
                                              "#       1 quads", "f 1 2 5", "f 2 3 4 5"}));
#ifndef _WIN32
    // The same file as two other readers see it: per group its points used
    // and its faces (assimp splits the quad), and the cells by group.
    const std::string out = path + ".txt";
    const std::string command = "assimp info " + path + " 2>/dev/null | grep 'object[12])' > " + out +
                                " && /usr/bin/python3 -c \"import meshio, collections\n"
                                "m = meshio.read('" +
                                path +
                                "')\n"
                                "c = collections.Counter()\n"
                                "for block, ids in zip(m.cells, m.cell_data['obj:group_ids']):\n"
                                "    for g in ids: c[(int(g), block.type)] += 1\n"
                                "print(len(m.points), sorted(c.items()))\" >> " +
                                out + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const auto peers = Lines(out);
    ASSERT_EQ(peers.size(), 3u);
    EXPECT_NE(peers[0].find("(object1): [4 / 0 / 2 "), std::string::npos) << peers[0];
    EXPECT_NE(peers[1].find("(object2): [5 / 0 / 3 "), std::string::npos) << peers[1];
    EXPECT_EQ(peers[2], "5 [((0, 'triangle'), 2), ((1, 'quad'), 1), ((1, 'triangle'), 1)]");
    std::remove(out.c_str());
#endif
    std::remove(path.c_str());
}

TEST(WavefrontObjects, NoObjectsWritesThePointsAndFails) {
    Objects objects;
    const std::string path = Path("no_objects");
    EXPECT_EQ(SaveMultiObjectWavefront(path.c_str(), "none", 0, objects.meshes), 0);
    const auto lines = Lines(path);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[1], "# none");
    EXPECT_EQ(lines[2], "v 0 0 0");
    std::remove(path.c_str());
    EXPECT_EQ(SaveMultiObjectWavefront((testing::TempDir() + "no/such/folder/x.obj").c_str(), "", 2, objects.meshes),
              0);
}

}  // namespace
