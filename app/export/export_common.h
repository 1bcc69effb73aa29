// What every export writer shares: the data handed to a writer, the time
// text of the file headers, the line ends and the small matrix helpers.
#pragma once

#include <cstdint>
#include <string>

#include "app/scan/geometry.h"

// What the driver hands a writer; every pointer may be null.
struct ExportData {
    int32_t pointCount = 0;
    const Vec3* positions = nullptr;
    const Vec3* normals = nullptr;
    const float* albedos = nullptr;  // [0, 1)
    int32_t facetCount = 0;
    const int32_t* facets = nullptr;  // three point indices a facet
    // Sweeps kept apart: the running total of facets at the end of each sweep.
    int32_t sweepCount = 0;
    const int32_t* sweepFacetTotals = nullptr;
    // A surface's quads, for the one writer that keeps them as quads.
    int32_t quadCount = 0;
    const int32_t* quads = nullptr;  // four point indices a quad
};

// Writer results shared by the writers.
enum ExportWriteResult : int {
    kExportWriteOk = 0,
    kExportWriteOpenFailed = 1,
    kExportWriteFailed = 2,
    kExportWritePointsLimit = 3,
    kExportWriteFacesLimit = 4,
};

// The local time in the standard asctime form without its newline
// ("Wed Jun 30 21:49:08 1993", 24 characters).
std::string Export_TimeText();

// "\r\n", "\n" or "\r" for EndOfLine 0, 1, 2; any other value is CRLF.
const char* Export_EndOfLine(int32_t endOfLine);
// "CRLF", "LF", "CR" (other values "CRLF").
const char* Export_EndOfLineName(int32_t endOfLine);

// "%s V%s": the product's display name and the export's version text.
std::string Export_CreatorText(const std::string& productName);

// The point after the matrix, or the point itself without one.
inline Vec3 Export_Transform(const Matrix4* matrix, const Vec3& p) {
    if (!matrix) return p;
    Vec3 out;
    M4_TransformPoint(*matrix, p, out);
    return out;
}

// The matrix with its translation row cleared (turns normals and
// directions, never moves them).
Matrix4 Export_RotationPart(const Matrix4& m);

// The file name of a path (after the last '/' or '\\').
std::string Export_FileNamePart(const std::string& path);
// The path with its file name replaced by `name` (drive and folder kept).
std::string Export_SiblingPath(const std::string& path, const std::string& name);
