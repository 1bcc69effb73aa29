// Opening, creating and removing files by a path that is either in the
// system's narrow encoding or, with the UTF-8 flag, UTF-8 (opened through its
// UTF-16 form on Windows; natively paths are bytes and the flag changes
// nothing). Streams are always binary.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace files {

// fopen with "rb" or "wb"; nullptr with errno set on failure.
std::FILE* OpenFile(const std::string& path, bool utf8, bool forWriting);

// Creates a new file for writing, failing with EEXIST when the name is taken.
std::FILE* CreateNewFile(const std::string& path, bool utf8);

bool RemoveFile(const std::string& path, bool utf8);

// Whether a file created under this name can replace another in one step
// (os::ReplaceFileAtomically). On Windows that takes narrow names, so a
// UTF-8 name with non-ASCII bytes cannot.
bool CanReplaceByName(const std::string& path, bool utf8);

// The size of an open file in bytes.
bool FileSize(std::FILE* file, std::uint64_t* size);

// Asks the system to put the stream's written bytes on the disk.
bool SyncFileToDisk(std::FILE* file);

// A number that tells this process from others running at the same time.
unsigned long CurrentProcessNumber();

}  // namespace files
