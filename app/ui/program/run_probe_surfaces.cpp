// The run probe's road through both surfaces, driven from outside as a user
// drives the program: F6 and F7 build them, F5 goes back to the scan, Save As
// writes the opened file over itself; the file is read back here. Then the
// same file is opened again through File > Open, shown with F7 and saved once
// more: the surfaces must survive the paint and the second save must write the
// same items as the first, apart from the edit history.
#include "app/ui/program/run_probe.h"

#include "app/files/container_keys.h"
#include "app/files/item_file.h"
#include "app/scanfile/scan_file.h"
#include "app/scanfile/scan_file_items.h"

#include <dlgs.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>

namespace {

constexpr WORD kShowBasic = 40263, kShowRbf = 40264, kShowSweeps = 40262, kSaveAs = 40089, kOpen = 40265;

std::string Title(HWND main) {
    char title[512] = "";
    GetWindowTextA(main, title, sizeof title);
    return title;
}

BOOL CALLBACK PrintText(HWND child, LPARAM) {
    char text[512] = "";
    GetWindowTextA(child, text, sizeof text);
    if (text[0]) std::printf("  it shows: %s\n", text);
    return TRUE;
}

// Posts a command and waits for the dialog it may open (a build's progress)
// to come and go; `opened` tells whether one came.
bool CommandAndWait(HWND main, WORD command, DWORD seconds, bool* opened = nullptr) {
    PostMessageA(main, WM_COMMAND, command, 0);
    HWND dialog = nullptr;
    for (int tenths = 0; tenths < 30 && !dialog; ++tenths) {
        Sleep(100);
        dialog = RunProbe_ProgramDialog(main, {});
    }
    if (opened) *opened = dialog != nullptr;
    for (DWORD tenths = 0; dialog && tenths < seconds * 10; ++tenths) {
        Sleep(100);
        dialog = RunProbe_ProgramDialog(main, {});
    }
    if (dialog) {
        for (const std::string& box : RunProbe_OpenBoxes(main)) std::printf("still open: %s\n", box.c_str());
        EnumChildWindows(dialog, PrintText, 0);
        return false;
    }
    Sleep(500);
    return true;
}

// The title becomes "<name> - ..." (modified: "<name>* - ...").
bool WaitForTitle(HWND main, const std::string& name, bool modified, DWORD seconds) {
    const std::string prefix = name + (modified ? "* - " : " - ");
    for (DWORD tenths = 0; tenths < seconds * 10; ++tenths) {
        if (Title(main).rfind(prefix, 0) == 0) return true;
        Sleep(100);
    }
    std::printf("title \"%s\", expected it to begin \"%s\"\n", Title(main).c_str(), prefix.c_str());
    return false;
}

FILETIME WrittenAt(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

// A file dialog of the program: its name box takes the name, OK is pressed.
bool TypeIntoFileDialog(HWND main, const std::string& name) {
    HWND dialog = nullptr;
    for (int tenths = 0; tenths < 300 && !dialog; ++tenths) {
        Sleep(100);
        dialog = RunProbe_ProgramDialog(main, {IDOK, cmb13});
        if (!dialog) dialog = RunProbe_ProgramDialog(main, {IDOK, edt1});
    }
    if (!dialog) {
        std::printf("no file dialog\n");
        return false;
    }
    Sleep(300);
    HWND box = GetDlgItem(dialog, cmb13);
    if (!box) box = GetDlgItem(dialog, edt1);
    SetWindowTextA(box, name.c_str());
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    return true;
}

// File > Save As under the document's own name; the question whether to
// replace it is answered Yes.
bool SaveAndWait(HWND main, const std::string& name) {
    const FILETIME before = WrittenAt(name);
    PostMessageA(main, WM_COMMAND, kSaveAs, 0);
    if (!TypeIntoFileDialog(main, name)) return false;
    for (int tenths = 0; tenths < 300; ++tenths) {
        if (HWND question = RunProbe_ProgramDialog(main, {IDYES})) PostMessageA(question, WM_COMMAND, IDYES, 0);
        const FILETIME now = WrittenAt(name);
        const bool written = CompareFileTime(&now, &before) != 0;
        if (written && Title(main).rfind(name + " - ", 0) == 0 && !RunProbe_ProgramDialog(main, {})) {
            Sleep(500);  // the write is whole once the program is idle again
            return true;
        }
        Sleep(100);
    }
    std::printf("the file was not written again\n");
    return WaitForTitle(main, name, false, 1) && false;
}

// The surfaces of a saved scan as the program reads them.
struct SavedSurfaces {
    int32_t basic = 0, rbf = 0;
    double basicTime = 0.0, rbfTime = 0.0;
};

bool ReadSurfaces(const char* path, SavedSurfaces& out) {
    RawData* raw = static_cast<RawData*>(std::calloc(1, sizeof(RawData)));
    ScanBlocks blocks;
    ScanBlocks_Init(blocks);
    RawData_AttachBlocks(*raw, blocks);
    SurfaceRecord basic{}, rbf{};
    SurfaceRecord* current = &basic;
    const SurfacePair pair{&basic, &rbf, &current};
    char error[kScanFileErrorTextSize] = "";
    const bool loaded =
        TVNFile_Load(path, raw, nullptr, nullptr, &pair, nullptr, nullptr, nullptr, &blocks, error, nullptr);
    if (!loaded) std::printf("%s was not read: %s\n", path, error);
    out = {basic.NumPoints, rbf.NumPoints, basic.ChangeTime, rbf.ChangeTime};
    Surface_Free(basic);
    Surface_Free(rbf);
    RawData_FreeArrays(*raw);
    ScanBlocks_Free(blocks);
    std::free(raw);
    return loaded;
}


bool SameItems(const std::string& first, const std::string& second) {
    const auto a = SectionItems(first), b = SectionItems(second);
    bool same = !a.empty();
    for (const auto& [name, bytes] : a) {
        const auto other = b.find(name);
        if (other == b.end() || other->second != bytes) {
            std::printf("item %s differs on the second save\n", name.c_str());
            same = false;
        }
    }
    for (const auto& entry : b)
        if (!a.count(entry.first)) {
            std::printf("item %s only in the second save\n", entry.first.c_str());
            same = false;
        }
    return same;
}

// File > Open, the name typed into its box; done when no dialog is left.
bool OpenThroughTheDialog(HWND main, const std::string& path) {
    PostMessageA(main, WM_COMMAND, kOpen, 0);
    if (!TypeIntoFileDialog(main, path)) return false;
    for (int tenths = 0; tenths < 300; ++tenths) {
        Sleep(100);
        if (!RunProbe_ProgramDialog(main, {})) {
            Sleep(1000);
            return true;
        }
    }
    return false;
}

// Each step in order; the first that fails is named and ends the road.
bool Steps(std::initializer_list<std::pair<const char*, std::function<bool()>>> steps) {
    for (const auto& [name, step] : steps) {
        if (step()) continue;
        std::printf("step failed: %s\n", name);
        return false;
    }
    return true;
}

int SurfacesRoad(const std::string& name, const std::string& keep, DWORD seconds) {
    HWND main = RunProbe_FindMainWindow();
    if (!main) {
        std::printf("no main window\n");
        return 1;
    }
    SavedSurfaces first, second;
    const auto command = [&](WORD id) { return [&, id] { return CommandAndWait(main, id, seconds); }; };
    bool ok = Steps({
        {"F6 builds the basic surface", command(kShowBasic)},
        {"F7 builds the RBF surface", command(kShowRbf)},
        {"F5 shows the sweeps", command(kShowSweeps)},
        {"the new surfaces mark the scan changed", [&] { return WaitForTitle(main, name, true, 5); }},
        {"Save As saves in scan mode", [&] { return SaveAndWait(main, name); }},
        {"the file is read back", [&] { return ReadSurfaces(name.c_str(), first); }},
        {"both surfaces are in it, the RBF one newer",
         [&] {
             std::printf("first save: basic %d points, RBF %d points\n", first.basic, first.rbf);
             return first.basic > 0 && first.rbf > 0 && first.rbfTime > first.basicTime;
         }},
        {"the first save is kept", [&] { return CopyFileA(name.c_str(), keep.c_str(), FALSE) != FALSE; }},
        {"File > Open opens it again", [&] { return OpenThroughTheDialog(main, name); }},
        {"the opened scan is unchanged", [&] { return WaitForTitle(main, name, false, 30); }},
        {"F7 shows the RBF surface as it was saved, built from nothing",
         [&] {
             bool built = true;
             return CommandAndWait(main, kShowRbf, seconds, &built) && !built;
         }},
        {"F5 shows the sweeps again", command(kShowSweeps)},
        {"showing a surface changes nothing", [&] { return WaitForTitle(main, name, false, 5); }},
        {"Save As saves again", [&] { return SaveAndWait(main, name); }},
        {"the second save is read back", [&] { return ReadSurfaces(name.c_str(), second); }},
        {"the second save has both surfaces",
         [&] {
             std::printf("second save: basic %d points, RBF %d points\n", second.basic, second.rbf);
             return second.basic == first.basic && second.rbf == first.rbf;
         }},
        {"the second save writes the same items", [&] { return SameItems(keep, name); }},
        {"no box is open", [&] { return RunProbe_OpenBoxes(main).empty(); }},
    });
    std::printf("surfaces road: %s\n", ok ? "held" : "failed");
    return ok ? 0 : 1;
}

}  // namespace

int RunProbe_SurfacesCommand(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "surfaces-road") == 0)
        return SurfacesRoad(argv[2], argv[3], argc >= 5 ? static_cast<DWORD>(std::atoi(argv[4])) : 120);
    return -1;
}
