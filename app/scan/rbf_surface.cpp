// The RBF build itself: the library run with its progress thread, the input
// points and the copy of the result.
#include "app/scan/rbf_surface.h"

#include "app/scan/basic_surface.h"
#include "app/scan/mesh_normals.h"
#include "app/scan/out_of_memory.h"
#include "app/scan/raw_data.h"
#include "app/scan/stylus_placement.h"
#include "app/scan/surf_greyscale.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

#if defined(_WIN32)
#include <malloc.h>
#endif

namespace {

// The progress state, shared with the progress thread: one build at a time.
std::atomic<ScanFitContext*> g_context{nullptr};
std::atomic<RbfProgressFn> g_progress{nullptr};
std::atomic<bool> g_threadAllowed{true};
std::atomic<int32_t> g_threadsRunning{0};

// The finish event: auto-reset, unsignalled at start.
struct FinishEvent {
    std::mutex lock;
    std::condition_variable changed;
    bool signalled = false;

    void Signal() {
        std::lock_guard<std::mutex> guard(lock);
        signalled = true;
        changed.notify_all();
    }
    // True when signalled within the time (and resets it), false on time-out.
    bool Wait(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> guard(lock);
        if (!changed.wait_for(guard, timeout, [this] { return signalled; })) return false;
        signalled = false;
        return true;
    }
};

FinishEvent g_finish;

void ResetProgress(ScanFitContext* context, RbfProgressFn onProgress) {
    g_context.store(context);
    g_progress.store(onProgress);
}

void ClearProgress() { ResetProgress(nullptr, nullptr); }

// The basic builder's and the greyscale transfer's progress: relayed without
// a count; a set abort flag stops them.
int PointsProgress(const char*, float fraction, void*) {
    if (RbfProgressFn fn = g_progress.load()) fn(fraction, -1);
    ScanFitContext* context = g_context.load();
    return context == nullptr || __atomic_load_n(&context->Report.abort, __ATOMIC_RELAXED) == 0 ? 1 : 0;
}

void ProgressLoop() {
    do {
        ScanFitContext* context = g_context.load();
        if (context) {
            // The library writes these words from its own thread while it
            // runs: whole-value reads, as its side writes them.
            double progress = 0.0;
            __atomic_load(&context->Report.progress, &progress, __ATOMIC_RELAXED);
            const int32_t* live = __atomic_load_n(&context->LiveTriangleCount, __ATOMIC_RELAXED);
            const int32_t count = live ? __atomic_load_n(live, __ATOMIC_RELAXED) : -1;
            if (RbfProgressFn fn = g_progress.load()) fn(progress, count);
        }
    } while (!g_finish.Wait(std::chrono::milliseconds(100)));
    --g_threadsRunning;
}

// The progress thread, stopped on every way out of the library run.
class ProgressThread {
  public:
    explicit ProgressThread(HostMessageFunction onMessage) {
        bool started = false;
        if (g_threadAllowed.load()) {
            try {
                ++g_threadsRunning;
                thread_ = std::thread(ProgressLoop);
                started = true;
            } catch (const std::system_error&) {
                --g_threadsRunning;
            }
        }
        if (!started) RbfSurf_Report(2, onMessage, "Thread creation failed, no progress updates");
    }
    ~ProgressThread() { Stop(); }
    void Stop() {
        if (!thread_.joinable()) return;
        g_finish.Signal();
        thread_.join();
    }

  private:
    std::thread thread_;
};

// Empties the mesh but keeps what it was built with.
void FreeMeshKeepSnapshot(SurfaceRecord& s) {
    const BasicSurfParams basic = s.BasicParams;
    const RbfSurfParams rbf = s.RbfParams;
    const int32_t inverted = s.Inverted;
    const double changed = s.ChangeTime;
    Surface_Free(s);
    s.BasicParams = basic;
    s.RbfParams = rbf;
    s.Inverted = inverted;
    s.ChangeTime = changed;
}

// 0 to go on; else the failure's message has been given.
int32_t BuildBasicIfEmpty(RawData& raw, const GeneralSettings& settings, int32_t processMode, SurfaceRecord& basic,
                          ScanFitContext& context, HostMessageFunction onMessage, RbfProgressFn onProgress) {
    if (basic.NumPoints > 0) return 0;
    Surface_Free(basic);
    ResetProgress(&context, onProgress);
    RbfSurf_Report(3, onMessage, "Processing points");
    const int32_t result = BasicSurf_Build(settings, raw, processMode, basic, PointsProgress, nullptr);
    ClearProgress();
    static const char* const kFailures[] = {nullptr, "Processing aborted", "Bad facets",
                                            "Memory allocation failed (r001)", "No points are visible"};
    if (result >= 1 && result <= 4) {
        RbfSurf_Report(1, onMessage, kFailures[result]);
        return result;
    }
    RbfSurf_Report(3, onMessage, "Finished processing points");
    return 0;
}

int32_t RunLibrary(RawData& raw, const GeneralSettings& settings, SurfaceRecord& basic, ScanFitContext& context,
                   HostMessageFunction onMessage, RbfProgressFn onProgress) {
    const RbfLibExports& lib = RbfLib_Exports();
    ResetProgress(&context, onProgress);
    ProgressThread thread(onMessage);
    int32_t added = 0;
    if (settings.RbfParams.RbfUseStylusPoints != 0) {
        if (!RbfSurf_StylusInput(raw.Stylus, basic, added)) {
            RbfSurf_Report(1, onMessage, "Memory allocation failed (r003)");
            return 0;
        }
        RbfSurf_Report(3, onMessage, "Processing %d stylus points as extra input.", added);
    }
    const int32_t ok = lib.Process(&context, basic.NumPoints + added, &basic.Points[0].x,
                                   basic.PointNormals ? &basic.PointNormals[0].x : nullptr);
    thread.Stop();
    return ok;
}

// The greyscale of the basic surface onto the RBF surface. The mesh is
// finished by then: a failure or a Cancel only leaves its greyscale out, is
// reported, and the surface is kept.
void TransferGreyscale(SurfaceRecord& rbf, const SurfaceRecord& basic, ScanFitContext& context,
                       HostMessageFunction onMessage, RbfProgressFn onProgress) {
    ResetProgress(&context, onProgress);
    RbfSurf_Report(3, onMessage, "Transfering greyscale information");
    const float radius = static_cast<float>(basic.BasicParams.ExportResolutionClip * 1.2);
    const SurfProgress progress{PointsProgress, nullptr, "Transfering greyscale information"};
    int32_t result = 0;
    try {
        result = Surf_TransferGreyscale(rbf, basic, radius, progress);
    } catch (const SurfAbortError&) {
        result = 1;
    } catch (const std::bad_alloc&) {
        result = 1;
    }
    ClearProgress();
    if (result != 0) RbfSurf_Report(1, onMessage, "Error copying greyscale information.");
}

void ReturnFreeHeap() {
#if defined(_WIN32)
    _heapmin();
#endif
}

}  // namespace

void RbfSurf_SetProgressThreadAllowed(bool allowed) { g_threadAllowed.store(allowed); }
int32_t RbfSurf_ProgressThreadsRunning() { return g_threadsRunning.load(); }

int32_t RbfSurf_StylusInput(const StylusItemList& stylus, SurfaceRecord& basic, int32_t& addedOut) {
    addedOut = 0;
    const int32_t inForce = stylus.Items ? stylus.VisibleCount : 0;
    const int32_t size = basic.NumPoints + inForce;
    // The basic surface's capacity stays as it is: its other per-point arrays
    // were not grown.
    const size_t bytes = static_cast<size_t>(size > 0 ? size : 1) * sizeof(Vec3);
    if (size > basic.MaxPoints) {
        Vec3* points = static_cast<Vec3*>(std::realloc(basic.Points, bytes));
        if (!points) return 0;
        basic.Points = points;
        Vec3* normals = static_cast<Vec3*>(std::realloc(basic.PointNormals, bytes));
        if (!normals) return 0;
        basic.PointNormals = normals;
    }
    int32_t n = basic.NumPoints;
    for (int32_t i = 0; i < inForce; ++i) {
        const StylusItem& item = stylus.Items[i];
        if (item.Flags & (kStylusHidden | kStylusLineHead)) continue;
        // The placement chosen by the basic surface's cast inversion: on the
        // scan for a surface as built, on the surface or in the inverted
        // frame for an inverted one.
        const bool inverted = basic.Inverted != 0;
        StylusItem_GetPosition(item, true, inverted, inverted, basic.Points[n]);
        basic.PointNormals[n] = Vec3{0.0f, 0.0f, 0.0f};
        ++n;
    }
    addedOut = n - basic.NumPoints;
    return 1;
}

int32_t RbfSurf_TakeResult(const ScanFitContext& context, SurfaceRecord& rbf) {
    const Mesh3* mesh = context.OutputMesh;
    const int32_t points = mesh ? mesh->Points.Count : 0;
    const int32_t facets = mesh ? mesh->Faces.TriCount : 0;
    const int32_t quads = mesh ? mesh->Faces.QuadCount : 0;
    auto take = [](int32_t count, size_t each, bool& failed) -> void* {
        if (count <= 0) return nullptr;
        void* p = std::malloc(static_cast<size_t>(count) * each);
        if (!p) failed = true;
        return p;
    };
    bool failed = false;
    rbf.NumPoints = rbf.MaxPoints = points;
    rbf.Points = static_cast<Vec3*>(take(points, sizeof(Vec3), failed));
    rbf.PointNormals = static_cast<Vec3*>(take(points, sizeof(Vec3), failed));
    rbf.Weights = nullptr;
    rbf.Resolutions = nullptr;
    rbf.Greyscale = static_cast<uint8_t*>(take(points, 1, failed));
    rbf.NumFacets = rbf.MaxFacets = facets;
    rbf.Facets = static_cast<int32_t*>(take(facets, 3 * sizeof(int32_t), failed));
    rbf.FacetNormals = static_cast<Vec3*>(take(facets, sizeof(Vec3), failed));
    rbf.NumQuads = rbf.MaxQuads = quads;
    rbf.Quads = static_cast<int32_t*>(take(quads, 4 * sizeof(int32_t), failed));
    rbf.QuadNormals = static_cast<Vec3*>(take(quads, sizeof(Vec3), failed));
    if (failed) {
        FreeMeshKeepSnapshot(rbf);
        return 0;
    }
    for (int32_t i = 0; i < points; ++i) {
        const double* p = mesh->Points.Location + 3 * i;
        rbf.Points[i] = Vec3{static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])};
        rbf.Greyscale[i] = 255;
    }
    for (int32_t i = 0; i < 3 * facets; ++i) rbf.Facets[i] = mesh->Faces.Tri[i];
    for (int32_t i = 0; i < 4 * quads; ++i) rbf.Quads[i] = mesh->Faces.Quad[i];
    return 1;
}

void RbfSurf_FacetNormals(SurfaceRecord& s) {
    Mesh_FacetNormals(s.NumPoints, s.Points, s.NumFacets, s.Facets, s.NumQuads, s.Quads, s.FacetNormals, s.QuadNormals,
                      &s.Area, s.PointNormals);
}

int32_t RbfSurf_Build(RawData& raw, const GeneralSettings& settings, const ViewSettings& view, int32_t processMode,
                      SurfaceRecord& rbf, SurfaceRecord& basic, ScanFitContext& context, HostMessageFunction onMessage,
                      RbfProgressFn onProgress) {
    if (!RbfLib_Load()) {
        RbfSurf_Report(1, onMessage, "Loading Morlith.dll failed.");
        return 0;
    }
    const RbfLibExports& lib = RbfLib_Exports();
    lib.SetFuncs(&context, onMessage);
    const int32_t refit = RbfSurf_RefitNeeded(settings, rbf, basic);
    // A failure before the RBF surface is emptied leaves it as it was.
    if (BuildBasicIfEmpty(raw, settings, processMode, basic, context, onMessage, onProgress) != 0) return 0;

    Surface_Free(rbf);
    rbf.Inverted = basic.Inverted;
    rbf.BasicParams = basic.BasicParams;
    rbf.RbfParams = settings.RbfParams;
    rbf.RbfParams.CoordinateSystem = view.CoordinateSystem;
    Surface_MarkChanged(rbf);
    rbf.RbfParams.RbfMemoryToUse = RbfSurf_MemoryLimitMb(settings, onMessage);

    ScanFitParams params;
    RbfSurf_MakeParams(params, settings, view, basic, rbf.RbfParams.RbfMemoryToUse);
    lib.SetParams(&context, &params, refit);

    const int32_t processed = RunLibrary(raw, settings, basic, context, onMessage, onProgress);
    ClearProgress();
    if (!processed) return 0;
    if (onProgress) onProgress(1.0, -1);
    if (!RbfSurf_TakeResult(context, rbf)) {
        RbfSurf_Report(1, onMessage, "Memory allocation failed (r002)");
        return 0;
    }
    if (rbf.NumPoints <= 0) {
        FreeMeshKeepSnapshot(rbf);
        RbfSurf_Report(1, onMessage, "The resulting mesh was empty.");
        return 0;
    }
    RbfSurf_FacetNormals(rbf);
    TransferGreyscale(rbf, basic, context, onMessage, onProgress);
    Surface_MarkChanged(rbf);
    ReturnFreeHeap();
    return 1;
}
