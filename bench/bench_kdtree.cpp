// The scan k-d tree against nanoflann on the same points: building, radius
// queries and sorted radius queries. After the runs the ratio of each pair
// (ours / nanoflann in CPU time, below 1 is faster) is printed.
#include "app/scan/kd_tree.h"

#include <benchmark/benchmark.h>
#include <nanoflann.hpp>

#include "bench/bench_support.h"

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

// Points on a sphere of 100 mm with a little noise, like a scanned surface;
// about twenty points lie within 2 mm of each.
const std::vector<Vec3>& ScanPoints() {
    static const std::vector<Vec3> points = [] {
        std::mt19937 rng(42);
        std::normal_distribution<float> g(0.0f, 1.0f);
        std::vector<Vec3> p(200000);
        for (Vec3& v : p) {
            const float x = g(rng), y = g(rng), z = g(rng);
            const float r = 100.0f / std::sqrt(x * x + y * y + z * z) + 0.05f * g(rng);
            v = Vec3{x * r, y * r, z * r};
        }
        return p;
    }();
    return points;
}

constexpr float kRadius = 2.0f;
constexpr int kQueries = 2000;

struct Cloud {
    const std::vector<Vec3>& p;
    size_t kdtree_get_point_count() const { return p.size(); }
    float kdtree_get_pt(size_t i, size_t d) const { return d == 0 ? p[i].x : (d == 1 ? p[i].y : p[i].z); }
    template <class Box>
    bool kdtree_get_bbox(Box&) const { return false; }
};
using NanoTree = nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<float, Cloud>, Cloud, 3, uint32_t>;

void BM_Build_Ours(benchmark::State& state) {
    const auto& pts = ScanPoints();
    for (auto _ : state) {
        KdTree* tree = nullptr;
        KdTree_Build(pts.data(), static_cast<int32_t>(pts.size()), &tree);
        benchmark::DoNotOptimize(tree);
        KdTree_Free(&tree);
    }
}

void BM_Build_Nanoflann(benchmark::State& state) {
    const Cloud cloud{ScanPoints()};
    for (auto _ : state) {
        NanoTree tree(3, cloud, nanoflann::KDTreeSingleIndexAdaptorParams(10));
        benchmark::DoNotOptimize(&tree);
    }
}

template <bool Sorted>
void RadiusOurs(benchmark::State& state) {
    const auto& pts = ScanPoints();
    KdTree* tree = nullptr;
    KdTree_Build(pts.data(), static_cast<int32_t>(pts.size()), &tree);
    int64_t found = 0;
    for (auto _ : state) {
        for (int q = 0; q < kQueries; ++q) {
            const Vec3& c = pts[(q * 7919) % pts.size()];
            found += Sorted ? KdTree_NearestSorted(tree, c, kRadius) : KdTree_RadiusQuery(tree, c, kRadius);
        }
    }
    state.counters["found/query"] = static_cast<double>(found) / (state.iterations() * kQueries);
    KdTree_Free(&tree);
}

template <bool Sorted>
void RadiusNanoflann(benchmark::State& state) {
    const Cloud cloud{ScanPoints()};
    NanoTree tree(3, cloud, nanoflann::KDTreeSingleIndexAdaptorParams(10));
    std::vector<std::pair<uint32_t, float>> matches;
    matches.reserve(256);
    nanoflann::SearchParams params;
    params.sorted = Sorted;
    int64_t found = 0;
    for (auto _ : state) {
        for (int q = 0; q < kQueries; ++q) {
            const Vec3& c = cloud.p[(q * 7919) % cloud.p.size()];
            const float query[3] = {c.x, c.y, c.z};
            found += static_cast<int64_t>(tree.radiusSearch(query, kRadius * kRadius, matches, params));
        }
    }
    state.counters["found/query"] = static_cast<double>(found) / (state.iterations() * kQueries);
}

void BM_Radius_Ours(benchmark::State& s) { RadiusOurs<false>(s); }
void BM_Radius_Nanoflann(benchmark::State& s) { RadiusNanoflann<false>(s); }
void BM_RadiusSorted_Ours(benchmark::State& s) { RadiusOurs<true>(s); }
void BM_RadiusSorted_Nanoflann(benchmark::State& s) { RadiusNanoflann<true>(s); }

BENCHMARK(BM_Build_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Build_Nanoflann)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Radius_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Radius_Nanoflann)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RadiusSorted_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RadiusSorted_Nanoflann)->Unit(benchmark::kMicrosecond);

// Prints the ratio of each pair: ours / nanoflann in CPU time.
void PrintRatios(const bench::RatioReporter& reporter) {
    std::printf("\nours / nanoflann (below 1 is faster):\n");
    for (const char* topic : {"Build", "Radius", "RadiusSorted"}) {
        double ratio = 0;
        if (reporter.Ratio(std::string("BM_") + topic + "_Ours",
                           std::string("BM_") + topic + "_Nanoflann", &ratio))
            std::printf("  %-13s %.2f\n", topic, ratio);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter(bench::RatioReporter::Clock::kCpu);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintRatios(reporter);
    benchmark::Shutdown();
    return 0;
}
