// The character scanner of the container reader: a state machine over a
// growable buffer that the stream fills 8192 bytes at a time, keeping only
// the unread tail. Private to the reader.
#ifndef SURFACE_IO_CONTAINER_SCANNER_H
#define SURFACE_IO_CONTAINER_SCANNER_H

#include <cstddef>
#include <cstdint>

#include "surface/io/container.h"

enum ScannerToken : int32_t {
    ScannerToken_NoMemory = 0,
    ScannerToken_ReadFailure = 1,
    ScannerToken_Unexpected = 2,
    ScannerToken_NotHeader = 3,
    ScannerToken_End = 4,
    ScannerToken_Binary = 5,
    ScannerToken_Ascii = 6,
    ScannerToken_Header = 7,
    ScannerToken_Name = 8,
    ScannerToken_Size = 9,
    ScannerToken_Boolean = 10,
    ScannerToken_Integer = 11,
    ScannerToken_Double = 12,
    ScannerToken_Character = 13,
    ScannerToken_True = 14,
    ScannerToken_False = 15,
    ScannerToken_IntegerValue = 16,
    ScannerToken_RealValue = 17,
    ScannerToken_CharacterValue = 18,
    ScannerToken_NumericEscape = 19,
};

enum ScannerState : int32_t {
    ScannerState_Start = 0,
    ScannerState_AfterHeader = 1,
    ScannerState_Comment = 2,
    ScannerState_Index = 3,
    ScannerState_AfterName = 4,
    ScannerState_Sizes = 5,
    ScannerState_Ascii = 6,
    ScannerState_Binary = 7,
    ScannerState_String = 8,
};

enum ScannerFailure : int32_t {
    ScannerFailure_NoMemory = 0,
    ScannerFailure_Read = 1,
};

struct ContainerScanner {
    ContainerStream stream;
    char* buffer;      // start of the allocation
    char* tokenStart;  // first byte of the token being scanned
    char* cursor;
    char* dataEnd;   // end of the bytes read so far
    char* allocEnd;  // end of the allocation (one byte kept for the sentinel)
    bool atEnd;      // the stream is exhausted: dataEnd holds the sentinel
    int32_t line;
    int32_t state;
    int32_t failure;
    int32_t value;        // the last character token's byte
    int64_t streamBytes;  // bytes taken from the stream so far
};

// A new scanner over a copy of the stream (line 1, state 0); null when out
// of memory. Free accepts null.
ContainerScanner* ContainerScanner_Init(const ContainerStream* stream);
void ContainerScanner_Free(ContainerScanner* scanner);
// The next token; its text is tokenStart up to cursor.
int32_t ContainerScanner_NextToken(ContainerScanner* scanner);
// Moves the unread tail to the front and reads more; false after a read
// failure or when the buffer cannot grow (failure says which).
bool ContainerScanner_Fill(ContainerScanner* scanner);
// Reads ahead until `bytes` bytes lie buffered beyond the cursor or the
// input ends; the buffer grows only with what the stream gives. False after
// a read failure or when the buffer cannot grow (failure says which).
bool ContainerScanner_BufferAhead(ContainerScanner* scanner, int64_t bytes);
// Raw bytes of binary data, from the buffer first, then the stream. Read
// returns true when all `count` bytes arrived; Skip goes forward without
// storing them.
bool ContainerScanner_ReadRaw(ContainerScanner* scanner, void* destination, int64_t count);
bool ContainerScanner_SkipRaw(ContainerScanner* scanner, int64_t count);
// The byte at the cursor (advancing), or -1 at the end of the input.
int32_t ContainerScanner_GetChar(ContainerScanner* scanner);
// Bytes the data section can still hold: those buffered beyond the cursor
// and, when the stream's length is known, those it has not yet given; -1
// when unknown.
int64_t ContainerScanner_BytesLeft(const ContainerScanner* scanner);

#endif
