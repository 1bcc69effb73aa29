// The export front-end's tables and the writers' byte-level edge cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <cstring>

#include "app/export/export_chunked.h"
#include "app/export/export_common.h"
#include "app/export/export_driver.h"
#include "app/export/export_formats.h"
#include "app/export/export_iges.h"
#include "app/export/export_psl.h"
#include "app/export/export_sink.h"
#include "app/export/export_stl_ply.h"
#include "app/export/export_text_formats.h"
#include "app/export/export_wavefront.h"
#include "app/export/tests/export_fixture.h"
#include "app/files/tests/keyed_scratch_folder.h"

namespace {

using namespace export_test;

std::string Text(const std::string& path) {
    const std::vector<unsigned char> b = ReadWholeFile(path);
    return std::string(b.begin(), b.end());
}

uint32_t U32(const std::vector<unsigned char>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

TEST(ExportTables, FormatCell) {
    const struct {
        double value;
        const char* cell;
    } cases[] = {{-0.5, "UNDR"},        {NAN, "UNDR"},   {0, "0.00"},      {3.14159, "3.14"}, {9.5, "9.50"},
                 {9.999, "10.0"},       {42.5, "42.5"},  {250, "250."},    {512, "512."},     {1000, "1k00"},
                 {1234, "1k23"},        {12345, "12k3"}, {123456, "123k"}, {1234567, "1M23"}, {4294967295.0, "4G29"},
                 {5000000000.0, "OVER"}};
    for (const auto& c : cases) EXPECT_EQ(Export_FormatCell(c.value), c.cell) << c.value;
}

TEST(ExportTables, Comments) {
    GeneralSettings s = FixtureSettings();
    ExportFormatOptions o{};
    o.ExportCoordinateSystem = 0;
    o.ExportDataType = 1;
    EXPECT_EQ(Export_BuildComment(s, o, false, "LF"), "Raw(combined)Exp(t,m,LF)");
    o.ExportSeparateSweeps = 1;
    o.ExportCoordinateSystem = 5;
    o.ExportDataType = 0;
    EXPECT_EQ(Export_BuildComment(s, o, false, "N/A"), "Raw(separate)Exp(b,p,N/A)");

    s.CombineSweeps = 1;
    s.BasicParams.FilterRadius = 2.5f;
    s.BasicParams.ExportResolutionClip = 2.0f;
    s.BasicParams.DoObjectLimit = 1;
    s.BasicParams.ObjectLimit = 3;
    s.BasicParams.SimplifyFacets = 0;
    o.ExportCoordinateSystem = 1;
    EXPECT_EQ(Export_BuildComment(s, o, true, "CRLF"), "Basic(2.50,2.00,3)Smp(off)Exp(s,p,CRLF)");
    s.BasicParams.DoObjectLimit = 0;
    s.BasicParams.SimplifyFacets = 1;
    EXPECT_EQ(Export_BuildComment(s, o, true, "CR"), "Basic(2.50,2.00,0)Smp(on)Exp(s,p,CR)");

    s.CombineSweeps = 2;
    RbfSurfParams& r = s.RbfParams;
    r.RbfAccuracy = 0.05f;
    r.RbfResolution = 1.5f;
    r.RbfMemoryToUse = 400;
    r.RbfTrimType = 2;
    r.RbfExtraTrim = 12.0f;
    r.RbfSimplify = 1;
    r.RbfSimpDoAngle = 1;
    r.RbfSimpAngle = 30.0f;
    const struct {
        int32_t target;
        const char* smp;
    } targets[] = {{0, "a30.0,e0.10"}, {1, "a30.0,f5000"}, {2, "a30.0,p2000"}, {7, "a30.0,"}};
    r.RbfSimpError = 0.1f;
    r.RbfSimpNFaces = 5000;
    r.RbfSimpNPoints = 2000;
    for (const auto& t : targets) {
        r.RbfSimpTarget = t.target;
        EXPECT_EQ(Export_BuildComment(s, o, true, "LF"),
                  std::string("In(2.50,2.00,0)RBF(0.05,1.50,400)Edg(t,12.0)Smp(") + t.smp + ")Exp(s,p,LF)");
    }
    r.RbfSimplify = 0;
    EXPECT_EQ(Export_BuildComment(s, o, true, "LF"), "In(2.50,2.00,0)RBF(0.05,1.50,400)Edg(t,12.0)Smp(off)Exp(s,p,LF)");
}

TEST(ExportTables, FormatRules) {
    const struct {
        int32_t type;
        int32_t dataIn, textIn;
        int32_t dataOut, textOut, separateOut;
        ExportControlFreedom freedom;
    } cases[] = {
        {kExport3DS, 1, 1, 1, 0, 0, {true, false, false, false}},
        {kExportAscii, 1, 0, 0, 1, 0, {false, false, false, false}},
        {kExportDxf, 1, 0, 1, 1, 0, {true, false, true, false}},
        {kExportDxf, 0, 0, 0, 1, 0, {true, false, false, false}},
        {kExportIges, 0, 0, 0, 1, 0, {true, false, false, false}},
        {kExportInventor, 0, 0, 1, 1, 0, {false, false, false, false}},
        {kExportLightwave, 0, 1, 0, 0, 0, {true, false, false, false}},
        {kExportMatlab, 0, 1, 0, 0, 0, {true, false, true, false}},
        {kExportPsl, 1, 1, 0, 0, 1, {false, false, false, false}},
        {kExportPly, 0, 1, 0, 1, 0, {true, true, true, false}},
        {kExportStl, 0, 1, 1, 1, 0, {false, true, false, false}},
        {kExportStl, 0, 0, 1, 0, 0, {false, true, true, false}},
        {kExportVrml, 0, 0, 1, 1, 0, {false, false, false, false}},
        {kExportVtk, 1, 0, 1, 1, 0, {true, false, false, false}},
        {kExportWavefront, 1, 0, 1, 1, 0, {true, false, true, true}},
        {kExportWavefront, 0, 0, 0, 1, 0, {true, false, false, false}},
    };
    for (const auto& c : cases) {
        ExportFormatOptions b{};
        b.ExportDataType = c.dataIn;
        b.ExportAsText = c.textIn;
        const ExportControlFreedom f = ExportDlg_ApplyFormatRules(c.type, b);
        EXPECT_EQ(b.ExportDataType, c.dataOut) << c.type;
        EXPECT_EQ(b.ExportAsText, c.textOut) << c.type;
        EXPECT_EQ(b.ExportSeparateSweeps, c.separateOut) << c.type;
        EXPECT_EQ(f.dataType, c.freedom.dataType) << c.type;
        EXPECT_EQ(f.format, c.freedom.format) << c.type;
        EXPECT_EQ(f.more, c.freedom.more) << c.type;
        EXPECT_EQ(f.separate, c.freedom.separate) << c.type;
    }
}

TEST(ExportTables, FiltersAndIndices) {
    auto count = [](const std::string& list) {
        int zeros = 0;
        for (char c : list) zeros += c == '\0';
        return (zeros - 1) / 2;
    };
    EXPECT_EQ(count(ExportDlg_AppendFilters(false)), 13);
    EXPECT_EQ(count(ExportDlg_AppendFilters(true)), 12);
    const std::string sweeps = ExportDlg_AppendFilters(false);
    EXPECT_EQ(sweeps.substr(0, sweeps.find('\0')), "**FileExportType3DS (.3ds)");
    EXPECT_EQ(std::string(sweeps.c_str() + sweeps.find('\0') + 1), "*.3ds");
    EXPECT_EQ(sweeps.substr(sweeps.size() - 2), std::string("\0\0", 2));

    const struct {
        bool surface;
        int32_t type;
        int index;
    } cases[] = {{false, kExport3DS, 1}, {false, kExportPsl, 8}, {false, kExportWavefront, 13},
                 {true, kExportPsl, 0},  {true, kExportPly, 8},  {true, kExportWavefront, 12}};
    for (const auto& c : cases) {
        EXPECT_EQ(ExportDlg_FilterIndex(c.surface, c.type), c.index);
        if (c.index) {
            EXPECT_EQ(ExportDlg_TypeFromFilterIndex(c.surface, c.index), c.type);
        }
    }
    EXPECT_EQ(ExportDlg_TypeFromFilterIndex(true, 13), kExport3DS);
    EXPECT_EQ(ExportDlg_TypeFromFilterIndex(false, 0), kExport3DS);

    // A stored PSL during a surface export: the dialog shows 3DS and the
    // stored type follows it, so Save writes what the dialog shows.
    int32_t stored = kExportPsl;
    EXPECT_EQ(ExportDlg_InitialFilter(true, stored), 1);
    EXPECT_EQ(stored, kExport3DS);
    stored = kExportPsl;
    EXPECT_EQ(ExportDlg_InitialFilter(false, stored), 8);
    EXPECT_EQ(stored, kExportPsl);

    EXPECT_STREQ(ExportFormat_Extension(kExportVtk), "vtk");
    EXPECT_STREQ(ExportFormat_Extension(13), "err");
    EXPECT_EQ(Export_InitialFileName("C:\\scans\\foot.v2.stl"), "foot.v2");
    GeneralSettings s = FixtureSettings();
    s.ExportFileType = 13;
    EXPECT_EQ(Export_FormatOptions(s), &s.ExportOptions[13]);
    s.ExportFileType = 14;
    EXPECT_EQ(Export_FormatOptions(s), nullptr);
}

TEST(ExportTables, SweepGathering) {
    FixtureScan scan;
    RawData& raw = scan.raw();
    SweepArrays a;
    const char* key = nullptr;
    ASSERT_TRUE(Export_BuildSweepArrays(raw, a, key));
    // Sweep 1 is hidden; point 10 is erased at the edit limit, point 9 above it.
    EXPECT_EQ(a.sweepCount, 2);
    EXPECT_EQ(a.pointCount, 8);
    EXPECT_EQ(a.pointTotals[0], 4);
    EXPECT_EQ(a.pointTotals[1], 8);
    EXPECT_EQ(a.facetTotals[0], 2);
    EXPECT_EQ(a.facetTotals[1], 4);
    const int32_t facets[] = {0, 1, 2, 0, 2, 3, 4, 5, 6, 6, 7, 5};
    EXPECT_TRUE(std::equal(facets, facets + 12, a.facets));
    EXPECT_FLOAT_EQ(a.albedos[1], 128 / 256.0f);
    EXPECT_FLOAT_EQ(a.positions[7].y, 25.0f);
    Export_FreeSweepArrays(a);

    // A shown sweep whose points are all erased still counts; its totals
    // repeat the previous ones.
    raw.Points[0].Flags = raw.Points[1].Flags = raw.Points[2].Flags = raw.Points[3].Flags = 1u << 8;
    ASSERT_TRUE(Export_BuildSweepArrays(raw, a, key));
    EXPECT_EQ(a.sweepCount, 2);
    EXPECT_EQ(a.pointTotals[0], 0);
    EXPECT_EQ(a.facetTotals[0], 0);
    EXPECT_EQ(a.pointTotals[1], 4);
    Export_FreeSweepArrays(a);

    for (int s = 0; s < 3; ++s) raw.Sweeps[s].Flags |= kSweepHidden;
    EXPECT_FALSE(Export_BuildSweepArrays(raw, a, key));
    EXPECT_STREQ(key, "ErrorExportNoSurface");
    std::string message;
    EXPECT_EQ(Export_Scan(raw, nullptr, false, "/nonexistent/x.stl", FixtureSettings(), FixtureView(), message), 0);
    EXPECT_EQ(message, "**ErrorExportNoSurface");
}

TEST(ExportTables, QuadsSplitForTriangleFormats) {
    const int32_t facets[] = {0, 1, 2};
    const int32_t quads[] = {3, 4, 5, 6, 7, 8, 9, 10};
    int32_t* t = Export_TrianglesWithQuads(facets, 1, quads, 2);
    const int32_t want[] = {0, 1, 2, 3, 4, 5, 3, 5, 6, 7, 8, 9, 7, 9, 10};
    EXPECT_TRUE(std::equal(want, want + 15, t));
    std::free(t);
}

// Writes a surface export of `type` with the fixture surface and returns the
// bytes of the file.
std::vector<unsigned char> SurfaceBytes(ScratchFolder& f, int32_t type, void (*set)(ExportFormatOptions&),
                                        SurfaceRecord* surface = nullptr) {
    FixtureScan scan;
    FixtureSurface fixture;
    GeneralSettings s = FixtureSettings();
    s.ExportFileType = type;
    set(s.ExportOptions[type]);
    const std::string path = f.File(std::string("s.") + ExportFormat_Extension(type));
    std::string message;
    EXPECT_EQ(Export_Scan(scan.raw(), surface ? surface : &fixture.surface(), true, path, s, FixtureView(), message), 1)
        << message;
    return ReadWholeFile(path);
}

TEST(ExportTables, StlSizesAndByteOrder) {
    ScratchFolder f;
    // Two facets and one quad: four triangles.
    auto binary = SurfaceBytes(f, kExportStl, [](ExportFormatOptions& o) {
        o.ExportDataType = 1;
        o.ExportAsText = 0;
    });
    EXPECT_EQ(binary.size(), 84u + 50u * 4);
    EXPECT_EQ(U32(binary, 80), 4u);
    auto swapped = SurfaceBytes(f, kExportStl, [](ExportFormatOptions& o) {
        o.ExportDataType = 1;
        o.ExportStlBinaryByteSwapped = 1;
    });
    EXPECT_EQ(std::vector<unsigned char>(swapped.begin() + 80, swapped.begin() + 84),
              (std::vector<unsigned char>{0, 0, 0, 4}));
    for (std::size_t i = 84; i < swapped.size(); i += 50)
        for (int w = 0; w < 12; ++w)
            for (int k = 0; k < 4; ++k) ASSERT_EQ(swapped[i + 4 * w + k], binary[i + 4 * w + 3 - k]);

    // A surface with no facets and no quads still gives the 84-byte file.
    FixtureSurface bare;
    bare.surface().NumFacets = 0;
    bare.surface().NumQuads = 0;
    EXPECT_EQ(SurfaceBytes(
                  f, kExportStl, [](ExportFormatOptions& o) { o.ExportDataType = 1; }, &bare.surface())
                  .size(),
              84u);

    StlModel model{};
    ASSERT_TRUE(Stl_BuildModel(0, model, "T V1", nullptr, nullptr, nullptr));
    ASSERT_TRUE(Stl_WriteAscii(f.File("part.STL"), model, "\n"));
    EXPECT_EQ(Text(f.File("part.STL")), "solid part.STL\nendsolid\n");
}

TEST(ExportTables, PlyHeaderLineEnds) {
    ScratchFolder f;
    ExportData d;
    const Vec3 p[] = {{1, 2, 3}};
    const float albedos[] = {0.999f};
    d.pointCount = 1;
    d.positions = p;
    d.albedos = albedos;
    ASSERT_EQ(Ply_Write(false, f.File("b.ply"), "C", "K", "\n", nullptr, d), 0);
    const std::string binary = Text(f.File("b.ply"));
    EXPECT_NE(binary.find("element face 0\r\nproperty list uchar int vertex_indices\r\nend_header\r\n"),
              std::string::npos);
    EXPECT_EQ(binary.size(), binary.find("end_header\r\n") + 12 + 12 + 3);
    EXPECT_EQ(static_cast<unsigned char>(binary.back()), 255);
    ASSERT_EQ(Ply_Write(true, f.File("t.ply"), "C", "K", "\n", nullptr, d), 0);
    const std::string text = Text(f.File("t.ply"));
    EXPECT_NE(text.find("end_header\n1.00 2.00 3.00 255 255 255\n\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
}

TEST(ExportTables, ChunkedLimitsAndLengths) {
    ScratchFolder f;
    std::vector<Vec3> many(65536, Vec3{1, 2, 3});
    std::vector<int32_t> faces(3 * 65536, 0);
    EXPECT_EQ(ThreeDStudio_Write(f.File("a.3ds"), nullptr, many.data(), 65536, nullptr, 0), kExportWritePointsLimit);
    EXPECT_EQ(ThreeDStudio_Write(f.File("a.3ds"), nullptr, many.data(), 3, faces.data(), 65536),
              kExportWriteFacesLimit);
    EXPECT_EQ(Lightwave_Write(f.File("a.lwo"), nullptr, many.data(), 65536, nullptr, 0), kExportWritePointsLimit);
    EXPECT_TRUE(f.Names().empty());
    EXPECT_EQ(ThreeDStudio_Write(f.File("a.3ds"), nullptr, many.data(), 65535, faces.data(), 65535), 0);
    EXPECT_EQ(Lightwave_Write(f.File("a.lwo"), nullptr, many.data(), 65535, faces.data(), 10), 0);

    // A cloud of points: the face list is there with count 0 and an empty
    // smoothing chunk; the main chunk's length is the file's size.
    const Vec3 p[] = {{0, 10, 0}, {0, 0, 10}};
    ASSERT_EQ(ThreeDStudio_Write(f.File("p.3ds"), nullptr, p, 2, nullptr, 0), 0);
    const auto b = ReadWholeFile(f.File("p.3ds"));
    EXPECT_EQ(U32(b, 2), b.size());
    const unsigned char faceList[] = {0x20, 0x41, 14, 0, 0, 0, 0, 0, 0x50, 0x41, 6, 0, 0, 0};
    EXPECT_NE(std::search(b.begin(), b.end(), faceList, faceList + sizeof faceList), b.end());
    // The quarter turn about x: (0, 10, 0) is stored as (0, 0, 10).
    const unsigned char vertices[] = {0x10, 0x41};
    auto at = std::search(b.begin(), b.end(), vertices, vertices + 2) - b.begin();
    float stored[6];
    std::memcpy(stored, &b[at + 8], sizeof stored);
    EXPECT_NEAR(stored[1], 0.0f, 1e-5f);
    EXPECT_NEAR(stored[2], 10.0f, 1e-5f);
    EXPECT_NEAR(stored[4], -10.0f, 1e-5f);

    ASSERT_EQ(Lightwave_Write(f.File("p.lwo"), nullptr, p, 2, nullptr, 0), 0);
    const auto l = ReadWholeFile(f.File("p.lwo"));
    EXPECT_EQ((uint32_t(l[4]) << 24 | l[5] << 16 | l[6] << 8 | l[7]), l.size() - 8);
}

TEST(ExportTables, IgesCountsAndColumns) {
    ScratchFolder f;
    FixedClock clock;
    const Vec3 p[] = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    const Vec3 n[] = {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}};
    const int32_t t[] = {0, 1, 2};
    ExportData d;
    d.pointCount = 3;
    d.positions = p;
    d.normals = n;
    d.facetCount = 1;
    d.facets = t;
    const std::string longCreator(100, 'c');
    const struct {
        int mode;
        const char* terminate;
    } cases[] = {
        {kIgesPoints, "D      8P      4"}, {kIgesCopious, "D      2P      4"}, {kIgesNurbs, "D      2P      4"}};
    for (const auto& c : cases) {
        ASSERT_EQ(Iges_Write(c.mode, f.File("a.igs"), longCreator, "K", "\n", nullptr, d), 0);
        const std::string text = Text(f.File("a.igs"));
        std::size_t start = 0;
        int records = 0;
        while (start < text.size()) {
            const std::size_t end = text.find('\n', start);
            ASSERT_EQ(end - start, 80u) << "record " << records << " of mode " << c.mode;
            start = end + 1;
            ++records;
        }
        EXPECT_NE(text.find(std::string("S      4G      3") + c.terminate), std::string::npos) << c.mode;
        EXPECT_EQ(text.substr(0, 72), ("Iges file created by " + longCreator).substr(0, 72));
    }
    // Copious data closes the triangle with its first point; with normals
    // but no frame they are the stored ones.
    ASSERT_EQ(Iges_Write(kIgesCopious, f.File("c.igs"), "C", "K", "\n", nullptr, d), 0);
    const std::string copious = Text(f.File("c.igs"));
    EXPECT_NE(copious.find("    1.00,    2.00,    3.00, 0.00000, 0.00000, 1.00000;"), std::string::npos);
    d.normals = nullptr;
    ASSERT_EQ(Iges_Write(kIgesNurbs, f.File("n.igs"), "C", "K", "\n", nullptr, d), 0);
    EXPECT_NE(Text(f.File("n.igs")).find("    7.00,    8.00,    9.00,    7.00,    8.00,    9.00,"), std::string::npos);
}

TEST(ExportTables, IgesRefusesAModelWhoseSequenceNumbersPassSevenColumns) {
    ScratchFolder f;
    // The largest numbers each mode takes, at the edge and one step past it.
    const struct {
        int mode;
        int32_t points, facets;
        bool normals;
        int64_t largest;
    } cases[] = {
        {kIgesPoints, 4999998, 0, false, 9999998}, {kIgesPoints, 4999999, 0, false, 10000000},
        {kIgesCopious, 0, 4999999, false, 9999998}, {kIgesCopious, 0, 2500000, true, 10000000},
        {kIgesNurbs, 0, 2499999, false, 9999996},  {kIgesNurbs, 0, 2500000, false, 10000000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        EXPECT_EQ(Iges_LargestSequenceNumber(c.mode, c.points, c.facets, c.normals), c.largest);
        if (c.largest <= kIgesMostSequenceNumber) continue;
        // Refused before any data is read or the file is made (the arrays
        // are not there at all).
        const Vec3 normal = {0, 0, 1};
        ExportData d;
        d.pointCount = c.points;
        d.facetCount = c.facets;
        d.normals = c.normals ? &normal : nullptr;
        EXPECT_EQ(Iges_Write(c.mode, f.File("big.igs"), "C", "K", "\n", nullptr, d), kExportWriteFailed);
        EXPECT_FALSE(std::filesystem::exists(f.File("big.igs")));
    }
}

TEST(ExportTables, StlRefusesAFacetCountWhoseBytesPassTheAddressSpace) {
    // Just over 2^32 bytes of facets: a 32-bit product wraps round to a
    // few bytes (a 64-bit program could ask for them, so only there is it
    // not tried). Refused before any facet is read.
    if (sizeof(std::size_t) > 4) return;
    const auto count = static_cast<int32_t>((std::uint64_t{1} << 32) / sizeof(StlFacet) + 1);
    StlModel model;
    EXPECT_FALSE(Stl_BuildModel(count, model, "C", nullptr, nullptr, nullptr));
    EXPECT_EQ(model.facets, nullptr);
}

TEST(ExportTables, PslSizes) {
    ScratchFolder f;
    FixtureScan scan;
    VisibleProfiles profiles;
    ASSERT_TRUE(CollectVisibleProfiles(scan.raw(), profiles));
    ASSERT_EQ(Psl_Write(f.File("a.psl"), "C", "K", nullptr, scan.raw().ScanAlignment, profiles), 0);
    const auto b = ReadWholeFile(f.File("a.psl"));
    // Two shown sweeps of 2 and 2 profiles; 2 + 2 + 2 + 0 points.
    EXPECT_EQ(b.size(), 512u + 64 * 2 + 64 * 4 + 12 * 6);
    EXPECT_EQ(U32(b, 136), 2u);
    EXPECT_EQ(U32(b, 512), 2u);
    EXPECT_EQ(U32(b, 512 + 64 + 2 * (64 + 24)), 2u);
    FreeVisibleProfiles(profiles);
}

TEST(ExportTables, TextFormatsEdgeCases) {
    ScratchFolder f;
    const Vec3 one[] = {{1000, 0, 0}};
    ASSERT_EQ(Vrml_Write(f.File("a.wrl"), "C", "K", "\n", nullptr, one, 1, nullptr, 0), 0);
    const std::string vrml = Text(f.File("a.wrl"));
    EXPECT_NE(vrml.find("      1.000000  0.000000  0.000000 ]"), std::string::npos);
    EXPECT_NE(vrml.find("position         1.000000  0.000000  0.000000\n"), std::string::npos);
    EXPECT_NE(vrml.find("height           0.000000\n"), std::string::npos);

    const Vec3 two[] = {{1, 2, 3}, {4, 5, 6}};
    const int32_t facet[] = {0, 1, 1};
    ASSERT_EQ(Vtk_Write(f.File("a.vtk"), "C", "\r\n", nullptr, two, 2, facet, 1), 0);
    EXPECT_NE(Text(f.File("a.vtk")).find("4.00 5.00 6.00\r\n\nPOLYGONS 1 4\r\n3 0 1 1\r\n"), std::string::npos);
    ASSERT_EQ(Vtk_Write(f.File("p.vtk"), "C", "\n", nullptr, two, 2, nullptr, 0), 0);
    const std::string points = Text(f.File("p.vtk"));
    EXPECT_EQ(points.substr(points.size() - 15), "4.00 5.00 6.00\n");

    ASSERT_EQ(Inventor_Write(f.File("a.iv"), "C", "K", "\n", nullptr, one, 1, nullptr, 0), 0);
    const std::string iv = Text(f.File("a.iv"));
    EXPECT_NE(iv.find("      1000.00 0.00 0.00 ]"), std::string::npos);

    EXPECT_EQ(Wavefront_DigitCount(9), 1);
    EXPECT_EQ(Wavefront_DigitCount(12), 2);
    const float albedos[] = {0.999f, 0.999f, 0.999f, 0.0f};
    const int32_t t[] = {0, 1, 2};
    EXPECT_EQ(static_cast<int>(Wavefront_FacetLevelMean(t, albedos) * 256), 255);
}

TEST(ExportTables, WavefrontQuadsWithTheirLevelAndOnlyQuads) {
    ScratchFolder f;
    FixedClock clock;
    FixtureSurface quadsOnly;
    quadsOnly.surface().NumFacets = 0;
    SurfaceBytes(
        f, kExportWavefront,
        [](ExportFormatOptions& o) {
            o.ExportDataType = 1;
            o.ExportAlbedos = 1;
            o.ExportByColour = 1;
            o.EndOfLine = 1;
        },
        &quadsOnly.surface());
    const std::string obj = Text(f.File("s.obj"));
    // The quad's level: (255 + 32 + 250 + 128) / 4 / 256 -> 166.
    EXPECT_NE(obj.find("g Colour166\nusemtl gs166\nf 2 5 6 3\n"), std::string::npos) << obj;
    EXPECT_NE(obj.find("mtllib greyscale.mtl"), std::string::npos);
}

TEST(ExportTables, ASurfaceWithoutGreyscaleHasNoAlbedos) {
    ScratchFolder f;
    FixedClock clock;
    FixtureSurface plain;
    std::memset(plain.surface().Greyscale, 255, static_cast<std::size_t>(plain.surface().NumPoints));
    auto albedosOn = [](ExportFormatOptions& o) {
        o.ExportDataType = 1;
        o.ExportAlbedos = 1;
        o.ExportAsText = 1;
    };
    const std::vector<unsigned char> ply = SurfaceBytes(f, kExportPly, albedosOn, &plain.surface());
    const std::string text(ply.begin(), ply.end());
    EXPECT_EQ(text.find("property uchar red"), std::string::npos) << text;
    SurfaceBytes(f, kExportWavefront, albedosOn, &plain.surface());
    EXPECT_EQ(Text(f.File("s.obj")).find("mtllib"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(f.Path() / "greyscale.mtl"));
    // One known grey value makes them albedos again.
    plain.surface().Greyscale[2] = 128;
    const std::vector<unsigned char> grey = SurfaceBytes(f, kExportPly, albedosOn, &plain.surface());
    EXPECT_NE(std::string(grey.begin(), grey.end()).find("property uchar red"), std::string::npos);
}

TEST(ExportTables, WavefrontPointsWithSeparateSweepsAreHeaderPointsAndEnd) {
    ScratchFolder f;
    FixedClock clock;
    FixtureScan scan;
    GeneralSettings s = FixtureSettings();
    s.ExportFileType = kExportWavefront;
    ExportFormatOptions& o = s.ExportOptions[kExportWavefront];
    o.ExportDataType = 0;
    o.ExportSeparateSweeps = 1;
    o.ExportNormals = 1;
    o.EndOfLine = 1;
    std::string message;
    ASSERT_EQ(Export_Scan(scan.raw(), nullptr, false, f.File("p.obj"), s, FixtureView(), message), 1) << message;
    const std::string obj = Text(f.File("p.obj"));
    const std::size_t lines = static_cast<std::size_t>(std::count(obj.begin(), obj.end(), '\n'));
    std::size_t points = 0;
    for (std::size_t at = obj.find("\nv "); at != std::string::npos; at = obj.find("\nv ", at + 1)) ++points;
    // Two header lines, three comment lines, the points, two end lines.
    EXPECT_GT(points, 0u);
    EXPECT_EQ(lines, 2 + 3 + points + 2) << obj;
    EXPECT_EQ(obj.find("g "), std::string::npos) << obj;
}

}  // namespace
