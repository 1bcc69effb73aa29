// Morlith.dll as the main program uses it: loaded by name, its five exports
// looked up by name (and no other in its export table), the context played
// through raw byte offsets rather than the library's header, a message
// function of the host's own collecting the lines, a progress thread polling
// and cancelling, and a stored solution whose arrays the host allocated.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

// Byte offsets of the context and of the records inside it. The shipped
// 32-bit layout is the library's published table; the 64-bit test build
// lays out the same records with 8-byte pointers.
struct Layout {
    size_t size, hostMessage, stage, progress, abort, input, inputCount, solution, surface, simplified, output,
        livePoints, liveTriangles;
    // Inside the solution.
    size_t centreCount, coeffCount, achieved, defaultEval, centres, coeffs, indices, polyBase, dataMin, dataMax,
        basicType, basicC, basicK, polyDegree, rho, fitType, creator;
    // Inside a mesh.
    size_t pointLocation, pointCount, triCount, tri;
};

#if defined(_WIN64)
constexpr Layout kLayout = {704, 136, 144, 160, 172, 200, 248, 272, 472, 576, 680, 688, 696, 0, 4,  8,  16,
                            24,  32,  40,  48,  72,  96,  120, 128, 136, 144, 152, 160, 164, 0, 48, 72, 80};
#else
constexpr Layout kLayout = {576, 136, 140, 152, 164, 184, 208, 232, 424, 492, 560, 564, 568, 0, 4,  8,  16,
                            24,  28,  32,  40,  64,  88,  112, 120, 128, 136, 144, 152, 156, 0, 24, 44, 52};
#endif

// The 34 parameter words by index.
enum Field {
    kInputResolution = 20,
    kAccuracy = 23,
    kResolution = 24,
    kMemoryToUse = 25,
    kExtraTrim = 26,
    kClose = 27,
    kDoSimplify = 28,
    kSimpError = 29,
    kSimpNFaces = 31,
};

struct Params {
    uint32_t word[34] = {};
    Params() {
        for (int k = 0; k < 4; ++k) Float(5 * k, 1.0f);
    }
    void Float(int field, float value) { std::memcpy(&word[field], &value, 4); }
    void Int(int field, int32_t value) { std::memcpy(&word[field], &value, 4); }
};

using HostMessage = int (*)(int32_t, const char*, va_list);
using SetFuncs = int (*)(void*, HostMessage);
using SetParams = int (*)(void*, const void*, int32_t);
using SetInput = int (*)(void*, int32_t, const float*);
using Process = int (*)(void*, int32_t, const float*, const float*);
using FreeData = int (*)(void*);

std::mutex g_linesLock;
std::vector<std::string> g_lines;

int CollectLine(int32_t level, const char* format, va_list args) {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    std::lock_guard<std::mutex> lock(g_linesLock);
    g_lines.push_back(std::to_string(level) + ": " + text);
    return 0;
}

bool Said(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_linesLock);
    return std::find(g_lines.begin(), g_lines.end(), line) != g_lines.end();
}

void ClearLines() {
    std::lock_guard<std::mutex> lock(g_linesLock);
    g_lines.clear();
}

template <typename Function>
Function Find(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The library, loaded once for the run as the main program does.
struct Library {
    HMODULE module = nullptr;
    SetFuncs setFuncs = nullptr;
    SetParams setParams = nullptr;
    SetInput setInput = nullptr;
    Process process = nullptr;
    FreeData freeData = nullptr;
};

const Library& Morlith() {
    static const Library library = [] {
        Library l;
        l.module = LoadLibraryA("Morlith.dll");
        if (l.module == nullptr) return l;
        l.setFuncs = Find<SetFuncs>(l.module, "Morlith_SetFuncs");
        l.setParams = Find<SetParams>(l.module, "Morlith_SetParams");
        l.setInput = Find<SetInput>(l.module, "Morlith_SetInput");
        l.process = Find<Process>(l.module, "Morlith_Process");
        l.freeData = Find<FreeData>(l.module, "Morlith_FreeData");
        return l;
    }();
    return library;
}

// A zero-filled context of the host's own, read and written by offset.
struct Context {
    std::vector<uint64_t> bytes = std::vector<uint64_t>(kLayout.size / 8, 0);
    unsigned char* base() { return reinterpret_cast<unsigned char*>(bytes.data()); }
    template <typename T>
    T Get(size_t offset) {
        T value;
        std::memcpy(&value, base() + offset, sizeof value);
        return value;
    }
    template <typename T>
    void Set(size_t offset, T value) {
        std::memcpy(base() + offset, &value, sizeof value);
    }
    int32_t Stage() { return Get<int32_t>(kLayout.stage); }
    unsigned char* Output() { return Get<unsigned char*>(kLayout.output); }
    int32_t Count(unsigned char* mesh, size_t field) {
        int32_t n;
        std::memcpy(&n, mesh + field, 4);
        return n;
    }
    ~Context() {
        if (Morlith().freeData != nullptr) Morlith().freeData(base());
    }
};

// A sphere of radius 50 with n area-uniform points and their normals.
struct Sphere {
    std::vector<float> points, normals;
    explicit Sphere(int32_t n) {
        std::mt19937 rng(2500);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        for (int32_t i = 0; i < n; ++i) {
            const double z = 2.0 * u(rng) - 1.0, t = 6.283185307179586 * u(rng), r = std::sqrt(1.0 - z * z);
            const double g[3] = {r * std::cos(t), r * std::sin(t), z};
            for (int k = 0; k < 3; ++k) {
                normals.push_back(static_cast<float>(g[k]));
                points.push_back(static_cast<float>(50.0 * g[k]));
            }
        }
    }
    int32_t count() const { return static_cast<int32_t>(points.size() / 3); }
};

const Sphere& Scan() {
    static const Sphere sphere(2500);
    return sphere;
}

Params SphereParams() {
    Params p;
    p.Float(kInputResolution, 3.5f);  // the mean spacing of 2500 points on the sphere
    p.Float(kAccuracy, 0.1f);
    p.Float(kResolution, 2.0f);
    p.Int(kMemoryToUse, 256);
    p.Int(kClose, 1);
    p.Float(kSimpError, 1e10f);
    return p;
}

int Build(Context* c, const Params& p, int32_t force = 0) {
    Morlith().setFuncs(c->base(), &CollectLine);
    Morlith().setParams(c->base(), p.word, force);
    return Morlith().process(c->base(), Scan().count(), Scan().points.data(), Scan().normals.data());
}

TEST(MorlithHost, LoadsByNameAndExportsExactlyTheFive) {
    const Library& l = Morlith();
    ASSERT_NE(l.module, nullptr) << "Morlith.dll not found";
    EXPECT_NE(l.setFuncs, nullptr);
    EXPECT_NE(l.setParams, nullptr);
    EXPECT_NE(l.setInput, nullptr);
    EXPECT_NE(l.process, nullptr);
    EXPECT_NE(l.freeData, nullptr);

    // The export table of the loaded image, read from its headers.
    const auto* image = reinterpret_cast<const unsigned char*>(l.module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(entry.VirtualAddress, 0u);
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(image + entry.VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(image + exports->AddressOfNames);
    std::vector<std::string> listed;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        listed.push_back(reinterpret_cast<const char*>(image + names[i]));
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{"Morlith_FreeData", "Morlith_Process", "Morlith_SetFuncs",
                                                "Morlith_SetInput", "Morlith_SetParams"}));
    EXPECT_EQ(exports->NumberOfFunctions, 5u);
}

TEST(MorlithHost, BuildsTheSphereThenRepeatsOnlyTheSimplification) {
    ASSERT_NE(Morlith().process, nullptr);
    Context c;
    ClearLines();
    Params p = SphereParams();
    ASSERT_EQ(Build(&c, p, 1), 1);
    EXPECT_EQ(c.Stage(), 2);
    ASSERT_EQ(c.Output(), c.base() + kLayout.surface);
    const int32_t points = c.Count(c.Output(), kLayout.pointCount);
    const int32_t faces = c.Count(c.Output(), kLayout.triCount);
    EXPECT_GT(points, 1000);
    EXPECT_GT(faces, 2000);
    // Every vertex lies near the sphere.
    const double* xyz = c.Get<const double*>(kLayout.surface + kLayout.pointLocation);
    double worst = 0.0;
    for (int32_t i = 0; i < points; ++i)
        worst = std::max(worst, std::fabs(std::sqrt(xyz[3 * i] * xyz[3 * i] + xyz[3 * i + 1] * xyz[3 * i + 1] +
                                                    xyz[3 * i + 2] * xyz[3 * i + 2]) -
                                          50.0));
    EXPECT_LT(worst, 0.5);
    for (const char* line : {"3: Creating density data from normals", "3: Fitting RBF", "3: Finished fitting RBF",
                             "3: Isosurfacing RBF", "3: Finished isosurfacing RBF"})
        EXPECT_TRUE(Said(line)) << line;
    EXPECT_EQ(c.Get<int32_t*>(kLayout.liveTriangles), nullptr);

    for (int32_t target : {faces / 4, faces / 8}) {
        SCOPED_TRACE(target);
        ClearLines();
        p.Int(kDoSimplify, 1);
        p.Int(kSimpNFaces, target);
        ASSERT_EQ(Build(&c, p), 1);
        EXPECT_EQ(c.Stage(), 3);
        ASSERT_EQ(c.Output(), c.base() + kLayout.simplified);
        EXPECT_LE(c.Count(c.Output(), kLayout.triCount), target);
        EXPECT_TRUE(Said("3: Simplifying mesh"));
        EXPECT_TRUE(Said("3: Finished simplifying mesh"));
        EXPECT_FALSE(Said("3: Fitting RBF"));
        EXPECT_FALSE(Said("3: Isosurfacing RBF"));
    }
}

TEST(MorlithHost, ProgressThreadCancelsDuringSurfacing) {
    ASSERT_NE(Morlith().process, nullptr);
    Context c;
    ClearLines();
    Params p = SphereParams();
    ASSERT_EQ(Build(&c, p, 1), 1);
    const int32_t centres = c.Get<int32_t>(kLayout.solution + kLayout.centreCount);
    ASSERT_GT(centres, 0);

    // A resolution fine enough that surfacing lasts seconds.
    p.Float(kResolution, 0.2f);
    std::atomic<bool> done{false}, cancelled{false};
    std::atomic<int32_t> polls{0}, lastCount{-1};
    std::thread progress([&] {
        volatile unsigned char* base = c.base();
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            double fraction;
            std::memcpy(&fraction, const_cast<unsigned char*>(base) + kLayout.progress, sizeof fraction);
            int32_t* live;
            std::memcpy(&live, const_cast<unsigned char*>(base) + kLayout.liveTriangles, sizeof live);
            ++polls;
            if (live != nullptr && !cancelled) {
                lastCount = *static_cast<volatile int32_t*>(live);
                const int32_t one = 1;
                std::memcpy(const_cast<unsigned char*>(base) + kLayout.abort, &one, 4);
                cancelled = true;
            }
        }
    });
    ClearLines();
    const int result = Build(&c, p);
    done = true;
    progress.join();
    EXPECT_TRUE(cancelled);
    EXPECT_GE(lastCount, 0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(c.Stage(), 1);
    EXPECT_EQ(c.Get<int32_t>(kLayout.solution + kLayout.centreCount), centres);
    EXPECT_EQ(c.Get<int32_t>(kLayout.abort), 0);
    EXPECT_EQ(c.Get<int32_t*>(kLayout.liveTriangles), nullptr);
    EXPECT_EQ(c.Get<double*>(kLayout.surface + kLayout.pointLocation), nullptr);
    EXPECT_TRUE(Said("3: Isosurfacing RBF"));
    EXPECT_FALSE(Said("3: Fitting RBF"));

    // The next build starts at the surface.
    ClearLines();
    p.Float(kResolution, 2.0f);
    ASSERT_EQ(Build(&c, p), 1);
    EXPECT_FALSE(Said("3: Fitting RBF"));
    EXPECT_TRUE(Said("3: Finished isosurfacing RBF"));
    EXPECT_EQ(c.Stage(), 2);
}

TEST(MorlithHost, StoredSolutionInTheHostsOwnArrays) {
    ASSERT_NE(Morlith().process, nullptr);
    Context fitted;
    const Params p = SphereParams();
    ASSERT_EQ(Build(&fitted, p, 1), 1);

    // The stored solution as a scan file gives it back: arrays from the
    // host's own allocator, scalar fields copied.
    const size_t s = kLayout.solution;
    const int32_t n = fitted.Get<int32_t>(s + kLayout.centreCount);
    const int32_t m = fitted.Get<int32_t>(s + kLayout.coeffCount);
    auto* centres = static_cast<double*>(std::malloc(sizeof(double) * 3 * n));
    auto* coeffs = static_cast<double*>(std::malloc(sizeof(double) * m));
    std::memcpy(centres, fitted.Get<const double*>(s + kLayout.centres), sizeof(double) * 3 * n);
    std::memcpy(coeffs, fitted.Get<const double*>(s + kLayout.coeffs), sizeof(double) * m);

    Context loaded;
    std::memcpy(loaded.base(), p.word, sizeof p.word);
    std::memcpy(loaded.base() + s, fitted.base() + s, kLayout.surface - kLayout.solution);
    loaded.Set(s + kLayout.centres, centres);
    loaded.Set(s + kLayout.coeffs, coeffs);
    loaded.Set<int32_t*>(s + kLayout.indices, nullptr);
    Morlith().setInput(loaded.base(), Scan().count(), Scan().points.data());
    EXPECT_EQ(loaded.Get<int32_t>(kLayout.inputCount), Scan().count());
    loaded.Set<int32_t>(kLayout.stage, 1);

    ClearLines();
    Morlith().setFuncs(loaded.base(), &CollectLine);
    Morlith().setParams(loaded.base(), p.word, 0);
    EXPECT_EQ(loaded.Stage(), 1);
    ASSERT_EQ(Morlith().process(loaded.base(), 0, nullptr, nullptr), 1);
    EXPECT_FALSE(Said("3: Fitting RBF"));
    EXPECT_TRUE(Said("3: Finished isosurfacing RBF"));
    ASSERT_EQ(loaded.Output(), loaded.base() + kLayout.surface);
    EXPECT_EQ(loaded.Count(loaded.Output(), kLayout.triCount),
              fitted.Count(fitted.base() + kLayout.surface, kLayout.triCount));

    // The library frees the host's arrays with the same run-time allocator.
    Morlith().freeData(loaded.base());
    EXPECT_EQ(loaded.Stage(), 0);
    EXPECT_EQ(loaded.Get<double*>(s + kLayout.centres), nullptr);
    EXPECT_EQ(loaded.Get<double*>(s + kLayout.coeffs), nullptr);
    EXPECT_EQ(loaded.Get<double*>(kLayout.input), nullptr);
}

}  // namespace
