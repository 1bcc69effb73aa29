// Every format with every option that changes its bytes, for the fixture
// scan and surface, against the files kept in tests/data/golden: the same
// files natively and under Wine, and under a locale whose decimal mark is a
// comma. Each case folder also holds "expected.txt" (the points after the
// export frame and the face count) for the peer-reader check.
//
// EXPORT_GOLDEN_UPDATE=1 writes the files again instead of comparing.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "app/acquisition/visible_profiles.h"
#include "app/export/export_driver.h"
#include "app/export/export_formats.h"
#include "app/export/export_sink.h"
#include "app/export/tests/export_cases.h"
#include "app/export/tests/export_fixture.h"
#include "app/files/tests/keyed_scratch_folder.h"
#include "app/scan/raw_data.h"

namespace {

namespace fs = std::filesystem;
using namespace export_test;

fs::path GoldenFolder() { return fs::path(TEST_DATA_DIR) / "golden"; }

bool Updating() {
    const char* v = std::getenv("EXPORT_GOLDEN_UPDATE");
    return v && std::string(v) == "1";
}

// The points a reader should find, after the export frame, and the faces.
std::string ExpectedText(const FixtureScan& scanIn, const SurfaceRecord& surface, const ExportCase& c,
                         const GeneralSettings& settings, const ViewSettings& view) {
    RawData& raw = const_cast<FixtureScan&>(scanIn).raw();
    const ExportFormatOptions& o = settings.ExportOptions[c.type];
    const Matrix4 m = Export_FrameMatrix(o.ExportCoordinateSystem, view);
    std::vector<Vec3> points;
    int32_t faces = 0;
    int32_t quads = 0;
    if (c.type == kExportPsl) {
        // The scan-line file keeps the shown sweeps' profiles as captured.
        VisibleProfiles profiles;
        CollectVisibleProfiles(raw, profiles);
        for (int32_t p = 0; p < profiles.profileTotal; ++p)
            points.insert(points.end(), profiles.records[p].Points,
                          profiles.records[p].Points + profiles.records[p].NumPoints);
        FreeVisibleProfiles(profiles);
    } else if (c.surface) {
        points.assign(surface.Points, surface.Points + surface.NumPoints);
        faces = surface.NumFacets;
        quads = surface.NumQuads;
    } else {
        SweepArrays arrays;
        const char* key = nullptr;
        Export_BuildSweepArrays(raw, arrays, key);
        points.assign(arrays.positions, arrays.positions + arrays.pointCount);
        faces = arrays.facetCount;
        Export_FreeSweepArrays(arrays);
    }
    if (o.ExportDataType != 1) faces = quads = 0;
    std::string text = Export_Format("points %d\nfaces %d\nquads %d\n", static_cast<int>(points.size()), faces, quads);
    for (const Vec3& p : points) {
        Vec3 t;
        M4_TransformPoint(m, p, t);
        text += Export_Format("%.6f %.6f %.6f\n", t.x, t.y, t.z);
    }
    return text;
}

std::vector<unsigned char> Bytes(const std::string& s) { return std::vector<unsigned char>(s.begin(), s.end()); }

// Writes one case into `folder`; the message of the export.
std::string WriteCase(const ExportCase& c, FixtureScan& scan, FixtureSurface& surface, const fs::path& folder,
                      GeneralSettings& settings, ViewSettings& view) {
    settings = FixtureSettings();
    view = FixtureView();
    settings.ExportFileType = c.type;
    c.set(settings, settings.ExportOptions[c.type]);
    ExportDlg_ApplyFormatRules(c.type, settings.ExportOptions[c.type]);  // as the Save dialog leaves them
    const std::string path = (folder / (std::string("out.") + ExportFormat_Extension(c.type))).string();
    std::string message;
    Export_Scan(scan.raw(), &surface.surface(), c.surface, path, settings, view, message);
    return message;
}

// The tips of the visible stylus records in the case's frame.
std::string StylusExpectedText(const StylusCase& c, FixtureScan& scan) {
    std::vector<StylusExportRecord> records(static_cast<std::size_t>(scan.raw().Stylus.VisibleCount));
    int32_t visible = 0;
    const int32_t count = StylusExport_CollectRecords(scan.raw().Stylus, c.surface, true, records.data(), visible);
    const Matrix4 frame = Export_FrameMatrix(c.frame, FixtureView());
    std::string text = Export_Format("points %d\n", visible);
    for (int32_t r = 0; r < count; ++r) {
        if (!records[r].visible) continue;
        Matrix4 p = records[r].matrix;
        if (c.frame != 0) M4_Multiply(frame, records[r].matrix, p);
        text += Export_Format("%.6f %.6f %.6f\n", p[12], p[13], p[14]);
    }
    return text;
}

std::string WriteStylusCase(const StylusCase& c, FixtureScan& scan, const fs::path& folder) {
    GeneralSettings settings = FixtureSettings();
    settings.Stylus.ExportFormat = c.format;
    settings.Stylus.ExportType = c.type;
    settings.ExportOptions[kExportStylus].ExportCoordinateSystem = c.frame;
    settings.ExportOptions[kExportStylus].EndOfLine = c.format == 0 ? 0 : 1;
    const std::string path = (folder / (c.format == 0 ? "out.csv" : "out.txt")).string();
    std::string message;
    Export_StylusData(settings, scan.raw().Stylus, c.surface, true, FixtureView(), path, message);
    return message;
}

// Compares every file the case wrote with its golden twin (or stores them).
void CheckFolder(const std::string& name, const fs::path& written) {
    const fs::path golden = GoldenFolder() / name;
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(written)) names.insert(entry.path().filename().string());
    if (Updating()) {
        fs::create_directories(golden);
        for (const auto& entry : fs::directory_iterator(golden)) fs::remove(entry.path());
        for (const std::string& n : names) fs::copy_file(written / n, golden / n);
        return;
    }
    std::set<std::string> expected;
    for (const auto& entry : fs::directory_iterator(golden)) expected.insert(entry.path().filename().string());
    EXPECT_EQ(names, expected) << name;
    for (const std::string& n : names) {
        if (!expected.count(n)) continue;
        EXPECT_TRUE(ReadWholeFile((written / n).string()) == ReadWholeFile((golden / n).string()))
            << name << "/" << n << " differs from its golden file";
    }
}

void WriteAndCheckAll() {
    FixedClock clock;
    FixtureScan scan;
    FixtureSurface surface;
    ScratchFolder scratch;
    for (const ExportCase& c : AllExportCases()) {
        const fs::path folder = scratch.Path() / c.name;
        fs::create_directory(folder);
        GeneralSettings settings;
        ViewSettings view;
        EXPECT_EQ(WriteCase(c, scan, surface, folder, settings, view), "") << c.name;
        WriteWholeFile((folder / "expected.txt").string(),
                       Bytes(ExpectedText(scan, surface.surface(), c, settings, view)));
        CheckFolder(c.name, folder);
    }
    for (const StylusCase& c : AllStylusCases()) {
        const fs::path folder = scratch.Path() / c.name;
        fs::create_directory(folder);
        EXPECT_EQ(WriteStylusCase(c, scan, folder), "") << c.name;
        WriteWholeFile((folder / "expected.txt").string(), Bytes(StylusExpectedText(c, scan)));
        CheckFolder(c.name, folder);
    }
}

TEST(ExportGolden, EveryFormatAndOptionWritesTheKeptBytes) { WriteAndCheckAll(); }

// A locale with a decimal comma changes nothing in the files.
TEST(ExportGolden, DecimalCommaLocaleWritesTheSameBytes) {
    if (Updating()) GTEST_SKIP() << "golden files are being written";
    const char* const names[] = {"German_Germany.1252", "German", "de_DE.UTF-8", "de_DE.utf8", "de_DE"};
    const std::string before = std::setlocale(LC_ALL, nullptr);
    const char* chosen = nullptr;
    for (const char* n : names)
        if (std::setlocale(LC_ALL, n)) {
            chosen = n;
            break;
        }
    if (!chosen) GTEST_SKIP() << "no locale with a decimal comma is installed here";
    EXPECT_EQ(Export_Format("%.2f", 1.5), "1.50");
    WriteAndCheckAll();
    std::setlocale(LC_ALL, before.c_str());
}

}  // namespace
