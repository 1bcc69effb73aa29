// The plain-text writers: ASCII points, VTK legacy POLYDATA, Inventor V1.0
// and VRML V1.0. Each returns 0 on success, 1 when the file could not be
// created, 2 when a write failed (the target is then left as it was).
#pragma once

#include <cstdint>
#include <string>

#include "app/export/export_common.h"

int Ascii_Write(const std::string& path, const std::string& creator, const std::string& comment, const Matrix4* matrix,
                const Vec3* positions, int32_t pointCount, const char* endOfLine);
int Vtk_Write(const std::string& path, const std::string& creator, const char* endOfLine, const Matrix4* matrix,
              const Vec3* positions, int32_t pointCount, const int32_t* facets, int32_t facetCount);
int Inventor_Write(const std::string& path, const std::string& creator, const std::string& comment,
                   const char* endOfLine, const Matrix4* matrix, const Vec3* positions, int32_t pointCount,
                   const int32_t* facets, int32_t facetCount);
int Vrml_Write(const std::string& path, const std::string& creator, const std::string& comment, const char* endOfLine,
               const Matrix4* matrix, const Vec3* positions, int32_t pointCount, const int32_t* facets,
               int32_t facetCount);
