// The container writer: header, comment, index lines, then the data in
// text or in the machine's byte order.
#include <cstring>

#include "surface/io/container.h"

namespace {

constexpr uint32_t kMarker = 0x00F00FFFu;
constexpr double kTestValue = 1.23456789;
constexpr int64_t kBlockElements = 1024;

// Progress and cancellation of one write.
struct Writer {
    ContainerStream* stream;
    double* progress;
    const int32_t* cancel;
    double total;
    double done;

    void Advance(int64_t bytes) {
        done += static_cast<double>(bytes);
        if (progress != nullptr) *progress = total > 0 ? (done < total ? done / total : 1.0) : 0.0;
    }
    bool Cancelled() const { return cancel != nullptr && *cancel != 0; }
    bool Text(const char* text) { return stream->putText(text, stream->user) >= 0; }
    bool Character(int c) { return stream->putCharacter(c, stream->user) != -1; }
};

bool ValidName(const char* name) {
    if (name == nullptr || name[0] == '\0') return false;
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
    if (!letter(name[0])) return false;
    for (const char* c = name; *c != '\0'; ++c)
        if (!letter(*c) && !(*c >= '0' && *c <= '9')) return false;
    return true;
}

bool IndexFit(const ContainerIndex* index) {
    if (index->comment != nullptr && std::strstr(index->comment, "[index]") != nullptr) return false;
    if (index->encoding != ContainerEncoding_Ascii && index->encoding != ContainerEncoding_Binary) return false;
    if (index->itemCount < 0 || (index->itemCount > 0 && index->items == nullptr)) return false;
    for (int32_t i = 0; i < index->itemCount; ++i) {
        const ContainerItem& item = index->items[i];
        if (!ValidName(item.name) || item.kind < 0 || item.kind > 3 || item.dimensionCount < 0) return false;
        if (item.dimensionCount > 0 && item.dimensions == nullptr) return false;
        bool empty = false;
        for (int32_t d = 0; d < item.dimensionCount; ++d) {
            if (item.dimensions[d] < 0) return false;
            empty = empty || item.dimensions[d] == 0;
        }
        if (item.data == nullptr && !empty) return false;
    }
    return true;
}

int WriteIndexLines(Writer& w, const ContainerIndex* index) {
    ContainerStream* s = w.stream;
    if (s->print(s->user, "%%TAVIR-%d.%d\n\n", 1, 0) < 0) return ContainerCode_WriteFailure;
    if (index->comment != nullptr && s->print(s->user, "[comment]\n%s\n\n", index->comment) < 0)
        return ContainerCode_WriteFailure;
    if (!w.Text("[index]\n")) return ContainerCode_WriteFailure;
    w.Advance(20 + (index->comment != nullptr ? static_cast<int64_t>(std::strlen(index->comment)) + 12 : 0));
    for (int32_t i = 0; i < index->itemCount; ++i) {
        const ContainerItem& item = index->items[i];
        int written = s->print(s->user, "%s %s", item.name, ContainerKind_Name(item.kind));
        int64_t bytes = written;
        for (int32_t d = 0; d < item.dimensionCount && written >= 0; ++d) {
            written = s->print(s->user, " %u", static_cast<unsigned>(item.dimensions[d]));
            bytes += written;
        }
        if (written < 0 || !w.Text(";\n")) return ContainerCode_WriteFailure;
        w.Advance(bytes + 2);
        if (w.Cancelled()) return ContainerCode_Cancelled;
    }
    if (!w.Character('\n')) return ContainerCode_WriteFailure;
    w.Advance(1);
    return ContainerCode_Success;
}

// One byte inside a quoted string: printable bytes stand as they are (the
// quote and the backslash escaped), control characters by letter, and
// every other byte by its code.
bool WriteStringByte(Writer& w, unsigned char c) {
    static const char kLetters[] = "tnvfr";  // bytes 9 to 13
    if (c == '"' || c == '\\') return w.Character('\\') && w.Character(c);
    if (c >= 0x20 && c <= 0x7E) return w.Character(c);
    if (c >= 9 && c <= 13) return w.Character('\\') && w.Character(kLetters[c - 9]);
    return w.stream->print(w.stream->user, "\\%u.", static_cast<unsigned>(c)) >= 0;
}

int WriteAscii(Writer& w, const ContainerIndex* index) {
    ContainerStream* s = w.stream;
    if (!w.Text("[ascii]\n")) return ContainerCode_WriteFailure;
    w.Advance(8);
    for (int32_t i = 0; i < index->itemCount; ++i) {
        const ContainerItem& item = index->items[i];
        const int64_t count = ContainerItem_Elements(&item);
        if (count == 0) continue;
        if (item.kind == ContainerKind_Character) {
            const auto* bytes = static_cast<const unsigned char*>(item.data);
            if (!w.Character('"')) return ContainerCode_WriteFailure;
            for (int64_t e = 0; e < count; ++e) {
                if (!WriteStringByte(w, bytes[e])) return ContainerCode_WriteFailure;
                w.Advance(1);
                if (w.Cancelled()) return ContainerCode_Cancelled;
            }
            if (!w.Text("\"\n")) return ContainerCode_WriteFailure;
            continue;
        }
        const int64_t estimate = ContainerKind_AsciiSize(item.kind);
        for (int64_t e = 0; e < count; ++e) {
            bool ok;
            if (item.kind == ContainerKind_Boolean)
                ok = w.Text(static_cast<const unsigned char*>(item.data)[e] != 0 ? "TRUE\n" : "FALSE\n");
            else if (item.kind == ContainerKind_Integer)
                ok = s->print(s->user, "%d\n", static_cast<const int32_t*>(item.data)[e]) >= 0;
            else
                ok = s->print(s->user, "%.15g\n", static_cast<const double*>(item.data)[e]) >= 0;
            if (!ok) return ContainerCode_WriteFailure;
            w.Advance(estimate);
            if (w.Cancelled()) return ContainerCode_Cancelled;
        }
    }
    return ContainerCode_Success;
}

int WriteBinary(Writer& w, const ContainerIndex* index) {
    ContainerStream* s = w.stream;
    const uint32_t marker = kMarker;
    const double test = kTestValue;
    if (!w.Text("[binary]") || s->write(&marker, 4, 1, s->user) != 1 || s->write(&test, 8, 1, s->user) != 1)
        return ContainerCode_WriteFailure;
    w.Advance(20);
    for (int32_t i = 0; i < index->itemCount; ++i) {
        const ContainerItem& item = index->items[i];
        const int64_t count = ContainerItem_Elements(&item);
        const int64_t width = ContainerKind_BinarySize(item.kind);
        const auto* data = static_cast<const char*>(item.data);
        for (int64_t first = 0; first < count; first += kBlockElements) {
            const int64_t n = count - first < kBlockElements ? count - first : kBlockElements;
            if (s->write(data + first * width, static_cast<std::size_t>(width), static_cast<std::size_t>(n), s->user) !=
                static_cast<std::size_t>(n))
                return ContainerCode_WriteFailure;
            w.Advance(n * width);
            if (w.Cancelled()) return ContainerCode_Cancelled;
        }
    }
    return ContainerCode_Success;
}

}  // namespace

int Container_Write(ContainerStream* stream, const ContainerIndex* index, double* progress, const int32_t* cancel) {
    if (progress != nullptr) *progress = 0.0;
    if (cancel != nullptr && *cancel != 0) return ContainerCode_Cancelled;
    if (stream == nullptr || index == nullptr || !IndexFit(index)) return ContainerCode_InvalidIndex;
    Writer w{stream, progress, cancel,
             static_cast<double>(Container_IndexBytes(index)) + static_cast<double>(Container_DataBytes(index)), 0.0};
    int code = WriteIndexLines(w, index);
    if (code == ContainerCode_Success)
        code = index->encoding == ContainerEncoding_Ascii ? WriteAscii(w, index) : WriteBinary(w, index);
    if (code == ContainerCode_Success && progress != nullptr) *progress = 1.0;
    return code;
}

int Container_WriteFile(std::FILE* file, const ContainerIndex* index, double* progress, const int32_t* cancel) {
    if (file == nullptr) return ContainerCode_WriteFailure;
    ContainerStream stream;
    ContainerStream_FromFile(&stream, file);
    return Container_Write(&stream, index, progress, cancel);
}
