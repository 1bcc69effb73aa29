// Raw copies of bad fields for later analysis: one file per kind of fault,
// "Tolvaran_<kind>Error.dat" in the temporary folder, created at its first
// use in a run and added to for the rest of it, across restarts of the
// acquisition thread. Nothing is written when the folder cannot be found or the
// file cannot be opened; acquisition goes on.
//
// The acquisition thread must never wait for a disk: DumpErrorField only
// copies the field into a bounded queue, and a writer thread of normal
// priority writes the queue to the files. When the queue is full the field is
// dropped and counted. Closing the dumps writes what is still queued and
// closes the files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class FieldDumpKind { FieldFraming, PUVersion, SerialNumber };

// Fields the queue holds at once, and the bytes kept of each (a field).
constexpr int kErrorDumpQueueLength = 16;

// The folder for temporary files: the environment's "temp", else the system
// drive (Windows). False when there is none.
bool GetTempFolder(std::string& out);

// Starts the writer thread if it is not running. The acquisition thread
// starts it before its loop.
void StartErrorDumpWriter();

// Queues `bytes` bytes of `field` (at most a field's length) for the dump
// file of that kind; never waits and never touches a file. One thread at a
// time queues (the acquisition thread).
void DumpErrorField(FieldDumpKind kind, const void* field, std::size_t bytes);

// Fields dropped because the queue was full since the dumps were last closed.
std::int32_t ErrorDumpsDropped();

// Stops the writer, writes what is still queued, and closes the dump files (a
// later dump of the run adds to them). The acquisition thread calls it when its
// loop ends; never call it from the writer.
void CloseErrorDumps();
