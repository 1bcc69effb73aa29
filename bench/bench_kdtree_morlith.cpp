// k-d tree speed against nanoflann on the same data: the build over 10^6
// random 3D points, and 10^5 searches for the 10 nearest points. Both our
// general tree (row references, adaptive radius) and the packed 3D tree
// behind the neighbour searches are measured; the ratios to nanoflann are
// printed at the end.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <nanoflann.hpp>

#include "bench/bench_support.h"
#include "surface/search/kd_tree.h"
#include "surface/search/neighbours.h"

namespace {

const int kPoints = 1000000;
const int kQueries = 100000;
const int kNearest = 10;

struct Data {
  std::vector<double> flat;
  std::vector<double*> rows;
  std::vector<double> queries;
  Data() : flat(3 * static_cast<size_t>(kPoints)), rows(kPoints), queries(3 * kQueries) {
    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (auto& v : flat) v = u(rng);
    for (int i = 0; i < kPoints; ++i) rows[i] = &flat[3 * static_cast<size_t>(i)];
    for (auto& v : queries) v = u(rng);
  }
  // The adaptor nanoflann reads the same packed array through.
  size_t kdtree_get_point_count() const { return kPoints; }
  double kdtree_get_pt(size_t i, size_t k) const { return flat[3 * i + k]; }
  template <class Box>
  bool kdtree_get_bbox(Box&) const { return false; }
};

const Data& TheData() {
  static const Data data;
  return data;
}

using FlannTree = nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<double, Data>,
                                                      Data, 3, uint32_t>;

void KdTreeN_BuildMillion(benchmark::State& state) {
  const Data& d = TheData();
  for (auto _ : state) {
    KdTreeN tree;
    if (KdTreeN_Build(kPoints, 3, d.rows.data(), &tree, nullptr, nullptr) != 0)
      state.SkipWithError("build failed");
    KdTreeN_Free(&tree);
  }
}

void KdTree3_BuildMillion(benchmark::State& state) {
  const Data& d = TheData();
  for (auto _ : state) {
    KdTree3 tree;
    double bounds[6];
    if (!KdTree3_Build(kPoints, d.flat.data(), &tree, bounds)) state.SkipWithError("build failed");
    KdTree3_Free(&tree);
  }
}

void Nanoflann_BuildMillion(benchmark::State& state) {
  const Data& d = TheData();
  for (auto _ : state) {
    FlannTree tree(3, d, nanoflann::KDTreeSingleIndexAdaptorParams(10));
    tree.buildIndex();
    benchmark::DoNotOptimize(&tree);
  }
}

void KdTreeN_Nearest10(benchmark::State& state) {
  const Data& d = TheData();
  KdTreeN tree;
  KdTreeN_Build(kPoints, 3, d.rows.data(), &tree, nullptr, nullptr);
  int32_t idx[kNearest];
  // A caller starts from the radius that holds about k points at the data's
  // density (the unit cube here); the search adapts it from there.
  double radius = 0.5 * std::cbrt(static_cast<double>(kNearest) / kPoints);
  for (auto _ : state) {
    for (int q = 0; q < kQueries; ++q) {
      int32_t count = 0;
      KdTreeN_NearestK(&tree, &d.queries[3 * q], kNearest, &radius, idx, &count);
      benchmark::DoNotOptimize(idx[0]);
    }
  }
  KdTreeN_Free(&tree);
}

void Neighbours_Nearest10(benchmark::State& state) {
  const Data& d = TheData();
  Neighbours nb;
  Neighbours_Init(kPoints, d.flat.data(), &nb);
  int32_t idx[kNearest];
  for (auto _ : state) {
    for (int q = 0; q < kQueries; ++q) {
      int32_t count = 0;
      Neighbours_KNearest(&d.queries[3 * q], kNearest, &count, idx, &nb);
      benchmark::DoNotOptimize(idx[0]);
    }
  }
  Neighbours_Free(&nb);
}

void Nanoflann_Nearest10(benchmark::State& state) {
  const Data& d = TheData();
  FlannTree tree(3, d, nanoflann::KDTreeSingleIndexAdaptorParams(10));
  tree.buildIndex();
  uint32_t idx[kNearest];
  double dist[kNearest];
  for (auto _ : state) {
    for (int q = 0; q < kQueries; ++q) {
      tree.knnSearch(&d.queries[3 * q], kNearest, idx, dist);
      benchmark::DoNotOptimize(idx[0]);
    }
  }
}

BENCHMARK(KdTreeN_BuildMillion)->Unit(benchmark::kMillisecond);
BENCHMARK(KdTree3_BuildMillion)->Unit(benchmark::kMillisecond);
BENCHMARK(Nanoflann_BuildMillion)->Unit(benchmark::kMillisecond);
BENCHMARK(KdTreeN_Nearest10)->Unit(benchmark::kMillisecond);
BENCHMARK(Neighbours_Nearest10)->Unit(benchmark::kMillisecond);
BENCHMARK(Nanoflann_Nearest10)->Unit(benchmark::kMillisecond);

void PrintRatio(const bench::RatioReporter& reporter, const char* ours, const char* theirs) {
  double ratio = 0;
  if (reporter.Ratio(ours, theirs, &ratio)) std::printf("%s / %s: %.2f\n", ours, theirs, ratio);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatio(reporter, "KdTreeN_BuildMillion", "Nanoflann_BuildMillion");
  PrintRatio(reporter, "KdTree3_BuildMillion", "Nanoflann_BuildMillion");
  PrintRatio(reporter, "KdTreeN_Nearest10", "Nanoflann_Nearest10");
  PrintRatio(reporter, "Neighbours_Nearest10", "Nanoflann_Nearest10");
  benchmark::Shutdown();
  return 0;
}
