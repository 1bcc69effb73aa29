// The keyed container of the library's data files, version 1.0: a text
// header ("%TAVIR-1.0"), an optional comment, an index that names and shapes
// every item, and a data section in readable text ("[ascii]") or raw bytes
// ("[binary]", after a byte-order marker and a test value).
//
// Writing and reading move the numbers straight between the stream and the
// arrays that the items point at: nothing is copied. Every operation returns
// a container code (ContainerCode); nothing is printed here.
#ifndef SURFACE_IO_CONTAINER_H
#define SURFACE_IO_CONTAINER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

enum ContainerKind : int32_t {
    ContainerKind_None = -1,  // a read item before its kind word
    ContainerKind_Boolean = 0,
    ContainerKind_Integer = 1,
    ContainerKind_Double = 2,
    ContainerKind_Character = 3,
};

enum ContainerEncoding : int32_t {
    ContainerEncoding_Reset = -1,
    ContainerEncoding_Ascii = 0,
    ContainerEncoding_Binary = 1,
};

enum ContainerCode : int32_t {
    ContainerCode_Success = 0,
    ContainerCode_InvalidIndex = 1,
    ContainerCode_NoMemory = 2,
    ContainerCode_Cancelled = 3,
    ContainerCode_ReadFailure = 4,
    ContainerCode_WriteFailure = 5,
    ContainerCode_NoHeader = 6,
    ContainerCode_BadVersion = 7,
    ContainerCode_Syntax = 8,
    ContainerCode_UnexpectedEnd = 9,
    ContainerCode_ExcessData = 10,
    ContainerCode_CorruptBinary = 11,
    ContainerCode_WrongKind = 12,
};

// One named array. The first dimension varies fastest in the data; no
// dimensions means a single value. An item without data is skipped by the
// reader. Name and dimensions belong to the index that holds the item.
struct ContainerItem {
    char* name;
    int32_t dimensionCount;
    int32_t* dimensions;
    int32_t kind;
    void* data;
};

struct ContainerScanner;

// A container in memory. A reset index has every field zero or null and
// encoding -1. Between a successful Container_ReadIndex and
// Container_FreeIndex it holds the reading state.
struct ContainerIndex {
    int32_t major;
    int32_t minor;
    const char* comment;  // the writer's text (not owned); a read index has none
    int32_t encoding;
    int32_t itemCount;
    ContainerItem* items;
    ContainerScanner* scanner;
    int32_t itemCapacity;
};

// The stream both directions run over, with the shapes of fwrite, fread,
// fprintf, fputc, fputs, ferror and fseek. A file stream never closes a FILE
// it did not open. `length` is the number of bytes the stream holds from its
// current position when that is known (a regular file), else -1: the reader
// then refuses an index whose items need more bytes than remain, before the
// caller allocates anything for them.
struct ContainerStream {
    int32_t ownsFile;
    std::size_t (*write)(const void* buffer, std::size_t size, std::size_t count, void* user);
    std::size_t (*read)(void* buffer, std::size_t size, std::size_t count, void* user);
    int (*print)(void* user, const char* format, ...);
    int (*putCharacter)(int character, void* user);
    int (*putText)(const char* text, void* user);
    int (*error)(void* user);
    int (*seek)(void* user, long offset, int origin);
    void* user;
    int64_t length;
};

// Streams. FromFile wraps an open FILE without owning it; FromCallbacks
// wraps the caller's functions (length unknown); Open opens a file that the
// stream owns and Close closes it (0 when the file does not open).
void ContainerStream_FromFile(ContainerStream* stream, std::FILE* file);
void ContainerStream_FromCallbacks(ContainerStream* stream, void* user,
                                   std::size_t (*write)(const void*, std::size_t, std::size_t, void*),
                                   std::size_t (*read)(void*, std::size_t, std::size_t, void*),
                                   int (*print)(void*, const char*, ...), int (*putCharacter)(int, void*),
                                   int (*putText)(const char*, void*), int (*error)(void*),
                                   int (*seek)(void*, long, int));
int ContainerStream_Open(ContainerStream* stream, const char* path, const char* mode);
void ContainerStream_Close(ContainerStream* stream);

// Writes the index and its data. `progress` (may be null) receives the
// fraction done and ends at exactly 1.0; `cancel` (may be null) is polled.
// Codes 0, 1 (the index is unfit: nothing written), 3 or 5.
int Container_Write(ContainerStream* stream, const ContainerIndex* index, double* progress, const int32_t* cancel);
int Container_WriteFile(std::FILE* file, const ContainerIndex* index, double* progress, const int32_t* cancel);

// Resets the index, reads the header and the index and keeps the reading
// state for Container_ReadData. `line` receives the line of the last token.
// Dimensions and item byte sizes beyond the int range are syntax errors (8);
// items needing more bytes than the stream holds give 9. Codes 0, 2, 3, 4, 6,
// 7, 8 or 9; after a failure nothing is left to free.
int Container_ReadIndex(ContainerIndex* index, ContainerStream* stream, int32_t* line, const int32_t* cancel);
int Container_ReadIndexFile(ContainerIndex* index, std::FILE* file, int32_t* line, const int32_t* cancel);
// Reads the data into the items that have storage (each pointing at room
// for all its elements) and skips the others. `line` receives the line
// reached, or -1 in binary data. Codes 0, 2, 3, 4, 8, 9, 11 or 12.
int Container_ReadData(ContainerIndex* index, int32_t* line, double* progress, const int32_t* cancel);
// Releases the reading state; FreeItems frees names, dimensions and the item
// array and resets the index. Both accept null.
void Container_FreeIndex(ContainerIndex* index);
void Container_FreeItems(ContainerIndex* index);
void Container_ResetIndex(ContainerIndex* index);

// The first item of exactly that name, or null.
ContainerItem* Container_FindItem(const ContainerIndex* index, const char* name);
// Room for `count` more items without further growth; 0 when out of memory.
int ContainerIndex_Reserve(ContainerIndex* index, int32_t count);
// Appends an item named by `length` bytes of `text`, without dimensions,
// kind -1 and without data; 0 when out of memory.
int ContainerIndex_AddItem(ContainerIndex* index, const char* text, std::size_t length);
// Appends the decimal value of the digits of `text` (`length` bytes) as a
// dimension of the last item. 0 when out of memory, -1 when the value does
// not fit an int.
int ContainerIndex_AddDim(ContainerIndex* index, const char* text, std::size_t length);
// Appends a complete item (the name and dimensions are copied); the new item
// or null when out of memory.
ContainerItem* ContainerIndex_AddShaped(ContainerIndex* index, const char* name, int32_t kind, int32_t dimensionCount,
                                        const int32_t* dimensions, void* data);

// Fill an item of the index with a copy of the name and dimensions, the kind
// and the data; 0 when out of memory (the item is then unchanged).
int ContainerItem_SetBoolean(ContainerItem* item, const char* name, int32_t dimensionCount, const int32_t* dimensions,
                             void* data);
int ContainerItem_SetInteger(ContainerItem* item, const char* name, int32_t dimensionCount, const int32_t* dimensions,
                             void* data);
int ContainerItem_SetDouble(ContainerItem* item, const char* name, int32_t dimensionCount, const int32_t* dimensions,
                            void* data);
int ContainerItem_SetCharacter(ContainerItem* item, const char* name, int32_t dimensionCount, const int32_t* dimensions,
                               void* data);

// True when the item is null or has this shape; a negative dimension count,
// size or kind matches anything.
bool ContainerItem_CheckShape(const ContainerItem* item, int32_t dimensionCount, const int32_t* dimensions,
                              int32_t kind);
// Elements (the product of the dimensions, 1 for a single value) and bytes
// in binary, both in 64 bits and saturating.
int64_t ContainerItem_Elements(const ContainerItem* item);
int64_t ContainerItem_Bytes(const ContainerItem* item);
// Binary width (1, 4, 8, 1), ASCII estimate (6, 8, 23, 1) and the one of an
// encoding; 0 for an unknown kind or encoding.
int32_t ContainerKind_BinarySize(int32_t kind);
int32_t ContainerKind_AsciiSize(int32_t kind);
int32_t ContainerKind_Size(int32_t encoding, int32_t kind);
const char* ContainerKind_Name(int32_t kind);

// Estimated sizes for progress: the index part, the data part and their sum
// (-1 for a null index; capped at the int range).
int64_t Container_IndexBytes(const ContainerIndex* index);
int64_t Container_DataBytes(const ContainerIndex* index);
int32_t Container_Bytes(const ContainerIndex* index);

#endif
