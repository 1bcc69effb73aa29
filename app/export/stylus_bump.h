// Stylus Bump: raises a smooth bump (or sinks a dip, for a negative height)
// of a given width and height in the RBF surface at every visible stylus
// item. Every vertex within the disc of radius r round an item's axis is put
// on the half-ellipsoid with semi-axes r, r and the height over the item.
//
// A cache remembers, for the surface last bumped (the record, its vertex
// count and its change time), where each moved vertex was before the first
// bump; while it still matches, an application starts from those positions,
// so changing the width or height and applying again replaces the bumps
// instead of adding to them.
#pragma once

#include <cstdint>

struct StylusItemList;
struct SurfaceRecord;

enum class BumpOutcome {
    kUnchanged,    // nothing to do, or no vertex lies in a disc
    kMoved,        // at least one vertex moved; the surface is marked unsaved
    kOutOfMemory,  // nothing moved, the cache as it was
};

// The radius of a bump of the given width on a surface built at `resolution`:
// half the width, raised to 0.66 x the resolution when smaller.
float StylusBump_Radius(float width, float resolution);

// Applies the bumps, all or nothing: the work is done on a copy of the
// vertices that replaces them only once every allocation has succeeded. When
// a vertex ends elsewhere than it was, the surface's saved flag is cleared
// (its change time stays, as the cache needs). Facet normals and the area are
// recomputed; vertex normals stay.
BumpOutcome StylusBump_Apply(const StylusItemList& list, SurfaceRecord& surface, float width, float height);

// The cache operations. PrepareUndo restores the cached positions when the
// cache matches the surface, else resets the cache onto it.
void StylusBump_PrepareUndo(SurfaceRecord& surface);
void StylusBump_RestoreVertices();
void StylusBump_ResetCache(SurfaceRecord& surface);
// The number of cached entries (for the tests and the memory figure).
int64_t StylusBump_CacheSize();
