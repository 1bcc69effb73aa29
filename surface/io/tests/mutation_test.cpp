// Every loader over damaged files: every truncation and single-byte change
// of a small valid file of each kind in both encodings, random multi-byte
// changes and forged sizes (fixed seeds). A load always ends with a status,
// never a crash, leak or sanitizer report, and a failed load leaves its
// objects cleared. The sanitizer's allocator is capped far below what a
// forged size would ask for, so an allocation beyond a small multiple of
// the file's size stops the test.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "surface/frame/record_memory.h"
#include "surface/io/grid_file.h"
#include "surface/io/load_any.h"
#include "surface/io/mesh_file.h"
#include "surface/io/point_list_file.h"
#include "surface/io/scan_file.h"
#include "surface/io/solution_file.h"
#include "surface/io/tests/data_objects.h"
#include "surface/io/tests/memory_stream.h"

extern "C" const char* __asan_default_options() { return "max_allocation_size_mb=1:allocator_may_return_null=0"; }

namespace {

using namespace data_objects;

bool Zero(const void* object, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(object);
    for (std::size_t i = 0; i < size; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

// Loads through the object's reader (garbage in the record first, since the
// reader must clear it); a failure must leave the record cleared.
// The reading buffer (8 KiB and the longest token), and the objects: at most
// 8 bytes of memory for each byte of the file (a double from one digit).
void ExpectSmallAllocations(std::size_t fileBytes) {
    const int64_t largest = Record_LargestRequestForTesting(true);
    EXPECT_LE(largest, static_cast<int64_t>(8 * fileBytes + 8193 + 64)) << "file of " << fileBytes << " bytes";
}

template <class T, class Read, class Free>
int LoadFrom(const std::string& bytes, bool knownLength, Read read, Free free) {
    Record_LargestRequestForTesting(true);
    MemoryStream in(bytes);
    in.knownLength = knownLength;
    in.seekable = knownLength;
    in.Prepare();
    T object;
    std::memset(&object, 0x5A, sizeof object);
    int32_t line;
    const int status = read(&object, &in.stream, &line, nullptr);
    ExpectSmallAllocations(bytes.size());
    if (status != 0) {
        EXPECT_TRUE(Zero(&object, sizeof object)) << "status " << status;
    }
    free(&object);
    return status;
}

// From a file, whose length the reader knows, and from a pipe, whose length
// it cannot know: the same outcome and the same bound on memory.
template <class T, class Read, class Free>
int Load(const std::string& bytes, Read read, Free free) {
    const int status = LoadFrom<T>(bytes, true, read, free);
    EXPECT_EQ(status, LoadFrom<T>(bytes, false, read, free)) << "from a pipe";
    return status;
}

// The loader of whatever a file holds, through a FILE.
int LoadAny(const std::string& bytes) {
    const char* path = "mutation_any.tvr";
    WriteAll(path, bytes);
    std::FILE* f = std::fopen(path, "rb");
    PointList2 l2;
    PointList3 l3;
    Scan3 scan;
    Mesh3 mesh;
    int32_t kind, line;
    Record_LargestRequestForTesting(true);
    const int status = Selvane_LoadAll(&l2, &l3, &scan, &mesh, &kind, f, &line, nullptr);
    ExpectSmallAllocations(bytes.size());
    std::fclose(f);
    if (status != 0) {
        EXPECT_TRUE(Zero(&l2, sizeof l2) && Zero(&l3, sizeof l3) && Zero(&scan, sizeof scan) &&
                    Zero(&mesh, sizeof mesh));
    }
    PointList2_Free(&l2);
    PointList3_Free(&l3);
    Scan3_Free(&scan);
    Mesh3_Free(&mesh);
    return status;
}

struct Kind {
    std::string name;
    std::string file;
    std::function<int(const std::string&)> load;
};

template <class T, class Write>
std::string Written(const T& object, Write write, int32_t ascii) {
    MemoryStream out;
    EXPECT_EQ(0, write(&object, &out.stream, ascii, nullptr));
    return out.bytes();
}

std::vector<Kind> Kinds() {
    std::vector<Kind> kinds;
    PointList2 l2{};
    MakeList<PointList2, 2>(&l2, &PointList2_Create, &PointList2_AddAltSet);
    Grid3 g3;
    MakeGrid<Grid3, 3>(&g3, true, &Grid3_CheckSize);
    Grid2 g2;
    MakeGrid<Grid2, 2>(&g2, false, &Grid2_CheckSize);
    Solution2 s2;
    MakeSolution<Solution2, 2>(&s2, true, 1, &Solution2_Create, &Solution2_Check);
    Solution3 s3;
    MakeSolution<Solution3, 3>(&s3, false, 2, &Solution3_Create, &Solution3_Check);
    Scan3 scan;
    MakeScan(&scan);
    Mesh3 mesh{};
    MakeMesh(&mesh, 2, 1);
    for (int32_t ascii : {0, 1}) {
        const std::string tag = ascii ? " ASCII" : " binary";
        kinds.push_back({"points2" + tag, Written(l2, &PointList2_Write, ascii),
                         [](const std::string& b) { return Load<PointList2>(b, &PointList2_Read, &PointList2_Free); }});
        kinds.push_back({"grid3" + tag, Written(g3, &Grid3_Write, ascii),
                         [](const std::string& b) { return Load<Grid3>(b, &Grid3_Read, &Grid3_Free); }});
        kinds.push_back({"grid2" + tag, Written(g2, &Grid2_Write, ascii),
                         [](const std::string& b) { return Load<Grid2>(b, &Grid2_Read, &Grid2_Free); }});
        kinds.push_back({"solution2" + tag, Written(s2, &Solution2_Write, ascii),
                         [](const std::string& b) { return Load<Solution2>(b, &Solution2_Read, &Solution2_Free); }});
        kinds.push_back({"solution3" + tag, Written(s3, &Solution3_Write, ascii),
                         [](const std::string& b) { return Load<Solution3>(b, &Solution3_Read, &Solution3_Free); }});
        kinds.push_back({"scan" + tag, Written(scan, &Scan3_Write, ascii),
                         [](const std::string& b) { return Load<Scan3>(b, &Scan3_Read, &Scan3_Free); }});
        kinds.push_back({"mesh" + tag, Written(mesh, &Mesh3_Write, ascii),
                         [](const std::string& b) { return Load<Mesh3>(b, &Mesh3_Read, &Mesh3_Free); }});
    }
    PointList2_Free(&l2);
    Grid3_Free(&g3);
    Grid2_Free(&g2);
    Solution2_Free(&s2);
    Solution3_Free(&s3);
    Scan3_Free(&scan);
    Mesh3_Free(&mesh);
    return kinds;
}

bool KnownStatus(int status) { return status == 0 || (status >= 1 && status <= 36); }

TEST(MutationTest, EveryTruncationAndSingleByteChange) {
    for (const Kind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        ASSERT_EQ(0, kind.load(kind.file));
        // A cut binary file always fails; a cut text file may still be whole
        // up to a shorter last number.
        const bool binary = kind.name.find("binary") != std::string::npos;
        for (std::size_t n = 0; n < kind.file.size(); ++n) {
            const int status = kind.load(kind.file.substr(0, n));
            ASSERT_TRUE(binary ? status != 0 : KnownStatus(status)) << n;
        }
        const unsigned char changes[][2] = {{0x01, 0}, {0x80, 0}, {0, '9'}, {0, ';'}, {0, '\0'}};
        for (std::size_t at = 0; at < kind.file.size(); ++at)
            for (const auto& change : changes) {
                std::string bytes = kind.file;
                bytes[at] = change[0] != 0 ? static_cast<char>(bytes[at] ^ change[0]) : static_cast<char>(change[1]);
                ASSERT_TRUE(KnownStatus(kind.load(bytes))) << at;
            }
    }
}

TEST(MutationTest, RandomChangesAndForgedSizes) {
    std::mt19937 random(20261210);
    for (const Kind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        const std::size_t size = kind.file.size();
        for (int trial = 0; trial < 300; ++trial) {
            std::string bytes = kind.file;
            const int changes = 2 + static_cast<int>(random() % 7);
            for (int c = 0; c < changes; ++c) bytes[random() % size] = static_cast<char>(random() % 256);
            ASSERT_TRUE(KnownStatus(kind.load(bytes))) << trial;
            if (trial % 10 == 0) {
                ASSERT_TRUE(KnownStatus(LoadAny(bytes))) << trial;
            }
        }
        // Every size of the index replaced by a forged one.
        const std::size_t indexEnd = kind.file.find("\n\n[", kind.file.find("[index]"));
        const char* forged[] = {"0", "1", "2", "65535", "2147483647", "2147483648", "4294967296", "1099511627776"};
        for (std::size_t at = kind.file.find("[index]"); at < indexEnd; ++at) {
            if (kind.file[at] != ' ' || !std::isdigit(static_cast<unsigned char>(kind.file[at + 1]))) continue;
            const std::size_t end = kind.file.find_first_not_of("0123456789", at + 1);
            for (const char* size : forged) {
                const std::string bytes = kind.file.substr(0, at + 1) + size + kind.file.substr(end);
                ASSERT_TRUE(KnownStatus(kind.load(bytes))) << at << " " << size;
                ASSERT_TRUE(KnownStatus(LoadAny(bytes))) << at << " " << size;
            }
        }
    }
    std::remove("mutation_any.tvr");
}

TEST(MutationTest, AnIndexThatAgreesWithItselfButNotWithItsBytesFromAPipe) {
    // 70 million points in the index, about 16 KB of values behind it.
    std::string values;
    while (values.size() < 16000) values += "1\n";
    const std::string text = "%TAVIR-1.0\n[index]\nLocation Double 3 70000000;\n\n[ascii]\n" + values;
    const std::string binary =
        "%TAVIR-1.0\n[index]\nLocation Double 3 70000000;\n\n[binary]" + std::string(16000, '\0');
    for (const std::string& bytes : {text, binary}) {
        for (bool known : {true, false}) {
            SCOPED_TRACE(known ? "file" : "pipe");
            EXPECT_NE(0, LoadFrom<PointList3>(bytes, known, &PointList3_Read, &PointList3_Free));
        }
    }
}

}  // namespace
