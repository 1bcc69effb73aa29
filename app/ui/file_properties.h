// The text of the file properties dialog: where the open scan came from, the
// hardware it was captured with, its history, its profiles and reference
// mode, the calibration-correction history and a count of the receiver status
// codes; one line per item, each ended by "\r\n".
#pragma once

#include "app/files/container_metadata.h"
#include "app/scan/raw_data.h"

#include <functional>
#include <string>

// Formats a metadata time (seconds since 1970 UTC) as local time.
using PropertiesTimeFormat = std::function<std::string(double seconds)>;

// The text for a snapshot of the scan record, the document path (empty for an
// unnamed scan) and the document metadata (none for a scan without history).
// Without a time format the local time is written as "YYYY-MM-DD hh:mm:ss".
std::string FileProperties_Text(const RawData& raw, const std::string& path, const ItemMetadata* metadata,
                                const PropertiesTimeFormat& formatTime = nullptr);
