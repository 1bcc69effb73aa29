// The DXF writer: an ENTITIES section of POINTs, of 3DFACEs, or of one
// POLYLINE polyface mesh.
#pragma once

#include <cstdint>
#include <string>

#include "app/export/export_common.h"

enum DxfMode : int { kDxfPoints = 0, kDxfFaces = 1, kDxfPolyline = 2 };

// A polyface mesh above this many vertices is one that AutoCAD cannot read.
constexpr int32_t kDxfPolylineVertexLimit = 65536;

// 0 success, 1 the file could not be created, 2 a write failed (the target
// is then left as it was).
int Dxf_Write(int mode, const std::string& path, const char* endOfLine, const std::string& creator,
              const std::string& comment, const Matrix4* matrix, const Vec3* positions, int32_t pointCount,
              const int32_t* facets, int32_t facetCount);
