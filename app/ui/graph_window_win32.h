// The OpenGL view window's record and its services: creation with the
// pixel-format choice, making a view current, the 2D and 3D projection
// set-ups, presenting the back buffer, the 2D overlay bracket, bitmap text,
// projection of points and the read-back of the point under a pixel.
//
// Results follow the program's convention: 0 success, 2 GL or pixel-format
// failure, 3 out of memory.
#pragma once

#include "app/files/image.h"
#include "app/scan/geometry.h"
#include "app/scan/settings_records.h"

#include <windows.h>

#include <cstdint>
#include <vector>

struct NavigationState;

using GraphFrameHook = void (*)(intptr_t word1, intptr_t word2);
using GlLockArrays = void(APIENTRY*)(int first, int count);
using GlUnlockArrays = void(APIENTRY*)();
using GlPointParameter = void(APIENTRY*)(unsigned int name, const float* values);

struct GraphWindowRecord {
    NavigationState* navigation = nullptr;
    HDC dc = nullptr;
    HGLRC gl = nullptr;
    int32_t hardware = 0;
    int32_t stereo = 0;
    int32_t presentBySwap = 0;
    int32_t alpha = 0;
    int32_t lockedArraysAvailable = 0;
    int32_t pointParametersLookedUp = 0;
    GlLockArrays lockArrays = nullptr;
    GlUnlockArrays unlockArrays = nullptr;
    GlPointParameter pointParameter = nullptr;
    uint32_t fontBase = 0;
    const Image* overlayImage = nullptr;
    uint8_t* capturedPixels = nullptr;
    int32_t showLogo = 1;
    float depthExtent = 2000.0f;
    float nearPlane = 0;
    float farPlane = 0;
    int32_t stencilWanted = 0;
    GraphFrameHook frameHook = nullptr;
    intptr_t hookWords[2] = {0, 0};
    int32_t clientWidth = 0;
    int32_t clientHeight = 0;
    double modelView[16] = {};
    double projection[16] = {};
    int32_t viewport[4] = {};
    bool captureRequested = false;
    // The stylus drawing's display lists (freed with the window).
    uint32_t pickListBase = 0;
    int32_t pickListCount = 0;
    uint32_t glyphList = 0;
};

GraphWindowRecord* Graph_Record(HWND window);

int32_t Graph_Create(HWND window, GeneralSettings& settings, const int* stencilWanted);
int32_t Graph_Destroy(HWND window);
int32_t Graph_MakeCurrent(HWND window);
int32_t Graph_CheckGlError();
void Graph_SaveMatrices(GraphWindowRecord& record);
int32_t Graph_Setup2D(HWND window, int32_t width, int32_t height);
int32_t Graph_Setup3D(const ViewSettings& view, const GeneralSettings& settings, HWND window, float scale);
void Graph_Present(GraphWindowRecord& record);
void Graph_BeginOverlay2D(int32_t width, int32_t height);
void Graph_EndOverlay2D();
void Graph_CreateFont(GraphWindowRecord& record);
void Graph_DeleteFont(GraphWindowRecord& record);
void Graph_DrawText(const GraphWindowRecord& record, const char* format, ...);
int32_t Gl_HasExtension(const char* name);
void Gl_LoadExtensions(GraphWindowRecord& record);
void Graph_LogGlInfo(HWND window);

void Graph_SetOverlayImage(HWND window, const Image* image);
void Graph_SetWizardHandler(intptr_t word1, intptr_t word2, HWND window, GraphFrameHook hook);
int32_t Graph_CallFrameHook(GraphWindowRecord& record);
int32_t Graph_ViewportWidth(HWND window);
int32_t Graph_ViewportHeight(HWND window);
NavigationState* Graph_GetNavigation(HWND window);

// The cursor over a view: the four-way move cursor, the program's
// move-handle cursor ("CURSOR_MOVE_HANDLE"), or for any other kind the
// window class's own.
constexpr int32_t kCursorFourWay = 1, kCursorMoveHandle = 2;
void Graph_SetMoveCursor(HWND window, int32_t kind);

// Window coordinates (y up) with the depth in z; 0, or 1 without a record or
// when GLU fails.
int32_t Graph_ProjectToScreen(const Vec3& point, HWND window, Vec3& out);
int32_t Graph_UnprojectFromScreen(const Vec3& point, HWND window, Vec3& out);
// The point under a client pixel: 0 found, 1 nothing there or outside, 2 GL error.
// ReadPixelsAt gives eye coordinates, ReadDepth world coordinates moved by
// `depthOffset` along the eye's z axis.
int32_t Graph_ReadPixelsAt(HWND window, int32_t x, int32_t y, Vec3& out);
int32_t Graph_ReadDepth(HWND window, int32_t x, int32_t y, Vec3& out, float depthOffset);
int32_t Graph_ReadPointAt(HWND window, Vec3& out, float x, float y, float depthOffset);

// The view's own read-back of what it last presented: the front buffer as
// RGBA rows from the top. False when the window has no view.
bool Graph_ReadFrontBuffer(HWND window, Image& image);
