// The run probe's commands about saved scans: Save As driven from outside
// (the command, the file name typed into its dialog, OK), and what a saved
// scan file holds of its history, of the calibration's recent corrections
// and of its view.
#include "app/ui/program/run_probe.h"

#include "app/scan/raw_data.h"
#include "app/scan/settings_records.h"
#include "app/scanfile/scan_file.h"

#include <commdlg.h>
#include <dlgs.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

constexpr WORD kSaveAsCommand = 40089;

DWORD Seconds(int argc, char** argv, int index) {
    return argc > index ? static_cast<DWORD>(std::atoi(argv[index])) : 30;
}

HWND WaitForSaveDialog(HWND main, DWORD seconds) {
    for (DWORD tenths = 0; tenths < seconds * 10; ++tenths) {
        if (HWND dialog = RunProbe_ProgramDialog(main, {cmb1})) return dialog;
        Sleep(100);
    }
    return nullptr;
}

// Save As with the file's full path typed as its name.
int SaveAs(const char* name, DWORD seconds) {
    HWND main = RunProbe_FindMainWindow();
    if (!main) return 1;
    char path[MAX_PATH] = "";
    if (!GetFullPathNameA(name, MAX_PATH, path, nullptr)) return 1;
    DeleteFileA(path);
    PostMessageA(main, WM_COMMAND, kSaveAsCommand, 0);
    HWND dialog = WaitForSaveDialog(main, seconds);
    if (!dialog) {
        std::printf("no Save As dialog within %lu s\n", static_cast<unsigned long>(seconds));
        return 1;
    }
    Sleep(300);
    bool typed = false;
    for (int control : {cmb13, edt1})
        if (HWND box = GetDlgItem(dialog, control)) typed = SetWindowTextA(box, path) || typed;
    if (!typed) {
        std::printf("the Save As dialog has no file name box\n");
        return 1;
    }
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    for (DWORD tenths = 0; tenths < seconds * 10; ++tenths) {
        if (!IsWindow(dialog) && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
            std::printf("saved %s\n", path);
            return 0;
        }
        Sleep(100);
    }
    std::printf("%s was not saved within %lu s\n", path, static_cast<unsigned long>(seconds));
    return 1;
}

// The scan record with its blocks, freed with it.
struct LoadedScan {
    LoadedScan() : raw(static_cast<RawData*>(std::calloc(1, sizeof(RawData)))) { ScanBlocks_Init(blocks); }
    ~LoadedScan() {
        RawData_FreeArrays(*raw);
        ScanBlocks_Free(blocks);
        std::free(raw);
        ItemMeta_Free(history);
    }
    ScanBlocks blocks;
    RawData* raw;
    ItemMetadata* history = nullptr;
};

// One line a fact: "creator: ...", "edit: ..." for each edit entry,
// "correction: number date" for each recent correction, "view: ..." with the
// view matrix's first nine elements.
int PrintScanFile(const char* path) {
    LoadedScan scan;
    ForeignItemList foreign;
    SurfaceRecord basic{}, rbf{};
    SurfaceRecord* current = &basic;
    SurfacePair surfaces{&basic, &rbf, &current};
    GeneralSettings settings{};
    ViewSettings view{};
    char error[kScanFileErrorTextSize] = "";
    int32_t mode = 0;
    if (!TVNFile_Load(path, scan.raw, &scan.history, &foreign, &surfaces, nullptr, &settings, &view, &scan.blocks,
                      error, &mode)) {
        std::printf("%s was not read: %s\n", path, error);
        return 1;
    }
    const auto text = [](const std::optional<std::string>& s) { return s ? s->c_str() : "(none)"; };
    if (scan.history) {
        std::printf("creator: %s by %s\n", text(scan.history->create.program_text), text(scan.history->create.program));
        for (const ItemMetaEntry& edit : scan.history->edits) std::printf("edit: %s\n", text(edit.program_text));
    }
    // A stored correction is a dated one.
    const CorrectionHistory& c = scan.raw->Header.Corrections;
    for (int r = 0; r < 10; ++r)
        if (c.Date[r][0]) std::printf("correction: %d %.24s\n", r, c.Date[r]);
    std::printf("profiles: %d\n", static_cast<int>(scan.raw->NumProfiles));
    std::printf("view:");
    for (int i = 0; i < 9; ++i) std::printf(" %.3f", static_cast<double>(view.ViewMatrix[i]));
    std::printf("\n");
    Surface_Free(basic);
    Surface_Free(rbf);
    return 0;
}

}  // namespace

int RunProbe_ScanFileCommand(int argc, char** argv) {
    if (argc < 3) return -1;
    const std::string command = argv[1];
    if (command == "save-as") return SaveAs(argv[2], Seconds(argc, argv, 3));
    if (command == "scan-file") return PrintScanFile(argv[2]);
    return -1;
}
