// Scan file save and load of a one-million-point scan against Open3D's
// binary PLY write and read of the same points with their normals, in the
// same run and on the same disk. Open3D runs in /usr/bin/python3 (Debian's
// python3-open3d); it times its own calls, so interpreter start-up is not
// counted. Prints the ratios save / PLY write and load / PLY read.
#include "bench_support.h"

#include "app/scanfile/scan_file.h"
#include "app/scanfile/scan_fit_seam.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr int kSweeps = 4;
constexpr int kProfilesPerSweep = 500;
constexpr int kPointsPerProfile = 500;  // 4 x 500 x 500 = one million points

std::string Folder() {
    static const std::string folder = [] {
        const auto path = std::filesystem::temp_directory_path() / "tolvaran-bench-scan-file";
        std::filesystem::create_directories(path);
        return path.string() + "/";
    }();
    return folder;
}

struct Scan {
    ScanBlocks blocks;
    RawData* raw = static_cast<RawData*>(std::calloc(1, sizeof(RawData)));
    SurfaceRecord basic{}, rbf{};
    SurfaceRecord* current = &basic;
    GeneralSettings settings{};
    ViewSettings view{};
    Scan() {
        ScanBlocks_Init(blocks);
        RawData_AttachBlocks(*raw, blocks);
        GeneralSettings_SetDefaults(settings, 0xFFFFFF, 0);
        ViewSettings_SetDefaults(view);
    }
    ~Scan() {
        RawData_FreeArrays(*raw);
        ScanBlocks_Free(blocks);
        std::free(raw);
        Surface_Free(basic);
        Surface_Free(rbf);
    }
    SurfacePair Pair() { return SurfacePair{&basic, &rbf, &current}; }
};

// One scan point a profile point and a zipper of facets between each pair
// of neighbouring profiles of a sweep, as processing makes them for profiles
// of equal length.
void MakePointsAndFacets(RawData& raw) {
    const int32_t points = kSweeps * kProfilesPerSweep * kPointsPerProfile;
    const int32_t facets = kSweeps * (kProfilesPerSweep - 1) * 2 * (kPointsPerProfile - 1);
    raw.Points = static_cast<ScanPoint*>(BigBuffer_Alloc(*raw.PointBlock, sizeof(ScanPoint) * points));
    raw.Facets = static_cast<Facet*>(BigBuffer_Alloc(*raw.FacetBlock, sizeof(Facet) * facets));
    raw.FacetNormals = static_cast<Vec3*>(BigBuffer_Alloc(*raw.FacetNormalBlock, sizeof(Vec3) * facets));
    raw.MaxPoints = points;
    raw.MaxFacets = facets;
    int32_t k = 0, f = 0;
    for (int32_t s = 0; s < raw.TotalSweeps; ++s) {
        raw.SweepFirstPoint[s] = k;
        raw.SweepFirstFacet[s] = f;
        for (int32_t p = raw.SweepStartingProfileNo[s]; p < raw.SweepStartingProfileNo[s + 1]; ++p) {
            const int32_t n = raw.Profiles[p].NumPoints;
            if (p > raw.SweepStartingProfileNo[s])
                for (int32_t j = 0; j + 1 < n; ++j) {
                    const int32_t a = k - n + j, b = k + j;
                    raw.Facets[f++] = Facet{{a, b, a + 1}};
                    raw.Facets[f++] = Facet{{a + 1, b, b + 1}};
                }
            for (int32_t j = 0; j < n; ++j, ++k) {
                std::memset(&raw.Points[k], 0, sizeof(ScanPoint));
                raw.Points[k].Vertex = raw.Profiles[p].Points[j];
            }
        }
    }
    raw.SweepFirstPoint[raw.TotalSweeps] = raw.NumPoints = k;
    raw.SweepFirstFacet[raw.TotalSweeps] = raw.NumFacets = f;
    RawData_ComputeNormals(raw);
    raw.CurrentSweep = raw.TotalSweeps;
    raw.CurrentSweepProfile = raw.NumProfilesProcessed = raw.TotalProfiles;
}

// Sweeps of a wand passing over a gently curved surface.
Scan& Source() {
    static Scan* scan = [] {
        auto* s = new Scan;
        RawData& raw = *s->raw;
        for (int sw = 0; sw < kSweeps; ++sw) {
            RawData_GrowSweeps(raw);
            raw.SweepStartingProfileNo[raw.TotalSweeps] = raw.TotalProfiles;
            for (int p = 0; p < kProfilesPerSweep; ++p) {
                RawData_GrowProfiles(raw, 500);
                Profile& profile = raw.Profiles[raw.TotalProfiles];
                std::memset(&profile, 0, sizeof profile);
                const float y = 1.0f * p + 600.0f * sw;
                profile.NumPoints = kPointsPerProfile;
                profile.Points = static_cast<Vec3*>(std::malloc(sizeof(Vec3) * kPointsPerProfile));
                profile.PointValues = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * kPointsPerProfile));
                for (int k = 0; k < kPointsPerProfile; ++k) {
                    const float x = -100.0f + 0.5f * k;
                    profile.Points[k] = Vec3{x, y, 5.0f * std::sin(x / 30.0f) + 3.0f * std::cos(y / 40.0f)};
                    profile.PointValues[k] = 40 + k % 100;
                }
                M4_Identity(profile.WandRxMatrix);
                profile.WandRxMatrix[0] = 0, profile.WandRxMatrix[2] = -1;
                profile.WandRxMatrix[4] = 1, profile.WandRxMatrix[5] = 0;
                profile.WandRxMatrix[9] = -1, profile.WandRxMatrix[10] = 0;
                profile.WandRxMatrix[13] = y, profile.WandRxMatrix[14] = 150.0f;
                M4_Identity(profile.ReferenceRxMatrix);
                M4_Identity(profile.RawReferenceRxMatrix);
                ++raw.TotalProfiles;
                raw.NumProfiles = raw.TotalProfiles;
            }
            ++raw.TotalSweeps;
            raw.NumSweeps = raw.TotalSweeps;
            RawData_GrowSweeps(raw);
            raw.SweepStartingProfileNo[raw.TotalSweeps] = raw.TotalProfiles;
        }
        MakePointsAndFacets(raw);
        return s;
    }();
    return *scan;
}

class NoLibrary : public ScanFitSeam {
  public:
    bool LibraryLoaded() override { return false; }
    void Clear() override {}
    void Hand(const LoadedFit&) override {}
};

void BM_TvnSave(benchmark::State& state) {
    Scan& scan = Source();
    const std::string path = Folder() + "scan.tvn";
    char error[kScanFileErrorTextSize];
    for (auto _ : state) {
        ScanFileSaveContext context{kScanFileModeScan, &scan.view, nullptr, nullptr};
        if (!TVNFile_Save(scan.Pair(), path.c_str(), false, false, scan.raw, &scan.settings, context, error))
            state.SkipWithError(error);
    }
    state.counters["points"] = scan.raw->NumPoints;
    state.counters["facets"] = scan.raw->NumFacets;
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
}

void BM_TvnLoad(benchmark::State& state) {
    Source();
    const std::string path = Folder() + "scan.tvn";
    Scan target;
    NoLibrary fit;
    char error[kScanFileErrorTextSize];
    int32_t mode;
    for (auto _ : state) {
        const SurfacePair pair = target.Pair();
        if (!TVNFile_Load(path.c_str(), target.raw, nullptr, nullptr, &pair, &fit, &target.settings, &target.view,
                          nullptr, error, &mode))
            state.SkipWithError(error);
    }
    state.counters["points"] = target.raw->NumPoints;
}

const char kScript[] = R"(
import sys, time, numpy as np, open3d as o3d
folder, what, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
ply = folder + "points.ply"
best = []
if what == "write":
    data = np.fromfile(folder + "points.f32", dtype=np.float32).reshape(-1, 6).astype(np.float64)
    cloud = o3d.geometry.PointCloud()
    cloud.points = o3d.utility.Vector3dVector(data[:, :3])
    cloud.normals = o3d.utility.Vector3dVector(data[:, 3:])
    for _ in range(runs):
        t = time.perf_counter()
        o3d.io.write_point_cloud(ply, cloud, write_ascii=False)
        best.append(time.perf_counter() - t)
else:
    for _ in range(runs):
        t = time.perf_counter()
        cloud = o3d.io.read_point_cloud(ply)
        best.append(time.perf_counter() - t)
        assert len(cloud.points) > 0 and cloud.has_normals()
print(sum(best) / len(best))
)";

// Seconds per call of Open3D's write or read, averaged over `runs` calls.
double RunOpen3d(const char* what, int runs) {
    const std::string script = Folder() + "ply.py";
    std::ofstream(script) << kScript;
    const std::string command =
        "/usr/bin/python3 " + script + " " + Folder() + " " + what + " " + std::to_string(runs) + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1.0;
    double seconds = -1.0;
    if (std::fscanf(pipe, "%lf", &seconds) != 1) seconds = -1.0;
    pclose(pipe);
    return seconds;
}

void WritePointsForOpen3d() {
    const RawData& raw = *Source().raw;
    std::ofstream out(Folder() + "points.f32", std::ios::binary);
    for (int32_t i = 0; i < raw.NumPoints; ++i) {
        out.write(reinterpret_cast<const char*>(&raw.Points[i].Vertex), 12);
        out.write(reinterpret_cast<const char*>(&raw.Points[i].Normal), 12);
    }
}

void Open3d(benchmark::State& state, const char* what) {
    if (std::string(what) == "write") WritePointsForOpen3d();
    for (auto _ : state) {
        const double seconds = RunOpen3d(what, 3);
        if (seconds < 0) {
            state.SkipWithError("Open3D (python3-open3d) is not available");
            break;
        }
        state.SetIterationTime(seconds);
    }
}

void BM_Open3dPlyWrite(benchmark::State& state) { Open3d(state, "write"); }
void BM_Open3dPlyRead(benchmark::State& state) { Open3d(state, "read"); }

BENCHMARK(BM_TvnSave)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Open3dPlyWrite)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_TvnLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Open3dPlyRead)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double ratio;
    if (reporter.Ratio("BM_TvnSave", "BM_Open3dPlyWrite", &ratio))
        std::printf("scan file save / Open3D binary PLY write: %.2f (goal <= 2)\n", ratio);
    if (reporter.Ratio("BM_TvnLoad", "BM_Open3dPlyRead", &ratio))
        std::printf("scan file load / Open3D binary PLY read: %.2f (goal <= 2)\n", ratio);
    std::filesystem::remove_all(Folder());
    return 0;
}
