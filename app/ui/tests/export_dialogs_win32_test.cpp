// File > Export driven through the real Save dialog: the filters set the
// panel's controls by the format rules, "More Options..." opens each option
// dialog, OK writes the file, a failure shows the box and opens the dialog
// again; the stylus Save dialog and the large-polyline question.
#include <windows.h>

#include <commdlg.h>
#include <dlgs.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/base/app_messages.h"
#include "app/export/export_formats.h"
#include "app/export/tests/export_fixture.h"
#include "app/files/safe_file_write.h"
#include "app/files/tests/keyed_scratch_folder.h"
#include "app/locale/locale_loader.h"
#include "app/locale/locale_lookup.h"
#include "app/ui/app_state.h"
#include "app/ui/commands_win32.h"
#include "app/ui/export_dialogs_win32.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tests/modal_driver_win32.h"

namespace {

namespace fs = std::filesystem;
using modal_driver::Driver;
using modal_driver::Step;

constexpr int kFileTypeCombo = cmb1;

std::vector<AppMessage> g_messages;

HWND Panel(HWND save) { return FindWindowExA(save, nullptr, "#32770", nullptr); }

bool IsChecked(HWND panel, int id) { return IsDlgButtonChecked(panel, id) == BST_CHECKED; }
bool IsEnabled(HWND panel, int id) { return IsWindowEnabled(GetDlgItem(panel, id)) != FALSE; }

// Chooses a filter as a user would in the file-type box (the dialog acts on
// the end of the selection).
void ChooseFilter(HWND save, int index) {
    HWND combo = GetDlgItem(save, kFileTypeCombo);
    SendMessageA(combo, CB_SETCURSEL, index - 1, 0);
    SendMessageA(save, WM_COMMAND, MAKEWPARAM(kFileTypeCombo, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    SendMessageA(save, WM_COMMAND, MAKEWPARAM(kFileTypeCombo, CBN_SELENDOK), reinterpret_cast<LPARAM>(combo));
}

void ChooseType(HWND save, bool surface, int32_t type) { ChooseFilter(save, ExportDlg_FilterIndex(surface, type)); }

// The Save dialog's own controls share some numbers with the option
// dialogs' (its file list is 1120).
bool IsSaveDialog(HWND dialog) { return GetDlgItem(dialog, kFileTypeCombo) != nullptr; }

void Click(HWND panel, int id) { SendMessageA(GetDlgItem(panel, id), BM_CLICK, 0, 0); }

// A dialog kept as a picture beside the test program (the file dialogs move
// the current folder); its number of colours, so that a blank window fails.
size_t KeepPicture(HWND dialog, const std::string& name) {
    char program[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, sizeof program);
    const std::string path = (fs::path(program).parent_path() / ("screenshot-export-" + name + ".bmp")).string();
    return modal_driver::DistinctColours(modal_driver::Screenshot(dialog, path));
}

BOOL CALLBACK CollectTexts(HWND child, LPARAM parameter) {
    char text[512] = "";
    GetWindowTextA(child, text, sizeof text);
    reinterpret_cast<std::vector<std::string>*>(parameter)->push_back(text);
    return TRUE;
}

// No text of the dialog or its panels is a missing locale key ("**" and the key).
void ExpectLocalised(HWND dialog) {
    std::vector<std::string> texts;
    CollectTexts(dialog, reinterpret_cast<LPARAM>(&texts));
    EnumChildWindows(dialog, CollectTexts, reinterpret_cast<LPARAM>(&texts));
    for (const std::string& text : texts) EXPECT_EQ(text.find("**"), std::string::npos) << text;
}

void TypeFileName(HWND save, const std::string& path) {
    // The name box is an edit in a combo box, or an edit, by version.
    if (GetDlgItem(save, cmb13))
        SetDlgItemTextA(save, cmb13, path.c_str());
    else
        SetDlgItemTextA(save, edt1, path.c_str());
}

class ExportDialogs : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { Locale_Load(); }

    void SetUp() override {
        Shell().instance = GetModuleHandleA(nullptr);
        Shell().main = nullptr;
        AppState& app = App();
        app.settings = export_test::FixtureSettings();
        app.view = export_test::FixtureView();
        app.raw = &scan_.raw();
        app.rbf = surface_.surface();
        // Made from the scan as it stands: no surface older than the scan is exported.
        std::memset(&app.basic, 0, sizeof app.basic);
        app.basic.ChangeTime = app.raw->Timestamp;
        app.rbf.ChangeTime = app.raw->Timestamp + 1;
        app.shownSurface = &app.rbf;
        app.mode = kModeSurface;
        g_messages.clear();
        App_SetMessageSink([](const AppMessage& m) { g_messages.push_back(m); });
    }
    void TearDown() override {
        App_SetMessageSink(nullptr);
        files::SetSafeWriteDiskFullAfterForTesting(-1);
        AppState& app = App();
        app.raw = nullptr;
        std::memset(&app.rbf, 0, sizeof app.rbf);
        std::memset(&app.basic, 0, sizeof app.basic);
        app.shownSurface = nullptr;
        app.mode = kModeScan;
    }

    export_test::FixedClock clock_;
    export_test::FixtureScan scan_;
    export_test::FixtureSurface surface_;
    ScratchFolder folder_;
};

TEST_F(ExportDialogs, FiltersSetTheControlsByTheRulesAndOkWrites) {
    GeneralSettings& s = App().settings;
    s.ExportFileType = kExportPsl;  // not offered for a surface
    const std::string target = folder_.File("surface.stl");
    bool sawPanel = false;
    Driver driver({
        {kFileTypeCombo,
         [&](HWND save) {
             HWND panel = Panel(save);
             sawPanel = panel != nullptr;
             // Each type reads its name and its extension once: "Wavefront (.obj)".
             HWND types = GetDlgItem(save, kFileTypeCombo);
             const int count = static_cast<int>(SendMessageA(types, CB_GETCOUNT, 0, 0));
             EXPECT_GT(count, 5);
             for (int i = 0; i < count; ++i) {
                 char name[256] = "";
                 SendMessageA(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name));
                 const std::string text = name;
                 EXPECT_EQ(text.find('('), text.rfind('(')) << text;
                 EXPECT_EQ(text.find("(*."), std::string::npos) << text;
             }
             // The dialog starts on its first filter and the stored type follows.
             EXPECT_EQ(SendMessageA(GetDlgItem(save, kFileTypeCombo), CB_GETCURSEL, 0, 0), 0);
             EXPECT_EQ(s.ExportFileType, kExport3DS);
             EXPECT_FALSE(IsWindowVisible(GetDlgItem(panel, kExportSeparate)));

             ChooseType(save, true, kExportStl);
             EXPECT_EQ(s.ExportFileType, kExportStl);
             EXPECT_TRUE(IsChecked(panel, kExportMesh));
             EXPECT_FALSE(IsEnabled(panel, kExportMesh));
             EXPECT_FALSE(IsEnabled(panel, kExportCloud));
             Click(panel, kExportBinary);
             EXPECT_TRUE(IsEnabled(panel, kExportMoreOptions));
             Click(panel, kExportText);
             EXPECT_FALSE(IsEnabled(panel, kExportMoreOptions));
             EXPECT_TRUE(IsEnabled(panel, kExportLf));
             Click(panel, kExportBinary);
             EXPECT_FALSE(IsEnabled(panel, kExportLf));

             ChooseType(save, true, kExportAscii);
             EXPECT_TRUE(IsChecked(panel, kExportCloud));
             EXPECT_TRUE(IsChecked(panel, kExportText));
             EXPECT_FALSE(IsEnabled(panel, kExportBinary));
             EXPECT_FALSE(IsEnabled(panel, kExportMoreOptions));

             ChooseType(save, true, kExportDxf);
             Click(panel, kExportCloud);
             EXPECT_FALSE(IsEnabled(panel, kExportMoreOptions));
             Click(panel, kExportMesh);
             EXPECT_TRUE(IsEnabled(panel, kExportMoreOptions));
             ExpectLocalised(save);
             EXPECT_GE(KeepPicture(save, "save-319"), 3u);

             ChooseType(save, true, kExportStl);
             TypeFileName(save, target);
             PostMessageA(save, WM_COMMAND, IDOK, 0);
             return true;
         }},
        // The stylus question after the export: No.
        {IDNO, [](HWND box) { return modal_driver::Press(box, IDNO); }},
    });
    EXPECT_EQ(Export_Command(1), 1);
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(sawPanel);
    const std::vector<unsigned char> stl = ReadWholeFile(target);
    EXPECT_EQ(stl.size(), 84u + 50u * 4);  // two facets and a quad
    EXPECT_EQ(App().rbf.Saved, 1);
    EXPECT_EQ(Export_RememberedPath(), target);
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(ExportDialogs, MoreOptionsOpensEachDialogAndOkStoresIt) {
    GeneralSettings& s = App().settings;
    s.ExportFileType = kExportStl;
    s.ExportOptions[kExportStl].ExportAsText = 0;
    s.ExportDxfMeshAs3DFACEs = 1;
    s.ExportIgesMeshAs106 = 0;
    struct Option {
        int32_t type;
        int control;  // the dialog's own control
        int toggle;   // what the test clicks there
        const char* picture;
    };
    const Option options[] = {
        {kExportStl, 1120, 1120, "stl-313"},   {kExportDxf, 1113, 1114, "dxf-316"},
        {kExportIges, 1115, 1116, "iges-312"}, {kExportMatlab, 1054, 1055, "matlab-314"},
        {kExportPly, 1054, 1054, "ply-419"},   {kExportWavefront, 1529, 1055, "wavefront-317"},
    };
    std::deque<Step> steps;
    for (const Option& o : options) {
        steps.push_back({kFileTypeCombo, [o](HWND save) {
                             ChooseType(save, false, o.type);
                             HWND panel = Panel(save);
                             Click(panel, kExportMesh);
                             EXPECT_TRUE(IsEnabled(panel, kExportMoreOptions)) << o.type;
                             PostMessageA(GetDlgItem(panel, kExportMoreOptions), BM_CLICK, 0, 0);
                             return true;
                         }});
        steps.push_back({o.control, [o](HWND dialog) {
                             if (IsSaveDialog(dialog)) return false;  // the option dialog is not up yet
                             ExpectLocalised(dialog);
                             EXPECT_GE(KeepPicture(dialog, o.picture), 3u) << o.picture;
                             if (o.type == kExportIges) {
                                 // Normals only with copious data.
                                 EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1054)));
                             }
                             SendMessageA(GetDlgItem(dialog, o.toggle), BM_CLICK, 0, 0);
                             if (o.type == kExportIges) {
                                 EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 1054)));
                             }
                             return modal_driver::Press(dialog, IDOK);
                         }});
    }
    // Cancel in one option dialog leaves the settings as they were.
    steps.push_back({kFileTypeCombo, [](HWND save) {
                         ChooseType(save, false, kExportPly);
                         PostMessageA(GetDlgItem(Panel(save), kExportMoreOptions), BM_CLICK, 0, 0);
                         return true;
                     }});
    steps.push_back({1055, [](HWND dialog) {
                         if (IsSaveDialog(dialog)) return false;
                         SendMessageA(GetDlgItem(dialog, 1055), BM_CLICK, 0, 0);
                         return modal_driver::Press(dialog, IDCANCEL);
                     }});
    steps.push_back({kFileTypeCombo, [](HWND save) { return modal_driver::Press(save, IDCANCEL); }});
    const int32_t plyAlbedos = s.ExportOptions[kExportPly].ExportAlbedos;
    Driver driver(std::move(steps));
    EXPECT_EQ(Export_Command(0), 0);
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(s.ExportOptions[kExportStl].ExportStlBinaryByteSwapped, 1);
    EXPECT_EQ(s.ExportDxfMeshAs3DFACEs, 0);
    EXPECT_EQ(s.ExportIgesMeshAs106, 1);
    EXPECT_EQ(s.ExportOptions[kExportMatlab].ExportAlbedos, 1);
    EXPECT_EQ(s.ExportOptions[kExportPly].ExportNormals, 1);
    EXPECT_EQ(s.ExportOptions[kExportPly].ExportAlbedos, plyAlbedos);
    EXPECT_EQ(s.ExportOptions[kExportWavefront].ExportAlbedos, 1);
}

TEST_F(ExportDialogs, AFailureShowsTheBoxAndOpensTheDialogAgain) {
    GeneralSettings& s = App().settings;
    s.ExportFileType = kExportStl;
    const std::string target = folder_.File("full.stl");
    WriteWholeFile(target, {'o', 'l', 'd'});
    files::SetSafeWriteDiskFullAfterForTesting(10);
    int opened = 0;
    Driver driver({
        {kFileTypeCombo,
         [&](HWND save) {
             ++opened;
             TypeFileName(save, target);
             PostMessageA(save, WM_COMMAND, IDOK, 0);
             return true;
         }},
        // The overwrite question.
        {IDYES, [](HWND box) { return modal_driver::Press(box, IDYES); }},
        {kFileTypeCombo,
         [&](HWND save) {
             ++opened;
             // The choices made stay: the dialog shows STL again.
             EXPECT_EQ(s.ExportFileType, kExportStl);
             return modal_driver::Press(save, IDCANCEL);
         }},
    });
    EXPECT_EQ(Export_Command(1), 0);
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(opened, 2);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].kind, MessageKind::Error);
    EXPECT_EQ(g_messages[0].text, Locale_GetString("ErrorFileWriteGeneric"));
    EXPECT_EQ(ReadWholeFile(target), (std::vector<unsigned char>{'o', 'l', 'd'}));
    EXPECT_EQ(App().rbf.Saved, 0);
}

TEST_F(ExportDialogs, StylusSaveDialogWritesTheChosenFormat) {
    GeneralSettings& s = App().settings;
    s.Stylus.ExportFormat = 0;
    const std::string target = folder_.File("stylus.txt");
    Driver driver({
        {kFileTypeCombo,
         [&](HWND save) {
             HWND panel = Panel(save);
             ExpectLocalised(save);
             EXPECT_GE(KeepPicture(save, "stylus-350"), 3u);
             EXPECT_FALSE(IsEnabled(panel, kExportBinary));
             EXPECT_TRUE(IsChecked(panel, kExportText));
             Click(panel, 1298);  // the 4x4 matrix
             Click(panel, kExportLf);
             ChooseFilter(save, 2);
             TypeFileName(save, target);
             PostMessageA(save, WM_COMMAND, IDOK, 0);
             return true;
         }},
    });
    EXPECT_EQ(Export_StylusPoints(1), 1);
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(s.Stylus.ExportFormat, 1);
    EXPECT_EQ(s.Stylus.ExportType, 3);
    EXPECT_EQ(s.ExportOptions[kExportStylus].EndOfLine, 1);
    const std::vector<unsigned char> text = ReadWholeFile(target);
    const std::string head(text.begin(), text.end());
    EXPECT_EQ(head.rfind("% Ascii stylus data file created by", 0), 0u);
    EXPECT_NE(head.find("% <4x4 matrix>\n"), std::string::npos);
}

// The stylus options hook on a Save dialog the test makes itself: the panel
// shows the record it is given, again on the refresh message; a click
// stores the checked buttons, and the file type chosen is the format.
TEST_F(ExportDialogs, TheStylusOptionsHookServesASaveDialogOfItsOwn) {
    GeneralSettings s = export_test::FixtureSettings();
    ExportFormatOptions& block = s.ExportOptions[kExportStylus];
    const struct {
        int32_t frame, type, endOfLine;
        int frameButton, typeButton, endButton;
    } shown[] = {
        {0, 0, 0, kExportTracker, 1295, kExportCrlf},
        {1, 2, 1, kExportScreen, 1297, kExportLf},
        {2, 3, 2, kExportBoundingBox, 1298, kExportCr},
        {2, 1, 0, kExportBoundingBox, 1296, kExportCrlf},
    };
    auto put = [&](size_t i) {
        block.ExportCoordinateSystem = shown[i].frame;
        s.Stylus.ExportType = shown[i].type;
        block.EndOfLine = shown[i].endOfLine;
    };
    auto checkedOf = [](HWND panel, std::initializer_list<int> ids) {
        std::vector<int> checked;
        for (int id : ids)
            if (IsChecked(panel, id)) checked.push_back(id);
        return checked;
    };
    put(0);
    s.Stylus.ExportFormat = 0;
    std::vector<int32_t> formats;
    Driver driver({{kFileTypeCombo, [&](HWND save) {
        HWND panel = Panel(save);
        for (size_t i = 0; i < sizeof shown / sizeof shown[0]; ++i) {
            SCOPED_TRACE(i);
            if (i > 0) {
                put(i);
                SendMessageA(panel, kMsgPanelRefresh, 0, 0);
            }
            EXPECT_EQ(checkedOf(panel, {kExportTracker, kExportScreen, kExportBoundingBox}),
                      std::vector<int>{shown[i].frameButton});
            EXPECT_EQ(checkedOf(panel, {1295, 1296, 1297, 1298}), std::vector<int>{shown[i].typeButton});
            EXPECT_EQ(checkedOf(panel, {kExportCrlf, kExportLf, kExportCr}), std::vector<int>{shown[i].endButton});
            EXPECT_EQ(checkedOf(panel, {kExportBinary, kExportText}), std::vector<int>{kExportText});
            EXPECT_FALSE(IsEnabled(panel, kExportBinary));
        }
        Click(panel, kExportScreen);
        Click(panel, 1298);
        Click(panel, kExportLf);
        EXPECT_EQ(block.ExportCoordinateSystem, 1);
        EXPECT_EQ(s.Stylus.ExportType, 3);
        EXPECT_EQ(block.EndOfLine, 1);
        for (int filter : {2, 1, 2}) {
            ChooseFilter(save, filter);
            formats.push_back(s.Stylus.ExportFormat);
        }
        return modal_driver::Press(save, IDCANCEL);
    }}});
    char file[MAX_PATH] = "stylus";
    const char filters[] = "Comma separated\0*.csv\0Text\0*.txt\0";
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hInstance = GetModuleHandleA(nullptr);
    ofn.lpstrFilter = filters;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLETEMPLATE;
    ofn.lpfnHook = StylusExportDlg_HookProc;
    ofn.lpTemplateName = MAKEINTRESOURCEA(kStylusPanelTemplate);
    ofn.lCustData = reinterpret_cast<LPARAM>(&s);
    EXPECT_FALSE(GetSaveFileNameA(&ofn));
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(formats, (std::vector<int32_t>{1, 0, 1}));
}

TEST_F(ExportDialogs, PolylineQuestionKeepsItsAnswerWhenAsked) {
    GeneralSettings& s = App().settings;
    s.Warning.DxfSaveLarge = 0;
    {
        Driver driver({{1356, [](HWND d) {
                            ExpectLocalised(d);
                            EXPECT_GE(KeepPicture(d, "polyline-351"), 3u);
                            SendMessageA(GetDlgItem(d, 1354), BM_CLICK, 0, 0);
                            return modal_driver::Press(d, 1355);
                        }}});
        EXPECT_EQ(Export_AskDxfPolyline(s), 2);
        EXPECT_TRUE(driver.Finished());
    }
    EXPECT_EQ(s.Warning.DxfSaveLarge, 2);
    // A kept answer presses its button at once.
    EXPECT_EQ(Export_AskDxfPolyline(s), 2);
    s.Warning.DxfSaveLarge = 0;
    {
        Driver driver({{1356, [](HWND d) { return modal_driver::Press(d, IDCANCEL); }}});
        EXPECT_EQ(Export_AskDxfPolyline(s), 0);
    }
    EXPECT_EQ(s.Warning.DxfSaveLarge, 0);
}

}  // namespace

namespace {

TEST_F(ExportDialogs, SurfaceCommandsChooseTheSurfaceAndExportOnlyAPresentOne) {
    AppState& app = App();
    app.basic.NumPoints = 0;
    app.settings.CombineSweeps = 2;
    // An empty basic surface: it becomes the one shown, nothing opens.
    EXPECT_EQ(MainWnd_OnCommand(40267), 1);
    EXPECT_EQ(app.settings.CombineSweeps, 1);
    EXPECT_EQ(app.shownSurface, &app.basic);
    // The RBF surface holds points: its export opens the surface dialog.
    bool opened = false;
    Driver driver({{kFileTypeCombo, [&](HWND save) {
                        opened = true;
                        // Twelve filters: no scan-line format for a surface.
                        EXPECT_EQ(SendMessageA(GetDlgItem(save, kFileTypeCombo), CB_GETCOUNT, 0, 0), 12);
                        return modal_driver::Press(save, IDCANCEL);
                    }}});
    EXPECT_EQ(MainWnd_OnCommand(40261), 1);
    EXPECT_TRUE(opened);
    EXPECT_EQ(app.settings.CombineSweeps, 2);
    EXPECT_EQ(app.shownSurface, &app.rbf);
}

}  // namespace
