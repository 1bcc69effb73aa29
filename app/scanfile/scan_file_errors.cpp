// The program's sections and the message for a container error.
#include "app/scanfile/scan_file.h"

#include "app/locale/locale_lookup.h"

#include <string>

bool TVNFile_IsKnownSection(const ItemPath& path) {
    if (path.empty()) return false;
    static const char* const kSections[] = {"TVN",  "Raw",      "Basic", "RBF",     "Landmarks",
                                            "View", "Tolvaran", "Icon",  "__meta__"};
    for (const char* section : kSections)
        if (path[0] == section) return true;
    return path[0] == "VKT" && path.size() > 1 && (path[1] == "RMS" || path[1] == "Transforms");
}

std::string TVNFile_ReportError(const ItemStore* store, const char* fileName) {
    const int32_t code = store ? store->error.code : 0;
    std::string text;
    switch (code) {
        case kItemErrorMemory:
            return Locale_GetString("ErrorOutOfMemory");
        case kItemErrorOpen:
            return Locale_FormatStringWithText(text, "name", fileName, "ErrorFileOpen");
        case kItemErrorRead:
            return Locale_FormatStringWithText(text, "file_name", fileName, "ErrorFileRead");
        case kItemErrorWrite:
            return Locale_FormatStringWithText(text, "file_name", fileName, "ErrorFileWrite");
        case kItemErrorInvalidItem:
        case kItemErrorFormat:
        case kItemErrorSyntax:
        case kItemErrorData:
        case kItemErrorSignature:
            return Locale_FormatStringWithText(text, "name", fileName, "ErrorFileCorrupted");
        case kItemErrorEncryption:
            return Locale_FormatStringWithText(text, "name", fileName, "ErrorFileEncrypted");
        default:
            return Locale_FormatStringWithInt(text, "err_num", code, "ErrorUnexpected");
    }
}
