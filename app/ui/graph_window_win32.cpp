#include "app/ui/graph_window_win32.h"

#include "app/base/app_messages.h"
#include "app/ui/graph_format.h"
#include "app/ui/navigation.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

constexpr int kFontFirst = 32;
constexpr int kFontCount = 96;

PixelFormatTraits TraitsOf(const PIXELFORMATDESCRIPTOR& d) {
    PixelFormatTraits t;
    t.supportsOpenGL = (d.dwFlags & PFD_SUPPORT_OPENGL) != 0;
    t.drawsToWindow = (d.dwFlags & PFD_DRAW_TO_WINDOW) != 0;
    t.rgba = d.iPixelType == PFD_TYPE_RGBA;
    t.doubleBuffered = (d.dwFlags & PFD_DOUBLEBUFFER) != 0;
    t.swapExchange = (d.dwFlags & PFD_SWAP_EXCHANGE) != 0;
    t.swapCopy = (d.dwFlags & PFD_SWAP_COPY) != 0;
    t.stereo = (d.dwFlags & PFD_STEREO) != 0;
    t.generic = (d.dwFlags & PFD_GENERIC_FORMAT) != 0;
    t.accelerated = (d.dwFlags & PFD_GENERIC_ACCELERATED) != 0;
    t.colourBits = d.cColorBits;
    t.depthBits = d.cDepthBits;
    t.stencilBits = d.cStencilBits;
    t.alphaBits = d.cAlphaBits;
    return t;
}

void OpenGlBox(const char* key) {
    AppMessage message;
    message.kind = MessageKind::Info;
    message.textKey = key;
    message.ownerless = true;
    App_ShowMessage(message);
}

// Chooses, sets and records the pixel format; 0 or 2.
int32_t ChooseFormat(GraphWindowRecord& record, GeneralSettings& settings) {
    PIXELFORMATDESCRIPTOR d;
    const int count = DescribePixelFormat(record.dc, 1, sizeof d, &d);
    std::vector<PixelFormatTraits> formats;
    std::vector<PIXELFORMATDESCRIPTOR> descriptors;
    for (int n = 1; n <= count; ++n) {
        if (!DescribePixelFormat(record.dc, n, sizeof d, &d)) std::memset(&d, 0, sizeof d);
        formats.push_back(TraitsOf(d));
        descriptors.push_back(d);
    }
    PixelFormatWishes wishes;
    wishes.stereo = settings.StereoEnabled != 0;
    wishes.disableHardware = settings.DisableGraphicsHardware != 0;
    wishes.stencil = record.stencilWanted != 0;
    const int32_t chosen = Graph_ChoosePixelFormat(formats, wishes);
    if (chosen == 0) {
        OpenGlBox("ErrorOpenGLRequired");
        settings.StereoEnabled = 0;
        return 2;
    }
    const PIXELFORMATDESCRIPTOR& f = descriptors[chosen - 1];
    if (!SetPixelFormat(record.dc, chosen, &f)) return 2;
    const PixelFormatTraits& t = formats[chosen - 1];
    if (settings.StereoEnabled && !t.stereo) {
        OpenGlBox("ErrorOpenGLBackFrontBufferingRequired");
        settings.StereoEnabled = 0;
    }
    record.alpha = t.alphaBits > 0 ? 1 : 0;
    record.stereo = settings.StereoEnabled && t.stereo ? 1 : 0;
    record.hardware = t.generic ? 0 : 1;
    bool swap = t.swapCopy;
    if (!settings.DisableGraphicsHardware && settings.OverrideGraphicsHardwareSwapCopyBit) swap = !swap;
    record.presentBySwap = swap ? 1 : 0;
    record.nearPlane = -record.depthExtent;
    record.farPlane = Graph_FarPlane(record.depthExtent, t.depthBits);
    return 0;
}

void UseSavedMatrices(const GraphWindowRecord& record, GLdouble* modelView, GLdouble* projection, GLint* viewport) {
    std::memcpy(modelView, record.modelView, sizeof record.modelView);
    std::memcpy(projection, record.projection, sizeof record.projection);
    for (int i = 0; i < 4; ++i) viewport[i] = record.viewport[i];
}

void Identity(GLdouble* m) {
    for (int i = 0; i < 16; ++i) m[i] = i % 5 == 0 ? 1.0 : 0.0;
}

// Reads one depth value of the front buffer; false outside the viewport.
bool FrontDepth(const GraphWindowRecord& record, int32_t x, int32_t row, float& depth) {
    if (x < 0 || x >= record.viewport[2] || row < 0 || row >= record.viewport[3]) return false;
    glReadBuffer(record.stereo ? GL_FRONT_LEFT : GL_FRONT);
    glReadPixels(x, row, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    return true;
}

constexpr float kReadBackNudge = 0.00001f;

// The window point unprojected to eye space, moved along the eye's z axis and
// taken back through the saved view to world coordinates.
int32_t WorldPointAt(const GraphWindowRecord& record, double wx, double wy, double depth, float depthOffset,
                     Vec3& out) {
    GLdouble modelView[16], projection[16], identity[16];
    GLint viewport[4];
    UseSavedMatrices(record, modelView, projection, viewport);
    Identity(identity);
    GLdouble ex, ey, ez, px, py, pz, x, y, z;
    if (!gluUnProject(wx, wy, depth, identity, projection, viewport, &ex, &ey, &ez)) return 1;
    ez += depthOffset;
    if (!gluProject(ex, ey, ez, identity, projection, viewport, &px, &py, &pz)) return 1;
    if (!gluUnProject(px, py, pz, modelView, projection, viewport, &x, &y, &z)) return 1;
    out = {static_cast<float>(x) + kReadBackNudge, static_cast<float>(y) + kReadBackNudge,
           static_cast<float>(z) + kReadBackNudge};
    return 0;
}

}  // namespace

GraphWindowRecord* Graph_Record(HWND window) {
    return window ? reinterpret_cast<GraphWindowRecord*>(GetWindowLongPtrA(window, GWLP_USERDATA)) : nullptr;
}

int32_t Graph_Create(HWND window, GeneralSettings& settings, const int* stencilWanted) {
    GraphWindowRecord* record = new (std::nothrow) GraphWindowRecord();
    if (!record) return 3;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
    record->stencilWanted = stencilWanted && *stencilWanted ? 1 : 0;
    record->dc = GetDC(window);
    if (!record->dc) return 2;
    const int32_t format = ChooseFormat(*record, settings);
    if (format != 0) {
        ReleaseDC(window, record->dc);
        record->dc = nullptr;
        return format;
    }
    record->gl = wglCreateContext(record->dc);
    if (!record->gl || !wglMakeCurrent(record->dc, record->gl)) return 2;
    Graph_CreateFont(*record);
    Gl_LoadExtensions(*record);
    record->navigation = Nav_Create(window);
    if (!record->navigation) return 3;
    return Graph_CheckGlError();
}

int32_t Graph_Destroy(HWND window) {
    GraphWindowRecord* record = Graph_Record(window);
    if (!record) return 0;
    int32_t result = 0;
    if (record->gl && record->dc && wglMakeCurrent(record->dc, record->gl)) {
        Graph_DeleteFont(*record);
        if (record->pickListCount > 0) glDeleteLists(record->pickListBase, record->pickListCount);
        if (record->glyphList) glDeleteLists(record->glyphList, 1);
    }
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    if (!wglMakeCurrent(nullptr, nullptr)) result = 2;
    if (record->gl) wglDeleteContext(record->gl);
    if (record->dc) ReleaseDC(window, record->dc);
    Nav_Free(record->navigation);
    std::free(record->capturedPixels);
    delete record;
    return result;
}

int32_t Graph_MakeCurrent(HWND window) {
    GraphWindowRecord* record = Graph_Record(window);
    if (!record || !record->dc || !record->gl || !wglMakeCurrent(record->dc, record->gl)) {
        OutputDebugStringA("Graph_MakeCurrent failed\n");
        return 0;
    }
    return 1;
}

int32_t Graph_CheckGlError() {
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) return 0;
    char text[256];
    const GLubyte* message = gluErrorString(error);
    std::snprintf(text, sizeof text, "%s", message ? reinterpret_cast<const char*>(message) : "");
    return 2;
}

void Graph_SaveMatrices(GraphWindowRecord& record) {
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    for (int i = 0; i < 4; ++i) record.viewport[i] = viewport[i];
    glGetDoublev(GL_MODELVIEW_MATRIX, record.modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, record.projection);
}

namespace {

// Makes current and records the client size; false for an empty client area.
bool BeginSetup(HWND window, GraphWindowRecord*& record) {
    record = Graph_Record(window);
    if (!record || !Graph_MakeCurrent(window)) return false;
    RECT client;
    GetClientRect(window, &client);
    if (client.right <= 0 || client.bottom <= 0) return false;
    record->clientWidth = client.right;
    record->clientHeight = client.bottom;
    glViewport(0, 0, client.right, client.bottom);
    return true;
}

}  // namespace

int32_t Graph_Setup2D(HWND window, int32_t width, int32_t height) {
    GraphWindowRecord* record;
    if (!BeginSetup(window, record)) return 0;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, height, 0, record->nearPlane, record->farPlane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glDisable(GL_CULL_FACE);
    glShadeModel(GL_FLAT);
    glClearColor(0, 0, 0, 1);
    glDrawBuffer(GL_BACK);
    glClear(GL_COLOR_BUFFER_BIT);
    Graph_SaveMatrices(*record);
    Graph_Present(*record);
    return Graph_CheckGlError();
}

int32_t Graph_Setup3D(const ViewSettings& view, const GeneralSettings& settings, HWND window, float scale) {
    GraphWindowRecord* record;
    if (!BeginSetup(window, record)) return 0;
    const OrthoBox box = Graph_OrthoBox(record->clientWidth, record->clientHeight, scale, view.ZoomFactor);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(box.left, box.right, box.bottom, box.top, record->nearPlane, record->farPlane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearDepth(1.0);
    glDisable(GL_FOG);
    const uint32_t bg = settings.BackgroundColour;
    glClearColor((bg & 0xFF) / 255.0f, ((bg >> 8) & 0xFF) / 255.0f, ((bg >> 16) & 0xFF) / 255.0f, 1.0f);
    const GLfloat black[4] = {0, 0, 0, 1}, white[4] = {1, 1, 1, 1};
    const float a = settings.AmbientLightLevel, s = settings.SpotLightLevel;
    const GLfloat ambient[4] = {a, a, a, 1}, diffuse[4] = {s, s, s, 1};
    const GLfloat position[4] = {settings.SpotLightPosition[0], settings.SpotLightPosition[1],
                                 settings.SpotLightPosition[2], 0};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, white);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    const bool specular = settings.UseSpecularHighlights == 1;
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular ? white : black);
    glMaterialf(GL_FRONT, GL_SHININESS, specular ? 128.0f : 0.0f);
    Graph_SaveMatrices(*record);
    return Graph_CheckGlError();
}

void Graph_Present(GraphWindowRecord& record) {
    if (record.presentBySwap) {
        SwapBuffers(record.dc);
        return;
    }
    // Copying keeps the back buffer, which the overlay repaint shows again.
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    glViewport(0, 0, record.clientWidth, record.clientHeight);
    glRasterPos2f(-1, -1);
    const GLenum pairs[2][2] = {{GL_BACK_LEFT, GL_FRONT_LEFT}, {GL_BACK_RIGHT, GL_FRONT_RIGHT}};
    for (int eye = 0; eye < (record.stereo ? 2 : 1); ++eye) {
        glReadBuffer(record.stereo ? pairs[eye][0] : GL_BACK);
        glDrawBuffer(record.stereo ? pairs[eye][1] : GL_FRONT);
        glCopyPixels(0, 0, record.clientWidth, record.clientHeight, GL_COLOR);
    }
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    glFinish();
}

void Graph_BeginOverlay2D(int32_t width, int32_t height) {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, width > 1 ? width : 1, height > 1 ? height : 1, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void Graph_EndOverlay2D() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

void Graph_CreateFont(GraphWindowRecord& record) {
    HFONT font = CreateFontA(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_TT_PRECIS,
                             CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, FF_DONTCARE | DEFAULT_PITCH, "Courier New");
    HGDIOBJ old = SelectObject(record.dc, font);
    record.fontBase = glGenLists(kFontCount);
    if (record.fontBase) wglUseFontBitmapsA(record.dc, kFontFirst, kFontCount, record.fontBase);
    SelectObject(record.dc, old);
    DeleteObject(font);
    // Some drivers flag an error for the empty glyph of the blank while the
    // lists still work; the labels are an overlay and must not fail the view.
    Graph_CheckGlError();
}

void Graph_DeleteFont(GraphWindowRecord& record) {
    if (record.fontBase) glDeleteLists(record.fontBase, kFontCount);
    record.fontBase = 0;
}

void Graph_DrawText(const GraphWindowRecord& record, const char* format, ...) {
    if (!format || !record.fontBase) return;
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    const std::string text = Graph_CleanText(buffer);
    glListBase(record.fontBase - kFontFirst);
    glCallLists(static_cast<GLsizei>(text.size()), GL_UNSIGNED_BYTE, text.data());
}

int32_t Gl_HasExtension(const char* name) {
    return Gl_HasExtensionIn(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), name) ? 1 : 0;
}

void Gl_LoadExtensions(GraphWindowRecord& record) {
    if (Gl_HasExtension("GL_EXT_compiled_vertex_array")) {
        record.lockArrays = reinterpret_cast<GlLockArrays>(wglGetProcAddress("glLockArraysEXT"));
        record.unlockArrays = reinterpret_cast<GlUnlockArrays>(wglGetProcAddress("glUnlockArraysEXT"));
        record.lockedArraysAvailable = record.lockArrays && record.unlockArrays ? 1 : 0;
    }
    if (Gl_HasExtension("GL_EXT_point_parameters"))
        record.pointParameter = reinterpret_cast<GlPointParameter>(wglGetProcAddress("glPointParameterfvEXT"));
    record.pointParametersLookedUp = 1;
}

void Graph_LogGlInfo(HWND window) {
    GraphWindowRecord* record = Graph_Record(window);
    if (!record || !Graph_MakeCurrent(window)) return;
    auto text = [](GLenum name) {
        const GLubyte* s = glGetString(name);
        return std::string(s ? reinterpret_cast<const char*>(s) : "");
    };
    using ExtensionsArb = const char*(WINAPI*)(HDC);
    using ExtensionsExt = const char*(WINAPI*)();
    std::string wgl;
    if (auto arb = reinterpret_cast<ExtensionsArb>(wglGetProcAddress("wglGetExtensionsStringARB"))) {
        if (const char* s = arb(record->dc)) wgl = s;
    } else if (auto ext = reinterpret_cast<ExtensionsExt>(wglGetProcAddress("wglGetExtensionsStringEXT"))) {
        if (const char* s = ext()) wgl = s;
    }
    const std::pair<const char*, std::string> items[] = {{"GL_VENDOR", text(GL_VENDOR)},
                                                         {"GL_RENDERER", text(GL_RENDERER)},
                                                         {"GL_VERSION", text(GL_VERSION)},
                                                         {"GL_EXTENSIONS", text(GL_EXTENSIONS)},
                                                         {"WGL_EXTENSIONS", wgl}};
    for (const auto& item : items) {
        AppMessage message;
        message.kind = MessageKind::Plain;
        message.owner = window;
        message.title = item.first;
        message.text = item.second;
        App_ShowMessage(message);
    }
}

void Graph_SetOverlayImage(HWND window, const Image* image) {
    if (GraphWindowRecord* record = Graph_Record(window)) record->overlayImage = image;
}

void Graph_SetWizardHandler(intptr_t word1, intptr_t word2, HWND window, GraphFrameHook hook) {
    GraphWindowRecord* record = Graph_Record(window);
    if (!record) return;
    record->frameHook = hook;
    record->hookWords[0] = word1;
    record->hookWords[1] = word2;
}

int32_t Graph_CallFrameHook(GraphWindowRecord& record) {
    if (!record.frameHook) return 0;
    record.frameHook(record.hookWords[0], record.hookWords[1]);
    return 1;
}

int32_t Graph_ViewportWidth(HWND window) {
    const GraphWindowRecord* record = Graph_Record(window);
    return record ? record->viewport[2] : 0;
}

int32_t Graph_ViewportHeight(HWND window) {
    const GraphWindowRecord* record = Graph_Record(window);
    return record ? record->viewport[3] : 0;
}

NavigationState* Graph_GetNavigation(HWND window) {
    const GraphWindowRecord* record = Graph_Record(window);
    return record ? record->navigation : nullptr;
}

namespace {

HCURSOR ClassCursor(HWND window) {
    char name[64] = "";
    WNDCLASSEXA c = {};
    c.cbSize = sizeof c;
    if (!GetClassNameA(window, name, sizeof name) ||
        !GetClassInfoExA(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE)), name, &c))
        return LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    return c.hCursor;
}

}  // namespace

void Graph_SetMoveCursor(HWND window, int32_t kind) {
    // Loaded once: every view is of the one "KorvGraph" class.
    static const HCURSOR classCursor = ClassCursor(window);
    static const HCURSOR fourWay = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_SIZEALL));
    static const HCURSOR moveHandle = LoadCursorA(GetModuleHandleA(nullptr), "CURSOR_MOVE_HANDLE");
    HCURSOR cursor = classCursor;
    if (kind == kCursorFourWay && fourWay) cursor = fourWay;
    if (kind == kCursorMoveHandle && moveHandle) cursor = moveHandle;
    SetCursor(cursor);
}

int32_t Graph_ProjectToScreen(const Vec3& point, HWND window, Vec3& out) {
    const GraphWindowRecord* record = Graph_Record(window);
    if (!record) return 1;
    GLdouble modelView[16], projection[16], x, y, z;
    GLint viewport[4];
    UseSavedMatrices(*record, modelView, projection, viewport);
    if (!gluProject(point.x, point.y, point.z, modelView, projection, viewport, &x, &y, &z)) return 1;
    out = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
    return 0;
}

int32_t Graph_UnprojectFromScreen(const Vec3& point, HWND window, Vec3& out) {
    const GraphWindowRecord* record = Graph_Record(window);
    if (!record) return 1;
    GLdouble modelView[16], projection[16], x, y, z;
    GLint viewport[4];
    UseSavedMatrices(*record, modelView, projection, viewport);
    if (!gluUnProject(point.x, point.y, point.z, modelView, projection, viewport, &x, &y, &z)) return 1;
    out = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
    return 0;
}

int32_t Graph_ReadPixelsAt(HWND window, int32_t x, int32_t y, Vec3& out) {
    const GraphWindowRecord* record = Graph_Record(window);
    if (!record || !Graph_MakeCurrent(window)) return 1;
    const int32_t row = record->viewport[3] - y - 1;
    float depth = 1.0f;
    if (!FrontDepth(*record, x, row, depth) || depth >= 1.0f) return 1;
    GLdouble modelView[16], projection[16], ex, ey, ez;
    GLint viewport[4];
    UseSavedMatrices(*record, modelView, projection, viewport);
    Identity(modelView);
    if (!gluUnProject(x + 0.5, row + 0.5, depth, modelView, projection, viewport, &ex, &ey, &ez)) return 1;
    out = {static_cast<float>(ex) + kReadBackNudge, static_cast<float>(ey) + kReadBackNudge,
           static_cast<float>(ez) + kReadBackNudge};
    return Graph_CheckGlError();
}

int32_t Graph_ReadDepth(HWND window, int32_t x, int32_t y, Vec3& out, float depthOffset) {
    const GraphWindowRecord* record = Graph_Record(window);
    if (!record || !Graph_MakeCurrent(window)) return 1;
    const int32_t row = record->viewport[3] - y - 1;
    float depth = 1.0f;
    if (!FrontDepth(*record, x, row, depth) || depth >= 1.0f) return 1;
    return WorldPointAt(*record, x + 0.5, row + 0.5, depth, depthOffset, out);
}

int32_t Graph_ReadPointAt(HWND window, Vec3& out, float x, float y, float depthOffset) {
    const GraphWindowRecord* record = Graph_Record(window);
    if (!record || !Graph_MakeCurrent(window)) return 1;
    const float r = static_cast<float>(record->viewport[3]) - y;
    const float sx = x - 0.5f, sr = r - 0.5f;
    const int32_t px = static_cast<int32_t>(std::floor(sx)), pr = static_cast<int32_t>(std::floor(sr));
    const float fx = sx - px, fr = sr - pr;
    float depth;
    if (fx == 0 && fr == 0) {
        if (!FrontDepth(*record, px, pr, depth) || depth >= 1.0f) return 1;
    } else {
        if (px < 0 || pr < 0 || px + 1 >= record->viewport[2] || pr + 1 >= record->viewport[3]) return 1;
        float block[4];
        glReadBuffer(record->stereo ? GL_FRONT_LEFT : GL_FRONT);
        glReadPixels(px, pr, 2, 2, GL_DEPTH_COMPONENT, GL_FLOAT, block);
        for (float d : block)
            if (d >= 1.0f) return 1;
        const float bottom = block[0] + (block[1] - block[0]) * fx;
        const float top = block[2] + (block[3] - block[2]) * fx;
        depth = bottom + (top - bottom) * fr;
    }
    return WorldPointAt(*record, x, r, depth, depthOffset, out);
}

bool Graph_ReadFrontBuffer(HWND window, Image& image) {
    const GraphWindowRecord* record = Graph_Record(window);
    if (!record || !Graph_MakeCurrent(window)) return false;
    const int32_t w = record->clientWidth, h = record->clientHeight;
    if (!Image_Allocate(image, kImageRgba, w, h)) return false;
    std::vector<uint8_t> rows(static_cast<size_t>(w) * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(record->stereo ? GL_FRONT_LEFT : GL_FRONT);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
    for (int32_t y = 0; y < h; ++y)
        std::memcpy(image.pixels + static_cast<size_t>(y) * w * 4, rows.data() + static_cast<size_t>(h - 1 - y) * w * 4,
                    static_cast<size_t>(w) * 4);
    return Graph_CheckGlError() == 0;
}
