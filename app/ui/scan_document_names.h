// The scan document's file names: which format a path names, the open
// dialog's search for the typed name, the messages of the older-file reader,
// the default export name and the older file's view record.
//
// Extensions are compared without regard to case everywhere, so that a scan
// saved as "Foot.TVN" opens again; the open and load tests look for the
// extension anywhere in the path, the save test only at its end.
#pragma once

#include "app/files/krv_file.h"
#include "app/scan/settings_records.h"

#include <functional>
#include <optional>
#include <string>

enum class ScanFileKind { Unknown, Tvn, Krv, Vid };

// The format a save writes: by the extension at the end of the path.
ScanFileKind ScanDoc_SaveKind(const std::string& path);
// The format a load reads: ".krv" anywhere in the path first, then ".tvn".
ScanFileKind ScanDoc_LoadKind(const std::string& path);

// The file the open dialog opens for a typed name: the name itself when it
// holds ".tvn" or ".krv", then the name with ".tvn", then with ".krv"
// appended; the first that exists. None when none exists.
std::optional<std::string> ScanDoc_FindOpenFile(const std::string& typed,
                                                const std::function<bool(const std::string&)>& exists);

// The message for a result of the older-file reader; empty for success and
// for codes it does not know.
std::string ScanDoc_KrvMessage(int32_t result, const std::string& path, const std::string& product,
                               const std::string& company);

// The file name without folder and extension of a path.
std::string ScanDoc_FileBaseName(const std::string& path);

// The older file's view record from the live settings.
void ScanDoc_FillKrvViewRecord(const ViewSettings& view, const GeneralSettings& settings, KrvViewRecord& record);
