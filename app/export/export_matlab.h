// The Matlab writer: a level 4 MAT file (little-endian) of the matrices
// "Info", "Points" and, when given, "Facets", "Normals" and "Albedos".
#pragma once

#include <cstdint>
#include <string>

#include "app/export/export_common.h"

class ExportSink;

enum MatlabType : int32_t { kMatlabText = 51, kMatlabFloat = 10, kMatlabInt = 20 };

bool Matlab_WriteMatrixHeader(ExportSink& file, const char* name, int32_t type, int32_t rows, int32_t columns);

// 0 success, 1 the file could not be created, 2 a write failed (the target
// is then left as it was).
int Matlab_Write(const std::string& path, const std::string& comment, const std::string& creator, const Matrix4* matrix,
                 const ExportData& data);
