// The IGES writer: fixed 80-column records; points as entities 116 under one
// identity matrix (124), or one entity per triangle, copious data (106) or a
// bilinear NURBS patch (128).
#pragma once

#include <cstdint>
#include <string>

#include "app/export/export_common.h"

enum IgesMode : int { kIgesPoints = 0, kIgesCopious = 1, kIgesNurbs = 2 };

// The largest sequence number the records of a mode take (the directory
// and parameter sections number their lines), and the most their seven
// columns hold.
constexpr int64_t kIgesMostSequenceNumber = 9999999;
int64_t Iges_LargestSequenceNumber(int mode, int32_t pointCount, int32_t facetCount, bool normals);

// 0 success, 1 the file could not be created, 2 a write failed (every
// record is checked; the target is then left as it was), also for a model
// whose sequence numbers would not fit their columns.
int Iges_Write(int mode, const std::string& path, const std::string& creator, const std::string& comment,
               const char* endOfLine, const Matrix4* matrix, const ExportData& data);
