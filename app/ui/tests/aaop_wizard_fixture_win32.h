// What the AAOP Export Wizard's tests share: the real main window with a
// message sink, an RBF surface made of an analytic mesh, a stylus list of
// the test's own, and readers of the wizard's title, page and view.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/base/app_messages.h"
#include "app/export/tests/ortho_meshes.h"
#include "app/files/image.h"
#include "app/locale/locale_loader.h"
#include "app/scan/mesh_normals.h"
#include "app/ui/aaop_wizard_pages_win32.h"
#include "app/ui/aaop_wizard_win32.h"
#include "app/ui/app_state.h"
#include "app/ui/commands_win32.h"
#include "app/ui/menus_win32.h"
#include "app/ui/graph_window_win32.h"
#include "app/ui/navigation.h"
#include "app/ui/scanner_link.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tests/modal_driver_win32.h"
#include "app/ui/tests/shell_fixture_win32.h"
#include "app/ui/view_window_win32.h"

namespace aaop_wizard_test {

using namespace ortho_test;

inline std::vector<AppMessage> g_messages;
constexpr uint32_t kBackground = 0x402010;

inline std::string Title(HWND wizard) { return modal_driver::ItemText(wizard, 1322); }
inline HWND Page() { return AaopWizard_State().current ? AaopWizard_State().current->window : nullptr; }

// Pixels of the wizard's view that differ from the background.
inline int DrawnPixels() {
    Image image;
    if (!Graph_ReadFrontBuffer(AaopWizard_View(), image)) return -1;
    int drawn = 0;
    for (int32_t i = 0; i < image.width * image.height; ++i) {
        const uint8_t* p = image.pixels + static_cast<size_t>(i) * 4;
        if (!(p[0] == 0x10 && p[1] == 0x20 && p[2] == 0x40)) ++drawn;
    }
    Image_Free(&image);
    return drawn;
}

// A click of the page's control as the user makes it.
inline void Click(int id) { SendMessageA(Page(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

// A handedness chosen in the page's list as the user chooses it.
inline void ChooseSide(int side) {
    SendDlgItemMessageA(Page(), 1330, CB_SETCURSEL, side, 0);
    SendMessageA(Page(), WM_COMMAND, MAKEWPARAM(1330, CBN_SELCHANGE), 0);
}

// A model point's place in the view's client area (y from the top).
inline POINT OnScreen(const Vec3& point) {
    Vec3 screen{};
    Graph_ProjectToScreen(point, AaopWizard_View(), screen);
    RECT client;
    GetClientRect(AaopWizard_View(), &client);
    return POINT{static_cast<LONG>(screen.x), static_cast<LONG>(client.bottom - screen.y)};
}

// The bar position of the marker at a model point's height on the screen.
inline int MarkerAt(const Vec3& point) {
    RECT client;
    GetClientRect(AaopWizard_View(), &client);
    return static_cast<int>(static_cast<float>(OnScreen(point).y) / client.bottom * AaopWizard_BarHeight());
}

// The left button pressed at one client point of the view and released at
// another, through the view's own window procedure.
inline void Drag(POINT from, POINT to) {
    HWND view = AaopWizard_View();
    SendMessageA(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
    for (int k = 1; k <= 4; ++k)
        SendMessageA(view, WM_MOUSEMOVE, MK_LBUTTON,
                     MAKELPARAM(from.x + (to.x - from.x) * k / 4, from.y + (to.y - from.y) * k / 4));
    SendMessageA(view, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
}

inline void ClickView(POINT at) { Drag(at, at); }

class AaopWizardFixture : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Locale_Load();
        App_SetMessageSink([](const AppMessage& m) { g_messages.push_back(m); });
        Commands_SetQuestionSink([](const std::string&, const std::string&) { return IDNO; });
        window_ = OpenPlainViewWindow(kBackground, 500, 400);
    }
    static void TearDownTestSuite() {
        CloseShellWindow(window_);
        Commands_SetQuestionSink(nullptr);
    }
    void SetUp() override {
        ASSERT_NE(window_, nullptr);
        ASSERT_NE(App().raw, nullptr);
        g_messages.clear();
        AppState& app = App();
        M4_Identity(app.view.ViewMatrix);
        app.view.ViewOrigin = {0, 0, 0};
        app.view.ZoomFactor = 1;
        app.view.DisplayType = 2;
        app.view.Options = 0;
        savedList_ = app.raw->Stylus;
        app.raw->Stylus = StylusItemList{};
    }
    void TearDown() override {
        Surface_Free(App().rbf);
        if (App().raw) {
            std::free(App().raw->Stylus.Items);
            App().raw->Stylus = savedList_;
        }
    }

    // The RBF surface: the mesh placed by the pose, with its normals, built
    // after the scan's last change as the program builds it; the main view
    // shows all of it.
    void UseSurface(const LocalMesh& mesh, const Pose& pose) {
        pose_ = pose;
        PlacedSurface placed(mesh, pose);
        SurfaceRecord& rbf = App().rbf;
        Surface_Free(rbf);
        rbf = placed.get();
        std::memset(&placed.get(), 0, sizeof(SurfaceRecord));  // the app owns the arrays now
        rbf.PointNormals = static_cast<Vec3*>(std::malloc(sizeof(Vec3) * rbf.NumPoints));
        Mesh_FacetNormals(rbf.NumPoints, rbf.Points, rbf.NumFacets, rbf.Facets, 0, nullptr, rbf.FacetNormals, nullptr,
                          nullptr, rbf.PointNormals);
        AppState& app = App();
        app.basic.ChangeTime = std::max(1.0, static_cast<double>(app.raw->Timestamp));
        rbf.ChangeTime = app.basic.ChangeTime + 1;
        Nav_CenterOnPoints(app.view, rbf.Points, rbf.NumPoints);
        app.view.ZoomFactor = 0.3f;
    }

    // A limb of radius 40 with a rounded distal end (its pole at the local
    // origin), standing tilted away from the screen's vertical, off the origin.
    void UseCylinder() {
        Pose pose;
        pose.offset = Vec3{20, -30, 15};
        M4_MakeRotationZ(25, pose.rotation);
        UseSurface(EllipticTube(61, 96,
                                [](int32_t k, float& y, float& ax, float& az) {
                                    if (k < 21) {
                                        const double theta = 0.001 + (kPi / 2 - 0.001) * k / 20;
                                        y = static_cast<float>(40 - 40 * std::cos(theta));
                                        ax = az = static_cast<float>(40 * std::sin(theta));
                                    } else {
                                        y = 40 + 160.0f * (k - 20) / 40;
                                        ax = az = 40;
                                    }
                                }),
                   pose);
    }

    // The scan's stylus items: one group a point, in a malloc'd list as the
    // program keeps it, with no room to spare, so that a point added in the
    // wizard grows (and moves) the list.
    StylusItemList& UseStylus(const std::vector<Vec3>& positions) {
        StylusItemList& list = App().raw->Stylus;
        std::free(list.Items);
        list = StylusItemList{};
        const int32_t n = static_cast<int32_t>(positions.size());
        list.Items = static_cast<StylusItem*>(std::calloc(std::max(n, 1), sizeof(StylusItem)));
        for (int32_t i = 0; i < n; ++i) {
            M4_MakeTranslation(positions[i], list.Items[i].Pose);
            list.Items[i].Group = i;
        }
        list.VisibleCount = list.TotalCount = list.Capacity = list.GroupCount = n;
        return list;
    }

    static std::string TempPath(const char* name) {
        char folder[MAX_PATH];
        GetTempPathA(sizeof folder, folder);
        return std::string(folder) + name;
    }
    inline static HWND window_ = nullptr;
    Pose pose_;
    StylusItemList savedList_{};
};

}  // namespace aaop_wizard_test
