// A failed export never damages what was there: for every format and option
// case, a disk that fills up at several points, a missing folder and a target
// that names a folder give the format's message, leave the earlier file as it
// was (or absent) and leave nothing beside it.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/export/export_driver.h"
#include "app/export/export_formats.h"
#include "app/export/tests/export_cases.h"
#include "app/export/tests/export_fixture.h"
#include "app/files/safe_file_write.h"
#include "app/files/tests/keyed_scratch_folder.h"
#include "platform/os_seam.h"

namespace {

namespace fs = std::filesystem;
using namespace export_test;

struct DiskFull {
    explicit DiskFull(std::int64_t bytes) { files::SetSafeWriteDiskFullAfterForTesting(bytes); }
    ~DiskFull() { files::SetSafeWriteDiskFullAfterForTesting(-1); }
};

GeneralSettings CaseSettings(const ExportCase& c) {
    GeneralSettings s = FixtureSettings();
    s.ExportFileType = c.type;
    c.set(s, s.ExportOptions[c.type]);
    ExportDlg_ApplyFormatRules(c.type, s.ExportOptions[c.type]);
    return s;
}

TEST(ExportFailure, DiskFullKeepsTheEarlierFileForEveryCase) {
    FixedClock clock;
    FixtureScan scan;
    FixtureSurface surface;
    const std::vector<unsigned char> earlier = {'o', 'l', 'd'};
    for (const ExportCase& c : AllExportCases()) {
        for (std::int64_t limit : {0, 1, 100, 700}) {
            ScratchFolder folder;
            const std::string path = folder.File(std::string("out.") + ExportFormat_Extension(c.type));
            WriteWholeFile(path, earlier);
            std::string message;
            int result;
            {
                DiskFull full(limit);
                result = Export_Scan(scan.raw(), &surface.surface(), c.surface, path, CaseSettings(c), FixtureView(),
                                     message);
            }
            // Files shorter than the limit are written whole.
            if (result == 1) {
                EXPECT_GT(ReadWholeFile(path).size(), 0u);
                continue;
            }
            EXPECT_EQ(message, "**ErrorFileWriteGeneric") << c.name << " at " << limit;
            EXPECT_EQ(ReadWholeFile(path), earlier) << c.name << " at " << limit;
            EXPECT_EQ(folder.Names(), std::vector<std::string>{fs::path(path).filename().string()})
                << c.name << " at " << limit;
        }
    }
}

TEST(ExportFailure, MissingFolderAndFolderTarget) {
    FixedClock clock;
    FixtureScan scan;
    FixtureSurface surface;
    for (const ExportCase& c : AllExportCases()) {
        ScratchFolder folder;
        fs::create_directory(folder.Path() / "taken");
        for (const std::string& path : {folder.File("missing/out.x"), folder.File("taken")}) {
            std::string message;
            EXPECT_EQ(
                Export_Scan(scan.raw(), &surface.surface(), c.surface, path, CaseSettings(c), FixtureView(), message),
                0)
                << c.name << " " << path;
            EXPECT_EQ(message, "**ErrorFileWriteGeneric") << c.name;
        }
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"taken"}) << c.name;
        EXPECT_TRUE(fs::is_empty(folder.Path() / "taken")) << c.name;
    }
}

// The side files of the OBJ come first; when the OBJ then fails, the OBJ
// keeps its old content.
TEST(ExportFailure, EveryCaseWritesToANameInTheSystemCodePage) {
    // The Save dialogs give names in the system code page: "Jos\xE9" is
    // "Jos\u00E9" there, and not UTF-8.
    FixedClock clock;
    FixtureScan scan;
    FixtureSurface surface;
    for (const ExportCase& c : AllExportCases()) {
        ScratchFolder folder;
        const std::string path =
            folder.Path().string() + os::PathSeparator() + "Jos\xE9." + ExportFormat_Extension(c.type);
        std::string message;
        EXPECT_EQ(Export_Scan(scan.raw(), &surface.surface(), c.surface, path, CaseSettings(c), FixtureView(), message),
                  1)
            << c.name << " " << message;
        EXPECT_FALSE(ReadWholeFile(path).empty()) << c.name;
    }
}

TEST(ExportFailure, WavefrontSideFilesAreInPlaceBeforeTheObj) {
    FixedClock clock;
    FixtureScan scan;
    FixtureSurface surface;
    ScratchFolder folder;
    fs::create_directory(folder.Path() / "greyscalemap.mtl");  // the library cannot replace a folder
    const std::string path = folder.File("out.obj");
    WriteWholeFile(path, {'o', 'l', 'd'});
    GeneralSettings s = FixtureSettings();
    s.ExportFileType = kExportWavefront;
    ExportFormatOptions& o = s.ExportOptions[kExportWavefront];
    o.ExportDataType = 1;
    o.ExportAlbedos = 1;
    o.ExportUsingTextureMap = 1;
    std::string message;
    EXPECT_EQ(Export_Scan(scan.raw(), &surface.surface(), true, path, s, FixtureView(), message), 0);
    EXPECT_EQ(message, "**ErrorFileWriteGeneric");
    EXPECT_EQ(ReadWholeFile(path), (std::vector<unsigned char>{'o', 'l', 'd'}));
    EXPECT_FALSE(fs::exists(folder.Path() / "greyscalemap.png"));
}

TEST(ExportFailure, StylusMessagesCarryTheSystemText) {
    FixedClock clock;
    FixtureScan scan;
    ScratchFolder folder;
    const struct {
        int32_t format;
        std::int64_t diskFull;
        std::string path;
        const char* key;
    } cases[] = {
        {0, -1, folder.File("missing/s.csv"), "**ErrorFileCreate"},
        {1, -1, folder.File("missing/s.txt"), "**ErrorFileCreate"},
        {0, 10, folder.File("s.csv"), "**ErrorFileWriteGenericExt"},
        {1, 150, folder.File("s.txt"), "**ErrorFileWriteGenericExt"},
    };
    for (const auto& c : cases) {
        GeneralSettings s = FixtureSettings();
        s.Stylus.ExportFormat = c.format;
        std::string message;
        int result;
        {
            DiskFull full(c.diskFull);
            result = Export_StylusData(s, scan.raw().Stylus, false, false, FixtureView(), c.path, message);
        }
        EXPECT_EQ(result, 0);
        // The key's text (absent here) stands for the message; the system's
        // text is what the locale would put in it.
        EXPECT_EQ(message, c.key) << c.path;
        EXPECT_FALSE(fs::exists(c.path));
    }
    EXPECT_TRUE(folder.Names().empty());
}

}  // namespace
