// The public save and load entries: their refusals, what they report, abort
// and write failures part-way, and the files they write.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

#include "surface/frame/tests/capturing_reporter.h"
#include "surface/io/grid_file.h"
#include "surface/io/load_any.h"
#include "surface/io/mesh_file.h"
#include "surface/io/point_list_file.h"
#include "surface/io/scan_file.h"
#include "surface/io/solution_file.h"
#include "surface/io/tests/data_objects.h"
#include "surface/io/tests/memory_stream.h"

namespace {

using data_objects::Fill;

std::vector<CapturedLine> Errors(const CapturingReporter& r) {
    std::vector<CapturedLine> errors;
    for (const CapturedLine& line : r.lines)
        if (line.level <= 2) errors.push_back(line);
    return errors;
}

// A labelled info line: the value starts in column 25.
std::string Value(const std::string& label, const std::string& value) {
    std::string line = label + ":";
    line.resize(25, ' ');
    return line + value;
}

bool Said(const CapturingReporter& r, const std::string& text) {
    for (const CapturedLine& line : r.lines)
        if (line.text == text) return true;
    return false;
}

TEST(EntryTest, NullArgumentsAreRefusedWithTheirStatuses) {
    std::FILE* file = std::fopen("entry_null.tvr", "wb+");
    ASSERT_NE(nullptr, file);
    PointList2 l2{};
    PointList3 l3{};
    Grid2 g2{};
    Solution3 s3{};
    Scan3 scan{};
    Mesh3 mesh{};
    int32_t line, dimension, kind;
    struct Case {
        const char* what;
        std::function<int(Reporter*)> call;
        int status;
        const char* message;  // null: none
    } cases[] = {
        {"save, null file", [&](Reporter* r) { return Selvane_SavePointList3(&l3, nullptr, 1, r); }, 11,
         "File argument is NULL"},
        {"load, null file", [&](Reporter* r) { return Selvane_LoadMesh3(&mesh, nullptr, &line, r); }, 11,
         "File argument is NULL"},
        {"load, null list", [&](Reporter* r) { return Selvane_LoadPointList2(nullptr, file, &line, r); }, 4,
         "Point list argument is NULL"},
        {"load, null grid", [&](Reporter* r) { return Selvane_LoadGrid3(nullptr, file, &line, r); }, 5,
         "Grid argument is NULL"},
        {"load, null solution", [&](Reporter* r) { return Selvane_LoadSolution2(nullptr, file, &line, r); }, 6,
         "Solution argument is NULL"},
        {"load, null scan", [&](Reporter* r) { return Selvane_LoadScan3(nullptr, file, &line, r); }, 12,
         "Scan argument is NULL"},
        {"load, null mesh", [&](Reporter* r) { return Selvane_LoadMesh3(nullptr, file, &line, r); }, 14,
         "Mesh argument is NULL"},
        {"any, null 2D list",
         [&](Reporter* r) { return Selvane_LoadPointListAny(nullptr, &l3, &dimension, file, &line, r); }, 4,
         "2D point list argument is NULL"},
        {"any, null 3D grid",
         [&](Reporter* r) { return Selvane_LoadGridAny(&g2, nullptr, &dimension, file, &line, r); }, 5,
         "3D Grid argument is NULL"},
        {"any, null 2D solution",
         [&](Reporter* r) { return Selvane_LoadSolutionAny(nullptr, &s3, &dimension, file, &line, r); }, 6,
         "2D Solution argument is NULL"},
        {"all, null list",
         [&](Reporter* r) { return Selvane_LoadAll(&l2, nullptr, &scan, &mesh, &kind, file, &line, r); }, 4, nullptr},
        {"all, null scan",
         [&](Reporter* r) { return Selvane_LoadAll(&l2, &l3, nullptr, &mesh, &kind, file, &line, r); }, 12, nullptr},
        {"all, null mesh",
         [&](Reporter* r) { return Selvane_LoadAll(&l2, &l3, &scan, nullptr, &kind, file, &line, r); }, 14, nullptr},
        {"all, null kind",
         [&](Reporter* r) { return Selvane_LoadAll(&l2, &l3, &scan, &mesh, nullptr, file, &line, r); }, 17, nullptr},
        {"all, null file",
         [&](Reporter* r) { return Selvane_LoadAll(&l2, &l3, &scan, &mesh, &kind, nullptr, &line, r); }, 11,
         "File argument is NULL"},
    };
    for (const Case& c : cases) {
        CapturingReporter r(6);
        EXPECT_EQ(c.status, c.call(&r.reporter)) << c.what;
        const std::vector<CapturedLine> errors = Errors(r);
        if (c.message == nullptr) {
            EXPECT_TRUE(errors.empty()) << c.what;
        } else {
            EXPECT_EQ(std::vector<CapturedLine>{(CapturedLine{1, c.message})}, errors) << c.what;
        }
    }
    std::fclose(file);
    std::remove("entry_null.tvr");
}

TEST(EntryTest, UnusableObjectsAreNotSaved) {
    std::FILE* file = std::fopen("entry_unusable.tvr", "wb");
    ASSERT_NE(nullptr, file);
    Scan3 scan;
    data_objects::MakeScan(&scan);
    scan.Size[1] = 2;  // one point short
    Grid2 grid{};
    Solution3 solution{};
    Mesh3 mesh{};
    struct Case {
        std::function<int(Reporter*)> call;
        int status;
        const char* message;
    } cases[] = {
        {[&](Reporter* r) { return Selvane_SaveScan3(&scan, file, 0, r); }, 12,
         "Scan sizes do not sum to the number of points"},
        {[&](Reporter* r) { return Selvane_SaveGrid2(&grid, file, 0, r); }, 5, "Input grid is invalid"},
        {[&](Reporter* r) { return Selvane_SaveSolution3(&solution, file, 0, r); }, 6,
         "Solution contains an invalid number of centres and/or coefficients"},
        {[&](Reporter* r) { return Selvane_SaveMesh3(&mesh, file, 0, r); }, 14, "Mesh point list is empty"},
        {[&](Reporter* r) { return Selvane_SavePointList2(nullptr, file, 0, r); }, 4, "Input point list is NULL"},
    };
    for (const Case& c : cases) {
        CapturingReporter r(6);
        EXPECT_EQ(c.status, c.call(&r.reporter)) << c.message;
        EXPECT_EQ(std::vector<CapturedLine>{(CapturedLine{1, c.message})}, Errors(r));
    }
    std::fclose(file);
    EXPECT_EQ("", data_objects::ReadAll("entry_unusable.tvr"));
    std::remove("entry_unusable.tvr");
    Scan3_Free(&scan);
}

TEST(EntryTest, SavesAndLoadsReportWhatTheyDid) {
    PointList2 list{};
    ASSERT_EQ(0, PointList2_Create(&list, 2, 1, 0, 0, 0, 0));
    list.Count = 2;
    Fill(list.Location, 4, 0);
    Fill(list.Value, 2, 1);
    int32_t set;
    const char* names[] = {"hi", "a_rather_long_name_of_an_alternate_set", "third", "b",
                           "an_alternate_set_named_with_more_than_fifty_characters"};
    for (const char* name : names) {
        ASSERT_EQ(0, PointList2_AddAltSet(&list, name, &set, 1, 0, 0, 0, std::strcmp(name, "hi") == 0));
        Fill(list.Alt[set].Value, 2, 2);
    }
    Fill(list.Alt[0].Gradient, 4, 3);
    const char* path = "entry_report.tvr";
    CapturingReporter saving(5);
    std::FILE* f = std::fopen(path, "wb");
    ASSERT_EQ(0, Selvane_SavePointList2(&list, f, 1, &saving.reporter));
    std::fclose(f);
    EXPECT_EQ(1.0, saving.reporter.progress);
    const std::vector<CapturedLine> said = {
        {3, "Saving point list"},
        {5, Value("Points", "2")},
        {5, Value("Point List Fields", "Location, Value")},
        {5, Value("Attributes", "hi, a_rather_long_name_of_an_alternate_set, third")},
        {5, Value("Attributes", "b")},
        {5, Value("Attributes", "an_alternate_set_named_with_more_than_fifty_characters")},
        {5, Value("Dimensions", "2")},
        {5, Value("Encoding", "ASCII")},
        {3, "Finished saving point list"},
    };
    ASSERT_GE(saving.lines.size(), said.size());
    EXPECT_EQ(said, std::vector<CapturedLine>(saving.lines.begin(), saving.lines.begin() + said.size()));

    // The alternate sets' items follow the list's own, named after the set.
    const std::string text = data_objects::ReadAll(path);
    EXPECT_NE(std::string::npos,
              text.find("[index]\nLocation Double 2 2;\nValue Double 2;\nhi_Value Double 2;\nhi_Gradient Double 2 2;\n"
                        "a_rather_long_name_of_an_alternate_set_Value Double 2;\n"));
    EXPECT_EQ(std::string::npos, text.find('\r')) << "a file written with \"wb\" holds single line feeds";

    CapturingReporter loading(5);
    PointList2 back;
    int32_t line = 0;
    f = std::fopen(path, "rb");
    ASSERT_EQ(0, Selvane_LoadPointList2(&back, f, &line, &loading.reporter));
    std::fclose(f);
    EXPECT_EQ(1.0, loading.reporter.progress);
    EXPECT_TRUE(Said(loading, "Finished loading point list"));
    EXPECT_TRUE(Said(loading, Value("Attributes", "b")));
    EXPECT_TRUE(Said(loading, Value("Encoding", "ASCII")));
    data_objects::ExpectSameList<PointList2, 2>(list, back, true);
    EXPECT_NE(nullptr, back.Alt[0].Gradient);
    EXPECT_EQ(nullptr, back.Alt[1].Gradient);
    PointList2_Free(&back);
    PointList2_Free(&list);
    std::remove(path);
}

// A list large enough that its binary data is read past the scanner's
// buffer, where the stream hooks can act.
struct LargeList {
    PointList3 list{};
    LargeList() {
        EXPECT_EQ(0, PointList3_Create(&list, 3000, 1, 0, 0, 0, 0));
        list.Count = 3000;
        Fill(list.Location, 9000, 0);
        Fill(list.Value, 3000, 1);
    }
    ~LargeList() { PointList3_Free(&list); }
    std::string Written(int32_t ascii) const {
        MemoryStream out;
        EXPECT_EQ(0, PointList3_Write(&list, &out.stream, ascii, nullptr));
        return out.bytes();
    }
};

TEST(EntryTest, AbortBeforeTheCallOrPartWayLeavesTheObjectCleared) {
    LargeList large;
    for (int32_t ascii : {0, 1}) {
        const std::string bytes = large.Written(ascii);
        // Set before the call: loads and saves stop at once.
        {
            CapturingReporter r(6);
            r.reporter.abort = 1;
            MemoryStream in(bytes);
            PointList3 back;
            int32_t line;
            EXPECT_EQ(1, PointList3_Read(&back, &in.stream, &line, &r.reporter));
            EXPECT_EQ(nullptr, back.Location);
            EXPECT_TRUE(Said(r, "File load aborted by user"));
            MemoryStream out;
            EXPECT_EQ(1, PointList3_Write(&large.list, &out.stream, ascii, &r.reporter));
            EXPECT_TRUE(Said(r, "File save aborted by user"));
        }
        // Raised by the stream after n bytes.
        for (std::size_t n = 9000; n + 64 < bytes.size(); n += bytes.size() / 7) {
            CapturingReporter r(1);
            MemoryStream in(bytes);
            in.abortAfter = static_cast<int64_t>(n);
            in.abortFlag = &r.reporter.abort;
            PointList3 back;
            int32_t line;
            EXPECT_EQ(1, PointList3_Read(&back, &in.stream, &line, &r.reporter)) << n;
            EXPECT_EQ(nullptr, back.Location);
            EXPECT_EQ(nullptr, back.Value);
            r.reporter.abort = 0;
            MemoryStream out;
            out.abortAfter = static_cast<int64_t>(n);
            out.abortFlag = &r.reporter.abort;
            EXPECT_EQ(1, PointList3_Write(&large.list, &out.stream, ascii, &r.reporter)) << n;
        }
    }
}

TEST(EntryTest, WritesFailingPartWayAndStreamsCutShort) {
    LargeList large;
    for (int32_t ascii : {0, 1}) {
        const std::string bytes = large.Written(ascii);
        for (std::size_t n = 0; n < bytes.size(); n += bytes.size() / 9) {
            CapturingReporter r(1);
            MemoryStream out;
            out.failAfter = static_cast<int64_t>(n);
            EXPECT_EQ(28, PointList3_Write(&large.list, &out.stream, ascii, &r.reporter)) << n;
            ASSERT_EQ(1u, r.lines.size());
            EXPECT_EQ(0u, r.lines[0].text.find("File write failed: '")) << r.lines[0].text;
        }
        // Without a known length the reader reads ahead and finds the end
        // before it allocates the items, as it does with a known length: at
        // the line that starts the data.
        MemoryStream in(bytes.substr(0, bytes.size() - 100));
        CapturingReporter r(1);
        PointList3 back;
        int32_t line;
        EXPECT_EQ(32, PointList3_Read(&back, &in.stream, &line, &r.reporter));
        EXPECT_EQ("Unexpected end-of-file on line " + std::to_string(line), r.lines.at(0).text);
        EXPECT_EQ(nullptr, back.Location);
    }
}

#ifndef _WIN32
TEST(EntryTest, BinarySaveToATerminalWritesAsciiAfterTheWarning) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(0, grantpt(master));
    ASSERT_EQ(0, unlockpt(master));
    std::FILE* terminal = std::fopen(ptsname(master), "wb");
    ASSERT_NE(nullptr, terminal);
    PointList3 list{};
    ASSERT_EQ(0, PointList3_Create(&list, 1, 0, 0, 0, 0, 0));
    list.Count = 1;
    Fill(list.Location, 3, 0);
    CapturingReporter r(2);
    EXPECT_EQ(0, Selvane_SavePointList3(&list, terminal, 0, &r.reporter));
    std::fclose(terminal);
    EXPECT_EQ(std::vector<CapturedLine>{(
                  CapturedLine{2, "Binary data should not be written to a terminal, switching to ASCII"})},
              r.lines);
    std::string shown;
    char buffer[512];
    pollfd ready{master, POLLIN, 0};
    while (poll(&ready, 1, 200) > 0) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;
        shown.append(buffer, static_cast<std::size_t>(n));
    }
    close(master);
    EXPECT_NE(std::string::npos, shown.find("[ascii]")) << shown;
    EXPECT_EQ(std::string::npos, shown.find("[binary]"));
    PointList3_Free(&list);
}
#endif

}  // namespace
