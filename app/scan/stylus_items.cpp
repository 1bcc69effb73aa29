#include "app/scan/stylus_items.h"

#include "app/scan/raw_data.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

bool StylusItems_Grow(StylusItemList& list) {
    const int64_t capacity = list.Capacity < 100 ? 100 : static_cast<int64_t>(list.Capacity) * 144 / 100;
    if (capacity > INT32_MAX / static_cast<int64_t>(sizeof(StylusItem))) return false;
    void* grown = std::realloc(list.Items, static_cast<std::size_t>(capacity) * sizeof(StylusItem));
    if (!grown) return false;
    list.Items = static_cast<StylusItem*>(grown);
    list.Capacity = static_cast<int32_t>(capacity);
    return true;
}

bool StylusItems_UndoGroup(StylusItemList& list) {
    if (list.VisibleCount <= 0) return false;
    const int32_t g = list.Items[list.VisibleCount - 1].Group;
    while (list.VisibleCount > 0 && list.Items[list.VisibleCount - 1].Group == g) --list.VisibleCount;
    --list.GroupCount;
    return true;
}

bool StylusItems_RedoGroup(StylusItemList& list) {
    if (list.VisibleCount >= list.TotalCount) return false;
    const int32_t g = list.Items[list.VisibleCount].Group;
    while (list.VisibleCount < list.TotalCount && list.Items[list.VisibleCount].Group == g) ++list.VisibleCount;
    ++list.GroupCount;
    return true;
}

bool StylusItems_Reset(StylusItemList& list) {
    if (list.VisibleCount <= 0) return false;
    list.VisibleCount = 0;
    list.GroupCount = 0;
    return true;
}

int32_t StylusItems_GroupCount(const StylusItemList& list) { return list.GroupCount; }

void StylusItems_ExtractGroup(StylusItemList& list, int32_t g) {
    int32_t begin = 0;
    while (begin < list.VisibleCount && list.Items[begin].Group != g) ++begin;
    if (begin == list.VisibleCount) return;
    int32_t end = begin;
    while (end < list.VisibleCount && list.Items[end].Group == g) ++end;
    const int32_t n = end - begin;

    std::vector<StylusItem> run(list.Items + begin, list.Items + end);
    for (StylusItem& item : run) item.Flags &= ~kStylusSelected;
    for (int32_t i = end; i < list.VisibleCount; ++i) {
        list.Items[i - n] = list.Items[i];
        --list.Items[i - n].Group;
    }
    list.VisibleCount -= n;
    --list.GroupCount;
    for (int32_t k = 0; k < n; ++k) {
        list.Items[list.VisibleCount + k] = run[k];
        list.Items[list.VisibleCount + k].Group = list.GroupCount;
    }
}

void StylusItems_FlipNormals(StylusItemList& list) {
    for (int32_t i = 0; i < list.VisibleCount; ++i)
        for (int k = 12; k < 15; ++k) list.Items[i].Pose[k] = -list.Items[i].Pose[k];
    if (list.VisibleCount > 0) list.ReplaceNeeded = 1;
}

void StylusItems_Free(StylusItemList& list) {
    std::free(list.Items);
    std::memset(&list, 0, sizeof list);
}

int32_t StylusItem_PlaceOnScan(const RawData& raw, StylusItem& item, float maxDistance) {
    item.ScanPose = item.Pose;
    const Vec3 position{item.Pose[12], item.Pose[13], item.Pose[14]};
    float best = maxDistance * maxDistance;
    bool found = false;
    Vec3 nearest{};
    for (int32_t f = 0; f < raw.NumFacets; ++f) {
        const Facet& facet = raw.Facets[f];
        bool valid = true;
        for (int32_t v : facet.v) valid = valid && v >= 0 && v < raw.NumPoints;
        if (!valid) continue;
        // The triangle test measures heights along the normal: it needs unit
        // normals, and processing leaves the facet normals at twice the area.
        Vec3 normal;
        V3_Normalise(raw.FacetNormals[f], normal);
        Vec3 point;
        float distanceSq;
        if (Tri_ClosestPoint(position, raw.Points[facet.v[0]].Vertex, raw.Points[facet.v[1]].Vertex,
                             raw.Points[facet.v[2]].Vertex, normal, point, 0, 0, 0.0f, best, distanceSq) &&
            distanceSq < best) {
            best = distanceSq;
            nearest = point;
            found = true;
        }
    }
    if (!found) {
        item.Flags &= ~kStylusOnScan;
        item.ScanDistance = 0.0f;
        return 0;
    }
    item.ScanPose[12] = nearest.x;
    item.ScanPose[13] = nearest.y;
    item.ScanPose[14] = nearest.z;
    item.Flags |= kStylusOnScan;
    item.ScanDistance = std::sqrt(best);
    return 1;
}

void StylusItem_ClearPlacement(StylusItem& item) { item.Flags &= ~(kStylusOnScan | kStylusOnBasic); }

bool StylusItem_IsPlaced(const StylusItem& item, bool basic) {
    return (item.Flags & (basic ? kStylusOnBasic : kStylusOnScan)) != 0;
}

void StylusItem_GetPose(const StylusItem& item, Matrix4& out, bool placed, bool basic, bool fourth) {
    if (basic) {
        if (placed && (item.Flags & kStylusOnBasic))
            out = item.BasicPose;
        else if (fourth && (item.Flags & kStylusInverted))
            out = item.FourthPose;
        else
            out = item.Pose;
    } else {
        out = (placed && (item.Flags & kStylusOnScan)) ? item.ScanPose : item.Pose;
    }
}

void Line_Copy(const Line& source, Line& target) {
    if (&source != &target) target = source;
}
