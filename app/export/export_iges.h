// The IGES writer: fixed 80-column records; points as entities 116 under one
// identity matrix (124), or one entity per triangle, copious data (106) or a
// bilinear NURBS patch (128).
#pragma once

#include <cstdint>
#include <string>

#include "app/export/export_common.h"

enum IgesMode : int { kIgesPoints = 0, kIgesCopious = 1, kIgesNurbs = 2 };

// 0 success, 1 the file could not be created, 2 a write failed (every
// record is checked; the target is then left as it was).
int Iges_Write(int mode, const std::string& path, const std::string& creator, const std::string& comment,
               const char* endOfLine, const Matrix4* matrix, const ExportData& data);
