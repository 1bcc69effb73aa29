// What the view needs before it draws: point runs, point colours and the
// extents of the visible points.
#include "app/scan/raw_data.h"

#include "app/scan/frame_extents.h"
#include "app/base/app_messages.h"
#include "app/base/time_stamp.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The walks below index the points through the sweep tables. A record whose
// counts disagree with its tables is reported and left alone; the program
// keeps running with the user's data.
bool WalkIsSound(const RawData& raw, const char* walk, int32_t cursor) {
    const bool sound = raw.NumPoints >= 0 && raw.NumPoints <= raw.MaxPoints && raw.NumSweeps >= 0 &&
                       raw.NumSweeps <= raw.MaxSweeps && raw.TotalSweeps <= raw.MaxSweeps &&
                       (raw.NumSweeps == 0 || (raw.SweepFirstPoint && raw.Sweeps)) && cursor >= 0;
    if (sound) return true;
    char text[512];
    std::snprintf(text, sizeof text,
                  "\n\n%s: inconsistent scan record.\nNumSweeps %d\nMaxSweeps %d\n"
                  "TotalSweeps %d\nNumProfiles %d\nTotalProfiles %d\nNumPoints %d\nMaxPoints %d\n"
                  "NumFacets %d\nCurrentSweep %d\nNumProfilesProcessed %d\ncursor %d\n",
                  walk, raw.NumSweeps, raw.MaxSweeps, raw.TotalSweeps, raw.NumProfiles, raw.TotalProfiles,
                  raw.NumPoints, raw.MaxPoints, raw.NumFacets, raw.CurrentSweep, raw.NumProfilesProcessed,
                  cursor);
    // The header is the locale's text; the details stay as they are.
    App_ErrorBox(App_TextOfKey("ErrorCrashHeader") + text, "ErrorCrashHeader");
    return false;
}

// Advances s while point i lies beyond sweep s.
void FindSweep(const RawData& raw, int32_t i, int32_t& s) {
    while (s < raw.NumSweeps && i >= raw.SweepFirstPoint[s + 1]) ++s;
}

uint8_t ClampByte(float v) {
    if (!(v > 0.0f)) return 0;  // also NaN
    if (v >= 255.0f) return 255;
    return static_cast<uint8_t>(static_cast<int>(v));
}

}  // namespace

void RawData_ClearSweepCursor(RawData& raw) { raw.RunCursor = 0; }

void RawData_ClearPointRunMark(RawData& raw) { raw.ColourCursor = 0; }

void RawData_NumberPointRuns(RawData& raw) {
    if (!raw.Points) {
        raw.RunCursor = 0;
        return;
    }
    if (raw.RunCursor > raw.NumPoints) raw.RunCursor = 0;
    if (!WalkIsSound(raw, "RawData_NumberPointRuns", raw.RunCursor)) {
        raw.RunCursor = std::max(0, std::min(raw.NumPoints, raw.MaxPoints));
        return;
    }
    int32_t s = 0;
    bool previousErased = raw.RunCursor > 0 && RawData_PointInEditRange(raw, raw.RunCursor - 1);
    for (int32_t i = raw.RunCursor; i < raw.NumPoints; ++i) {
        FindSweep(raw, i, s);
        const bool erased = RawData_PointInEditRange(raw, i);
        // s may be the sweep being captured, not counted yet: its start is
        // in the table all the same.
        const bool firstOfSweep = raw.SweepFirstPoint && i == raw.SweepFirstPoint[s];
        if (i > 0 && !firstOfSweep && erased == previousErased)
            raw.Points[i].Run = raw.Points[i - 1].Run + 1;
        else
            raw.Points[i].Run = erased ? 1u : (kRunVisible | 1u);
        previousErased = erased;
    }
    raw.RunCursor = raw.NumPoints;
}

namespace {

struct Rgb {
    uint8_t r, g, b;
};

Rgb PointColour(const ScanPoint& point, bool highlighted, bool selected, int32_t mode,
                const GeneralSettings& settings) {
    const uint32_t base = settings.ForegroundColour;
    switch (mode) {
        case kColourPlain:
        case kColourGreyscale: {
            int r = Colour_Red(base), g = Colour_Green(base), b = Colour_Blue(base);
            if (mode == kColourGreyscale) {
                r = r * point.Grey / 255;
                g = g * point.Grey / 255;
                b = b * point.Grey / 255;
            }
            return Rgb{static_cast<uint8_t>(highlighted || !selected ? r : 0),
                       static_cast<uint8_t>(!selected && !highlighted ? g : 0),
                       static_cast<uint8_t>(selected || !highlighted ? b : 0)};
        }
        case kColourValue: {
            const float v = std::trunc(point.Value / 100.0f - 250.0f);
            if (v < 0.0f) {
                const uint8_t red = ClampByte(-v);
                return Rgb{red, static_cast<uint8_t>(255 - red), 0};
            }
            const uint8_t blue = ClampByte(v);
            return Rgb{0, static_cast<uint8_t>(255 - blue), blue};
        }
        case kColourResolution: {
            const uint8_t w = ClampByte(std::sqrt(point.ResolutionSq) * 60.0f);
            return Rgb{static_cast<uint8_t>(255 - w), static_cast<uint8_t>(highlighted || selected ? 255 : 0), w};
        }
        case kColourVariance: {
            const uint8_t u = ClampByte(point.Variance * 200.0f * 700.0f / settings.RangeClip);
            return Rgb{u, static_cast<uint8_t>(255 - u), static_cast<uint8_t>(highlighted || selected ? 255 : 0)};
        }
        default:
            return Rgb{255, 50, 255};
    }
}

}  // namespace

void RawData_ColourPoints(RawData& raw, const ViewSettings& view, const GeneralSettings& settings) {
    if (!raw.Sweeps || !raw.SweepStartingProfileNo || !raw.Profiles || !raw.Points) {
        raw.ColourCursor = 0;
        return;
    }
    if (raw.ColourCursor > raw.NumPoints) raw.ColourCursor = 0;
    if (!WalkIsSound(raw, "RawData_ColourPoints", raw.ColourCursor)) {
        raw.ColourCursor = std::max(0, std::min(raw.NumPoints, raw.MaxPoints));
        return;
    }
    int32_t s = 0;
    for (int32_t i = raw.ColourCursor; i < raw.NumPoints; ++i) {
        FindSweep(raw, i, s);
        ScanPoint& point = raw.Points[i];
        const bool highlighted = s < raw.MaxSweeps && (raw.Sweeps[s].Flags & kSweepHighlighted);
        const uint32_t level = point.Flags & kPointSelectionMask;
        const bool selected = level != 0 && level <= raw.SelectionLimit;
        const Rgb c = PointColour(point, highlighted, selected, view.ColourMode, settings);
        point.Colour[0] = c.r;
        point.Colour[1] = c.g;
        point.Colour[2] = c.b;
    }
    raw.ColourCursor = raw.NumPoints;
}

void RawData_ComputeExtents(RawData& raw, const Matrix4& frame) {
    if (raw.Timestamp < raw.ExtentsTime) return;
    FrameExtents extents(frame);
    if (raw.Points && raw.Sweeps && raw.SweepFirstPoint) {
        for (int32_t s = 0; s < raw.NumSweeps; ++s) {
            if (raw.Sweeps[s].Flags & kSweepHidden) continue;
            for (int32_t i = raw.SweepFirstPoint[s]; i < raw.SweepFirstPoint[s + 1]; ++i) {
                if (!RawData_PointInEditRange(raw, i)) extents.Add(raw.Points[i].Vertex);
            }
        }
    }
    raw.ExtentsValid = extents.Corners(raw.Extents) ? 1 : 0;
    Time_Now(raw.ExtentsTime);
}
