// The simulator's limb scan as points with normals, and distances from the
// limb scene's own surface, for bench/scan_pipeline_vs_poisson.py:
//
//   timing_limb_scan scan OUT       the scan's points and normals (the
//                                   format timing_scan_pipeline reads)
//   timing_limb_scan distance IN OUT  IN: int32 n, n double triples; OUT: n
//                                   doubles, each point's distance from the
//                                   scene's surface
//
// The scan comes from the built-in limb scenario through the program's field
// checks, profile building and profile processing, as in
// bench_basic_surface.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/limb_acquisition.h"
#include "sim/scene.h"

namespace {

int WriteScan(const char* path) {
    auto device = bench::LimbDevice();
    scan_test::TestScan scan(256u << 20);
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path folder = fs::temp_directory_path(error) / "timing_limb_scan";
    fs::create_directories(folder, error);
    if (!device || !bench::AcquireScenario(*device, scan, folder.string() + "/")) {
        std::fprintf(stderr, "the limb scan failed\n");
        return 1;
    }
    const RawData& r = scan.raw();
    std::vector<float> points, normals;
    for (int32_t i = 0; i < r.NumPoints; ++i) {
        const ScanPoint& p = r.Points[i];
        points.insert(points.end(), {p.Vertex.x, p.Vertex.y, p.Vertex.z});
        normals.insert(normals.end(), {p.Normal.x, p.Normal.y, p.Normal.z});
    }
    std::FILE* out = std::fopen(path, "wb");
    if (out == nullptr) return 1;
    const int32_t n = r.NumPoints;
    std::fwrite(&n, 4, 1, out);
    std::fwrite(points.data(), 4, points.size(), out);
    std::fwrite(normals.data(), 4, normals.size(), out);
    std::fclose(out);
    std::printf("points %d\n", n);
    return 0;
}

int WriteDistances(const char* in, const char* outPath) {
    auto device = bench::LimbDevice();
    std::FILE* f = std::fopen(in, "rb");
    int32_t n = 0;
    if (device == nullptr || f == nullptr || std::fread(&n, 4, 1, f) != 1 || n < 0) return 1;
    std::vector<double> xyz(3 * static_cast<size_t>(n)), d(n);
    if (std::fread(xyz.data(), 8, xyz.size(), f) != xyz.size()) return 1;
    std::fclose(f);
    const sim::Scene& scene = device->GetScenario().scene;
    for (int32_t i = 0; i < n; ++i) d[i] = scene.SurfaceDistance({xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]});
    std::FILE* out = std::fopen(outPath, "wb");
    if (out == nullptr) return 1;
    std::fwrite(d.data(), 8, d.size(), out);
    std::fclose(out);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "scan") == 0) return WriteScan(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "distance") == 0) return WriteDistances(argv[2], argv[3]);
    std::fprintf(stderr, "usage: %s scan OUT | distance IN OUT\n", argv[0]);
    return 2;
}
