// Raw copies of bad fields for later analysis: one file per kind of fault,
// "Tolvaran_<kind>Error.dat" in the temporary folder, opened at its first use
// and kept open for the rest of the run. Nothing is written when the folder
// cannot be found or the file cannot be opened; acquisition goes on.
#pragma once

#include <cstddef>
#include <string>

enum class FieldDumpKind { FieldFraming, PUVersion, SerialNumber };

// The folder for temporary files: the environment's "temp", else the system
// drive (Windows). False when there is none.
bool GetTempFolder(std::string& out);

// Appends `bytes` bytes of `field` to the dump file of that kind (the file is
// created anew at its first use in a run).
void DumpErrorField(FieldDumpKind kind, const void* field, std::size_t bytes);

// Closes the dump files (a later dump starts them anew).
void CloseErrorDumps();
