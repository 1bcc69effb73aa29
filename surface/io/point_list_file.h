// Point-list files, 2D and 3D: "Location" (D by N), the optional per-point
// arrays "Value", "Accuracy", "Lower", "Upper" (N) and "Gradient" (D by N),
// then per alternate set its arrays under the set's name and a suffix
// ("hi_Value", "hi_Gradient" ...). Statuses are the API statuses.
#ifndef SURFACE_IO_POINT_LIST_FILE_H
#define SURFACE_IO_POINT_LIST_FILE_H

#include <cstdint>
#include <cstdio>

#include "surface/frame/point_list.h"
#include "surface/io/container.h"

struct Reporter;

// Public entries: a FILE opened by the caller (binary mode), the reporter
// last. The load entries give the line where reading stopped (-1 in binary
// data).
int Selvane_SavePointList2(const PointList2* list, std::FILE* file, int32_t ascii, Reporter* reporter);
int Selvane_LoadPointList2(PointList2* list, std::FILE* file, int32_t* line, Reporter* reporter);
int Selvane_SavePointList3(const PointList3* list, std::FILE* file, int32_t ascii, Reporter* reporter);
int Selvane_LoadPointList3(PointList3* list, std::FILE* file, int32_t* line, Reporter* reporter);

// Writer and reader over a stream; both end the running operation.
int PointList2_Write(const PointList2* list, ContainerStream* stream, int32_t ascii, Reporter* reporter);
int PointList2_Read(PointList2* list, ContainerStream* stream, int32_t* line, Reporter* reporter);
int PointList3_Write(const PointList3* list, ContainerStream* stream, int32_t ascii, Reporter* reporter);
int PointList3_Read(PointList3* list, ContainerStream* stream, int32_t* line, Reporter* reporter);

// Appends the list's items to the index (whose encoding the caller sets),
// with room for `extraItems` more; 0 when out of memory.
int PointList2_BuildItems(const PointList2* list, int32_t extraItems, ContainerIndex* index);
int PointList3_BuildItems(const PointList3* list, int32_t extraItems, ContainerIndex* index);
// Checks the point-list items of a read index, creates the list at their
// size and points the items at its arrays (with `withAltSets`, the
// alternate sets' items too; other items keep no storage). A failed check
// gives 36 after its message; otherwise the list's own statuses.
int PointList2_BindItems(PointList2* list, int32_t withAltSets, ContainerIndex* index, const char* fileKind,
                         Reporter* reporter);
int PointList3_BindItems(PointList3* list, int32_t withAltSets, ContainerIndex* index, const char* fileKind,
                         Reporter* reporter);
// The info lines "Points", "Point List Fields" and "Attributes" (the
// alternate set names, joined into lines of at most 50 characters).
void PointList2_ReportInfo(const PointList2* list, Reporter* reporter);
void PointList3_ReportInfo(const PointList3* list, Reporter* reporter);
void PointList2_ReportAttributes(const PointList2* list, Reporter* reporter);
void PointList3_ReportAttributes(const PointList3* list, Reporter* reporter);
// The size of the file that a save would write; -1 when out of memory.
int32_t PointList2_FileBytes(const PointList2* list, int32_t ascii);
int32_t PointList3_FileBytes(const PointList3* list, int32_t ascii);

#endif
