// The document's work on a second scan read from a file: joining it to the
// current scan and comparing the two; and the purge of the current scan.
#include "app/ui/scan_document.h"

#include "app/base/app_messages.h"
#include "app/locale/locale_lookup.h"
#include "app/scan/profile_processing.h"
#include "app/ui/app_state.h"
#include "app/ui/document_marks.h"
#include "app/ui/scan_document_names.h"
#include "app/ui/scan_merge.h"
#include "app/ui/shell_hooks.h"

#include <cstdlib>
#include <cstring>

namespace {

// A scan read from a file into a record and blocks of its own, with copies of
// the settings so that reading it changes neither of the live ones.
class SeparateScan {
  public:
    SeparateScan() : raw_(static_cast<RawData*>(std::calloc(1, sizeof(RawData)))) {
        ScanBlocks_Init(blocks_);
        if (raw_) RawData_AttachBlocks(*raw_, blocks_);
        view = App().view;
        settings = App().settings;
    }
    ~SeparateScan() {
        if (raw_) RawData_FreeArrays(*raw_);
        ScanBlocks_Free(blocks_);
        std::free(raw_);
    }
    SeparateScan(const SeparateScan&) = delete;
    SeparateScan& operator=(const SeparateScan&) = delete;

    RawData& Raw() { return *raw_; }

    // False with the message when the file could not be read.
    bool Load(const std::string& path, std::string& message) {
        if (!raw_) {
            message = Locale_GetString("ErrorOutOfMemory");
            return false;
        }
        try {
            return LoadFile(path, message);
        } catch (const std::bad_alloc&) {
            message = Locale_GetString("ErrorOutOfMemory");
            return false;
        }
    }

    ViewSettings view;
    GeneralSettings settings;

  private:
    bool LoadFile(const std::string& path, std::string& message) {
        switch (ScanDoc_LoadKind(path)) {
            case ScanFileKind::Tvn: {
                char text[kScanFileErrorTextSize] = "";
                int32_t mode = kModeScan;
                const bool loaded = TVNFile_Load(path.c_str(), raw_, nullptr, nullptr, nullptr, nullptr, &settings,
                                                 &view, &blocks_, text, &mode);
                if (!loaded) message = text;
                return loaded;
            }
            case ScanFileKind::Krv: {
                KrvViewRecord record;
                std::memset(&record, 0, sizeof record);
                if (!ScanDoc_LoadKrv(path, *raw_, record, message)) return false;
                ScanDoc_ApplyKrvView(record, view);
                RawData_AttachBlocks(*raw_, blocks_);
                if (Scan_ProcessNewProfiles(*raw_, settings.ProfileFilterLength, settings.RawResolutionClip[1]) !=
                    kScanProcessOk) {
                    message = Locale_GetString("ErrorOutOfMemory");
                    return false;
                }
                return true;
            }
            default: {
                std::string text;
                message = Locale_FormatString(text, "ErrorFileNotFound", Locale_NewStringVariable("name", path.c_str()),
                                              nullptr);
                return false;
            }
        }
    }

    RawData* raw_;
    ScanBlocks blocks_;
};

// A failure without a text of its own still says which file.
std::string ReadError(const std::string& message, const std::string& path) {
    if (!message.empty()) return message;
    std::string text;
    return Locale_FormatString(text, "ErrorFileRead", Locale_NewStringVariable("file_name", path.c_str()), nullptr);
}

void WaitStatus(const char* key) {
    if (ScanDoc_Services().waitStatus) ScanDoc_Services().waitStatus(key ? Locale_GetString(key) : "");
}

void Repaint(bool now) {
    const ShellHooks& hooks = Shell_Hooks();
    if (now && hooks.sendRepaint) hooks.sendRepaint(3);
    if (!now && hooks.postRepaint) hooks.postRepaint(3);
}

}  // namespace

bool ScanDoc_ConcatenateFile(const std::string& path) {
    AppState& app = App();
    SeparateScan loaded;
    Repaint(true);
    WaitStatus("WaitCursorFileRead");
    std::string message;
    bool joined = loaded.Load(path, message);
    if (joined) {
        const Matrix4 placement =
            ScanMerge_Placement(*app.raw, app.view.CoordinateSystem, loaded.Raw(), loaded.view.CoordinateSystem);
        joined = ScanMerge_Append(*app.raw, loaded.Raw(), placement);
        if (!joined) message = Locale_GetString("ErrorOutOfMemory");
    }
    WaitStatus(nullptr);
    if (!joined) {
        App_WarningBox(ReadError(message, path));
        return false;
    }
    Doc_MarkProcessed();
    Repaint(false);
    return true;
}

std::vector<std::string> ScanDoc_CompareFile(const std::string& path) {
    SeparateScan loaded;
    Repaint(true);
    WaitStatus("WaitCursorFileRead");
    std::string message;
    const bool read = loaded.Load(path, message);
    WaitStatus(nullptr);
    if (!read) {
        App_WarningBox(ReadError(message, path));
        return {};
    }
    return ScanCompare_Differences(*App().raw, loaded.Raw());
}

void ScanDoc_PurgeHiddenData() {
    ScanMerge_Purge(*App().raw);
    Repaint(true);
    if (ScanDoc_Services().rebuildPanels) ScanDoc_Services().rebuildPanels();
    if (Shell_Hooks().notifyPanels) Shell_Hooks().notifyPanels();
}
