// The RBF surface of the simulator's limb scan through the driver, the
// build's own loader and the real Morlith.dll beside this program: trimmed to
// the data with no margin, its vertices lie on the true limb within the fit
// accuracy + 0.26 mm at the 99th percentile (RMS and percentile printed).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/scan/basic_surface.h"
#include "app/scan/rbf_surface.h"
#include "bench/limb_acquisition.h"
#include "sim/scene.h"

namespace {

std::vector<std::string> g_errors;

int MORLITH_CALL Collect(int32_t level, const char* format, va_list args) {
    if (level != 1) return 0;
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    g_errors.push_back(text);
    return 0;
}

TEST(RbfLimb, TheSurfaceTrimmedToTheDataLiesOnTheTrueLimb) {
    RbfLib_SetLoader(nullptr);
    ASSERT_EQ(RbfLib_Load(), 1) << "Morlith.dll beside the test, with its five exports";
    auto device = bench::LimbDevice();
    ASSERT_NE(device, nullptr);
    auto scan = std::make_unique<scan_test::TestScan>(256u << 20);
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error) / "rbf_limb_test";
    std::filesystem::create_directories(folder, error);
    ASSERT_TRUE(bench::AcquireScenario(*device, *scan, folder.string() + "/"));

    GeneralSettings g{};
    GeneralSettings_SetDefaults(g, 0x00FFFFFF, 0);
    g.RbfParams.RbfTrimType = kRbfTrimTrim;
    g.RbfParams.RbfExtraTrim = 0.0f;
    ViewSettings view{};
    ViewSettings_SetDefaults(view);
    SurfaceRecord basic{}, rbf{};
    auto context = std::make_unique<ScanFitContext>();
    std::memset(context.get(), 0, sizeof(ScanFitContext));
    // The basic surface is built first, inside the RBF build.
    ASSERT_EQ(RbfSurf_Build(scan->raw(), g, view, 3, rbf, basic, *context, Collect, nullptr), 1)
        << (g_errors.empty() ? "" : g_errors.back());
    ASSERT_GT(rbf.NumPoints, 0);
    ASSERT_GT(rbf.NumFacets, 0);

    const sim::Scene& scene = device->GetScenario().scene;
    std::vector<double> d;
    double sum = 0.0;
    for (int32_t i = 0; i < rbf.NumPoints; ++i) {
        const Vec3& p = rbf.Points[i];
        d.push_back(scene.SurfaceDistance({p.x, p.y, p.z}));
        sum += d.back() * d.back();
    }
    std::sort(d.begin(), d.end());
    const double rms = std::sqrt(sum / d.size());
    const double p99 = d[static_cast<size_t>(0.99 * (d.size() - 1))];
    std::printf(
        "RBF surface of the limb: %d points, %d triangles; distance to the true limb RMS %.3f mm, "
        "99th percentile %.3f mm, largest %.3f mm\n",
        rbf.NumPoints, rbf.NumFacets, rms, p99, d.back());
    EXPECT_LT(p99, g.RbfParams.RbfAccuracy + 0.26);

    RbfLib_Exports().FreeData(context.get());
    Surface_Free(basic);
    Surface_Free(rbf);
}

}  // namespace
