// Batch processing without its window: the items of a batch (each a scan
// file with its own settings, view, surfaces and output file), the log that
// reports every step through the batch dialog's message list, and the run of
// the whole list that the batch thread makes. The dialog, its list view and
// the thread are the Windows part; everything here runs on any thread and
// talks to the window only through BatchLog_Sink() and BatchRunHost.
#pragma once

#include "app/export/proc_log.h"
#include "app/scan/raw_data.h"
#include "app/scan/settings_records.h"
#include "app/scan/surface_record.h"
#include "surface/pipeline/morlith_api.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// ---- The log ---------------------------------------------------------------

// Where the batch's log lines and progress go: the batch dialog while a
// batch runs. Unset members drop what they would receive.
struct BatchLogSink {
    std::function<void(const ProcLogLine& line)> append;
    std::function<void(int32_t position)> barPosition;
    // The triangle count (below 1: nothing to count) and the bar's position.
    std::function<void(int32_t count, int32_t position)> triangles;
    std::function<void(ProcLogSound sound)> sound;
    // The calling thread's processor time in seconds.
    std::function<double()> threadSeconds;
};
BatchLogSink& BatchLog_Sink();

// The batch's abort flag (written by the dialog, read by the callbacks) and
// the last stage text, emptied at the start of each batch.
std::atomic<int32_t>& Batch_AbortFlag();
void BatchLog_ResetStage();

// Formats a message of the level and appends it (see ProcLog_FormatV); also
// the message function the RBF surface build gets.
int MORLITH_CALL ProcLog_WriteV(int32_t level, const char* format, va_list args);
void ProcLog_Write(int32_t level, const char* format, ...);
// Progress of loading and of the basic surface: the bar at fraction x 1000, a
// new stage text logged at level 3; nonzero while the abort flag is clear.
int ProcLog_Progress(const char* stage, float fraction, void* user);
// Progress of the RBF surface build with its live triangle count.
void ProcLog_TriangleProgress(double fraction, int32_t count);

// ---- Items -----------------------------------------------------------------

constexpr int32_t kBatchKindBasic = 1;
constexpr int32_t kBatchKindRbf = 2;

struct BatchItem {
    int32_t currentScan = 0;  // 1: the main program's open scan, never loaded or freed
    GeneralSettings settings{};
    ViewSettings view{};
    std::string scanPath;
    std::string outputPath;
    SurfaceRecord basic{};
    SurfaceRecord rbf{};
    SurfaceRecord* current = nullptr;  // the basic record unless an RBF surface was built
    RawData* raw = nullptr;            // zero-filled record the file is loaded into
    int32_t buildSurface = 1;          // 0: export the sweeps; 1: build the surface of the kind

    BatchItem();
    ~BatchItem();
    BatchItem(const BatchItem&) = delete;
    BatchItem& operator=(const BatchItem&) = delete;
};

// What a new item takes from the program and from the list before it.
struct BatchProgram {
    const GeneralSettings* settings;  // the main program's live settings
    const ViewSettings* view;         // and view
    const RawData* raw;               // the open scan, null or empty when none
    std::string scanPath;             // the open scan's path
};

// A new item: the view of the program, the settings, build flag and surface
// choice of the last item (of the program, flag 1 and basic, for the first);
// null when out of memory.
std::unique_ptr<BatchItem> Batch_NewItem(const BatchProgram& program, const BatchItem* last);
// The open scan's item: the program's settings and view, a copy of its scan
// record (sharing its arrays), its path and the output path for it.
std::unique_ptr<BatchItem> Batch_CurrentScanItem(const BatchProgram& program);

// The output path proposed for a scan: its extension replaced by the one of
// the item's export type (appended when it has none).
std::string Batch_OutputPathFor(const std::string& scanPath, int32_t exportType);
// The list's text for the open scan: the path after its last backslash (or
// slash), extension included; for an added file: without folder or extension.
std::string Batch_CurrentScanLabel(const std::string& path);
std::string Batch_FileLabel(const std::string& path);

// Which radio button an item shows: 0 sweeps, 1 basic, 2 RBF.
int32_t Batch_ItemChoice(const BatchItem& item);
void Batch_SetItemChoice(BatchItem& item, int32_t choice);

// Index of the first item without an output path, -1 when all have one.
int32_t Batch_FirstItemWithoutOutput(const std::vector<BatchItem*>& items);

// ---- The run ---------------------------------------------------------------

// What the run asks of the window around it. Every member may be unset.
struct BatchRunHost {
    std::function<void(int32_t index)> itemStarts;     // select it, controls to the running state
    std::function<void(bool running)> runningChanged;  // "Abort" while running, else "Close"
    std::function<void()> clearLog;
    std::function<void()> successBeep;
    std::function<void()> warningBox;  // the summary box of a batch with failures
    // The RBF build's cancel word, published while it runs (null after).
    std::function<void(volatile int32_t* cancel)> publishCancel;
};

// The batch's own three reserved blocks, which every loaded scan reuses.
struct BatchBlocks {
    ScanBlocks blocks{};
    bool made = false;
    void Attach(RawData& raw);
    void Release();
};

// The surface library's context for the batch's RBF builds; a test may give
// its own. Null: a context made for the run.
struct BatchEnvironment {
    ScanFitContext* fitContext = nullptr;
    const RawData* programScan = nullptr;  // what a current-scan item copies
};

// One item's steps: load, build or prepare, export; then its scan data are
// freed. True when the export succeeded.
bool Batch_ProcessItem(BatchItem& item, BatchBlocks& blocks, ScanFitContext& context, const RawData* programScan,
                       const BatchRunHost& host);

// The batch thread's work over the list: returns 1 when every item
// succeeded, else 0. An aborted batch ends without a summary.
int32_t Batch_Run(const std::vector<BatchItem*>& items, const BatchEnvironment& environment, const BatchRunHost& host);

// Steps of one item, for the thread and the tests.
bool Batch_LoadScan(BatchItem& item, BatchBlocks& blocks, const RawData* programScan);
bool Batch_SaveExport(BatchItem& item);
void Batch_FreeItemData(BatchItem& item);
