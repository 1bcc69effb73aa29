// The Batch Processing dialog under Wine, driven through its controls and
// screenshotted: four scans of a folder (one cut short) exported as sweeps to
// STL, as a basic surface to PLY and as an RBF surface to OBJ through the real
// Morlith.dll; the log, the summary, the warning box and the saved log; the
// program's records unchanged after Close. The exported files are left in
// batch_outputs/ with their expected counts for an independent reader
// (app/ui.batch_outputs_meshio). Also: all good gives the success line and one
// beep; Abort in an RBF build; Close while the thread ends, repeated; Save Log
// on a full disk; a large DXF polyline exported without the question.
#include "app/base/app_messages.h"
#include "app/export/export_driver.h"
#include "app/files/safe_file_write.h"
#include "app/locale/locale_loader.h"
#include "app/scan/basic_surface.h"
#include "app/ui/app_state.h"
#include "app/ui/batch_dialog_win32.h"
#include "app/ui/batch_process.h"
#include "app/ui/export_dialogs_win32.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tests/batch_scans.h"
#include "app/ui/tests/modal_driver_win32.h"

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace modal_driver;

namespace {

std::vector<AppMessage> g_messages;
std::vector<UINT> g_beeps;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> LogLines(HWND dialog) {
    std::vector<std::string> lines;
    HWND list = GetDlgItem(dialog, kBatchLog);
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[1100] = "";
        LVITEMA item = {};
        item.iSubItem = 0;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(list, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
        lines.push_back(text);
    }
    return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& part) {
    for (const std::string& line : lines)
        if (line.find(part) != std::string::npos) return true;
    return false;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    return names;
}

WNDPROC g_listProc = nullptr;
int g_abortsPressed = 0;

LRESULT CALLBACK AbortOnBuildStage(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == LVM_INSERTITEMA) {
        const LVITEMA* item = reinterpret_cast<const LVITEMA*>(lParam);
        if (item->pszText && std::strstr(item->pszText, ") Processing points")) {
            EXPECT_EQ(ItemText(GetParent(list), IDCANCEL), "Abort");
            ++g_abortsPressed;
            SendMessageA(GetParent(list), WM_COMMAND, IDCANCEL, 0);
        }
    }
    return CallWindowProcA(g_listProc, list, message, wParam, lParam);
}

int ListCount(HWND dialog) { return static_cast<int>(SendDlgItemMessageA(dialog, kBatchScanList, LB_GETCOUNT, 0, 0)); }

// Selects an entry as a click on it would.
void Select(HWND dialog, int index) {
    SendDlgItemMessageA(dialog, kBatchScanList, LB_SETCURSEL, index, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(kBatchScanList, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, kBatchScanList)));
}

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

bool Ended(HWND dialog) {
    return ItemText(dialog, IDCANCEL) == "Close" && IsWindowEnabled(GetDlgItem(dialog, kBatchSaveLog)) &&
           IsWindowEnabled(GetDlgItem(dialog, kBatchRun));
}

class BatchDialogWin32 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Locale_Load();
        InitCommonControls();
        std::error_code error;
        std::filesystem::create_directories(Folder(), error);
        a_ = batch_test::WriteDomeScan(Folder() + "a.tvn");
        batch_test::WriteDomeScan(Folder() + "b.tvn", 3);
        batch_test::WriteDomeScan(Folder() + "c.tvn");
        batch_test::WriteTruncatedCopy(Folder() + "a.tvn", Folder() + "d.tvn", 700);
    }
    static std::string Folder() { return "batch_outputs\\"; }

    void SetUp() override {
        Shell().instance = GetModuleHandleA(nullptr);
        owner_ = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                                 nullptr, Shell().instance, nullptr);
        Shell().main = owner_;
        g_messages.clear();
        g_beeps.clear();
        App_SetMessageSink([](const AppMessage& m) { g_messages.push_back(m); });
        BatchDialog_Seams() = BatchDialogSeams();
        BatchDialog_Seams().beep = [](UINT type) { g_beeps.push_back(type); };
        BatchDialog_Seams().openScan = [this](std::string& path) {
            if (toOpen_.empty()) return false;
            path = toOpen_.front();
            toOpen_.pop_front();
            return true;
        };
        BatchDialog_Seams().chooseOutput = [this](GeneralSettings& settings, bool, std::string& path) {
            if (outputs_.empty()) return false;
            const Output out = outputs_.front();
            outputs_.pop_front();
            settings.ExportFileType = out.type;
            ExportFormatOptions& o = settings.ExportOptions[out.type];
            o.ExportDataType = 1;
            o.ExportAsText = out.type == kExportStl ? 0 : 1;
            o.ExportCoordinateSystem = 0;
            o.EndOfLine = 0;
            path = out.path;
            return true;
        };
        // The program's own document: a scan with its blocks, a basic surface
        // and settings of its own.
        AppState& app = App();
        GeneralSettings_SetDefaults(app.settings, 0x00FFFFFF, 0);
        app.settings.ExportFileType = kExportStl;
        app.settings.RbfParams.RbfTrimType = kRbfTrimTrim;
        app.settings.RbfParams.RbfResolution = 1.5f;
        app.settingsDefaults = app.settings;
        ViewSettings_SetDefaults(app.view);
        app.view.ZoomFactor = 2.25f;
        app.viewDefaults = app.view;
        ScanBlocks_Init(app.blocks);
        app.raw = static_cast<RawData*>(std::calloc(1, sizeof(RawData)));
        char error[kScanFileErrorTextSize] = "";
        ASSERT_TRUE(TVNFile_Load((Folder() + "a.tvn").c_str(), app.raw, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, &app.blocks, error, nullptr))
            << error;
        std::memset(&app.basic, 0, sizeof app.basic);
        std::memset(&app.rbf, 0, sizeof app.rbf);
        ASSERT_EQ(BasicSurf_Build(app.settings, *app.raw, 0, app.basic, nullptr, nullptr), kBasicSurfDone);
        app.shownSurface = &app.basic;
        app.scanPath = "C:\\scans\\open scan.tvn";
        std::memcpy(static_cast<void*>(&rawBefore_), app.raw, sizeof rawBefore_);
        basicBefore_ = app.basic;
        settingsBefore_ = app.settings;
        viewBefore_ = app.view;
    }
    void TearDown() override {
        AppState& app = App();
        Surface_Free(app.basic);
        Surface_Free(app.rbf);
        std::memset(&app.basic, 0, sizeof app.basic);
        std::memset(&app.rbf, 0, sizeof app.rbf);
        RawData_FreeArrays(*app.raw);
        ScanBlocks_Free(app.blocks);
        std::free(app.raw);
        app.raw = nullptr;
        BatchDialog_Seams() = BatchDialogSeams();
        files::SetSafeWriteDiskFullAfterForTesting(-1);
        App_SetMessageSink(nullptr);
        Shell().main = nullptr;
        DestroyWindow(owner_);
    }

    INT_PTR Run() { return Batch_Command(40130) ? 1 : 0; }

    void ExpectProgramUnchanged() {
        AppState& app = App();
        EXPECT_EQ(std::memcmp(&rawBefore_, app.raw, sizeof rawBefore_), 0);
        EXPECT_EQ(std::memcmp(&basicBefore_, &app.basic, sizeof basicBefore_), 0);
        EXPECT_EQ(std::memcmp(&settingsBefore_, &app.settings, sizeof settingsBefore_), 0);
        EXPECT_EQ(std::memcmp(&viewBefore_, &app.view, sizeof viewBefore_), 0);
        EXPECT_EQ(app.rbf.NumPoints, 0);
        EXPECT_EQ(app.shownSurface, &app.basic);
        EXPECT_TRUE(IsWindowEnabled(owner_));
    }

    // Adds the files with the choice (0 sweeps, 1 basic, 2 RBF) and output of
    // each, after removing the open scan's entry.
    struct Entry {
        std::string scan;
        int choice;
        int32_t type;
        std::string output;
    };
    std::deque<Step> AddSteps(const std::vector<Entry>& entries) {
        std::deque<Step> steps;
        steps.push_back({kBatchScanList, [](HWND d) {
                             EXPECT_EQ(ListCount(d), 1);
                             char label[MAX_PATH] = "";
                             SendDlgItemMessageA(d, kBatchScanList, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(label));
                             EXPECT_STREQ(label, "open scan.tvn");
                             EXPECT_EQ(ItemText(d, kBatchScanPath), "(Current Scan)");
                             EXPECT_EQ(ItemText(d, kBatchOutputPath), "C:\\scans\\open scan.stl");
                             EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, kBatchSaveLog)));
                             Click(d, kBatchRemove);
                             EXPECT_EQ(ListCount(d), 0);
                             EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, kBatchRun)));
                             EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, kBatchRemove)));
                             return true;
                         }});
        for (const Entry& e : entries) {
            toOpen_.push_back(e.scan);
            outputs_.push_back(Output{e.type, e.output});
            const int choiceId = e.choice == 0 ? kBatchSweeps : e.choice == 1 ? kBatchBasic : kBatchRbf;
            steps.push_back({kBatchScanList, [choiceId](HWND d) {
                                 Click(d, kBatchAdd);
                                 Select(d, ListCount(d) - 1);
                                 Click(d, choiceId);
                                 EXPECT_EQ(IsWindowEnabled(GetDlgItem(d, kBatchSurfaceSettings)) != 0,
                                           choiceId != kBatchSweeps);
                                 Click(d, kBatchOutput);
                                 return true;
                             }});
        }
        return steps;
    }

    struct Output {
        int32_t type;
        std::string path;
    };
    HWND owner_ = nullptr;
    std::deque<std::string> toOpen_;
    std::deque<Output> outputs_;
    RawData rawBefore_;
    SurfaceRecord basicBefore_;
    GeneralSettings settingsBefore_;
    ViewSettings viewBefore_;
    static int32_t a_;
};

int32_t BatchDialogWin32::a_ = 0;

TEST_F(BatchDialogWin32, AFolderWithATruncatedScanExportsTheOthersAndEndsWithErrors) {
    ASSERT_GT(a_, 0);
    const std::string out = Folder();
    for (const char* name : {"a.stl", "b.ply", "c.obj", "d.stl", "batch.log"}) std::remove((out + name).c_str());
    std::deque<Step> steps = AddSteps({{out + "a.tvn", 0, kExportStl, out + "a.stl"},
                                       {out + "b.tvn", 1, kExportPly, out + "b.ply"},
                                       {out + "c.tvn", 2, kExportWavefront, out + "c.obj"},
                                       {out + "d.tvn", 0, kExportStl, out + "d.stl"}});
    std::vector<std::string> lines;
    std::string savedLog;
    steps.push_back({kBatchScanList, [](HWND d) {
                         EXPECT_EQ(ListCount(d), 4);
                         Select(d, 1);
                         EXPECT_TRUE(IsDlgButtonChecked(d, kBatchBasic));
                         EXPECT_EQ(ItemText(d, kBatchOutputPath), "batch_outputs\\b.ply");
                         return Press(d, kBatchRun);
                     }});
    steps.push_back({kBatchScanList, [&](HWND d) {
                         if (!Ended(d)) return false;
                         lines = LogLines(d);
                         // The dialog as the user sees it: its controls, the
                         // message list and its icons drawn.
                         EXPECT_GT(DistinctColours(Screenshot(d, "batch_processing_320.bmp")), 8u);
                         BatchDialog_Seams().saveLogPath = [&](std::string& path) {
                             path = out + "batch.log";
                             return true;
                         };
                         Click(d, kBatchSaveLog);
                         savedLog = ReadAll(out + "batch.log");
                         return Press(d, IDCANCEL);
                     }});
    // The RBF surface is built by the real library: up to a minute.
    Driver driver(std::move(steps), 3000);
    const DWORD start = GetTickCount();
    EXPECT_EQ(Run(), 1);
    std::printf("batch of four scans: %.1f s\n", (GetTickCount() - start) / 1000.0);
    EXPECT_TRUE(driver.Finished());
    ExpectProgramUnchanged();

    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("WARNING: Batch processing completed with errors"), std::string::npos) << lines.back();
    EXPECT_TRUE(Contains(lines, out + "d.tvn"));
    EXPECT_TRUE(Contains(lines, "Selvane Export"));
    EXPECT_TRUE(Contains(lines, "Basic Export"));
    EXPECT_FALSE(Contains(lines, "Msg"));  // the basic build's stages by their texts, not their keys
    int complete = 0, errors = 0;
    for (const std::string& line : lines) {
        complete += line.find(") Complete") != std::string::npos;
        errors += line.find("ERROR: ") != std::string::npos;
    }
    EXPECT_EQ(complete, 3);
    EXPECT_EQ(errors, 1);
    // The bad item's error is the loader's own message.
    char loaderMessage[kScanFileErrorTextSize] = "";
    RawData* probe = static_cast<RawData*>(std::calloc(1, sizeof(RawData)));
    EXPECT_FALSE(TVNFile_Load((out + "d.tvn").c_str(), probe, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, loaderMessage, nullptr));
    std::free(probe);
    EXPECT_TRUE(Contains(lines, std::string("ERROR: ") + loaderMessage)) << loaderMessage;
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].kind, MessageKind::Warning);
    EXPECT_EQ(g_messages[0].title, "Processing Complete");
    EXPECT_EQ(g_messages[0].text,
              "Batch processing completed.\nProcessing failed for some scans,\nsee the message list for details.");
    for (UINT beep : g_beeps) EXPECT_NE(beep, static_cast<UINT>(MB_OK));

    // The saved log: the header, then an empty line before each plain line.
    ASSERT_EQ(savedLog.rfind("Tolvaran batch processing log -- ", 0), 0u) << savedLog.substr(0, 80);
    EXPECT_NE(savedLog.find("\r\n\r\n" + out + "a.tvn\r\n"), std::string::npos);
    EXPECT_NE(savedLog.find("\r\n\r\n" + out + "d.tvn\r\n"), std::string::npos);
    EXPECT_NE(savedLog.find("WARNING: Batch processing completed with errors\r\n"), std::string::npos);

    // What the independent reader checks: the sweeps' facets of a.tvn, the
    // basic surface's facets of b.tvn, and that the RBF surface is there.
    SurfaceRecord basic{};
    {
        ScanBlocks blocks;
        ScanBlocks_Init(blocks);
        RawData* raw = static_cast<RawData*>(std::calloc(1, sizeof(RawData)));
        char error[kScanFileErrorTextSize] = "";
        ASSERT_TRUE(TVNFile_Load((out + "b.tvn").c_str(), raw, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 &blocks, error, nullptr));
        ASSERT_EQ(BasicSurf_Build(settingsBefore_, *raw, settingsBefore_.ProfileFilterLength, basic, nullptr, nullptr),
                  kBasicSurfDone);
        RawData_FreeArrays(*raw);
        std::free(raw);
        ScanBlocks_Free(blocks);
    }
    std::ofstream expected(out + "expected.txt");
    expected << "a.stl " << a_ << "\n"
             << "b.ply " << basic.NumPoints << " " << basic.NumFacets << "\n"
             << "c.obj\n"
             << "missing d.stl\n";
    Surface_Free(basic);
}

TEST_F(BatchDialogWin32, AllGoodGivesTheSuccessLineAndOneBeep) {
    const std::string out = Folder();
    std::deque<Step> steps = AddSteps(
        {{out + "a.tvn", 0, kExportStl, out + "good_a.stl"}, {out + "b.tvn", 1, kExportPly, out + "good_b.ply"}});
    std::vector<std::string> lines;
    steps.push_back({kBatchScanList, [](HWND d) { return Press(d, kBatchRun); }});
    steps.push_back({kBatchScanList, [&](HWND d) {
                         if (!Ended(d)) return false;
                         lines = LogLines(d);
                         return Press(d, IDCANCEL);
                     }});
    Driver driver(std::move(steps));
    Run();
    EXPECT_TRUE(driver.Finished());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Batch processing completed successfully");
    EXPECT_EQ(std::count(g_beeps.begin(), g_beeps.end(), static_cast<UINT>(MB_OK)), 1);
    EXPECT_TRUE(g_messages.empty());
    ExpectProgramUnchanged();
}

// The large-polyline question, wherever it opens in the process: answered
// "Save Polyline" with "Don't ask this question again" ticked, as a user
// would who wants no more questions.
BOOL CALLBACK AnswerPolylineQuestion(HWND window, LPARAM seen) {
    constexpr int kDontAsk = 1354, kSavePolyline = 1356;
    char name[32] = "";
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) != "#32770" || !GetDlgItem(window, kSavePolyline)) return TRUE;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return TRUE;
    *reinterpret_cast<bool*>(seen) = true;
    SendDlgItemMessageA(window, kDontAsk, BM_SETCHECK, BST_CHECKED, 0);
    PostMessageA(window, WM_COMMAND, kSavePolyline, 0);
    return FALSE;
}

// A sweeps export to DXF of more points than a polyline holds: the batch
// thread takes the answer stored in its item's own settings (3DFACEs); it
// neither opens the question, which belongs to the interface thread, nor
// changes the program's settings, where "ask" stays.
TEST_F(BatchDialogWin32, TheLargePolylineQuestionIsNeverAskedFromTheBatch) {
    const std::string out = Folder();
    const std::string scan = out + "large.tvn", dxf = out + "large.dxf";
    ASSERT_GT(batch_test::WriteDomeScan(scan, 30, 24, 100), 0);  // 72,000 points
    std::remove(dxf.c_str());
    Export_InstallHooks();  // as the program's start-up wires the driver
    GeneralSettings& live = App().settings;
    live.ExportDxfMeshAs3DFACEs = 0;
    live.Warning.DxfSaveLarge = 0;  // the program asks
    // The item's copy holds the answer 3DFACEs.
    const auto choose = BatchDialog_Seams().chooseOutput;
    BatchDialog_Seams().chooseOutput = [choose](GeneralSettings& settings, bool surface, std::string& path) {
        settings.Warning.DxfSaveLarge = 2;
        return choose(settings, surface, path);
    };
    std::deque<Step> steps = AddSteps({{scan, 0, kExportDxf, dxf}});
    bool asked = false;
    int liveAnswer = -1;
    std::vector<std::string> lines;
    steps.push_back({kBatchScanList, [](HWND d) { return Press(d, kBatchRun); }});
    steps.push_back({kBatchScanList, [&](HWND d) {
                         EnumWindows(AnswerPolylineQuestion, reinterpret_cast<LPARAM>(&asked));
                         if (!Ended(d)) return false;
                         // Before Close puts back the settings the dialog found.
                         liveAnswer = live.Warning.DxfSaveLarge;
                         lines = LogLines(d);
                         return Press(d, IDCANCEL);
                     }});
    Driver driver(std::move(steps), 3000);
    Run();
    Export_Hooks() = ExportHooks();
    EXPECT_TRUE(driver.Finished());
    EXPECT_FALSE(asked);
    EXPECT_EQ(liveAnswer, 0);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Batch processing completed successfully");
    const std::string written = ReadAll(dxf);
    EXPECT_NE(written.find("3DFACE"), std::string::npos);
    EXPECT_EQ(written.find("POLYLINE"), std::string::npos);
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(BatchDialogWin32, AbortInAnRbfBuildFailsTheItemWithoutSummary) {
    const std::string out = Folder();
    std::deque<Step> steps = AddSteps({{out + "b.tvn", 2, kExportWavefront, out + "abort_b.obj"},
                                       {out + "a.tvn", 0, kExportStl, out + "abort_a.stl"}});
    std::vector<std::string> lines;
    // The user presses Abort as the RBF build reports its first stage: the
    // line reaches the list while the build waits for it.
    steps.push_back({kBatchScanList, [](HWND d) {
                         HWND list = GetDlgItem(d, kBatchLog);
                         g_listProc = reinterpret_cast<WNDPROC>(
                             SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AbortOnBuildStage)));
                         return Press(d, kBatchRun);
                     }});
    steps.push_back({kBatchScanList, [&](HWND d) {
                         if (!Ended(d)) return false;
                         lines = LogLines(d);
                         return Press(d, IDCANCEL);
                     }});
    Driver driver(std::move(steps));
    Run();
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(g_abortsPressed, 1);
    EXPECT_TRUE(Contains(lines, "ERROR: Processing aborted"));
    EXPECT_FALSE(Contains(lines, "completed"));
    EXPECT_FALSE(Contains(lines, ") Complete"));
    EXPECT_FALSE(Contains(lines, out + "a.tvn"));  // the batch stopped at the aborted item
    EXPECT_TRUE(Contains(lines, "ERROR: "));
    EXPECT_TRUE(g_messages.empty());
    EXPECT_EQ(std::count(g_beeps.begin(), g_beeps.end(), static_cast<UINT>(MB_OK)), 0);
    EXPECT_FALSE(std::filesystem::exists(out + "abort_b.obj"));
    ExpectProgramUnchanged();
}

// The thread, past its running flag, still sends to the dialog (the button
// text, the summary line): Close pressed again and again just then ends the
// dialog and never hangs.
TEST_F(BatchDialogWin32, CloseWhileTheThreadEndsRepeatedNeverHangs) {
    const std::string out = Folder();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        std::deque<Step> steps = AddSteps({{out + "a.tvn", 0, kExportStl, out + "close_a.stl"}});
        HWND dialog = nullptr;
        // The success beep comes after the running flag is cleared and before
        // the summary line: the Closes land there.
        BatchDialog_Seams().beep = [&](UINT type) {
            g_beeps.push_back(type);
            if (type != MB_OK || !dialog) return;
            for (int k = 0; k < 3; ++k) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            Sleep(100 * round);
        };
        steps.push_back({kBatchScanList, [&](HWND d) {
                             dialog = d;
                             return Press(d, kBatchRun);
                         }});
        Driver driver(std::move(steps));
        Run();
        EXPECT_TRUE(driver.Finished());
        EXPECT_EQ(std::count(g_beeps.begin(), g_beeps.end(), static_cast<UINT>(MB_OK)), round + 1);
        ExpectProgramUnchanged();
    }
}

TEST_F(BatchDialogWin32, SaveLogOnAFullDiskKeepsTheEarlierLog) {
    const std::string out = Folder();
    std::deque<Step> steps = AddSteps({{out + "a.tvn", 0, kExportStl, out + "full_a.stl"}});
    const std::string log = out + "full.log";
    std::ofstream(log, std::ios::binary) << "earlier log";
    std::vector<std::string> namesBefore, namesAfter;
    steps.push_back({kBatchScanList, [](HWND d) { return Press(d, kBatchRun); }});
    steps.push_back({kBatchScanList, [&](HWND d) {
                         if (!Ended(d)) return false;
                         BatchDialog_Seams().saveLogPath = [&](std::string& path) {
                             path = log;
                             return true;
                         };
                         namesBefore = Names(out);
                         files::SetSafeWriteDiskFullAfterForTesting(30);
                         Click(d, kBatchSaveLog);
                         files::SetSafeWriteDiskFullAfterForTesting(-1);
                         namesAfter = Names(out);
                         return Press(d, IDCANCEL);
                     }});
    Driver driver(std::move(steps));
    Run();
    EXPECT_TRUE(driver.Finished());
    ASSERT_FALSE(g_messages.empty());
    const AppMessage& last = g_messages.back();
    EXPECT_EQ(last.kind, MessageKind::Error);
    EXPECT_EQ(last.text.rfind("Error writing to file\n    ", 0), 0u) << last.text;
    EXPECT_EQ(ReadAll(log), "earlier log");
    EXPECT_EQ(namesAfter, namesBefore);  // nothing left beside it
}

}  // namespace
