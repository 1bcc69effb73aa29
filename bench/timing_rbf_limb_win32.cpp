// The RBF surface of the simulator's limb scan through the program's driver
// and the real Morlith.dll, under Wine:
//
//   timing_rbf_limb_win32 [LIBRARY_FOLDER]
//
// The limb scan (the built-in limb scenario through the program's field
// checks, profile building and processing) gives the basic surface, then the
// RBF surface trimmed to the data with a margin of 0. Every vertex of the RBF
// surface is measured against the limb scene's own surface: RMS and 99th
// percentile, the percentile held against the fit accuracy + 0.26 mm. Then
// simplification is switched on and built, and rebuilt with only its target
// changed: that rebuild must restart at the simplification stage. Times of
// each build are printed. Exits 0 when both checks hold.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/scan/basic_surface.h"
#include "app/scan/rbf_surface.h"
#include "bench/limb_acquisition.h"
#include "sim/scene.h"

namespace {

std::string g_folder;
RbfLibExports g_real{};
int32_t g_stageAtProcess = -1;

// The library's own Process, with the stage it starts from noted.
int MORLITH_CALL NotingProcess(ScanFitContext* c, int32_t count, const float* points, const float* normals) {
    g_stageAtProcess = c->Stage;
    return g_real.Process(c, count, points, normals);
}

template <typename T>
T Export(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

bool LoadMorlith(RbfLibExports& found) {
    if (!g_folder.empty()) SetDllDirectoryA(g_folder.c_str());
    HMODULE module = LoadLibraryA("Morlith.dll");
    if (!module) return false;
    g_real.SetFuncs = Export<Morlith_SetFuncsFunction>(module, "Morlith_SetFuncs");
    g_real.SetParams = Export<Morlith_SetParamsFunction>(module, "Morlith_SetParams");
    g_real.Process = Export<Morlith_ProcessFunction>(module, "Morlith_Process");
    g_real.FreeData = Export<Morlith_FreeDataFunction>(module, "Morlith_FreeData");
    g_real.SetInput = Export<Morlith_SetInputFunction>(module, "Morlith_SetInput");
    found = g_real;
    if (g_real.Process) found.Process = NotingProcess;
    return true;
}

int MORLITH_CALL PrintErrors(int32_t level, const char* format, va_list args) {
    if (level != 1 && level != 2) return 0;
    std::printf(level == 1 ? "  library error: " : "  library warning: ");
    std::vprintf(format, args);
    std::printf("\n");
    return 0;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Build {
    int32_t result;
    double seconds;
    int32_t stage;
};

Build RunBuild(RawData& raw, const GeneralSettings& g, const ViewSettings& view, SurfaceRecord& rbf,
               SurfaceRecord& basic, ScanFitContext& context) {
    g_stageAtProcess = -1;
    const auto start = std::chrono::steady_clock::now();
    const int32_t result = RbfSurf_Build(raw, g, view, 3, rbf, basic, context, PrintErrors, nullptr);
    return Build{result, Seconds(start), g_stageAtProcess};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) g_folder = argv[1];
    RbfLib_SetLoader(LoadMorlith);
    if (!RbfLib_Load()) {
        std::printf("Morlith.dll or one of its exports was not found\n");
        return 1;
    }
    auto device = bench::LimbDevice();
    auto scan = std::make_unique<scan_test::TestScan>(256u << 20);
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path folder = fs::temp_directory_path(error) / "timing_rbf_limb";
    fs::create_directories(folder, error);
    if (!device || !bench::AcquireScenario(*device, *scan, folder.string() + "/")) {
        std::printf("the limb scan failed\n");
        return 1;
    }
    RawData& raw = scan->raw();
    GeneralSettings g{};
    GeneralSettings_SetDefaults(g, 0x00FFFFFF, 0);
    g.RbfParams.RbfTrimType = kRbfTrimTrim;
    g.RbfParams.RbfExtraTrim = 0.0f;
    ViewSettings view{};
    ViewSettings_SetDefaults(view);
    SurfaceRecord basic{}, rbf{};
    auto context = std::make_unique<ScanFitContext>();
    std::memset(context.get(), 0, sizeof(ScanFitContext));

    auto start = std::chrono::steady_clock::now();
    const int32_t basicResult = BasicSurf_Build(g, raw, 3, basic, nullptr, nullptr);
    const double basicSeconds = Seconds(start);
    std::printf("limb scan: %d points; basic surface (result %d): %d points, %d triangles, %.2f s\n", raw.NumPoints,
                basicResult, basic.NumPoints, basic.NumFacets, basicSeconds);
    if (basicResult != 0 && basicResult != 2) return 1;

    const Build full = RunBuild(raw, g, view, rbf, basic, *context);
    std::printf(
        "RBF surface (accuracy %.2f mm, resolution %.2f mm, trimmed to the data, margin 0): result %d, "
        "%d points, %d triangles, %.2f s\n",
        g.RbfParams.RbfAccuracy, g.RbfParams.RbfResolution, full.result, rbf.NumPoints, rbf.NumFacets, full.seconds);
    if (full.result != 1 || rbf.NumPoints == 0) return 1;
    std::vector<double> distances;
    const sim::Scene& scene = device->GetScenario().scene;
    for (int32_t i = 0; i < rbf.NumPoints; ++i) {
        const Vec3& p = rbf.Points[i];
        distances.push_back(scene.SurfaceDistance({p.x, p.y, p.z}));
    }
    double sum = 0.0;
    for (double d : distances) sum += d * d;
    const double rms = std::sqrt(sum / distances.size());
    std::sort(distances.begin(), distances.end());
    const double p99 = distances[static_cast<size_t>(0.99 * (distances.size() - 1))];
    const double bound = g.RbfParams.RbfAccuracy + 0.26;
    std::printf(
        "vertex distance to the true limb: RMS %.3f mm, 99th percentile %.3f mm (bound %.2f mm), "
        "largest %.3f mm\n",
        rms, p99, bound, distances.back());

    g.RbfParams.RbfSimplify = 1;
    g.RbfParams.RbfSimpTarget = 0;
    g.RbfParams.RbfSimpError = 0.2f;
    const Build simplified = RunBuild(raw, g, view, rbf, basic, *context);
    std::printf("simplification on (error 0.2 mm): result %d, %d triangles, %.2f s, started at stage %d\n",
                simplified.result, rbf.NumFacets, simplified.seconds, simplified.stage);
    g.RbfParams.RbfSimpError = 0.4f;
    const Build retarget = RunBuild(raw, g, view, rbf, basic, *context);
    std::printf(
        "only the target changed (error 0.4 mm): result %d, %d triangles, %.2f s, started at stage %d "
        "(2 = simplification only)\n",
        retarget.result, rbf.NumFacets, retarget.seconds, retarget.stage);
    g.RbfParams.RbfSimpTarget = 1;
    g.RbfParams.RbfSimpNFaces = 5000;
    const Build faces = RunBuild(raw, g, view, rbf, basic, *context);
    std::printf("target 5000 triangles: result %d, %d triangles, %.2f s, started at stage %d\n", faces.result,
                rbf.NumFacets, faces.seconds, faces.stage);

    const bool accurate = p99 < bound;
    const bool onlySimplified = retarget.result == 1 && retarget.stage == 2 && faces.result == 1 && faces.stage == 2;
    std::printf("accuracy %s; rebuild %s\n", accurate ? "held" : "NOT held",
                onlySimplified ? "repeated only simplification" : "repeated MORE than simplification");
    Surface_Free(basic);
    Surface_Free(rbf);
    if (RbfLib_Load()) RbfLib_Exports().FreeData(context.get());
    return accurate && onlySimplified ? 0 : 1;
}
