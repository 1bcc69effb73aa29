#include "app/acquisition/scan_reference.h"

#include "app/scan/profile_processing.h"
#include "app/scan/svd.h"

#include <algorithm>

namespace {

constexpr int32_t kMinCaptureSamples = 10;

Matrix4 Inverse(const Matrix4& m) {
    Matrix4 out;
    M4_InvertRigid(m, out);
    return out;
}

Matrix4 WithoutTranslation(const Matrix4& m) {
    Matrix4 out = m;
    out[12] = out[13] = out[14] = 0.0f;
    return out;
}

void TransformPoints(Vec3* points, int32_t n, const Matrix4& m) {
    if (!points) return;
    for (int32_t i = 0; i < n; ++i) M4_TransformPoint(m, points[i], points[i]);
}

// The undone sweeps are held beyond the counts until a new sweep discards
// them; a redo brings them back as they are held, so a change of frame
// takes them along.
bool HoldsUndoneSweeps(const RawData& raw) { return raw.SweepStartingProfileNo && raw.TotalSweeps > raw.NumSweeps; }

int32_t HeldProfiles(const RawData& raw) {
    return HoldsUndoneSweeps(raw) ? std::max(raw.NumProfiles, std::min(raw.TotalProfiles, raw.MaxProfiles))
                                  : raw.NumProfiles;
}

int32_t HeldCount(const RawData& raw, const int32_t* sweepStarts, int32_t live) {
    return HoldsUndoneSweeps(raw) && sweepStarts ? std::max(live, sweepStarts[raw.TotalSweeps]) : live;
}

// Re-expresses one profile in the other reference; the transform its points
// took.
Matrix4 SwitchProfileReference(Profile& profile) {
    Matrix4 t;
    // The pose the points were made with: after a move of the receiver
    // the reference pose in use differs from the measured one.
    if (profile.ReferenceEnabled) {
        t = profile.ReferenceRxMatrix;
        M4_Identity(profile.ReferenceRxMatrix);
    } else {
        M4_Multiply(Inverse(profile.RawReferenceRxMatrix), profile.ReferenceRxMatrix, t);
        profile.ReferenceRxMatrix = profile.RawReferenceRxMatrix;
    }
    profile.ReferenceEnabled = profile.ReferenceEnabled ? 0 : 1;
    TransformPoints(profile.Points, profile.NumPoints, t);
    return t;
}

}  // namespace

void View_ApplyDataTransform(const Matrix4& x, ViewSettings& view) {
    M4_TransformPoint(x, view.ViewOrigin, view.ViewOrigin);
    const Matrix4 turn = Inverse(WithoutTranslation(x));
    M4_Multiply(view.ViewMatrix, turn, view.ViewMatrix);
}

void Scan_ApplyMoveTransform(RawData& raw, const Matrix4& x, ViewSettings& view) {
    const Matrix4 y = Inverse(x);
    const Matrix4 z = WithoutTranslation(x);
    for (int32_t p = 0, n = HeldProfiles(raw); p < n; ++p) {
        Profile& profile = raw.Profiles[p];
        TransformPoints(profile.Points, profile.NumPoints, x);
        M4_Multiply(profile.ReferenceRxMatrix, y, profile.ReferenceRxMatrix);
    }
    for (int32_t i = 0, n = HeldCount(raw, raw.SweepFirstPoint, raw.NumPoints); i < n && raw.Points; ++i) {
        M4_TransformPoint(x, raw.Points[i].Vertex, raw.Points[i].Vertex);
        M4_TransformPoint(z, raw.Points[i].Normal, raw.Points[i].Normal);
    }
    TransformPoints(raw.FacetNormals, HeldCount(raw, raw.SweepFirstFacet, raw.NumFacets), z);
    raw.ProcessedChanged = 1;
    // Undone items are moved too, so that a redo brings them back in place.
    StylusItemList& list = raw.Stylus;
    for (int32_t i = 0; i < list.TotalCount; ++i) {
        M4_Multiply(x, list.Items[i].Pose, list.Items[i].Pose);
        list.ReplaceNeeded = 1;
    }
    View_ApplyDataTransform(x, view);
}

Matrix4 MoveReceiverTransform(const Matrix4& before, const Matrix4& after) {
    Matrix4 x;
    M4_Multiply(Inverse(after), before, x);
    return x;
}

Matrix4 MoveTransmitterTransform(const Matrix4& before, const Matrix4& after) {
    Matrix4 x;
    M4_Multiply(after, Inverse(before), x);
    return x;
}

bool ChangeReference(RawData& raw, ViewSettings& view) {
    if (raw.NumProfiles <= 0) return false;
    Matrix4 last;
    for (int32_t p = 0, n = HeldProfiles(raw); p < n; ++p) {
        const Matrix4 t = SwitchProfileReference(raw.Profiles[p]);
        if (p == raw.NumProfiles - 1) last = t;
    }
    View_ApplyDataTransform(last, view);
    return true;
}

void Scan_ForgetDerivedPoints(RawData& raw) {
    raw.NumPoints = raw.NumFacets = 0;
    raw.CurrentSweep = raw.CurrentSweepProfile = raw.NumProfilesProcessed = 0;
    raw.RunCursor = raw.ColourCursor = 0;
    raw.ClampPoints = raw.ClampFacets = 0;
    raw.ExtentsValid = 0;
    if (raw.SweepFirstPoint)
        for (int32_t s = 0; s <= raw.TotalSweeps; ++s) raw.SweepFirstPoint[s] = raw.SweepFirstFacet[s] = 0;
    raw.ProcessedChanged = 1;
}

int32_t Scan_RemakeDerivedPoints(RawData& raw, int32_t filterLength, float worstResolution) {
    Scan_ForgetDerivedPoints(raw);
    if (!HoldsUndoneSweeps(raw)) return Scan_ProcessNewProfiles(raw, filterLength, worstResolution);
    // Processed as if redone, then undone again as the sweep undo leaves them.
    const int32_t live = raw.NumSweeps;
    raw.NumSweeps = raw.TotalSweeps;
    raw.NumProfiles = HeldProfiles(raw);
    const int32_t result = Scan_ProcessNewProfiles(raw, filterLength, worstResolution);
    raw.NumSweeps = std::min(live, raw.TotalSweeps);
    raw.NumProfiles = raw.SweepStartingProfileNo[raw.NumSweeps];
    raw.NumPoints = raw.SweepFirstPoint[raw.NumSweeps];
    raw.NumFacets = raw.SweepFirstFacet[raw.NumSweeps];
    raw.RunCursor = std::min(raw.RunCursor, raw.NumPoints);
    raw.ColourCursor = std::min(raw.ColourCursor, raw.NumPoints);
    return result;
}

void MatrixCapture_Begin(MatrixCaptureStats& stats) {
    stats = MatrixCaptureStats{};
    for (int i = 0; i < 16; ++i) {
        stats.minimum[i] = 1000000.0f;
        stats.maximum[i] = -1000000.0f;
    }
    stats.accumulating = 1;
}

void MatrixCapture_Add(MatrixCaptureStats& stats, const Matrix4& m) {
    if (!stats.accumulating) return;
    ++stats.count;
    for (int i = 0; i < 16; ++i) {
        stats.sum[i] += m[i];
        stats.minimum[i] = std::min(stats.minimum[i], m[i]);
        stats.maximum[i] = std::max(stats.maximum[i], m[i]);
    }
}

bool MatrixCapture_Finish(MatrixCaptureStats& stats, Matrix4& mean, float& spread) {
    stats.accumulating = 0;
    if (stats.count < kMinCaptureSamples) return false;
    const float scale = 1.0f / static_cast<float>(stats.count);
    M4_ScaleElements(scale, stats.sum, mean);
    M4_Orthonormalise(mean, mean);
    spread = 0.0f;
    for (int i = 0; i < 16; ++i) spread = std::max(spread, stats.maximum[i] - stats.minimum[i]);
    return true;
}
