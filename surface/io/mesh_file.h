// Mesh files: the point-list items of a 3D list, then "Tri" (3 by T) when
// the mesh has triangles and "Quad" (4 by Q) when it has quads. Statuses
// are the API statuses.
#ifndef SURFACE_IO_MESH_FILE_H
#define SURFACE_IO_MESH_FILE_H

#include <cstdint>
#include <cstdio>

#include "surface/frame/mesh3.h"
#include "surface/io/container.h"

struct Reporter;

int Selvane_SaveMesh3(const Mesh3* mesh, std::FILE* file, int32_t ascii, Reporter* reporter);
int Selvane_LoadMesh3(Mesh3* mesh, std::FILE* file, int32_t* line, Reporter* reporter);

// Writer and reader over a stream; both end the running operation. A mesh
// read whole is checked like any mesh given to the library: one whose faces
// name points it does not have is refused with the check's message and 36.
int Mesh3_Write(const Mesh3* mesh, ContainerStream* stream, int32_t ascii, Reporter* reporter);
int Mesh3_Read(Mesh3* mesh, ContainerStream* stream, int32_t* line, Reporter* reporter);
int Mesh3_BuildItems(const Mesh3* mesh, ContainerIndex* index);
// Checks "Tri" and "Quad" of a read index (`reporter` may be null to check
// silently; 36 when both are missing or one is misshapen), creates the face
// list and points the items at it.
int Mesh3_BindFaces(FaceList* faces, ContainerIndex* index, const char* fileKind, Reporter* reporter);
// The info lines of a mesh: those of its point list, "Triangles" and
// "Quadrilaterals" (when there are any).
void Mesh3_ReportInfo(const Mesh3* mesh, Reporter* reporter);
int32_t Mesh3_FileBytes(const Mesh3* mesh, int32_t ascii);

#endif
