// The main 3D view: the window procedure of the class "KorvGraph", the
// paint handler with its repaint levels, the view's commands, the cursor
// rule and the hooks through which the rest of the program reaches the view.
#pragma once

#include "app/files/image.h"
#include "app/ui/navigation.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

// Parts of the program the view calls and that come later or from tests.
struct ViewHooks {
    // Builds the surface of that kind (1 basic, 2 RBF) behind its modal
    // progress dialog; true when it was built. None: no build runs.
    std::function<bool(int32_t kind)> buildSurface;
    // Runs inside the scan drawing's out-of-memory guard, before the drawing.
    std::function<void()> beforeScanDraw;
    // Told the level of every paint after it ran.
    std::function<void(int32_t level)> painted;
};
ViewHooks& View_Hooks();

// Installs the window procedure and the shell's view hooks.
void View_ConnectShell();

LRESULT CALLBACK Graph_WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void Graph_OnPaint(HWND window, int32_t level);

void View_PostRepaint(int32_t level);
void View_SendRepaint(int32_t level);
void View_RequestRepaint(bool full);

// The view's commands; true when the id is one of them.
bool View_Command(WORD id);
// The scan was re-expressed: the view forgets what it drew and redraws all.
void View_ResetScanState();
void App_SetMarkerCursor();
// The tooltip over the stylus items: the item the view picks under (x, y),
// numbered from 1; over anything else the tooltip is switched off.
void StylusView_UpdateTooltip(HWND window, int32_t x, int32_t y);
// The tooltip window (none before the first mouse move over the view).
HWND StylusView_Tooltip();
// The status bar's coordinate readout for the cursor over the view.
std::string ScanStatusReadout();

// The navigation's window services for an OpenGL view window;
// `centresCursor`: whether a navigation may move the cursor to the window's
// centre (the program's main view; a wizard's small view leaves it alone).
class GraphViewPort : public NavViewPort {
  public:
    GraphViewPort(HWND window, bool centresCursor) : window_(window), centresCursor_(centresCursor) {}
    void ClientSize(int32_t& width, int32_t& height) override;
    bool Project(const Vec3& point, Vec3& out) override;
    bool Unproject(const Vec3& point, Vec3& out) override;
    bool ReadDepth(int32_t x, int32_t y, Vec3& out) override;
    void CentreCursor() override;
    void Beep() override;

  private:
    HWND window_;
    bool centresCursor_;
};

// The picture the view last presented (front buffer, overlays included).
bool View_ReadBack(Image& image);
