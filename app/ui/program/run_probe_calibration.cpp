// The run probe's commands for driving the calibration checks from outside,
// as the user does: a menu command whose window stays open, the windows and
// boxes it opens (their place on the screen for the pictures, their texts,
// their buttons clicked), the simulator's clock held at a wait of its
// scenario while the user acts, and the calibration file read back.
//
//   post-command <id>                  the command is posted to the main window
//   dialog <control> [seconds]         a dialog of the program holding the control
//                                      (65535: a message box's text) is open; prints
//                                      "rect X Y W H" of its client area on the screen
//   item <control> <item>              prints "enabled 0|1" and the item's text
//   click <control> <item>             the button of that dialog is clicked
//   closed <control> [seconds]         no dialog holds the control any more
//   answer <button> [seconds [key]]    the one open message box, with the key's text:
//                                      prints its text, then answers with the button
//                                      (1 OK, 2 Cancel, 6 Yes, 7 No)
//   sim-reached <wait> [seconds]       the simulator's clock holds at the wait and the
//                                      capture before it has ended
//   sim-go <wait>                      the simulator's clock goes on
//   lut-tweak <file>                   the calibration file's two newest tweak records
#include "app/ui/program/run_probe.h"

#include "app/acquisition/calibration_file.h"
#include "app/locale/locale_loader.h"
#include "app/locale/locale_lookup.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kBoxText = 0xFFFF;

DWORD Seconds(int argc, char** argv, int index) {
    return argc > index ? static_cast<DWORD>(std::atoi(argv[index])) : 30;
}

HWND ProgramDialog(int control) {
    HWND main = RunProbe_FindMainWindow();
    return main ? RunProbe_ProgramDialog(main, {control}) : nullptr;
}

HWND WaitForDialog(int control, DWORD seconds) {
    for (DWORD tenths = 0; tenths < seconds * 10; ++tenths) {
        if (HWND dialog = ProgramDialog(control)) return dialog;
        Sleep(100);
    }
    return nullptr;
}

// Asked of the control itself: an edit box keeps its own text.
std::string ItemText(HWND dialog, int item) {
    char text[2048] = "";
    DWORD_PTR result = 0;
    if (HWND control = GetDlgItem(dialog, item))
        SendMessageTimeoutA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000,
                            &result);
    return text;
}

int PostCommand(int id) {
    HWND main = RunProbe_FindMainWindow();
    if (!main) {
        std::printf("no main window\n");
        return 1;
    }
    return PostMessageA(main, WM_COMMAND, static_cast<WPARAM>(id), 0) ? 0 : 1;
}

// The dialog once it has painted: its rectangle on the screen.
int Dialog(int control, DWORD seconds) {
    HWND dialog = WaitForDialog(control, seconds);
    if (!dialog) {
        std::printf("no dialog with control %d within %lu s\n", control, static_cast<unsigned long>(seconds));
        return 1;
    }
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(500);
    // The client area: without a window manager on the display the frame
    // is not drawn there.
    RECT r;
    GetClientRect(dialog, &r);
    POINT origin = {0, 0};
    ClientToScreen(dialog, &origin);
    char title[256] = "";
    GetWindowTextA(dialog, title, sizeof title);
    std::printf("rect %ld %ld %ld %ld\n", static_cast<long>(origin.x), static_cast<long>(origin.y),
                static_cast<long>(r.right), static_cast<long>(r.bottom));
    std::fprintf(stderr, "dialog open: %s\n", title);
    return 0;
}

int Item(int control, int item) {
    HWND dialog = ProgramDialog(control);
    if (!dialog || !GetDlgItem(dialog, item)) {
        std::printf("no item %d in a dialog with control %d\n", item, control);
        return 1;
    }
    std::printf("enabled %d\n%s\n", IsWindowEnabled(GetDlgItem(dialog, item)) ? 1 : 0, ItemText(dialog, item).c_str());
    return 0;
}

int Click(int control, int item) {
    HWND dialog = ProgramDialog(control);
    HWND button = dialog ? GetDlgItem(dialog, item) : nullptr;
    if (!button) {
        std::printf("no button %d in a dialog with control %d\n", item, control);
        return 1;
    }
    return PostMessageA(button, BM_CLICK, 0, 0) ? 0 : 1;
}

int Closed(int control, DWORD seconds) {
    for (DWORD tenths = 0; tenths < seconds * 10; ++tenths) {
        if (!ProgramDialog(control)) return 0;
        Sleep(100);
    }
    std::printf("a dialog with control %d is still open after %lu s\n", control, static_cast<unsigned long>(seconds));
    return 1;
}

struct BoxCount {
    DWORD pid;
    int boxes;
};

BOOL CALLBACK CountBox(HWND window, LPARAM context) {
    BoxCount* count = reinterpret_cast<BoxCount*>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == count->pid && IsWindowVisible(window) && GetDlgItem(window, kBoxText)) ++count->boxes;
    return TRUE;
}

// The message boxes the program has open (its other windows aside).
int OpenBoxCount() {
    BoxCount count{0, 0};
    GetWindowThreadProcessId(RunProbe_FindMainWindow(), &count.pid);
    EnumWindows(CountBox, reinterpret_cast<LPARAM>(&count));
    return count.boxes;
}

// The one box of the program: its text (which must begin with the key's,
// up to its first variable, when a key is given), then the button's answer.
int Answer(int button, DWORD seconds, const char* key) {
    HWND box = WaitForDialog(kBoxText, seconds);
    if (!box) {
        std::printf("no message box within %lu s\n", static_cast<unsigned long>(seconds));
        return 1;
    }
    const int boxes = OpenBoxCount();
    const std::string text = ItemText(box, kBoxText);
    std::printf("%s\n", text.c_str());
    PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
    bool ok = boxes == 1;
    if (!ok) std::printf("%d message boxes were open\n", boxes);
    if (key) {
        Locale_Load();
        std::string expected = Locale_GetString(key);
        expected = expected.substr(0, expected.find('{'));
        if (text.compare(0, expected.size(), expected) != 0) {
            std::printf("the box is not the one of %s\n", key);
            ok = false;
        }
    }
    return ok ? 0 : 1;
}

HANDLE OpenSimulatorEvent(const std::string& name, DWORD access, DWORD seconds) {
    for (DWORD tenths = 0; tenths < seconds * 10; ++tenths) {
        if (HANDLE event = OpenEventA(access, FALSE, name.c_str())) return event;
        Sleep(100);
    }
    return nullptr;
}

// The clock holds at the wait; the press before it ends when the program
// has read its last field, after which the status bar's last part shows the
// hardware state again.
int SimReached(const std::string& wait, DWORD seconds) {
    HANDLE reached = OpenSimulatorEvent("TolvaranSimReached." + wait, SYNCHRONIZE, seconds);
    const bool held = reached && WaitForSingleObject(reached, seconds * 1000) == WAIT_OBJECT_0;
    if (reached) CloseHandle(reached);
    if (!held) {
        std::printf("the simulator did not reach the wait %s within %lu s\n", wait.c_str(),
                    static_cast<unsigned long>(seconds));
        return 1;
    }
    Locale_Load();
    const std::string idle = std::string(Locale_GetString("StandardHW")) + " " + Locale_GetString("HWStateOn");
    HWND main = RunProbe_FindMainWindow();
    HWND bar = main ? FindWindowExA(main, nullptr, STATUSCLASSNAMEA, nullptr) : nullptr;
    for (DWORD tenths = 0; bar && tenths < seconds * 10; ++tenths) {
        if (RunProbe_StatusPartText(bar, 3) == idle) {
            std::printf("the simulator holds at %s\n", wait.c_str());
            return 0;
        }
        Sleep(100);
    }
    std::printf("the capture before the wait %s did not end\n", wait.c_str());
    return 1;
}

int SimGo(const std::string& wait) {
    HANDLE go = OpenSimulatorEvent("TolvaranSimGo." + wait, EVENT_MODIFY_STATE, 5);
    const bool set = go && SetEvent(go);
    if (go) CloseHandle(go);
    if (!set) std::printf("the simulator's wait %s could not be let go\n", wait.c_str());
    return set ? 0 : 1;
}

void PrintTweak(const char* which, const LutTweak& t) {
    std::printf("%s: line %g %g count %g %g old rms %.4f %.4f new rms %.4f %.4f date \"%.24s\"\n", which,
                t.lineTweak[0], t.lineTweak[1], t.countTweak[0], t.countTweak[1], t.oldRms[0], t.oldRms[1],
                t.newRms[0], t.newRms[1], t.date);
}

int PrintLutTweaks(const char* path) {
    CalibrationData data;
    const int32_t result = LoadCalibrationFile(path, data);
    if (result != 1) {
        std::printf("%s was not read (%d)\n", path, static_cast<int>(result));
        return 1;
    }
    PrintTweak("newest", data.history[0]);
    PrintTweak("before", data.history[1]);
    return 0;
}

}  // namespace

int RunProbe_CalibrationCommand(int argc, char** argv) {
    if (argc < 3) return -1;
    const std::string command = argv[1];
    if (command == "post-command") return PostCommand(std::atoi(argv[2]));
    if (command == "dialog") return Dialog(std::atoi(argv[2]), Seconds(argc, argv, 3));
    if (command == "item" && argc >= 4) return Item(std::atoi(argv[2]), std::atoi(argv[3]));
    if (command == "click" && argc >= 4) return Click(std::atoi(argv[2]), std::atoi(argv[3]));
    if (command == "closed") return Closed(std::atoi(argv[2]), Seconds(argc, argv, 3));
    if (command == "answer") return Answer(std::atoi(argv[2]), Seconds(argc, argv, 3), argc >= 5 ? argv[4] : nullptr);
    if (command == "sim-reached") return SimReached(argv[2], Seconds(argc, argv, 3));
    if (command == "sim-go") return SimGo(argv[2]);
    if (command == "lut-tweak") return PrintLutTweaks(argv[2]);
    return -1;
}
