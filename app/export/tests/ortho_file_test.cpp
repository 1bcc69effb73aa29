// The AAOP and OP3 files of a small fixture model, line by line, also under a
// locale with a decimal comma, and their write failures.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/export/ortho_file.h"
#include "app/export/tests/export_fixture.h"
#include "app/files/safe_file_write.h"

namespace {

namespace fs = std::filesystem;

struct Hooks {
    Hooks() {
        OrthoHooks& h = Ortho_Hooks();
        saved = h;
        h.makerName = [] { return std::string("Korvant"); };
        h.productName = [] { return std::string("Tolvaran"); };
        h.productVersion = [] { return std::string("4.0.7"); };
        h.userName = [](std::string& out) {
            out = "tester";
            return true;
        };
    }
    ~Hooks() { Ortho_Hooks() = saved; }
    OrthoHooks saved;
};

OrthoModel AaopFixture() {
    OrthoModel m;
    OrthoSliceSetup s = OrthoSliceSetup_Default();
    s.AngleSpacing = 90;
    s.Side = kOrthoSideRight;
    std::string error;
    OrthoModel_Init(m, s, error);
    OrthoSlice* a = OrthoModel_AddSlice(m, 0, {0, 0, 0}, {0, 1, 0}, {0, 0, 1}, true, false);
    a->Radii = {10, 11, 12, 13.25f};
    OrthoSlice* b = OrthoModel_AddSlice(m, 12.5, {0, 12.5f, 0}, {0, 1, 0}, {0, 0, 1}, true, false);
    b->Radii = {20, 21.5f, 22, 23.125f};
    OrthoLandmark* p = OrthoModel_AddLandmark(m, "S000 POINT", 1);
    p->Points[0] = OrthoLandmarkPoint{5, -90, 5, 3.5f, 0};
    OrthoLandmark* l = OrthoModel_AddLandmark(m, "S001 LINE", 2);
    l->Points[0] = OrthoLandmarkPoint{1, 0, 0, 1, 1};
    l->Points[1] = OrthoLandmarkPoint{2, 45.5f, 1.5f, 2, 1.5f};
    return m;
}

OrthoModel Op3Fixture() {
    OrthoModel m;
    OrthoSliceSetup s = OrthoSliceSetup_Default();
    s.AngleSpacing = 90;
    s.Side = kOrthoSideLeft;
    std::string error;
    OrthoModel_Init(m, s, error);
    for (int k = 0; k < 2; ++k) {
        OrthoSlice* sl = OrthoModel_AddSlice(m, k, {0, 0, 0}, {0, 0, 1}, {0, 1, 0}, false, true);
        sl->Points = {{1.5f + k, 0, 0.25f}, {-0.5f, 2, 0.125f}, {0, -1e-5f, 1000000}, {-3, -2, -1}};
    }
    OrthoModel_AddLandmark(m, "S000 POINT", 1)->Points[0] = OrthoLandmarkPoint{0, 0, 1, 2.5f, 3};
    OrthoModel_AddLandmark(m, "S001 LINE", 0);
    OrthoLandmark* l = OrthoModel_AddLandmark(m, "S002 LINE", 2);
    l->Points[0] = OrthoLandmarkPoint{0, 0, -4, 5, 6.75f};
    l->Points[1] = OrthoLandmarkPoint{0, 0, 7, 8, 9};
    return m;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += l + "\r\n";
    return out;
}

const std::vector<std::string> kAaopLines = {
    "AAOP1",
    "AAOP file created by Korvant Tolvaran v4.0.7 on 05-Mar-2024, 14:07:09",
    "END COMMENTS",
    "CYLINDRICAL",
    "RIGHT",
    "2",
    "S000 POINT",
    "1",
    "5.0000",
    "-90.0000",
    "3.5000",
    "S001 LINE",
    "2",
    "1.0000",
    "0.0000",
    "1.0000",
    "2.0000",
    "45.5000",
    "2.0000",
    "4",
    "90",
    "2",
    "0",
    "0.0000",
    "12.5000",
    // radii from sample n - 1 down
    "13.2500",
    "12.0000",
    "11.0000",
    "10.0000",
    "23.1250",
    "22.0000",
    "21.5000",
    "20.0000",
};

const std::vector<std::string> kOp3Lines = {
    "FILE_FORMAT",
    "OP3",
    "",
    "FILE_VERSION",
    "1.0",
    "",
    "APPLICATION",
    "Korvant Tolvaran v4.0.7",
    "",
    "CREATED_BY",
    "tester",
    "",
    "SIDE",
    "LEFT",
    "",
    "COMMENT",
    "OP3 file created by Korvant Tolvaran v4.0.7 on 05-Mar-2024, 14:07:09",
    "",
    "LANDMARK_XYZ",
    "2",
    "1 2.5 3 S000 POINT",
    "-4 5 6.75 S002 LINE",
    "",
    "SLICE_DATA",
    "2",
    "4",
    "1",
    "1.5 0 0.25",
    "-0.5 2 0.125",
    "0 -1e-05 1e+06",
    "-3 -2 -1",
    "2.5 0 0.25",
    "-0.5 2 0.125",
    "0 -1e-05 1e+06",
    "-3 -2 -1",
};

struct Scratch {
    Scratch() {
        folder = fs::temp_directory_path() / "ortho_file_test";
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    ~Scratch() { fs::remove_all(folder); }
    fs::path folder;
};

TEST(OrthoFile, AaopLineByLine) {
    export_test::FixedClock clock;
    Hooks hooks;
    Scratch scratch;
    const fs::path path = scratch.folder / "limb.aop";
    OrthoModel model = AaopFixture();
    std::string error = "stale";
    ASSERT_EQ(Aaop_WriteFile(model, path.string(), true, error), 0);
    EXPECT_EQ(error, "");
    EXPECT_EQ(model.Saved, 1);
    EXPECT_EQ(ReadAll(path), Lines(kAaopLines));
    // Without names each landmark's name line is a single blank.
    std::vector<std::string> blank = kAaopLines;
    blank[6] = " ";
    blank[11] = " ";
    ASSERT_EQ(Aaop_WriteFile(model, path.string(), false, error), 0);
    EXPECT_EQ(ReadAll(path), Lines(blank));
    // No landmarks: "0" and straight on to the slice block.
    model.Landmarks.clear();
    ASSERT_EQ(Aaop_WriteFile(model, path.string(), true, error), 0);
    std::vector<std::string> none(kAaopLines.begin(), kAaopLines.begin() + 5);
    none.push_back("0");
    none.insert(none.end(), kAaopLines.begin() + 19, kAaopLines.end());
    EXPECT_EQ(ReadAll(path), Lines(none));
}

TEST(OrthoFile, Op3LineByLine) {
    export_test::FixedClock clock;
    Hooks hooks;
    Scratch scratch;
    const fs::path path = scratch.folder / "foot.op3";
    OrthoModel model = Op3Fixture();
    std::string error;
    ASSERT_EQ(Op3_WriteFile(model, path.string(), true, error), 0);
    EXPECT_EQ(model.Saved, 1);
    EXPECT_EQ(ReadAll(path), Lines(kOp3Lines));
    // Without names, and with a user name that cannot be read.
    Ortho_Hooks().userName = [](std::string&) { return false; };
    std::vector<std::string> plain = kOp3Lines;
    plain[10] = "";
    plain[20] = "1 2.5 3";
    plain[21] = "-4 5 6.75";
    ASSERT_EQ(Op3_WriteFile(model, path.string(), false, error), 0);
    EXPECT_EQ(ReadAll(path), Lines(plain));
}

// A decimal comma in the user's locale changes no number; only the month's
// short name may follow the locale.
TEST(OrthoFile, DecimalCommaLocaleKeepsTheDecimalPoint) {
    const char* const names[] = {"German_Germany.1252", "German", "de_DE.UTF-8", "de_DE.utf8", "de_DE"};
    const std::string before = std::setlocale(LC_ALL, nullptr);
    const char* chosen = nullptr;
    for (const char* n : names)
        if (std::setlocale(LC_ALL, n)) {
            chosen = n;
            break;
        }
    if (!chosen) GTEST_SKIP() << "no locale with a decimal comma is installed here";
    export_test::FixedClock clock;
    Hooks hooks;
    Scratch scratch;
    OrthoModel aaop = AaopFixture(), op3 = Op3Fixture();
    std::string error;
    const int a = Aaop_WriteFile(aaop, (scratch.folder / "limb.aop").string(), true, error);
    const int o = Op3_WriteFile(op3, (scratch.folder / "foot.op3").string(), true, error);
    const std::string month = Ortho_DateText().substr(3, Ortho_DateText().size() - 3 - 15);
    std::setlocale(LC_ALL, before.c_str());
    ASSERT_EQ(a, 0);
    ASSERT_EQ(o, 0);
    EXPECT_FALSE(month.empty());
    std::vector<std::string> aaopLines = kAaopLines, op3Lines = kOp3Lines;
    aaopLines[1] = "AAOP file created by Korvant Tolvaran v4.0.7 on 05-" + month + "-2024, 14:07:09";
    op3Lines[16] = "OP3 file created by Korvant Tolvaran v4.0.7 on 05-" + month + "-2024, 14:07:09";
    EXPECT_EQ(ReadAll(scratch.folder / "limb.aop"), Lines(aaopLines));
    EXPECT_EQ(ReadAll(scratch.folder / "foot.op3"), Lines(op3Lines));
}

struct DiskFull {
    explicit DiskFull(std::int64_t bytes) { files::SetSafeWriteDiskFullAfterForTesting(bytes); }
    ~DiskFull() { files::SetSafeWriteDiskFullAfterForTesting(-1); }
};

// A failed write is reported with the system's text, keeps the earlier file
// and leaves the model unsaved.
TEST(OrthoFile, WriteFailuresKeepTheEarlierFile) {
    export_test::FixedClock clock;
    Hooks hooks;
    Scratch scratch;
    using Writer = int (*)(OrthoModel&, const std::string&, bool, std::string&);
    struct Row {
        const char* name;
        Writer write;
        OrthoModel (*fixture)();
    } rows[] = {{"aaop", Aaop_WriteFile, AaopFixture}, {"op3", Op3_WriteFile, Op3Fixture}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const fs::path path = scratch.folder / "earlier.txt";
        for (std::int64_t limit : {0, 10, 100}) {
            { std::ofstream(path, std::ios::binary) << "earlier"; }
            OrthoModel model = r.fixture();
            std::string error;
            DiskFull full(limit);
            EXPECT_EQ(r.write(model, path.string(), true, error), 5);
            EXPECT_EQ(error.rfind("Save failed:\n    ", 0), 0u) << error;
            EXPECT_GT(error.size(), std::strlen("Save failed:\n    "));
            EXPECT_EQ(model.Saved, 0);
            EXPECT_EQ(ReadAll(path), "earlier");
        }
        OrthoModel model = r.fixture();
        std::string error;
        EXPECT_EQ(r.write(model, (scratch.folder / "missing" / "x.aop").string(), true, error), 5);
        EXPECT_EQ(error.rfind("Save failed:\n    ", 0), 0u);
        EXPECT_EQ(model.Saved, 0);
        EXPECT_FALSE(fs::exists(scratch.folder / "missing"));
        // Nothing is left beside the file.
        std::size_t entries = 0;
        for (auto it = fs::directory_iterator(scratch.folder); it != fs::directory_iterator(); ++it) ++entries;
        EXPECT_EQ(entries, 1u);
    }
}

}  // namespace
