// The isosurface follower against VTK's flying edges (Debian's python3-vtk9,
// run in /usr/bin/python3) on a sphere and a torus at three resolutions: the
// same analytic field, sampled by VTK's side on a regular grid of the same
// spacing over the same box (the sampling is part of its time). Each run
// prints the time ratio (follower over flying edges) and both triangle
// counts.
//
// BM_PointEval3Single: single-point Selvane_PointEval3 calls per second on a
// fitted-size solution with a kept evaluation workspace, as the isosurface
// operation makes them.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "surface/eval/rapid_surf.h"
#include "surface/fit/eval_operations.h"
#include "surface/frame/point_list.h"
#include "surface/frame/solution.h"

namespace {

struct Shape {
    const char* name;
    double lo[3], hi[3];
    double seed[3];
};

const Shape kShapes[] = {
    {"sphere", {-1.5, -1.5, -1.5}, {1.5, 1.5, 1.5}, {1.0, 0.0, 0.0}},
    {"torus", {-1.6, -1.6, -0.6}, {1.6, 1.6, 0.6}, {1.4, 0.0, 0.0}},
};

double Field(int shape, const double* p) {
    if (shape == 0) return std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]) - 1.0;
    const double q = std::sqrt(p[0] * p[0] + p[1] * p[1]) - 1.0;
    return std::sqrt(q * q + p[2] * p[2]) - 0.4;
}

struct Count {
    int shape;
    int64_t faces;
};

int Value(const double* p, double* v, void* user) {
    *v = Field(static_cast<Count*>(user)->shape, p);
    return 0;
}
int Vertex(const double*, const double*, void*) { return 0; }
int Face(int32_t, const int32_t*, int32_t, void* user) {
    ++static_cast<Count*>(user)->faces;
    return 0;
}

const char* kScript = R"(
import sys, time
import numpy as np
import vtk
from vtk.util import numpy_support
shape = int(sys.argv[1]); h = float(sys.argv[2])
lo = [float(v) for v in sys.argv[3:6]]; hi = [float(v) for v in sys.argv[6:9]]
start = time.perf_counter()
n = [int(round((hi[k] - lo[k]) / h)) + 1 for k in range(3)]
x, y, z = np.meshgrid(*[lo[k] + h * np.arange(n[k]) for k in range(3)], indexing='ij')
if shape == 0:
    f = np.sqrt(x * x + y * y + z * z) - 1.0
else:
    q = np.sqrt(x * x + y * y) - 1.0
    f = np.sqrt(q * q + z * z) - 0.4
image = vtk.vtkImageData()
image.SetDimensions(n)
image.SetOrigin(lo)
image.SetSpacing(h, h, h)
image.GetPointData().SetScalars(numpy_support.numpy_to_vtk(f.ravel(order='F'), deep=True))
edges = vtk.vtkFlyingEdges3D()
edges.SetInputData(image)
edges.SetValue(0, 0.0)
edges.ComputeNormalsOff()
edges.ComputeGradientsOff()
edges.Update()
seconds = time.perf_counter() - start
print(seconds, edges.GetOutput().GetNumberOfPolys())
)";

// Flying edges' seconds and triangles (seconds negative without VTK).
double FlyingEdges(int shape, double h, int64_t* triangles) {
    const std::string script = "/tmp/tolvaran_bench_flying_edges.py";
    std::ofstream(script) << kScript;
    const Shape& s = kShapes[shape];
    char command[512];
    std::snprintf(command, sizeof command, "/usr/bin/python3 %s %d %g %g %g %g %g %g %g 2>/dev/null", script.c_str(),
                  shape, h, s.lo[0], s.lo[1], s.lo[2], s.hi[0], s.hi[1], s.hi[2]);
    FILE* pipe = popen(command, "r");
    if (!pipe) return -1.0;
    double seconds = -1.0;
    long long count = 0;
    if (std::fscanf(pipe, "%lf %lld", &seconds, &count) != 2) seconds = -1.0;
    pclose(pipe);
    *triangles = count;
    return seconds;
}

void BM_FollowerVsFlyingEdges(benchmark::State& state) {
    const int shape = static_cast<int>(state.range(0));
    const double h = 0.04 / static_cast<double>(1 << state.range(1));
    const Shape& s = kShapes[shape];
    RapidSurfOptions o;
    RapidSurf_DefaultOptions(&o);
    o.Fit_to_box = 7;
    Count count{shape, 0};
    double seconds = 0.0;
    for (auto _ : state) {
        count.faces = 0;
        RapidSurfWorkspace* w = nullptr;
        const auto start = std::chrono::steady_clock::now();
        const int result = inject_all_seeds(1, s.seed, s.lo, s.hi, h, 0.0, nullptr, &Value, nullptr, &Vertex, &Face,
                                            &count, &count, &count, nullptr, nullptr, &o, &w);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        RapidSurf_Free(w);
        if (result != RAPIDSURF_SUCCESS) state.SkipWithError("the follower failed");
    }
    state.counters["tri"] = static_cast<double>(count.faces);
    int64_t theirs = 0;
    const double vtkSeconds = FlyingEdges(shape, h, &theirs);
    if (vtkSeconds < 0) {
        std::printf("VTK (python3-vtk9) is not available: no comparison\n");
        return;
    }
    state.counters["vtk_tri"] = static_cast<double>(theirs);
    state.counters["time_ratio"] = seconds / vtkSeconds;
    std::printf("%-6s h %.4f | follower %.3f s, %lld triangles | flying edges %.3f s, %lld triangles | ratio %.3f\n",
                s.name, h, seconds, static_cast<long long>(count.faces), vtkSeconds, static_cast<long long>(theirs),
                seconds / vtkSeconds);
}
BENCHMARK(BM_FollowerVsFlyingEdges)->ArgsProduct({{0, 1}, {0, 1, 2}})->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PointEval3Single(benchmark::State& state) {
    const int32_t n = static_cast<int32_t>(state.range(0));
    Solution3 s{};
    Solution3_Create(&s, n, 0);
    std::mt19937 rng(3);
    std::normal_distribution<double> g(0.0, 1.0);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int32_t i = 0; i < n; ++i) {
        double p[3] = {g(rng), g(rng), g(rng)};
        const double r = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        for (int k = 0; k < 3; ++k) s.Centres[3 * i + k] = p[k] / r;
    }
    for (int32_t i = 0; i < n + 4; ++i) s.Coeffs[i] = u(rng) / n;
    s.CoeffCount = n + 4;
    s.PolyDegree = 1;
    s.Basic = BasicFunction{0, 0.0, 0};
    s.DefaultEvalAccuracy = 1e-4;
    EvalAttributes a;
    SetGridAttrDefaults(&a);
    a.PlanManyPoints = 1;
    EvalWorkspace* w = nullptr;
    double location[3], value = 0.0;
    PointList3 one{};
    one.Location = location;
    one.Value = &value;
    one.Count = one.Capacity = 1;
    int64_t calls = 0;
    for (auto _ : state) {
        location[0] = u(rng);
        location[1] = u(rng);
        location[2] = u(rng);
        if (Selvane_PointEval3(&s, &a, &w, &one, -1, 0, nullptr) != 0) state.SkipWithError("evaluation failed");
        benchmark::DoNotOptimize(value);
        ++calls;
    }
    state.SetItemsProcessed(calls);
    EvalWorkspace_Free(&w);
    Solution3_Free(&s);
}
BENCHMARK(BM_PointEval3Single)->Arg(1000)->Arg(10000);

}  // namespace

BENCHMARK_MAIN();
