// The 3D mouse under Wine on the stand-in library of the simulator: the
// device is opened under the application's name, injected events turn, pan
// and zoom the view, and without the library, with a library that lacks a
// name, or without a device nothing is opened and nothing else changes.
#include "app/ui/app_state.h"
#include "app/ui/shell_win32.h"
#include "app/ui/view_mouse_win32.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

const std::string kStandIns = SIM_SPACEMOUSE_DIR;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class ViewMouseWin32 : public ::testing::Test {
  protected:
    void SetUp() override {
        char folder[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        log_ = std::string(folder) + "tolvaran-spacemouse-" + std::to_string(GetCurrentProcessId()) + ".log";
        std::remove(log_.c_str());
        SetEnvironmentVariableA("TOLVARAN_SPACEMOUSE_LOG", log_.c_str());
        SetEnvironmentVariableA("TOLVARAN_SPACEMOUSE_NO_DEVICE", nullptr);
        window_ = CreateWindowExA(0, "STATIC", "main", WS_OVERLAPPED, 0, 0, 200, 200, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window_, nullptr);
        AppState& app = App();
        app.mode = kModeScan;
        app.raw = nullptr;
        ViewSettings_SetDefaults(app.view);
        M4_Identity(app.view.ViewMatrix);
        app.view.ViewOrigin = {10, 20, 30};
        app.view.ZoomFactor = 2.0f;
        eventMessage_ = RegisterWindowMessageA("TolvaranSimSpaceMouseEvent");
    }
    void TearDown() override {
        ViewMouseDevice_Close();
        SetDllDirectoryA(nullptr);
        SetEnvironmentVariableA("TOLVARAN_SPACEMOUSE_LOG", nullptr);
        SetEnvironmentVariableA("TOLVARAN_SPACEMOUSE_NO_DEVICE", nullptr);
        DestroyWindow(window_);
        std::remove(log_.c_str());
    }
    // Posts one event to the window and runs it through the filter as the
    // message loop does; true when the filter took it.
    bool Inject(int type, int axis, int value) {
        PostMessageA(window_, eventMessage_, static_cast<WPARAM>(type | axis << 8), value);
        MSG message;
        if (!PeekMessageA(&message, window_, eventMessage_, eventMessage_, PM_REMOVE)) return false;
        return ViewMouseDevice_FilterMessage(message);
    }
    std::string log_;
    HWND window_ = nullptr;
    UINT eventMessage_ = 0;
};

TEST_F(ViewMouseWin32, StandInOpensUnderTheApplicationNameAndMovesTheView) {
    ASSERT_TRUE(SetDllDirectoryA((kStandIns + "siappdll").c_str()));
    ASSERT_TRUE(ViewMouseDevice_Open(window_, "Tolvaran"));
    EXPECT_EQ(ViewMouse_LoaderState(), 2);
    EXPECT_NE(ReadAll(log_).find("SiOpen Tolvaran\nSiSetUiMode\n"), std::string::npos) << ReadAll(log_);
    ViewSettings& view = App().view;

    // Zoom: tz' = 400 x 0.005 = 2 divides the factor by 1.1025.
    EXPECT_TRUE(Inject(2, 2, 400));
    EXPECT_NEAR(view.ZoomFactor, 2.0f / 1.1025f, 1e-6f);
    // Turn about the rotation centre (the view's origin while there is no scan).
    const Vec3 origin = view.ViewOrigin;
    EXPECT_TRUE(Inject(2, 4, 900));
    EXPECT_GT(std::fabs(view.ViewMatrix[0] - 1.0f), 0.01f);
    EXPECT_LT(V3_Distance(view.ViewOrigin, origin) * view.ZoomFactor, 1.0f);
    // Pan: the origin moves by tx' / zoom along the turned screen axis.
    EXPECT_TRUE(Inject(2, 0, -40));
    EXPECT_NEAR(V3_Distance(view.ViewOrigin, origin), 2.0f / view.ZoomFactor, 1e-4f);
    // A rest event changes nothing.
    const Vec3 before = view.ViewOrigin;
    EXPECT_TRUE(Inject(4, 0, 0));
    EXPECT_EQ(V3_Distance(view.ViewOrigin, before), 0.0f);
    // Button 31: the press does nothing, the release fits the view.
    EXPECT_TRUE(Inject(1, 0, -31));
    EXPECT_NE(view.ZoomFactor, 1.0f);
    EXPECT_TRUE(Inject(1, 0, 31));
    EXPECT_EQ(view.ZoomFactor, 1.0f);
    // Other messages pass.
    MSG other = {};
    other.hwnd = window_;
    other.message = WM_MOUSEMOVE;
    EXPECT_FALSE(ViewMouseDevice_FilterMessage(other));

    ViewMouseDevice_Close();
    EXPECT_EQ(ViewMouse_LoaderState(), 0);
    const std::string log = ReadAll(log_);
    EXPECT_NE(log.find("SiClose\nSiTerminate\n"), std::string::npos) << log;
}

TEST_F(ViewMouseWin32, WithoutLibraryNameOrDeviceNothingOpens) {
    struct Case {
        const char* what;
        std::string folder;  // empty: the library is nowhere to be found
        bool noDevice;
        const char* log;  // the calls the library saw
        int32_t state;    // the loader's state afterwards
    } cases[] = {
        {"no library", "", false, "", 1},
        {"one name missing", kStandIns + "siappdll_incomplete", false, "", 1},
        {"no device", kStandIns + "siappdll", true, "SiInitialize\nSiOpenWinInit\nSiOpen Tolvaran\nSiTerminate\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(log_.c_str());
        SetDllDirectoryA(c.folder.empty() ? nullptr : c.folder.c_str());
        SetEnvironmentVariableA("TOLVARAN_SPACEMOUSE_NO_DEVICE", c.noDevice ? "1" : nullptr);
        const ViewSettings before = App().view;
        EXPECT_FALSE(ViewMouseDevice_Open(window_, "Tolvaran"));
        EXPECT_EQ(ViewMouse_LoaderState(), c.state);
        EXPECT_EQ(ViewMouseDevice_Settings(), nullptr);
        EXPECT_FALSE(Inject(2, 2, 400));
        EXPECT_EQ(App().view.ZoomFactor, before.ZoomFactor);
        EXPECT_EQ(ReadAll(log_), c.log);
        ViewMouseDevice_Close();
    }
}

}  // namespace
