// Profiles per second: a capture of 1000 fields of a wand sweeping a gently
// curved surface at 12 mm/s, every field built into a profile of about 560
// points through a linear calibration table and processed into points and
// facets, as the user-interface thread does while scanning. The
// "realtime_multiple" counter is the rate against the video field rate (60
// fields per second); "allocs_per_process" counts heap allocations inside
// Scan_ProcessNewProfiles once the capture is under way (the reserved blocks
// grow by committing pages, not from the heap).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/calibration_state.h"
#include "sim/field_generator.h"
#include "app/acquisition/field_ring.h"
#include "app/acquisition/profile_build.h"
#include "sim/sweep_generator.h"
#include "app/scan/profile_processing.h"
#include "app/scan/tests/scan_record_fixture.h"

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define PROFILE_BENCH_COUNTS_ALLOCATIONS 1
namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
void Count() {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* malloc(std::size_t n) {
    Count();
    return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) {
    Count();
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) {
    Count();
    return __libc_realloc(p, n);
}
}
#endif

namespace {

constexpr int kProfiles = 1000;
constexpr double kFieldsPerSecond = 60.0;
constexpr std::int32_t kFilterLength = 3;
constexpr float kWorstResolution = 4.0f;
constexpr float kConeAngle = 60.0f;
constexpr std::size_t kBlockBytes = 64u << 20;

// The capture as the acquisition thread leaves it in the ring: decoded slots.
struct Capture {
    std::vector<std::vector<std::uint16_t>> slots;
};

const Capture& TheCapture() {
    static const Capture capture = [] {
        Capture c;
        SweepSurface surface;
        surface.kind = SweepSurfaceKind::Cylinder;
        surface.radius = 150.0f;
        surface.axis = Vec3{0.0f, 1.0f, 0.0f};
        surface.origin = Vec3{0.0f, 0.0f, -60.0f};
        WandSweep sweep;
        sweep.start = scan_test::WandLookingDown(0.0f, -100.0f, 140.0f);
        sweep.velocity = Vec3{0.0f, 0.2f, 0.0f};
        M4_Identity(sweep.reference);
        const float weights[2] = {0.2f, 0.7f};
        const int fields = kProfiles + kFilterLength;
        std::vector<std::uint16_t> slot(kFieldSlotWords);
        for (int f = 0; f < fields; ++f) {
            LoadFieldIntoSlot(GenerateField(MakeSweepField(surface, sweep, f, 2, weights)), slot.data());
            DecodeLocatorBlock(slot.data());
            c.slots.push_back(slot);
        }
        return c;
    }();
    return capture;
}

void SetUpAcquisition(std::vector<std::uint16_t>& ring) {
    ring.assign(kRingBufferWords, 0);
    Ring_Attach(ring.data());
    Ring_ResetCounts();
    ResetAcquisitionSettings();
    SetHemisphereSetting(0);
    SetOddFilterLength(kFilterLength);
    InstallCalibration(MakeLinearCalibration("1.1.1"));
}

// Writes field f into the ring as the acquisition thread does.
void Publish(const Capture& capture, int f) {
    std::memcpy(RingSlotAddress(Ring_WriteCount()), capture.slots[f].data(), kFieldSlotWords * sizeof(std::uint16_t));
    Ring_PublishField();
}

void ReportRates(benchmark::State& state, double profilesPerIteration) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * profilesPerIteration));
    state.counters["realtime_multiple"] = benchmark::Counter(profilesPerIteration / kFieldsPerSecond,
                                                             benchmark::Counter::kIsIterationInvariantRate);
}

void BM_BuildProfiles(benchmark::State& state) {
    std::vector<std::uint16_t> ring;
    SetUpAcquisition(ring);
    const Capture& capture = TheCapture();
    Profile staging{};
    std::int64_t points = 0;
    for (auto _ : state) {
        Ring_ResetCounts();
        for (int f = 0; f < static_cast<int>(capture.slots.size()); ++f) {
            Publish(capture, f);
            while (BuildProfileFromField(staging, 1, 0, nullptr, kConeAngle, nullptr, nullptr, nullptr, nullptr,
                                         nullptr) == kProfileBuilt)
                points += staging.NumPoints;
        }
    }
    state.counters["points_per_profile"] =
        static_cast<double>(points) / (static_cast<double>(state.iterations()) * kProfiles);
    ReportRates(state, kProfiles);
    RawData_ClearProfile(staging);
    Ring_Attach(nullptr);
}

// Builds every profile of the capture once.
std::vector<scan_test::OwnedProfile> BuiltProfiles() {
    std::vector<std::uint16_t> ring;
    SetUpAcquisition(ring);
    const Capture& capture = TheCapture();
    Profile staging{};
    std::vector<scan_test::OwnedProfile> profiles;
    for (int f = 0; f < static_cast<int>(capture.slots.size()); ++f) {
        Publish(capture, f);
        while (BuildProfileFromField(staging, 1, 0, nullptr, kConeAngle, nullptr, nullptr, nullptr, nullptr,
                                     nullptr) == kProfileBuilt) {
            scan_test::OwnedProfile p;
            p.points.assign(staging.Points, staging.Points + staging.NumPoints);
            p.values.assign(staging.PointValues, staging.PointValues + staging.NumPoints);
            p.profile = staging;
            p.profile.Extra = nullptr;
            profiles.push_back(p);
        }
    }
    RawData_ClearProfile(staging);
    Ring_Attach(nullptr);
    return profiles;
}

// Processes one profile, counting heap allocations once the capture is under
// way.
void ProcessCounted(RawData& raw, int profile, long& allocations) {
#ifdef PROFILE_BENCH_COUNTS_ALLOCATIONS
    const bool count = profile >= 10;
    const long before = g_allocations.load();
    if (count) g_counting.store(true);
#endif
    benchmark::DoNotOptimize(Scan_ProcessNewProfiles(raw, kFilterLength, kWorstResolution));
#ifdef PROFILE_BENCH_COUNTS_ALLOCATIONS
    g_counting.store(false);
    if (count) allocations += g_allocations.load() - before;
#else
    (void)profile;
    allocations = -1;
#endif
}

void BM_ProcessProfiles(benchmark::State& state) {
    std::vector<scan_test::OwnedProfile> profiles = BuiltProfiles();
    long allocations = 0;
    std::int64_t points = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto scan = std::make_unique<scan_test::TestScan>(kBlockBytes);
        state.ResumeTiming();
        for (int k = 0; k < static_cast<int>(profiles.size()); ++k) {
            scan->Append(profiles[k].Get());
            ProcessCounted(scan->raw(), k, allocations);
        }
        points += scan->raw().NumPoints;
        state.PauseTiming();
        scan.reset();
        state.ResumeTiming();
    }
    state.counters["allocs_per_process"] =
        static_cast<double>(allocations) / (static_cast<double>(state.iterations()) * kProfiles);
    state.counters["scan_points_per_profile"] =
        static_cast<double>(points) / (static_cast<double>(state.iterations()) * kProfiles);
    ReportRates(state, static_cast<double>(profiles.size()));
}

void BM_BuildAndProcessProfiles(benchmark::State& state) {
    std::vector<std::uint16_t> ring;
    SetUpAcquisition(ring);
    const Capture& capture = TheCapture();
    Profile staging{};
    long allocations = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto scan = std::make_unique<scan_test::TestScan>(kBlockBytes);
        Ring_ResetCounts();
        state.ResumeTiming();
        int built = 0;
        for (int f = 0; f < static_cast<int>(capture.slots.size()); ++f) {
            Publish(capture, f);
            while (BuildProfileFromField(staging, 1, 0, nullptr, kConeAngle, nullptr, nullptr, nullptr, nullptr,
                                         nullptr) == kProfileBuilt) {
                scan->Append(staging);
                ProcessCounted(scan->raw(), built++, allocations);
            }
        }
        state.PauseTiming();
        scan.reset();
        state.ResumeTiming();
    }
    state.counters["allocs_per_process"] =
        static_cast<double>(allocations) / (static_cast<double>(state.iterations()) * kProfiles);
    ReportRates(state, kProfiles);
    RawData_ClearProfile(staging);
    Ring_Attach(nullptr);
}

BENCHMARK(BM_BuildProfiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessProfiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildAndProcessProfiles)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
