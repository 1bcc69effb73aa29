#include "app/scan/stylus_placement.h"

#include "app/scan/mesh_adjacency.h"
#include "app/scan/raw_data.h"

#include <cmath>

bool StylusItem_PlaceOnBasic(SurfaceRecord& s, StylusItem& item, float maxDistance) {
    const Matrix4& source = (s.Inverted != 0 && (item.Flags & kStylusInverted)) ? item.FourthPose : item.Pose;
    item.BasicPose = source;
    const Vec3 q{source[12], source[13], source[14]};
    MeshBorderCache_Update(s.BorderCache, s.Points, s.Facets, s.NumFacets, s.NumPoints, s.ChangeTime);
    Vec3 p = q;
    if (s.NumFacets > 0 && s.Points && s.Facets && s.FacetNormals &&
        Mesh_ProjectToSurface(s.Points, s.FacetNormals, s.BorderCache, p, s.Facets, s.NumFacets, maxDistance)) {
        item.BasicPose[12] = p.x;
        item.BasicPose[13] = p.y;
        item.BasicPose[14] = p.z;
        item.Flags |= kStylusOnBasic;
        item.BasicDistance = V3_Distance(p, q);
        return true;
    }
    item.Flags &= ~kStylusOnBasic;
    item.BasicDistance = 0.0f;
    return false;
}

namespace {

// A single item is placed by `place`; a line head through its members, taking
// the largest distance of those placed.
template <class Place>
bool UpdateItemOrLine(StylusItemList& list, int32_t i, uint32_t flag, float StylusItem::*distance, Place place) {
    StylusItem& head = list.Items[i];
    if (!(head.Flags & kStylusLineHead)) return place(head);
    bool any = false;
    float best = 0.0f;
    for (int32_t j = i + 1; j < list.VisibleCount && (list.Items[j].Flags & kStylusLineMember); ++j) {
        StylusItem& member = list.Items[j];
        if (!place(member)) continue;
        any = true;
        if (!(member.*distance < best)) best = member.*distance;
    }
    if (any) {
        head.Flags |= flag;
        head.*distance = best;
    } else {
        head.Flags &= ~flag;
        head.*distance = 0.0f;
    }
    return any;
}

}  // namespace

bool StylusItem_UpdateShift(const RawData& raw, StylusItemList& list, int32_t i, float maxDistance) {
    return UpdateItemOrLine(list, i, kStylusOnScan, &StylusItem::ScanDistance,
                            [&](StylusItem& item) { return StylusItem_PlaceOnScan(raw, item, maxDistance) != 0; });
}

bool StylusItem_UpdateBasicShift(StylusItemList& list, int32_t i, SurfaceRecord& surface, float maxDistance) {
    return UpdateItemOrLine(list, i, kStylusOnBasic, &StylusItem::BasicDistance,
                            [&](StylusItem& item) { return StylusItem_PlaceOnBasic(surface, item, maxDistance); });
}

void StylusItems_UpdateShifts(StylusItemList& list, const RawData& raw, float maxDistance) {
    for (int32_t i = 0; i < list.VisibleCount; ++i) {
        const uint32_t flags = list.Items[i].Flags;
        if ((flags & kStylusOnScan) && !(flags & kStylusLineMember)) StylusItem_UpdateShift(raw, list, i, maxDistance);
    }
}

void StylusItems_UpdateBasicShifts(StylusItemList& list, SurfaceRecord& surface, float maxDistance) {
    for (int32_t i = 0; i < list.VisibleCount; ++i) {
        const uint32_t flags = list.Items[i].Flags;
        if ((flags & (kStylusOnScan | kStylusOnBasic)) && !(flags & kStylusLineMember))
            StylusItem_UpdateBasicShift(list, i, surface, maxDistance);
    }
}

void StylusItem_GetPosition(const StylusItem& item, bool placed, bool basic, bool fourth, Vec3& out) {
    Matrix4 pose;
    StylusItem_GetPose(item, pose, placed, basic, fourth);
    out = Vec3{pose[12], pose[13], pose[14]};
}

void StylusItems_ReplaceIfNeeded(StylusItemList& list, const RawData& raw, SurfaceRecord& basic, float maxDistance) {
    if (list.ReplaceNeeded == 0) return;
    list.ReplaceNeeded = 0;
    StylusItems_UpdateShifts(list, raw, maxDistance);
    if (basic.NumPoints > 0) StylusItems_UpdateBasicShifts(list, basic, maxDistance);
}
