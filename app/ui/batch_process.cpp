#include "app/ui/batch_process.h"

#include "app/export/export_driver.h"
#include "app/export/export_formats.h"
#include "app/files/krv_file.h"
#include "app/locale/locale_lookup.h"
#include "app/scan/basic_surface.h"
#include "app/scan/profile_processing.h"
#include "app/scan/rbf_lib.h"
#include "app/scan/rbf_surface.h"
#include "app/scanfile/scan_file.h"
#include "app/ui/scan_document.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace {

std::mutex g_stageMutex;
ProcLogStage g_stage;

void AppendLine(int32_t level, const char* format, va_list args) {
    BatchLogSink& sink = BatchLog_Sink();
    const double seconds = sink.threadSeconds ? sink.threadSeconds() : 0.0;
    ProcLogLine line;
    if (!ProcLog_FormatV(level, seconds, format ? format : "", args, line)) return;
    if (sink.append) sink.append(line);
    if (line.sound != ProcLogSound::kNone && sink.sound) sink.sound(line.sound);
}

}  // namespace

BatchLogSink& BatchLog_Sink() {
    static BatchLogSink sink;
    return sink;
}

std::atomic<int32_t>& Batch_AbortFlag() {
    static std::atomic<int32_t> flag{0};
    return flag;
}

void BatchLog_ResetStage() {
    std::lock_guard<std::mutex> lock(g_stageMutex);
    g_stage.Reset();
}

int MORLITH_CALL ProcLog_WriteV(int32_t level, const char* format, va_list args) {
    AppendLine(level, format, args);
    return 0;
}

void ProcLog_Write(int32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    AppendLine(level, format, args);
    va_end(args);
}

int ProcLog_Progress(const char* stage, float fraction, void*) {
    if (BatchLog_Sink().barPosition) BatchLog_Sink().barPosition(ProcLog_BarPosition(fraction));
    bool changed = false;
    {
        std::lock_guard<std::mutex> lock(g_stageMutex);
        changed = g_stage.Changed(stage);
    }
    if (changed) ProcLog_Write(3, "%s", stage);
    return Batch_AbortFlag().load() == 0 ? 1 : 0;
}

void ProcLog_TriangleProgress(double fraction, int32_t count) {
    if (BatchLog_Sink().triangles) BatchLog_Sink().triangles(count, 1 + ProcLog_BarPosition(fraction));
}

// ---- Items -----------------------------------------------------------------

namespace {

RawData* NewRecord() { return static_cast<RawData*>(std::calloc(1, sizeof(RawData))); }

// A loaded scan's arrays go; the batch's blocks, which last only for the run,
// are let go of too.
void FreeLoadedScan(RawData& raw) {
    RawData_FreeArrays(raw);
    raw.PointBlock = raw.FacetBlock = raw.FacetNormalBlock = nullptr;
}

}  // namespace

BatchItem::BatchItem() { current = &basic; }

BatchItem::~BatchItem() {
    Surface_Free(basic);
    Surface_Free(rbf);
    if (raw && !currentScan) FreeLoadedScan(*raw);
    std::free(raw);
}

std::unique_ptr<BatchItem> Batch_NewItem(const BatchProgram& program, const BatchItem* last) {
    std::unique_ptr<BatchItem> item(new (std::nothrow) BatchItem);
    if (!item) return nullptr;
    item->raw = NewRecord();
    if (!item->raw) return nullptr;
    item->view = *program.view;
    if (last) {
        item->settings = last->settings;
        item->buildSurface = last->buildSurface;
        item->current = last->current == &last->rbf ? &item->rbf : &item->basic;
    } else {
        item->settings = *program.settings;
        item->buildSurface = 1;
        item->current = &item->basic;
    }
    return item;
}

std::unique_ptr<BatchItem> Batch_CurrentScanItem(const BatchProgram& program) {
    std::unique_ptr<BatchItem> item(new (std::nothrow) BatchItem);
    if (!item) return nullptr;
    item->raw = NewRecord();
    if (!item->raw) return nullptr;
    item->currentScan = 1;
    item->settings = *program.settings;
    item->view = *program.view;
    std::memcpy(static_cast<void*>(item->raw), program.raw, sizeof(RawData));
    item->scanPath = program.scanPath;
    item->outputPath = Batch_OutputPathFor(program.scanPath, item->settings.ExportFileType);
    item->buildSurface = 1;
    item->current = &item->basic;
    return item;
}

namespace {

size_t NameStart(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace

std::string Batch_OutputPathFor(const std::string& scanPath, int32_t exportType) {
    const size_t start = NameStart(scanPath);
    const size_t dot = scanPath.find_last_of('.');
    const std::string stem = dot == std::string::npos || dot < start ? scanPath : scanPath.substr(0, dot);
    return stem + "." + ExportFormat_Extension(exportType);
}

std::string Batch_CurrentScanLabel(const std::string& path) { return path.substr(NameStart(path)); }

std::string Batch_FileLabel(const std::string& path) {
    const std::string name = path.substr(NameStart(path));
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

int32_t Batch_ItemChoice(const BatchItem& item) {
    if (item.buildSurface == 0) return 0;
    return item.settings.CombineSweeps == kBatchKindRbf ? 2 : 1;
}

void Batch_SetItemChoice(BatchItem& item, int32_t choice) {
    item.buildSurface = choice == 0 ? 0 : 1;
    if (choice == 1) item.settings.CombineSweeps = kBatchKindBasic;
    if (choice == 2) item.settings.CombineSweeps = kBatchKindRbf;
}

int32_t Batch_FirstItemWithoutOutput(const std::vector<BatchItem*>& items) {
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i]->outputPath.empty()) return static_cast<int32_t>(i);
    return -1;
}

// ---- Blocks ----------------------------------------------------------------

void BatchBlocks::Attach(RawData& raw) {
    if (!made) {
        ScanBlocks_Init(blocks);
        made = true;
    }
    raw.PointBlock = &blocks.Points;
    raw.FacetBlock = &blocks.Facets;
    raw.FacetNormalBlock = &blocks.FacetNormals;
}

void BatchBlocks::Release() {
    if (made) ScanBlocks_Free(blocks);
    made = false;
}

// ---- Steps -----------------------------------------------------------------

namespace {

// The message of a sweep or basic-surface result code; false for the codes
// that make the step fail.
bool ReportResult(int32_t code) {
    switch (code) {
        case 1:
            ProcLog_Write(1, "User abort");
            return false;
        case 2:
            ProcLog_Write(2, "Unexpected condition while generating export surface, check the surface for holes.");
            return false;
        case 3:
            ProcLog_Write(1, "Out of memory");
            return false;
        case 4:
            ProcLog_Write(1, "No points are visible");
            return false;
        default:
            return true;
    }
}

bool LoadTvn(BatchItem& item, BatchBlocks* blocks, std::string& message) {
    char text[kScanFileErrorTextSize] = "";
    SurfaceRecord* shown = item.current;
    SurfacePair surfaces{&item.basic, &item.rbf, &shown};
    ViewSettings loadedView = item.view;
    GeneralSettings loadedSettings = item.settings;
    int32_t mode = 0;
    // The scan comes with its landmarks; the item keeps its own settings
    // (they hold the batch's export and surface choice) and takes the view.
    const bool loaded = TVNFile_Load(item.scanPath.c_str(), item.raw, nullptr, nullptr, &surfaces, nullptr,
                                     &loadedSettings, &loadedView, blocks ? &blocks->blocks : nullptr, text, &mode);
    // Surfaces stored in the file are not the batch's: it builds its own.
    Surface_Free(item.basic);
    Surface_Free(item.rbf);
    std::memset(&item.basic, 0, sizeof item.basic);
    std::memset(&item.rbf, 0, sizeof item.rbf);
    if (!loaded) {
        message = text;
        return false;
    }
    item.view = loadedView;
    return true;
}

bool LoadKrv(BatchItem& item, BatchBlocks& blocks, std::string& message) {
    KrvViewRecord record{};
    if (!ScanDoc_LoadKrv(item.scanPath, *item.raw, record, message)) return false;
    ScanDoc_ApplyKrvView(record, item.view);
    blocks.Attach(*item.raw);
    return true;
}

}  // namespace

bool Batch_LoadScan(BatchItem& item, BatchBlocks& blocks, const RawData* programScan) {
    if (item.currentScan) {
        if (programScan) std::memcpy(static_cast<void*>(item.raw), programScan, sizeof(RawData));
        return true;
    }
    ProcLog_Progress("Loading File", 0.0f, nullptr);
    std::string message;
    bool loaded = false;
    if (!blocks.made) {
        ScanBlocks_Init(blocks.blocks);
        blocks.made = true;
    }
    if (Str_Contains(item.scanPath.c_str(), ".tvn"))
        loaded = LoadTvn(item, &blocks, message);
    else if (Str_Contains(item.scanPath.c_str(), ".krv"))
        loaded = LoadKrv(item, blocks, message);
    else
        message = "Unknown file type: " + item.scanPath;
    if (!loaded) {
        ProcLog_Write(1, "%s", message.c_str());
        FreeLoadedScan(*item.raw);
    }
    return loaded;
}

namespace {

bool PrepareSweeps(BatchItem& item, BatchBlocks& blocks) {
    if (!item.currentScan) blocks.Attach(*item.raw);
    int32_t code = 3;
    try {
        code =
            Scan_ProcessNewProfiles(*item.raw, item.settings.ProfileFilterLength, item.settings.RawResolutionClip[1]);
    } catch (const std::bad_alloc&) {
        code = 3;
    }
    return ReportResult(code);
}

// The basic builder names its stages by their text keys.
int BasicStageProgress(const char* stage, float fraction, void* user) {
    return ProcLog_Progress(stage ? Locale_GetString(stage) : "", fraction, user);
}

bool BuildBasic(BatchItem& item, BatchBlocks& blocks) {
    const GeneralSettings& g = item.settings;
    const BasicSurfParams& b = g.BasicParams;
    char limit[32] = "off";
    if (b.DoObjectLimit) std::snprintf(limit, sizeof limit, "%d", b.ObjectLimit);
    ProcLog_Write(3, "Basic Export");
    ProcLog_Write(5, "Export filter: %.2fmm, Resolution: %.2fmm, Limit objects: %s, Simplify: %s",
                  static_cast<double>(b.FilterRadius), static_cast<double>(b.ExportResolutionClip), limit,
                  b.SimplifyFacets ? "on" : "off");
    if (!item.currentScan) blocks.Attach(*item.raw);
    item.current = &item.basic;
    const int32_t code = BasicSurf_Build(g, *item.raw, g.ProfileFilterLength, item.basic, BasicStageProgress, nullptr);
    return ReportResult(code);
}

void WriteRbfParameters(const GeneralSettings& g) {
    const BasicSurfParams& b = g.BasicParams;
    const RbfSurfParams& r = g.RbfParams;
    char limit[32] = "off";
    if (b.DoObjectLimit) std::snprintf(limit, sizeof limit, "%d", b.ObjectLimit);
    static const char* const kEdges[] = {"open", "close", "trim", "trim edges"};
    const char* edge = r.RbfTrimType >= 0 && r.RbfTrimType < 4 ? kEdges[r.RbfTrimType] : "open";
    ProcLog_Write(3, "Selvane Export");
    ProcLog_Write(5, "Input -- Smoothing: %.2fmm, Decimation: %.2fmm, Limit objects: %s",
                  static_cast<double>(b.FilterRadius), static_cast<double>(b.ExportResolutionClip), limit);
    ProcLog_Write(5, "RBF -- Accuracy: %.2fmm, Memory: %dMB, Resolution: %.2fmm", static_cast<double>(r.RbfAccuracy),
                  r.RbfMemoryToUse, static_cast<double>(r.RbfResolution));
    ProcLog_Write(5, "Edge -- Type: %s, Margin: %.2fmm", edge, static_cast<double>(r.RbfExtraTrim));
    if (!r.RbfSimplify) {
        ProcLog_Write(5, "Simplify -- off");
        return;
    }
    char criterion[64];
    if (r.RbfSimpTarget == 1)
        std::snprintf(criterion, sizeof criterion, "Number of faces: %.2f", static_cast<double>(r.RbfSimpNFaces));
    else if (r.RbfSimpTarget == 2)
        std::snprintf(criterion, sizeof criterion, "Number of points: %.2f", static_cast<double>(r.RbfSimpNPoints));
    else
        std::snprintf(criterion, sizeof criterion, "Error: %.2f", static_cast<double>(r.RbfSimpError));
    if (r.RbfSimpDoAngle)
        ProcLog_Write(5, "Simplify -- %s, Min angle: %.2f", criterion, static_cast<double>(r.RbfSimpAngle));
    else
        ProcLog_Write(5, "Simplify -- %s", criterion);
}

bool BuildRbf(BatchItem& item, BatchBlocks& blocks, ScanFitContext& context, const BatchRunHost& host) {
    context.Report.abort = Batch_AbortFlag().load() ? 1 : 0;
    if (host.publishCancel) host.publishCancel(&context.Report.abort);
    WriteRbfParameters(item.settings);
    if (!item.currentScan) blocks.Attach(*item.raw);
    item.current = &item.rbf;
    const int32_t built = RbfSurf_Build(*item.raw, item.settings, item.view, item.settings.ProfileFilterLength,
                                        item.rbf, item.basic, context, ProcLog_WriteV, ProcLog_TriangleProgress);
    if (host.publishCancel) host.publishCancel(nullptr);
    return built != 0;
}

}  // namespace

bool Batch_SaveExport(BatchItem& item) {
    ProcLog_Write(3, "Saving: %s", item.outputPath.c_str());
    const ExportFormatOptions* options = Export_FormatOptions(item.settings);
    ExportFormatOptions none{};
    if (!options) options = &none;
    const char* coordinates = options->ExportCoordinateSystem == 0   ? "tracker"
                              : options->ExportCoordinateSystem == 1 ? "screen"
                                                                     : "bounding box";
    const char* data = options->ExportDataType == 1 ? "triangles" : "points";
    static const char* const kEnds[] = {"windows", "unix", "mac"};
    const char* end = !options->ExportAsText                              ? "n/a"
                      : options->EndOfLine >= 0 && options->EndOfLine < 3 ? kEnds[options->EndOfLine]
                                                                          : "n/a";
    ProcLog_Write(5, "Coordinates: %s, Data: %s, End of line: %s", coordinates, data, end);
    std::string message;
    const int written = Export_Scan(*item.raw, item.current, item.buildSurface != 0, item.outputPath, item.settings,
                                    item.view, message);
    if (!written && !message.empty()) ProcLog_Write(1, "%s", message.c_str());
    return written != 0;
}

void Batch_FreeItemData(BatchItem& item) {
    if (item.buildSurface) {
        Surface_Free(item.basic);
        Surface_Free(item.rbf);
        std::memset(&item.basic, 0, sizeof item.basic);
        std::memset(&item.rbf, 0, sizeof item.rbf);
        item.current = &item.basic;
    }
    if (!item.currentScan) FreeLoadedScan(*item.raw);
}

bool Batch_ProcessItem(BatchItem& item, BatchBlocks& blocks, ScanFitContext& context, const RawData* programScan,
                       const BatchRunHost& host) {
    bool ok = Batch_LoadScan(item, blocks, programScan);
    if (ok) {
        if (item.buildSurface == 0)
            ok = PrepareSweeps(item, blocks);
        else if (item.settings.CombineSweeps == kBatchKindRbf)
            ok = BuildRbf(item, blocks, context, host);
        else
            ok = BuildBasic(item, blocks);
    }
    if (ok) ok = Batch_SaveExport(item);
    Batch_FreeItemData(item);
    return ok;
}

int32_t Batch_Run(const std::vector<BatchItem*>& items, const BatchEnvironment& environment, const BatchRunHost& host) {
    if (host.runningChanged) host.runningChanged(true);
    if (host.clearLog) host.clearLog();
    std::unique_ptr<ScanFitContext> own;
    ScanFitContext* context = environment.fitContext;
    if (!context) {
        own.reset(static_cast<ScanFitContext*>(::operator new(sizeof(ScanFitContext))));
        std::memset(static_cast<void*>(own.get()), 0, sizeof(ScanFitContext));
        context = own.get();
    }
    BatchBlocks blocks;
    bool allSucceeded = true;
    for (size_t i = 0; i < items.size(); ++i) {
        BatchItem& item = *items[i];
        if (host.itemStarts) host.itemStarts(static_cast<int32_t>(i));
        ProcLog_Write(-1, item.currentScan ? "%s (Current Scan)" : "%s", item.scanPath.c_str());
        if (Batch_ProcessItem(item, blocks, *context, environment.programScan, host)) {
            ProcLog_Write(3, "Complete");
            continue;
        }
        allSucceeded = false;
        if (Batch_AbortFlag().load()) break;
    }
    blocks.Release();
    // The library keeps the last fit in the context: a context of the run's
    // own gives it back here.
    if (own && RbfLib_Load() && RbfLib_Exports().FreeData) RbfLib_Exports().FreeData(own.get());
    if (host.runningChanged) host.runningChanged(false);
    if (!Batch_AbortFlag().load()) {
        if (allSucceeded) {
            if (host.successBeep) host.successBeep();
            ProcLog_Write(-1, "Batch processing completed successfully");
        } else {
            ProcLog_Write(2, "Batch processing completed with errors");
            if (host.warningBox) host.warningBox();
        }
    }
    return allSucceeded ? 1 : 0;
}
