// Looks at a running Tolvaran from outside, for the run command's headless
// check: waits for the main window, reads the status bar's parts, checks the
// outbound pipe and that no message box is open, and closes the program
// (answering No when it asks whether to save the sweeps it captured).
//
//   tolvaran_run_probe wait <hardware state key> [seconds]
//   tolvaran_run_probe hemisphere [seconds]
//   tolvaran_run_probe close [seconds]
//   tolvaran_run_probe readback <file>     the view's picture, written by the program as PNG
//   tolvaran_run_probe command <id>        a command to the main window
//   tolvaran_run_probe repaint <level>     a repaint request to the view
//   tolvaran_run_probe spacemouse <type> <axis> <value>
//                                          an event of the 3D mouse stand-in
//   tolvaran_run_probe status <part>       prints the status bar part's text
//   tolvaran_run_probe title               prints the main window's title
//   tolvaran_run_probe makescan <file>     writes a small scan file for a start-up run
//   tolvaran_run_probe title <text> | title-key <key> [seconds]
//                                          the window's title names that document
//   tolvaran_run_probe box <key> [seconds] exactly one message box, with the key's text; answers it
//   tolvaran_run_probe export-dialog [seconds]   File > Export of the sweeps opens its Save dialog
//   tolvaran_run_probe cancel-dialog [seconds]   the open Save dialog is cancelled
//   tolvaran_run_probe readout <x> <y>     the status bar's coordinate readout with the
//                                          cursor over that client pixel of the view
//   tolvaran_run_probe view-click <x> <y>  a left click at that client pixel of the view
//   tolvaran_run_probe viewrect            the view's client area on the screen
//   tolvaran_run_probe snapshot <file>     F11, its Save dialog answered with the file
//   tolvaran_run_probe post-command, dialog, item, click, answer, sim-reached, sim-go, lut-tweak:
//                                          the calibration checks' run (run_probe_calibration.cpp)
//
// "hemisphere" waits for the hemisphere set-up window to open (the first
// press of a station on the automatic setting) and then to close again (the
// next press set it up).
//
// Prints what it saw; exit code 0 when every check held.
#include "app/ui/program/run_probe.h"
#include "app/ui/program/read_back_message.h"

#include "app/locale/locale_loader.h"
#include "app/locale/locale_lookup.h"
#include "app/ui/status_texts.h"

#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

HWND RunProbe_FindMainWindow() { return FindWindowA("KorvMain", nullptr); }

namespace {

struct DialogSearch {
    DWORD pid;
    std::initializer_list<int> controls;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM parameter) {
    DialogSearch* search = reinterpret_cast<DialogSearch*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    // The program's own dialog class counts where a control names the dialog
    // (Mark with Mouse's window is one); any window is a standard dialog.
    const bool dialogClass = std::strcmp(className, "#32770") == 0 ||
                             (search->controls.size() > 0 && std::strcmp(className, "KorvDialog") == 0);
    if (pid != search->pid || !dialogClass || !IsWindowVisible(window)) return TRUE;
    for (int control : search->controls)
        if (!GetDlgItem(window, control)) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

HWND RunProbe_FindDialog(DWORD pid, std::initializer_list<int> controls) {
    DialogSearch search{pid, controls, nullptr};
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND RunProbe_ProgramDialog(HWND main, std::initializer_list<int> controls) {
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    return RunProbe_FindDialog(pid, controls);
}

// The status bar's part text, read through a buffer in the program's own
// address space.
std::string RunProbe_StatusPartText(HWND bar, int part) {
    DWORD pid = 0;
    GetWindowThreadProcessId(bar, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return std::string();
    constexpr SIZE_T kSize = 1024;
    void* remote = VirtualAllocEx(process, nullptr, kSize, MEM_COMMIT, PAGE_READWRITE);
    std::string text;
    if (remote) {
        const LRESULT length = LOWORD(SendMessageA(bar, SB_GETTEXTLENGTHA, part, 0));
        if (length < static_cast<LRESULT>(kSize)) {
            SendMessageA(bar, SB_GETTEXTA, part, reinterpret_cast<LPARAM>(remote));
            std::vector<char> local(kSize, '\0');
            SIZE_T read = 0;
            if (ReadProcessMemory(process, remote, local.data(), kSize - 1, &read)) text = local.data();
        }
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return text;
}

namespace {

// The text control of the program's save-or-discard question box.
constexpr int kSaveQuestionText = 1280;

HWND FindMainWindow() { return RunProbe_FindMainWindow(); }

// The main window once it is shown with its status bar (it exists, hidden,
// while it is being created).
HWND WaitForMainWindow(DWORD seconds, HWND& bar) {
    for (DWORD waited = 0; waited < seconds * 10; ++waited) {
        HWND main = FindMainWindow();
        bar = main ? FindWindowExA(main, nullptr, STATUSCLASSNAMEA, nullptr) : nullptr;
        if (main && bar && IsWindowVisible(main)) return main;
        Sleep(100);
    }
    return nullptr;
}

struct BoxSearch {
    DWORD pid;
    std::vector<std::string> boxes;
};

BOOL CALLBACK FindBox(HWND window, LPARAM context) {
    BoxSearch* search = reinterpret_cast<BoxSearch*>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (pid == search->pid && std::strcmp(className, "#32770") == 0 && IsWindowVisible(window)) {
        char title[256] = "";
        GetWindowTextA(window, title, sizeof title);
        char text[1024] = "";
        if (HWND label = GetDlgItem(window, 0xFFFF)) GetWindowTextA(label, text, sizeof text);
        search->boxes.push_back(std::string(title) + ": " + text);
    }
    return TRUE;
}

}  // namespace

// The message boxes (and other dialogs) the program has open.
std::vector<std::string> RunProbe_OpenBoxes(HWND main) {
    BoxSearch search{0, {}};
    GetWindowThreadProcessId(main, &search.pid);
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    return search.boxes;
}

namespace {

std::vector<std::string> OpenBoxes(HWND main) { return RunProbe_OpenBoxes(main); }

bool ReportBoxes(HWND main) {
    const std::vector<std::string> boxes = OpenBoxes(main);
    for (const std::string& box : boxes) std::printf("message box open: %s\n", box.c_str());
    return boxes.empty();
}

int Wait(const char* hardwareKey, DWORD seconds) {
    Locale_Load();
    HWND bar = nullptr;
    HWND main = WaitForMainWindow(seconds, bar);
    if (!main) {
        std::printf("no main window with a status bar shown after %lu s\n", static_cast<unsigned long>(seconds));
        return 1;
    }
    // The scanner state is the last part; it may take a while to settle.
    const std::string expected = std::string(Locale_GetString("StandardHW")) + " " + Locale_GetString(hardwareKey);
    std::string hardware;
    for (DWORD waited = 0; waited < seconds * 10; ++waited) {
        hardware = RunProbe_StatusPartText(bar, 3);
        if (hardware == expected) break;
        Sleep(100);
    }
    // Boxes of the start (a scanner that fails to start) come after the
    // window shows: let the start settle, then look again. While a trigger
    // press lasts the part shows the capture's mode instead; it shows the
    // hardware state again when the press ends.
    Sleep(2000);
    for (DWORD waited = 0; waited < 150; ++waited) {
        hardware = RunProbe_StatusPartText(bar, 3);
        if (hardware == expected) break;
        Sleep(100);
    }
    bool ok = true;
    for (int part = 0; part < 3; ++part) std::printf("status part %d: %s\n", part, RunProbe_StatusPartText(bar, part).c_str());
    std::printf("status part 3: %s\n", hardware.c_str());
    if (hardware != expected) {
        std::printf("hardware part reads \"%s\", expected \"%s\"\n", hardware.c_str(), expected.c_str());
        ok = false;
    }
    // The pipe's one instance may be taken by a listener: then the wait
    // times out instead of finding no pipe.
    if (!WaitNamedPipeA("\\\\.\\pipe\\TolvaranPipe", 2000) && GetLastError() != ERROR_SEM_TIMEOUT) {
        std::printf("the outbound pipe is not there (error %lu)\n", static_cast<unsigned long>(GetLastError()));
        ok = false;
    }
    if (!ReportBoxes(main)) ok = false;
    std::printf(ok ? "running as expected\n" : "not as expected\n");
    return ok ? 0 : 1;
}

BOOL CALLBACK FindSetupWindow(HWND window, LPARAM context) {
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window) && GetDlgItem(window, 1417)) {
        *reinterpret_cast<HWND*>(context) = window;
        return FALSE;
    }
    return TRUE;
}

HWND SetupWindow() {
    HWND found = nullptr;
    EnumWindows(FindSetupWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

int Hemisphere(DWORD seconds) {
    HWND window = nullptr;
    DWORD waited = 0;
    for (; waited < seconds * 10 && !(window = SetupWindow()); ++waited) Sleep(100);
    if (!window) {
        std::printf("no hemisphere set-up window within %lu s\n", static_cast<unsigned long>(seconds));
        return 1;
    }
    char title[256] = "";
    GetWindowTextA(window, title, sizeof title);
    std::printf("hemisphere set-up window open after %.1f s: %s\n", waited / 10.0, title);
    for (waited = 0; waited < seconds * 10 && IsWindow(window) && IsWindowVisible(window); ++waited) Sleep(100);
    if (IsWindow(window) && IsWindowVisible(window)) {
        std::printf("the hemisphere set-up window is still open after %lu s\n", static_cast<unsigned long>(seconds));
        return 1;
    }
    std::printf("hemisphere set-up window closed after %.1f s more\n", waited / 10.0);
    return 0;
}

// A run that captured sweeps is asked whether to save them before it closes:
// the check answers No, so that nothing is written.
bool AnswerSaveQuestion(DWORD pid) {
    HWND box = RunProbe_FindDialog(pid, {kSaveQuestionText, IDNO});
    if (!box) return false;
    PostMessageA(box, WM_COMMAND, IDNO, 0);
    return true;
}

int Close(DWORD seconds) {
    HWND main = FindMainWindow();
    if (!main) {
        std::printf("no main window to close\n");
        return 1;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    PostMessageA(main, WM_CLOSE, 0, 0);
    DWORD waited = process ? WAIT_TIMEOUT : WAIT_FAILED;
    bool answered = false;
    for (DWORD tenths = 0; waited == WAIT_TIMEOUT && tenths < seconds * 10; ++tenths) {
        waited = WaitForSingleObject(process, 100);
        if (waited == WAIT_TIMEOUT && !answered && AnswerSaveQuestion(pid)) {
            answered = true;
            std::printf("the save question was answered No\n");
        }
    }
    if (waited != WAIT_OBJECT_0) {
        std::printf("the program did not end after WM_CLOSE\n");
        if (IsWindow(main)) ReportBoxes(main);
        if (process) CloseHandle(process);
        return 1;
    }
    DWORD code = 1;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    std::printf("the program ended with exit code %lu\n", static_cast<unsigned long>(code));
    return code == 0 ? 0 : 1;
}

HWND FindView() {
    HWND main = FindMainWindow();
    return main ? FindWindowExA(main, nullptr, "KorvGraph", nullptr) : nullptr;
}

// The view writes what it last presented (its front buffer) to the file.
int ReadBack(const char* path) {
    HWND view = FindView();
    if (!view) {
        std::printf("no view window\n");
        return 1;
    }
    COPYDATASTRUCT data = {kViewReadBackCopyData, static_cast<DWORD>(std::strlen(path) + 1), const_cast<char*>(path)};
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(view, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 20000, &result) ||
        result != 1) {
        std::printf("the view did not write %s\n", path);
        return 1;
    }
    return 0;
}

// A command to the main window or a repaint level to the view; returns
// when the program has handled it.
int Post(bool command, int value) {
    HWND target = command ? FindMainWindow() : FindView();
    if (!target) return 1;
    DWORD_PTR result = 0;
    const LRESULT sent = SendMessageTimeoutA(target, command ? WM_COMMAND : WM_PAINT, command ? value : 0,
                                             command ? 0 : value, SMTO_NORMAL, 20000, &result);
    return sent ? 0 : 1;
}

// The cursor is put over the view's client pixel and the view is given the
// mouse message, as the mouse would give it; returns when it was handled.
bool MouseOverView(HWND view, int x, int y, WPARAM buttons, UINT message) {
    POINT screen = {x, y};
    ClientToScreen(view, &screen);
    SetCursorPos(screen.x, screen.y);
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(view, message, buttons, MAKELPARAM(x, y), SMTO_NORMAL, 20000, &result) != 0;
}

// The cursor is put over the view's client pixel and the view told of the
// move, as the mouse would: the status bar's third part then holds the
// readout of the point drawn there.
int Readout(int x, int y) {
    HWND view = FindView();
    HWND main = FindMainWindow();
    HWND bar = main ? FindWindowExA(main, nullptr, STATUSCLASSNAMEA, nullptr) : nullptr;
    if (!view || !bar) {
        std::printf("no view or status bar\n");
        return 1;
    }
    MouseOverView(view, x, y, 0, WM_MOUSEMOVE);
    std::printf("readout at %d %d: %s\n", x, y, RunProbe_StatusPartText(bar, 2).c_str());
    return 0;
}

// A click of the left button at the view's client pixel: the cursor goes
// there first, since the view reads where a mark goes from the cursor.
int ViewClick(int x, int y) {
    HWND view = FindView();
    if (!view) {
        std::printf("no view\n");
        return 1;
    }
    const bool sent = MouseOverView(view, x, y, 0, WM_MOUSEMOVE) &&
                      MouseOverView(view, x, y, MK_LBUTTON, WM_LBUTTONDOWN) &&
                      MouseOverView(view, x, y, 0, WM_LBUTTONUP);
    return sent ? 0 : 1;
}

int ViewRect() {
    HWND view = FindView();
    RECT client;
    if (!view || !GetClientRect(view, &client)) return 1;
    POINT origin = {0, 0};
    ClientToScreen(view, &origin);
    std::printf("%ld %ld %ld %ld\n", static_cast<long>(origin.x), static_cast<long>(origin.y),
                static_cast<long>(client.right), static_cast<long>(client.bottom));
    return 0;
}

// F11 as the user presses it; the Save dialog that opens gets the file's
// full name and is confirmed; the file must then be there.
int Snapshot(const char* name) {
    HWND main = FindMainWindow();
    if (!main) return 1;
    char path[MAX_PATH];
    if (!GetFullPathNameA(name, sizeof path, path, nullptr)) return 1;
    DeleteFileA(path);
    HWND dialog = nullptr;
    PostMessageA(main, WM_KEYDOWN, VK_F11, 0x00570001);
    PostMessageA(main, WM_KEYUP, VK_F11, 0xC0570001);
    for (int tenths = 0; tenths < 200 && !dialog; ++tenths) {
        Sleep(100);
        dialog = RunProbe_ProgramDialog(main, {cmb13});
        if (!dialog) dialog = RunProbe_ProgramDialog(main, {edt1});
    }
    if (!dialog) {
        std::printf("no Save dialog after F11\n");
        return 1;
    }
    SetDlgItemTextA(dialog, GetDlgItem(dialog, cmb13) ? cmb13 : edt1, path);
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    for (int tenths = 0; tenths < 200; ++tenths) {
        Sleep(100);
        if (!IsWindow(dialog) && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
            std::printf("snapshot written: %s\n", path);
            return ReportBoxes(main) ? 0 : 1;
        }
    }
    std::printf("no snapshot at %s\n", path);
    ReportBoxes(main);
    return 1;
}

}  // namespace

// What the 3D mouse stand-in turns into a device event (see sim/space_mouse).
int SpaceMouse(int type, int axis, int value) {
    HWND main = FindMainWindow();
    if (!main) {
        std::printf("no main window\n");
        return 1;
    }
    const UINT message = RegisterWindowMessageA("TolvaranSimSpaceMouseEvent");
    return PostMessageA(main, message, static_cast<WPARAM>(type | axis << 8), value) ? 0 : 1;
}

int PrintStatus(int part) {
    HWND main = FindMainWindow();
    HWND bar = main ? FindWindowExA(main, nullptr, STATUSCLASSNAMEA, nullptr) : nullptr;
    if (!bar) {
        std::printf("no status bar\n");
        return 1;
    }
    std::printf("%s\n", RunProbe_StatusPartText(bar, part).c_str());
    return 0;
}

int PrintTitle() {
    HWND main = FindMainWindow();
    char title[512] = "";
    if (!main || !GetWindowTextA(main, title, sizeof title)) return 1;
    std::printf("%s\n", title);
    return 0;
}

int main(int argc, char** argv) {
    if (argc >= 5 && std::strcmp(argv[1], "spacemouse") == 0)
        return SpaceMouse(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    if (argc >= 3 && std::strcmp(argv[1], "status") == 0) return PrintStatus(std::atoi(argv[2]));
    if (argc == 2 && std::strcmp(argv[1], "title") == 0) return PrintTitle();
    if (argc >= 4 && std::strcmp(argv[1], "readout") == 0) return Readout(std::atoi(argv[2]), std::atoi(argv[3]));
    if (argc >= 4 && std::strcmp(argv[1], "view-click") == 0) return ViewClick(std::atoi(argv[2]), std::atoi(argv[3]));
    if (argc >= 2 && std::strcmp(argv[1], "viewrect") == 0) return ViewRect();
    if (argc >= 3 && std::strcmp(argv[1], "snapshot") == 0) return Snapshot(argv[2]);
    if (argc >= 3 && std::strcmp(argv[1], "readback") == 0) return ReadBack(argv[2]);
    if (argc >= 3 && std::strcmp(argv[1], "command") == 0) return Post(true, std::atoi(argv[2]));
    if (argc >= 3 && std::strcmp(argv[1], "repaint") == 0) return Post(false, std::atoi(argv[2]));
    if (argc >= 3 && std::strcmp(argv[1], "wait") == 0)
        return Wait(argv[2], argc >= 4 ? static_cast<DWORD>(std::atoi(argv[3])) : 30);
    if (argc >= 2 && std::strcmp(argv[1], "hemisphere") == 0)
        return Hemisphere(argc >= 3 ? static_cast<DWORD>(std::atoi(argv[2])) : 30);
    if (argc >= 2 && std::strcmp(argv[1], "close") == 0)
        return Close(argc >= 3 ? static_cast<DWORD>(std::atoi(argv[2])) : 30);
    const int document = RunProbe_DocumentCommand(argc, argv);
    if (document >= 0) return document;
    const int calibration = RunProbe_CalibrationCommand(argc, argv);
    if (calibration >= 0) return calibration;
    const int surfaces = RunProbe_SurfacesCommand(argc, argv);
    if (surfaces >= 0) return surfaces;
    const int scanFile = RunProbe_ScanFileCommand(argc, argv);
    if (scanFile >= 0) return scanFile;
    std::fprintf(stderr,
                 "usage: tolvaran_run_probe wait <hardware state key> [seconds] | hemisphere [seconds] | "
                 "spacemouse <type> <axis> <value> | status <part> | title | "
                 "close [seconds] | makescan <file> | title <text> | title-key <key> | box <key> | "
                 "export-dialog | cancel-dialog | surfaces-road <file> <copy> [seconds] |"
                 " save-as <file> | scan-file <file>\n");
    return 2;
}
