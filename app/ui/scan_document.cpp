#include "app/ui/scan_document.h"

#include "app/base/app_messages.h"
#include "app/locale/locale_lookup.h"
#include "app/scan/profile_processing.h"
#include "app/scan/stylus_placement.h"
#include "app/scan/surface_record.h"
#include "app/ui/app_state.h"
#include "app/ui/brand_info.h"
#include "app/ui/document_marks.h"
#include "app/ui/scan_document_names.h"
#include "app/ui/shell_hooks.h"

#include <cstring>

ScanDocServices& ScanDoc_Services() {
    static ScanDocServices services;
    return services;
}

ScanDocState& ScanDoc_State() {
    static ScanDocState state;
    return state;
}

namespace {

AppState& A() { return App(); }

void WaitStatus(const char* key) {
    if (ScanDoc_Services().waitStatus) ScanDoc_Services().waitStatus(key ? Locale_GetString(key) : "");
}

void UpdateTitle() {
    if (Shell_Hooks().updateTitle) Shell_Hooks().updateTitle();
}

void PostRepaint() {
    if (Shell_Hooks().postRepaint) Shell_Hooks().postRepaint(3);
}

void SendRepaint() {
    if (Shell_Hooks().sendRepaint) Shell_Hooks().sendRepaint(3);
}

void NotifyPanels() {
    if (Shell_Hooks().notifyPanels) Shell_Hooks().notifyPanels();
}

int Ask(const char* key) {
    const ScanDocServices& services = ScanDoc_Services();
    // Without a question box nothing may be discarded unasked.
    return services.ask ? services.ask(Locale_GetString(key)) : kAnswerCancel;
}

std::string NameWithExtension(const std::string& path) {
    const size_t slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A surface question: the surface is shown first so the user sees what is
// asked about. 0 when cancelled (the export's cancel included).
int32_t AskAboutSurface(int32_t kind, const char* key) {
    AppState& app = A();
    app.settings.CombineSweeps = kind;
    app.shownSurface = kind == kSurfaceRbf ? &app.rbf : &app.basic;
    SendRepaint();
    const int answer = Ask(key);
    if (answer == kAnswerCancel) return 0;
    if (answer != kAnswerYes) return 1;
    const ScanDocServices& services = ScanDoc_Services();
    return services.exportSurface && services.exportSurface(kind) ? 1 : 0;
}

}  // namespace

bool ScanDoc_ScanUnsaved(const RawData& raw) { return raw.NumSweeps >= 1 && (raw.ProcessedChanged || raw.Edited); }

bool ScanDoc_SurfaceUnsaved(const SurfaceRecord& surface) { return surface.NumPoints >= 1 && !surface.Saved; }

int32_t ScanDoc_PromptSaveOrDiscard() {
    AppState& app = A();
    const bool scan = app.raw && ScanDoc_ScanUnsaved(*app.raw);
    const bool basic = ScanDoc_SurfaceUnsaved(app.basic);
    const bool rbf = ScanDoc_SurfaceUnsaved(app.rbf);
    if (!scan && !basic && !rbf) return 1;
    const int answer = Ask("SaveDiscardScan");
    if (answer == kAnswerCancel) return 0;
    if (answer != kAnswerYes) return 1;
    const ScanDocServices& services = ScanDoc_Services();
    if (!services.saveAsDialog || !services.saveAsDialog()) return 0;
    if (basic && !app.basic.Saved && !AskAboutSurface(kSurfaceBasic, "SaveDiscardBasicSurf")) return 0;
    if (rbf && !app.rbf.Saved && !AskAboutSurface(kSurfaceRbf, "SaveDiscardRBFSurf")) return 0;
    return 1;
}

void ScanDoc_ClearRecord() {
    AppState& app = A();
    if (!app.raw) return;
    RawData_FreeArrays(*app.raw);
    RawData_AttachBlocks(*app.raw, app.blocks);
    M4_Identity(app.raw->ScanAlignment);  // an empty scan is aligned with nothing
}

void ScanDoc_FreeMetadata() {
    ItemMeta_Free(A().documentMetadata);
    A().documentMetadata = nullptr;
}

void ScanDoc_FreeForeignItems() { ScanDoc_State().foreign.items.clear(); }

void ScanDoc_FreeSurfaces() {
    AppState& app = A();
    Surface_Free(app.basic);
    Surface_Free(app.rbf);
    if (app.surfaceLibraryBound && ScanDoc_Services().freeSurfaceLibraryData)
        ScanDoc_Services().freeSurfaceLibraryData();
    std::memset(&app.basic, 0, sizeof app.basic);
    std::memset(&app.rbf, 0, sizeof app.rbf);
    app.shownSurface = &app.basic;
    app.settings.CombineSweeps = kSurfaceBasic;
}

void ScanDoc_ResetDerivedState() {
    AppState& app = A();
    if (app.mode == kModeSurface) {
        App_SetMode(kModeScan);
        PostRepaint();
    }
    ScanDoc_FreeSurfaces();
    NotifyPanels();
    if (Shell_Hooks().updateToolbar) Shell_Hooks().updateToolbar();
}

int32_t ScanDoc_Unload(int32_t prompt) {
    if (prompt && !ScanDoc_PromptSaveOrDiscard()) return 0;
    AppState& app = A();
    const ScanDocServices& services = ScanDoc_Services();
    WaitStatus("WaitCursorUnload");
    ScanDoc_ClearRecord();
    ScanDoc_FreeMetadata();
    ScanDoc_FreeForeignItems();
    ScanDoc_ResetDerivedState();
    app.settings.Stylus.Mode = 0;  // laser pointer mode off
    if (services.resetFieldHandler) services.resetFieldHandler();
    app.scanPath.clear();
    app.documentName = Locale_GetString("TitleBarUnnamedFile");
    UpdateTitle();
    WaitStatus(nullptr);
    SendRepaint();
    if (services.rebuildPanels) services.rebuildPanels();
    NotifyPanels();
    return 1;
}

// ---- Loading ----------------------------------------------------------------

bool ScanDoc_LoadKrv(const std::string& path, RawData& raw, KrvViewRecord& view, std::string& message) {
    const int32_t result = KrvFile_Load(path.c_str(), raw, view);
    if (result == kKrvOk) return true;
    message = ScanDoc_KrvMessage(result, path, Brand_Get().product, Brand_Get().company);
    if (message.size() > 1023) message.resize(1023);
    return false;
}

int32_t ScanDoc_ProcessProfilesGuarded(RawData& raw, int32_t filterLength, float clipValue) {
    try {
        return Scan_ProcessNewProfiles(raw, filterLength, clipValue);
    } catch (const std::bad_alloc&) {
        App_WarningBox(Locale_GetString("ErrorOutOfMemory"), "ErrorOutOfMemory");
        return kScanProcessOutOfMemory;
    }
}

void ScanDoc_ApplyKrvView(const KrvViewRecord& record, ViewSettings& view) {
    ViewSettings stored = view;
    stored.DisplayType = record.DisplayType;
    stored.ViewMatrix = record.ViewMatrix;
    stored.ViewOrigin = record.ViewOrigin;
    stored.ZoomFactor = record.ZoomFactor;
    stored.Options = record.Options;
    View_ApplySettings(view, stored);
}

namespace {

bool LoadDocumentFile(const std::string& path, ViewSettings& kept, std::string& message) {
    AppState& app = A();
    switch (ScanDoc_LoadKind(path)) {
        case ScanFileKind::Krv: {
            App_SetMode(kModeScan);
            KrvViewRecord record;
            std::memset(&record, 0, sizeof record);
            if (!ScanDoc_LoadKrv(path, *app.raw, record, message)) return false;
            ScanDoc_ApplyKrvView(record, kept);
            ScanDoc_FormatCreatorString("Converted from .krv file");
            RawData_AttachBlocks(*app.raw, app.blocks);
            ScanDoc_ProcessProfilesGuarded(*app.raw, app.settings.ProfileFilterLength,
                                           app.settings.RawResolutionClip[1]);
            return true;
        }
        case ScanFileKind::Tvn: {
            char text[kScanFileErrorTextSize] = "";
            int32_t mode = app.mode;
            SurfacePair surfaces{&app.basic, &app.rbf, &app.shownSurface};
            const bool loaded =
                TVNFile_Load(path.c_str(), app.raw, &app.documentMetadata, &ScanDoc_State().foreign, &surfaces,
                             ScanDoc_Services().fitSeam, &app.settings, &kept, &app.blocks, text, &mode);
            message = text;
            if (!loaded) return false;
            App_SetMode(mode);
            return true;
        }
        default:
            return false;
    }
}

void AfterLoad(const std::string& path, const ViewSettings& kept) {
    AppState& app = A();
    RawData& raw = *app.raw;
    const ScanDocServices& services = ScanDoc_Services();
    ScanDoc_AppendEditEntry(("Loaded from " + path).c_str());
    if (raw.NumProfiles > 0) {
        const int32_t receiver = raw.Profiles[raw.NumProfiles - 1].ReferenceEnabled ? 1 : 0;
        if (receiver != (app.settings.ReceiverEnabled ? 1 : 0)) {
            app.settings.ReceiverEnabled = receiver;
            if (services.applyReceiverOption) services.applyReceiverOption(receiver != 0);
        }
    }
    if (app.basic.Inverted) app.settings.CastInversionMode = 1;
    // The surfaces just read are the file's own: nothing to save until they change.
    for (SurfaceRecord* surface : {&app.basic, &app.rbf}) surface->Saved = surface->NumPoints > 0 ? 1 : 0;
    NotifyPanels();
    if (services.trimHeap) services.trimHeap();
    StylusItems_ReplaceIfNeeded(raw.Stylus, raw, app.basic, app.settings.Stylus.SurfaceDistance);
    if (app.settings.LoadViewSettingsWithScan) View_CopySettings(app.view, kept, true);
    app.scanPath = path;
    ScanDoc_State().lastFilePath = path;
    app.documentName = NameWithExtension(path);
    UpdateTitle();
    App_SetMode(app.mode);
}

}  // namespace

bool ScanDoc_Reload(const std::string& path) {
    if (!ScanDoc_Unload(1)) return false;
    AppState& app = A();
    ViewSettings kept = app.view;
    WaitStatus("WaitCursorFileRead");
    std::string message;
    bool loaded = false;
    try {
        loaded = LoadDocumentFile(path, kept, message);
    } catch (const std::bad_alloc&) {
        message = Locale_GetString("ErrorOutOfMemory");
    }
    if (loaded)
        AfterLoad(path, kept);
    else
        ScanDoc_Unload(0);
    WaitStatus(nullptr);
    if (!message.empty()) App_WarningBox(message);
    PostRepaint();
    return loaded;
}

// ---- Saving -----------------------------------------------------------------

namespace {

bool SaveTvn(const std::string& path) {
    AppState& app = A();
    const bool basic = app.settings.DoSaveBasic != 0;
    const bool rbf = basic && app.settings.DoSaveRbf != 0;
    ScanDoc_AppendEditEntry(("Saved file as " + path).c_str());
    if (app.raw) Surface_DropStale(app.raw->Timestamp, app.basic, app.rbf);
    SurfacePair surfaces{&app.basic, &app.rbf, &app.shownSurface};
    ScanFileSaveContext context;
    context.mode = app.mode;
    context.view = &app.view;
    context.history = app.documentMetadata;
    context.foreign = &ScanDoc_State().foreign;
    char text[kScanFileErrorTextSize] = "";
    const bool saved = TVNFile_Save(surfaces, path.c_str(), basic, rbf, app.raw, &app.settings, context, text);
    ScanDoc_AppendEditEntry("File is still open");
    if (!saved) {
        App_ErrorBox(text[0] ? text : Locale_GetString("ErrorFileWriteGeneric"));
        return false;
    }
    app.basic.Saved = basic ? 1 : 0;
    app.rbf.Saved = rbf ? 1 : 0;
    return true;
}

bool WriteGeneric(int32_t result) {
    if (result == kKrvOk) return true;
    App_ErrorBox(Locale_GetString("ErrorFileWriteGeneric"), "ErrorFileWriteGeneric");
    return false;
}

}  // namespace

bool ScanDoc_Save(const std::string& path, int32_t keepDocument) {
    AppState& app = A();
    RawData& raw = *app.raw;
    const int32_t processed = raw.ProcessedChanged, edited = raw.Edited;
    bool saved = false;
    switch (ScanDoc_SaveKind(path)) {
        case ScanFileKind::Tvn:
            saved = SaveTvn(path);
            break;
        case ScanFileKind::Krv: {
            KrvViewRecord record;
            ScanDoc_FillKrvViewRecord(app.view, app.settings, record);
            saved = WriteGeneric(KrvFile_Save(path.c_str(), raw, record));
            break;
        }
        case ScanFileKind::Vid:
            saved = WriteGeneric(VidFile_Save(raw, path.c_str()));
            break;
        default:
            App_ErrorBox(Locale_GetString("ErrorFileTypeUnknown"), "ErrorFileTypeUnknown");
            break;
    }
    if (!saved) return false;
    if (keepDocument) {
        raw.ProcessedChanged = processed;
        raw.Edited = edited;
    } else {
        app.scanPath = path;
        ScanDoc_State().lastFilePath = path;
    }
    app.documentName = NameWithExtension(path);
    UpdateTitle();
    return true;
}

// ---- History and names ------------------------------------------------------

ScanDocEntryTexts ScanDoc_EntryTexts(const ScanDocEnvironment& e) {
    auto cut = [](std::string text) {
        if (text.size() > 199) text.resize(199);
        return text;
    };
    ScanDocEntryTexts texts;
    texts.program = cut("Tolvaran 4.0.7");
    texts.user = cut(e.userName.substr(0, 200) + "@" + e.computerName.substr(0, 15));
    texts.platform = cut(std::to_string(e.major) + "." + std::to_string(e.minor) + "." + std::to_string(e.build) +
                         ", " + std::to_string(e.platformId) + ", " + e.servicePack);
    return texts;
}

void ScanDoc_FormatCreatorString(const char* note) {
    const ScanDocEntryTexts texts = ScanDoc_EntryTexts(ScanDoc_PlatformEnvironment());
    ItemMetadata* record = ItemMeta_New(1);
    if (record && !ItemMeta_FillCurrent(&record->create, note, nullptr, texts.program.c_str(), texts.user.c_str(),
                                        texts.platform.c_str(), 0.0)) {
        ItemMeta_Free(record);
        record = nullptr;
    }
    ScanDoc_FreeMetadata();
    A().documentMetadata = record;
}

void ScanDoc_AppendEditEntry(const char* note) {
    ItemMetadata* record = A().documentMetadata;
    if (!record) return;
    const ScanDocEntryTexts texts = ScanDoc_EntryTexts(ScanDoc_PlatformEnvironment());
    ItemMeta_AppendEdit(record, note, nullptr, texts.program.c_str(), texts.user.c_str(), texts.platform.c_str(), 0.0);
}

std::string ScanDoc_GetFileBaseName() {
    std::string name = ScanDoc_FileBaseName(ScanDoc_State().lastFilePath);
    if (name.size() > 255) name.resize(255);
    return name;
}

void ScanDoc_InstallHooks() {
    ShellHooks& hooks = Shell_Hooks();
    hooks.unloadScan = [](bool ask) { return ScanDoc_Unload(ask ? 1 : 0) != 0; };
    hooks.reloadScan = [](const std::string& path) { return ScanDoc_Reload(path); };
    hooks.resetDerivedState = ScanDoc_ResetDerivedState;
}
