// The six-axis 3D mouse on the main view: the maths and the event handlers
// that turn the cap's readings into turns, pans and zooms of the shared view
// record. The vendor library's loader and the message filter are Windows
// only (view_mouse_win32); everything here runs without a device.
#pragma once

#include "app/scan/geometry.h"
#include "app/scan/settings_records.h"

#include <cstdint>

// The vendor's event type of the rest event (the cap back at its centre).
constexpr int32_t kViewMouseRestEvent = 4;
// The button whose release resets the zoom and recentres the view.
constexpr int32_t kViewMouseFitButton = 31;
// A rotation shorter than this is no rotation.
constexpr float kViewMouseMinRotation = 0.0001f;

// What the device moves: the view record and the window's services.
struct ViewMouseTarget {
    void* window = nullptr;  // the main window, to which the device's messages go
    ViewSettings* view = nullptr;
    void (*repaint)(bool atRest) = nullptr;
    void (*centreView)() = nullptr;
    // The point the view turns about; left as it is when there is none.
    void (*rotationCentre)(Vec3& centre) = nullptr;
};

struct ViewMouseSettings {
    float overallScale = 1.0f;
    bool rotationsOn = true;
    bool translationsOn = true;
    bool dominantAxisOnly = false;
    float translationScale[3] = {0.05f, 0.05f, 0.005f};
    float rotationScale[3] = {0.0005f, 0.0005f, 0.0005f};
    void* device = nullptr;  // the vendor's handle; null while closed
    ViewMouseTarget* target = nullptr;
};

// The values the settings receive when the device is opened.
void ViewMouseSettings_SetOpenValues(ViewMouseSettings& settings, ViewMouseTarget* target);

void MakeIdentityMatrix(Matrix4& out);
// The rotation about `axis` by |axis|·scale radians; the identity below kViewMouseMinRotation.
void AxisAngleToMatrix(const Vec3& axis, float scale, Matrix4& out);
// Keeps the value of the largest magnitude (the first among equals) and zeroes the rest.
void KeepDominantAxis(float* values, int32_t count);

// A motion or rest event: the six readings tx, ty, tz, rx, ry, rz.
void ViewMouse_OnMotion(ViewMouseSettings& settings, int32_t eventType, const int32_t motion[6]);
// A button event: `released` is the button this event released, or -1.
void ViewMouse_OnButtonReleased(ViewMouseSettings& settings, int32_t released);
