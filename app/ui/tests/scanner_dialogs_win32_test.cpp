// The scanner dialogs run modally over an owner window and driven through
// their controls: the properties dialog's calibration files and port
// settings, the calibration update's rewrite of the file, the diagnostics'
// dump and the accuracy check's reports; each window is screenshotted.
#include "app/acquisition/calibration_file.h"
#include "app/acquisition/calibration_state.h"
#include "app/acquisition/parallel_port_settings.h"
#include "app/acquisition/tests/target_scan.h"
#include "app/acquisition/windows_version.h"
#include "app/base/app_messages.h"
#include "app/locale/locale_loader.h"
#include "app/locale/locale_lookup.h"
#include "app/ui/app_state.h"
#include "app/ui/scanner_dialogs_win32.h"
#include "app/ui/scanner_link.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tests/modal_driver_win32.h"
#include "app/ui/view_timings.h"
#include "sim/calibration_writer.h"
#include "sim/scenario.h"
#include "sim/setup.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace modal_driver;
namespace fs = std::filesystem;

namespace {

std::vector<AppMessage> g_messages;
int g_starts = 0;
int g_unloads = 0;
bool g_unloadAnswer = true;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

std::vector<std::string> ComboItems(HWND dialog, int item) {
    std::vector<std::string> items;
    const int n = static_cast<int>(SendDlgItemMessageA(dialog, item, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        char text[256] = "";
        SendDlgItemMessageA(dialog, item, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

int ComboSelection(HWND dialog, int item) {
    return static_cast<int>(SendDlgItemMessageA(dialog, item, CB_GETCURSEL, 0, 0));
}

bool Checked(HWND dialog, int item) { return IsDlgButtonChecked(dialog, item) == BST_CHECKED; }

class ScannerDialogsWin32 : public ::testing::Test {
  protected:
    // One owner for the suite: every top-level window costs time under Wine.
    static void SetUpTestSuite() {
        Locale_Load();
        Shell().instance = GetModuleHandleA(nullptr);
        owner_ = modal_driver::MakeOwner("ScannerDialogsOwner", OwnerProc, 20, 20, 600, 500);
    }
    static void TearDownTestSuite() { DestroyWindow(owner_); }

    void SetUp() override {
        Shell().main = owner_;
        g_messages.clear();
        g_starts = g_unloads = 0;
        g_unloadAnswer = true;
        App_SetMessageSink([](const AppMessage& m) { g_messages.push_back(m); });
        Shell_Hooks().unloadScan = [](bool) {
            ++g_unloads;
            return g_unloadAnswer;
        };
        ScannerLink link;
        link.initScannerWithCalibration = [](const char*, const char*) { ++g_starts; };
        ScannerLink_Install(link);
        ScannerDialogs_Install();
        folder_ = fs::temp_directory_path() / ("tolvaran_scanner_dialogs_" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        App().programFolder = folder_.string() + "\\";
        SetWindowsVersionForTesting(WindowsVersion::XpOrLater);
    }
    void TearDown() override {
        Shell().main = nullptr;
        App_SetMessageSink(nullptr);
        Shell_Hooks().unloadScan = nullptr;
        ScannerLink_Install(ScannerLink());
        SetWindowsVersionForTesting(std::nullopt);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    void Touch(const char* name) { std::ofstream(folder_ / name) << "x"; }
    void SetConfigName(const char* name) {
        std::strncpy(App().settings.HardwareConfigFilename, name, sizeof App().settings.HardwareConfigFilename - 1);
    }

    static HWND owner_;
    fs::path folder_;
};

HWND ScannerDialogsWin32::owner_ = nullptr;

TEST_F(ScannerDialogsWin32, PropertiesListTheCalibrationFilesAndPickTheNamedOne) {
    Touch("alpha.cfg");
    Touch("Beta.cfg");
    Touch("notes.txt");
    fs::create_directories(folder_ / "folder.cfg");
    SetConfigName("beta.cfg");
    std::vector<std::string> listed;
    int picked = -1, pickedAfter = -1;
    size_t colours = 0;
    bool open = false, portHidden = false, frequencyDisabled = false, localised = false;
    Driver driver({{1311, [&](HWND d) {
                        open = ScannerPropertiesWindow() == d;
                        colours = DistinctColours(Screenshot(d, "scanner_dialog_345.bmp"));
                        listed = ComboItems(d, 1311);
                        picked = ComboSelection(d, 1311);
                        portHidden = !IsWindowVisible(GetDlgItem(d, 1102));
                        frequencyDisabled = !IsWindowEnabled(GetDlgItem(d, 1119));
                        localised = ItemText(d, 1089) == Locale_GetString("ScannerPropDriverEnabledLabel");
                        // A name that no listed file begins with selects the first file.
                        SetConfigName("zzz.cfg");
                        SendMessageA(d, WM_APP + 64, 0, 0);
                        pickedAfter = ComboSelection(d, 1311);
                        // Choosing a file makes it the calibration file and restarts the scanner.
                        SendDlgItemMessageA(d, 1311, CB_SETCURSEL, 1, 0);
                        SendMessageA(d, WM_COMMAND, MAKEWPARAM(1311, CBN_SELCHANGE), 0);
                        return Press(d, 1053);
                    }}});
    ScannerProperties_Run();
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(open);
    EXPECT_GT(colours, 3u);
    EXPECT_EQ(listed, (std::vector<std::string>{"alpha.cfg", "Beta.cfg"}));
    EXPECT_EQ(picked, 1);
    EXPECT_EQ(pickedAfter, 0);
    EXPECT_TRUE(portHidden && frequencyDisabled && localised);
    EXPECT_STREQ(App().settings.HardwareConfigFilename, "Beta.cfg");
    EXPECT_EQ(g_starts, 1);
    EXPECT_EQ(ScannerPropertiesWindow(), nullptr);
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(ScannerDialogsWin32, Nt4PortButtonsWriteThePortAndItsDmaChannel) {
    SetWindowsVersionForTesting(WindowsVersion::Nt4);
    App().settings.ScannerEnabled = 1;
    ASSERT_TRUE(WriteParallelPortSettings(1, 3));
    bool lpt1 = false, lpt2 = false, dma1 = false, dma3 = false, enabled = false;
    Driver driver({{1082, [&](HWND d) {
                        lpt1 = Checked(d, 1082);
                        enabled = IsWindowEnabled(GetDlgItem(d, 1086)) != 0;
                        Screenshot(d, "scanner_dialog_355.bmp");
                        SendMessageA(d, WM_COMMAND, 1083, 0);  // LPT 2: DMA channel 1
                        lpt2 = Checked(d, 1083) && Checked(d, 1086);
                        SendMessageA(d, WM_COMMAND, 1087, 0);  // DMA 3 keeps the port
                        dma3 = Checked(d, 1083) && Checked(d, 1087);
                        dma1 = Checked(d, 1086);
                        return Press(d, 1053);
                    }}});
    ScannerProperties_Run();
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(lpt1 && enabled);
    EXPECT_TRUE(lpt2);
    EXPECT_TRUE(dma3);
    EXPECT_FALSE(dma1);
    int32_t port = 0, dma = 0;
    ASSERT_TRUE(ReadParallelPortSettings(port, dma));
    EXPECT_EQ(port, 2);
    EXPECT_EQ(dma, 3);
    EXPECT_EQ(g_starts, 2);
    App().settings.ScannerEnabled = 0;
}

TEST_F(ScannerDialogsWin32, CalibrationUpdateRewritesTheFile) {
    sim::Scenario scenario;
    sim::ScenarioError error;
    ASSERT_TRUE(sim::ParseScenario(sim::DefaultScenarioText(), &scenario, &error));
    const std::string path = (folder_ / "Simulated.cfg").string();
    ASSERT_TRUE(WriteCalibrationFile(path, sim::MakeCalibrationParameters(scenario)));
    ASSERT_EQ(LoadCalibration(path), 1);
    SetConfigName("Simulated.cfg");
    bool zeros = false;
    Driver driver({{1312, [&](HWND d) {
                        zeros = ItemText(d, 1030) == "0.0" && ItemText(d, 1029) == "0.0";
                        Screenshot(d, "scanner_dialog_337.bmp");
                        SetDlgItemTextA(d, 1030, "1.5");   // bottom line
                        SetDlgItemTextA(d, 1312, "-2 x");  // top line: the first number counts
                        SetDlgItemTextA(d, 1031, "none");  // bottom count: no number leaves 0
                        SetDlgItemTextA(d, 1029, "4");     // top count
                        return Press(d, IDOK);
                    }}});
    CalibrationUpdate_Run();
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(zeros);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].text, "Config file has been updated.");
    CalibrationData reread;
    ASSERT_EQ(LoadCalibrationFile(path, reread), 1);
    const LutTweak& newest = reread.history[0];
    EXPECT_EQ(newest.lineTweak[0], 1.5f);
    EXPECT_EQ(newest.lineTweak[1], -2.0f);
    EXPECT_EQ(newest.countTweak[0], 0.0f);
    EXPECT_EQ(newest.countTweak[1], 4.0f);
    EXPECT_EQ(std::strlen(newest.date), 24u);

    // A file that is not there is not rewritten.
    SetConfigName("Missing.cfg");
    g_messages.clear();
    Driver again({{1312, [](HWND d) { return Press(d, IDOK); }}});
    CalibrationUpdate_Run();
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].text, "Error updating config file!");

    // With the scanner off no calibration is loaded: the file keeps its
    // history byte for byte.
    BeginCalibrationLoad();
    SetConfigName("Simulated.cfg");
    std::ifstream in(path, std::ios::binary);
    const std::string before((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    g_messages.clear();
    Driver off({{1312, [](HWND d) { return Press(d, IDOK); }}});
    CalibrationUpdate_Run();
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].text, "Error updating config file!");
    std::ifstream after(path, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), std::istreambuf_iterator<char>()), before);
}

TEST_F(ScannerDialogsWin32, DiagnosticsShowTheirTextsAndDumpBesideTheProgram) {
    char module[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, module, sizeof module);
    const fs::path dump = fs::path(module).parent_path() / "ring_dump_test.dat";
    fs::remove(dump);
    // What the view kept of its paints.
    View_Timings() = ViewTimings{};
    ViewTimings_AddPaint(View_Timings(), 2, 0.012, nullptr);
    ViewTimings_AddPaint(View_Timings(), 2, 0.031, nullptr);
    ViewTimings_AddPaint(View_Timings(), 3, 0.25, nullptr);
    std::string count, name, graphics;
    Driver driver({{1033, [&](HWND d) {
                        count = ItemText(d, 1031);
                        name = ItemText(d, 1032);
                        graphics = ItemText(d, 1034);
                        Screenshot(d, "scanner_dialog_347.bmp");
                        SetDlgItemTextA(d, 1032, "ring_dump_test.dat");
                        SendMessageA(d, WM_COMMAND, 1033, 0);
                        SetDlgItemTextA(d, 1032, "no_such_folder\\x.dat");
                        SendMessageA(d, WM_COMMAND, 1033, 0);
                        return Press(d, IDOK);
                    }}});
    RingBufferDiagnostics_Run();
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(count, "50");
    EXPECT_EQ(name, "RingBuff.dat");
    EXPECT_EQ(graphics,
              "MinUpdate: 12\nMaxUpdate: 31\nAveUpdate: 21.50\nRepaintTime:  0.25\nLast CameraDeviation:  0.00\n")
        << graphics;
    EXPECT_TRUE(fs::exists(dump));
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].text, "Can't open file");
    fs::remove(dump);
}

TEST_F(ScannerDialogsWin32, AccuracyCheckReportsEachEndedSweepOnce) {
    g_unloadAnswer = false;
    CalibrationCheckCommand();  // the save prompt was cancelled: no dialog
    EXPECT_EQ(g_unloads, 1);
    g_unloadAnswer = true;
    g_unloads = 0;

    TargetScan target(2, {{0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 1.0f}});
    RawData* saved = App().raw;
    App().raw = &target.scan.raw();
    int modeOpen = -1;
    std::string before, count, running, summary, countAgain;
    Driver driver({{1362, [&](HWND d) {
                        modeOpen = App().mode;
                        before = ItemText(d, 1354);
                        Screenshot(d, "scanner_dialog_353.bmp");
                        SendMessageA(d, WM_APP + 1, 0, 0);
                        count = ItemText(d, 1350);
                        running = ItemText(d, 1354);
                        summary = ItemText(d, 1353);
                        SendMessageA(d, WM_APP + 1, 0, 0);  // no new sweep: nothing changes
                        countAgain = ItemText(d, 1350) + (ItemText(d, 1354) == running ? "" : " changed");
                        SendDlgItemMessageA(d, 1395, BM_CLICK, 0, 0);
                        return Press(d, 1053);
                    }}});
    CalibrationCheckCommand();
    App().raw = saved;
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(modeOpen, kModeAccuracyCheck);
    EXPECT_EQ(before, "<No Data>");
    EXPECT_EQ(count, "2");
    EXPECT_EQ(running.rfind("% sweep: 1\r\n", 0), 0u) << running;
    EXPECT_NE(running.find("% sweep: 2\r\n"), std::string::npos) << running;
    EXPECT_EQ(summary.rfind("% sweeps: 1 - 2\r\n", 0), 0u) << summary;
    EXPECT_EQ(countAgain, "2");
    EXPECT_EQ(AccuracyTargetOption(), 0) << "the gate box was unticked";
    EXPECT_EQ(AccuracyCheckWindow(), nullptr);
    EXPECT_EQ(App().mode, kModeScan);
    EXPECT_EQ(g_unloads, 2) << "once before opening, once on closing";
    AccuracyTargetOption() = 1;
}

}  // namespace
