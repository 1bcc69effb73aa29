// Files that every loader must refuse, each with its status, its exact
// message and the line it names; the object is always left cleared.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "surface/frame/tests/capturing_reporter.h"
#include "surface/io/grid_file.h"
#include "surface/io/load_any.h"
#include "surface/io/mesh_file.h"
#include "surface/io/point_list_file.h"
#include "surface/io/scan_file.h"
#include "surface/io/solution_file.h"
#include "surface/io/tests/data_objects.h"

namespace {

enum Loader { kPoints2, kPoints3, kGrid2, kGridAny, kSolution2, kSolutionAny, kScan, kMesh, kAll };

struct Outcome {
    int status;
    int32_t line;
    int32_t dimension;  // from the loaders of either kind
    bool cleared;       // every object passed is empty again
    CapturingReporter reporter{6};
};

bool Zero(const void* object, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(object);
    for (std::size_t i = 0; i < size; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

void Load(Loader loader, const std::string& text, Outcome* out) {
    const char* path = "refusal_test.tvr";
    data_objects::WriteAll(path, text);
    std::FILE* f = std::fopen(path, "rb");
    ASSERT_NE(nullptr, f);
    Reporter* r = &out->reporter.reporter;
    PointList2 l2;
    PointList3 l3;
    Grid2 g2;
    Grid3 g3;
    Solution2 s2;
    Solution3 s3;
    Scan3 scan;
    Mesh3 mesh;
    // Garbage first: a loader must clear what it is given.
    std::memset(&l2, 0x5A, sizeof l2);
    std::memset(&l3, 0x5A, sizeof l3);
    out->dimension = 0;
    switch (loader) {
        case kPoints2:
            out->status = Selvane_LoadPointList2(&l2, f, &out->line, r);
            out->cleared = Zero(&l2, sizeof l2);
            if (out->status == 0) PointList2_Free(&l2);
            break;
        case kPoints3:
            out->status = Selvane_LoadPointList3(&l3, f, &out->line, r);
            out->cleared = Zero(&l3, sizeof l3);
            if (out->status == 0) PointList3_Free(&l3);
            break;
        case kGrid2:
            out->status = Selvane_LoadGrid2(&g2, f, &out->line, r);
            out->cleared = Zero(&g2, sizeof g2);
            if (out->status == 0) Grid2_Free(&g2);
            break;
        case kGridAny:
            out->status = Selvane_LoadGridAny(&g2, &g3, &out->dimension, f, &out->line, r);
            out->cleared = Zero(&g2, sizeof g2) && Zero(&g3, sizeof g3);
            Grid2_Free(&g2);
            Grid3_Free(&g3);
            break;
        case kSolution2:
            out->status = Selvane_LoadSolution2(&s2, f, &out->line, r);
            out->cleared = Zero(&s2, sizeof s2);
            if (out->status == 0) Solution2_Free(&s2);
            break;
        case kSolutionAny:
            out->status = Selvane_LoadSolutionAny(&s2, &s3, &out->dimension, f, &out->line, r);
            out->cleared = Zero(&s2, sizeof s2) && Zero(&s3, sizeof s3);
            Solution2_Free(&s2);
            Solution3_Free(&s3);
            break;
        case kScan:
            out->status = Selvane_LoadScan3(&scan, f, &out->line, r);
            out->cleared = Zero(&scan, sizeof scan);
            if (out->status == 0) Scan3_Free(&scan);
            break;
        case kMesh:
            out->status = Selvane_LoadMesh3(&mesh, f, &out->line, r);
            out->cleared = Zero(&mesh, sizeof mesh);
            if (out->status == 0) Mesh3_Free(&mesh);
            break;
        case kAll:
            out->status = Selvane_LoadAll(&l2, &l3, &scan, &mesh, &out->dimension, f, &out->line, r);
            out->cleared =
                Zero(&l2, sizeof l2) && Zero(&l3, sizeof l3) && Zero(&scan, sizeof scan) && Zero(&mesh, sizeof mesh);
            PointList2_Free(&l2);
            PointList3_Free(&l3);
            Scan3_Free(&scan);
            Mesh3_Free(&mesh);
            break;
    }
    std::fclose(f);
    std::remove(path);
}

std::vector<std::string> Errors(const CapturingReporter& r) {
    std::vector<std::string> errors;
    for (const CapturedLine& line : r.lines)
        if (line.level == 1) errors.push_back(line.text);
    return errors;
}

const std::string kHead = "%TAVIR-1.0\n\n[index]\n";
const std::string kPoints = kHead + "Location Double 3 2;\n\n[ascii]\n1\n2\n3\n4\n5\n6\n";

// A 2D solution file with M = 2 centres and the given coefficient items.
std::string SolutionText(int32_t coeffs, const char* degree) {
    std::string index = kHead + "AchievedAcc Double;\nDefaultEvalAcc Double;\nCentres Double 2 2;\nCoeffs Double " +
                        std::to_string(coeffs) + ";\nDataMin Double 2;\nDataMax Double 2;\nBasicFunc Integer;\n" +
                        "BasicFuncParam Double;\nRho Double;\nFitType Integer;\nVersion Character 32;\n" +
                        (degree ? "PolyDegree Integer;\n" : "") + "\n[ascii]\n";
    std::string data = "1e-6\n1e-4\n0\n0\n1\n1\n";
    for (int32_t k = 0; k < coeffs; ++k) data += "0.5\n";
    data += "-1\n-1\n2\n2\n1\n1.5\n0.25\n2\n\"version text\\0.\\0.\\0.\\0.\\0.\\0.\\0.\\0.\\0.\\0.\\0.\\0.\\0." +
            std::string("\\0.\\0.\\0.\\0.\\0.\\0.\\0.\"\n");
    return index + data + (degree ? std::string(degree) + "\n" : "");
}

TEST(RefusalTest, EveryFaultWithItsStatusMessageAndLine) {
    struct Case {
        const char* what;
        Loader loader;
        std::string text;
        int status;
        const char* message;  // the last level-1 message, or "" for none
        int32_t line;
    } cases[] = {
        {"empty file", kPoints3, "", 29, "File is not an TAVIR format data file", 1},
        {"leading blank", kPoints3, " " + kPoints, 29, "File is not an TAVIR format data file", 1},
        {"version 1.1", kPoints3, "%TAVIR-1.1\n" + kPoints.substr(11), 30,
         "File is using an unsupported version of the TAVIR format", 1},
        {"version 2.0", kPoints3, "%TAVIR-2.0\n" + kPoints.substr(11), 30,
         "File is using an unsupported version of the TAVIR format", 1},
        {"version beyond an int", kPoints3, "%TAVIR-4294967297.0\n" + kPoints.substr(11), 30,
         "File is using an unsupported version of the TAVIR format", 1},
        {"missing ;", kPoints3, kHead + "Location Double 3 2\n\n[ascii]\n1\n2\n3\n4\n5\n6\n", 31,
         "Syntax error on line 6", 6},
        {"dimension of 2^40", kPoints3, kHead + "Location Double 3 1099511627776;\n\n[ascii]\n1\n", 31,
         "Syntax error on line 4", 4},
        {"item beyond the int range of bytes", kPoints3, kHead + "Location Double 3 100000000;\n\n[binary]", 31,
         "Syntax error on line 6", 6},
        {"more values than the file holds", kPoints3, kHead + "Location Double 3 20;\n\n[ascii]\n1\n2\n", 32,
         "Unexpected end-of-file on line 6", 6},
        {"5.0 in an Integer", kMesh,
         kHead + "Location Double 3 3;\nTri Integer 3 1;\n\n[ascii]\n1\n2\n3\n4\n5\n6\n7\n8\n9\n0\n5.0\n2\n", 35,
         "Data in ASCII section has the wrong type", 18},
        {"TRUE in a Double", kPoints3, kHead + "Location Double 3 2;\n\n[ascii]\n1\n2\nTRUE\n4\n5\n6\n", 35,
         "Data in ASCII section has the wrong type", 9},
        {"Integer beyond 32 bits", kMesh,
         kHead + "Location Double 3 3;\nTri Integer 3 1;\n\n[ascii]\n1\n2\n3\n4\n5\n6\n7\n8\n9\n0\n2147483648\n2\n", 35,
         "Data in ASCII section has the wrong type", 18},
        {"stray word", kPoints3, kHead + "Location Double 3 2;\n\n[ascii]\n1\n2\nnan\n4\n5\n6\n", 31,
         "Syntax error on line 9", 9},
        {"escape above 255", kSolution2,
         SolutionText(5, nullptr).replace(SolutionText(5, nullptr).find("\\0."), 3, "\\256."), 31,
         "Syntax error on line 36", 36},
        {"unterminated string", kSolution2, SolutionText(5, nullptr).substr(0, SolutionText(5, nullptr).size() - 5), 32,
         "Unexpected end-of-file on line 36", 36},
        {"Location missing", kPoints3, kHead + "Place Double 3 2;\n\n[ascii]\n1\n2\n3\n4\n5\n6\n", 36,
         "Item 'Location' missing from point list file", 6},
        {"Location of the wrong kind", kPoints3, kHead + "Location Integer 3 2;\n\n[ascii]\n1\n2\n3\n4\n5\n6\n", 36,
         "Item 'Location' in point list file has incorrect type 'Integer', should be 'Double'", 6},
        {"Location 3D", kPoints3, kHead + "Location Double 3 2 1;\n\n[ascii]\n1\n2\n3\n4\n5\n6\n", 36,
         "Item 'Location' in point list file is a 3D array, should be 2D", 6},
        {"Location single", kPoints3, kHead + "Location Double;\n\n[ascii]\n1\n", 36,
         "Item 'Location' in point list file is a single value, should be a 2D array", 6},
        {"Location 4 by N for 2D", kPoints2, kHead + "Location Double 4 1;\n\n[ascii]\n1\n2\n3\n4\n", 36,
         "Item 'Location' in point list file has incorrect size 4 in dimension 1, should be 2", 6},
        {"value where a single value is due", kSolution2,
         SolutionText(5, nullptr).replace(SolutionText(5, nullptr).find("Rho Double"), 10, "Rho Double 1"), 36,
         "Item 'Rho' in solution file is a 1D array, should be a single value", 16},
        {"alternate set without a name", kPoints3,
         kHead + "Location Double 3 1;\n_Value Double 1;\n\n[ascii]\n1\n2\n3\n4\n", 36,
         "Item '_Value' in point list file has is an invalid name", 7},
        {"alternate array of the wrong length", kPoints3,
         kHead + "Location Double 3 1;\nhi_Value Double 2;\n\n[ascii]\n1\n2\n3\n4\n5\n", 36,
         "Item 'hi_Value' in point list file has incorrect size 2 in dimension 1, should be 1", 7},
        {"2D grid with a 3D Value", kGrid2,
         kHead +
             "Spacing Double 2;\nMin Double 2;\nMax Double 2;\nValue Double 1 1 1;\n\n[ascii]\n1\n1\n0\n0\n0\n0\n5\n",
         36, "Item 'Value' in grid file is a 3D array, should be 2D", 9},
        {"grid Value of one dimension", kGridAny,
         kHead +
             "Spacing Double 2;\nMin Double 2;\nMax Double 2;\nValue Double 2;\n\n[ascii]\n1\n1\n0\n0\n0\n0\n5\n5\n",
         36, "Item 'Value' in grid file must be 2D or 3D", 9},
        {"grid of no nodes", kGrid2,
         kHead + "Spacing Double 2;\nMin Double 2;\nMax Double 2;\nValue Double 0 1;\n\n[ascii]\n1\n1\n0\n0\n0\n0\n", 8,
         "Internal error during load", 9},
        {"more coefficients than M + 15, refused before the data", kSolution2,
         SolutionText(18, nullptr).replace(SolutionText(18, nullptr).find("0.5"), 3, "TRUE"), 36,
         "Incorrect number of coefficients in file", 16},
        {"coefficients fitting no degree", kSolution2, SolutionText(4, nullptr), 36,
         "Incorrect number of coefficients in file", 35},
        {"coefficients not those of the stated degree", kSolution2, SolutionText(5, "2"), 36,
         "Incorrect number of coefficients in file", 38},
        {"Centres of four coordinates", kSolutionAny,
         SolutionText(5, nullptr)
             .replace(SolutionText(5, nullptr).find("Centres Double 2 2"), 18, "Centres Double 4 1"),
         36, "Item 'Centres' in solution file must be 2-by-N or 3-by-N", 16},
        {"mesh without faces", kMesh, kPoints, 36, "Items 'Tri' and 'Quad' are missing from mesh file", 6},
        {"mesh corner naming no point", kMesh,
         kHead + "Location Double 3 3;\nTri Integer 3 1;\n\n[ascii]\n1\n2\n3\n4\n5\n6\n7\n8\n9\n0\n1\n3\n", 36,
         "Mesh face refers to a point that does not exist", 19},
        {"mesh corner naming no point, through the loader of any kind", kAll,
         kHead + "Location Double 3 3;\nQuad Integer 4 1;\n\n[ascii]\n1\n2\n3\n4\n5\n6\n7\n8\n9\n0\n1\n-1\n2\n", 36,
         "Mesh face refers to a point that does not exist", 20},
        {"scan without sizes", kScan, kHead + "Location Double 3 1;\nOrigin Double 3 1;\n\n[ascii]\n1\n2\n3\n4\n5\n6\n",
         36, "Item 'Size' missing from scan file", 7},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        Outcome out;
        Load(c.loader, c.text, &out);
        EXPECT_EQ(c.status, out.status);
        const std::vector<std::string> errors = Errors(out.reporter);
        ASSERT_FALSE(errors.empty());
        EXPECT_EQ(c.message, errors.back());
        EXPECT_EQ(c.line, out.line);
        EXPECT_TRUE(out.cleared);
    }
}

TEST(RefusalTest, BinaryDataFaults) {
    PointList3 list{};
    ASSERT_EQ(0, PointList3_Create(&list, 2, 0, 0, 0, 0, 0));
    list.Count = 2;
    data_objects::Fill(list.Location, 6, 0);
    const char* path = "refusal_binary.tvr";
    std::FILE* f = std::fopen(path, "wb");
    ASSERT_EQ(0, Selvane_SavePointList3(&list, f, 0, nullptr));
    std::fclose(f);
    PointList3_Free(&list);
    const std::string good = data_objects::ReadAll(path);
    const std::size_t marker = good.find("[binary]") + 8;
    std::string swapped = good, foreign = good;
    foreign[marker] = 0x0E;
    // A file cut short is refused from its index: its items need more bytes
    // than it holds.
    struct Case {
        std::string text;
        int status;
        const char* message;
        int32_t line;
    } cases[] = {
        {foreign, 34, "Unable to recognise bianry format", -1},
        {good.substr(0, good.size() - 1), 32, "Unexpected end-of-file on line 6", 6},
    };
    for (const Case& c : cases) {
        Outcome out;
        Load(kPoints3, c.text, &out);
        EXPECT_EQ(c.status, out.status);
        EXPECT_EQ(c.line, out.line);
        EXPECT_EQ(std::vector<std::string>{c.message}, Errors(out.reporter));
        EXPECT_TRUE(out.cleared);
    }
    std::remove(path);
}

TEST(RefusalTest, FilesThatLoad) {
    struct Case {
        const char* what;
        Loader loader;
        std::string text;
        int32_t dimension;  // or kind
    } cases[] = {
        {"an unknown item is skipped", kPoints3,
         kHead + "Colour Integer 2;\nLocation Double 3 1;\n\n[ascii]\n7\n8\n1\n2\n3\n", 0},
        {"no PolyDegree and K = M + 3 in 2D: degree 1", kSolution2, SolutionText(5, nullptr), 0},
        {"a 3D point list whose Origin is 2 by S stays a point list", kAll,
         kHead + "Location Double 3 1;\nOrigin Double 2 1;\nSize Integer 1;\n\n[ascii]\n1\n2\n3\n4\n5\n1\n",
         LoadedKind_PointList3},
        {"a file with both faces and origins is a mesh", kAll,
         kHead + "Location Double 3 3;\nTri Integer 3 1;\nOrigin Double 3 1;\nSize Integer 1;\n\n[ascii]\n" +
             "1\n2\n3\n4\n5\n6\n7\n8\n9\n0\n1\n2\n0\n0\n0\n3\n",
         LoadedKind_Mesh},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        Outcome out;
        Load(c.loader, c.text, &out);
        EXPECT_EQ(0, out.status);
        EXPECT_TRUE(Errors(out.reporter).empty());
        EXPECT_EQ(c.dimension, out.dimension);
    }
    // The degree worked out from the count is stored; the version text is
    // kept a string whatever its last byte was.
    std::string text = SolutionText(5, nullptr);
    text.replace(text.rfind("\\0.\""), 4, "X\"");
    data_objects::WriteAll("refusal_solution.tvr", text);
    std::FILE* f = std::fopen("refusal_solution.tvr", "rb");
    Solution2 s;
    int32_t line;
    ASSERT_EQ(0, Selvane_LoadSolution2(&s, f, &line, nullptr));
    std::fclose(f);
    std::remove("refusal_solution.tvr");
    EXPECT_EQ(1, s.PolyDegree);
    EXPECT_EQ(2, s.FitType);
    EXPECT_EQ(1, s.Basic.Type);
    EXPECT_EQ(1.5, s.Basic.C);
    EXPECT_EQ('\0', s.Creator[31]);
    EXPECT_STREQ("version text", s.Creator);
    Solution2_Free(&s);
}

}  // namespace
