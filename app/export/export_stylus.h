// The stylus data files: CSV, or text with "%" comments. Only visible
// records are written; each record's pose is taken into the export frame
// (record's matrix, then the export matrix).
#pragma once

#include <cstdint>
#include <string>

#include "app/scan/geometry.h"
#include "app/scan/stylus_export.h"

enum StylusExportType : int32_t { kStylusPoints = 0, kStylusDirections = 1, kStylusEulers = 2, kStylusMatrix = 3 };

int StylusCsv_CountCommas(const char* text);
// The line index plus 1 in decimal, empty for -1; one static buffer that the
// next call overwrites.
const char* StylusCsv_LineIndexText(const StylusExportRecord& record);

// 0 success; 1 the file could not be created; 2 a write failed (the target
// is then left as it was). `errorText` gets the run-time library's text of
// the failure.
int StylusCsv_Write(const std::string& path, const std::string& creator, const std::string& comment,
                    const char* endOfLine, const Matrix4* matrix, int32_t type, const StylusExportRecord* records,
                    int32_t count, std::string* errorText = nullptr);
int StylusAscii_Write(const std::string& path, const std::string& creator, const std::string& comment,
                      const char* endOfLine, const Matrix4* matrix, int32_t type, const StylusExportRecord* records,
                      int32_t count, std::string* errorText = nullptr);
