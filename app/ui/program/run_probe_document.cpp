// The run probe's commands about the document: a small scan file to start
// the program with, the document's name in the window title, the one box a
// damaged start-up file gives, and the export Save dialog opened and
// cancelled from outside.
#include "app/ui/program/run_probe.h"

#include "app/locale/locale_loader.h"
#include "app/locale/locale_lookup.h"
#include "app/scan/profile_processing.h"
#include "app/scan/settings_records.h"
#include "app/scanfile/scan_file.h"

#include <commdlg.h>
#include <dlgs.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr WORD kExportSweepsCommand = 40129;

DWORD Seconds(int argc, char** argv, int index) {
    return argc > index ? static_cast<DWORD>(std::atoi(argv[index])) : 30;
}

// A profile of n points along x on the plane z = 0 at y, seen from a wand
// 100 mm above it looking down.
Profile PlaneProfile(float y, int n) {
    Profile p{};
    p.NumPoints = n;
    p.Points = static_cast<Vec3*>(std::malloc(sizeof(Vec3) * n));
    p.PointValues = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * n));
    for (int k = 0; k < n; ++k) {
        p.Points[k] = Vec3{-50.0f + 0.5f * k, y, 0.0f};
        p.PointValues[k] = 10;
    }
    Matrix4& m = p.WandRxMatrix;
    M4_Identity(m);
    m[0] = 0, m[1] = 0, m[2] = -1;
    m[4] = 1, m[5] = 0, m[6] = 0;
    m[8] = 0, m[9] = -1, m[10] = 0;
    m[12] = 0, m[13] = y, m[14] = 100;
    M4_Identity(p.ReferenceRxMatrix);
    return p;
}

// The scan record with its blocks, freed with it.
struct ProbeScan {
    ProbeScan() : raw(static_cast<RawData*>(std::calloc(1, sizeof(RawData)))) {
        ScanBlocks_Init(blocks);
        RawData_AttachBlocks(*raw, blocks);
        RawData_GrowSweeps(*raw);
    }
    ~ProbeScan() {
        RawData_FreeArrays(*raw);
        ScanBlocks_Free(blocks);
        std::free(raw);
    }
    ScanBlocks blocks;
    RawData* raw;
};

// Two overlapping sweeps of thirty profiles 0.5 mm apart on the plane z = 0,
// enough for both surfaces, saved with the default settings.
int MakeScan(const char* path) {
    ProbeScan scan;
    RawData& r = *scan.raw;
    for (int sweep = 0; sweep < 2; ++sweep) {
        for (int p = 0; p < 30; ++p) {
            if (!RawData_GrowProfiles(r, 500)) return 1;
            r.Profiles[r.TotalProfiles++] = PlaneProfile(5.0f * sweep + 0.5f * p, 40);
            r.NumProfiles = r.TotalProfiles;
        }
        ++r.TotalSweeps;
        r.NumSweeps = r.TotalSweeps;
        if (!RawData_GrowSweeps(r)) return 1;
        r.SweepStartingProfileNo[r.TotalSweeps] = r.TotalProfiles;
    }
    if (Scan_ProcessNewProfiles(r, 0, 4.0f) != kScanProcessOk) {
        std::printf("the scan's profiles were not processed\n");
        return 1;
    }
    GeneralSettings settings{};
    GeneralSettings_SetDefaults(settings, 0xFFFFFF, 0);
    ViewSettings view{};
    ViewSettings_SetDefaults(view);
    SurfaceRecord basic{}, rbf{};
    SurfaceRecord* current = &basic;
    SurfacePair surfaces{&basic, &rbf, &current};
    ScanFileSaveContext context;
    context.view = &view;
    char error[kScanFileErrorTextSize] = "";
    if (!TVNFile_Save(surfaces, path, false, false, &r, &settings, context, error)) {
        std::printf("%s was not written: %s\n", path, error);
        return 1;
    }
    std::printf("%s written: %d sweeps, %d points\n", path, r.NumSweeps, r.NumPoints);
    return 0;
}

HWND WaitForMain(DWORD seconds) {
    for (DWORD tenths = 0; tenths < seconds * 10; ++tenths) {
        if (HWND main = RunProbe_FindMainWindow()) return main;
        Sleep(100);
    }
    return nullptr;
}

// The title is "<document> - <product>" once the start-up file was read.
int Title(const std::string& expected, DWORD seconds) {
    HWND main = WaitForMain(seconds);
    if (!main) {
        std::printf("no main window\n");
        return 1;
    }
    const std::string prefix = expected + " - ";
    char title[512] = "";
    for (DWORD tenths = 0; tenths < seconds * 10; ++tenths) {
        GetWindowTextA(main, title, sizeof title);
        if (std::strncmp(title, prefix.c_str(), prefix.size()) == 0) break;
        Sleep(100);
    }
    std::printf("title: %s\n", title);
    if (std::strncmp(title, prefix.c_str(), prefix.size()) == 0) return 0;
    std::printf("the title does not begin with \"%s\"\n", prefix.c_str());
    return 1;
}

// Exactly one box: its text begins with the key's text (up to the first
// variable), it is answered with OK, and no other box follows.
int Box(const char* key, DWORD seconds) {
    Locale_Load();
    HWND main = WaitForMain(seconds);
    HWND box = nullptr;
    for (DWORD tenths = 0; main && !box && tenths < seconds * 10; ++tenths) {
        box = RunProbe_ProgramDialog(main, {});
        if (!box) Sleep(100);
    }
    if (!box) {
        std::printf("no message box within %lu s\n", static_cast<unsigned long>(seconds));
        return 1;
    }
    const std::vector<std::string> boxes = RunProbe_OpenBoxes(main);
    for (const std::string& b : boxes) std::printf("message box open: %s\n", b.c_str());
    std::string expected = Locale_GetString(key);
    expected = expected.substr(0, expected.find('{'));
    char text[1024] = "";
    if (HWND label = GetDlgItem(box, 0xFFFF)) GetWindowTextA(label, text, sizeof text);
    bool ok = boxes.size() == 1 && std::strncmp(text, expected.c_str(), expected.size()) == 0;
    if (!ok) std::printf("expected one box beginning \"%s\"\n", expected.c_str());
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    Sleep(2000);
    const std::vector<std::string> after = RunProbe_OpenBoxes(main);
    for (const std::string& b : after) std::printf("another box: %s\n", b.c_str());
    if (!after.empty()) ok = false;
    return ok ? 0 : 1;
}

// File > Export of the sweeps: its Save dialog with its file-type box opens
// with the sweeps' title; it stays open for the screenshot.
int ExportDialog(DWORD seconds) {
    Locale_Load();
    HWND main = WaitForMain(seconds);
    if (!main) return 1;
    PostMessageA(main, WM_COMMAND, kExportSweepsCommand, 0);
    HWND dialog = nullptr;
    for (DWORD tenths = 0; !dialog && tenths < seconds * 10; ++tenths) {
        dialog = RunProbe_ProgramDialog(main, {cmb1});
        if (!dialog) Sleep(100);
    }
    if (!dialog) {
        std::printf("no export Save dialog within %lu s\n", static_cast<unsigned long>(seconds));
        return 1;
    }
    Sleep(500);  // let it paint
    char title[256] = "";
    GetWindowTextA(dialog, title, sizeof title);
    const LRESULT filters = SendMessageA(GetDlgItem(dialog, cmb1), CB_GETCOUNT, 0, 0);
    std::printf("export dialog: %s, %ld file types\n", title, static_cast<long>(filters));
    return std::strcmp(title, Locale_GetString("FileExportSweepsTitle")) == 0 && filters == 13 ? 0 : 1;
}

int CancelDialog(DWORD seconds) {
    HWND main = RunProbe_FindMainWindow();
    HWND dialog = main ? RunProbe_ProgramDialog(main, {cmb1}) : nullptr;
    if (!dialog) {
        std::printf("no Save dialog to cancel\n");
        return 1;
    }
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    for (DWORD tenths = 0; tenths < seconds * 10 && IsWindow(dialog) && IsWindowVisible(dialog); ++tenths) Sleep(100);
    if (IsWindow(dialog) && IsWindowVisible(dialog)) {
        std::printf("the Save dialog is still open\n");
        return 1;
    }
    return 0;
}

}  // namespace

int RunProbe_DocumentCommand(int argc, char** argv) {
    if (argc < 2) return -1;
    const std::string command = argv[1];
    if (command == "makescan" && argc >= 3) return MakeScan(argv[2]);
    if (command == "title" && argc >= 3) return Title(argv[2], Seconds(argc, argv, 3));
    if (command == "title-key" && argc >= 3) {
        Locale_Load();
        return Title(Locale_GetString(argv[2]), Seconds(argc, argv, 3));
    }
    if (command == "box" && argc >= 3) return Box(argv[2], Seconds(argc, argv, 3));
    if (command == "export-dialog") return ExportDialog(Seconds(argc, argv, 2));
    if (command == "cancel-dialog") return CancelDialog(Seconds(argc, argv, 2));
    return -1;
}
