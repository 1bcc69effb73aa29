// Navigation of a 3D view: the step commands, mouse drags (trackball, pan,
// zoom, rubber band), the wheel, Center, Reset, the automatic viewpoint and
// the cursor readout's text. Everything changes the shared view record and
// answers with the repaint level the view then needs (-1: none).
//
// The window services the drags need (projection, depth read-back, the
// cursor) come through NavViewPort, so that the rules run without a window.
#pragma once

#include "app/scan/geometry.h"
#include "app/scan/raw_data.h"
#include "app/scan/settings_records.h"

#include <cstdint>
#include <string>
#include <vector>

// Allowed motions.
constexpr uint32_t kNavRotateX = 1;
constexpr uint32_t kNavRotateY = 2;
constexpr uint32_t kNavRotateZ = 4;
constexpr uint32_t kNavZoom = 8;
constexpr uint32_t kNavPan = 16;
constexpr uint32_t kNavAll = 31;

// Listener events.
enum NavEvent : int32_t {
    kNavLeftClick = 0,
    kNavRightClick = 1,
    kNavLeftDragEnd = 2,
    kNavRightDragEnd = 3,
    kNavLeftDragStep = 4,
    kNavRightDragStep = 5,
};

// Returns nonzero when it consumed the event; may set *level.
using NavListenerCallback = int32_t (*)(intptr_t word1, intptr_t word2, int32_t event, int32_t x1, int32_t y1,
                                        int32_t x2, int32_t y2, int32_t* level);

struct ViewListener {
    NavListenerCallback callback;
    intptr_t words[2];
};

struct NavRect {
    int32_t left, top, right, bottom;
};

struct NavigationState {
    void* window = nullptr;
    uint32_t allowed = kNavAll;
    bool capturing = false;
    int32_t rightStartX = 0, rightStartY = 0, rightLastX = 0, rightLastY = 0;
    bool dragging = false;
    bool panning = false;
    bool rectangleMode = false;
    int32_t leftStartX = 0, leftStartY = 0, leftLastX = 0, leftLastY = 0;
    bool rectanglePresent = false;
    NavRect rectangle = {0, 0, 0, 0};
    std::vector<ViewListener> listeners;
};

// What the drags ask of the window.
class NavViewPort {
  public:
    virtual ~NavViewPort() = default;
    virtual void ClientSize(int32_t& width, int32_t& height) = 0;
    // World point to window coordinates (y up, depth in z) and back; false on failure.
    virtual bool Project(const Vec3& point, Vec3& out) = 0;
    virtual bool Unproject(const Vec3& point, Vec3& out) = 0;
    // The world point drawn under a client pixel; false over background.
    virtual bool ReadDepth(int32_t x, int32_t y, Vec3& out) = 0;
    virtual void CentreCursor() = 0;
    virtual void Beep() = 0;
};

NavigationState* Nav_Create(void* window);
void Nav_Free(NavigationState* state);
void Nav_AddListener(NavigationState& state, NavListenerCallback callback, intptr_t word1, intptr_t word2);
void Nav_RemoveListener(NavigationState& state);

// ---- Steps ------------------------------------------------------------------
struct NavSteps {
    float rotation;  // degrees
    float pan;       // mm
    float zoom;      // factor
};
NavSteps Nav_Steps(int32_t level, bool tarrel);
// True for the twelve step commands.
bool Nav_IsStepCommand(int32_t command);
// 1 when the view changed, 0 when the mask forbids the motion.
int32_t Nav_Step(int32_t command, ViewSettings& view, uint32_t allowed, int32_t level, bool tarrel);
void Nav_PanBy(ViewSettings& view, float dx, float dy);

// ---- Mouse ------------------------------------------------------------------
// True when the wheel zoomed (a level-3 repaint follows).
bool Nav_Wheel(ViewSettings& view, uint32_t allowed, int32_t amount);
// The point of the virtual trackball's sphere under a client pixel.
Vec3 Nav_SpherePoint(int32_t px, int32_t py, int32_t width, int32_t height);
// Turns the view by the trackball motion from (x0, y0) to (x1, y1).
void Nav_Trackball(ViewSettings& view, uint32_t allowed, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t width,
                   int32_t height);

// The button handlers; each returns the repaint level (-1 none).
int32_t Nav_BeginDrag(NavigationState& state, int32_t x, int32_t y, bool alt, bool rectangleMode);
int32_t Nav_DragMove(NavigationState& state, NavViewPort& port, ViewSettings& view, int32_t x, int32_t y);
int32_t Nav_EndDrag(NavigationState& state, NavViewPort& port, ViewSettings& view, int32_t x, int32_t y);
int32_t Nav_BeginCapture(NavigationState& state, int32_t x, int32_t y);
int32_t Nav_CaptureMove(NavigationState& state, NavViewPort& port, ViewSettings& view, int32_t x, int32_t y);
int32_t Nav_EndCapture(NavigationState& state, int32_t x, int32_t y);
void Nav_ResetDrag(NavigationState& state);
// Whether a client pixel lies inside the rubber band (false without one).
bool Nav_PixelInRectangle(const NavigationState& state, float x, float y);
// Whether a world point, projected into the view, lies inside the rubber
// band: false without one or when the point does not project.
bool Nav_PointInRectangle(const NavigationState& state, NavViewPort& port, const Vec3& point);

// ---- Commands -----------------------------------------------------------------
// The centre of the marked points of the visible sweeps, in view coordinates
// taken back to the world, becomes the view origin; false when there is none.
bool Nav_CenterOnScan(ViewSettings& view, RawData& raw);
bool Nav_CenterOnPoints(ViewSettings& view, const Vec3* points, int32_t count);
void Nav_Reset(ViewSettings& view, const ViewSettings& defaults);
// The view follows the staging profile's wand; 1 with points (origin at their centroid).
int32_t Nav_AutoViewpoint(ViewSettings& view, const RawData& raw, bool pointsRequired);
bool Nav_WandFacesViewer(const ViewSettings& view, const RawData& raw);
// The view onto a new stylus item: the inverse of the pose turned 90 degrees
// about y and then about z, centred on the pose's position.
void Nav_ViewOntoPose(ViewSettings& view, const Matrix4& pose);

// The readout of a point under the cursor (null: none) in mm or inches.
std::string Nav_ReadoutText(const Vec3* point, bool imperial, const std::string& millimetres,
                            const std::string& inches);
