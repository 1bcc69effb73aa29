#include "app/export/ortho_model.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "app/scan/stylus_items.h"
#include "app/scan/stylus_placement.h"

namespace {

// Sample angles meet crossing angles exactly at 0, 45, 90 ... degrees only
// with the double value of pi.
constexpr double kDegrees = 3.14159265358979323846 / 180.0;
constexpr std::size_t kGrowBy = 16;
// The most samples a slice can have: the angle table of that many fills the
// whole address space of the 32-bit program.
constexpr std::int64_t kMostPointsPerSlice = (std::int64_t{1} << 31) / static_cast<std::int64_t>(sizeof(OrthoAngle));

template <typename T>
void GrowBy16(std::vector<T>& v) {
    if (v.size() == v.capacity()) v.reserve(v.capacity() + kGrowBy);
}

}  // namespace

const char* OrthoSide_Text(int32_t side) {
    switch (side) {
        case kOrthoSideNone:
            return "NONE";
        case kOrthoSideLeft:
            return "LEFT";
        case kOrthoSideRight:
            return "RIGHT";
        default:
            return "UNDEFINED";
    }
}

OrthoSliceSetup OrthoSliceSetup_Default() {
    OrthoSliceSetup s;
    std::memset(&s, 0, sizeof s);
    s.LegAxis = Vec3{0, 1, 0};
    M4_Identity(s.Frame);
    s.Limit1 = -1;
    s.Limit2 = 1;
    s.EndMode = -1;
    s.AdaptiveSpacing = 1;
    s.SliceSpacing = 5;
    s.AngleSpacing = 4;
    s.Side = kOrthoSideNone;
    s.FootAxis = Vec3{1, 0, 0};
    s.Kind = 0;
    return s;
}

OrthoHooks& Ortho_Hooks() {
    static OrthoHooks hooks;
    return hooks;
}

void Ortho_Trace(const char* format, ...) {
    const OrthoHooks& hooks = Ortho_Hooks();
    if (!hooks.trace) return;
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    hooks.trace(text);
}

double Ortho_FoldDegrees(double degrees) {
    double a = std::fmod(degrees, 360.0);
    if (a < 0) a += 360.0;
    if (a >= 360.0) a = 0.0;
    return a;
}

int OrthoSetup_CheckSliceSpacing(const OrthoSliceSetup& setup, std::string& errorText) {
    if (setup.AdaptiveSpacing == 0 && !(setup.SliceSpacing > 0)) {
        errorText = "Slice spacing must be > 0 mm";
        return kOrthoBadSetup;
    }
    return kOrthoOk;
}

int OrthoModel_Init(OrthoModel& model, const OrthoSliceSetup& setup, std::string& errorText) {
    OrthoModel_Free(model);
    const double spacing = std::fabs(static_cast<double>(setup.AngleSpacing));
    if (spacing > 90.0) {
        errorText = "Point spacing must be <= 90 degrees";
        return kOrthoBadSetup;
    }
    // A spacing of 0 (or a negative one, whose absolute value the table would
    // take) would ask for an unbounded or meaningless number of samples.
    if (!(setup.AngleSpacing > 0)) {
        errorText = "Point spacing must be > 0 degrees";
        return kOrthoBadSetup;
    }
    // A tiny spacing asks for more samples than a count can hold or memory
    // could take: each slice keeps a value per sample, the table three.
    if (360.0 / spacing > static_cast<double>(kMostPointsPerSlice)) {
        errorText = "Out of memory";
        return kOrthoOutOfMemory;
    }
    try {
        model.Slices.reserve(kGrowBy);
        model.Landmarks.reserve(kGrowBy);
        model.AngleSpacing = spacing;
        model.PointsPerSlice = static_cast<int32_t>(std::floor(360.0 / spacing));
        model.Angles.resize(static_cast<std::size_t>(model.PointsPerSlice));
        for (int32_t i = 0; i < model.PointsPerSlice; ++i) {
            const double a = i * spacing;
            model.Angles[i] = OrthoAngle{a, std::sin(a * kDegrees), std::cos(a * kDegrees)};
        }
    } catch (const std::bad_alloc&) {
        OrthoModel_Free(model);
        errorText = "Out of memory";
        return kOrthoOutOfMemory;
    }
    model.Side = setup.Side;
    if (setup.EndMode == 1) {
        model.HeightBase = setup.Limit2;
        model.HeightMax = setup.Limit1;
    } else {
        model.HeightBase = setup.Limit1;
        model.HeightMax = setup.Limit2;
    }
    model.HeightDir = (model.HeightMax - model.HeightBase >= 0) ? 1 : -1;
    return kOrthoOk;
}

OrthoSlice* OrthoModel_AddSlice(OrthoModel& model, double height, const Vec3& centre, const Vec3& normal, const Vec3& u,
                                bool withRadii, bool withPoints) {
    try {
        GrowBy16(model.Slices);
        OrthoSlice slice;
        slice.Height = height;
        slice.Centre = centre;
        V3_Normalise(normal, slice.Normal);
        V3_Normalise(u, slice.U);
        V3_Cross(slice.Normal, slice.U, slice.W);
        const std::size_t n = static_cast<std::size_t>(model.PointsPerSlice);
        if (withRadii) slice.Radii.assign(n, -1.0f);
        if (withPoints) slice.Points.assign(n, Vec3{0, 0, 0});
        model.Slices.push_back(std::move(slice));
        return &model.Slices.back();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

OrthoLandmark* OrthoModel_AddLandmark(OrthoModel& model, const char* name, int32_t pointCount) {
    try {
        GrowBy16(model.Landmarks);
        OrthoLandmark mark;
        std::memset(mark.Name, 0, sizeof mark.Name);
        std::strncpy(mark.Name, name, sizeof mark.Name - 1);
        mark.Points.assign(static_cast<std::size_t>(pointCount < 0 ? 0 : pointCount), OrthoLandmarkPoint{});
        model.Landmarks.push_back(std::move(mark));
        return &model.Landmarks.back();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

namespace {

OrthoLandmarkPoint LandmarkPoint(const StylusItem& item, const OrthoSliceSetup& setup, bool placedOnInverted,
                                 bool aaop) {
    Vec3 p, shifted, q;
    StylusItem_GetPosition(item, true, true, placedOnInverted, p);
    V3_Sub(p, setup.Origin, shifted);
    M4_TransformPoint(setup.Frame, shifted, q);
    OrthoLandmarkPoint out{0, 0, q.x, q.y, q.z};
    if (aaop) {
        out.Y = q.y - setup.HeightShift;
        out.Radius = std::sqrt(q.x * q.x + q.z * q.z);
        out.Angle = static_cast<float>(-std::atan2(q.x, q.z) / kDegrees);
    }
    return out;
}

}  // namespace

bool OrthoModel_CollectLandmarks(OrthoModel& model, const StylusItemList* items, const OrthoSliceSetup& setup,
                                 bool placedOnInverted, bool skipLineMembers, bool aaop) {
    const int32_t count = items && items->Items ? items->VisibleCount : 0;
    int32_t lines = 0;
    for (int32_t i = 0; i < count; ++i)
        if (items->Items[i].Flags & kStylusLineHead) ++lines;
    Ortho_Trace("%d stylus lines\n", lines);
    int32_t i = 0;
    while (i < count) {
        const StylusItem& first = items->Items[i];
        const bool line = (first.Flags & kStylusLineHead) != 0;
        int32_t end = i + 1;
        if (line)
            while (end < count && (items->Items[end].Flags & kStylusLineMember) &&
                   !(items->Items[end].Flags & kStylusLineHead))
                ++end;
        const bool skip = (first.Flags & kStylusHidden) || (skipLineMembers && (first.Flags & kStylusLineMember));
        if (!skip) {
            char name[32];
            std::snprintf(name, sizeof name, line ? "S%03d LINE" : "S%03d POINT",
                          static_cast<int>(model.Landmarks.size()));
            const int32_t points = line ? end - i - 1 : 1;
            OrthoLandmark* mark = OrthoModel_AddLandmark(model, name, points);
            if (!mark) return false;
            const int32_t from = line ? i + 1 : i;
            for (int32_t k = 0; k < points; ++k)
                mark->Points[k] = LandmarkPoint(items->Items[from + k], setup, placedOnInverted, aaop);
        }
        i = end;
    }
    return true;
}

void OrthoModel_ReverseSlices(OrthoModel& model) {
    const std::size_t count = model.Slices.size();
    for (std::size_t k = 0; k < count / 2; ++k) std::swap(model.Slices[k], model.Slices[count - 1 - k]);
}

bool OrthoModel_BuildStrips(OrthoModel& model) {
    model.StripVertices.clear();
    model.StripNormals.clear();
    const int32_t n = model.PointsPerSlice;
    const int32_t slices = static_cast<int32_t>(model.Slices.size());
    model.StripVertexCount = 2 * n + 2;
    model.StripCount = slices > 1 ? slices - 1 : 0;
    const bool fromRadii = slices > 0 && model.Slices[0].Points.empty();
    auto vertex = [&](const OrthoSlice& s, int32_t j) {
        const int32_t i = j % n;
        if (!fromRadii) return s.Points[i];
        const float a = static_cast<float>(i * model.AngleSpacing * kDegrees);
        const float r = s.Radii[i];
        return Vec3{r * std::sin(a), static_cast<float>(s.Height), r * std::cos(a)};
    };
    try {
        model.StripVertices.resize(static_cast<std::size_t>(model.StripCount) * model.StripVertexCount);
        model.StripNormals.resize(static_cast<std::size_t>(model.StripCount) * (n + 1));
    } catch (const std::bad_alloc&) {
        model.StripVertices = std::vector<Vec3>();
        model.StripNormals = std::vector<Vec3>();
        model.StripCount = 0;
        return false;
    }
    for (int32_t k = 0; k < model.StripCount; ++k) {
        Vec3* v = &model.StripVertices[static_cast<std::size_t>(k) * model.StripVertexCount];
        Vec3* normals = &model.StripNormals[static_cast<std::size_t>(k) * (n + 1)];
        for (int32_t j = 0; j <= n; ++j) {
            v[2 * j] = vertex(model.Slices[k], j);
            v[2 * j + 1] = vertex(model.Slices[k + 1], j);
            if (j == 0)
                normals[0] = Vec3{0, 0, 0};
            else
                V3_NormalFrom4Points(v[2 * j - 2], v[2 * j - 1], v[2 * j + 1], v[2 * j], normals[j]);
        }
    }
    return true;
}

void OrthoSlice_Free(OrthoSlice& slice) { slice = OrthoSlice(); }

void OrthoModel_Free(OrthoModel& model) { model = OrthoModel(); }
