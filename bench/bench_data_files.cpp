// Morlith's data files: save and load of a 3D point list with values, in
// binary and in ASCII, over a stream in memory (no disk in the figures).
#include <benchmark/benchmark.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "surface/frame/point_list.h"
#include "surface/io/point_list_file.h"
#include "surface/io/tests/memory_stream.h"

namespace {

struct Points {
    PointList3 list{};
    explicit Points(int32_t n) {
        PointList3_Create(&list, n, 1, 0, 0, 0, 0);
        list.Count = n;
        for (int32_t i = 0; i < 3 * n; ++i) list.Location[i] = 0.001 * i + 1.0 / 3.0;
        for (int32_t i = 0; i < n; ++i) list.Value[i] = -0.5 * i;
    }
    ~Points() { PointList3_Free(&list); }
};

// A stream that only counts what it is given, so that saving is measured
// without the cost of keeping the bytes.
std::size_t g_counted = 0;
std::size_t CountWrite(const void*, std::size_t size, std::size_t count, void*) {
    g_counted += size * count;
    return count;
}
int CountPrint(void*, const char* format, ...) {
    char text[64];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    g_counted += static_cast<std::size_t>(n);
    return n;
}
int CountCharacter(int c, void*) {
    ++g_counted;
    return c & 0xFF;
}
int CountText(const char* text, void*) {
    g_counted += std::strlen(text);
    return 1;
}
int NoError(void*) { return 0; }

void BM_SavePointList(benchmark::State& state) {
    Points points(static_cast<int32_t>(state.range(0)));
    const int32_t ascii = static_cast<int32_t>(state.range(1));
    ContainerStream counter;
    ContainerStream_FromCallbacks(&counter, nullptr, &CountWrite, nullptr, &CountPrint, &CountCharacter, &CountText,
                                  &NoError, nullptr);
    g_counted = 0;
    for (auto _ : state) benchmark::DoNotOptimize(PointList3_Write(&points.list, &counter, ascii, nullptr));
    state.SetBytesProcessed(static_cast<int64_t>(g_counted));
}
BENCHMARK(BM_SavePointList)->Args({100000, 0})->Args({100000, 1});

void BM_LoadPointList(benchmark::State& state) {
    Points points(static_cast<int32_t>(state.range(0)));
    const int32_t ascii = static_cast<int32_t>(state.range(1));
    MemoryStream out;
    PointList3_Write(&points.list, &out.stream, ascii, nullptr);
    const std::string file = out.bytes();
    for (auto _ : state) {
        MemoryStream in(file);
        in.knownLength = true;
        in.Prepare();
        PointList3 back;
        int32_t line;
        benchmark::DoNotOptimize(PointList3_Read(&back, &in.stream, &line, nullptr));
        PointList3_Free(&back);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_LoadPointList)->Args({100000, 0})->Args({100000, 1});

}  // namespace

BENCHMARK_MAIN();
