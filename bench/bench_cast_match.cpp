// The symmetric marker matching visits every assignment of the markers (n!
// of them) and fits a rigid transform to most, so its time grows by a factor
// n from one marker count to the next. This program times it for 4 to 11
// markers on each piece; the largest count that stays well under a second
// on an ordinary PC is the limit the cast inversion command accepts
// (kCastMatchPairMaxMarkers), above which it refuses the symmetric method
// instead of freezing the program.
#include "app/export/cast_match.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

// Markers spread over a piece of a cast, never closer than 25 mm, and the
// same markers moved by a rigid transform and shuffled: the matching's
// ordinary input.
// With `sphere` every marker lies 80 mm from the markers' centroid, so that the pruning
// by centroid distance rejects nothing: the worst case, every assignment fitted.
void MarkerLists(int32_t n, bool sphere, std::vector<Vec3>& list1, std::vector<Vec3>& list2) {
    std::mt19937 rng(7);
    auto uniform = [&rng] { return rng() / 4294967296.0; };
    list1.clear();
    while (static_cast<int32_t>(list1.size()) < n) {
        const Vec3 p{static_cast<float>(-100 + 200 * uniform()), static_cast<float>(-60 + 120 * uniform()),
                     static_cast<float>(-40 + 80 * uniform())};
        bool apart = true;
        for (const Vec3& q : list1) apart = apart && V3_Distance(p, q) > 25.0f;
        if (apart) list1.push_back(p);
    }
    // Pushed onto a sphere of 80 mm round their own centroid (a few rounds,
    // as each moves the centroid a little).
    for (int round = 0; sphere && round < 50; ++round) {
        Vec3 c;
        V3_Centroid(list1.data(), n, c);
        for (Vec3& p : list1) {
            Vec3 d;
            V3_Sub(p, c, d);
            V3_Normalise(d, d);
            V3_AddScaled(c, 80.0f, d, p);
        }
    }
    Vec3 axis{0.3f, -0.5f, 0.8f};
    V3_Normalise(axis, axis);
    Matrix4 t;
    M4_MakeAxisRotation(axis, 37.0f, t);
    t[12] = 120.0f;
    t[13] = -40.0f;
    t[14] = 300.0f;
    list2.resize(list1.size());
    for (size_t i = 0; i < list1.size(); ++i) M4_TransformPoint(t, list1[i], list2[i]);
    for (size_t i = list2.size() - 1; i > 0; --i) std::swap(list2[i], list2[rng() % (i + 1)]);
}

void MatchPair(benchmark::State& state, bool sphere) {
    const auto n = static_cast<int32_t>(state.range(0));
    std::vector<Vec3> list1, list2;
    MarkerLists(n, sphere, list1, list2);
    for (auto _ : state) {
        Matrix4 transform;
        int32_t count = 0;
        float greatest = -1.0f, mean = -1.0f;
        benchmark::DoNotOptimize(CastInv_MatchPair(list1.data(), list2.data(), n, n, transform, count, greatest, mean));
    }
}

void BM_MatchPair(benchmark::State& state) { MatchPair(state, false); }
void BM_MatchPairEqualRadii(benchmark::State& state) { MatchPair(state, true); }

}  // namespace

BENCHMARK(BM_MatchPair)->DenseRange(4, 11)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatchPairEqualRadii)->DenseRange(4, 10)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
