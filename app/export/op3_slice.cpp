#include "app/export/op3_slice.h"

#include <cmath>
#include <new>

#include "app/export/plane_section.h"
#include "app/scan/surface_record.h"

namespace {

constexpr float kAxisFitSlack = 0.00001f;

Vec3D ToD(const Vec3& v) { return Vec3D{v.x, v.y, v.z}; }
Vec3 ToF(const Vec3D& v) { return Vec3{static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)}; }
double Dot(const Vec3D& a, const Vec3D& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3D Scaled(const Vec3D& a, double s) { return Vec3D{a.x * s, a.y * s, a.z * s}; }
Vec3D Sum(const Vec3D& a, const Vec3D& b) { return Vec3D{a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3D Diff(const Vec3D& a, const Vec3D& b) { return Vec3D{a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3D Unit(const Vec3D& a) {
    Vec3D out;
    V3D_Normalise(a, out);
    return out;
}
// A point turned about the x axis by g radians.
Vec3D TurnX(const Vec3D& p, double g) {
    return Vec3D{p.x, p.y * std::cos(g) - p.z * std::sin(g), p.y * std::sin(g) + p.z * std::cos(g)};
}

// The triangle's facet normal: the mesh's own, or made from its corners.
Vec3 FacetNormal(const SurfaceRecord& mesh, int32_t f) {
    if (mesh.FacetNormals) return mesh.FacetNormals[f];
    const int32_t* t = mesh.Facets + 3 * f;
    Vec3 e1, e2, n;
    V3_Sub(mesh.Points[t[1]], mesh.Points[t[0]], e1);
    V3_Sub(mesh.Points[t[2]], mesh.Points[t[0]], e2);
    V3_Cross(e1, e2, n);
    V3_Normalise(n, n);
    return n;
}

struct PlaneHits {
    Plane plane;
    int32_t count = 0;
    Vec3D sum{0, 0, 0};
    bool facesInside = false;
};

void TestEdges(const SurfaceRecord& mesh, const Vec3& ankle, PlaneHits& top, PlaneHits& ankleHits, PlaneHits& toe) {
    for (int32_t f = 0; f < mesh.NumFacets; ++f) {
        const int32_t* tri = mesh.Facets + 3 * f;
        const Vec3 normal = FacetNormal(mesh, f);
        for (int k = 0; k < 3; ++k) {
            const Vec3& p = mesh.Points[tri[k]];
            Vec3 d;
            V3_Sub(mesh.Points[tri[(k + 1) % 3]], p, d);
            for (PlaneHits* hits : {&top, &ankleHits, &toe}) {
                const float t = Plane_RayParameter(p, d, hits->plane);
                if (!(t >= -kAxisFitSlack && t <= 1 + kAxisFitSlack)) continue;
                ++hits->count;
                if (hits != &ankleHits) continue;
                Vec3 q, fromAnkle;
                V3_AddScaled(p, t, d, q);
                hits->sum = Sum(hits->sum, ToD(q));
                V3_Sub(q, ankle, fromAnkle);
                if (V3_Dot(fromAnkle, normal) < 0) hits->facesInside = true;
            }
        }
    }
}

// A + axis h, h the reach of the mesh vertex farthest along the axis.
Vec3 FarthestAlong(const SurfaceRecord& mesh, const Vec3& a, const Vec3& axis) {
    int32_t best = 0;
    for (int32_t i = 1; i < mesh.NumPoints; ++i)
        if (V3_Dot(mesh.Points[i], axis) > V3_Dot(mesh.Points[best], axis)) best = i;
    Vec3 d, out;
    V3_Sub(mesh.Points[best], a, d);
    V3_AddScaled(a, V3_Dot(d, axis), axis, out);
    return out;
}

int Fail(OrthoModel& model, int result, std::string& errorText, const char* text) {
    OrthoModel_Free(model);
    if (text) errorText = text;
    return result;
}

// A slice whose cut found its start on the +u side is anchored; the others
// are turned to match an aligned neighbour. False when memory runs out.
bool AlignSlices(OrthoModel& model) {
    const std::size_t last = model.Slices.size() - 1;
    OrthoSlice& added = model.Slices[last];
    if (!added.Aligned) {
        if (last > 0 && model.Slices[last - 1].Aligned) return OrthoSlice_MatchRotation(added, model.Slices[last - 1]);
        return true;
    }
    for (std::size_t k = last; k-- > 0;)
        if (!model.Slices[k].Aligned && !OrthoSlice_MatchRotation(model.Slices[k], model.Slices[k + 1])) return false;
    return true;
}

}  // namespace

Matrix4 Op3Slice_MakeFrame(const Vec3& legAxis, const Vec3& footAxis) {
    Vec3 a, b, c, x;
    V3_Normalise(legAxis, a);
    V3_Normalise(footAxis, b);
    Vec3 across;
    V3_AddScaled(b, -V3_Dot(a, b), a, across);
    V3_Normalise(across, c);
    V3_Cross(c, a, x);
    Matrix4 m;
    M4_Identity(m);
    const Vec3 columns[3] = {x, c, a};
    for (int col = 0; col < 3; ++col) {
        m[0 * 4 + col] = columns[col].x;
        m[1 * 4 + col] = columns[col].y;
        m[2 * 4 + col] = columns[col].z;
    }
    return m;
}

int Op3Slice_PrepareInput(const OrthoSliceSetup& setup, const SurfaceRecord& mesh, OrthoSliceSetup& work,
                          OrthoMesh& out, std::string& errorText) {
    work = setup;
    const Vec3 ankle = setup.Origin, a = setup.LegAxis, b = setup.FootAxis;
    Vec3 top, toe, sum, across, ankleNormal;
    V3_AddScaled(ankle, setup.Limit1, a, top);
    V3_AddScaled(ankle, setup.Limit2, b, toe);
    V3_Add(a, b, sum);
    V3_Cross(a, b, across);
    V3_Cross(sum, across, ankleNormal);
    PlaneHits topHits, ankleHits, toeHits;
    Plane_FromPointNormal(top, a, topHits.plane);
    Plane_FromPointNormal(ankle, ankleNormal, ankleHits.plane);
    Plane_FromPointNormal(toe, b, toeHits.plane);
    TestEdges(mesh, ankle, topHits, ankleHits, toeHits);
    if (ankleHits.count == 0) {
        errorText = "The intersection of the two axes is outside the object.\n";
        return kOrthoMissed;
    }
    Vec3 fitted = ankle;
    if (ankleHits.facesInside) {
        Ortho_Trace("moving ankle to centroid\n");
        fitted = ToF(Scaled(ankleHits.sum, 1.0 / ankleHits.count));
    }
    if (topHits.count == 0) {
        Ortho_Trace("moving top to centroid\n");
        top = FarthestAlong(mesh, ankle, a);
    }
    if (toeHits.count == 0) {
        Ortho_Trace("moving toe to centroid\n");
        toe = FarthestAlong(mesh, ankle, b);
    }
    Vec3 up, forward;
    V3_Sub(top, fitted, up);
    V3_Sub(toe, fitted, forward);
    work.Origin = fitted;
    work.Limit1 = V3_Length(up);
    work.Limit2 = V3_Length(forward);
    V3_Normalise(up, work.LegAxis);
    V3_Normalise(forward, work.FootAxis);
    work.Frame = Op3Slice_MakeFrame(work.LegAxis, work.FootAxis);
    try {
        out.Points.resize(static_cast<std::size_t>(mesh.NumPoints));
        out.FacetNormals.resize(static_cast<std::size_t>(mesh.NumFacets));
    } catch (const std::bad_alloc&) {
        errorText = "Out of memory";
        return kOrthoOutOfMemory;
    }
    for (int32_t i = 0; i < mesh.NumPoints; ++i) {
        Vec3 d;
        V3_Sub(mesh.Points[i], fitted, d);
        M4_TransformPoint(work.Frame, d, out.Points[i]);
    }
    for (int32_t f = 0; f < mesh.NumFacets; ++f)
        M4_TransformPoint(work.Frame, FacetNormal(mesh, f), out.FacetNormals[f]);
    out.FacetCount = mesh.NumFacets;
    out.Facets = mesh.Facets;
    M4_TransformPoint(work.Frame, Vec3{work.LegAxis}, work.LegAxis);
    M4_TransformPoint(work.Frame, Vec3{work.FootAxis}, work.FootAxis);
    return kOrthoOk;
}

int Op3Slice_MakeBendPath(const OrthoSliceSetup& work, const OrthoMesh& mesh, Op3BendPath& path,
                          std::string& errorText) {
    const Vec3D a = Unit(ToD(work.LegAxis)), b = Unit(ToD(work.FootAxis));
    const Vec3D e = Unit(Sum(a, b));
    Vec3D normal;
    V3D_Cross(e, Vec3D{1, 0, 0}, normal);
    normal = Unit(normal);
    Plane plane;
    Plane_FromPointNormal(Vec3{0, 0, 0}, ToF(normal), plane);
    bool any = false;
    Vec3 far{};
    for (int32_t f = 0; f < mesh.FacetCount; ++f) {
        const int32_t* tri = mesh.Facets + 3 * f;
        for (int k = 0; k < 3; ++k) {
            const Vec3& p = mesh.Points[tri[k]];
            Vec3 d, q;
            V3_Sub(mesh.Points[tri[(k + 1) % 3]], p, d);
            const float t = Plane_RayParameter(p, d, plane);
            if (!(t >= 0.0f && t <= 1.0f)) continue;
            V3_AddScaled(p, t, d, q);
            if (V3_Dot(q, mesh.FacetNormals[f]) < 0) {
                errorText = "The centre of the bend is outside of the foot.";
                return kOrthoMissed;
            }
            if (!any || Dot(ToD(q), e) > Dot(ToD(far), e)) far = q;
            any = true;
        }
    }
    if (!any) {
        errorText = "The centre of the bend is outside of the foot.";
        return kOrthoMissed;
    }
    const float d = V3_Length(far);
    const float reach = 1.3f * d;
    const double psi = std::acos(Dot(a, e));
    const float p = static_cast<float>(reach + reach * std::tan(psi / 2));
    path.BendCentre = Scaled(e, p);
    path.BendRadius = p * std::sin(psi);
    const double t = std::sqrt(static_cast<double>(p) * p - path.BendRadius * path.BendRadius);
    const double theta = kGeometryPi / 2 - psi;
    path.FootStart = Scaled(b, work.Limit2);
    path.FootEnd = Scaled(b, t);
    path.FootDir = Scaled(b, -1);
    path.L1 = work.Limit2 - t;
    path.L2 = path.L1 + 2 * theta * path.BendRadius;
    path.LegStart = Scaled(a, t);
    path.LegEnd = Scaled(a, work.Limit1);
    path.LegDir = a;
    path.L3 = path.L2 + (work.Limit1 - t);
    return kOrthoOk;
}

OrthoSlice* Op3Slice_PlaceSlice(OrthoModel& model, const Op3BendPath& path, float s, bool& outOfMemory) {
    outOfMemory = false;
    if (s < 0) return nullptr;
    if (s > path.L3) {
        Ortho_Trace("nothing\n");
        return nullptr;
    }
    Vec3D centre, normal;
    if (s <= path.L1) {
        centre = Sum(path.FootStart, Scaled(path.FootDir, s));
        normal = path.FootDir;
    } else if (s <= path.L2) {
        const double g = -(s - path.L1) / path.BendRadius;
        centre = Sum(path.BendCentre, TurnX(Diff(path.FootEnd, path.BendCentre), g));
        normal = TurnX(path.FootDir, g);
    } else {
        centre = Sum(path.LegStart, Scaled(path.LegDir, s - path.L2));
        normal = path.LegDir;
    }
    Vec3D u;
    V3D_Cross(normal, Vec3D{1, 0, 0}, u);
    OrthoSlice* slice = OrthoModel_AddSlice(model, s, ToF(centre), ToF(normal), ToF(Unit(u)), false, true);
    if (!slice) outOfMemory = true;
    return slice;
}

bool OrthoSlice_MatchRotation(OrthoSlice& s, const OrthoSlice& r) {
    const std::size_t n = s.Points.size();
    if (n == 0 || r.Points.size() != n) return true;
    std::size_t best = 0;
    double bestSum = 0;
    for (std::size_t k = 0; k < n; ++k) {
        double sum = 0;
        for (std::size_t i = 0; i < n; ++i) sum += V3_DistanceSquared(s.Points[(i + k) % n], r.Points[i]);
        if (k == 0 || sum < bestSum) {
            bestSum = sum;
            best = k;
        }
    }
    try {
        const std::vector<Vec3> old = s.Points;
        for (std::size_t i = 0; i < n; ++i) s.Points[i] = old[(i + best) % n];
    } catch (const std::bad_alloc&) {
        return false;
    }
    s.Aligned = 1;
    return true;
}

int Op3Slice_Compute(OrthoModel& model, const SurfaceRecord& mesh, const StylusItemList* items, OrthoJob& job,
                     std::string& errorText) {
    errorText.clear();
    Aaop_DebugDump(job.Setup, mesh, items);
    OrthoSliceSetup work;
    OrthoMesh working;
    if (int r = Op3Slice_PrepareInput(job.Setup, mesh, work, working, errorText))
        return Fail(model, r, errorText, nullptr);
    if (int r = OrthoModel_Init(model, work, errorText)) return Fail(model, r, errorText, nullptr);
    if (int r = OrthoSetup_CheckSliceSpacing(work, errorText)) return Fail(model, r, errorText, nullptr);
    Op3BendPath path;
    if (int r = Op3Slice_MakeBendPath(work, working, path, errorText)) return Fail(model, r, errorText, nullptr);
    float s = 0, step = 0;
    while (s < path.L3) {
        if (job.Progress && !job.Progress(static_cast<float>(s / path.L3), job))
            return Fail(model, 1, errorText, nullptr);
        bool outOfMemory = false;
        OrthoSlice* slice = Op3Slice_PlaceSlice(model, path, s, outOfMemory);
        if (!slice) return Fail(model, 2, errorText, nullptr);
        const int cut = Slice_PlaneCycles(*slice, working);
        if (cut == kOrthoMissed) {
            model.Slices.pop_back();
            if (model.Slices.size() <= 1)
                step = 1;
            else
                Ortho_Trace("!sliceOk with previous slice\n");
        } else if (cut != kOrthoOk) {
            return Fail(model, 2, errorText, nullptr);
        } else {
            if (!AlignSlices(model)) return Fail(model, 2, errorText, nullptr);
            const float suggested = model.Slices.back().SuggestedSpacing;
            if (work.AdaptiveSpacing)
                step = suggested < 1 ? 1.0f : suggested;
            else
                step = work.SliceSpacing;
        }
        s = s + step;
    }
    if (model.Slices.empty())
        return Fail(model, 3, errorText, "No slices were computed from the given mesh and bend axes.");
    if (!OrthoModel_CollectLandmarks(model, items, work, mesh.Inverted != 0, true, false))
        return Fail(model, 2, errorText, nullptr);
    if (!OrthoModel_BuildStrips(model)) return Fail(model, 2, errorText, nullptr);
    return kOrthoOk;
}
