// The "Batch Processing" dialog (template 320, command 40130): the list of
// scan files with each one's export choice and output file, the batch thread
// that processes them while the dialog stays responsive, its levelled message
// list with the progress bar, and Save Log.
#pragma once

#include "app/scan/raw_data.h"
#include "app/scan/settings_records.h"
#include "app/scan/surface_record.h"

#include <windows.h>

#include <functional>
#include <string>

constexpr int kBatchTemplate = 320;
constexpr UINT kMsgBatch = 0x8040;  // wParam 0 refresh, 1 an item starts, 2 the batch ended

constexpr int kBatchScanList = 1225;
constexpr int kBatchAdd = 1227;
constexpr int kBatchRemove = 1228;
constexpr int kBatchScanPath = 1230;
constexpr int kBatchSweeps = 1254;
constexpr int kBatchBasic = 1255;
constexpr int kBatchRbf = 1256;
constexpr int kBatchSurfaceSettings = 1231;
constexpr int kBatchOutput = 1235;
constexpr int kBatchOutputPath = 1232;
constexpr int kBatchStatus = 1035;
constexpr int kBatchBar = 1154;
constexpr int kBatchTriangles = 1216;
constexpr int kBatchLog = 1157;
constexpr int kBatchRun = 1238;
constexpr int kBatchSaveLog = 3;

// What the dialog works on: the main program's records, which it leaves as
// they were.
struct BatchContext {
    HINSTANCE instance;
    HWND owner;
    const GeneralSettings* defaults;
    GeneralSettings* settings;
    const ViewSettings* viewDefaults;
    ViewSettings* view;
    RawData* raw;
    SurfaceRecord* basic;
    SurfaceRecord* rbf;
    SurfaceRecord** shown;
    std::string scanPath;
};

// Runs the dialog modally; the program's settings, view, scan record and
// surface records are restored from copies afterwards.
INT_PTR Batch_RunDialog(const BatchContext& context);

// Command 40130 on the program's state; false for any other command.
bool Batch_Command(WORD id);

// Test seams: the file dialogs the dialog would open (Add, Output..., Save
// Log) and the beep. Unset: the real ones.
struct BatchDialogSeams {
    std::function<bool(std::string& path)> openScan;
    std::function<bool(GeneralSettings& settings, bool surface, std::string& path)> chooseOutput;
    std::function<bool(std::string& path)> saveLogPath;
    std::function<void(UINT type)> beep;
};
BatchDialogSeams& BatchDialog_Seams();
