// STL (text, binary, binary big-endian) and PLY (text, binary
// little-endian) files of the export data.
#pragma once

#include <cstdint>
#include <string>

#include "app/export/export_common.h"
#include "app/scan/settings_records.h"

struct StlFacet {
    Vec3 normal;
    Vec3 vertex[3];
    uint16_t attribute;
};

// The binary file's image before it is written.
struct StlModel {
    char header[80];
    uint32_t facetCount;
    StlFacet* facets;  // owned
};

// Writes the STL of the options block (text, binary, or binary swapped when
// ExportStlBinaryByteSwapped is exactly 1); on failure the message holds the
// localised "ErrorFileWriteGeneric". A model that cannot be allocated fails
// the same way and writes no file.
void Export_Stl(const Vec3* positions, const Matrix4* matrix, const ExportFormatOptions& options,
                const std::string& path, const char* endOfLine, const int32_t* facets, int32_t facetCount,
                const std::string& creator, std::string& message);

bool Stl_BuildModel(int32_t facetCount, StlModel& model, const std::string& creator, const Matrix4* matrix,
                    const Vec3* positions, const int32_t* facets);
void Stl_ComputeFacet(StlFacet& facet, const Vec3* positions, const int32_t* indices, const Matrix4* matrix);
bool Stl_WriteAscii(const std::string& path, const StlModel& model, const char* endOfLine);
bool Stl_WriteBinary(const std::string& path, const StlModel& model, bool swap);
void Stl_FreeModel(StlModel& model);

// 0 success, 1 the file could not be created, 2 a write failed (the target
// is then left as it was).
int Ply_Write(bool text, const std::string& path, const std::string& creator, const std::string& comment,
              const char* endOfLine, const Matrix4* matrix, const ExportData& data);
