// Per-field cost of the acquisition thread's checks: ProcessField on good
// wand fields (the ring consumed as it fills), and on fields that fail
// decoding; and the load of a calibration file of a real table size.
#include <benchmark/benchmark.h>

#include <sstream>
#include <vector>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/calibration_file.h"
#include "sim/calibration_writer.h"
#include "sim/field_generator.h"
#include "app/acquisition/field_ring.h"
#include "app/acquisition/process_field.h"

namespace {

std::vector<std::uint8_t> WandFieldBytes(bool badStations) {
    FieldParameters p;
    p.serial = 345;
    SetStandardStations(p);
    if (badStations) p.records[1].station = p.records[0].station;
    for (int line = 0; line < 282; ++line) p.samples.push_back({line, 0, 100, 120});
    return GenerateField(p);
}

void RunFieldChecks(benchmark::State& state, bool badStations) {
    std::vector<std::uint16_t> ring(kRingBufferWords);
    Ring_Attach(ring.data());
    Ring_ResetCounts();
    ResetAcquisitionSettings();
    SetExpectedSerialNumber(345);
    SetHemisphereSetting(0);
    const std::vector<std::uint8_t> field = WandFieldBytes(badStations);
    FieldCheckContext context;
    FieldCheckContext_Init(context, 0);
    FieldCheckContext_StartCapture(context);
    std::int32_t published = 0;
    for (auto _ : state) {
        LoadFieldIntoSlot(field, RingSlotAddress(Ring_WriteCount()));
        published += ProcessField(1, 0, context);
        if (Ring_WriteCount() - Ring_ReadCount() > 40) {
            while (Ring_ReadCount() < Ring_WriteCount()) Ring_ConsumeField();
        }
    }
    benchmark::DoNotOptimize(published);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kFieldBytes);
    Ring_Attach(nullptr);
}

void BM_ProcessFieldGood(benchmark::State& state) { RunFieldChecks(state, false); }
void BM_ProcessFieldBadStations(benchmark::State& state) { RunFieldChecks(state, true); }

void BM_LoadCalibration(benchmark::State& state) {
    CalibrationFileParameters p;
    p.header.versionMinor = 3;  // two channels
    p.header.LutRows = 144;
    p.header.LutColumns = 256;
    p.trackerSetup = ExampleTrackerSetupBlock();
    const std::vector<std::uint8_t> bytes = BuildCalibrationFile(p);
    const std::string text(bytes.begin(), bytes.end());
    for (auto _ : state) {
        std::istringstream in(text);
        CalibrationData data;
        benchmark::DoNotOptimize(ReadCalibration(in, data));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes.size()));
}

}  // namespace

BENCHMARK(BM_ProcessFieldGood);
BENCHMARK(BM_ProcessFieldBadStations);
BENCHMARK(BM_LoadCalibration);
BENCHMARK_MAIN();
