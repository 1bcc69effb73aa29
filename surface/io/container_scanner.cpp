#include "surface/io/container_scanner.h"

#include <cstring>

#include "surface/frame/record_memory.h"

namespace {

constexpr std::size_t kFillBytes = 8192;

bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsLetter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsWord(int c) { return IsLetter(c) || IsDigit(c); }

// Makes at least `count` bytes visible from the cursor unless the input
// ends first; false after a read failure or a failed growth.
bool Ensure(ContainerScanner* s, std::ptrdiff_t count) {
    while (!s->atEnd && s->dataEnd - s->cursor < count)
        if (!ContainerScanner_Fill(s)) return false;
    return true;
}

// The byte `offset` places past the cursor, -1 beyond the input. Callers
// make the bytes visible first.
int Peek(const ContainerScanner* s, std::ptrdiff_t offset) {
    return s->cursor + offset < s->dataEnd ? static_cast<unsigned char>(s->cursor[offset]) : -1;
}

bool Matches(const ContainerScanner* s, const char* word) {
    for (std::ptrdiff_t i = 0; word[i] != '\0'; ++i)
        if (Peek(s, i) != static_cast<unsigned char>(word[i])) return false;
    return true;
}

int32_t Failed(const ContainerScanner* s) {
    return s->failure == ScannerFailure_NoMemory ? ScannerToken_NoMemory : ScannerToken_ReadFailure;
}

// Skips blanks and line feeds, counting lines; false after a failure.
bool SkipSpace(ContainerScanner* s) {
    for (;;) {
        if (!Ensure(s, 1)) return false;
        const int c = Peek(s, 0);
        if (c == '\n')
            ++s->line;
        else if (!IsBlank(c))
            return true;
        ++s->cursor;
        s->tokenStart = s->cursor;
    }
}

// Advances over a run of decimal digits; the count of digits, or -1 after a
// failure.
int64_t SkipDigits(ContainerScanner* s) {
    int64_t count = 0;
    for (;;) {
        if (!Ensure(s, 1)) return -1;
        if (!IsDigit(Peek(s, 0))) return count;
        ++s->cursor;
        ++count;
    }
}

int32_t Header(ContainerScanner* s) {
    if (!Ensure(s, 8)) return Failed(s);
    if (!Matches(s, "%TAVIR-")) return ScannerToken_NotHeader;
    s->cursor += 7;
    for (int part = 0; part < 2; ++part) {
        if (part == 1) {
            if (!Ensure(s, 1)) return Failed(s);
            if (Peek(s, 0) != '.') return ScannerToken_NotHeader;
            ++s->cursor;
        }
        const int64_t digits = SkipDigits(s);
        if (digits < 0) return Failed(s);
        if (digits == 0) return ScannerToken_NotHeader;
    }
    s->state = ScannerState_AfterHeader;
    return ScannerToken_Header;
}

// A number of the ASCII data: an integer, or a real with a fraction and/or
// an exponent.
int32_t Number(ContainerScanner* s) {
    if (Peek(s, 0) == '+' || Peek(s, 0) == '-') {
        ++s->cursor;
        if (!Ensure(s, 1)) return Failed(s);
        if (!IsDigit(Peek(s, 0))) return ScannerToken_Unexpected;
    }
    if (SkipDigits(s) < 0) return Failed(s);
    bool real = false;
    if (!Ensure(s, 2)) return Failed(s);
    if (Peek(s, 0) == '.' && IsDigit(Peek(s, 1))) {
        ++s->cursor;
        if (SkipDigits(s) < 0) return Failed(s);
        real = true;
    }
    if (!Ensure(s, 3)) return Failed(s);
    if (Peek(s, 0) == 'e' || Peek(s, 0) == 'E') {
        const int sign = Peek(s, 1) == '+' || Peek(s, 1) == '-' ? 1 : 0;
        if (IsDigit(Peek(s, 1 + sign))) {
            s->cursor += 1 + sign;
            if (SkipDigits(s) < 0) return Failed(s);
            real = true;
        }
    }
    return real ? ScannerToken_RealValue : ScannerToken_IntegerValue;
}

// TRUE or FALSE as whole words; any other word is unexpected.
int32_t Word(ContainerScanner* s) {
    if (!Ensure(s, 6)) return Failed(s);
    const int32_t token = Matches(s, "TRUE") ? ScannerToken_True : Matches(s, "FALSE") ? ScannerToken_False : -1;
    const std::ptrdiff_t length = token == ScannerToken_True ? 4 : 5;
    if (token < 0 || IsWord(Peek(s, length))) return ScannerToken_Unexpected;
    s->cursor += length;
    return token;
}

// One character of a quoted string (its byte in `value`), a numeric escape
// (its value, saturated, in `value`), or -1 when the string closed.
int32_t StringCharacter(ContainerScanner* s) {
    if (!Ensure(s, 3)) return Failed(s);
    const int c = Peek(s, 0);
    if (c < 0) return ScannerToken_End;
    ++s->cursor;
    if (c == '"') {
        s->state = ScannerState_Ascii;
        return -1;
    }
    if (c != '\\') {
        if (c == '\n') ++s->line;
        s->value = c;
        return ScannerToken_CharacterValue;
    }
    const int d = Peek(s, 0);
    if (d < 0) return ScannerToken_End;
    static const char kLetters[] = "\"\\fnrtv";
    static const int kBytes[] = {34, 92, 12, 10, 13, 9, 11};
    if (const char* letter = d != 0 ? std::strchr(kLetters, d) : nullptr) {
        ++s->cursor;
        s->value = kBytes[letter - kLetters];
        return ScannerToken_CharacterValue;
    }
    if (IsDigit(d)) {
        const std::ptrdiff_t offset = s->cursor - s->tokenStart;
        const int64_t count = SkipDigits(s);
        if (count < 0) return Failed(s);
        if (!Ensure(s, 1)) return Failed(s);
        if (Peek(s, 0) == '.') {
            // Saturates: any code above 255 is refused by the reader.
            int64_t code = 0;
            for (const char* p = s->tokenStart + offset; p < s->cursor; ++p)
                code = code > 1000 ? code : code * 10 + (*p - '0');
            ++s->cursor;
            s->value = static_cast<int32_t>(code);
            return ScannerToken_NumericEscape;
        }
        // Not closed by a point: a zero is the byte 0, another digit stands
        // for itself, and the digits after it are read again as characters.
        s->cursor = s->tokenStart + offset + 1;
        s->value = d == '0' ? 0 : d;
        return ScannerToken_CharacterValue;
    }
    ++s->cursor;
    s->value = d;
    return ScannerToken_CharacterValue;
}

}  // namespace

ContainerScanner* ContainerScanner_Init(const ContainerStream* stream) {
    auto* s = static_cast<ContainerScanner*>(Record_Alloc(1, sizeof(ContainerScanner)));
    if (s == nullptr) return nullptr;
    std::memset(s, 0, sizeof *s);
    s->stream = *stream;
    s->line = 1;
    s->state = ScannerState_Start;
    return s;
}

void ContainerScanner_Free(ContainerScanner* scanner) {
    if (scanner == nullptr) return;
    Record_Free(scanner->buffer);
    Record_Free(scanner);
}

namespace {

// Moves the unread tail (from the token being scanned) to the front and
// makes room for `want` more bytes and the sentinel.
bool MakeRoom(ContainerScanner* s, int64_t want) {
    if (s->buffer != nullptr) {
        const std::ptrdiff_t shift = s->tokenStart - s->buffer;
        if (shift > 0) {
            std::memmove(s->buffer, s->tokenStart, static_cast<std::size_t>(s->dataEnd - s->tokenStart));
            s->tokenStart -= shift;
            s->cursor -= shift;
            s->dataEnd -= shift;
        }
    }
    const std::ptrdiff_t tail = s->dataEnd - s->buffer;
    if (s->buffer != nullptr && s->allocEnd - s->dataEnd >= want + 1) return true;
    auto* grown = static_cast<char*>(Record_Realloc(s->buffer, static_cast<int64_t>(tail) + want + 1, sizeof(char)));
    if (grown == nullptr) {
        s->failure = ScannerFailure_NoMemory;
        return false;
    }
    s->tokenStart = grown + (s->tokenStart - s->buffer);
    s->cursor = grown + (s->cursor - s->buffer);
    s->buffer = grown;
    s->dataEnd = grown + tail;
    s->allocEnd = s->dataEnd + want + 1;
    return true;
}

// Reads up to `want` bytes after the buffered ones; a short read is the end
// of the input, or a read failure when the stream reports one.
bool ReadMore(ContainerScanner* s, std::size_t want) {
    const std::size_t got = s->stream.read(s->dataEnd, 1, want, s->stream.user);
    s->dataEnd += got;
    s->streamBytes += static_cast<int64_t>(got);
    if (got < want) {
        if (s->stream.error != nullptr && s->stream.error(s->stream.user) != 0) {
            s->failure = ScannerFailure_Read;
            return false;
        }
        s->atEnd = true;
        *s->dataEnd = '\0';  // the end-of-input sentinel
    }
    return true;
}

}  // namespace

bool ContainerScanner_Fill(ContainerScanner* s) {
    if (s->atEnd) return true;
    return MakeRoom(s, static_cast<int64_t>(kFillBytes)) && ReadMore(s, kFillBytes);
}

bool ContainerScanner_BufferAhead(ContainerScanner* s, int64_t bytes) {
    while (!s->atEnd && s->dataEnd - s->cursor < bytes) {
        // Each read at most doubles what is held, so the buffer never
        // outgrows twice what the stream has given.
        const int64_t held = s->dataEnd - s->cursor;
        const int64_t most = held > static_cast<int64_t>(kFillBytes) ? held : static_cast<int64_t>(kFillBytes);
        const int64_t want = bytes - held < most ? bytes - held : most;
        if (!MakeRoom(s, want) || !ReadMore(s, static_cast<std::size_t>(want))) return false;
    }
    return true;
}

int32_t ContainerScanner_NextToken(ContainerScanner* s) {
    for (;;) {
        s->tokenStart = s->cursor;
        switch (s->state) {
            case ScannerState_Start:
                return Header(s);
            case ScannerState_AfterHeader:
                if (!SkipSpace(s) || !Ensure(s, 9)) return Failed(s);
                if (Peek(s, 0) < 0) return ScannerToken_End;
                if (Matches(s, "[comment]")) {
                    s->cursor += 9;
                    s->state = ScannerState_Comment;
                } else if (Matches(s, "[index]")) {
                    s->cursor += 7;
                    s->state = ScannerState_Index;
                } else {
                    return ScannerToken_Unexpected;
                }
                continue;
            case ScannerState_Comment:
                // The comment is not kept: only its lines are counted.
                for (;;) {
                    if (!Ensure(s, 7)) return Failed(s);
                    const int c = Peek(s, 0);
                    if (c < 0) return ScannerToken_End;
                    if (Matches(s, "[index]")) break;
                    if (c == '\n') ++s->line;
                    s->tokenStart = ++s->cursor;
                }
                s->cursor += 7;
                s->state = ScannerState_Index;
                continue;
            case ScannerState_Index: {
                if (!SkipSpace(s) || !Ensure(s, 8)) return Failed(s);
                const int c = Peek(s, 0);
                if (c < 0) return ScannerToken_End;
                if (IsLetter(c)) {
                    ++s->cursor;
                    for (;;) {
                        if (!Ensure(s, 1)) return Failed(s);
                        if (!IsWord(Peek(s, 0))) break;
                        ++s->cursor;
                    }
                    s->state = ScannerState_AfterName;
                    return ScannerToken_Name;
                }
                if (Matches(s, "[ascii]")) {
                    s->cursor += 7;
                    s->state = ScannerState_Ascii;
                    return ScannerToken_Ascii;
                }
                if (Matches(s, "[binary]")) {
                    s->cursor += 8;
                    s->state = ScannerState_Binary;
                    return ScannerToken_Binary;
                }
                return ScannerToken_Unexpected;
            }
            case ScannerState_AfterName: {
                if (!SkipSpace(s) || !Ensure(s, 9)) return Failed(s);
                if (Peek(s, 0) < 0) return ScannerToken_End;
                static const char* const kWords[] = {"Boolean", "Integer", "Double", "Character"};
                for (int k = 0; k < 4; ++k)
                    if (Matches(s, kWords[k])) {
                        s->cursor += std::strlen(kWords[k]);
                        s->state = ScannerState_Sizes;
                        return ScannerToken_Boolean + k;
                    }
                return ScannerToken_Unexpected;
            }
            case ScannerState_Sizes: {
                if (!SkipSpace(s) || !Ensure(s, 2)) return Failed(s);
                const int c = Peek(s, 0);
                if (c < 0) return ScannerToken_End;
                if (IsDigit(c)) return SkipDigits(s) < 0 ? Failed(s) : ScannerToken_Size;
                if (c != ';') return ScannerToken_Unexpected;
                ++s->cursor;
                s->state = ScannerState_Index;
                continue;
            }
            case ScannerState_Ascii: {
                if (!SkipSpace(s) || !Ensure(s, 5)) return Failed(s);
                const int c = Peek(s, 0);
                if (c < 0) return ScannerToken_End;
                if (c == '"') {
                    ++s->cursor;
                    s->state = ScannerState_String;
                    continue;
                }
                if (c == '+' || c == '-' || IsDigit(c)) return Number(s);
                if (c == 'T' || c == 'F') return Word(s);
                return ScannerToken_Unexpected;
            }
            case ScannerState_String: {
                const int32_t token = StringCharacter(s);
                if (token >= 0) return token;
                continue;
            }
            default:
                return ScannerToken_Unexpected;
        }
    }
}

int32_t ContainerScanner_GetChar(ContainerScanner* s) {
    if (!Ensure(s, 1)) return -1;
    const int c = Peek(s, 0);
    if (c >= 0) ++s->cursor;
    return c;
}

bool ContainerScanner_ReadRaw(ContainerScanner* s, void* destination, int64_t count) {
    auto* out = static_cast<char*>(destination);
    const int64_t buffered = s->cursor != nullptr ? s->dataEnd - s->cursor : 0;
    const int64_t fromBuffer = buffered < count ? buffered : count;
    if (fromBuffer > 0) {
        std::memcpy(out, s->cursor, static_cast<std::size_t>(fromBuffer));
        s->cursor += fromBuffer;
        s->tokenStart = s->cursor;
    }
    const int64_t rest = count - fromBuffer;
    if (rest == 0) return true;
    if (s->atEnd) return false;
    const std::size_t got = s->stream.read(out + fromBuffer, 1, static_cast<std::size_t>(rest), s->stream.user);
    s->streamBytes += static_cast<int64_t>(got);
    return static_cast<int64_t>(got) == rest;
}

bool ContainerScanner_SkipRaw(ContainerScanner* s, int64_t count) {
    const int64_t buffered = s->cursor != nullptr ? s->dataEnd - s->cursor : 0;
    const int64_t fromBuffer = buffered < count ? buffered : count;
    if (fromBuffer > 0) {
        s->cursor += fromBuffer;
        s->tokenStart = s->cursor;
    }
    int64_t rest = count - fromBuffer;
    if (rest == 0) return true;
    if (s->atEnd) return false;
    const int64_t left = s->stream.length >= 0 ? s->stream.length - s->streamBytes : -1;
    if (left >= 0 && rest > left) return false;  // seeking would pass the end unnoticed
    if (s->stream.seek != nullptr && rest <= 0x7FFFFFFF &&
        s->stream.seek(s->stream.user, static_cast<long>(rest), SEEK_CUR) == 0) {
        s->streamBytes += rest;
        return true;
    }
    // A stream that cannot seek (a pipe) is read and the bytes dropped.
    char scrap[4096];
    while (rest > 0) {
        const std::size_t want =
            rest < static_cast<int64_t>(sizeof scrap) ? static_cast<std::size_t>(rest) : sizeof scrap;
        const std::size_t got = s->stream.read(scrap, 1, want, s->stream.user);
        s->streamBytes += static_cast<int64_t>(got);
        if (got < want) return false;
        rest -= static_cast<int64_t>(got);
    }
    return true;
}

int64_t ContainerScanner_BytesLeft(const ContainerScanner* s) {
    const int64_t buffered = s->cursor != nullptr ? s->dataEnd - s->cursor : 0;
    if (s->atEnd) return buffered;
    if (s->stream.length < 0) return -1;
    const int64_t unread = s->stream.length - s->streamBytes;
    return buffered + (unread > 0 ? unread : 0);
}
