// Point sets for the division and decomposition tests: uniform clouds and
// sphere shells, held flat with a row table as the core takes them, and a
// tracked-memory scope that tells whether everything was given back.
#ifndef SURFACE_FIT_TESTS_POINT_CLOUDS_H
#define SURFACE_FIT_TESTS_POINT_CLOUDS_H

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "surface/frame/tracked_memory.h"

struct Cloud {
    int32_t d = 3;
    std::vector<double> flat;
    std::vector<double*> rows;

    Cloud() = default;
    Cloud(const Cloud& other) : d(other.d), flat(other.flat) { Reindex(); }
    Cloud& operator=(const Cloud& other) {
        d = other.d;
        flat = other.flat;
        Reindex();
        return *this;
    }

    int32_t N() const { return static_cast<int32_t>(rows.size()); }
    double* const* Table() { return rows.data(); }
    void Reindex() {
        rows.clear();
        for (size_t i = 0; i + d <= flat.size(); i += d) rows.push_back(&flat[i]);
    }
    void Add(const std::vector<double>& p) {
        flat.insert(flat.end(), p.begin(), p.end());
        Reindex();
    }
};

// N points uniform in [lo, hi)^d.
inline Cloud UniformCloud(int32_t d, int32_t N, uint32_t seed, double lo = 0.0, double hi = 1.0) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(lo, hi);
    Cloud c;
    c.d = d;
    c.flat.resize(static_cast<size_t>(N) * d);
    for (double& v : c.flat) v = u(rng);
    c.Reindex();
    return c;
}

// N points in a shell of radii 0.9 to 1.0 about the origin (an annulus in 2D).
inline Cloud ShellCloud(int32_t d, int32_t N, uint32_t seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    std::uniform_real_distribution<double> r(0.9, 1.0);
    Cloud c;
    c.d = d;
    for (int32_t i = 0; i < N; ++i) {
        double p[3], s = 0.0;
        for (int32_t k = 0; k < d; ++k) {
            p[k] = g(rng);
            s += p[k] * p[k];
        }
        const double radius = r(rng) / std::sqrt(s);
        for (int32_t k = 0; k < d; ++k) c.flat.push_back(p[k] * radius);
    }
    c.Reindex();
    return c;
}

// Opens a tracking level for a test and tells the bytes still held.
class TrackedScope {
  public:
    TrackedScope() {
        Mem_FailAllocationsAfterForTesting(-1);
        Mem_TrackBegin();
        start_ = Mem_CurrentBytes();
    }
    ~TrackedScope() {
        Mem_FailAllocationsAfterForTesting(-1);
        Mem_TrackEndFreeAll();
    }
    std::size_t Held() const { return Mem_CurrentBytes() - start_; }

  private:
    std::size_t start_;
};

#endif
