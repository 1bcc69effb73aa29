// The AAOP Export Wizard under Wine on the real main window: command 40171
// without and with an RBF surface, the distal-closure road walked through its
// controls to an exported .aop file, the refusals, Cancel, and the stylus
// list restored after the wizard; the view's pictures checked by their pixels.
#include <windows.h>

#include <commdlg.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/ui/tests/aaop_wizard_fixture_win32.h"
#include "app/ui/tests/shell_fixture_win32.h"

namespace {

using modal_driver::Driver;
using modal_driver::Press;
using namespace aaop_wizard_test;

class AaopWizardWin32 : public AaopWizardFixture {};

TEST_F(AaopWizardWin32, WithoutAnRbfSurfaceTheCommandExplains) {
    Surface_Free(App().rbf);
    SendMessageA(window_, WM_COMMAND, 40171, 0);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].textKey, "ErrorAaopRbfSurfaceRequired");
    EXPECT_EQ(AaopWizard_Window(), nullptr);
}

// The distal-closure road through its controls: type 1, Automatically
// Align, the handedness refusal, a fixed spacing, the slicing, and Export
// through the Save dialog to an .aop file whose radii are the cylinder's.
TEST_F(AaopWizardWin32, DistalClosureRoadExportsTheLimb) {
    UseCylinder();
    StylusItemList& list = UseStylus({Place(pose_, Vec3{0, 100, 40})});
    const StylusItem marker = list.Items[0];
    const std::string path = TempPath("wizard_limb.aop");
    DeleteFileA(path.c_str());
    std::vector<std::string> titles;
    std::vector<int> drawn;
    bool refused = false;
    int afterRefusal = 0;
    {
        Driver driver({
            {1325,
             [&](HWND w) {
                 if (Title(w) != "Select Object Type" || DrawnPixels() <= 0) return false;
                 titles.push_back(Title(w));
                 drawn.push_back(DrawnPixels());
                 return Press(w, 1325);
             }},
            {1325,
             [&](HWND w) {
                 if (Title(w) != "Choose Axis") return false;
                 titles.push_back(Title(w));
                 SendMessageA(Page(), WM_COMMAND, MAKEWPARAM(1346, BN_CLICKED), 0);
                 return Press(w, 1325);
             }},
            {1325,
             [&](HWND w) {
                 if (Title(w) != "Choose Vertical Limits and Spacing") return false;
                 titles.push_back(Title(w));
                 drawn.push_back(DrawnPixels());
                 SendDlgItemMessageA(Page(), 1330, CB_SETCURSEL, 3, 0);
                 SendMessageA(Page(), WM_COMMAND, MAKEWPARAM(1330, CBN_SELCHANGE), 0);
                 SendMessageA(w, WM_COMMAND, 1325, 0);
                 refused = Title(w) == "Choose Vertical Limits and Spacing" && !g_messages.empty() &&
                           g_messages.back().title == "Tip";
                 afterRefusal = static_cast<int>(g_messages.size());
                 SendDlgItemMessageA(Page(), 1330, CB_SETCURSEL, 1, 0);
                 SendMessageA(Page(), WM_COMMAND, MAKEWPARAM(1330, CBN_SELCHANGE), 0);
                 CheckDlgButton(Page(), 1378, BST_UNCHECKED);
                 SendMessageA(Page(), WM_COMMAND, MAKEWPARAM(1378, BN_CLICKED), 0);
                 // A spacing of 0 keeps the old value.
                 SetDlgItemTextA(Page(), 1328, "0");
                 SendMessageA(Page(), WM_COMMAND, MAKEWPARAM(1328, EN_KILLFOCUS), 0);
                 EXPECT_EQ(modal_driver::ItemText(Page(), 1328), "5.00");
                 SetDlgItemTextA(Page(), 1328, "10");
                 SendMessageA(Page(), WM_COMMAND, MAKEWPARAM(1328, EN_KILLFOCUS), 0);
                 // The upper limit 150 mm above the distal end.
                 Vec3 screen;
                 EXPECT_EQ(Graph_ProjectToScreen(Place(pose_, Vec3{0, 150, 0}), AaopWizard_View(), screen), 0);
                 RECT client;
                 GetClientRect(AaopWizard_View(), &client);
                 AaopWizard_MoveMarker(0, static_cast<int>((1 - screen.y / client.bottom) * AaopWizard_BarHeight()));
                 return Press(w, 1325);
             }},
            {1325,
             [&](HWND w) {
                 if (Title(w) != "Complete") return false;
                 titles.push_back(Title(w));
                 SendMessageA(AaopWizard_View(), WM_PAINT, 0, 3);
                 drawn.push_back(DrawnPixels());
                 return Press(w, 1325);
             }},
            {IDOK,
             [&](HWND save) {
                 if (GetDlgItem(save, cmb13))
                     SetDlgItemTextA(save, cmb13, path.c_str());
                 else
                     SetDlgItemTextA(save, edt1, path.c_str());
                 return Press(save, IDOK);
             }},
        });
        SendMessageA(window_, WM_COMMAND, 40171, 0);
        EXPECT_TRUE(driver.Finished());
    }
    EXPECT_EQ(AaopWizard_Window(), nullptr);
    EXPECT_EQ(titles, (std::vector<std::string>{"Select Object Type", "Choose Axis",
                                                "Choose Vertical Limits and Spacing", "Complete"}));
    EXPECT_TRUE(refused);
    EXPECT_EQ(static_cast<int>(g_messages.size()), afterRefusal);  // nothing else was shown
    for (int d : drawn) EXPECT_GT(d, 500);
    EXPECT_EQ(App().rbf.Saved, 1);
    // The stylus list is what it was.
    EXPECT_EQ(list.VisibleCount, 1);
    EXPECT_EQ(std::memcmp(&list.Items[0], &marker, sizeof marker), 0);

    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    ASSERT_GT(lines.size(), 20u);
    EXPECT_EQ(lines[0], "AAOP1");
    EXPECT_EQ(lines[3], "CYLINDRICAL");
    EXPECT_EQ(lines[4], "LEFT");
    EXPECT_EQ(lines[5], "1");
    std::size_t at = 6 + 2 + 3;  // one landmark of one point
    const int n = std::stoi(lines[at]);
    EXPECT_EQ(n, 90);
    const int slices = std::stoi(lines[at + 2]);
    ASSERT_GE(slices, 3);
    at += 4;
    EXPECT_EQ(std::stod(lines[at]), 0.0);
    const std::size_t radii = at + slices;
    ASSERT_EQ(lines.size(), radii + static_cast<std::size_t>(slices) * n);
    // The first slice is the closed distal end; the others lie on the limb:
    // on the rounded end r = sqrt(40^2 - (40 - h)^2), above it 40.
    for (int i = 0; i < n; ++i) EXPECT_EQ(std::stod(lines[radii + i]), 0.0);
    double worst = 0;
    for (int k = 1; k < slices; ++k) {
        const double h = std::stod(lines[at + k]);
        const double expected = h < 40 ? std::sqrt(40.0 * 40 - (40 - h) * (40 - h)) : 40.0;
        for (int i = 0; i < n; ++i) worst = std::max(worst, std::fabs(std::stod(lines[radii + k * n + i]) - expected));
    }
    EXPECT_NEAR(std::stod(lines[radii - 1]), 150, 3);  // the upper limit
    EXPECT_LT(worst, 0.6);
    std::printf("[ measured ] wizard export: %d slices, worst radius error %.4f mm\n", slices, worst);
    DeleteFileA(path.c_str());
}

// Back restores the view of the page it returns to; Cancel closes without
// a message and leaves the stylus list as it was, even with a point selected.
TEST_F(AaopWizardWin32, BackAndCancel) {
    UseCylinder();
    StylusItemList& list = UseStylus({Vec3{0, 0, 0}});
    ViewSettings axisView{}, keyView{};
    bool restored = false, backOnFirst = false, keyKept = false;
    int keyTicks = 0;
    {
        Driver driver({
            {1325,
             [&](HWND w) {
                 if (Title(w) != "Select Object Type") return false;
                 SendMessageA(w, WM_COMMAND, 3, 0);  // Back on the first page does nothing
                 backOnFirst = Title(w) == "Select Object Type";
                 return Press(w, 1325);
             }},
            {1325,
             [&](HWND w) {
                 if (Title(w) != "Choose Axis") return false;
                 axisView = AaopWizard_State().live;
                 return Press(w, 1325);
             }},
            {1325,
             [&](HWND w) {
                 // A key typed in a spacing box goes to the box, not to the view.
                 if (Title(w) != "Choose Vertical Limits and Spacing") return false;
                 SetFocus(GetDlgItem(Page(), 1328));
                 keyView = AaopWizard_State().live;
                 PostMessageA(GetDlgItem(Page(), 1328), WM_KEYDOWN, VK_PRIOR, 0);
                 return true;
             }},
            {1325,
             [&](HWND w) {
                 if (++keyTicks < 5) return false;
                 keyKept = std::memcmp(&keyView, &AaopWizard_State().live, sizeof keyView) == 0;
                 App().raw->Stylus.Items[0].Flags = kStylusSelected;
                 AaopWizard_State().live.ZoomFactor *= 3;
                 SendMessageA(w, WM_COMMAND, 3, 0);
                 restored = Title(w) == "Choose Axis" &&
                            std::memcmp(&axisView, &AaopWizard_State().live, sizeof axisView) == 0;
                 return Press(w, IDCANCEL);
             }},
        });
        SendMessageA(window_, WM_COMMAND, 40171, 0);
        EXPECT_TRUE(driver.Finished());
    }
    EXPECT_TRUE(backOnFirst);
    EXPECT_TRUE(restored);
    EXPECT_TRUE(keyKept);
    EXPECT_TRUE(g_messages.empty());
    EXPECT_EQ(App().rbf.Saved, 0);
    EXPECT_EQ(list.Items[0].Flags, 0u);
}

// The spacing boxes take no value that is not finite, as they take no
// letter: the slicing never sees one.
TEST_F(AaopWizardWin32, NoSpacingBoxTakesAValueThatIsNotFinite) {
    UseCylinder();
    UseStylus({Vec3{0, 0, 0}});
    std::vector<std::string> wrong;
    {
        Driver driver({
            {1325,
             [&](HWND w) {
                 if (Title(w) != "Select Object Type") return false;
                 return Press(w, 1325);
             }},
            {1325,
             [&](HWND w) {
                 if (Title(w) != "Choose Axis") return false;
                 return Press(w, 1325);
             }},
            {1325,
             [&](HWND w) {
                 if (Title(w) != "Choose Vertical Limits and Spacing") return false;
                 OrthoSliceSetup& setup = AaopWizard_State().setup;
                 const std::pair<int, float*> boxes[] = {{1328, &setup.SliceSpacing}, {1314, &setup.AngleSpacing}};
                 for (const auto& box : boxes)
                     for (const char* typed : {"2.5", "nan", "inf", "-inf", "1e39", "1e-50", ""}) {
                         SetDlgItemTextA(Page(), box.first, typed);
                         SendMessageA(Page(), WM_COMMAND, MAKEWPARAM(box.first, EN_KILLFOCUS),
                                      reinterpret_cast<LPARAM>(GetDlgItem(Page(), box.first)));
                         char shown[64] = "";
                         GetDlgItemTextA(Page(), box.first, shown, sizeof shown);
                         if (*box.second != 2.5f || std::string(shown) != "2.50")
                             wrong.push_back(std::to_string(box.first) + " '" + typed + "' gave " + shown);
                     }
                 return Press(w, IDCANCEL);
             }},
        });
        SendMessageA(window_, WM_COMMAND, 40171, 0);
        EXPECT_TRUE(driver.Finished());
    }
    EXPECT_TRUE(wrong.empty()) << wrong.front();
}

}  // namespace
