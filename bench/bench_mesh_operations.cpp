// Mesh operations on large meshes.
//
// BM_TrimMeshBoundary: the boundary trim (trim mode 3 of a surface build) of
// a 10^6-point height-field mesh, open all round, against 10^5 input points
// that cover a disc of it: the mesh is peeled from its rim to the disc.
//
// BM_SimplifyVsOpen3D: simplification of a 200 000-face isosurface of the
// unit sphere's distance field to 20 % of its faces, against Open3D's
// quadric decimation (Debian's python3-open3d, run in /usr/bin/python3) of
// the same mesh to the same triangle count; each run prints the time ratio
// (ours over Open3D's).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "surface/eval/isosurface.h"
#include "surface/fit/eval_operations.h"
#include "surface/fit/simplify.h"
#include "surface/fit/trim_operations.h"
#include "surface/frame/mesh3.h"
#include "surface/frame/point_list.h"
#include "surface/frame/solution.h"

namespace {

double Height(double x, double y) { return 0.1 * std::sin(3 * x) * std::cos(2 * y); }

// An n by n grid over [-1, 1]^2 lifted onto the height field.
void HeightMesh(int32_t n, Mesh3* mesh) {
    Mesh3_Create(mesh, n * n, 2 * (n - 1) * (n - 1), 0);
    for (int32_t i = 0; i < n * n; ++i) {
        const double x = -1.0 + 2.0 * (i % n) / (n - 1), y = -1.0 + 2.0 * (i / n) / (n - 1);
        double* p = mesh->Points.Location + 3 * static_cast<int64_t>(i);
        p[0] = x;
        p[1] = y;
        p[2] = Height(x, y);
    }
    int32_t* t = mesh->Faces.Tri;
    for (int32_t y = 0; y + 1 < n; ++y) {
        for (int32_t x = 0; x + 1 < n; ++x) {
            const int32_t a = y * n + x, b = a + 1, c = a + n + 1, d = a + n;
            const int32_t two[] = {a, b, c, a, c, d};
            std::memcpy(t, two, sizeof two);
            t += 6;
        }
    }
    mesh->Points.Count = n * n;
    mesh->Faces.TriCount = 2 * (n - 1) * (n - 1);
}

void BM_TrimMeshBoundary(benchmark::State& state) {
    Mesh3 source;
    HeightMesh(1000, &source);
    PointList3 trim{};
    PointList3_Create(&trim, 100000, 0, 0, 0, 0, 0);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int32_t i = 0; i < 100000;) {
        const double x = 0.7 * u(rng), y = 0.7 * u(rng);
        if (x * x + y * y > 0.49) continue;
        double* p = trim.Location + 3 * static_cast<int64_t>(i++);
        p[0] = x;
        p[1] = y;
        p[2] = Height(x, y);
    }
    trim.Count = 100000;
    int32_t kept = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Mesh3 mesh;
        Mesh3_Copy(&mesh, &source, 0);
        state.ResumeTiming();
        if (Selvane_TrimMeshBoundary3(&mesh, &trim, 0.01, nullptr) != 0) state.SkipWithError("the trim failed");
        kept = mesh.Points.Count;
        state.PauseTiming();
        Mesh3_Free(&mesh);
        state.ResumeTiming();
    }
    state.counters["kept_points"] = kept;
    Mesh3_Free(&source);
    PointList3_Free(&trim);
}
BENCHMARK(BM_TrimMeshBoundary)->Unit(benchmark::kMillisecond)->Iterations(3);

// f(x) = |x| - 1 through the library's own evaluation: a biharmonic
// centre at the origin with coefficient 1 and the constant -1. Centres with
// coefficient 0 on the sphere give the isosurface its seeds.
void SphereSolution(Solution3* s) {
    const int32_t seeds = 12;
    Solution3_Create(s, 1 + seeds, 0);
    s->CoeffCount = 1 + seeds + 4;
    s->PolyDegree = 1;
    s->Basic = BasicFunction{0, 0.0, 0};
    s->DefaultEvalAccuracy = 1e-6;
    for (int32_t i = 0; i < s->CoeffCount; ++i) s->Coeffs[i] = 0.0;
    s->Coeffs[0] = 1.0;
    s->Coeffs[1 + seeds] = -1.0;
    for (int k = 0; k < 3; ++k) s->Centres[k] = 0.0;
    const double golden = 3.14159265358979 * (3.0 - std::sqrt(5.0));
    for (int32_t i = 0; i < seeds; ++i) {
        const double z = 1.0 - 2.0 * (i + 0.5) / seeds, r = std::sqrt(1.0 - z * z);
        double* c = s->Centres + 3 * (1 + i);
        c[0] = r * std::cos(golden * i);
        c[1] = r * std::sin(golden * i);
        c[2] = z;
    }
}

// An isosurface of about `faces` triangles (the resolution scaled once from
// a first try).
void SphereMesh(const Solution3& s, int32_t faces, Mesh3* mesh) {
    const double lo[3] = {-1.5, -1.5, -1.5}, hi[3] = {1.5, 1.5, 1.5};
    double resolution = 0.05;
    for (int attempt = 0; attempt < 2; ++attempt) {
        Mesh3_Clear(mesh);
        Selvane_Isosurf3(&s, nullptr, nullptr, mesh, 0.0, resolution, lo, hi, nullptr, nullptr);
        const int32_t got = mesh->Faces.TriCount + mesh->Faces.QuadCount;
        if (attempt == 0) {
            resolution *= std::sqrt(static_cast<double>(got) / faces);
            Mesh3_Free(mesh);
        }
    }
}

const char* kDecimate = R"(
import sys, time
import numpy as np
import open3d as o3d
mesh = o3d.io.read_triangle_mesh(sys.argv[1])
target = int(sys.argv[2])
start = time.perf_counter()
out = mesh.simplify_quadric_decimation(target)
print(time.perf_counter() - start, len(out.triangles))
)";

// Open3D's seconds and triangles (seconds negative without Open3D).
double Open3DDecimation(const Mesh3& mesh, int32_t target, int64_t* triangles) {
    const std::string script = "/tmp/tolvaran_bench_decimate.py", ply = "/tmp/tolvaran_bench_decimate.ply";
    std::ofstream(script) << kDecimate;
    if (std::FILE* f = std::fopen(ply.c_str(), "w")) {
        std::fprintf(f,
                     "ply\nformat ascii 1.0\nelement vertex %d\nproperty double x\nproperty double y\n"
                     "property double z\nelement face %d\nproperty list uchar int vertex_indices\nend_header\n",
                     mesh.Points.Count, mesh.Faces.TriCount);
        for (int32_t i = 0; i < mesh.Points.Count; ++i) {
            const double* p = mesh.Points.Location + 3 * static_cast<int64_t>(i);
            std::fprintf(f, "%.17g %.17g %.17g\n", p[0], p[1], p[2]);
        }
        for (int32_t t = 0; t < mesh.Faces.TriCount; ++t) {
            const int32_t* c = mesh.Faces.Tri + 3 * static_cast<int64_t>(t);
            std::fprintf(f, "3 %d %d %d\n", c[0], c[1], c[2]);
        }
        std::fclose(f);
    }
    const std::string command =
        "/usr/bin/python3 " + script + " " + ply + " " + std::to_string(target) + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1.0;
    double seconds = -1.0;
    long long count = 0;
    if (std::fscanf(pipe, "%lf %lld", &seconds, &count) != 2) seconds = -1.0;
    pclose(pipe);
    std::remove(ply.c_str());
    *triangles = count;
    return seconds;
}

void BM_SimplifyVsOpen3D(benchmark::State& state) {
    Solution3 s{};
    SphereSolution(&s);
    Mesh3 input;
    SphereMesh(s, 200000, &input);
    const int32_t target = input.Faces.TriCount / 5;
    double seconds = 0.0;
    int32_t faces = 0;
    for (auto _ : state) {
        SimplifyLimits limits;
        SimplifyLimits_Default(&limits);
        limits.FacesLimit = target;
        Mesh3 output{};
        const auto start = std::chrono::steady_clock::now();
        const int status = Simplify3_NoColour(&input, &output, &s, nullptr, 0.0, 0.0, &limits, nullptr);
        if (status != 0) state.SkipWithError("the simplification failed");
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        faces = output.Faces.TriCount;
        Mesh3_Free(&output);
    }
    state.counters["input_tri"] = input.Faces.TriCount;
    state.counters["tri"] = faces;
    int64_t theirs = 0;
    const double open3d = Open3DDecimation(input, target, &theirs);
    if (open3d < 0) {
        std::printf("Open3D (python3-open3d) is not available: no comparison\n");
    } else {
        state.counters["open3d_tri"] = static_cast<double>(theirs);
        state.counters["time_ratio"] = seconds / open3d;
        std::printf("simplify %d -> %d triangles %.3f s | Open3D -> %lld triangles %.3f s | ratio %.3f\n",
                    input.Faces.TriCount, faces, seconds, static_cast<long long>(theirs), open3d, seconds / open3d);
    }
    Mesh3_Free(&input);
    Solution3_Free(&s);
}
BENCHMARK(BM_SimplifyVsOpen3D)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
