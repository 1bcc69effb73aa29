#include "app/ui/scene_draw_win32.h"

#include "app/acquisition/profile_line_log.h"
#include "app/ui/brand_info.h"
#include "app/ui/facet_batch_win32.h"
#include "app/ui/graph_window_win32.h"
#include "app/ui/input_handlers.h"
#include "app/ui/navigation.h"
#include "app/ui/stereo_eyes.h"
#include "app/ui/stylus_draw_win32.h"
#include "app/ui/tracker_glyphs_win32.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Colour3(uint32_t c) { glColor3ub(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

uint32_t Complement(uint32_t c) { return ~c & 0xFFFFFF; }

bool SweepHidden(const RawData& raw, int32_t s) { return (raw.Sweeps[s].Flags & kSweepHidden) != 0; }

int32_t SweepPointEnd(const RawData& raw, int32_t s) { return std::min(raw.SweepFirstPoint[s + 1], raw.NumPoints); }

int32_t SweepFacetEnd(const RawData& raw, int32_t s) { return std::min(raw.SweepFirstFacet[s + 1], raw.NumFacets); }

bool HasSweepTables(const RawData& raw) { return raw.Sweeps && raw.SweepFirstPoint && raw.SweepFirstFacet; }

// The back buffer a frame's pass draws into: both eyes' outside the stereo
// passes, one eye's during its own pass.
GLenum g_backBuffer = GL_BACK;

// Runs a frame's drawing once per eye of a stereo view, each into its own
// back buffer through its own projection; once, as it is, otherwise. The
// frame's own projection is restored and saved for picking afterwards.
template <typename Pass>
void EyePasses(GraphWindowRecord& record, const GeneralSettings& settings, Pass pass) {
    if (!record.stereo) {
        pass();
        return;
    }
    float frame[16];
    glGetFloatv(GL_PROJECTION_MATRIX, frame);
    for (int32_t eye = 0; eye < 2; ++eye) {
        float projection[16];
        Stereo_EyeProjection(frame, eye, settings.ViewerToScreenDistance, settings.ObjectToScreenOffset, projection);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(projection);
        glMatrixMode(GL_MODELVIEW);
        g_backBuffer = eye == 0 ? GL_BACK_LEFT : GL_BACK_RIGHT;
        pass();
    }
    g_backBuffer = GL_BACK;
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(frame);
    glMatrixMode(GL_MODELVIEW);
    Graph_SaveMatrices(record);
}

// The model-view of a frame: the view's rotation about its origin.
void LoadViewModel(const ViewSettings& view, double offsetX = 0, double offsetY = 0) {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (offsetX != 0 || offsetY != 0) glTranslated(offsetX, offsetY, 0);
    glMultMatrixf(view.ViewMatrix.m);
    glTranslatef(-view.ViewOrigin.x, -view.ViewOrigin.y, -view.ViewOrigin.z);
}

void GradedBackground(const GeneralSettings& settings) {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, 1, 0, 200, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDepthMask(GL_FALSE);
    const uint32_t bg = settings.BackgroundColour;
    glBegin(GL_QUADS);
    for (int i = 0; i < 200; ++i) {
        const float k = 1.0f - i * 0.5f / 200.0f;
        glColor3f((bg & 0xFF) / 255.0f * k, ((bg >> 8) & 0xFF) / 255.0f * k, ((bg >> 16) & 0xFF) / 255.0f * k);
        glVertex2f(0, i);
        glVertex2f(1, i);
        glVertex2f(1, i + 1);
        glVertex2f(0, i + 1);
    }
    glEnd();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

// Clears the back buffer and sets the frame's model-view. A frame drawn for
// a capture clears to transparent black, so that cropping finds the data.
void FrameStart(GraphWindowRecord& record, const GeneralSettings& settings, const ViewSettings& view,
                double offsetX = 0, double offsetY = 0) {
    glDrawBuffer(g_backBuffer);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
    Colour3(settings.ForegroundColour);
    if (record.captureRequested) {
        glClearColor(0, 0, 0, 0);
    } else {
        const uint32_t bg = settings.BackgroundColour;
        glClearColor((bg & 0xFF) / 255.0f, ((bg >> 8) & 0xFF) / 255.0f, ((bg >> 16) & 0xFF) / 255.0f, 1.0f);
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (!record.captureRequested) {
        if (settings.UseGradedBackground) GradedBackground(settings);
        // The brand's logo, its top left corner at the window's.
        if (record.showLogo) Graph_DrawImage(Brand_Get().background, 0, 1);
    }
    LoadViewModel(view, offsetX, offsetY);
    Graph_SaveMatrices(record);
}

// Locking pays where a frame uses the vertices again and again (a full
// redraw); an incremental frame uses each new vertex about once, and locking
// the whole scan for it would make its cost grow with the scan.
void ScanArrays(GraphWindowRecord& record, const RawData& raw, bool colours, bool lock = true) {
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(ScanPoint), &raw.Points[0].Vertex);
    if (colours) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(3, GL_UNSIGNED_BYTE, sizeof(ScanPoint), raw.Points[0].Colour);
    } else {
        glDisableClientState(GL_COLOR_ARRAY);
    }
    if (lock && record.lockedArraysAvailable && raw.NumPoints > 0) record.lockArrays(0, raw.NumPoints);
}

void EndArrays(GraphWindowRecord& record, const RawData& raw, bool lock = true) {
    if (lock && record.lockedArraysAvailable && raw.NumPoints > 0) record.unlockArrays();
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
}

// The visible runs of a sweep, each in one call: the run's last point holds
// its length.
void DrawSweepRuns(const RawData& raw, int32_t s) {
    const int32_t start = raw.SweepFirstPoint[s];
    int32_t i = SweepPointEnd(raw, s) - 1;
    while (i >= start) {
        const uint32_t run = raw.Points[i].Run;
        const int32_t length = std::max<int32_t>(1, static_cast<int32_t>(run & ~kRunVisible));
        const int32_t first = std::max(start, i - length + 1);
        if (run & kRunVisible) glDrawArrays(GL_POINTS, first, i - first + 1);
        i = first - 1;
    }
}

bool FacetInRange(const RawData& raw, int32_t f) {
    const Facet& facet = raw.Facets[f];
    for (int k = 0; k < 3; ++k)
        if (facet.v[k] < 0 || facet.v[k] >= raw.NumPoints) return false;
    return true;
}

bool FacetDrawn(const RawData& raw, int32_t f) { return FacetInRange(raw, f) && RawData_FacetAllFlagged(raw, f); }

// A few thousand facets, as FacetBatch holds: few enough that their points
// stay in the processor's cache while they are checked and drawn.
constexpr int32_t kChunkFacets = 8192;

// Calls `draw(first, end)` for the facets of the visible sweeps, up to
// kChunkFacets at a time; `selected` chooses the highlighted sweeps (1),
// the others (0) or all (-1).
template <typename F>
void ForEachVisibleChunk(const RawData& raw, int32_t selected, F draw) {
    for (int32_t s = 0; s < raw.NumSweeps; ++s) {
        if (SweepHidden(raw, s)) continue;
        const bool isSelected = (raw.Sweeps[s].Flags & kSweepHighlighted) != 0;
        if (selected >= 0 && isSelected != (selected == 1)) continue;
        const int32_t end = SweepFacetEnd(raw, s);
        for (int32_t first = raw.SweepFirstFacet[s]; first < end; first += kChunkFacets)
            draw(first, std::min(end, first + kChunkFacets));
    }
}

// Calls `draw` for the facets of the visible sweeps (full) or the new ones;
// `selected` as for ForEachVisibleChunk.
template <typename F>
void ForEachDrawnFacet(const RawData& raw, bool full, int32_t selected, F draw) {
    if (!full) {
        for (int32_t f = std::max(0, raw.Draw.DrawnFacets); f < raw.NumFacets; ++f)
            if (FacetInRange(raw, f)) draw(f);
        return;
    }
    ForEachVisibleChunk(raw, selected, [&](int32_t first, int32_t end) {
        for (int32_t f = first; f < end; ++f)
            if (FacetDrawn(raw, f)) draw(f);
    });
}

// Whether every facet of [first, end) is drawn and can be drawn straight
// from the scan's own arrays: all their corners in range and visible, in a
// stretch of points short enough to check, and, when `oneColour`, all of
// that stretch in one colour, which is then every facet's mean colour. The
// stretch is checked rather than each facet's corners: in the order the
// scan is read its facets join neighbouring points, and a sequential pass
// costs a fraction of three scattered reads a facet.
bool ChunkDrawsFromPoints(const RawData& raw, int32_t first, int32_t end, bool oneColour) {
    int32_t low = raw.NumPoints, high = -1;
    for (int32_t f = first; f < end; ++f)
        for (const int32_t v : raw.Facets[f].v) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    if (low < 0 || high >= raw.NumPoints || high - low > 4 * (end - first)) return false;
    const uint8_t* colour = raw.Points[low].Colour;
    for (int32_t i = low; i <= high; ++i) {
        const ScanPoint& p = raw.Points[i];
        // Points past the run cursor are not numbered yet and count as shown.
        if (i < raw.RunCursor && !(p.Run & kRunVisible)) return false;
        if (oneColour && std::memcmp(p.Colour, colour, 3) != 0) return false;
    }
    return true;
}

// The facets' own corner lists serve as the indices into the point arrays.
void DrawChunkFromPoints(const RawData& raw, int32_t first, int32_t end) {
    static_assert(sizeof(Facet) == 3 * sizeof(GLuint), "a facet is three indices");
    glDrawElements(GL_TRIANGLES, 3 * (end - first), GL_UNSIGNED_INT, raw.Facets[first].v);
}

enum class FacetColouring { kFacet, kPoints };

// Chunks drawn from the points' arrays between facets drawn through a
// batch: each switch draws what the other holds first, so that the facets
// keep their order, and points the arrays at the other's data.
class PointArraysBetweenBatches {
  public:
    PointArraysBetweenBatches(const RawData& raw, bool normals, FacetBatch& batch)
        : raw_(raw), normals_(normals), batch_(batch) {}

    void DrawChunk(int32_t first, int32_t end) {
        if (!bound_) {
            batch_.Flush();
            glVertexPointer(3, GL_FLOAT, sizeof(ScanPoint), &raw_.Points[0].Vertex);
            glColorPointer(3, GL_UNSIGNED_BYTE, sizeof(ScanPoint), raw_.Points[0].Colour);
            if (normals_) glNormalPointer(GL_FLOAT, sizeof(ScanPoint), &raw_.Points[0].Normal);
            bound_ = true;
        }
        DrawChunkFromPoints(raw_, first, end);
    }
    // Before facets go to the batch.
    void UseBatch() {
        if (bound_) batch_.Bind();
        bound_ = false;
    }

  private:
    const RawData& raw_;
    bool normals_;
    FacetBatch& batch_;
    bool bound_ = false;
};

// The chosen facets, each in its mean point colour at `alpha` or with its
// points' colours, with point normals when `smooth`, else with the facet
// normals (the current normal when there are none). Where a facet's own
// vertices would carry just its points' attributes (opaque, with point
// normals or none, in one colour or the points' colours) whole chunks are
// drawn from the points' arrays: the pipeline then lights each point once
// for the facets around it, and nothing is copied.
void DrawFacets(const RawData& raw, bool full, int32_t selected, FacetColouring colouring, bool smooth,
                uint8_t alpha = 255) {
    const bool normals = smooth || raw.FacetNormals;
    FacetBatch batch(GL_TRIANGLES, 3, (normals ? FacetBatch::kNormals : 0u) | FacetBatch::kColours);
    const bool facetColour = colouring == FacetColouring::kFacet;
    const auto drawFacet = [&](int32_t f) {
        batch.Begin(facetColour ? RawData_FacetColour(raw, f) : 0, alpha);
        const float* facetNormal = !smooth && raw.FacetNormals ? &raw.FacetNormals[f].x : nullptr;
        for (int k = 0; k < 3; ++k) {
            const ScanPoint& p = raw.Points[raw.Facets[f].v[k]];
            batch.Corner(&p.Vertex.x, smooth ? &p.Normal.x : facetNormal, facetColour ? nullptr : p.Colour);
        }
    };
    if (!full) {
        ForEachDrawnFacet(raw, full, selected, drawFacet);
        return;
    }
    const bool fromPoints = alpha == 255 && normals == smooth;
    PointArraysBetweenBatches points(raw, smooth, batch);
    ForEachVisibleChunk(raw, selected, [&](int32_t first, int32_t end) {
        const bool whole = ChunkDrawsFromPoints(raw, first, end, facetColour);
        if (whole && fromPoints) {
            points.DrawChunk(first, end);
            return;
        }
        points.UseBatch();
        for (int32_t f = first; f < end; ++f)
            if (whole || FacetDrawn(raw, f)) drawFacet(f);
    });
}

// Edges carry no attribute of their own facet: the chosen facets' corners
// are drawn as indices into the points' vertex array, a batch a call, or
// straight from the facets where a whole chunk is drawn.
void DrawFacetEdges(const RawData& raw, bool full) {
    IndexBatch edges(GL_TRIANGLES);
    const auto addFacet = [&](int32_t f) { edges.Add(raw.Facets[f].v, 3); };
    if (!full) {
        ForEachDrawnFacet(raw, false, -1, addFacet);
        return;
    }
    ForEachVisibleChunk(raw, -1, [&](int32_t first, int32_t end) {
        if (ChunkDrawsFromPoints(raw, first, end, false)) {
            edges.Flush();
            DrawChunkFromPoints(raw, first, end);
            return;
        }
        for (int32_t f = first; f < end; ++f)
            if (FacetDrawn(raw, f)) addFacet(f);
    });
}

void DrawScanGeometry(GraphWindowRecord& record, const GeneralSettings& settings, const ViewSettings& view,
                      const RawData& raw, bool full) {
    const bool transparent = record.alpha && settings.SelectedSweepTransparent;
    const bool edges = view.DisplayType >= 2 && (view.Options & 2);
    if (edges) {
        glEnable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(1, 1);
    }
    switch (view.DisplayType) {
        case 0:
            ScanArrays(record, raw, true, full);
            glShadeModel(GL_FLAT);
            glDisable(GL_LIGHTING);
            if (full) {
                for (int32_t s = 0; s < raw.NumSweeps; ++s)
                    if (!SweepHidden(raw, s)) DrawSweepRuns(raw, s);
            } else if (raw.NumPoints > raw.Draw.DrawnPoints) {
                const int32_t first = std::max(0, raw.Draw.DrawnPoints);
                glDrawArrays(GL_POINTS, first, raw.NumPoints - first);
            }
            EndArrays(record, raw, full);
            break;
        case 1:
            glShadeModel(GL_SMOOTH);
            glEnable(GL_LIGHTING);
            glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
            DrawFacets(raw, full, -1, FacetColouring::kPoints, false);
            glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
            break;
        default: {
            const bool smooth = settings.UseSmoothShading == 1;
            // Without point normals a facet's corners carry one normal and
            // one colour, so flat shading gives the same picture and spares
            // the rasteriser the interpolation.
            glShadeModel(smooth ? GL_SMOOTH : GL_FLAT);
            glEnable(GL_LIGHTING);
            glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
            DrawFacets(raw, full, full && transparent ? 0 : -1, FacetColouring::kFacet, smooth);
            if (full && transparent) {
                glEnable(GL_BLEND);
                glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
                for (int pass = 0; pass < 2; ++pass) {
                    glDepthFunc(pass == 0 ? GL_GEQUAL : GL_LESS);
                    glDepthMask(pass == 0 ? GL_FALSE : GL_TRUE);
                    DrawFacets(raw, full, 1, FacetColouring::kFacet, smooth, pass == 0 ? 64 : 192);
                }
                glDisable(GL_BLEND);
                glDepthFunc(GL_LESS);
                glDepthMask(GL_TRUE);
            }
            break;
        }
    }
    if (edges) {
        glDisable(GL_POLYGON_OFFSET_FILL);
        ScanArrays(record, raw, false, full);
        glDisable(GL_LIGHTING);
        glShadeModel(GL_FLAT);
        glColor3ub(0, 0, 0);
        glPolygonMode(GL_FRONT, GL_LINE);
        DrawFacetEdges(raw, full);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        EndArrays(record, raw, full);
    }
}

bool PointDrawn(const RawData& raw, int32_t i, bool full) {
    if (!full) return true;
    return (raw.Points[i].Run & kRunVisible) != 0;
}

// Which sweep holds point i; the sweeps' first points ascend.
bool PointSweepVisible(const RawData& raw, int32_t i, int32_t& s) {
    while (s < raw.NumSweeps && i >= raw.SweepFirstPoint[s + 1]) ++s;
    return s < raw.NumSweeps && !SweepHidden(raw, s);
}

// The same walk over profiles, for profiles numbered upwards from 0.
bool ProfileSweepVisible(const RawData& raw, int32_t p, int32_t& s) {
    if (!raw.SweepStartingProfileNo) return false;
    while (s < raw.NumSweeps && p >= raw.SweepStartingProfileNo[s + 1]) ++s;
    return s < raw.NumSweeps && !SweepHidden(raw, s);
}

void DrawNormals(const GeneralSettings& settings, const RawData& raw, bool full) {
    Colour3(((~(settings.ForegroundColour + settings.BackgroundColour)) & 0xFFFFFF) >> 1);
    glDisable(GL_LIGHTING);
    glBegin(GL_LINES);
    int32_t s = 0;
    for (int32_t i = full ? 0 : std::max(0, raw.Draw.DrawnPoints); i < raw.NumPoints; ++i) {
        if (!PointSweepVisible(raw, i, s) || !PointDrawn(raw, i, full)) continue;
        const ScanPoint& p = raw.Points[i];
        glVertex3fv(&p.Vertex.x);
        glVertex3f(p.Vertex.x + 3 * p.Normal.x, p.Vertex.y + 3 * p.Normal.y, p.Vertex.z + 3 * p.Normal.z);
    }
    glEnd();
}

template <typename... Args>
void Label(const GraphWindowRecord& record, const Vec3& at, const char* format, Args... args) {
    glRasterPos3f(at.x, at.y, at.z);
    Graph_DrawText(record, format, args...);
}

void DrawLabels(const GraphWindowRecord& record, const ViewSettings& view, const RawData& raw, bool full) {
    const uint32_t o = view.Options;
    if (!(o & (16 | 32 | 512 | 1024))) return;
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    if ((o & (16 | 32)) && raw.Profiles && raw.SweepStartingProfileNo) {
        int32_t point = 0;
        int32_t s = 0;
        for (int32_t p = 0; p < raw.NumProfiles; ++p) {
            const Profile& profile = raw.Profiles[p];
            const bool visible = ProfileSweepVisible(raw, p, s) && profile.Points;
            if (visible && (o & 32)) {
                glColor3ub(255, 255, 0);
                for (int32_t k = 0; k < profile.NumPoints; ++k) Label(record, profile.Points[k], "%d:%d", p, k);
            } else if (visible && profile.NumPoints > 0) {
                glColor3ub(0, 255, 0);
                Label(record, profile.Points[0], "profile %d", p);
            }
            point += profile.NumPoints;
        }
    }
    if (o & (512 | 1024)) {
        glColor3ub(255, 255, 0);
        int32_t s = 0;
        for (int32_t i = full ? 0 : std::max(0, raw.Draw.DrawnPoints); i < raw.NumPoints; ++i) {
            if (!PointSweepVisible(raw, i, s) || !PointDrawn(raw, i, full)) continue;
            if (o & 512) Label(record, raw.Points[i].Vertex, "point %d", i);
            if (o & 1024) Label(record, raw.Points[i].Vertex, "%.1f", raw.Points[i].ResolutionSq);
        }
    }
    glEnable(GL_DEPTH_TEST);
}

// Lines from a point fixed in the wand's frame (the camera or the laser) to
// the first and last point of each profile of the visible sweeps.
void DrawWandLines(const RawData& raw, const Vec3& origin, uint8_t r, uint8_t g, uint8_t b) {
    if (!raw.Profiles) return;
    glDisable(GL_LIGHTING);
    glColor3ub(r, g, b);
    glBegin(GL_LINES);
    int32_t s = 0;
    for (int32_t p = 0; p < raw.NumProfiles; ++p) {
        const Profile& profile = raw.Profiles[p];
        if (!ProfileSweepVisible(raw, p, s) || profile.NumPoints <= 0 || !profile.Points) continue;
        Matrix4 inverseReference, m;
        M4_InvertRigid(profile.ReferenceRxMatrix, inverseReference);
        M4_Multiply(inverseReference, profile.WandRxMatrix, m);
        Vec3 at;
        M4_TransformPoint(m, origin, at);
        for (const Vec3* end : {&profile.Points[0], &profile.Points[profile.NumPoints - 1]}) {
            glVertex3fv(&at.x);
            glVertex3fv(&end->x);
        }
    }
    glEnd();
}

// The point cursor of Goto Point: a square of 7 pixels in the background's
// complement, drawn over everything so that it is seen inside the cloud.
void DrawPointCursor(const GeneralSettings& settings, const RawData& raw) {
    const PointCursor& cursor = App_PointCursor();
    if (!cursor.placed || cursor.profile >= raw.NumProfiles) return;
    glPushAttrib(GL_ENABLE_BIT | GL_POINT_BIT | GL_CURRENT_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glPointSize(7);
    Colour3(Complement(settings.BackgroundColour));
    glBegin(GL_POINTS);
    glVertex3fv(&cursor.position.x);
    glEnd();
    glPopAttrib();
}

// The box's twelve edges, each from the corner without to the corner with
// one axis bit; the edges leaving the axis corners in red, green and blue.
void DrawBox(const GraphWindowRecord& record, const GeneralSettings& settings, const ViewSettings& view,
             const Vec3* corners) {
    glDisable(GL_LIGHTING);
    for (int i = 0; i < 8; ++i) {
        for (int b = 1; b < 8; b <<= 1) {
            if (!(i & b)) continue;
            const Vec3& a = corners[i];
            const Vec3& c = corners[i ^ b];
            if (i == 1 || i == 2 || i == 4)
                glColor3ub(i & 1 ? 255 : 0, i & 2 ? 255 : 0, i & 4 ? 255 : 0);
            else
                glColor3ub(255, 255, 255);
            glBegin(GL_LINES);
            glVertex3fv(&a.x);
            glVertex3fv(&c.x);
            glEnd();
            Vec3 direction;
            V3_Sub(c, a, direction);
            const float t = Line_Parameter(view.ViewOrigin, a, direction);
            if (t >= 0 && t <= 1) {
                Vec3 nearest;
                V3_AddScaled(a, t, direction, nearest);
                glPointSize(5);
                glBegin(GL_POINTS);
                glVertex3fv(&nearest.x);
                glEnd();
                glPointSize(1);
            }
        }
    }
    Colour3(Complement(settings.BackgroundColour));
    Label(record, corners[1], "%c", 'X');
    Label(record, corners[2], "%c", 'Y');
    Label(record, corners[4], "%c", 'Z');
}

void DrawOverlayImage(const GraphWindowRecord& record) {
    const Image* image = record.overlayImage;
    if (!image || image->format == kImageEmpty || record.clientWidth <= 0 || record.clientHeight <= 0) return;
    const float w = static_cast<float>(record.clientWidth), h = static_cast<float>(record.clientHeight);
    Graph_DrawImage(image, (w - image->width) / w, image->height / h);
}

void DrawLiveProfile(const GraphWindowRecord& record, const GeneralSettings& settings, const RawData& raw) {
    glDrawBuffer(record.stereo ? GL_FRONT_LEFT : GL_FRONT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glPointSize(3);
    glBegin(GL_POINTS);
    if (raw.Staging.Points) {
        Colour3(settings.PreviewColour);
        for (int32_t i = 0; i < raw.Staging.NumPoints; ++i) glVertex3fv(&raw.Staging.Points[i].x);
    }
    Colour3(Complement(settings.PreviewColour));
    for (int32_t i = 0; i < std::min(raw.NumClippedPoints, kMaxProfilePoints); ++i)
        glVertex3fv(&raw.ClippedPoints[i].x);
    glEnd();
    glPointSize(1);
    glEnable(GL_DEPTH_TEST);
    glDrawBuffer(GL_BACK);
}

void UpdateStatistics(RawData& raw) {
    ScanDrawState& d = raw.Draw;
    d.Frames += 1;
    const int32_t drawn = raw.NumProfiles - d.DrawnProfiles;
    d.ProfilesTotal += drawn;
    d.MinProfilesPerFrame = std::min(d.MinProfilesPerFrame, drawn);
    d.MaxProfilesPerFrame = std::max(d.MaxProfilesPerFrame, drawn);
    d.AverageProfilesPerFrame = static_cast<float>(d.ProfilesTotal) / d.Frames;
    d.DrawnProfiles = raw.NumProfiles;
    d.DrawnPoints = raw.NumPoints;
    d.DrawnFacets = raw.NumFacets;
    d.Flags = 0;
}

void DrawScanFrame(GraphWindowRecord& record, const GeneralSettings& settings, const ViewSettings& view, RawData& raw,
                   bool full) {
    if (full) FrameStart(record, settings, view);
    glDrawBuffer(g_backBuffer);
    if (!full) LoadViewModel(view);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    if (raw.Points && HasSweepTables(raw)) {
        DrawScanGeometry(record, settings, view, raw, full);
        if (view.Options & 1) DrawNormals(settings, raw, full);
        Graph_DrawTrackerGlyphs(settings, raw);
        DrawLabels(record, view, raw, full);
        if (view.Options & 128) DrawWandLines(raw, {0, 0, -120}, 0, 255, 0);
        if (view.Options & 256) DrawWandLines(raw, {-60, 0, 0}, 255, 0, 0);
    }
    if (full && settings.ViewBBox && raw.ExtentsValid && !settings.MarkWithMouse && !record.captureRequested)
        DrawBox(record, settings, view, raw.Extents);
    if (full && !record.captureRequested) DrawPointCursor(settings, raw);
    Graph_DrawStylusItems(record, settings, raw.Stylus, true, false);
    if (full) DrawOverlayImage(record);
}

}  // namespace

int32_t Graph_DrawScanView(HWND window, const GeneralSettings& settings, const ViewSettings& view, RawData& raw) {
    if (!(raw.Draw.Flags & (kDrawFull | kDrawNew | kDrawLive))) return 0;
    GraphWindowRecord* record = Graph_Record(window);
    if (!record || !Graph_MakeCurrent(window)) return 0;
    const bool full = (raw.Draw.Flags & kDrawFull) != 0;
    if (full) {
        raw.Draw.DrawnProfiles = raw.Draw.DrawnPoints = raw.Draw.DrawnFacets = 0;
        raw.Draw.Frames = raw.Draw.ProfilesTotal = 0;
        raw.Draw.MinProfilesPerFrame = 1000;
        raw.Draw.MaxProfilesPerFrame = 0;
        raw.Draw.AverageProfilesPerFrame = 0;
    }
    const auto frame = [&] { DrawScanFrame(*record, settings, view, raw, full); };
    EyePasses(*record, settings, frame);
    if (record->captureRequested) {
        Graph_CapturePixels(window);
        record->captureRequested = false;
        EyePasses(*record, settings, frame);
    }
    Graph_Present(*record);
    Graph_DrawRubberBand(window);
    if (raw.Draw.Flags & kDrawLive) DrawLiveProfile(*record, settings, raw);
    UpdateStatistics(raw);
    Graph_CallFrameHook(*record);
    glFinish();
    return Graph_CheckGlError();
}

int32_t Graph_DrawScanPreview(HWND window, const GeneralSettings& settings, const ViewSettings& view, RawData& raw) {
    GraphWindowRecord* record = Graph_Record(window);
    if (!record || !Graph_MakeCurrent(window)) return 0;
    FrameStart(*record, settings, view);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glShadeModel(GL_FLAT);
    glPointSize(1);
    Colour3(settings.ForegroundColour);
    if (raw.Points && HasSweepTables(raw)) {
        ScanArrays(*record, raw, false);
        // Consecutive visible sweeps go in one call.
        int32_t s = 0;
        while (s < raw.NumSweeps) {
            if (SweepHidden(raw, s)) {
                ++s;
                continue;
            }
            const int32_t first = raw.SweepFirstPoint[s];
            while (s < raw.NumSweeps && !SweepHidden(raw, s)) ++s;
            const int32_t end = std::min(raw.SweepFirstPoint[s], raw.NumPoints);
            if (end > first) glDrawArrays(GL_POINTS, first, end - first);
        }
        EndArrays(*record, raw);
    }
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    Graph_DrawStylusItems(*record, settings, raw.Stylus, true, false);
    DrawOverlayImage(*record);
    Graph_Present(*record);
    return Graph_CheckGlError();
}

int32_t Graph_DrawPointsView(HWND window, const GeneralSettings& settings, const ViewSettings& view,
                             const SurfaceRecord& surface, const StylusItemList* stylus) {
    GraphWindowRecord* record = Graph_Record(window);
    if (!record || !Graph_MakeCurrent(window)) return 0;
    FrameStart(*record, settings, view);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDisable(GL_LIGHTING);
    glShadeModel(GL_FLAT);
    Colour3(settings.ForegroundColour);
    if (surface.Points && surface.NumPoints > 0) {
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, sizeof(Vec3), surface.Points);
        glDrawArrays(GL_POINTS, 0, surface.NumPoints);
        glDisableClientState(GL_VERTEX_ARRAY);
    }
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    if (stylus) Graph_DrawStylusItems(*record, settings, *stylus, false, surface.Inverted != 0);
    Graph_Present(*record);
    return Graph_CheckGlError();
}

namespace {

// The mean of the corners' cached colours (red in the low byte), or the
// fallback without a cache.
uint32_t SurfaceColour(const SurfaceRecord& surface, const int32_t* corners, int n, uint32_t fallback) {
    if (!surface.ColourCache || surface.ColourCacheCount < surface.NumPoints) return fallback;
    int r = 0, g = 0, b = 0;
    for (int k = 0; k < n; ++k) {
        const uint8_t* c = surface.ColourCache + static_cast<size_t>(corners[k]) * 4;
        r += c[0];
        g += c[1];
        b += c[2];
    }
    return static_cast<uint32_t>(r / n) | static_cast<uint32_t>(g / n) << 8 | static_cast<uint32_t>(b / n) << 16;
}

bool CornersInRange(const SurfaceRecord& surface, const int32_t* corners, int n) {
    for (int k = 0; k < n; ++k)
        if (corners[k] < 0 || corners[k] >= surface.NumPoints) return false;
    return true;
}

// Triangles, then quads, with facet or point normals and, on request, the
// mean of their points' cached colours.
void SurfacePolygons(const SurfaceRecord& surface, bool smooth, bool colour, uint32_t fallback) {
    struct Kind {
        const int32_t* indices;
        const Vec3* normals;
        int32_t count;
        int n;
        GLenum mode;
    };
    const Kind kinds[2] = {{surface.Facets, surface.FacetNormals, surface.NumFacets, 3, GL_TRIANGLES},
                           {surface.Quads, surface.QuadNormals, surface.NumQuads, 4, GL_QUADS}};
    for (const Kind& kind : kinds) {
        if (!kind.indices || kind.count <= 0) continue;
        const bool normals = smooth ? surface.PointNormals != nullptr : kind.normals != nullptr;
        FacetBatch batch(kind.mode, kind.n,
                         (normals ? FacetBatch::kNormals : 0u) | (colour ? FacetBatch::kColours : 0u));
        for (int32_t f = 0; f < kind.count; ++f) {
            const int32_t* corners = kind.indices + static_cast<size_t>(f) * kind.n;
            if (!CornersInRange(surface, corners, kind.n)) continue;
            batch.Begin(colour ? SurfaceColour(surface, corners, kind.n, fallback) : 0);
            const float* facetNormal = !smooth && kind.normals ? &kind.normals[f].x : nullptr;
            for (int k = 0; k < kind.n; ++k)
                batch.Corner(&surface.Points[corners[k]].x,
                             smooth && surface.PointNormals ? &surface.PointNormals[corners[k]].x : facetNormal);
        }
    }
}

void DrawSurfaceFrame(GraphWindowRecord& record, const GeneralSettings& settings, const ViewSettings& view,
                      const SurfaceRecord& surface, const StylusItemList* stylus) {
    FrameStart(record, settings, view);
    if (surface.Points && surface.NumPoints > 0) {
        const bool edges = view.DisplayType >= 2 && (view.Options & 2);
        if (edges) {
            glEnable(GL_POLYGON_OFFSET_FILL);
            glPolygonOffset(1, 1);
        }
        switch (view.DisplayType) {
            case 0:
                glDisable(GL_LIGHTING);
                glBegin(GL_POINTS);
                for (int32_t i = 0; i < surface.NumPoints; ++i) {
                    if (surface.ColourCache && surface.ColourCacheCount >= surface.NumPoints)
                        glColor3ubv(surface.ColourCache + static_cast<size_t>(i) * 4);
                    glVertex3fv(&surface.Points[i].x);
                }
                glEnd();
                break;
            case 1:
                glEnable(GL_LIGHTING);
                glShadeModel(GL_FLAT);
                glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
                SurfacePolygons(surface, false, false, settings.ForegroundColour);
                glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
                break;
            case 2: {
                const bool smooth = settings.UseSmoothShading != 0;
                glEnable(GL_LIGHTING);
                glShadeModel(smooth ? GL_SMOOTH : GL_FLAT);
                SurfacePolygons(surface, smooth, true, settings.ForegroundColour);
                break;
            }
            default:
                glEnable(GL_LIGHTING);
                glShadeModel(GL_SMOOTH);
                Colour3(settings.ForegroundColour);
                SurfacePolygons(surface, true, false, settings.ForegroundColour);
                break;
        }
        if (edges) {
            glDisable(GL_POLYGON_OFFSET_FILL);
            glDisable(GL_LIGHTING);
            glShadeModel(GL_FLAT);
            glColor3ub(0, 0, 0);
            glPolygonMode(GL_FRONT, GL_LINE);
            SurfacePolygons(surface, false, false, 0);
            glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        }
        if ((view.Options & 1) && surface.PointNormals) {
            glDisable(GL_LIGHTING);
            Colour3(((~(settings.ForegroundColour + settings.BackgroundColour)) & 0xFFFFFF) >> 1);
            glBegin(GL_LINES);
            for (int32_t i = 0; i < surface.NumPoints; ++i) {
                const Vec3& p = surface.Points[i];
                const Vec3& n = surface.PointNormals[i];
                glVertex3fv(&p.x);
                glVertex3f(p.x + 3 * n.x, p.y + 3 * n.y, p.z + 3 * n.z);
            }
            glEnd();
        }
        if ((view.Options & 1024) && surface.Resolutions) {
            glDisable(GL_LIGHTING);
            glDisable(GL_DEPTH_TEST);
            glColor3ub(255, 255, 0);
            for (int32_t i = 0; i < surface.NumPoints; ++i)
                Label(record, surface.Points[i], "%.1f", surface.Resolutions[i]);
            glEnable(GL_DEPTH_TEST);
        }
    }
    if (settings.ViewBBox && surface.ExtentsValid && !settings.MarkWithMouse && !record.captureRequested)
        DrawBox(record, settings, view, surface.Extents);
    if (stylus) Graph_DrawStylusItems(record, settings, *stylus, false, surface.Inverted != 0);
}

}  // namespace

int32_t Graph_DrawScene(HWND window, const GeneralSettings& settings, const ViewSettings& view,
                        const SurfaceRecord& surface, const StylusItemList* stylus) {
    GraphWindowRecord* record = Graph_Record(window);
    if (!record || !Graph_MakeCurrent(window)) return 0;
    const auto frame = [&] { DrawSurfaceFrame(*record, settings, view, surface, stylus); };
    EyePasses(*record, settings, frame);
    if (record->captureRequested) {
        Graph_CapturePixels(window);
        record->captureRequested = false;
        EyePasses(*record, settings, frame);
    }
    Graph_Present(*record);
    if (Graph_CallFrameHook(*record)) glFinish();
    return Graph_CheckGlError();
}

namespace {

// The strips of neighbouring slices, one normal per quad; `edgeColours` gives
// each vertex pair its colour instead (the strips' edges).
void StripQuads(const OrthoModel& model, bool edgeColours) {
    const int32_t pairs = model.PointsPerSlice + 1;
    for (int32_t k = 0; k < model.StripCount; ++k) {
        const Vec3* v = &model.StripVertices[static_cast<std::size_t>(k) * model.StripVertexCount];
        const Vec3* n = &model.StripNormals[static_cast<std::size_t>(k) * pairs];
        glBegin(GL_QUAD_STRIP);
        for (int32_t j = 0; j < pairs; ++j) {
            if (edgeColours)
                glColor3ub(j == 0 || j == pairs - 1 ? 255 : 0, 0, 0);
            else
                glNormal3fv(&n[j > 0 ? j : 1].x);
            glVertex3fv(&v[2 * j].x);
            glVertex3fv(&v[2 * j + 1].x);
        }
        glEnd();
    }
}

}  // namespace

int32_t Graph_DrawStripSurface(HWND window, const GeneralSettings& settings, const ViewSettings& view,
                               const OrthoModel& model) {
    GraphWindowRecord* record = Graph_Record(window);
    if (!record || !Graph_MakeCurrent(window)) return 0;
    glDrawBuffer(GL_BACK);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    LoadViewModel(view);
    Graph_SaveMatrices(*record);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_NORMALIZE);
    glShadeModel(GL_FLAT);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    // A strip's normal is (c - a) x (b - d) of its quads a b c d, which is
    // the side that winds clockwise: that side is the front, so that each
    // side is lit from its own side and both show the colour.
    glFrontFace(GL_CW);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    Colour3(settings.ForegroundColour);
    StripQuads(model, false);
    if (view.Options & 2) {
        glDisable(GL_LIGHTING);
        glShadeModel(GL_SMOOTH);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        StripQuads(model, true);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glEnable(GL_LIGHTING);
    }
    glFrontFace(GL_CCW);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    Colour3(Complement(settings.PreviewColour));
    for (const OrthoLandmark& landmark : model.Landmarks)
        for (const OrthoLandmarkPoint& point : landmark.Points) {
            glPushMatrix();
            glTranslatef(point.X, point.Y, point.Z);
            Graph_DrawBall(5);
            glPopMatrix();
        }
    glPopAttrib();
    Graph_Present(*record);
    if (Graph_CallFrameHook(*record)) glFinish();
    return Graph_CheckGlError();
}

namespace {

// The camera samples of a profile's field: each segment a one-row
// rectangle from its start to its end column, red for camera 0 and green
// for camera 1, in the camera image's pixels.
void DrawSegments(const Profile& profile) {
    if (!profile.Extra) return;
    const ProfileLineLog log = ProfileLineLog_Get(profile);
    glBegin(GL_QUADS);
    for (int32_t i = 0; i < *log.count; ++i) {
        const float start = static_cast<float>(log.start[i]), end = static_cast<float>(log.end[i]);
        const int32_t colour = log.channel[i];
        if (start <= 0 || end <= start || colour < 0 || colour > 1) continue;
        glColor3f(colour == 0 ? 1.0f : 0.0f, colour == 1 ? 1.0f : 0.0f, 0.0f);
        const float row = log.linePosition[i];
        glVertex2f(start, row);
        glVertex2f(end, row);
        glVertex2f(end, row + 1);
        glVertex2f(start, row + 1);
    }
    glEnd();
}

// The range gauge at the right of the window: a scale from 0 to 3a with
// bars at a and b, in window pixels.
// The live range value of the gauge: how far the wand stands from the
// transmitter along z (in the reference's frame when a reference is used),
// less the stretch in front of the wand where the laser finds nothing.
constexpr float kLiveRangeMargin = 50.0f;  // mm

float LiveRangeValue(const Profile& live) {
    Vec3 wand = {live.WandRxMatrix[12], live.WandRxMatrix[13], live.WandRxMatrix[14]};
    if (live.ReferenceEnabled) {
        Matrix4 inverse;
        M4_InvertRigid(live.ReferenceRxMatrix, inverse);
        M4_TransformPoint(inverse, wand, wand);
    }
    return wand.z - kLiveRangeMargin;
}

void DrawRangeGauge(const GraphWindowRecord& record, float a, float b, const float* marker = nullptr) {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    const int32_t w = record.clientWidth, h = record.clientHeight;
    glOrtho(0, w, 0, h, -0.1, 0.1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    const int32_t x = w - 50, height = h - 100;
    glColor3f(0, 0, 0);
    glRecti(x - 15, 35, x + 15, height + 65);
    glColor3f(1, 1, 1);
    glRecti(x, 50, x + 1, height + 50);
    const int32_t k = static_cast<int32_t>(std::floor(height * 20 / (3 * a)));
    for (const float v : {0.0f, a, b, 3 * a}) {
        const int32_t y = 50 + static_cast<int32_t>(std::floor(v / (3 * a) * height));
        if (v == a || v == b) {
            glColor3f(0, 1, 0);
            glRecti(x - 2, y - k, x + 3, y + k + 1);
        }
        glColor3f(1, 1, 1);
        glRecti(x - 10, y, x + 10, y + 1);
        glRasterPos2i(x - 60, y);
        Graph_DrawText(record, "%.0f mm", v);
    }
    if (marker) {
        const int32_t m =
            static_cast<int32_t>(std::floor(height * std::min(std::max(*marker / (3 * a), 0.0f), 1.0f)));
        glColor3f(1, 1, 1);
        glRecti(x - 15, m + 49, x + 15, m + 52);
    }
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
}

bool HasSegments(const Profile& profile) { return profile.Extra && *ProfileLineLog_Get(profile).count > 0; }

// The camera and sample views draw no background or box, so a frame drawn
// for capture is the frame shown: its pixels are read before it is presented.
void ServeCapture(HWND window, GraphWindowRecord& record) {
    if (!record.captureRequested) return;
    Graph_CapturePixels(window);
    record.captureRequested = false;
}

}  // namespace

int32_t Graph_DrawCameraSamples(HWND window, RawData& raw) {
    if (!(raw.Draw.Flags & kDrawFull)) return 0;
    GraphWindowRecord* record = Graph_Record(window);
    if (!record || !Graph_MakeCurrent(window)) return 0;
    glDrawBuffer(GL_BACK);
    glClear(GL_COLOR_BUFFER_BIT);
    DrawSegments(raw.Staging);
    raw.Draw.Flags &= ~kDrawFull;
    ServeCapture(window, *record);
    Graph_Present(*record);
    return Graph_CheckGlError();
}

int32_t Graph_DrawSampleView(HWND window, RawData& raw, char version) {
    if (!(raw.Draw.Flags & (kDrawFull | kDrawNew | kDrawLive))) return 0;
    GraphWindowRecord* record = Graph_Record(window);
    if (!record || !Graph_MakeCurrent(window)) return 0;
    glDrawBuffer(GL_BACK);
    if (raw.Draw.Flags & kDrawFull) {
        raw.Draw.DrawnProfiles = 0;
        glClear(GL_COLOR_BUFFER_BIT);
    }
    for (int32_t p = std::max(raw.Draw.DrawnProfiles, 0); p < raw.NumProfiles; ++p) DrawSegments(raw.Profiles[p]);
    raw.Draw.DrawnProfiles = raw.NumProfiles;
    const float a = version == '1' ? 125.0f : 100.0f, b = version == '1' ? 250.0f : 200.0f;
    DrawRangeGauge(*record, a, b);
    ServeCapture(window, *record);
    Graph_Present(*record);
    if ((raw.Draw.Flags & kDrawLive) && HasSegments(raw.Staging)) {
        // The live field's samples and range over the kept picture, until
        // the next frame.
        glDrawBuffer(record->stereo ? GL_FRONT_LEFT : GL_FRONT);
        const float range = LiveRangeValue(raw.Staging);
        DrawRangeGauge(*record, a, b, &range);
        DrawSegments(raw.Staging);
        glFinish();
        glDrawBuffer(GL_BACK);
    }
    raw.Draw.Flags = 0;
    return Graph_CheckGlError();
}

int32_t Graph_PresentOverlay(HWND window) {
    GraphWindowRecord* record = Graph_Record(window);
    if (!record || !Graph_MakeCurrent(window)) return 0;
    Graph_Present(*record);
    Graph_CallFrameHook(*record);
    Graph_DrawRubberBand(window);
    glFinish();
    return Graph_CheckGlError();
}

int32_t Graph_ClearFrame(HWND window) {
    GraphWindowRecord* record = Graph_Record(window);
    if (!record || !Graph_MakeCurrent(window)) return 0;
    for (GLenum buffer : {GL_FRONT, GL_BACK}) {
        glDrawBuffer(buffer);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    glDrawBuffer(GL_BACK);
    Graph_Present(*record);
    return Graph_CheckGlError();
}

void Graph_DrawImage(const Image* image, float x, float y) {
    if (!image || image->format == kImageEmpty || !image->pixels) return;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glRasterPos2f(x, y);
    glPixelZoom(1, -1);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    glDepthMask(GL_FALSE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    GLenum format = GL_RGB;
    bool blend = false;
    switch (image->format) {
        case kImageRgba:
            format = GL_RGBA;
            blend = true;
            break;
        case kImageRgbFiller:
            format = GL_RGBA;
            break;
        case kImageGrey:
            format = GL_LUMINANCE;
            break;
        case kImageGreyAlpha:
            format = GL_LUMINANCE_ALPHA;
            blend = true;
            break;
    }
    if (blend) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    glDrawPixels(image->width, image->height, format, GL_UNSIGNED_BYTE, image->pixels);
    glPixelZoom(1, 1);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

void Graph_DrawRubberBand(HWND window) {
    const GraphWindowRecord* record = Graph_Record(window);
    if (!record || !record->navigation || !record->navigation->rectanglePresent) return;
    const NavRect& r = record->navigation->rectangle;
    Graph_BeginOverlay2D(record->clientWidth, record->clientHeight);
    glDrawBuffer(record->stereo ? GL_FRONT_LEFT : GL_FRONT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0.19f, 0.42f, 0.77f, 0.26f);
    glRectf(static_cast<float>(r.left), static_cast<float>(r.top), static_cast<float>(r.right),
            static_cast<float>(r.bottom));
    glColor3f(0.19f, 0.42f, 0.77f);
    glBegin(GL_LINE_LOOP);
    glVertex2f(r.left + 0.5f, r.top + 0.5f);
    glVertex2f(r.right + 0.5f, r.top + 0.5f);
    glVertex2f(r.right + 0.5f, r.bottom + 0.5f);
    glVertex2f(r.left + 0.5f, r.bottom + 0.5f);
    glEnd();
    Graph_EndOverlay2D();
    glDrawBuffer(GL_BACK);
}

bool Graph_CapturePixels(HWND window) {
    GraphWindowRecord* record = Graph_Record(window);
    if (!record) return false;
    std::free(record->capturedPixels);
    const size_t size = static_cast<size_t>(record->clientWidth) * record->clientHeight * 4;
    record->capturedPixels = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (!record->capturedPixels) return false;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, record->clientWidth, record->clientHeight, GL_RGBA, GL_UNSIGNED_BYTE, record->capturedPixels);
    return true;
}

bool Graph_TakeCapture(HWND window, Image& image) {
    GraphWindowRecord* record = Graph_Record(window);
    if (!record) return false;
    // A view that drew nothing leaves no request behind for its next frame.
    record->captureRequested = false;
    if (!record->capturedPixels) return false;
    const int32_t w = record->clientWidth, h = record->clientHeight;
    bool ok = Image_Allocate(image, kImageRgba, w, h);
    if (ok) {
        for (int32_t y = 0; y < h; ++y)
            std::memcpy(image.pixels + static_cast<size_t>(y) * w * 4,
                        record->capturedPixels + static_cast<size_t>(h - 1 - y) * w * 4, static_cast<size_t>(w) * 4);
    }
    std::free(record->capturedPixels);
    record->capturedPixels = nullptr;
    return ok;
}

void Graph_RequestCapture(HWND window) {
    if (GraphWindowRecord* record = Graph_Record(window)) record->captureRequested = true;
}
