#include "surface/fit/dom_decomp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "surface/frame/core_reporter.h"
#include "surface/fit/spatial_division.h"
#include "surface/fit/tests/point_clouds.h"
#include "surface/frame/tracked_matrix.h"

namespace {

// Collects the messages of a core reporter.
struct Messages {
    std::vector<std::string> lines;
    CoreReporter reporter;
    int32_t abort = 0;
    explicit Messages(int32_t level = 6, int32_t mask = 0) {
        CoreReporter_Init(&reporter, &abort, nullptr, level, mask, &Messages::Take, this);
    }
    static int Take(void* user, int32_t, const char* format, va_list args) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        static_cast<Messages*>(user)->lines.push_back(text);
        return 0;
    }
    bool Has(const std::string& s) const { return std::find(lines.begin(), lines.end(), s) != lines.end(); }
};

struct Decomposition {
    SDData sd{};
    int status;
    Decomposition(Cloud& c, const DomDecompOptions* o, const CoreReporter* r = nullptr) {
        status = DomDecomp_Setup(c.N(), c.d, c.Table(), o, &sd, r);
    }
    ~Decomposition() { DomDecomp_Free(&sd); }
};

DomDecompOptions Defaults(int32_t method = 0) {
    DomDecompOptions o;
    DomDecomp_DefaultOptions(&o);
    o.OuterMethod = method;
    return o;
}

bool Inside(const double* box, const double* p, int32_t d) {
    for (int32_t k = 0; k < d; ++k)
        if (p[k] < box[k] || p[k] > box[d + k]) return false;
    return true;
}

// The construction replayed step by step, to read each search's target:
// the most outer points a subdomain may hold. The slab search keeps at most
// its target times the overshoot factor; the orthant search at most the
// overshoot of its largest share in each of the 2^d orthants.
std::vector<int32_t> OuterLimits(const SDData& sd, Cloud& c) {
    const DomDecompOptions& o = sd.options;
    const int32_t d = c.d, N = c.N();
    int32_t** lists = Mem_AllocIntMatrix(d, N);
    SpatialPanel* panels = nullptr;
    int32_t numPanels = 0;
    double box[6];
    if (o.Scaling != 0)
        SpatialDivision_BuildWeighted(N, c.Table(), d, o.MaxPoints, o.Scale, &panels, &numPanels, lists, box, 0,
                                      nullptr);
    else
        SpatialDivision_Build(N, c.Table(), d, o.MaxPoints, &panels, &numPanels, lists, box, 0, nullptr);
    KdTreeN tree{};
    KdTreeN_Build(N, d, c.Table(), &tree, nullptr, nullptr);
    SubdomainBuilder b;
    SDData copy = sd;
    DomDecomp_SubdomainSolveInit(&b, &copy, d, N, c.Table(), &tree, box, nullptr);
    std::vector<int32_t> limits;
    for (int32_t i = 0; i < numPanels; ++i) {
        Subdomain s{};
        Subdomain_Setup(&b, &s, lists[0] + panels[i].start, panels[i].end - panels[i].start, panels[i].box);
        EXPECT_EQ(s.count, sd.subdomains[i].count);
        int32_t limit = static_cast<int32_t>(b.lastTarget * o.TooBigFact);
        if (o.OuterMethod != 1) {
            // Each orthant's share, plus the points of other panels that lie in
            // the inner points' box itself (on its faces, or all of them when
            // points coincide): an orthant starts from those.
            limit = (1 << d) * (limit + 1);
            double B[6];
            for (int32_t k = 0; k < d; ++k) B[k] = 1e300, B[d + k] = -1e300;
            for (int32_t j = s.numOuter; j < s.count; ++j)
                for (int32_t k = 0; k < d; ++k) {
                    B[k] = std::min(B[k], c.rows[s.list[j]][k]);
                    B[d + k] = std::max(B[d + k], c.rows[s.list[j]][k]);
                }
            for (int32_t j = 0; j < s.numOuter; ++j) limit += Inside(B, c.rows[s.list[j]], d);
        }
        limits.push_back(limit);
        Subdomain_Free(&s);
    }
    DomDecomp_SubdomainSolveFree(&b);
    KdTreeN_Free(&tree);
    SpatialDivision_Free(panels, numPanels);
    Mem_FreeIntMatrix(lists);
    return limits;
}

void ExpectSound(const SDData& sd, Cloud& c) {
    const int32_t d = c.d, N = c.N();
    std::vector<int32_t> innerOf(N, 0);
    ASSERT_GT(sd.count, 0);
    const std::vector<int32_t> limits = OuterLimits(sd, c);
    ASSERT_EQ(static_cast<int32_t>(limits.size()), sd.count);
    int32_t largest = 0;
    for (int32_t i = 0; i < sd.count; ++i) {
        const Subdomain& s = sd.subdomains[i];
        SCOPED_TRACE(i);
        const int32_t numInner = s.count - s.numOuter;
        EXPECT_GE(numInner, 1);
        EXPECT_LE(numInner, sd.options.MaxPoints);
        EXPECT_LE(s.count, s.listCapacity);
        largest = std::max(largest, s.count);
        std::vector<int32_t> outer(s.list, s.list + s.numOuter), inner(s.list + s.numOuter, s.list + s.count);
        std::sort(outer.begin(), outer.end());
        std::sort(inner.begin(), inner.end());
        EXPECT_EQ(std::unique(outer.begin(), outer.end()), outer.end());
        std::vector<int32_t> both;
        std::set_intersection(outer.begin(), outer.end(), inner.begin(), inner.end(), std::back_inserter(both));
        EXPECT_TRUE(both.empty());
        for (int32_t p : inner) {
            ++innerOf[p];
            EXPECT_TRUE(Inside(s.innerBox, c.rows[p], d));
        }
        for (int32_t p : outer) EXPECT_TRUE(Inside(s.outerBox, c.rows[p], d));
        for (int32_t k = 0; k < d; ++k) {
            EXPECT_LE(s.outerBox[k], s.innerBox[k]);
            EXPECT_GE(s.outerBox[d + k], s.innerBox[d + k]);
        }
        EXPECT_LE(s.numOuter, limits[i]);
        EXPECT_GE(s.numOuter, std::min(sd.options.MinNumOuter, N - numInner));
        EXPECT_EQ(s.factor, nullptr);
    }
    EXPECT_EQ(sd.maxSize, largest);
    for (int32_t p = 0; p < N; ++p) ASSERT_EQ(innerOf[p], 1) << "point " << p;
}

TEST(DomDecomp, SubdomainsCoverRandomPointsAndShells) {
    for (int32_t method : {0, 1})
        for (int32_t d : {2, 3})
            for (bool shell : {false, true}) {
                SCOPED_TRACE(std::string(method ? "slab " : "orthant ") + std::to_string(d) + "D " +
                             (shell ? "shell" : "uniform"));
                Cloud c = shell ? ShellCloud(d, 20000, 31) : UniformCloud(d, 20000, 32);
                DomDecompOptions o = Defaults(method);
                o.MinNumOuter = d + 1;
                TrackedScope memory;
                {
                    Decomposition dd(c, &o);
                    ASSERT_EQ(dd.status, 0);
                    EXPECT_EQ(dd.sd.badSubdomain, -1);
                    EXPECT_EQ(dd.sd.capacity, static_cast<int32_t>(dd.sd.count * 1.4) + 1);
                    EXPECT_EQ(dd.sd.options.MaxPoints, d == 2 ? 70 : 30);
                    ExpectSound(dd.sd, c);
                }
                EXPECT_EQ(memory.Held(), 0u);
            }
}

TEST(DomDecomp, SmallAndFlatSets) {
    struct Case {
        std::string what;
        Cloud cloud;
    };
    std::vector<Case> cases = {
        {"3D plane", UniformCloud(3, 3000, 33)},         {"fewer points than a leaf", UniformCloud(3, 12, 34)},
        {"2D few points", UniformCloud(2, 150, 35)},     {"3D line", UniformCloud(3, 400, 36)},
        {"coincident points", UniformCloud(3, 200, 43)}, {"zero layers", UniformCloud(2, 500, 44)},
    };
    for (double* p : cases[0].cloud.rows) p[1] = 0.25;
    for (double* p : cases[3].cloud.rows) p[1] = p[2] = 0.0;
    for (double* p : cases[4].cloud.rows) p[0] = p[1] = p[2] = 0.5;
    for (Case& c : cases)
        for (int32_t method : {0, 1}) {
            SCOPED_TRACE(c.what + (method ? " slab" : " orthant"));
            DomDecompOptions o = Defaults(method);
            o.MinNumOuter = 4;
            // Layers of no thickness cannot grow a search: it must still end.
            if (c.what == "zero layers") o.NumLayers = 0.0;
            Decomposition dd(c.cloud, &o);
            ASSERT_EQ(dd.status, 0);
            ExpectSound(dd.sd, c.cloud);
        }
}

TEST(DomDecomp, DefaultSizesByDimensionAndCount) {
    const struct {
        int32_t d, N, maxPoints;
        double layers;
    } cases[] = {
        {3, 5000, 30, 1.6}, {3, 200000, 50, 1.8}, {2, 20000, 70, 1.8}, {2, 10000, 70, 2.8}, {3, 100000, 30, 1.8}};
    for (const auto& c : cases) {
        DomDecompOptions o = Defaults();
        DomDecomp_ChooseSizes(&o, c.N, c.d, nullptr);
        EXPECT_EQ(o.MaxPoints, c.maxPoints);
        EXPECT_EQ(o.NumLayers, c.layers);
    }
    DomDecompOptions o = Defaults();
    o.MaxPoints = 12;
    o.NumLayers = 0.5;
    Messages m(5);
    DomDecomp_ChooseSizes(&o, 100, 3, &m.reporter);
    EXPECT_EQ(o.MaxPoints, 12);
    EXPECT_EQ(o.NumLayers, 0.5);
    EXPECT_TRUE(m.Has("MaxPoints   = 12"));
    EXPECT_TRUE(m.Has("TooSmallFact= 0.90"));
}

TEST(DomDecomp, OptionChecks) {
    const struct {
        const char* what;
        void (*change)(DomDecompOptions*);
        const char* message;
    } cases[] = {
        {"ratio 1", [](DomDecompOptions* o) { o->MallocRatio = 1.0; }, nullptr},
        {"big 1", [](DomDecompOptions* o) { o->TooBigFact = 1.0; }, nullptr},
        {"small 0.5", [](DomDecompOptions* o) { o->TooSmallFact = 0.5; }, nullptr},
        {"small 1", [](DomDecompOptions* o) { o->TooSmallFact = 1.0; }, nullptr},
        {"ratio", [](DomDecompOptions* o) { o->MallocRatio = 0.99; }, "MallocRatio must be greater than 1"},
        {"scaling", [](DomDecompOptions* o) { o->Scaling = 3; }, "Scaling value out of range"},
        {"big", [](DomDecompOptions* o) { o->TooBigFact = 0.9; }, "TooBigFactor value must be greater than 1"},
        {"small", [](DomDecompOptions* o) { o->TooSmallFact = 0.49; },
         "TooSmallFactor value must be between 0.5 and 1"},
        {"small above", [](DomDecompOptions* o) { o->TooSmallFact = 1.01; },
         "TooSmallFactor value must be between 0.5 and 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DomDecompOptions o = Defaults();
        c.change(&o);
        Messages m(1);
        EXPECT_EQ(DomDecomp_CheckOptions(&o, &m.reporter), c.message ? 0 : 1);
        if (c.message) {
            EXPECT_EQ(m.lines, std::vector<std::string>{c.message});
        }
    }
    Cloud cloud = UniformCloud(2, 50, 37);
    DomDecompOptions bad = Defaults();
    bad.TooSmallFact = 0.2;
    Decomposition dd(cloud, &bad);
    EXPECT_EQ(dd.status, 5);
    EXPECT_EQ(dd.sd.subdomains, nullptr);
}

TEST(DomDecomp, InputChecksComeBeforeAnyAllocation) {
    Cloud c = UniformCloud(3, 100, 38);
    SDData sd{};
    Messages m(1);
    TrackedScope memory;
    EXPECT_EQ(DomDecomp_Setup(c.N(), 4, c.Table(), nullptr, &sd, &m.reporter), 7);
    EXPECT_EQ(DomDecomp_Setup(c.N(), 3, c.Table(), nullptr, nullptr, &m.reporter), 23);
    EXPECT_EQ(DomDecomp_Setup(0, 3, c.Table(), nullptr, &sd, &m.reporter), 5);
    EXPECT_EQ(DomDecomp_Setup(5, 3, nullptr, nullptr, &sd, &m.reporter), 5);
    EXPECT_EQ(m.lines, (std::vector<std::string>{"Dimension argument out of range", "SDData argument is NULL",
                                                 "Invalid points array or number of points",
                                                 "Invalid points array or number of points"}));
    EXPECT_EQ(memory.Held(), 0u);
}

TEST(DomDecomp, ScalingFactors) {
    Cloud c = UniformCloud(2, 2000, 39);
    for (double* p : c.rows) p[1] *= 0.1;
    DomDecompOptions o = Defaults();
    o.Scaling = 1;
    Decomposition automatic(c, &o);
    ASSERT_EQ(automatic.status, 0);
    EXPECT_NEAR(automatic.sd.options.Scale[0], 1.0, 1e-12);
    EXPECT_NEAR(automatic.sd.options.Scale[1], 10.0, 0.1);
    ExpectSound(automatic.sd, c);

    o.Scaling = 2;
    o.Scale[0] = 1.0, o.Scale[1] = 0.0;
    Decomposition zero(c, &o);
    EXPECT_EQ(zero.status, 24);
    EXPECT_EQ(zero.sd.subdomains, nullptr);
}

TEST(DomDecomp, StatisticsLines) {
    Cloud c = UniformCloud(3, 3000, 40);
    Messages m(5, kCategoryDecomposition);
    Decomposition dd(c, nullptr, &m.reporter);
    ASSERT_EQ(dd.status, 0);
    int32_t min = 0, max = 0, avg = 0, factors = -1;
    DomDecomp_PrintStats(&dd.sd, &min, &max, &avg, &factors, nullptr);
    EXPECT_EQ(max, dd.sd.maxSize);
    EXPECT_LE(min, avg);
    EXPECT_LE(avg, max);
    EXPECT_EQ(factors, 0);
    char line[128];
    std::snprintf(line, sizeof line, "NumSubdomains = %d, NumCholeskys = 0", dd.sd.count);
    EXPECT_TRUE(m.Has(line));
    std::snprintf(line, sizeof line, "Subdomain sizes: Min = %d, Max = %d, Avg = %d", min, max, avg);
    EXPECT_TRUE(m.Has(line));

    Messages quiet(5, kCategoryDirectFit);  // another category: nothing
    Decomposition other(c, nullptr, &quiet.reporter);
    EXPECT_TRUE(quiet.lines.empty());
}

TEST(DomDecomp, CancelAndOutOfMemoryLeaveNothing) {
    Cloud c = UniformCloud(3, 1500, 41);
    {
        TrackedScope memory;
        Messages m(1);
        m.abort = 1;
        {
            Decomposition dd(c, nullptr, &m.reporter);
            EXPECT_EQ(dd.status, 10);
            EXPECT_EQ(dd.sd.subdomains, nullptr);
        }
        EXPECT_EQ(memory.Held(), 0u);
    }
    int failures = 0;
    bool succeeded = false;
    for (int32_t allowed = 0; !succeeded && allowed < 10000000; allowed += 1 + allowed / 8) {
        TrackedScope memory;
        SDData sd{};
        Mem_FailAllocationsAfterForTesting(allowed);
        const int status = DomDecomp_Setup(c.N(), 3, c.Table(), nullptr, &sd, nullptr);
        Mem_FailAllocationsAfterForTesting(-1);
        DomDecomp_Free(&sd);
        EXPECT_EQ(memory.Held(), 0u) << allowed;
        succeeded = status == 0;
        if (succeeded) break;
        ASSERT_EQ(status, 2) << allowed;
        ++failures;
    }
    EXPECT_TRUE(succeeded);
    EXPECT_GT(failures, 5);
}

TEST(DomDecomp, FreeFactorsKeepsTheSets) {
    Cloud c = UniformCloud(2, 500, 42);
    Decomposition dd(c, nullptr);
    ASSERT_EQ(dd.status, 0);
    Subdomain& s = dd.sd.subdomains[0];
    s.factor = Mem_AllocLowerTriangle(3);
    s.polyMatrix = Mem_AllocMatrix(3, 3);
    DomDecomp_FreeFactors(&dd.sd);
    EXPECT_EQ(s.factor, nullptr);
    EXPECT_EQ(s.polyMatrix, nullptr);
    EXPECT_GT(s.count, 0);
}

TEST(DomDecomp, SubdomainSizeForABudget) {
    int32_t size = 0;
    const double budget = 256.0 * 1024 * 1024;
    ASSERT_EQ(DomDecomp_ChooseSubdomainSize(budget, 3, 4, &size), 0);
    auto bytes = [](int32_t n) {
        return static_cast<double>(DomDecomp_CoarseBytes(n, 4, 1.0) + DomDecomp_SubdomainBytes(n, 3, 4));
    };
    EXPECT_GT(size, 1000);
    EXPECT_LE(bytes(size), budget);
    EXPECT_GT(bytes(size + 10), budget);
    // A budget too small for any size.
    EXPECT_NE(DomDecomp_ChooseSubdomainSize(10.0, 3, 4, &size), 0);
    EXPECT_EQ(size, -1);
    // Sizes beyond 32-bit byte counts stay large.
    EXPECT_GT(DomDecomp_CoarseBytes(100000, 4, 1.0), DomDecomp_CoarseBytes(30000, 4, 1.0));
    EXPECT_EQ(DomDecomp_SubdomainBytes(10, 3, 4), 4u * (4 + 2 * (10 * 8 + 20)) + 4);
}

}  // namespace

namespace {

// Runs a test body in a fresh folder of its own and reads the files made.
struct InFolder {
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::path folder;
    explicit InFolder(const char* name) : folder(std::filesystem::temp_directory_path() / name) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
    }
    ~InFolder() {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(folder);
    }
    static std::string Read(const char* file) {
        std::ifstream in(file);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
};

TEST(DomDecompDebug, BadSubdomainFilesAndMatlabScript) {
    Cloud c;
    c.d = 2;
    for (int i = 0; i < 6; ++i) c.Add({0.5 * i, 1.0 + i});
    int32_t list[] = {4, 5, 0, 1};
    double boxes[8] = {0, 1, 1, 3, -1, 1, 3, 6};
    Subdomain s{};
    s.list = list;
    s.numOuter = 2;
    s.count = 4;
    s.listCapacity = 4;
    s.innerBox = boxes;
    s.outerBox = boxes + 4;
    s.unisolventCount = 3;
    InFolder here("dd_debug_test");
    DomDecomp_DumpBadSubdomain(c.Table(), 2, &s, 7, 0.25, 9, -1.5);
    EXPECT_EQ(InFolder::Read("bad_subdomain1.txt"), "2 5 \n2.5 6 \n0 1 \n0.5 2 \n");
    EXPECT_EQ(InFolder::Read("bad_subdomain2.txt"), "4\n5\n0\n1\n");
    EXPECT_EQ(InFolder::Read("bad_subdomain3.txt"), "3\n2\n-1.5\n7\n0.25\n9\n");

    SDData sd{};
    sd.subdomains = &s;
    sd.count = 1;
    ASSERT_EQ(DomDecomp_WriteMatlab(&sd, "dd.m", "S", 2, 1), 0);
    EXPECT_EQ(InFolder::Read("dd.m"),
              "S(1).InInner = 2;\nS(1).Count = 4;\nS(1).CentreList = [5\n6\n1\n2];\n"
              "S(1).CentreList = S(1).CentreList';\n"
              "S(1).dom = [0.000000e+00\n1.000000e+00\n1.000000e+00\n3.000000e+00\n"
              "-1.000000e+00\n3.000000e+00\n1.000000e+00\n6.000000e+00];\n");
    EXPECT_NE(DomDecomp_WriteMatlab(&sd, "no/such/folder/dd.m", "S", 2, 0), 0);
}

}  // namespace
