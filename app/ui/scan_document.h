// The program's one scan document: closing it behind the save-or-discard
// question, loading a file as the document, saving it in the format its
// extension names, its edit history and the name shown in the title.
//
// The document is the scan record with both surfaces (held in AppState), its
// history (AppState::documentMetadata), the items of the opened file that the
// program does not read (kept here and written back by every save), the
// document path (AppState::scanPath), the title name (AppState::documentName)
// and the last file path, which survives closing so that the file dialogs and
// exports keep proposing the last file's name.
//
// Portable: the windows (question box, file dialogs, panels) and the parts of
// the program built elsewhere (surface export, the surface library, the field
// handler) come in through ScanDoc_Services(); a service that is not
// installed does nothing, and an absent export counts as cancelled so that
// nothing unsaved is thrown away.
#pragma once

#include "app/files/krv_file.h"
#include "app/scan/raw_data.h"
#include "app/scan/settings_records.h"
#include "app/scanfile/scan_file.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class ScanFitSeam;

// Answers of the question box (the values of IDYES, IDNO and IDCANCEL).
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;
constexpr int kAnswerCancel = 2;

// Which surface a surface question is about.
constexpr int32_t kSurfaceBasic = 1;
constexpr int32_t kSurfaceRbf = 2;

struct ScanDocServices {
    // The question box with the product name as caption; kAnswer*.
    std::function<int(const std::string& text)> ask;
    // Save As; true when the scan was saved.
    std::function<bool()> saveAsDialog;
    // The surface export for a surface question; false when it was cancelled.
    std::function<bool(int32_t kind)> exportSurface;
    // The surface library frees the data of its last surface.
    std::function<void()> freeSurfaceLibraryData;
    // The field handler's state words go back to idle.
    std::function<void()> resetFieldHandler;
    // The sweep-list panels are rebuilt and the edition panel refreshed.
    std::function<void()> rebuildPanels;
    // The wait status with a text; an empty text clears it.
    std::function<void(const std::string& text)> waitStatus;
    // The reference receiver setting is applied to the tracker.
    std::function<void(bool receiver)> applyReceiverOption;
    // Freed heap memory goes back to the system.
    std::function<void()> trimHeap;
    // The surface library's side of a scan load; none: nothing is handed over.
    ScanFitSeam* fitSeam = nullptr;
};

ScanDocServices& ScanDoc_Services();

struct ScanDocState {
    std::string lastFilePath;
    ForeignItemList foreign;
    // The save dialog's state for the run.
    bool advancedShown = false;
    bool scanTypeSelected = true;
};

ScanDocState& ScanDoc_State();

// ---- Closing --------------------------------------------------------------
// 1 to go on (saved or discarded), 0 when the user cancelled.
int32_t ScanDoc_PromptSaveOrDiscard();
// Closes the document, asking first when `prompt`; 0 when cancelled.
int32_t ScanDoc_Unload(int32_t prompt);
void ScanDoc_ClearRecord();
void ScanDoc_FreeMetadata();
void ScanDoc_FreeForeignItems();
// Any change of the scan discards both surfaces made from it.
void ScanDoc_ResetDerivedState();
void ScanDoc_FreeSurfaces();

// ---- Loading --------------------------------------------------------------
// Closes the document (asking first) and loads the file as the new document;
// true when it was loaded.
bool ScanDoc_Reload(const std::string& path);
// Loads an older scan file; false with the reader's message in `message`.
bool ScanDoc_LoadKrv(const std::string& path, RawData& raw, KrvViewRecord& view, std::string& message);
// Points and facets from the profiles not processed yet; running out of
// memory is shown and gives 3, keeping what was built.
int32_t ScanDoc_ProcessProfilesGuarded(RawData& raw, int32_t filterLength, float clipValue);
// The view a stored older-file view record gives, over `view`.
void ScanDoc_ApplyKrvView(const KrvViewRecord& record, ViewSettings& view);

// ---- Saving ---------------------------------------------------------------
// Writes the document in the format the extension names (without regard to
// case); false after showing why. With `keepDocument` the document keeps its
// path and its modified marks (a copy handed to another program).
bool ScanDoc_Save(const std::string& path, int32_t keepDocument);

// ---- Two scans ------------------------------------------------------------
// Appends the scan of the file, placed beside the current one. A file that
// cannot be read, or running out of memory while the scans are joined, is
// shown in one box and leaves the current scan as it was. True when joined.
bool ScanDoc_ConcatenateFile(const std::string& path);
// The differences between the current scan and the file's, for the debug
// trace; a file that cannot be read is shown in a box and gives none.
std::vector<std::string> ScanDoc_CompareFile(const std::string& path);
// Removes the cropped and hidden data of the current scan for good.
void ScanDoc_PurgeHiddenData();

// ---- History and names ----------------------------------------------------
// The document's history becomes a new record whose creation entry carries
// the note.
void ScanDoc_FormatCreatorString(const char* note);
// An edit entry with the note is appended to the document's history.
void ScanDoc_AppendEditEntry(const char* note);
// The last file's name without folder and extension (default export name).
std::string ScanDoc_GetFileBaseName();

// What the history entries say about the program, the user and the system.
struct ScanDocEnvironment {
    std::string userName;
    std::string computerName;
    int32_t major = 0, minor = 0, build = 0, platformId = 0;
    std::string servicePack;
};
// Supplied by the platform file.
ScanDocEnvironment ScanDoc_PlatformEnvironment();
struct ScanDocEntryTexts {
    std::string program, user, platform;
};
ScanDocEntryTexts ScanDoc_EntryTexts(const ScanDocEnvironment& environment);

// True when the scan counts as unsaved: a sweep and a modified mark.
bool ScanDoc_ScanUnsaved(const RawData& raw);
bool ScanDoc_SurfaceUnsaved(const SurfaceRecord& surface);

// The shell's hooks (close, start-up file, derived state) go to the document.
void ScanDoc_InstallHooks();
