// The few operating-system services that portable code needs. Portable code
// includes this header, never <windows.h>; os_seam_win32.cpp and
// os_seam_posix.cpp hold the two sides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace os {

// Reserved virtual memory: an address range reserved once, committed and
// decommitted by whole pages.
std::size_t PageSize();
void* ReserveMemory(std::size_t bytes);               // nullptr when refused
bool CommitMemory(void* address, std::size_t bytes);  // readable, writable, zeroed on first commit
bool DecommitMemory(void* address, std::size_t bytes);
void ReleaseMemory(void* address, std::size_t bytes);

// Cryptographically strong random bytes (CryptoAPI on Windows, the system
// random source natively). Returns false when the source fails.
bool RandomBytes(void* out, std::size_t count);

// Tests replace the random source to get repeatable output; an empty
// function restores the system's source.
using RandomSource = std::function<bool(void* out, std::size_t count)>;
void SetRandomSourceForTesting(RandomSource source);

// A steady clock in milliseconds, unaffected by changes of the wall clock.
std::uint64_t SteadyMilliseconds();

// Seconds since 1 January 1970 UTC, from the wall clock.
std::int64_t WallClockSeconds();

// The local calendar time now (the fields of std::tm: year since 1900,
// month 0-11, day of the week 0 Sunday). False when the clock cannot be
// turned into local time. Time texts written into files take their time from
// here, so that tests can fix it.
bool LocalTimeNow(std::tm& out);
// Tests fix the local time (a copy is kept); null restores the clock.
void SetLocalTimeForTesting(const std::tm* fixed);

// The folder of the running program (or of the module that holds this code
// on Windows), ending with a path separator.
std::string ModuleFolder();

// Replaces `target` with `source` in one step where the file system allows:
// either the target keeps its old content or it has the new one.
bool ReplaceFileAtomically(const std::string& source, const std::string& target);

// The folder separator of the platform's paths.
char PathSeparator();

// Creates a new, empty file in the system's temporary folder whose name
// begins with `prefix` and is unique there, and gives its full path. False
// when the folder is unknown or no such file could be made.
bool CreateUniqueTempFile(const std::string& prefix, std::string* path);

// Files and folders by path (in the system's own narrow encoding: on Windows
// the code page that the file dialogs give names in): whether
// the path names a folder, or a file that is not a folder; the names of the
// files (not the folders) in a folder, in no particular order, none when it
// cannot be read.
bool IsFolder(const std::string& path);
bool IsFile(const std::string& path);
std::vector<std::string> FilesInFolder(const std::string& folder);

// True when the open stream is a terminal (a console on Windows).
bool IsTerminal(std::FILE* file);

}  // namespace os
