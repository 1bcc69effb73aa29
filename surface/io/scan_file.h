// Scan files: the point-list items of a 3D list, then "Origin" (3 by S) and
// "Size" (S), S being the number of scanner positions. Statuses are the API
// statuses.
#ifndef SURFACE_IO_SCAN_FILE_H
#define SURFACE_IO_SCAN_FILE_H

#include <cstdint>
#include <cstdio>

#include "surface/io/container.h"
#include "surface/io/scan3.h"

struct Reporter;

int Selvane_SaveScan3(const Scan3* scan, std::FILE* file, int32_t ascii, Reporter* reporter);
int Selvane_LoadScan3(Scan3* scan, std::FILE* file, int32_t* line, Reporter* reporter);

// Writer and reader over a stream; both end the running operation.
int Scan3_Write(const Scan3* scan, ContainerStream* stream, int32_t ascii, Reporter* reporter);
int Scan3_Read(Scan3* scan, ContainerStream* stream, int32_t* line, Reporter* reporter);
int Scan3_BuildItems(const Scan3* scan, ContainerIndex* index);
// Checks "Origin" and "Size" of a read index (reporting through `reporter`,
// which may be null to check silently; 36 on a failed check), allocates the
// origins and points the two items at them. The point list is bound apart.
int Scan3_BindOrigins(Scan3* scan, ContainerIndex* index, const char* fileKind, Reporter* reporter);
// The info lines of a scan ("Points", "Point List Fields", "Attributes",
// "Scans", "Scan Fields").
void Scan3_ReportInfo(const Scan3* scan, Reporter* reporter);
int32_t Scan3_FileBytes(const Scan3* scan, int32_t ascii);

#endif
