// The basic surface build against Open3D's ball pivoting on the same points
// and normals: the simulator's limb scan (fields, profiles, processing) and a
// one-million-point sphere scan. Each run prints, side by side, the time
// ratio, the triangles, the RMS and 99th-percentile distance of the mesh's
// vertices to the true surface, and the share of scan points within
// 2 x ExportResolutionClip of the mesh. Open3D runs in /usr/bin/python3
// (Debian's python3-open3d) and times its own call.
//
// BM_Peak4M builds a four-million-point scan once and reports the build's
// peak (the arena's high-water mark plus the surface's arrays at their
// largest) in MiB and in bytes per scan point.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/scan/basic_surface.h"
#include "app/scan/kd_tree.h"
#include "app/scan/mesh_normals.h"
#include "app/scan/profile_processing.h"
#include "app/scan/tests/scan_record_fixture.h"
#include "bench/bench_support.h"
#include "bench/limb_acquisition.h"
#include "sim/device_core.h"

namespace {

namespace fs = std::filesystem;

std::string Folder() {
    static const std::string folder = [] {
        const fs::path p = fs::temp_directory_path() / ("bench_basic_surface_" + std::to_string(std::rand()));
        fs::create_directories(p);
        return p.string() + "/";
    }();
    return folder;
}

GeneralSettings Settings() {
    GeneralSettings g{};
    g.BasicReduceEnabled = 1;
    g.ProfileThreshold = 100.0f;
    g.BasicParams = BasicSurfParams{1, 2.0f, 2.5f, 0, 0.1f, 1, 1};
    g.Stylus.SurfaceDistance = 5.0f;
    return g;
}

// A scan and the distance of a point from its true surface.
struct BenchScan {
    std::unique_ptr<scan_test::TestScan> scan;
    std::function<double(const Vec3&)> truth;
    RawData& raw() { return scan->raw(); }
};

// The simulator's built-in limb scenario through the program's field checks,
// profile building and processing.
std::unique_ptr<BenchScan> LimbScan() {
    auto out = std::make_unique<BenchScan>();
    out->scan = std::make_unique<scan_test::TestScan>(256u << 20);
    const std::shared_ptr<sim::DeviceCore> device = bench::LimbDevice();
    if (!device || !bench::AcquireScenario(*device, *out->scan, Folder())) return nullptr;
    out->truth = [device](const Vec3& p) { return device->GetScenario().scene.SurfaceDistance({p.x, p.y, p.z}); };
    return out;
}

// n points spread evenly over a sphere of radius 150 mm with 0.02 mm of noise
// along the normal, as one sweep.
std::unique_ptr<BenchScan> SphereScan(int n) {
    const float radius = 150.0f;
    auto out = std::make_unique<BenchScan>();
    out->scan = std::make_unique<scan_test::TestScan>(static_cast<std::size_t>(n) * 48 + (16u << 20));
    RawData& r = out->raw();
    r.NumProfiles = 1;  // nothing for the profile processing to do
    r.Points = static_cast<ScanPoint*>(BigBuffer_Alloc(*r.PointBlock, sizeof(ScanPoint) * n));
    std::mt19937 rng(5);
    std::normal_distribution<float> noise(0.0f, 0.02f);
    const double golden = 3.14159265358979 * (3.0 - std::sqrt(5.0));
    const float spacing = radius * std::sqrt(4.0f * 3.14159265f / n);
    for (int k = 0; k < n; ++k) {
        const double z = 1.0 - 2.0 * (k + 0.5) / n, rr = std::sqrt(1.0 - z * z);
        const Vec3 u{static_cast<float>(rr * std::cos(golden * k)), static_cast<float>(rr * std::sin(golden * k)),
                     static_cast<float>(z)};
        ScanPoint& p = r.Points[k];
        std::memset(&p, 0, sizeof p);
        const float at = radius + noise(rng);
        p.Vertex = Vec3{at * u.x, at * u.y, at * u.z};
        p.Normal = u;
        p.Variance = 1.0f;
        p.ResolutionSq = spacing * spacing;
        p.Grey = 128;
    }
    r.NumPoints = r.MaxPoints = n;
    RawData_GrowSweeps(r);
    r.SweepFirstPoint[1] = n;
    r.NumSweeps = r.TotalSweeps = 1;
    out->truth = [radius](const Vec3& p) { return std::fabs(V3_Length(p) - radius); };
    return out;
}

// The quality of a mesh over given vertices: distances of its vertices to the
// true surface and the share of scan points near it.
struct Quality {
    double rms = 0, p99 = 0, coverage = 0;
    int32_t triangles = 0;
};

Quality Measure(BenchScan& scan, const Vec3* points, const int32_t* facets, int32_t facetCount) {
    Quality q;
    q.triangles = facetCount;
    int32_t maxIndex = 0;
    for (int32_t k = 0; k < 3 * facetCount; ++k) maxIndex = std::max(maxIndex, facets[k]);
    std::vector<uint8_t> used(maxIndex + 1, 0);
    for (int32_t k = 0; k < 3 * facetCount; ++k) used[facets[k]] = 1;
    std::vector<double> d;
    for (int32_t i = 0; i <= maxIndex && facetCount > 0; ++i)
        if (used[i]) d.push_back(scan.truth(points[i]));
    if (d.empty()) return q;
    double sq = 0;
    for (double x : d) sq += x * x;
    q.rms = std::sqrt(sq / d.size());
    std::sort(d.begin(), d.end());
    q.p99 = d[static_cast<std::size_t>(0.99 * (d.size() - 1))];

    std::vector<Vec3> centroids(facetCount), normals(facetCount);
    float reach = 0.0f;
    for (int32_t f = 0; f < facetCount; ++f) {
        const int32_t* v = facets + 3 * f;
        Vec3 c{0, 0, 0};
        for (int k = 0; k < 3; ++k) V3_Add(c, points[v[k]], c);
        V3_Scale(1.0f / 3.0f, c, c);
        centroids[f] = c;
        for (int k = 0; k < 3; ++k) reach = std::max(reach, V3_Distance(c, points[v[k]]));
    }
    Mesh_FacetNormals(maxIndex + 1, points, facetCount, facets, 0, nullptr, normals.data(), nullptr, nullptr, nullptr);
    KdTree* tree = nullptr;
    KdTree_Build(centroids.data(), facetCount, &tree);
    const float bound = 2.0f * Settings().BasicParams.ExportResolutionClip;
    const RawData& raw = scan.raw();
    int32_t near = 0, measured = 0;
    for (int32_t i = 0; i < raw.NumPoints; i += 13, ++measured) {
        const Vec3& p = raw.Points[i].Vertex;
        const int32_t n = KdTree_RadiusQuery(tree, p, bound + reach);
        const std::vector<int32_t> found(tree->Results, tree->Results + n);
        bool hit = false;
        for (int32_t f : found) {
            const int32_t* v = facets + 3 * f;
            Vec3 out;
            float dSq;
            // A facet of no area has no normal to measure against.
            if (V3_LengthSquared(normals[f]) > 0.5f &&
                Tri_ClosestPoint(p, points[v[0]], points[v[1]], points[v[2]], normals[f], out, 0, 0, 0.0f,
                                 bound * bound, dSq)) {
                hit = true;
                break;
            }
        }
        near += hit;
    }
    KdTree_Free(&tree);
    q.coverage = measured ? static_cast<double>(near) / measured : 0.0;
    return q;
}

const char kScript[] = R"(import sys, time
import numpy as np
import open3d as o3d
folder = sys.argv[1]
data = np.fromfile(folder + "points.f32", dtype=np.float32).reshape(-1, 6).astype(np.float64)
cloud = o3d.geometry.PointCloud()
cloud.points = o3d.utility.Vector3dVector(data[:, :3])
cloud.normals = o3d.utility.Vector3dVector(data[:, 3:])
spacing = float(np.mean(cloud.compute_nearest_neighbor_distance()))
radii = o3d.utility.DoubleVector([1.5 * spacing, 3.0 * spacing, 6.0 * spacing])
t = time.perf_counter()
mesh = o3d.geometry.TriangleMesh.create_from_point_cloud_ball_pivoting(cloud, radii)
seconds = time.perf_counter() - t
np.asarray(mesh.triangles, dtype=np.int32).tofile(folder + "triangles.i32")
print(seconds)
)";

// Open3D's ball pivoting over the scan's points that have normals: its
// seconds (negative when Open3D is not at hand); the points it was given and
// its triangles over them.
double BallPivoting(const RawData& raw, std::vector<Vec3>& points, std::vector<int32_t>& triangles) {
    points.clear();
    {
        std::ofstream out(Folder() + "points.f32", std::ios::binary);
        for (int32_t i = 0; i < raw.NumPoints; ++i) {
            if (V3_LengthSquared(raw.Points[i].Normal) == 0.0f) continue;
            points.push_back(raw.Points[i].Vertex);
            out.write(reinterpret_cast<const char*>(&raw.Points[i].Vertex), 12);
            out.write(reinterpret_cast<const char*>(&raw.Points[i].Normal), 12);
        }
    }
    const std::string script = Folder() + "bpa.py";
    std::ofstream(script) << kScript;
    const std::string command = "/usr/bin/python3 " + script + " " + Folder() + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1.0;
    double seconds = -1.0;
    if (std::fscanf(pipe, "%lf", &seconds) != 1) seconds = -1.0;
    pclose(pipe);
    std::ifstream in(Folder() + "triangles.i32", std::ios::binary | std::ios::ate);
    const std::streamsize size = in ? static_cast<std::streamsize>(in.tellg()) : 0;
    triangles.resize(size / sizeof(int32_t));
    in.seekg(0);
    if (size > 0) in.read(reinterpret_cast<char*>(triangles.data()), size);
    return seconds;
}

void Compare(benchmark::State& state, const char* name, BenchScan* scan) {
    if (!scan) {
        state.SkipWithError("the scan could not be made");
        return;
    }
    const GeneralSettings g = Settings();
    SurfaceRecord s{};
    double seconds = 0;
    for (auto _ : state) {
        Surface_Free(s);
        const auto start = std::chrono::steady_clock::now();
        const int32_t result = BasicSurf_Build(g, scan->raw(), 3, s, nullptr, nullptr);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (result != kBasicSurfDone) state.SkipWithError("the build failed");
    }
    const Quality ours = Measure(*scan, s.Points, s.Facets, s.NumFacets);
    state.counters["points"] = scan->raw().NumPoints;
    state.counters["tri"] = ours.triangles;
    state.counters["rms_mm"] = ours.rms;
    state.counters["p99_mm"] = ours.p99;
    state.counters["coverage"] = ours.coverage;
    Surface_Free(s);

    std::vector<Vec3> points;
    std::vector<int32_t> triangles;
    const double bpaSeconds = BallPivoting(scan->raw(), points, triangles);
    if (bpaSeconds < 0) {
        std::printf("Open3D (python3-open3d) is not available: no comparison\n");
        return;
    }
    const Quality theirs = Measure(*scan, points.data(), triangles.data(), static_cast<int32_t>(triangles.size() / 3));
    state.counters["bpa_tri"] = theirs.triangles;
    state.counters["bpa_rms_mm"] = theirs.rms;
    state.counters["bpa_p99_mm"] = theirs.p99;
    state.counters["bpa_coverage"] = theirs.coverage;
    state.counters["time_ratio"] = seconds / bpaSeconds;
    std::printf(
        "%-10s basic: %.2f s, %d triangles, rms %.4f mm, p99 %.4f mm, coverage %.4f | ball pivoting: %.2f s, %d "
        "triangles, rms %.4f mm, p99 %.4f mm, coverage %.4f | time ratio %.3f\n",
        name, seconds, ours.triangles, ours.rms, ours.p99, ours.coverage, bpaSeconds, theirs.triangles, theirs.rms,
        theirs.p99, theirs.coverage, seconds / bpaSeconds);
}

void BM_BasicSurfaceLimb(benchmark::State& state) {
    static std::unique_ptr<BenchScan> scan = LimbScan();
    Compare(state, "limb", scan.get());
}

void BM_BasicSurfaceSphere1M(benchmark::State& state) {
    static std::unique_ptr<BenchScan> scan = SphereScan(1000000);
    Compare(state, "sphere 1M", scan.get());
}

// The build's peak for a four-million-point scan: the arena's high-water mark
// plus the surface's arrays at their largest (33 bytes a point while the
// smoothing writes one output per input point, then the facet arrays).
void BM_Peak4M(benchmark::State& state) {
    std::unique_ptr<BenchScan> scan = SphereScan(4000000);
    const GeneralSettings g = Settings();
    SurfaceRecord s{};
    for (auto _ : state) {
        Surface_Free(s);
        if (BasicSurf_Build(g, scan->raw(), 3, s, nullptr, nullptr) != kBasicSurfDone)
            state.SkipWithError("the build failed");
    }
    const double n = scan->raw().NumPoints;
    const double arena = static_cast<double>(BasicSurf_LastArenaHighWater());
    const double surface = 33.0 * n + 24.0 * s.MaxFacets;
    const double mib = 1024.0 * 1024.0;
    state.counters["arena_MiB"] = arena / mib;
    state.counters["surface_MiB"] = surface / mib;
    state.counters["peak_MiB"] = (arena + surface) / mib;
    state.counters["bytes_per_point"] = (arena + surface) / n;
    std::printf(
        "4M-point build: arena high-water %.0f MiB, surface arrays %.0f MiB, peak %.0f MiB, %.1f bytes a "
        "point (room beside the scan's reserved blocks: about 1.5 GiB)\n",
        arena / mib, surface / mib, (arena + surface) / mib, (arena + surface) / n);
    Surface_Free(s);
}

BENCHMARK(BM_BasicSurfaceLimb)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BasicSurfaceSphere1M)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Peak4M)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::filesystem::remove_all(Folder());
    return 0;
}
