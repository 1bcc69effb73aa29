// Placement ("shift") of stylus items onto the surfaces: each item keeps,
// beside its pose, a copy placed on the nearest point of the scan's facets and
// one placed on the basic surface, with the distance it was moved. A line is
// placed through its members; its head records whether any member was placed
// and the largest distance.
#pragma once

#include "app/scan/stylus_items.h"
#include "app/scan/surface_record.h"

#include <cstdint>

struct RawData;

// Places the item on the basic surface (from its fourth pose when the surface
// is cast-inverted and the item has one): true, flag kStylusOnBasic and the
// distance when a surface point lies within maxDistance off the mesh border;
// otherwise false with the flag cleared and distance 0. Throws
// OutOfMemoryError when the border flags cannot be built.
bool StylusItem_PlaceOnBasic(SurfaceRecord& surface, StylusItem& item, float maxDistance);

// Item i on the scan (a line head: through its members).
bool StylusItem_UpdateShift(const RawData& raw, StylusItemList& list, int32_t i, float maxDistance);
// Item i on the basic surface (a line head: through its members).
bool StylusItem_UpdateBasicShift(StylusItemList& list, int32_t i, SurfaceRecord& surface, float maxDistance);
// Every visible item placed on the scan, again; members through their heads.
void StylusItems_UpdateShifts(StylusItemList& list, const RawData& raw, float maxDistance);
// Every visible item placed on the scan or the basic surface, again on the
// basic surface; members through their heads.
void StylusItems_UpdateBasicShifts(StylusItemList& list, SurfaceRecord& surface, float maxDistance);

// The translation of the pose StylusItem_GetPose chooses with these switches.
void StylusItem_GetPosition(const StylusItem& item, bool placed, bool basic, bool fourth, Vec3& out);

// The re-placement the paint and the reload run: when the list asks for it,
// the request is consumed and the items are placed again on the scan and, when
// the basic surface has points, on it.
void StylusItems_ReplaceIfNeeded(StylusItemList& list, const RawData& raw, SurfaceRecord& basic, float maxDistance);
