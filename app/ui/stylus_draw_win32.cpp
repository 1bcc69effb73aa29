#include "app/ui/stylus_draw_win32.h"

#include "app/ui/graph_window_win32.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <vector>

namespace {

// A unit cube's six faces, each with its normal.
const float kCubeNormals[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};

void CubeFaces(float half) {
    glBegin(GL_QUADS);
    for (const auto& n : kCubeNormals) {
        glNormal3fv(n);
        // Two axes across the face, in turn.
        const int axis = n[0] != 0 ? 0 : n[1] != 0 ? 1 : 2;
        const int u = (axis + 1) % 3, v = (axis + 2) % 3;
        const float s = n[axis] > 0 ? 1.0f : -1.0f;
        const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (int k = 0; k < 4; ++k) {
            const int c = s > 0 ? k : 3 - k;
            float p[3];
            p[axis] = s * half;
            p[u] = corners[c][0] * half;
            p[v] = corners[c][1] * half;
            glVertex3fv(p);
        }
    }
    glEnd();
}

// The glyph of the marker setting, into the current list.
void BuildGlyph(int32_t marker) {
    static const float kCubeSizes[] = {5, 10, 20};
    static const float kStickLengths[] = {25, 50, 100};
    static const float kBallScales[] = {2.5f, 5, 10};
    static const float kDoubleSizes[] = {2.5f, 5, 10};
    if (marker >= 0 && marker <= 2) {
        CubeFaces(kCubeSizes[marker] / 3 / 2);
    } else if (marker >= 3 && marker <= 5) {
        const float length = kStickLengths[marker - 3];
        CubeFaces(kCubeSizes[marker - 3] / 3 / 2);
        glDisable(GL_LIGHTING);
        glLineWidth(1);
        glBegin(GL_LINES);
        glVertex3f(-0.01f * length, 0, 0);
        glVertex3f(-length, 0, 0);
        glEnd();
        glEnable(GL_LIGHTING);
    } else if (marker >= 6 && marker <= 8) {
        Graph_DrawBall(kBallScales[marker - 6]);
    } else if (marker >= 9 && marker <= 11) {
        const float half = kDoubleSizes[marker - 9] / 3 / 2;
        CubeFaces(half);
        glPushMatrix();
        const float turn[16] = {-1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        glMultMatrixf(turn);
        CubeFaces(half);
        glPopMatrix();
    }
}

void ItemColour(const GeneralSettings& settings, uint32_t flags, float scale, float alpha) {
    uint32_t c = (flags & kStylusSelected) ? settings.PreviewColour : (~settings.PreviewColour & 0xFFFFFF);
    int rgb[3] = {static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF)};
    for (int& v : rgb) {
        if (flags & kStylusHighlighted) v = std::min(255, v + 128);
        v = static_cast<int>(v * scale);
    }
    glColor4ub(rgb[0], rgb[1], rgb[2], static_cast<uint8_t>(alpha * 255));
}

Matrix4 DisplayPose(const StylusItem& item, bool scanView, bool fourth) {
    Matrix4 pose;
    StylusItem_GetPose(item, pose, true, !scanView, fourth);
    return pose;
}

void DrawPoint(const GraphWindowRecord& record, const GeneralSettings& settings, const StylusItem& item, bool scanView,
               bool fourth) {
    if (item.Flags & kStylusHidden) return;
    glDisable(GL_BLEND);
    glEnable(GL_LIGHTING);
    glEnable(GL_CULL_FACE);
    ItemColour(settings, item.Flags, 1, 1);
    glPushMatrix();
    const Matrix4 pose = DisplayPose(item, scanView, fourth);
    glMultMatrixf(pose.m);
    glCallList(record.glyphList);
    glPopMatrix();
    glDisable(GL_CULL_FACE);
}

// The line that starts at item `head`: its members follow while they carry the member flag.
void DrawLine(const GeneralSettings& settings, const StylusItemList& list, int32_t head, bool scanView, bool fourth) {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_LINE_SMOOTH);
    glLineWidth(3);
    const uint32_t flags = list.Items[head].Flags;
    ItemColour(settings, flags, 0.8f, 1);
    glBegin(GL_LINE_STRIP);
    int32_t end = head + 1;
    for (; end < list.VisibleCount && (list.Items[end].Flags & kStylusLineMember); ++end) {
        const Matrix4 pose = DisplayPose(list.Items[end], scanView, fourth);
        glVertex3f(pose[12], pose[13], pose[14]);
    }
    glEnd();
    static const float kMarks[] = {2.5f, 5, 10};
    const int32_t mark = settings.Stylus.LineMarker;
    if (mark >= 1 && mark <= 3) {
        glBegin(GL_LINES);
        for (int32_t i = head + 1; i < end; ++i) {
            const Matrix4 pose = DisplayPose(list.Items[i], scanView, fourth);
            Vec3 tip;
            M4_TransformPoint(pose, {-4 * kMarks[mark - 1], 0, 0}, tip);
            ItemColour(settings, flags, 0.8f, 1);
            glVertex3f(pose[12], pose[13], pose[14]);
            ItemColour(settings, flags, 0.8f, 0);
            glVertex3fv(&tip.x);
        }
        glEnd();
    }
    glPopAttrib();
}

}  // namespace

void Graph_DrawStylusItems(GraphWindowRecord& record, const GeneralSettings& settings, const StylusItemList& list,
                           bool scanView, bool fourth) {
    // The last frame's picking ids go first, also when nothing is drawn now:
    // else items taken back by Undo or Clear would still be picked.
    glClearStencil(0);
    glClear(GL_STENCIL_BUFFER_BIT);
    if (!list.Items || list.VisibleCount <= 0) return;
    glDisable(GL_CLIP_PLANE0);
    glDisable(GL_TEXTURE_1D);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_LIGHTING);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_STENCIL_TEST);
    glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);

    if (record.glyphList) glDeleteLists(record.glyphList, 1);
    record.glyphList = glGenLists(1);
    glNewList(record.glyphList, GL_COMPILE);
    BuildGlyph(settings.Stylus.PointMarker);
    glEndList();

    int32_t ids = 0;
    for (int32_t i = 0; i < list.VisibleCount; ++i) ids = std::max(ids, list.Items[i].Group + 1);
    if (record.pickListCount > 0) glDeleteLists(record.pickListBase, record.pickListCount);
    record.pickListBase = ids > 0 ? glGenLists(ids) : 0;
    record.pickListCount = record.pickListBase ? ids : 0;

    bool inLine = false;
    for (int32_t i = 0; i < list.VisibleCount; ++i) {
        const StylusItem& item = list.Items[i];
        const int32_t group = std::max(0, item.Group);
        glStencilFunc(GL_ALWAYS, static_cast<GLint>(Stylus_StencilOf(group)), 0xFF);
        const bool listed = group < record.pickListCount;
        if (item.Flags & kStylusLineHead) {
            inLine = true;
            if (listed) glNewList(record.pickListBase + group, GL_COMPILE_AND_EXECUTE);
            DrawLine(settings, list, i, scanView, fourth);
            if (listed) glEndList();
        } else if (!(item.Flags & kStylusLineMember)) {
            inLine = false;
            if (listed) glNewList(record.pickListBase + group, GL_COMPILE_AND_EXECUTE);
            DrawPoint(record, settings, item, scanView, fourth);
            if (listed) glEndList();
        } else if (!inLine) {
            // A line member without a line head before it draws nothing.
        }
    }
    glDisable(GL_STENCIL_TEST);
}

int32_t Graph_Pick(HWND window, int32_t x, int32_t y) {
    GraphWindowRecord* record = Graph_Record(window);
    if (!record || !record->stencilWanted || !Graph_MakeCurrent(window)) return -1;
    // The GL row of client row y is h - y - 1; a row outside the window has no id.
    const int32_t row = record->clientHeight - y - 1;
    if (x < 0 || x >= record->clientWidth || row < 0 || row >= record->clientHeight) return -1;
    GLuint s = 0;
    glReadBuffer(record->stereo ? GL_FRONT_LEFT : GL_FRONT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, row, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_INT, &s);
    if (s < 1) return -1;
    const int32_t n = record->pickListCount;
    if (n <= static_cast<int32_t>(s) + 254) return static_cast<int32_t>(s) - 1;
    // Several groups share the stencil value: selection tells them apart.
    std::vector<GLuint> buffer(4 * ((n - 1) / 255 + 1));
    GLint viewport[4];
    for (int i = 0; i < 4; ++i) viewport[i] = record->viewport[i];
    for (int k = 1; k <= 5; ++k) {
        glSelectBuffer(static_cast<GLsizei>(buffer.size()), buffer.data());
        glRenderMode(GL_SELECT);
        glInitNames();
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        gluPickMatrix(x + 0.5, row + 0.5, k, k, viewport);
        glMultMatrixd(record->projection);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadMatrixd(record->modelView);  // the frame the ids were drawn in
        for (int32_t id = static_cast<int32_t>(s) - 1; id < n; id += 255) {
            glPushName(static_cast<GLuint>(id));
            glCallList(record->pickListBase + id);
            glPopName();
        }
        glPopMatrix();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        const GLint hits = glRenderMode(GL_RENDER);
        if (hits <= 0) continue;
        // Each hit: name count, minimum depth, maximum depth, names.
        int32_t best = -1;
        GLuint bestDepth = 0;
        size_t at = 0;
        for (GLint h = 0; h < hits && at + 3 <= buffer.size(); ++h) {
            const GLuint names = buffer[at], depth = buffer[at + 1];
            if (names > 0 && at + 3 < buffer.size() && (best < 0 || depth < bestDepth)) {
                best = static_cast<int32_t>(buffer[at + 3]);
                bestDepth = depth;
            }
            at += 3 + names;
        }
        if (best >= 0) return best;
    }
    return -1;
}

void Graph_DrawBall(float radius) {
    GLUquadric* quadric = gluNewQuadric();
    if (!quadric) return;
    gluSphere(quadric, radius, 12, 8);
    gluDeleteQuadric(quadric);
}
