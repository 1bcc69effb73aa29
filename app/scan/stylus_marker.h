// The mouse used as a stylus marker in the 3D view: a click records a point
// at the surface under the cursor, a drag in line mode records a point at
// every pixel along the way. The view's read-back, the cursor, the capture of
// an item and the list panel are reached through a seam that the view window
// fills; this file holds only the marker's own logic.
#pragma once

#include "app/scan/geometry.h"
#include "app/scan/stylus_items.h"

#include <cstdint>

struct StylusViewSeam {
    void* context;
    // The 3D point under window point (x, y), within the tolerance; false
    // when nothing of the scan or a surface is there.
    bool (*ReadBack)(void* context, void* window, double x, double y, double tolerance, Vec3* out);
    // The cursor in window coordinates; true when it lies in the client area.
    bool (*Cursor)(void* context, void* window, int32_t* x, int32_t* y);
    // Records an item at the pose (scan control's capture); newItem 0 keeps
    // the view as it is.
    void (*Capture)(void* context, const Matrix4& pose, int32_t newItem);
    // Sends the refresh message to the stylus list panel when it exists.
    void (*RefreshListPanel)(void* context);
    // The view settings' rotation matrix and the stylus capture mode (0
    // point, 1 line).
    void (*ViewMatrix)(void* context, Matrix4* out);
    int32_t (*CaptureMode)(void* context);
    StylusItemList* list;  // its capture marker groups the recorded items
};

// The seam in force (null: the marker does nothing). Not owned.
void StylusView_SetSeam(const StylusViewSeam* seam);

enum StylusMarkerPhase : int32_t { kMarkerPress = 0, kMarkerMove = 1, kMarkerRelease = 2 };

// One phase of the marker: in point mode a release marks a point; in line
// mode a press starts a line, a move continues it and a release ends it.
void StylusView_MarkerAction(void* window, int32_t phase);
// Records an item at the surface under window point (x, y); false when the
// read-back finds nothing.
bool StylusView_MarkAt(void* window, double x, double y);
// A point of its own group at the cursor, when it is in the client area.
void StylusView_MarkPoint(void* window);
// One step of a line: start takes the cursor as the last position; otherwise
// a point at every pixel from the last position to the cursor (a pixel
// without surface ends the line, the next that reads back starts a new one).
// end closes the group.
void StylusView_MarkLine(void* window, bool start, bool end);
