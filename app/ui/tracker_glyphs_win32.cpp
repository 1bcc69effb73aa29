#include "app/ui/tracker_glyphs_win32.h"

#include <windows.h>

#include <GL/gl.h>

#include <algorithm>

namespace {

enum class Glyph { Cube, Axes, Point };

// A cube outline of +-4, axes of +-8 with a +-3 square in the x-y plane, or
// a single point, in the current model-view.
void DrawGlyph(Glyph glyph) {
    switch (glyph) {
        case Glyph::Cube:
            glBegin(GL_LINES);
            for (int i = 0; i < 8; ++i) {
                for (int b = 1; b < 8; b <<= 1) {
                    if (i & b) continue;
                    const int j = i | b;
                    glVertex3f(i & 1 ? 4.0f : -4.0f, i & 2 ? 4.0f : -4.0f, i & 4 ? 4.0f : -4.0f);
                    glVertex3f(j & 1 ? 4.0f : -4.0f, j & 2 ? 4.0f : -4.0f, j & 4 ? 4.0f : -4.0f);
                }
            }
            glEnd();
            break;
        case Glyph::Axes:
            glBegin(GL_LINES);
            glVertex3f(-8, 0, 0), glVertex3f(8, 0, 0);
            glVertex3f(0, -8, 0), glVertex3f(0, 8, 0);
            glVertex3f(0, 0, -8), glVertex3f(0, 0, 8);
            glEnd();
            glBegin(GL_LINE_LOOP);
            glVertex3f(-3, -3, 0), glVertex3f(3, -3, 0), glVertex3f(3, 3, 0), glVertex3f(-3, 3, 0);
            glEnd();
            break;
        case Glyph::Point:
            glBegin(GL_POINTS);
            glVertex3f(0, 0, 0);
            glEnd();
            break;
    }
}

void DrawAt(Glyph glyph, const Matrix4& pose) {
    glPushMatrix();
    glMultMatrixf(pose.m);
    DrawGlyph(glyph);
    glPopMatrix();
}

// The transmitter stands where the inverse of the reference pose puts the
// origin; the wand where the wand pose and then that inverse put it. A
// profile without a reference has the transmitter at the origin.
void DrawProfile(const GeneralSettings& settings, const Profile& profile, Glyph glyph, bool referenced) {
    Matrix4 transmitter;
    if (referenced) {
        M4_InvertRigid(profile.ReferenceRxMatrix, transmitter);
    } else {
        M4_Identity(transmitter);
    }
    if (settings.ViewTransmitterPosition) {
        glColor3ub(0, 255, 0);
        DrawAt(glyph, transmitter);
    }
    if (settings.ViewWandPosition) {
        Matrix4 wand;
        M4_Multiply(transmitter, profile.WandRxMatrix, wand);
        glColor3ub(0, 0, 255);
        DrawAt(glyph, wand);
    }
}

void DrawSweeps(const GeneralSettings& settings, const RawData& raw) {
    if (!raw.Profiles || !raw.Sweeps || !raw.SweepStartingProfileNo) return;
    for (int32_t s = 0; s < raw.NumSweeps; ++s) {
        if (raw.Sweeps[s].Flags & kSweepHidden) continue;
        const int32_t first = raw.SweepStartingProfileNo[s];
        const int32_t last = std::min(raw.SweepStartingProfileNo[s + 1], raw.NumProfiles) - 1;
        for (int32_t p = std::max(first, raw.Draw.DrawnProfiles); p <= last; ++p) {
            const Glyph glyph = p == first || p == last ? Glyph::Cube : Glyph::Point;
            DrawProfile(settings, raw.Profiles[p], glyph, true);
        }
    }
}

}  // namespace

void Graph_DrawTrackerGlyphs(const GeneralSettings& settings, const RawData& raw) {
    if (!settings.ViewWandPosition && !settings.ViewReferencePosition && !settings.ViewTransmitterPosition) return;
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glPointSize(2);
    glEnable(GL_LINE_SMOOTH);
    glLineWidth(0.5f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glMatrixMode(GL_MODELVIEW);
    if (settings.ViewReferencePosition) {
        glColor3ub(255, 0, 0);
        DrawGlyph(Glyph::Axes);
    }
    DrawSweeps(settings, raw);
    if ((raw.Draw.Flags & kDrawLive) && raw.Staging.NumPoints > 0)
        DrawProfile(settings, raw.Staging, Glyph::Cube, raw.Staging.ReferenceEnabled != 0);
    glPopAttrib();
    glPointSize(1);
    glLineWidth(1);
    glDisable(GL_LINE_SMOOTH);
}
