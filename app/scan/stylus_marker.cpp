#include "app/scan/stylus_marker.h"

#include <cmath>

namespace {

const StylusViewSeam* g_seam = nullptr;
// The last cursor position of a line, in window coordinates.
int32_t g_lastX = 0, g_lastY = 0;

void EndGroup() {
    if (g_seam->list) g_seam->list->CaptureMarker = 0;
}

}  // namespace

void StylusView_SetSeam(const StylusViewSeam* seam) { g_seam = seam; }

bool StylusView_MarkAt(void* window, double x, double y) {
    if (!g_seam) return false;
    Vec3 point;
    if (!g_seam->ReadBack(g_seam->context, window, x + 0.5, y + 0.5, 0.05, &point)) return false;
    Matrix4 pose;
    g_seam->ViewMatrix(g_seam->context, &pose);
    M4_RotateZ(-90.0f, pose);
    M4_RotateY(-90.0f, pose);
    M4_Transpose(pose, pose);
    M4_Translate(point, pose);
    g_seam->Capture(g_seam->context, pose, 0);
    if (g_seam->RefreshListPanel) g_seam->RefreshListPanel(g_seam->context);
    return true;
}

void StylusView_MarkPoint(void* window) {
    if (!g_seam) return;
    int32_t x, y;
    if (!g_seam->Cursor(g_seam->context, window, &x, &y)) return;
    StylusView_MarkAt(window, x, y);
    EndGroup();
}

void StylusView_MarkLine(void* window, bool start, bool end) {
    if (!g_seam) return;
    int32_t px, py;
    const bool inside = g_seam->Cursor(g_seam->context, window, &px, &py);
    if (start) {
        g_lastX = px;
        g_lastY = py;
        return;
    }
    if (inside) {
        const float dx = static_cast<float>(px - g_lastX), dy = static_cast<float>(py - g_lastY);
        const int32_t n = static_cast<int32_t>(std::sqrt(dx * dx + dy * dy));
        for (int32_t k = 1; n > 0 && k < n + 0.001; ++k) {
            if (!StylusView_MarkAt(window, g_lastX + k * dx / n, g_lastY + k * dy / n)) EndGroup();
        }
        g_lastX = px;
        g_lastY = py;
    }
    if (end) EndGroup();
}

void StylusView_MarkerAction(void* window, int32_t phase) {
    if (!g_seam) return;
    const int32_t mode = g_seam->CaptureMode(g_seam->context);
    if (mode == 0) {
        if (phase == kMarkerRelease) StylusView_MarkPoint(window);
    } else if (mode == 1) {
        if (phase == kMarkerPress)
            StylusView_MarkLine(window, true, false);
        else if (phase == kMarkerMove)
            StylusView_MarkLine(window, false, false);
        else if (phase == kMarkerRelease)
            StylusView_MarkLine(window, false, true);
    }
}
