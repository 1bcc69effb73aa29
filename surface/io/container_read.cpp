// The container reader: the index first (header, items and their shapes),
// then the data into the arrays the caller binds to the items.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "surface/io/container.h"
#include "surface/io/container_scanner.h"

namespace {

constexpr uint32_t kMarker = 0x00F00FFFu;
constexpr double kTestValue = 1.23456789;
constexpr int64_t kIntMax = std::numeric_limits<int32_t>::max();
constexpr int64_t kSaturated = std::numeric_limits<int64_t>::max();
constexpr std::size_t kMaxHeader = 128;

bool Cancelled(const int32_t* cancel) { return cancel != nullptr && *cancel != 0; }

int64_t Add(int64_t a, int64_t b) { return a > kSaturated - b ? kSaturated : a + b; }

// A decimal number of the token's digits, or -1 when it passes `limit`.
int64_t Decimal(const char* begin, const char* end, int64_t limit) {
    int64_t value = 0;
    for (const char* p = begin; p < end; ++p) {
        value = value * 10 + (*p - '0');
        if (value > limit) return -1;
    }
    return value;
}

// Version "%TAVIR-<major>.<minor>": both numbers must fit an int.
int Version(ContainerIndex* index, const ContainerScanner* s) {
    if (static_cast<std::size_t>(s->cursor - s->tokenStart) > kMaxHeader) return ContainerCode_Syntax;
    const char* major = s->tokenStart + 7;
    const char* point = static_cast<const char*>(std::memchr(major, '.', static_cast<std::size_t>(s->cursor - major)));
    const int64_t a = Decimal(major, point, kIntMax);
    const int64_t b = Decimal(point + 1, s->cursor, kIntMax);
    if (a < 0 || b < 0) return ContainerCode_BadVersion;
    index->major = static_cast<int32_t>(a);
    index->minor = static_cast<int32_t>(b);
    return index->major == 1 && index->minor == 0 ? ContainerCode_Success : ContainerCode_BadVersion;
}

// An item whose data would not fit an int of bytes is refused: the readers
// size their arrays in ints.
bool ItemFits(const ContainerItem* item) { return item == nullptr || ContainerItem_Bytes(item) <= kIntMax; }

// The least the data section can take: in binary the marker, the test value
// and every item's bytes; in text a byte a value.
int64_t BytesNeeded(const ContainerIndex* index) {
    int64_t bytes = index->encoding == ContainerEncoding_Binary ? 12 : 0;
    for (int32_t i = 0; i < index->itemCount; ++i)
        bytes = Add(bytes, index->encoding == ContainerEncoding_Binary ? ContainerItem_Bytes(&index->items[i])
                                                                       : ContainerItem_Elements(&index->items[i]));
    return bytes;
}

int TokenFailure(int32_t token) {
    switch (token) {
        case ScannerToken_NoMemory:
            return ContainerCode_NoMemory;
        case ScannerToken_ReadFailure:
            return ContainerCode_ReadFailure;
        case ScannerToken_End:
            return ContainerCode_UnexpectedEnd;
        default:
            return ContainerCode_Syntax;
    }
}

int ReadItems(ContainerIndex* index, ContainerScanner* s, const int32_t* cancel) {
    const int32_t header = ContainerScanner_NextToken(s);
    if (header == ScannerToken_NoMemory) return ContainerCode_NoMemory;
    if (header == ScannerToken_ReadFailure) return ContainerCode_ReadFailure;
    if (header != ScannerToken_Header) return ContainerCode_NoHeader;
    if (int code = Version(index, s)) return code;
    for (;;) {
        if (Cancelled(cancel)) return ContainerCode_Cancelled;
        const int32_t token = ContainerScanner_NextToken(s);
        ContainerItem* last = index->itemCount > 0 ? &index->items[index->itemCount - 1] : nullptr;
        switch (token) {
            case ScannerToken_Name:
                if (!ItemFits(last)) return ContainerCode_Syntax;
                if (!ContainerIndex_AddItem(index, s->tokenStart, static_cast<std::size_t>(s->cursor - s->tokenStart)))
                    return ContainerCode_NoMemory;
                break;
            case ScannerToken_Size: {
                const int added =
                    ContainerIndex_AddDim(index, s->tokenStart, static_cast<std::size_t>(s->cursor - s->tokenStart));
                if (added < 0) return ContainerCode_Syntax;
                if (added == 0) return ContainerCode_NoMemory;
                break;
            }
            case ScannerToken_Boolean:
            case ScannerToken_Integer:
            case ScannerToken_Double:
            case ScannerToken_Character:
                last->kind = token - ScannerToken_Boolean;
                break;
            case ScannerToken_Ascii:
            case ScannerToken_Binary: {
                if (!ItemFits(last)) return ContainerCode_Syntax;
                index->encoding = token == ScannerToken_Ascii ? ContainerEncoding_Ascii : ContainerEncoding_Binary;
                // Refused before anyone allocates for the items: a forged
                // index must not ask for more than the file can hold. A
                // stream of unknown length (a pipe) is read ahead until it
                // holds that much or ends.
                const int64_t needed = BytesNeeded(index);
                int64_t left = ContainerScanner_BytesLeft(s);
                if (left < 0) {
                    if (!ContainerScanner_BufferAhead(s, needed))
                        return s->failure == ScannerFailure_NoMemory ? ContainerCode_NoMemory
                                                                     : ContainerCode_ReadFailure;
                    left = s->dataEnd - s->cursor;
                }
                if (needed > left) return ContainerCode_UnexpectedEnd;
                return ContainerCode_Success;
            }
            default:
                return TokenFailure(token);
        }
    }
}

struct Reader {
    ContainerScanner* s;
    double* progress;
    const int32_t* cancel;
    double total;
    double done;

    void Advance(int64_t bytes) {
        done += static_cast<double>(bytes);
        if (progress != nullptr) *progress = total > 0 ? (done < total ? done / total : 1.0) : 0.0;
    }
    int Short() const {
        return s->stream.error != nullptr && s->stream.error(s->stream.user) != 0 ? ContainerCode_ReadFailure
                                                                                  : ContainerCode_UnexpectedEnd;
    }
};

void Reverse(char* bytes, int64_t count, int64_t width) {
    for (int64_t e = 0; e < count; ++e) {
        char* p = bytes + e * width;
        for (int64_t a = 0, b = width - 1; a < b; ++a, --b) {
            const char t = p[a];
            p[a] = p[b];
            p[b] = t;
        }
    }
}

int ReadBinary(Reader& r, ContainerIndex* index) {
    char head[12];
    if (!ContainerScanner_ReadRaw(r.s, head, 12)) return r.Short();
    uint32_t marker;
    std::memcpy(&marker, head, 4);
    const bool swapped = marker != kMarker;
    if (swapped) {
        Reverse(head, 1, 4);
        Reverse(head + 4, 1, 8);
        std::memcpy(&marker, head, 4);
        if (marker != kMarker) return ContainerCode_CorruptBinary;
    }
    double test;
    std::memcpy(&test, head + 4, 8);
    if (test != kTestValue) return ContainerCode_CorruptBinary;
    r.Advance(20);
    for (int32_t i = 0; i < index->itemCount; ++i) {
        const ContainerItem& item = index->items[i];
        const int64_t bytes = ContainerItem_Bytes(&item);
        const int64_t chunk = bytes / 20 > 1024 ? bytes / 20 : 1024;
        auto* data = static_cast<char*>(item.data);
        for (int64_t at = 0; at < bytes; at += chunk) {
            const int64_t n = bytes - at < chunk ? bytes - at : chunk;
            const bool ok =
                data != nullptr ? ContainerScanner_ReadRaw(r.s, data + at, n) : ContainerScanner_SkipRaw(r.s, n);
            if (!ok) return r.Short();
            r.Advance(n);
            if (Cancelled(r.cancel)) return ContainerCode_Cancelled;
        }
        const int64_t width = ContainerKind_BinarySize(item.kind);
        if (swapped && data != nullptr && width > 1) Reverse(data, bytes / width, width);
    }
    return ContainerCode_Success;
}

// Converts the integer token in place (the byte after it is restored).
bool IntegerValue(const ContainerScanner* s, int32_t* value) {
    const char* p = s->tokenStart;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    const int64_t magnitude = Decimal(p, s->cursor, kIntMax + 1);
    if (magnitude < 0 || (!negative && magnitude > kIntMax)) return false;
    *value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

double RealValue(ContainerScanner* s) {
    // The byte after the token is the next token's or the sentinel's; the
    // buffer always has room for it.
    const char kept = *s->cursor;
    *s->cursor = '\0';
    const double value = std::strtod(s->tokenStart, nullptr);
    *s->cursor = kept;
    return value;
}

// One value of an item into element `e` of `data` (null: dropped).
int ReadValue(Reader& r, const ContainerItem& item, int64_t e) {
    const int32_t token = ContainerScanner_NextToken(r.s);
    switch (token) {
        case ScannerToken_NoMemory:
        case ScannerToken_ReadFailure:
        case ScannerToken_Unexpected:
        case ScannerToken_End:
            return TokenFailure(token);
        default:
            break;
    }
    void* data = item.data;
    switch (item.kind) {
        case ContainerKind_Boolean:
            if (token != ScannerToken_True && token != ScannerToken_False) return ContainerCode_WrongKind;
            if (data != nullptr) static_cast<unsigned char*>(data)[e] = token == ScannerToken_True ? 1 : 0;
            return ContainerCode_Success;
        case ContainerKind_Integer: {
            int32_t value;
            if (token != ScannerToken_IntegerValue || !IntegerValue(r.s, &value)) return ContainerCode_WrongKind;
            if (data != nullptr) static_cast<int32_t*>(data)[e] = value;
            return ContainerCode_Success;
        }
        case ContainerKind_Double:
            if (token != ScannerToken_IntegerValue && token != ScannerToken_RealValue) return ContainerCode_WrongKind;
            if (data != nullptr) static_cast<double*>(data)[e] = RealValue(r.s);
            return ContainerCode_Success;
        default:
            if (token == ScannerToken_NumericEscape && r.s->value > 255) return ContainerCode_Syntax;
            if (token != ScannerToken_CharacterValue && token != ScannerToken_NumericEscape)
                return ContainerCode_WrongKind;
            if (data != nullptr) static_cast<unsigned char*>(data)[e] = static_cast<unsigned char>(r.s->value);
            return ContainerCode_Success;
    }
}

int ReadAscii(Reader& r, ContainerIndex* index, int32_t* line) {
    r.Advance(8);
    for (int32_t i = 0; i < index->itemCount; ++i) {
        const ContainerItem& item = index->items[i];
        const int64_t count = ContainerItem_Elements(&item);
        const int64_t estimate = ContainerKind_AsciiSize(item.kind);
        int code = ContainerCode_Success;
        for (int64_t e = 0; e < count && code == ContainerCode_Success; ++e) {
            code = ReadValue(r, item, e);
            if (code != ContainerCode_Success) break;
            r.Advance(estimate);
            if (Cancelled(r.cancel)) code = ContainerCode_Cancelled;
        }
        *line = r.s->line;
        if (code != ContainerCode_Success) return code;
    }
    return ContainerCode_Success;
}

}  // namespace

int Container_ReadIndex(ContainerIndex* index, ContainerStream* stream, int32_t* line, const int32_t* cancel) {
    if (line != nullptr) *line = 0;
    if (index == nullptr || stream == nullptr) return ContainerCode_InvalidIndex;
    Container_ResetIndex(index);
    if (Cancelled(cancel)) return ContainerCode_Cancelled;
    ContainerScanner* s = ContainerScanner_Init(stream);
    if (s == nullptr) return ContainerCode_NoMemory;
    index->scanner = s;
    const int code = ReadItems(index, s, cancel);
    if (line != nullptr) *line = s->line;
    if (code != ContainerCode_Success) Container_FreeItems(index);
    return code;
}

int Container_ReadIndexFile(ContainerIndex* index, std::FILE* file, int32_t* line, const int32_t* cancel) {
    if (file == nullptr) return ContainerCode_ReadFailure;
    ContainerStream stream;
    ContainerStream_FromFile(&stream, file);
    return Container_ReadIndex(index, &stream, line, cancel);
}

int Container_ReadData(ContainerIndex* index, int32_t* line, double* progress, const int32_t* cancel) {
    if (progress != nullptr) *progress = 0.0;
    if (index == nullptr || index->scanner == nullptr) return ContainerCode_InvalidIndex;
    if (Cancelled(cancel)) return ContainerCode_Cancelled;
    Reader r{index->scanner, progress, cancel, static_cast<double>(Container_DataBytes(index)), 0.0};
    int32_t reached = index->scanner->line;
    int code;
    if (index->encoding == ContainerEncoding_Binary) {
        reached = -1;
        code = ReadBinary(r, index);
    } else {
        code = ReadAscii(r, index, &reached);
    }
    if (line != nullptr) *line = reached;
    if (code == ContainerCode_Success && progress != nullptr) *progress = 1.0;
    return code;
}
