// The voxel octree: a sparse store of fixed-size data units addressed by
// integer voxel coordinates (i, j, k), kept as a tree of small panels with
// pooled memory. The tree grows its root when a coordinate falls outside it
// (unless made non-expanding) and lowers it again when deletions leave a
// single child; deleted panels and units go to free lists and are reused.
//
// The follower keeps its lattice nodes here. Memory comes from the run-time
// allocator, not the tracked one.
#ifndef SURFACE_EVAL_OCTREE_H
#define SURFACE_EVAL_OCTREE_H

#include <cstdint>
#include <cstdio>

struct OctreePanel {
    OctreePanel* Parent;
    void* Data;          // the panel's own data unit, or null
    uint32_t LevelLeaf;  // level in the low 24 bits; bit n of the high byte: child n is a unit
    int32_t Number;      // place in the panel pool
    void* Child[8];
};

struct Octree {
    int32_t MaxLevel;  // the tree spans 2^MaxLevel voxels per axis
    OctreePanel* Root;
    int32_t Ioffset, Joffset, Koffset;  // added to every coordinate
    int32_t Min[3], Max[3];             // range of the coordinates added
    int32_t NonExpanding;
    int32_t PanelsCarryData;
    // Panel pool: blocks of 2^PanelArraySize panels.
    int32_t PanelArraySize, PanelArrayMask, PanelMemIncrement, NumPanelArrays, NumPanels, PanelArrayCapacity;
    OctreePanel** PanelArrays;
    int32_t NumDelPanels, DelPanelArraySize, DelPanelMemIncrement, MaxNumDelPanels;
    OctreePanel** DelPanels;
    // Data pool: blocks of 2^DataArraySize units of DataUnitSize bytes.
    int32_t DataArraySize, DataArrayMask, DataUnitSize, DataMemIncrement, NumDataArrays, NumVoxels, DataArrayCapacity;
    unsigned char** DataArrays;
    int32_t NumDelVoxels, DelDataArraySize, DelDataArrayIncrement, MaxNumDelVoxels;
    unsigned char** DelVoxels;
    int32_t NumWriteReads;  // successful finds
    int32_t Overwrite;      // adds that found the voxel present
};

constexpr int32_t kOctreeMagic = 171105;
constexpr int32_t kOctreeMaxLevel = 23;
constexpr int32_t kOctreeGrowthLimit = 22;

// Exponents out of range are replaced as documented; none for a MaxLevel of
// 0 or less (or above 23) or when memory runs out.
Octree* Octree_Create(int32_t maxLevel, int32_t panelIncrement, int32_t dataIncrement, int32_t panelBlock,
                      int32_t dataBlock, int32_t dataUnitSize, int32_t freeListSize);
void Octree_Free(Octree* tree);
void* Octree_FindVoxel(int32_t i, int32_t j, int32_t k, Octree* tree);
void* Octree_AddVoxel(int32_t i, int32_t j, int32_t k, Octree* tree);
// 2 present, 1 added, 0 failed; the unit through *unit.
int Octree_AddVoxelStatus(int32_t i, int32_t j, int32_t k, Octree* tree, void** unit);
// The unit removed (zeroed, on the free list), or none.
void* Octree_DeleteVoxel(int32_t i, int32_t j, int32_t k, Octree* tree);
OctreePanel* Octree_create_child_panel(Octree* tree, OctreePanel* panel, int32_t child);

// Copies DataUnitSize bytes out of a voxel (zeros when it is missing), or
// into one (added when missing). 1, or 0 on failure.
int Octree_CopyOut(int32_t i, int32_t j, int32_t k, Octree* tree, void* out);
int Octree_CopyIn(int32_t i, int32_t j, int32_t k, Octree* tree, const void* in);
// The same by unit number (place in the data pool).
int Octree_CopyOutUnit(int32_t number, const Octree* tree, void* out);
int Octree_CopyInUnit(int32_t number, Octree* tree, const void* in);
// The 27 units around (i, j, k), offsets -1..1 with i fastest; null where absent.
void Octree_Neighbourhood(int32_t i, int32_t j, int32_t k, Octree* tree, void** units);
void Octree_SetNonExpanding(Octree* tree);
void Octree_SetPanelsCarryData(Octree* tree, int32_t on);

// Binary file (32-bit little-endian ints): 1 written, 0 on a write error.
int Octree_Save(std::FILE* file, const Octree* tree);
// None for a short read, a wrong magic, numbers outside the pools or links
// that do not make a tree (a panel below itself, a level skipped, a reachable
// panel on the free list).
Octree* Octree_Load(std::FILE* file);
// Copies the header record.
void Octree_Copy(Octree* destination, const Octree* source);

// The text dump: mode 1 every voxel of the cube, mode 2 those in `ranges`
// (i, j, k minimum and maximum pairs). Waits for a line on standard input
// between pages.
using OctreePrinter = int (*)(void* user, const char* format, ...);
using OctreeUnitPrinter = void (*)(void* user, OctreePrinter printer, const void* unit);
void Octree_write_octree(void* user, OctreePrinter printer, Octree* tree, OctreeUnitPrinter unitPrinter, int32_t mode,
                         const void* nullValue, const int32_t* ranges);

#endif
