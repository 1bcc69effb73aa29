#include "app/export/aaop_slice.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "app/scan/surface_record.h"

namespace {

// Sample angles meet crossing angles exactly at 0, 45, 90 ... degrees only
// with the double value of pi.
constexpr double kDegrees = 3.14159265358979323846 / 180.0;

int Fail(OrthoModel& model, int result, std::string& errorText, const char* text) {
    OrthoModel_Free(model);
    if (text) errorText = text;
    return result;
}

bool GoOn(OrthoJob& job, float fraction) { return !job.Progress || job.Progress(fraction, job); }

void MirrorAngles(OrthoModel& model) {
    for (OrthoAngle& a : model.Angles)
        if (a.Degrees < 180.0) {
            a.Degrees = 360.0 - a.Degrees;
            a.Sine = std::sin(a.Degrees * kDegrees);
            a.Cosine = std::cos(a.Degrees * kDegrees);
        }
}

void RestoreAngles(OrthoModel& model) {
    for (std::size_t i = 0; i < model.Angles.size(); ++i) {
        const double a = static_cast<double>(i) * model.AngleSpacing;
        model.Angles[i] = OrthoAngle{a, std::sin(a * kDegrees), std::cos(a * kDegrees)};
    }
}

}  // namespace

bool AaopSlice_PrepareMesh(const OrthoSliceSetup& setup, const SurfaceRecord& mesh, OrthoSliceSetup& work,
                           OrthoMesh& out) {
    work = setup;
    if (work.Limit1 > work.Limit2) std::swap(work.Limit1, work.Limit2);
    const float lower = work.Limit1;
    const int32_t count = mesh.Points ? mesh.NumPoints : 0;
    try {
        out.Points.resize(static_cast<std::size_t>(count));
    } catch (const std::bad_alloc&) {
        return false;
    }
    float low = 0, high = 0;
    for (int32_t i = 0; i < count; ++i) {
        Vec3 shifted, q;
        V3_Sub(mesh.Points[i], work.Origin, shifted);
        M4_TransformPoint(work.Frame, shifted, q);
        q.y -= lower;
        out.Points[i] = q;
        if (i == 0 || q.y < low) low = q.y;
        if (i == 0 || q.y > high) high = q.y;
    }
    out.FacetCount = mesh.Facets ? mesh.NumFacets : 0;
    out.Facets = mesh.Facets;
    work.HeightShift = lower;
    work.Limit2 = work.Limit2 - lower;
    work.Limit1 = 0;
    Ortho_Trace("y shift: %g\n", static_cast<double>(lower));
    Ortho_Trace("min, max = %g, %g\n", static_cast<double>(low), static_cast<double>(high));
    return true;
}

bool Slice_TriangleCrossing(const Vec3 corners[3], const float distances[3], Vec3& end1, Vec3& end2) {
    const bool pos[3] = {distances[0] > 0, distances[1] > 0, distances[2] > 0};
    if (pos[0] == pos[1] && pos[1] == pos[2]) return false;
    int lone;
    if (pos[0] != pos[1])
        lone = (pos[0] != pos[2]) ? 0 : 1;
    else
        lone = 2;
    const Vec3& l = corners[lone];
    const float dl = distances[lone];
    if (dl == 0.0f) {
        end1 = end2 = l;
        return true;
    }
    const int a = (lone + 1) % 3 < (lone + 2) % 3 ? (lone + 1) % 3 : (lone + 2) % 3;
    const int b = 3 - lone - a;
    auto along = [&](int k, Vec3& out) {
        const float t = std::fabs(dl) / (std::fabs(distances[k]) + std::fabs(dl));
        Vec3 d;
        V3_Sub(corners[k], l, d);
        V3_AddScaled(l, t, d, out);
    };
    along(a, end1);
    along(b, end2);
    return true;
}

void Slice_PolarOfPoint(const OrthoSlice& slice, const Vec3& p, double& angle, double& radius) {
    Vec3 d;
    V3_Sub(p, slice.Centre, d);
    angle = Ortho_FoldDegrees(std::atan2(static_cast<double>(V3_Dot(d, slice.W)), V3_Dot(d, slice.U)) / kDegrees);
    radius = V3_Length(d);
}

void AaopSlice_SampleSlice(const OrthoModel& model, OrthoSlice& slice, const OrthoMesh& mesh) {
    Plane plane;
    Plane_FromPointNormal(slice.Centre, slice.Normal, plane);
    std::vector<float> distance(mesh.Points.size());
    for (std::size_t i = 0; i < mesh.Points.size(); ++i) distance[i] = Plane_SignedDistance(mesh.Points[i], plane);
    const int32_t n = model.PointsPerSlice;
    for (int32_t f = 0; f < mesh.FacetCount; ++f) {
        const int32_t* tri = mesh.Facets + 3 * f;
        const Vec3 corners[3] = {mesh.Points[tri[0]], mesh.Points[tri[1]], mesh.Points[tri[2]]};
        const float d[3] = {distance[tri[0]], distance[tri[1]], distance[tri[2]]};
        Vec3 e1, e2;
        if (!Slice_TriangleCrossing(corners, d, e1, e2)) continue;
        double a1, r1, a2, r2;
        Slice_PolarOfPoint(slice, e1, a1, r1);
        Slice_PolarOfPoint(slice, e2, a2, r2);
        double span = Ortho_FoldDegrees(a2 - a1);
        if (span == 180.0) continue;
        if (span > 180.0) {
            std::swap(a1, a2);
            std::swap(r1, r2);
            span = 360.0 - span;
        }
        for (int32_t i = 0; i < n; ++i) {
            if (slice.Radii[i] != -1.0f) continue;
            const double a = model.Angles[i].Degrees;
            const double from1 = Ortho_FoldDegrees(a - a1);
            const double to2 = Ortho_FoldDegrees(a2 - a);
            if (!(from1 < 180.0 && to2 < 180.0)) continue;
            // Equal end angles cover only the sample at that very angle: it
            // takes end 1's radius.
            const double f = span > 0 ? from1 / span : 0.0;
            slice.Radii[i] = static_cast<float>((1 - f) * r1 + f * r2);
        }
    }
}

double AaopSlice_AdaptiveSpacing(const OrthoModel& model, const OrthoSlice& slice) {
    std::vector<float> chords;
    const int32_t n = model.PointsPerSlice;
    for (int32_t i = 0; i + 1 < n; ++i) {
        const double ri = slice.Radii[i], rj = slice.Radii[i + 1];
        if (ri < 0 || rj < 0) continue;
        const double delta = (model.Angles[i + 1].Degrees - model.Angles[i].Degrees) * kDegrees;
        chords.push_back(static_cast<float>(ri * ri + rj * rj - 2 * ri * rj * std::cos(delta)));
    }
    if (chords.empty()) return 0;
    std::sort(chords.begin(), chords.end());
    const std::size_t k = chords.size();
    return (std::sqrt(std::max(0.0f, chords[(k - 1) / 2])) + std::sqrt(std::max(0.0f, chords[k / 2]))) / 2;
}

int AaopSlice_Compute(OrthoModel& model, const SurfaceRecord& mesh, const StylusItemList* items, OrthoJob& job,
                      std::string& errorText) {
    errorText.clear();
    Aaop_DebugDump(job.Setup, mesh, items);
    OrthoSliceSetup work;
    OrthoMesh working;
    if (!AaopSlice_PrepareMesh(job.Setup, mesh, work, working)) return Fail(model, 2, errorText, "Out of memory");
    if (int r = OrthoModel_Init(model, work, errorText)) return Fail(model, r, errorText, nullptr);
    if (int r = OrthoSetup_CheckSliceSpacing(work, errorText)) return Fail(model, r, errorText, nullptr);
    if (work.Mirror) MirrorAngles(model);
    Ortho_Trace("HeightBase = %g\n", model.HeightBase);
    Ortho_Trace("HeightMax  = %g\n", model.HeightMax);
    Ortho_Trace("HeightDir  = %d\n", model.HeightDir);
    const double range = std::fabs(model.HeightMax - model.HeightBase);
    double h = model.HeightBase, step = 0;
    bool last = false;
    try {
        while (!last) {
            h += step * model.HeightDir;
            if ((model.HeightDir < 0 && h <= model.HeightMax) || (model.HeightDir > 0 && h >= model.HeightMax)) {
                h = model.HeightMax;
                last = true;
            }
            // Equal limits make one slice, which is the whole job.
            const float fraction = range > 0 ? static_cast<float>(std::fabs(h - model.HeightBase) / range) : 1.0f;
            if (!GoOn(job, fraction)) return Fail(model, 1, errorText, "Aborted");
            const bool first = model.Slices.empty();
            OrthoSlice* slice = OrthoModel_AddSlice(model, h, Vec3{0, static_cast<float>(h), 0}, Vec3{0, 1, 0},
                                                    Vec3{0, 0, 1}, true, false);
            if (!slice) return Fail(model, 2, errorText, "Out of memory");
            if (first && (work.EndMode == 0 || work.EndMode == 1)) {
                Ortho_Trace("AaopSlice_ZeroPoints at height = %g, i = %d\n", h, 0);
                std::fill(slice->Radii.begin(), slice->Radii.end(), 0.0f);
            } else {
                AaopSlice_SampleSlice(model, *slice, working);
            }
            if (work.AdaptiveSpacing == 0) {
                step = work.SliceSpacing;
            } else {
                step = AaopSlice_AdaptiveSpacing(model, *slice);
                if (step < 1) step = 1;
            }
        }
    } catch (const std::bad_alloc&) {
        return Fail(model, 2, errorText, "Out of memory");
    }
    long missed = 0;
    for (const OrthoSlice& s : model.Slices)
        for (float r : s.Radii)
            if (r < 0) ++missed;
    if (missed > 0) {
        char text[1024];
        std::snprintf(text, sizeof text,
                      "%ld samples (out of %ld) failed to find the surface.\nPlease check your axis and upper and "
                      "lower limits.",
                      missed, static_cast<long>(model.Slices.size()) * model.PointsPerSlice);
        return Fail(model, 4, errorText, text);
    }
    if (!OrthoModel_CollectLandmarks(model, items, work, mesh.Inverted != 0, false, true))
        return Fail(model, 2, errorText, "Out of memory");
    if (model.HeightDir < 0) OrthoModel_ReverseSlices(model);
    if (work.Mirror) RestoreAngles(model);
    if (!OrthoModel_BuildStrips(model)) return Fail(model, 2, errorText, "Out of memory");
    return kOrthoOk;
}
