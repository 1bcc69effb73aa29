// What every data-file operation of the library shares: the shape of the
// public save and load entries, the mapping of container codes to API
// statuses, the save and load messages, the checks of items found in a file
// and the FILE functions of the library's own run-time.
#ifndef SURFACE_IO_DATA_FILE_H
#define SURFACE_IO_DATA_FILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>

#include "surface/frame/reporter.h"
#include "surface/io/container.h"

// Container code to API status: 0 and 2 stay, 3 becomes 1 (user abort), 4
// to 12 become 27 to 35, anything else 3.
int File_StatusFromContainer(int code);
// The level-1 message of a failed save or load; none for success (and, on
// loading, none for 36: the item check has spoken). A line of -1 selects the
// wording of the binary data section.
void File_SaveStatusMessage(Reporter* reporter, int status);
void File_LoadStatusMessage(Reporter* reporter, int32_t line, int status);

// Looks up the item of exactly `name` and checks its kind, its number of
// dimensions (negative: any) and each size (negative: any), reporting the
// first fault at level 1 with the file kind text ("point list", "grid" ...).
// 1 when the item is usable or optional and absent (*item null), else 0.
int File_CheckItem(Reporter* reporter, const ContainerIndex* index, const char* fileKind, ContainerItem** item,
                   const char* name, int32_t optional, int32_t kind, int32_t dimensionCount,
                   std::initializer_list<int32_t> sizes = {});
int File_CheckItemShape(Reporter* reporter, const char* fileKind, const ContainerItem* item, int32_t kind,
                        int32_t dimensionCount, std::initializer_list<int32_t> sizes = {});
// True when `name` ends with the suffix of `suffixLength` bytes; the length
// of the part before it goes to `prefixLength`.
bool File_HasSuffix(const char* name, const char* suffix, std::size_t suffixLength, std::size_t* prefixLength);
// Writes the index with the reporter's progress value and abort flag; the
// mapped status.
int File_WriteItems(ContainerStream* stream, const ContainerIndex* index, Reporter* reporter);

// FILEs of the library's own run-time, for callers built with another one.
std::FILE* File_Open(const char* path, const char* mode);
int File_Close(std::FILE* file);
std::FILE* File_StandardInput();
std::FILE* File_StandardOutput();
std::FILE* File_StandardError();

// True when the FILE is a terminal (binary saves switch to ASCII there).
bool File_IsTerminal(std::FILE* file);

// The reporter's progress value and abort flag (null without a reporter).
double* File_Progress(Reporter* reporter);
const int32_t* File_Abort(Reporter* reporter);

// Which of the reporter's progress and abort flag the reading steps get.
struct FileLoadSteps {
    bool indexAbort;
    bool dataProgress;
    bool dataAbort;
};

// The body of an object reader after its argument checks: reads the index,
// binds the items (bind(index) -> status), reads the data and finishes
// (done(index, line) -> status, reporting the success lines). Every failure
// reports the load message, calls fail() to free the object, and every path
// frees the index and ends the operation.
template <class Bind, class Done, class Fail>
int File_Load(ContainerStream* stream, int32_t* line, Reporter* reporter, FileLoadSteps steps, Bind bind, Done done,
              Fail fail) {
    int32_t where = 0;
    ContainerIndex index;
    int status = File_StatusFromContainer(
        Container_ReadIndex(&index, stream, &where, steps.indexAbort ? File_Abort(reporter) : nullptr));
    if (status == 0) {
        status = bind(&index);
        if (status == 0)
            status = File_StatusFromContainer(Container_ReadData(&index, &where,
                                                                 steps.dataProgress ? File_Progress(reporter) : nullptr,
                                                                 steps.dataAbort ? File_Abort(reporter) : nullptr));
        if (status == 0) status = done(&index, where);
    }
    if (line != nullptr) *line = where;
    if (status != 0) {
        File_LoadStatusMessage(reporter, where, status);
        fail();
    }
    Container_FreeItems(&index);
    Reporter_TimeTaken(reporter);
    return status;
}

// The body of an object writer after its check and info lines: builds the
// items (build(index) -> false when out of memory), writes them, reports
// the result and ends the operation.
template <class Build>
int File_Save(ContainerStream* stream, int32_t ascii, Reporter* reporter, Build build) {
    ContainerIndex index;
    Container_ResetIndex(&index);
    index.encoding = ascii ? ContainerEncoding_Ascii : ContainerEncoding_Binary;
    int status = build(&index) ? File_WriteItems(stream, &index, reporter) : 2;
    Container_FreeItems(&index);
    if (status == 0)
        Reporter_EndOperation(reporter);
    else
        File_SaveStatusMessage(reporter, status);
    Reporter_TimeTaken(reporter);
    return status;
}

// The public entries: announce the operation, refuse a null file (11), on
// saving switch a binary save to a terminal to ASCII with a warning, and run
// the object's writer or reader over a stream of the FILE.
template <class Write>
int File_SaveEntry(Reporter* reporter, int32_t operation, std::FILE* file, int32_t ascii, Write write) {
    Reporter_BeginOperation(reporter, operation);
    if (file == nullptr) {
        Reporter_Error(reporter, "File argument is NULL");
        Reporter_TimeTaken(reporter);
        return 11;
    }
    if (!ascii && File_IsTerminal(file)) {
        Reporter_Warning(reporter, "Binary data should not be written to a terminal, switching to ASCII");
        ascii = 1;
    }
    ContainerStream stream;
    ContainerStream_FromFile(&stream, file);
    return write(&stream, ascii);
}

template <class Read>
int File_LoadEntry(Reporter* reporter, int32_t operation, std::FILE* file, int32_t* line, Read read) {
    Reporter_BeginOperation(reporter, operation);
    if (line != nullptr) *line = 0;
    if (file == nullptr) {
        Reporter_Error(reporter, "File argument is NULL");
        Reporter_TimeTaken(reporter);
        return 11;
    }
    ContainerStream stream;
    ContainerStream_FromFile(&stream, file);
    return read(&stream);
}

// The "Encoding" info line.
void File_ReportEncoding(Reporter* reporter, int32_t ascii);

#endif
