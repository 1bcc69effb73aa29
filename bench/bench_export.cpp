// Writing a mesh of a million facets: binary STL, binary PLY and text PLY,
// ours beside Open3D 0.16's writer (Debian's python3-open3d, timed inside its
// own process on the same mesh and folder) and beside a plain copy of the
// same number of bytes. Prints the time ratios and the MB/s of each.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/export/export_common.h"
#include "app/export/export_sink.h"
#include "app/export/export_stl_ply.h"
#include "app/scan/settings_records.h"
#include "bench/bench_support.h"

namespace {

namespace fs = std::filesystem;

struct Mesh {
    std::vector<Vec3> points;
    std::vector<int32_t> facets;
};

// A wavy grid of 708 x 708 points: 1,000,000 facets and a bit more.
const Mesh& BenchMesh() {
    static Mesh mesh = [] {
        Mesh m;
        const int n = 708;
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                m.points.push_back(Vec3{x * 0.5f, y * 0.5f, 3.0f * std::sin(x * 0.05f) * std::cos(y * 0.07f)});
        for (int y = 0; y + 1 < n; ++y)
            for (int x = 0; x + 1 < n; ++x) {
                const int a = y * n + x, b = a + 1, c = a + n, d = c + 1;
                m.facets.insert(m.facets.end(), {a, b, d, a, d, c});
            }
        m.facets.resize(3 * 1000000);
        return m;
    }();
    return mesh;
}

fs::path Folder() {
    static fs::path folder = [] {
        fs::path f = fs::temp_directory_path() / "tolvaran-bench-export";
        fs::create_directories(f);
        return f;
    }();
    return folder;
}

std::string File(const char* name) { return (Folder() / name).string(); }

void Report(benchmark::State& state, const std::string& path) {
    const auto bytes = static_cast<int64_t>(fs::file_size(path));
    state.SetBytesProcessed(bytes * static_cast<int64_t>(state.iterations()));
}

void BM_OursStlBinary(benchmark::State& state) {
    const Mesh& m = BenchMesh();
    ExportFormatOptions o{};
    o.ExportDataType = 1;
    std::string message;
    for (auto _ : state)
        Export_Stl(m.points.data(), nullptr, o, File("ours.stl"), "\n", m.facets.data(), 1000000, "Bench V1", message);
    Report(state, File("ours.stl"));
}

ExportData Data() {
    const Mesh& m = BenchMesh();
    ExportData d;
    d.pointCount = static_cast<int32_t>(m.points.size());
    d.positions = m.points.data();
    d.facetCount = 1000000;
    d.facets = m.facets.data();
    return d;
}

void BM_OursPlyBinary(benchmark::State& state) {
    for (auto _ : state) Ply_Write(false, File("ours.ply"), "Bench V1", "K", "\n", nullptr, Data());
    Report(state, File("ours.ply"));
}

void BM_OursPlyText(benchmark::State& state) {
    for (auto _ : state) Ply_Write(true, File("ours-text.ply"), "Bench V1", "K", "\n", nullptr, Data());
    Report(state, File("ours-text.ply"));
}

// The same bytes copied through the same sink: the disk's own pace.
void Copy(benchmark::State& state, const char* from, const char* to) {
    std::FILE* f = std::fopen(File(from).c_str(), "rb");
    std::vector<char> bytes(fs::file_size(File(from)));
    if (!f || std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) state.SkipWithError("no source file");
    if (f) std::fclose(f);
    for (auto _ : state) {
        ExportSink sink;
        sink.Open(File(to));
        sink.Write(bytes.data(), bytes.size());
        sink.Commit();
    }
    Report(state, File(to));
}
void BM_CopyStlBinary(benchmark::State& state) { Copy(state, "ours.stl", "copy.stl"); }
void BM_CopyPlyBinary(benchmark::State& state) { Copy(state, "ours.ply", "copy.ply"); }
void BM_CopyPlyText(benchmark::State& state) { Copy(state, "ours-text.ply", "copy-text.ply"); }

// Open3D writes the mesh read from our binary PLY; its process times each
// write and the benchmark takes that time.
void Theirs(benchmark::State& state, const char* name, const char* options) {
    const std::string script =
        "import open3d as o3d, sys, time\n"
        "m = o3d.io.read_triangle_mesh(sys.argv[1])\n"
        "m.compute_triangle_normals()  # its STL writer needs them; not timed\n"
        "t = time.perf_counter()\n"
        "o3d.io.write_triangle_mesh(sys.argv[2], m, " +
        std::string(options) +
        ")\n"
        "print(time.perf_counter() - t)\n";
    const std::string scriptPath = File("theirs.py");
    if (std::FILE* f = std::fopen(scriptPath.c_str(), "w")) {
        std::fputs(script.c_str(), f);
        std::fclose(f);
    }
    const std::string command = "/usr/bin/python3 " + scriptPath + " " + File("ours.ply") + " " + File(name);
    for (auto _ : state) {
        std::FILE* p = popen(command.c_str(), "r");
        double seconds = -1;
        if (!p || std::fscanf(p, "%lf", &seconds) != 1 || seconds < 0) {
            if (p) pclose(p);
            state.SkipWithError("Open3D (python3-open3d) did not run");
            return;
        }
        pclose(p);
        state.SetIterationTime(seconds);
    }
    Report(state, File(name));
}
void BM_Open3dStlBinary(benchmark::State& state) {
    Theirs(state, "theirs.stl", "write_ascii=False");
}
void BM_Open3dPlyBinary(benchmark::State& state) {
    Theirs(state, "theirs.ply", "write_ascii=False, write_vertex_normals=False");
}
void BM_Open3dPlyText(benchmark::State& state) {
    Theirs(state, "theirs-text.ply", "write_ascii=True, write_vertex_normals=False");
}

BENCHMARK(BM_OursStlBinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursPlyBinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursPlyText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyStlBinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyPlyBinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyPlyText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open3dStlBinary)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open3dPlyBinary)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open3dPlyText)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const char* pairs[][2] = {{"BM_OursStlBinary", "BM_Open3dStlBinary"}, {"BM_OursPlyBinary", "BM_Open3dPlyBinary"},
                              {"BM_OursPlyText", "BM_Open3dPlyText"},     {"BM_OursStlBinary", "BM_CopyStlBinary"},
                              {"BM_OursPlyBinary", "BM_CopyPlyBinary"},   {"BM_OursPlyText", "BM_CopyPlyText"}};
    for (const auto& p : pairs) {
        double ratio = 0;
        if (reporter.Ratio(p[0], p[1], &ratio)) std::printf("%s / %s: %.2f\n", p[0], p[1], ratio);
    }
    std::error_code ec;
    fs::remove_all(Folder(), ec);
    return 0;
}
