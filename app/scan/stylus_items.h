// The stylus item list: points and lines digitised with the stylus (or the
// mouse used as a marker), recorded in groups. Undo and redo move a visible
// cursor over whole groups; the undone groups stay behind it until a new item
// is recorded.
#pragma once

#include "app/scan/geometry.h"

#include <cstdint>

// Flags of a stylus item.
constexpr uint32_t kStylusHidden = 0x01;
constexpr uint32_t kStylusSelected = 0x02;
constexpr uint32_t kStylusOnScan = 0x08;     // placed on the scan's facets
constexpr uint32_t kStylusOnBasic = 0x10;    // placed on the basic surface
constexpr uint32_t kStylusLineHead = 0x20;   // the extra item that starts a line
constexpr uint32_t kStylusLineMember = 0x40; // a further item of a line
constexpr uint32_t kStylusHighlighted = 0x80;
constexpr uint32_t kStylusInverted = 0x1000; // the fourth pose holds the pose on an inverted cast

struct StylusItem {
    uint32_t Flags;
    Matrix4 Pose;       // the item's position is its translation
    Matrix4 ScanPose;   // placed on the scan (valid with kStylusOnScan)
    Matrix4 BasicPose;  // placed on the basic surface (valid with kStylusOnBasic)
    Matrix4 FourthPose; // valid with kStylusInverted
    float ScanDistance;  // distance to the placement on the scan, 0 when not placed
    float BasicDistance; // the same for the basic surface
    int32_t Group;       // index of the item's group; a group's items are contiguous
    int32_t Time;        // seconds of the system clock when recorded
};

struct StylusItemList {
    int32_t CaptureMarker;  // set to 1 whenever an item is recorded
    int32_t VisibleCount;   // the items in force are the first this many
    int32_t TotalCount;     // items held, including undone groups
    int32_t Capacity;
    int32_t GroupCount;     // groups in force
    StylusItem* Items;      // owned (std::malloc)
    int32_t ReplaceNeeded;  // positions changed: placements must be redone
};

struct RawData;

// Capacity 100 below 100, else capacity x 1.44 (truncated). False, with the
// list unchanged, when memory runs out.
bool StylusItems_Grow(StylusItemList& list);
bool StylusItems_UndoGroup(StylusItemList& list);
bool StylusItems_RedoGroup(StylusItemList& list);
bool StylusItems_Reset(StylusItemList& list);
int32_t StylusItems_GroupCount(const StylusItemList& list);
// Moves visible group g behind the visible items, where it is the first group
// to redo. Nothing happens when no visible item has group g.
void StylusItems_ExtractGroup(StylusItemList& list, int32_t g);
// Negates the position of every visible item; used with the mirroring of the
// wand matrices.
void StylusItems_FlipNormals(StylusItemList& list);
// Frees the items and zeroes the list.
void StylusItems_Free(StylusItemList& list);

// Places the item on the nearest point of the scan's facets within
// maxDistance; 1 when found, else 0 (and the placement is cleared).
int32_t StylusItem_PlaceOnScan(const RawData& raw, StylusItem& item, float maxDistance);
void StylusItem_ClearPlacement(StylusItem& item);
bool StylusItem_IsPlaced(const StylusItem& item, bool basic);
// Chooses one of the item's four poses by the flags and the three switches.
void StylusItem_GetPose(const StylusItem& item, Matrix4& out, bool placed, bool basic, bool fourth);

void Line_Copy(const Line& source, Line& target);
