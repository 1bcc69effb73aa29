// The scan document's windows driven as a user would: names typed into the
// open and save dialogs, their boxes clicked, the question box answered. A
// thread timer acts on each dialog while it runs modally; every dialog is
// also kept as a picture in the build folder.
#include "app/locale/locale_loader.h"
#include "app/locale/locale_lookup.h"
#include "app/ui/file_properties_win32.h"
#include "app/ui/list_panels_win32.h"
#include "app/ui/scan_document.h"
#include "app/ui/scan_document_win32.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tests/scan_document_fixture.h"
#include "app/ui/tests/shell_fixture_win32.h"

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

// ---- Finding and driving the dialogs ------------------------------------------------

// A file dialog is the top-level window; its child template holds our
// controls. A plain dialog holds them itself.
struct Found {
    HWND top = nullptr;
    HWND controls = nullptr;
};

struct Search {
    int control;
    Found found;
};

bool IsDialog(HWND window) {
    char name[32] = "";
    GetClassNameA(window, name, sizeof name);
    return std::string(name) == "#32770";
}

BOOL CALLBACK FindChildDialog(HWND child, LPARAM parameter) {
    Search* search = reinterpret_cast<Search*>(parameter);
    if (IsDialog(child) && GetDlgItem(child, search->control)) {
        search->found.controls = child;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindTop(HWND window, LPARAM parameter) {
    Search* search = reinterpret_cast<Search*>(parameter);
    if (!IsDialog(window) || !IsWindowVisible(window)) return TRUE;
    if (GetDlgItem(window, search->control)) {
        search->found = {window, window};
        return FALSE;
    }
    EnumChildWindows(window, FindChildDialog, parameter);
    if (search->found.controls) {
        search->found.top = window;
        return FALSE;
    }
    return TRUE;
}

Found DialogWith(int control) {
    Search search{control, {}};
    EnumThreadWindows(GetCurrentThreadId(), FindTop, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// One step acts on the dialog holding `control`; it stays until it returns true.
struct Step {
    int control;
    std::function<bool(const Found&)> act;
};
std::deque<Step> g_steps;
int g_ticks = 0;
bool g_timedOut = false;

BOOL CALLBACK CancelAny(HWND window, LPARAM) {
    if (IsDialog(window)) PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

VOID CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (++g_ticks > 1500) {
        // A dialog that the steps cannot finish must not hang the test.
        g_timedOut = true;
        EnumThreadWindows(GetCurrentThreadId(), CancelAny, 0);
        return;
    }
    if (g_steps.empty()) return;
    const Found found = DialogWith(g_steps.front().control);
    if (!found.top) return;
    const Step step = g_steps.front();
    if (step.act(found)) g_steps.pop_front();
}

class Driver {
  public:
    explicit Driver(std::deque<Step> steps) {
        g_steps = std::move(steps);
        g_ticks = 0;
        g_timedOut = false;
        timer_ = SetTimer(nullptr, 0, 20, Tick);
    }
    ~Driver() { KillTimer(nullptr, timer_); }
    bool Finished() const { return g_steps.empty() && !g_timedOut; }

  private:
    UINT_PTR timer_;
};

std::string Text(HWND window) {
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

BOOL CALLBACK CollectTexts(HWND child, LPARAM parameter) {
    reinterpret_cast<std::vector<std::string>*>(parameter)->push_back(Text(child));
    return TRUE;
}

// No text of the dialog is a missing locale key ("**" and the key).
void ExpectLocalised(HWND top) {
    std::vector<std::string> texts{Text(top)};
    EnumChildWindows(top, CollectTexts, reinterpret_cast<LPARAM>(&texts));
    for (const std::string& text : texts) EXPECT_EQ(text.find("**"), std::string::npos) << text;
}

// The window as a picture in the test's working folder (the build tree).
void KeepPicture(HWND window, const std::string& name) {
    RECT r;
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    // The window's own surface: the screen may not show its latest drawing yet.
    HDC screen = GetWindowDC(window);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    const DWORD stride = (w * 3 + 3) & ~3u;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + stride * h;
    // Beside the test program, in the build tree: the file dialogs move the
    // current folder.
    char program[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, sizeof program);
    const std::string folder = std::filesystem::path(program).parent_path().string();
    std::ofstream out(folder + "\\screenshot-" + name + ".bmp", std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(static_cast<const char*>(bits), static_cast<std::streamsize>(stride) * h);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
}

// The file name typed into a file dialog, then OK.
bool TypeName(const Found& f, const std::string& name) {
    HWND box = GetDlgItem(f.top, cmb13);
    if (!box) box = GetDlgItem(f.top, edt1);
    SetWindowTextA(box, name.c_str());
    PostMessageA(f.top, WM_COMMAND, IDOK, 0);
    return true;
}

bool Press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, id, 0);
    return true;
}

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

bool Visible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != 0; }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != 0; }
bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

// The file dialogs' own message boxes (the overwrite question) have no
// template controls; the program's boxes go to the recording sink.

// ---- The fixture: the portable document fixture with the real windows --------------

class ScanDocumentWin32 : public ScanDocumentTest {
  protected:
    static void SetUpTestSuite() { Locale_Load(); }
    void SetUp() override {
        ScanDocumentTest::SetUp();
        GetCurrentDirectoryA(sizeof folderBefore_, folderBefore_);
        Shell().instance = GetModuleHandleA(nullptr);
        WNDCLASSA c = {};
        c.lpfnWndProc = DefWindowProcA;
        c.hInstance = Shell().instance;
        c.lpszClassName = "ScanDocTestOwner";
        RegisterClassA(&c);
        owner_ = CreateWindowExA(0, "ScanDocTestOwner", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 30, 30, 500, 400,
                                 nullptr, nullptr, Shell().instance, nullptr);
        Shell().main = owner_;
        // The real question box and Save As; the export stays recorded.
        ScanDoc_ConnectShell();
        ScanDoc_Services().exportSurface = [this](int32_t kind) {
            exports.push_back(kind);
            return exportSucceeds;
        };
        ScanDoc_Services().applyReceiverOption = nullptr;
    }
    void TearDown() override {
        // The file dialogs leave the current folder where the user went.
        SetCurrentDirectoryA(folderBefore_);
        Shell().main = nullptr;
        DestroyWindow(owner_);
        ShellHooks& hooks = Shell_Hooks();
        hooks.unloadScan = nullptr;
        hooks.reloadScan = nullptr;
        hooks.resetDerivedState = nullptr;
        ScanDocumentTest::TearDown();
    }
    std::string Folder() const { return folder.Path().string() + "\\"; }
    void Touch(const std::string& name) { std::ofstream(folder.File(name)) << "x"; }

    HWND owner_ = nullptr;
    char folderBefore_[MAX_PATH] = "";
};

// Purge with the sweep list open: the hidden sweep goes, the kept ones keep
// their visibility and the list shows them, and the scan is not edited by
// the list's old rows.
TEST_F(ScanDocumentWin32, PurgeWithTheSweepListOpenKeepsTheKeptSweepsVisible) {
    AddSweep(3, 0.0f);
    AddSweep(3, 10.0f);
    AddSweep(3, 20.0f);
    Raw().Sweeps[1].Flags |= kSweepHidden;
    HWND list = ShowSweepList(kListSweeps);
    ASSERT_NE(list, nullptr);
    SweepList_Rebuild();
    PumpShellMessages(2, 5);
    ScanDoc_PurgeHiddenData();
    PumpShellMessages(2, 5);
    ASSERT_EQ(Raw().NumSweeps, 2);
    for (int32_t s = 0; s < Raw().NumSweeps; ++s) EXPECT_FALSE(Raw().Sweeps[s].Flags & kSweepHidden) << s;
    EXPECT_EQ(Raw().Edited, 0);
    HWND rows = FindWindowExA(list, nullptr, WC_LISTVIEWA, nullptr);
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(SendMessageA(rows, LVM_GETITEMCOUNT, 0, 0), 2);
    DestroyWindow(list);
}

TEST_F(ScanDocumentWin32, OpenFindsTheTypedNameByItsExtensions) {
    std::filesystem::create_directory(folder.Path() / "krv");
    Touch("scan.tvn");
    Touch("scan.krv");
    Touch("scan.txt");
    Touch("Foot.TVN");
    Touch("krv\\scan.krv");
    Touch("krv\\scan.txt");
    Touch("notes.txt");
    const std::string notFound = Locale_GetString("ErrorFileNotFound");
    struct Case {
        const char* typed;
        const char* opened;  // null: not found, the dialog comes again and is cancelled
    } cases[] = {
        {"scan", "scan.tvn"},     {"krv\\scan", "krv\\scan.krv"}, {"Foot.TVN", "Foot.TVN"},
        {"scan.krv", "scan.krv"}, {"notes.txt", nullptr},         {"missing", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        messages.clear();
        const std::string typed = Folder() + c.typed;
        int shown = 0;
        std::deque<Step> steps = {{kOpenLoadViewBox, [&](const Found& f) {
                                       ++shown;
                                       return TypeName(f, typed);
                                   }}};
        if (!c.opened)
            steps.push_back({kOpenLoadViewBox, [&](const Found& f) {
                                 ++shown;
                                 return Press(f.top, IDCANCEL);
                             }});
        Driver driver(steps);
        std::string path;
        const bool opened = ScanDoc_OpenDialog(path, owner_);
        EXPECT_TRUE(driver.Finished());
        EXPECT_EQ(opened, c.opened != nullptr);
        if (c.opened) {
            EXPECT_EQ(lstrcmpiA(path.c_str(), (Folder() + c.opened).c_str()), 0) << path;
            EXPECT_TRUE(messages.empty());
            EXPECT_EQ(shown, 1);
        } else {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0].find(notFound.substr(0, notFound.find('{'))), 0u) << messages[0];
            EXPECT_NE(messages[0].find(c.typed), std::string::npos) << messages[0];
            EXPECT_EQ(shown, 2);
        }
    }
}

TEST_F(ScanDocumentWin32, OpenBoxStoresTheViewSettingAtOnce) {
    for (int32_t initial : {0, 1}) {
        App().settings.LoadViewSettingsWithScan = initial;
        bool shownChecked = !initial, storedAfterClick = initial;
        Driver driver({{kOpenLoadViewBox, [&](const Found& f) {
                            ExpectLocalised(f.top);
                            EXPECT_EQ(Text(GetDlgItem(f.controls, kOpenLoadViewBox)),
                                      Locale_GetString("FileOpenLoadViewingAngle"));
                            EXPECT_EQ(Text(f.top), Locale_GetString("FileOpenTitle"));
                            if (initial == 0) KeepPicture(f.top, "open");
                            shownChecked = Checked(f.controls, kOpenLoadViewBox);
                            Click(f.controls, kOpenLoadViewBox);
                            storedAfterClick = App().settings.LoadViewSettingsWithScan;
                            return Press(f.top, IDCANCEL);
                        }}});
        std::string path;
        EXPECT_FALSE(ScanDoc_OpenDialog(path, owner_));
        EXPECT_TRUE(driver.Finished());
        EXPECT_EQ(shownChecked, initial == 1);
        EXPECT_EQ(storedAfterClick, initial ? 0 : 1);
        EXPECT_EQ(App().settings.LoadViewSettingsWithScan, initial ? 0 : 1);
        EXPECT_TRUE(messages.empty());  // a plain cancel is no error
    }
}

TEST_F(ScanDocumentWin32, SaveAsShowsItsOptionsByTheirRules) {
    AddSweep(3, 0.0f);
    App().settings.DoSaveBasic = 1;
    App().settings.DoSaveRbf = 0;
    struct State {
        bool shown, basicEnabled, basicChecked, rbfEnabled, rbfChecked;
        std::string label;
    };
    std::vector<State> states;
    auto record = [&](HWND d) {
        states.push_back({Visible(d, kSaveBasicBox) && Visible(d, kSaveRbfBox), Enabled(d, kSaveBasicBox),
                          Checked(d, kSaveBasicBox), Enabled(d, kSaveRbfBox), Checked(d, kSaveRbfBox),
                          Text(GetDlgItem(d, kSaveAdvancedButton))});
    };
    Driver driver({{kSaveAdvancedButton, [&](const Found& f) {
                        ExpectLocalised(f.top);
                        EXPECT_EQ(Text(f.top), Locale_GetString("FileSaveTitle"));
                        record(f.controls);                      // 0: hidden
                        Click(f.controls, kSaveAdvancedButton);  // shown
                        record(f.controls);                      // 1
                        KeepPicture(f.top, "save-as");
                        Click(f.controls, kSaveRbfBox);    // DoSaveRbf on, no refresh
                        Click(f.controls, kSaveBasicBox);  // DoSaveBasic off
                        record(f.controls);                // 2
                        Click(f.controls, kSaveBasicBox);  // on again
                        record(f.controls);                // 3
                        // The older file type: the surfaces cannot be saved.
                        HWND types = GetDlgItem(f.top, cmb1);
                        SendMessageA(types, CB_SETCURSEL, 1, 0);
                        SendMessageA(f.top, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELENDOK),
                                     reinterpret_cast<LPARAM>(types));
                        record(f.controls);                      // 4
                        Click(f.controls, kSaveAdvancedButton);  // hidden again
                        record(f.controls);                      // 5
                        return Press(f.top, IDCANCEL);
                    }}});
    EXPECT_FALSE(ScanDoc_SaveAsDialog());
    EXPECT_TRUE(driver.Finished());
    const std::string show = Locale_GetString("FileSaveShowAdvancedLabel");
    const std::string hide = Locale_GetString("FileSaveHideAdvancedLabel");
    ASSERT_EQ(states.size(), 6u);
    const State expected[] = {
        {false, true, true, true, false, show},   {true, true, true, true, false, hide},
        {true, true, false, false, false, hide},  {true, true, true, true, true, hide},
        {true, false, false, false, false, hide}, {false, false, false, false, false, show},
    };
    for (size_t i = 0; i < states.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(states[i].shown, expected[i].shown);
        EXPECT_EQ(states[i].basicEnabled, expected[i].basicEnabled);
        EXPECT_EQ(states[i].basicChecked, expected[i].basicChecked);
        EXPECT_EQ(states[i].rbfEnabled, expected[i].rbfEnabled);
        EXPECT_EQ(states[i].rbfChecked, expected[i].rbfChecked);
        EXPECT_EQ(states[i].label, expected[i].label);
    }
    EXPECT_EQ(App().settings.DoSaveBasic, 1);
    EXPECT_EQ(App().settings.DoSaveRbf, 1);
}

TEST_F(ScanDocumentWin32, SaveAsWritesTheTypedFormatAndComesBackAfterAFailure) {
    AddSweep(3, 0.0f);
    struct Case {
        int32_t mode;
        std::vector<std::string> typed;  // one a showing of the dialog
        std::string written;
        std::string defaultName;
    } cases[] = {
        {kModeScan, {"scan"}, "scan.tvn", ""},
        {kModeScan, {"older.krv"}, "older.krv", "scan"},
        {kModeScan, {"notes.txt", "kept"}, "kept.tvn", "older"},
        {kModeCalibration, {"video"}, "video.vid", "Wand_-01_"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        messages.clear();
        App().mode = c.mode;
        Raw().Header.WandSerialNumber = -1;
        std::deque<Step> steps;
        std::vector<std::string> proposed;
        for (const std::string& name : c.typed) {
            const std::string typed = Folder() + name;
            steps.push_back({kSaveAdvancedButton, [&proposed, typed](const Found& f) {
                                 HWND box = GetDlgItem(f.top, cmb13);
                                 if (!box) box = GetDlgItem(f.top, edt1);
                                 proposed.push_back(Text(box));
                                 return TypeName(f, typed);
                             }});
        }
        if (c.mode == kModeCalibration)
            steps.front().act = [&proposed, typed = Folder() + c.typed[0]](const Found& f) {
                EXPECT_EQ(Text(f.top), "Save Video Data");
                KeepPicture(f.top, "save-video");
                proposed.push_back(Text(GetDlgItem(f.top, cmb13) ? GetDlgItem(f.top, cmb13) : GetDlgItem(f.top, edt1)));
                return TypeName(f, typed);
            };
        Driver driver(steps);
        EXPECT_TRUE(ScanDoc_SaveAsDialog());
        EXPECT_TRUE(driver.Finished());
        EXPECT_TRUE(std::filesystem::exists(folder.File(c.written)));
        EXPECT_EQ(messages.size(), c.typed.size() - 1);
        ASSERT_FALSE(proposed.empty());
        EXPECT_EQ(proposed[0], c.defaultName);
        if (c.mode != kModeCalibration) {
            EXPECT_EQ(lstrcmpiA(App().scanPath.c_str(), folder.File(c.written).c_str()), 0);
        }
    }
    App().mode = kModeScan;
}

// The question box answered through its window: which questions came, what
// the close gave, which files were written.
TEST_F(ScanDocumentWin32, ThePromptThroughTheQuestionBox) {
    const std::string scanQ = Locale_GetString("SaveDiscardScan");
    const std::string basicQ = Locale_GetString("SaveDiscardBasicSurf");
    const std::string rbfQ = Locale_GetString("SaveDiscardRBFSurf");
    struct Case {
        const char* name;
        bool scan, basic, rbf;
        std::vector<int> answers;
        int32_t result;
        std::vector<std::string> asked;
        bool written;
    } cases[] = {
        {"scan Yes", true, false, false, {IDYES}, 1, {scanQ}, true},
        {"scan No", true, false, false, {IDNO}, 1, {scanQ}, false},
        {"scan Cancel", true, false, false, {IDCANCEL}, 0, {scanQ}, false},
        {"basic Yes Yes", false, true, false, {IDYES, IDYES}, 1, {scanQ, basicQ}, true},
        {"basic Yes No", false, true, false, {IDYES, IDNO}, 1, {scanQ, basicQ}, true},
        {"RBF No", false, false, true, {IDNO}, 1, {scanQ}, false},
        {"RBF Yes Cancel", false, false, true, {IDYES, IDCANCEL}, 0, {scanQ, rbfQ}, true},
    };
    App().settings.DoSaveBasic = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScanDoc_Unload(0);
        if (c.scan) {
            AddSweep(2, 0.0f);
            Raw().Edited = 1;
        }
        if (c.basic) FillSurface(App().basic);
        if (c.rbf) FillSurface(App().rbf);
        const std::string file = std::string("prompt-") + std::to_string(&c - cases) + ".tvn";
        std::vector<std::string> asked;
        std::deque<Step> steps;
        for (size_t k = 0; k < c.answers.size(); ++k) {
            const int answer = c.answers[k];
            steps.push_back({1280, [&asked, answer, k](const Found& f) {
                                 asked.push_back(Text(GetDlgItem(f.top, 1280)));
                                 for (int button : {IDYES, IDNO, IDCANCEL})
                                     EXPECT_TRUE(Visible(f.top, button) && !Text(GetDlgItem(f.top, button)).empty())
                                         << button;
                                 if (k == 0) KeepPicture(f.top, "save-or-discard");
                                 return Press(f.top, answer);
                             }});
            if (k == 0 && answer == IDYES)
                steps.push_back(
                    {kSaveAdvancedButton, [this, file](const Found& f) { return TypeName(f, Folder() + file); }});
        }
        Driver driver(steps);
        EXPECT_EQ(ScanDoc_Unload(1), c.result);
        EXPECT_TRUE(driver.Finished());
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(std::filesystem::exists(folder.File(file)), c.written);
    }
}

// The program started with a scan file on its command line: the file opens
// without a box and names the window; a damaged copy gives one warning with
// the damaged-file text and leaves the document unnamed.
TEST_F(ScanDocumentWin32, AScanNamedOnTheCommandLineOpensAtStartUp) {
    AddSweep(3, 0.0f);
    const std::string good = folder.File("start.tvn");
    const std::string damaged = folder.File("damaged.tvn");
    ASSERT_TRUE(ScanDoc_Save(good, 0));
    std::filesystem::copy_file(good, damaged);
    {
        std::fstream file(damaged, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>(std::filesystem::file_size(damaged) / 2));
        file.put('\x5A');
    }
    // The main window makes the program's own scan record.
    RawData_FreeArrays(*App().raw);
    ScanBlocks_Free(App().blocks);
    std::free(App().raw);
    App().raw = nullptr;
    DeleteSettingsKeys();
    SetDword(HKEY_LOCAL_MACHINE, kSettingsGeneralKey, "ScannerEnabled", 0);
    const std::string corrupted = Locale_GetString("ErrorFileCorrupted");
    struct Case {
        std::string path;
        std::string title;
        size_t boxes;
    } cases[] = {{good, "start.tvn", 0}, {damaged, Locale_GetString("TitleBarUnnamedFile"), 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        messages.clear();
        const int savedArgc = __argc;
        char** savedArgv = __argv;
        std::string program = "Tolvaran.exe", file = c.path;
        char* args[] = {&program[0], &file[0], nullptr};
        __argc = 2;
        __argv = args;
        HWND window = App_CreateMainWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
        __argc = savedArgc;
        __argv = savedArgv;
        ASSERT_NE(window, nullptr);
        PumpShellMessages(5, 10);
        char title[512] = "";
        GetWindowTextA(window, title, sizeof title);
        EXPECT_EQ(std::string(title).find(c.title + " - "), 0u) << title;
        ASSERT_EQ(messages.size(), c.boxes);
        if (c.boxes) EXPECT_EQ(messages[0].find(corrupted.substr(0, corrupted.find('{'))), 0u) << messages[0];
        EXPECT_EQ(App().scanPath, c.boxes ? "" : c.path);
        SendMessageA(window, WM_CLOSE, 0, 0);
        MSG quit;
        PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        EXPECT_FALSE(IsWindow(window));
    }
    Shell_Win32Hooks() = ShellWin32Hooks();
    DeleteSettingsKeys();
}

// The file properties of a loaded scan, kept as a picture beside the others.
TEST_F(ScanDocumentWin32, FilePropertiesOfTheOpenScan) {
    AddSweep(3, 0.0f);
    const std::string path = folder.File("properties.tvn");
    ScanDoc_FormatCreatorString("New Scan");
    ASSERT_TRUE(ScanDoc_Save(path, 0));
    std::string shown;
    Driver driver({{kFilePropertiesText, [&](const Found& f) {
                        ExpectLocalised(f.top);
                        shown = Text(GetDlgItem(f.top, kFilePropertiesText));
                        KeepPicture(f.top, "file-properties");
                        return Press(f.top, IDCANCEL);
                    }}});
    FileProperties_Run(owner_);
    EXPECT_TRUE(driver.Finished());
    EXPECT_NE(shown.find(path), std::string::npos) << shown;
    // The history the document wrote: its creation and the save.
    EXPECT_NE(shown.find("Tolvaran 4.0.7"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Saved file as " + path), std::string::npos) << shown;
}

}  // namespace
