// Times one build of the scan pipeline through Morlith's exports, as the main
// program runs it, on a scan read from a file, and writes the result mesh
// for bench/scan_pipeline_vs_poisson.py to measure. Under Wine it is the
// library's own Windows code; natively the same code, for comparison.
//
//   timing_scan_pipeline IN OUT [name=value ...]
//
// IN: int32 n, then n float triples of points and n of normals.
// OUT: int32 points, int32 triangles, the points (double triples), the
// triangles (int32 triples).
// name=value sets a parameter: InputResolution, Accuracy, Resolution,
// MemoryToUse, ExtraTrim, Close, DoSimplify, SimpError, SimpNFaces.
// Prints the parameters, then "result", "seconds", "points", "triangles",
// "peak_mb" lines.
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "surface/pipeline/morlith_api.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/resource.h>
#endif

namespace {

// The largest memory the process held, in MiB.
double PeakMegabytes() {
#if defined(_WIN32)
    // PROCESS_MEMORY_COUNTERS, looked up in kernel32 so that nothing more is linked.
    struct Counters {
        DWORD cb, PageFaultCount;
        SIZE_T PeakWorkingSetSize, WorkingSetSize, QuotaPeakPagedPoolUsage, QuotaPagedPoolUsage,
            QuotaPeakNonPagedPoolUsage, QuotaNonPagedPoolUsage, PagefileUsage, PeakPagefileUsage;
    } counters{};
    counters.cb = sizeof counters;
    using Query = BOOL(WINAPI*)(HANDLE, Counters*, DWORD);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "K32GetProcessMemoryInfo")));
    if (query == nullptr || !query(GetCurrentProcess(), &counters, sizeof counters)) return -1.0;
    const SIZE_T peak = counters.PeakPagefileUsage > counters.PeakWorkingSetSize ? counters.PeakPagefileUsage
                                                                                 : counters.PeakWorkingSetSize;
    return peak / 1048576.0;
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
#endif
}

int Quiet(int32_t level, const char* format, va_list args) {
    if (level > 2) return 0;
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    return 0;
}

bool Set(ScanFitParams* p, const std::string& name, const char* value) {
    struct Float {
        const char* name;
        float ScanFitParams::*field;
    };
    struct Int {
        const char* name;
        int32_t ScanFitParams::*field;
    };
    for (const Float& f :
         {Float{"InputResolution", &ScanFitParams::InputResolution}, Float{"Accuracy", &ScanFitParams::Accuracy},
          Float{"Resolution", &ScanFitParams::Resolution}, Float{"ExtraTrim", &ScanFitParams::ExtraTrim},
          Float{"SimpError", &ScanFitParams::SimpError}})
        if (name == f.name) {
            p->*f.field = static_cast<float>(std::atof(value));
            return true;
        }
    for (const Int& f : {Int{"MemoryToUse", &ScanFitParams::MemoryToUse}, Int{"Close", &ScanFitParams::Close},
                         Int{"DoSimplify", &ScanFitParams::DoSimplify}, Int{"SimpNFaces", &ScanFitParams::SimpNFaces}})
        if (name == f.name) {
            p->*f.field = std::atoi(value);
            return true;
        }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s IN OUT [name=value ...]\n", argv[0]);
        return 2;
    }
    std::FILE* in = std::fopen(argv[1], "rb");
    int32_t n = 0;
    if (in == nullptr || std::fread(&n, 4, 1, in) != 1 || n < 0) return std::fprintf(stderr, "bad input\n"), 2;
    std::vector<float> points(3 * static_cast<size_t>(n)), normals(3 * static_cast<size_t>(n));
    if (std::fread(points.data(), 4, points.size(), in) != points.size() ||
        std::fread(normals.data(), 4, normals.size(), in) != normals.size())
        return std::fprintf(stderr, "short input\n"), 2;
    std::fclose(in);

    ScanFitParams p{};
    for (int k = 0; k < 4; ++k) p.ViewMatrix[5 * k] = 1.0f;
    p.InputResolution = 1.0f;
    p.Accuracy = 0.1f;
    p.Resolution = 1.0f;
    p.MemoryToUse = 256;
    p.Close = 1;
    p.SimpError = 1e10f;
    for (int i = 3; i < argc; ++i) {
        const char* eq = std::strchr(argv[i], '=');
        if (eq == nullptr || !Set(&p, std::string(argv[i], static_cast<size_t>(eq - argv[i])), eq + 1))
            return std::fprintf(stderr, "unknown parameter %s\n", argv[i]), 2;
    }
    std::printf(
        "points_in %d\nInputResolution %g\nAccuracy %g\nResolution %g\nMemoryToUse %d\nExtraTrim %g\n"
        "Close %d\nDoSimplify %d\nSimpError %g\nSimpNFaces %d\npointer_bits %d\n",
        n, p.InputResolution, p.Accuracy, p.Resolution, p.MemoryToUse, p.ExtraTrim, p.Close, p.DoSimplify, p.SimpError,
        p.SimpNFaces, static_cast<int>(8 * sizeof(void*)));

    static ScanFitContext context;
    Morlith_SetFuncs(&context, &Quiet);
    Morlith_SetParams(&context, &p, 1);
    const auto start = std::chrono::steady_clock::now();
    const int result = Morlith_Process(&context, n, points.data(), normals.data());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const Mesh3* mesh = context.OutputMesh;
    const int32_t vertices = result && mesh ? mesh->Points.Count : 0;
    const int32_t triangles = result && mesh ? mesh->Faces.TriCount : 0;
    std::printf("result %d\nseconds %.3f\npoints %d\ntriangles %d\npeak_mb %.1f\n", result, seconds, vertices,
                triangles, PeakMegabytes());

    std::FILE* out = std::fopen(argv[2], "wb");
    if (out == nullptr) return 2;
    std::fwrite(&vertices, 4, 1, out);
    std::fwrite(&triangles, 4, 1, out);
    if (vertices > 0) std::fwrite(mesh->Points.Location, sizeof(double), 3 * static_cast<size_t>(vertices), out);
    if (triangles > 0) std::fwrite(mesh->Faces.Tri, 4, 3 * static_cast<size_t>(triangles), out);
    std::fclose(out);
    Morlith_FreeData(&context);
    return result ? 0 : 1;
}
