// Temporary files of the library: unique files in the system's temporary
// folder, open for reading and writing in binary mode.
#ifndef SURFACE_IO_TEMP_FILE_H
#define SURFACE_IO_TEMP_FILE_H

#include <cstdio>

constexpr int kTempPathSize = 260;

// Creates a file named with the prefix ("qel" when null) in the temporary
// folder; its path goes to `path` (at least kTempPathSize characters). Null
// on failure.
std::FILE* TempFile_Open(const char* prefix, char* path);
// Closes the stream and deletes the file; nothing for a null stream.
void TempFile_CloseAndDelete(std::FILE* stream, const char* path);

#endif
