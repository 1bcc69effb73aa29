// The AAOP Export Wizard end to end on a scan: the simulator's limb scenario
// runs through the program's field checks, profile building and processing
// into the scan; the program's RBF surface dialog builds the surface through
// the real Morlith.dll beside the test; command 40171 opens the wizard, and
// the distal closure road is walked through its controls (Automatically
// Align, both limits manual with the markers dragged, handedness, spacings)
// to the slicing and an export through the Save dialog. Every sample of the
// .aop file, taken back to scan coordinates with the set-up of the slicing's
// debug dump, must lie on the simulator's limb. Each page and the Complete
// page's strips are kept as pictures in aaop_limb_pictures/ and checked.
#include <windows.h>

#include <commdlg.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/files/png_image.h"
#include "app/scan/basic_surface.h"
#include "app/ui/surface_dialogs_win32.h"
#include "app/ui/tests/aaop_wizard_fixture_win32.h"
#include "app/ui/tests/shell_fixture_win32.h"
#include "bench/limb_acquisition.h"
#include "sim/scene.h"

namespace {

using modal_driver::Driver;
using modal_driver::Press;
using namespace aaop_wizard_test;

const char* kPictures = "aaop_limb_pictures";

class AaopWizardLimb : public AaopWizardFixture {};

// The view's own read-back kept as a PNG and the whole wizard as the screen
// shows it (where the view's GL picture may not appear); answers the drawn
// and the lit pixels and the share of the view's rows that have any.
struct Picture {
    int drawn = 0;
    int lit = 0;  // drawn and brighter than a shadow: shaded surface or strips
    double rows = 0;
};

Picture Keep(const std::string& name) {
    Picture picture;
    Image image;
    if (!Graph_ReadFrontBuffer(AaopWizard_View(), image)) return picture;
    int rowsDrawn = 0;
    for (int32_t y = 0; y < image.height; ++y) {
        int inRow = 0;
        for (int32_t x = 0; x < image.width; ++x) {
            const uint8_t* p = image.pixels + (static_cast<size_t>(y) * image.width + x) * 4;
            if (p[0] == 0x10 && p[1] == 0x20 && p[2] == 0x40) continue;
            ++inRow;
            if (p[0] + p[1] + p[2] > 150) ++picture.lit;
        }
        picture.drawn += inRow;
        rowsDrawn += inRow > 0 ? 1 : 0;
    }
    picture.rows = image.height > 0 ? static_cast<double>(rowsDrawn) / image.height : 0;
    const std::string base = std::string(kPictures) + "/" + name;
    if (std::FILE* f = std::fopen((base + "-view.png").c_str(), "wb")) {
        Png_Write(f, image.pixels, image.width, image.height);
        std::fclose(f);
    }
    Image_Free(&image);
    modal_driver::Screenshot(AaopWizard_Window(), base + "-wizard.bmp");
    return picture;
}

// A marker dragged with the mouse on the wizard to a bar position.
void DragMarker(int marker, int position) {
    HWND wizard = AaopWizard_Window();
    RECT r, bar;
    GetWindowRect(GetDlgItem(wizard, marker == 0 ? 1338 : 1339), &r);
    GetWindowRect(GetDlgItem(wizard, 1341), &bar);
    MapWindowPoints(nullptr, wizard, reinterpret_cast<POINT*>(&r), 2);
    MapWindowPoints(nullptr, wizard, reinterpret_cast<POINT*>(&bar), 2);
    const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    const int to = bar.top + position;
    SendMessageA(wizard, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageA(wizard, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, (y + to) / 2));
    SendMessageA(wizard, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, to));
    SendMessageA(wizard, WM_LBUTTONUP, 0, MAKELPARAM(x, to));
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

TEST_F(AaopWizardLimb, DistalClosureOfTheScannedLimb) {
    std::error_code error;
    std::filesystem::create_directories(kPictures, error);
    const std::string folder = TempPath("aaop_limb\\");
    std::filesystem::create_directories(folder, error);
    // The scan: every press of the built-in limb scenario, one sweep each.
    auto device = bench::LimbDevice();
    ASSERT_NE(device, nullptr);
    auto scan = std::make_unique<scan_test::TestScan>(256u << 20);
    ASSERT_TRUE(bench::AcquireScenario(*device, *scan, folder));
    AppState& app = App();
    RawData* const programScan = app.raw;
    struct Restore {
        RawData* scan;
        ~Restore() {
            Surface_Free(App().basic);
            App().raw = scan;
        }
    } restore{programScan};
    scan->raw().Stylus = programScan->Stylus;
    app.raw = &scan->raw();
    ASSERT_GT(app.raw->NumSweeps, 0);

    // The surfaces as the program builds them with its default settings: the
    // basic one, then the RBF surface through its dialog.
    ASSERT_EQ(BasicSurf_Build(app.settings, *app.raw, 3, app.basic, nullptr, nullptr) & ~2, 0);
    {
        Driver patience({}, 9000);
        ASSERT_EQ(RbfSurfaceDialog_Run(window_), 1);
    }
    ASSERT_GT(app.rbf.NumFacets, 0);
    const float accuracy = app.settings.RbfParams.RbfAccuracy, resolution = app.settings.RbfParams.RbfResolution;

    // The main view shows the whole scan.
    Nav_CenterOnScan(app.view, *app.raw);
    app.view.ZoomFactor = 0.12f;

    const std::string dump = folder + "slicing.dump", path = folder + "limb.aop";
    SetEnvironmentVariableA("TOLVARAN_AAOP_DUMP_FILE", dump.c_str());
    _putenv(("TOLVARAN_AAOP_DUMP_FILE=" + dump).c_str());
    DeleteFileA(path.c_str());
    std::vector<std::pair<std::string, Picture>> pictures;
    {
        Driver driver(
            {{1325,
              [&](HWND w) {
                  if (Title(w) != "Select Object Type" || DrawnPixels() <= 0) return false;
                  Click(1347);  // Distal closure
                  pictures.emplace_back(Title(w), Keep("1-object-type"));
                  return Press(w, 1325);
              }},
             {1325,
              [&](HWND w) {
                  if (Title(w) != "Choose Axis") return false;
                  Click(1346);  // Automatically Align
                  return true;
              }},
             {1325,
              [&](HWND w) {
                  if (DrawnPixels() <= 0) return false;
                  pictures.emplace_back(Title(w), Keep("2-axis"));
                  return Press(w, 1325);
              }},
             {1325,
              [&](HWND w) {
                  if (Title(w) != "Choose Vertical Limits and Spacing") return false;
                  CheckDlgButton(Page(), 1369, BST_CHECKED);  // Manually limit both ends
                  Click(1369);
                  ChooseSide(1);
                  CheckDlgButton(Page(), 1378, BST_UNCHECKED);
                  Click(1378);
                  SetDlgItemTextA(Page(), 1328, "8");
                  SendMessageA(Page(), WM_COMMAND, MAKEWPARAM(1328, EN_KILLFOCUS), 0);
                  SetDlgItemTextA(Page(), 1314, "10");
                  SendMessageA(Page(), WM_COMMAND, MAKEWPARAM(1314, EN_KILLFOCUS), 0);
                  // The limits at a quarter and three quarters of the
                  // scan's extent along the aligned axis.
                  const ViewSettings& view = AaopWizard_State().live;
                  const Vec3 up = AaopPages_ScreenVertical(view);
                  float low = 1e30f, high = -1e30f;
                  for (int32_t i = 0; i < app.raw->NumPoints; ++i) {
                      low = std::min(low, V3_Dot(app.raw->Points[i].Vertex, up));
                      high = std::max(high, V3_Dot(app.raw->Points[i].Vertex, up));
                  }
                  const float base = V3_Dot(view.ViewOrigin, up);
                  Vec3 upper, lower;
                  V3_AddScaled(view.ViewOrigin, low + 0.75f * (high - low) - base, up, upper);
                  V3_AddScaled(view.ViewOrigin, low + 0.25f * (high - low) - base, up, lower);
                  DragMarker(0, MarkerAt(upper));
                  DragMarker(1, MarkerAt(lower));
                  EXPECT_EQ(AaopWizard_State().markers[0], MarkerAt(upper));
                  EXPECT_EQ(AaopWizard_State().markers[1], MarkerAt(lower));
                  return true;
              }},
             {1325,
              [&](HWND w) {
                  if (DrawnPixels() <= 0) return false;
                  pictures.emplace_back(Title(w), Keep("3-limits"));
                  return Press(w, 1325);
              }},
             {1325,
              [&](HWND w) {
                  if (Title(w) != "Complete") return false;
                  SendMessageA(AaopWizard_View(), WM_PAINT, 0, 3);
                  pictures.emplace_back(Title(w), Keep("4-complete"));
                  return Press(w, 1325);
              }},
             {IDOK,
              [&](HWND save) {
                  SetDlgItemTextA(save, GetDlgItem(save, cmb13) ? cmb13 : edt1, path.c_str());
                  return Press(save, IDOK);
              }}},
            3000);
        SendMessageA(window_, WM_COMMAND, 40171, 0);
        EXPECT_TRUE(driver.Finished());
    }
    SetEnvironmentVariableA("TOLVARAN_AAOP_DUMP_FILE", nullptr);
    _putenv("TOLVARAN_AAOP_DUMP_FILE=");
    EXPECT_TRUE(g_messages.empty()) << (g_messages.empty() ? "" : g_messages[0].text);
    ASSERT_EQ(pictures.size(), 4u);
    for (const auto& [title, picture] : pictures) {
        SCOPED_TRACE(title);
        EXPECT_GT(picture.drawn, 2000);
        EXPECT_GT(picture.lit, 1000);
        EXPECT_GT(picture.rows, 0.15);
    }

    // The slicing's set-up as the dump has it.
    OrthoSliceSetup setup{};
    {
        std::ifstream in(dump, std::ios::binary);
        ASSERT_TRUE(in.read(reinterpret_cast<char*>(&setup), sizeof setup));
    }
    EXPECT_EQ(setup.EndMode, -1);
    EXPECT_EQ(setup.Side, kOrthoSideLeft);
    EXPECT_FLOAT_EQ(setup.SliceSpacing, 8);
    EXPECT_FLOAT_EQ(setup.AngleSpacing, 10);

    // The file, and every sample back in scan coordinates on the limb.
    const std::vector<std::string> lines = Lines(path);
    ASSERT_GT(lines.size(), 12u);
    ASSERT_EQ(lines[0], "AAOP1");
    EXPECT_EQ(lines[3], "CYLINDRICAL");
    EXPECT_EQ(lines[4], "LEFT");
    std::size_t at = 6 + 0;
    ASSERT_EQ(lines[5], "0");
    const int n = std::stoi(lines[at]);
    ASSERT_EQ(n, 36);
    const int slices = std::stoi(lines[at + 2]);
    ASSERT_GE(slices, 5);
    at += 4;
    ASSERT_EQ(lines.size(), at + slices + static_cast<std::size_t>(slices) * n);
    Matrix4 back;
    M4_InvertRigid(setup.Frame, back);
    const float lower = std::min(setup.Limit1, setup.Limit2);
    const sim::Scene& scene = device->GetScenario().scene;
    double worst = 0, sum = 0;
    for (int k = 0; k < slices; ++k) {
        const double h = std::stod(lines[at + k]);
        for (int j = 0; j < n; ++j) {
            const int i = n - 1 - j;  // the radii run from the last sample down
            const double r = std::stod(lines[at + slices + static_cast<std::size_t>(k) * n + j]);
            const double theta = i * 10.0 * kPi / 180;
            const Vec3 q{static_cast<float>(r * std::sin(theta)), static_cast<float>(h + lower),
                         static_cast<float>(r * std::cos(theta))};
            Vec3 p;
            M4_TransformPoint(back, q, p);
            V3_Add(p, setup.Origin, p);
            const double d = scene.SurfaceDistance({p.x, p.y, p.z});
            worst = std::max(worst, d);
            sum += d * d;
        }
    }
    // The fitted surface lies within its accuracy of the scan, whose points
    // lie within the simulator's tolerance of the limb; the slices sample the
    // surface's flat facets, whose chords fall inside it by at most h^2 / 8R
    // for the resolution h on a limb of radius R of 30 mm or more.
    const double bound = accuracy + 0.26 + resolution * resolution / (8 * 30);
    std::printf("[ measured ] limb through the wizard: %d slices of %d samples, distance to the limb RMS %.3f mm, "
                "largest %.3f mm (bound %.3f mm)\n",
                slices, n, std::sqrt(sum / (slices * n)), worst, bound);
    EXPECT_LT(worst, bound);
    DeleteFileA(path.c_str());
    DeleteFileA(dump.c_str());
}

}  // namespace
