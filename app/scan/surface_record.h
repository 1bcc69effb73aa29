// A surface mesh made from the scan. The program keeps two: the basic surface
// (built from the profiles) and the RBF surface (copied from the surface
// library's result). Both are drawn, saved, loaded and exported; this file
// owns their layout, freeing, the per-point display colour cache and the
// cached extents.
//
// Counts are signed 32-bit. Every array is owned by the record and allocated
// with std::malloc/realloc.
#pragma once

#include "app/scan/settings_records.h"
#include "app/scan/geometry.h"
#include "app/scan/mesh_adjacency.h"

#include <cstdint>

struct RawData;

struct SurfaceRecord {
    int32_t MaxPoints;
    int32_t NumPoints;
    Vec3* Points;
    Vec3* PointNormals;
    float* Weights;      // the basic build's weight term per point; null in an RBF surface
    float* Resolutions;  // the basic build's resolution term per point; null in an RBF surface
    uint8_t* Greyscale;  // one byte a point, 255 = no greyscale known

    int32_t MaxFacets;
    int32_t NumFacets;
    int32_t* Facets;  // three point indices a facet
    Vec3* FacetNormals;

    int32_t MaxQuads;
    int32_t NumQuads;
    int32_t* Quads;  // four point indices a quad
    Vec3* QuadNormals;

    float Area;

    Vec3 Extents[8];  // corner k at the maximum in x, y, z for bits 0, 1, 2 of k
    double ExtentsTime;
    int32_t ExtentsValid;

    // What the surface was built with, and what was done to it since.
    BasicSurfParams BasicParams;  // the basic surface's parameter block
    RbfSurfParams RbfParams;      // the RBF surface's settings block
    int32_t Inverted;             // a cast inversion turned the mesh inside out
    int32_t InversionResult;      // the last cast inversion's result word
    int32_t Saved;                // the mesh as it stands has been written to the scan file

    // Which vertices lie on the mesh's open border (freed with the record).
    MeshBorderCache BorderCache;

    double ColourCacheTime;
    int32_t ColourCacheCount;
    uint8_t* ColourCache;  // red, green, blue and one unused byte a point

    double ChangeTime;  // stamped whenever the mesh changes
};

// Frees every array and zeroes the whole record, times and counts included.
void Surface_Free(SurfaceRecord& surface);

void Surface_FreeColourCache(SurfaceRecord& surface);

// The colour cache is rebuilt at the next refresh.
void Surface_ResetTimestamp(SurfaceRecord& surface);

// Stamps the change time with the current time; the mesh is then unsaved.
void Surface_MarkChanged(SurfaceRecord& surface);

// Whether the RBF surface was made from the basic surface as it stands:
// built after it from the same cast inversion state. A cast inversion of the
// RBF surface since then is no reason to drop it; a basic surface inverted
// while the RBF one is not is.
bool Surface_RbfMadeFromBasic(const SurfaceRecord& basic, const SurfaceRecord& rbf);

// Empties (point counts to 0) the surfaces that no longer belong to the scan
// as it stands: both when the basic surface is older than the scan's last
// change, the RBF surface alone when it was not made from the basic one. The
// view, the save and the export all take only what this leaves.
void Surface_DropStale(double scanTime, SurfaceRecord& basic, SurfaceRecord& rbf);

// Rebuilds the display colours when the mesh changed after the cache was
// made, or when the cache does not hold one colour a point: in greyscale colour mode the foreground colour scaled by
// each point's greyscale, otherwise the foreground colour. False only when the cache could not be allocated (the cache
// is then empty and is tried again next time).
bool Surface_RefreshPointCache(SurfaceRecord& surface, const ViewSettings& view, const GeneralSettings& settings);

// Red, green and blue of a facet or a quad in the low three bytes: the
// truncated mean of its corners' cache colours.
uint32_t Surface_FacetColour(const SurfaceRecord& surface, int32_t f);
uint32_t Surface_QuadColour(const SurfaceRecord& surface, int32_t q);

// True when some point's greyscale byte is not 255.
bool Surface_HasGreyscale(const SurfaceRecord& surface);

// The box of all points in `frame`, its 8 corners taken back into the
// surface's coordinates, into the extents; skipped when the extents are newer
// than the mesh.
void Surface_BoundingBox(SurfaceRecord& surface, const Matrix4& frame);

// True when at least one of facet f's scan points is erased.
bool RawData_FacetInEditRange(const RawData& raw, int32_t f);

// True when sweep s is hidden, beyond the sweeps in force, or has no points.
bool RawData_SweepHiddenOrEmpty(const RawData& raw, int32_t s);
