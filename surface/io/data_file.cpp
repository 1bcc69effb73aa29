#include "surface/io/data_file.h"

#include <cerrno>
#include <cstring>

#include "platform/os_seam.h"

namespace {

const char* KindName(int32_t kind) {
    const char* name = ContainerKind_Name(kind);
    return name != nullptr ? name : "unknown";
}

}  // namespace

int File_StatusFromContainer(int code) {
    if (code == ContainerCode_Success || code == ContainerCode_NoMemory) return code;
    if (code == ContainerCode_Cancelled) return 1;
    if (code >= ContainerCode_ReadFailure && code <= ContainerCode_WrongKind) return code + 23;
    return 3;
}

void File_SaveStatusMessage(Reporter* reporter, int status) {
    switch (status) {
        case 0:
            return;
        case 1:
            Reporter_Error(reporter, "File save aborted by user");
            return;
        case 2:
            Reporter_Error(reporter, "Failed to save file, out of memory");
            return;
        case 28:
            Reporter_Error(reporter, "File write failed: '%s'", std::strerror(errno));
            return;
        default:
            Reporter_Error(reporter, "Internal error during save");
    }
}

void File_LoadStatusMessage(Reporter* reporter, int32_t line, int status) {
    const bool binary = line == -1;
    switch (status) {
        case 0:
        case 36:
            return;
        case 1:
            Reporter_Error(reporter, "File load aborted by user");
            return;
        case 2:
            Reporter_Error(reporter, "Failed to load file, out of memory");
            return;
        case 27:
            Reporter_Error(reporter, "File read failed: '%s'", std::strerror(errno));
            return;
        case 29:
            Reporter_Error(reporter, "File is not an TAVIR format data file");
            return;
        case 30:
            Reporter_Error(reporter, "File is using an unsupported version of the TAVIR format");
            return;
        case 31:
            if (binary)
                Reporter_Error(reporter, "Syntax error in binary data section");
            else
                Reporter_Error(reporter, "Syntax error on line %d", line);
            return;
        case 32:
            if (binary)
                Reporter_Error(reporter, "Unexpected end-of-file in binary data section");
            else
                Reporter_Error(reporter, "Unexpected end-of-file on line %d", line);
            return;
        case 33:
            if (binary)
                Reporter_Error(reporter, "Excess data at end of file, in binary data section");
            else
                Reporter_Error(reporter, "Excess data at end of file, on line %d", line);
            return;
        case 34:
            Reporter_Error(reporter, "Unable to recognise bianry format");
            return;
        case 35:
            Reporter_Error(reporter, "Data in ASCII section has the wrong type");
            return;
        default:
            Reporter_Error(reporter, "Internal error during load");
    }
}

int File_CheckItemShape(Reporter* reporter, const char* fileKind, const ContainerItem* item, int32_t kind,
                        int32_t dimensionCount, std::initializer_list<int32_t> sizes) {
    if (kind >= 0 && item->kind != kind) {
        Reporter_Error(reporter, "Item '%s' in %s file has incorrect type '%s', should be '%s'", item->name, fileKind,
                       KindName(item->kind), KindName(kind));
        return 0;
    }
    if (dimensionCount < 0) return 1;
    if (item->dimensionCount != dimensionCount) {
        if (dimensionCount == 0)
            Reporter_Error(reporter, "Item '%s' in %s file is a %dD array, should be a single value", item->name,
                           fileKind, item->dimensionCount);
        else if (item->dimensionCount == 0)
            Reporter_Error(reporter, "Item '%s' in %s file is a single value, should be a %dD array", item->name,
                           fileKind, dimensionCount);
        else
            Reporter_Error(reporter, "Item '%s' in %s file is a %dD array, should be %dD", item->name, fileKind,
                           item->dimensionCount, dimensionCount);
        return 0;
    }
    int32_t d = 0;
    for (int32_t size : sizes) {
        if (d >= dimensionCount) break;
        if (size >= 0 && item->dimensions[d] != size) {
            Reporter_Error(reporter, "Item '%s' in %s file has incorrect size %d in dimension %d, should be %d",
                           item->name, fileKind, item->dimensions[d], d + 1, size);
            return 0;
        }
        ++d;
    }
    return 1;
}

int File_CheckItem(Reporter* reporter, const ContainerIndex* index, const char* fileKind, ContainerItem** item,
                   const char* name, int32_t optional, int32_t kind, int32_t dimensionCount,
                   std::initializer_list<int32_t> sizes) {
    *item = Container_FindItem(index, name);
    if (*item == nullptr) {
        if (optional) return 1;
        Reporter_Error(reporter, "Item '%s' missing from %s file", name, fileKind);
        return 0;
    }
    if (File_CheckItemShape(reporter, fileKind, *item, kind, dimensionCount, sizes)) return 1;
    *item = nullptr;
    return 0;
}

bool File_HasSuffix(const char* name, const char* suffix, std::size_t suffixLength, std::size_t* prefixLength) {
    const std::size_t length = std::strlen(name);
    if (length < suffixLength || std::memcmp(name + length - suffixLength, suffix, suffixLength) != 0) return false;
    if (prefixLength != nullptr) *prefixLength = length - suffixLength;
    return true;
}

double* File_Progress(Reporter* reporter) { return reporter != nullptr ? &reporter->progress : nullptr; }

const int32_t* File_Abort(Reporter* reporter) { return reporter != nullptr ? &reporter->abort : nullptr; }

int File_WriteItems(ContainerStream* stream, const ContainerIndex* index, Reporter* reporter) {
    return File_StatusFromContainer(Container_Write(stream, index, File_Progress(reporter), File_Abort(reporter)));
}

bool File_IsTerminal(std::FILE* file) { return os::IsTerminal(file); }

void File_ReportEncoding(Reporter* reporter, int32_t ascii) {
    Reporter_Value(reporter, "Encoding", "%s", ascii ? "ASCII" : "binary");
}

std::FILE* File_Open(const char* path, const char* mode) {
    return path != nullptr && mode != nullptr ? std::fopen(path, mode) : nullptr;
}

int File_Close(std::FILE* file) { return file != nullptr ? std::fclose(file) : EOF; }

std::FILE* File_StandardInput() { return stdin; }
std::FILE* File_StandardOutput() { return stdout; }
std::FILE* File_StandardError() { return stderr; }
