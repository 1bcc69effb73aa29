#include "app/ui/batch_dialog_win32.h"

#include "app/base/app_messages.h"
#include "app/export/proc_log.h"
#include "app/ui/app_state.h"
#include "app/ui/batch_process.h"
#include "app/ui/brand_info.h"
#include "app/ui/export_dialogs_win32.h"
#include "app/ui/scan_document.h"
#include "app/ui/scan_document_win32.h"
#include "app/ui/shell_win32.h"
#include "app/ui/surface_dialogs_win32.h"
#include "app/ui/ui_utilities_win32.h"

#include <commctrl.h>
#include <commdlg.h>
#include <process.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

namespace {

// The batch's state shared by the dialog and its thread: plain words with one
// writer each, except the started mark.
struct BatchGlobals {
    HWND dialog = nullptr;
    volatile LONG started = 0;
    volatile LONG running = 0;
    volatile LONG done = 0;
    HANDLE thread = nullptr;
    volatile int32_t* volatile cancel = nullptr;
    bool justEnded = false;
    bool closing = false;
    const BatchContext* context = nullptr;
    std::vector<std::unique_ptr<BatchItem>> items;  // in list order
};

BatchGlobals g_batch;

void Beep(UINT type) {
    if (BatchDialog_Seams().beep)
        BatchDialog_Seams().beep(type);
    else
        MessageBeep(type);
}

HWND Item(int id) { return GetDlgItem(g_batch.dialog, id); }

int Selection(HWND w) { return static_cast<int>(SendDlgItemMessageA(w, kBatchScanList, LB_GETCURSEL, 0, 0)); }

BatchItem* SelectedItem(HWND w) {
    const int index = Selection(w);
    if (index < 0 || index >= static_cast<int>(g_batch.items.size())) return nullptr;
    return g_batch.items[static_cast<size_t>(index)].get();
}

// ---- The message list -------------------------------------------------------

double ThreadSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0.0;
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000000.0;
}

void AppendToList(const ProcLogLine& line) {
    HWND list = Item(kBatchLog);
    if (!list) return;
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<char*>(line.text.c_str());
    item.iImage = line.icon;
    const int index = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    SendMessageA(list, LVM_ENSUREVISIBLE, index, FALSE);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, LVSCW_AUTOSIZE);
    ShowWindow(list, SW_SHOW);
    if (!line.status.empty()) SetWindowTextA(Item(kBatchStatus), line.status.c_str());
}

void SetTriangles(int32_t count, int32_t position) {
    HWND bar = Item(kBatchBar);
    HWND label = Item(kBatchTriangles);
    const bool marquee = Os_IsXpOrLater();
    if (count < 1) {
        ShowWindow(label, SW_HIDE);
        if (marquee) {
            SendMessageA(bar, PBM_SETMARQUEE, FALSE, 0);
            SetWindowLongA(bar, GWL_STYLE, GetWindowLongA(bar, GWL_STYLE) & ~PBS_MARQUEE);
        }
    } else {
        char text[64];
        std::snprintf(text, sizeof text, "%d triangles", count);
        SetWindowTextA(label, text);
        ShowWindow(label, SW_SHOW);
        if (marquee) {
            SetWindowLongA(bar, GWL_STYLE, GetWindowLongA(bar, GWL_STYLE) | PBS_MARQUEE);
            SendMessageA(bar, PBM_SETMARQUEE, TRUE, 100);
        }
    }
    SendMessageA(bar, PBM_SETPOS, position, 0);
}

void InstallSink() {
    BatchLogSink& sink = BatchLog_Sink();
    sink.append = AppendToList;
    sink.barPosition = [](int32_t position) { SendMessageA(Item(kBatchBar), PBM_SETPOS, position, 0); };
    sink.triangles = SetTriangles;
    sink.sound = [](ProcLogSound sound) { Beep(sound == ProcLogSound::kHand ? MB_ICONHAND : MB_ICONEXCLAMATION); };
    sink.threadSeconds = ThreadSeconds;
}

// Error, warning, stage, detail and plain, in the list's image order: the
// program's message pictures, and the plain line's own.
void MakeMessageList(HWND w) {
    HWND list = GetDlgItem(w, kBatchLog);
    ListView_MakeMessageLog(list, Shell().instance, {384, 386, 387, 385, 381});
}

// ---- The panel --------------------------------------------------------------

void Enable(HWND w, int id, bool on) { EnableWindow(GetDlgItem(w, id), on ? TRUE : FALSE); }

void Refresh(HWND w) {
    BatchItem* item = SelectedItem(w);
    const bool selected = item != nullptr;
    SetDlgItemTextA(w, kBatchScanPath, !item ? "" : item->currentScan ? "(Current Scan)" : item->scanPath.c_str());
    SetDlgItemTextA(w, kBatchOutputPath, item ? item->outputPath.c_str() : "");
    const int32_t choice = item ? Batch_ItemChoice(*item) : -1;
    CheckDlgButton(w, kBatchSweeps, choice == 0 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(w, kBatchBasic, choice == 1 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(w, kBatchRbf, choice == 2 ? BST_CHECKED : BST_UNCHECKED);
    Enable(w, kBatchSurfaceSettings, item && item->buildSurface == 1);
    for (int id : {kBatchOutput, kBatchOutputPath, kBatchSweeps, kBatchBasic, kBatchRbf}) Enable(w, id, selected);
    const bool any = !g_batch.items.empty();
    Enable(w, kBatchScanList, any);
    Enable(w, kBatchRun, any);
    Enable(w, kBatchRemove, selected);
    Enable(w, kBatchAdd, true);
    Enable(w, kBatchSaveLog, g_batch.justEnded);
    ShowWindow(GetDlgItem(w, kBatchStatus), SW_HIDE);
    ShowWindow(GetDlgItem(w, kBatchBar), SW_HIDE);
}

void RunningState(HWND w) {
    Refresh(w);
    for (int id : {kBatchOutput, kBatchSurfaceSettings, kBatchRemove, kBatchSweeps, kBatchBasic, kBatchRbf,
                   kBatchScanList, kBatchRun, kBatchAdd, kBatchSaveLog})
        Enable(w, id, false);
    ShowWindow(GetDlgItem(w, kBatchStatus), SW_SHOW);
    ShowWindow(GetDlgItem(w, kBatchBar), SW_SHOW);
}

BatchProgram Program() {
    const BatchContext& c = *g_batch.context;
    return BatchProgram{c.settings, c.view, c.raw, c.scanPath};
}

void AddEntry(HWND w, std::unique_ptr<BatchItem> item, const std::string& label) {
    const int index = static_cast<int>(
        SendDlgItemMessageA(w, kBatchScanList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str())));
    g_batch.items.push_back(std::move(item));
    SendDlgItemMessageA(w, kBatchScanList, LB_SETCURSEL, index, 0);
}

void OnAdd(HWND w) {
    std::unique_ptr<BatchItem> item =
        Batch_NewItem(Program(), g_batch.items.empty() ? nullptr : g_batch.items.back().get());
    if (!item) {
        App_ErrorBox("Out of memory");
        return;
    }
    std::string path;
    const bool chosen = BatchDialog_Seams().openScan ? BatchDialog_Seams().openScan(path) : ScanDoc_OpenDialog(path, w);
    if (!chosen) return;
    item->scanPath = path;
    item->outputPath = Batch_OutputPathFor(path, item->settings.ExportFileType);
    AddEntry(w, std::move(item), Batch_FileLabel(path));
    Refresh(w);
}

void OnRemove(HWND w) {
    const int index = Selection(w);
    if (index < 0 || index >= static_cast<int>(g_batch.items.size())) return;
    g_batch.items.erase(g_batch.items.begin() + index);
    SendDlgItemMessageA(w, kBatchScanList, LB_DELETESTRING, index, 0);
    const int count = static_cast<int>(g_batch.items.size());
    if (count > 0) SendDlgItemMessageA(w, kBatchScanList, LB_SETCURSEL, index < count ? index : count - 1, 0);
    Refresh(w);
}

void OnChoice(HWND w, int32_t choice) {
    if (BatchItem* item = SelectedItem(w)) {
        Batch_SetItemChoice(*item, choice);
        Enable(w, kBatchSurfaceSettings, item->buildSurface == 1);
    }
}

void OnSurfaceSettings(HWND w) {
    BatchItem* item = SelectedItem(w);
    if (!item) return;
    const BatchContext& c = *g_batch.context;
    GenerateSurfaceDlg_RunModal(c.instance, w, SurfacePairRefs{&item->basic, &item->rbf, &item->current}, item->view,
                                *c.defaults, item->raw, item->settings);
}

void OnOutput(HWND w) {
    BatchItem* item = SelectedItem(w);
    if (!item) return;
    std::string path;
    const bool surface = item->buildSurface != 0;
    const bool chosen = BatchDialog_Seams().chooseOutput
                            ? BatchDialog_Seams().chooseOutput(item->settings, surface, path)
                            : ExportDlg_Run(item->settings, item->outputPath, surface, path) != 0;
    if (!chosen) return;
    item->outputPath = path;
    Refresh(w);
}

// ---- The batch thread -------------------------------------------------------

std::vector<BatchItem*> ItemList() {
    std::vector<BatchItem*> list;
    for (auto& item : g_batch.items) list.push_back(item.get());
    return list;
}

unsigned __stdcall Batch_Thread(void*) {
    InterlockedExchange(&g_batch.running, 1);
    InterlockedExchange(&g_batch.done, 0);
    HWND w = g_batch.dialog;
    BatchRunHost host;
    host.runningChanged = [w](bool running) {
        if (!running) {
            InterlockedExchange(&g_batch.running, 0);
            InterlockedExchange(&g_batch.done, 1);
        }
        SetDlgItemTextA(w, IDCANCEL, running ? "Abort" : "Close");
    };
    host.clearLog = [w] {
        SendDlgItemMessageA(w, kBatchLog, LVM_DELETEALLITEMS, 0, 0);
        EnableWindow(GetDlgItem(w, kBatchSaveLog), FALSE);
    };
    host.itemStarts = [w](int32_t index) {
        SendDlgItemMessageA(w, kBatchScanList, LB_SETCURSEL, index, 0);
        PostMessageA(w, kMsgBatch, 1, 0);
    };
    host.successBeep = [] { Beep(MB_OK); };
    host.warningBox = [] {
        AppMessage box;
        box.kind = MessageKind::Warning;
        box.title = "Processing Complete";
        box.text = "Batch processing completed.\nProcessing failed for some scans,\nsee the message list for details.";
        App_ShowMessage(box);
    };
    host.publishCancel = [](volatile int32_t* cancel) { g_batch.cancel = cancel; };
    BatchEnvironment environment;
    environment.programScan = g_batch.context->raw;
    const int32_t result = Batch_Run(ItemList(), environment, host);
    PostMessageA(w, kMsgBatch, 2, 0);
    InterlockedExchange(&g_batch.started, 0);
    return static_cast<unsigned>(result);
}

// Waits for the batch thread while serving this thread's messages: the
// thread, past its running flag, still sends to the dialog (the button text,
// the summary line), and a plain wait would wait for it forever.
void AwaitThread() {
    if (!g_batch.thread) return;
    for (;;) {
        const DWORD woke = MsgWaitForMultipleObjects(1, &g_batch.thread, FALSE, INFINITE, QS_ALLINPUT);
        if (woke != WAIT_OBJECT_0 + 1) break;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            if (!IsDialogMessageA(g_batch.dialog, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
    }
    CloseHandle(g_batch.thread);
    g_batch.thread = nullptr;
}

void OnRun(HWND w) {
    if (g_batch.started) return;
    InterlockedExchange(&g_batch.started, 1);
    const int32_t missing = Batch_FirstItemWithoutOutput(ItemList());
    if (missing >= 0) {
        char text[128];
        std::snprintf(text, sizeof text, "No output file specified for item %d", missing);
        App_ErrorBox(text);
        InterlockedExchange(&g_batch.started, 0);
        return;
    }
    Batch_AbortFlag() = 0;
    BatchLog_ResetStage();
    g_batch.dialog = w;
    g_batch.justEnded = false;
    ShowWindow(GetDlgItem(w, kBatchBar), SW_SHOW);
    ShowWindow(GetDlgItem(w, kBatchStatus), SW_SHOW);
    AwaitThread();
    unsigned id = 0;
    g_batch.thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Batch_Thread, nullptr, 0, &id));
    if (!g_batch.thread) {
        App_ErrorBox("Failure creating processing thread!");
        InterlockedExchange(&g_batch.started, 0);
    }
}

void OnClose(HWND w) {
    if (g_batch.running) {
        Batch_AbortFlag() = 1;
        if (volatile int32_t* cancel = g_batch.cancel) *cancel = 1;
        return;
    }
    if (g_batch.closing) return;
    g_batch.closing = true;
    AwaitThread();
    SendDlgItemMessageA(w, kBatchScanList, LB_RESETCONTENT, 0, 0);
    g_batch.items.clear();
    EndDialog(w, 0);
}

// ---- Save Log ---------------------------------------------------------------

std::vector<ProcLogEntry> LogLines(HWND w) {
    std::vector<ProcLogEntry> lines;
    HWND list = GetDlgItem(w, kBatchLog);
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[kProcLogLineMax + 1] = "";
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = i;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        lines.push_back(ProcLogEntry{text, item.iImage});
    }
    return lines;
}

bool AskLogPath(HWND w, std::string& path) {
    if (BatchDialog_Seams().saveLogPath) return BatchDialog_Seams().saveLogPath(path);
    char file[MAX_PATH] = "";
    std::snprintf(file, sizeof file, "%s.log", Brand_Get().product.c_str());
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = w;
    ofn.lpstrFilter = "Log File (.log)\0*.log\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrTitle = "Save Log File";
    ofn.lpstrDefExt = "log";
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (GetSaveFileNameA(&ofn)) {
        path = file;
        return true;
    }
    const DWORD error = CommDlgExtendedError();
    if (error != 0) {
        char text[64];
        std::snprintf(text, sizeof text, "Error getting filename (%u)", static_cast<unsigned>(error));
        App_ErrorBox(text);
    }
    return false;
}

void Batch_SaveLog(HWND w) {
    std::string path;
    if (!AskLogPath(w, path)) return;
    const std::time_t now = std::time(nullptr);
    const std::tm local = *std::localtime(&now);
    std::string message;
    if (!ProcLog_SaveLog(path, Brand_Get().product.c_str(), local, LogLines(w), message)) App_ErrorBox(message);
}

// ---- The dialog -------------------------------------------------------------

void OnInit(HWND w) {
    g_batch.dialog = w;
    g_batch.justEnded = false;
    g_batch.closing = false;
    InstallSink();
    SendDlgItemMessageA(w, kBatchBar, PBM_SETRANGE32, 0, 1000);
    MakeMessageList(w);
    const BatchContext& c = *g_batch.context;
    if (c.raw && (c.raw->NumProfiles > 0 || c.raw->NumPoints > 0)) {
        if (std::unique_ptr<BatchItem> item = Batch_CurrentScanItem(Program()))
            AddEntry(w, std::move(item), Batch_CurrentScanLabel(c.scanPath));
    }
    if (!Os_IsXpOrLater()) {
        RECT bar, label;
        GetWindowRect(GetDlgItem(w, kBatchBar), &bar);
        GetWindowRect(GetDlgItem(w, kBatchTriangles), &label);
        POINT at = {(bar.left + bar.right - (label.right - label.left)) / 2, label.top};
        ScreenToClient(w, &at);
        SetWindowPos(GetDlgItem(w, kBatchTriangles), nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    Refresh(w);
    EnableWindow(g_batch.context->owner, FALSE);
}

bool OnCommand(HWND w, WORD id, WORD code) {
    switch (id) {
        case kBatchAdd:
            OnAdd(w);
            return true;
        case kBatchRemove:
            OnRemove(w);
            return true;
        case kBatchScanList:
            if (code == LBN_SELCHANGE) Refresh(w);
            return true;
        case kBatchSweeps:
            OnChoice(w, 0);
            return true;
        case kBatchBasic:
            OnChoice(w, 1);
            return true;
        case kBatchRbf:
            OnChoice(w, 2);
            return true;
        case kBatchSurfaceSettings:
            OnSurfaceSettings(w);
            return true;
        case kBatchOutput:
            OnOutput(w);
            return true;
        case kBatchRun:
            OnRun(w);
            return true;
        case kBatchSaveLog:
            Batch_SaveLog(w);
            return true;
        case IDCANCEL:
        case 8:
            OnClose(w);
            return true;
        default:
            return false;
    }
}

INT_PTR CALLBACK BatchDlgProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            OnInit(w);
            return TRUE;
        case WM_COMMAND:
            return OnCommand(w, LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
        case kMsgBatch:
            if (wParam == 1) {
                RunningState(w);
            } else {
                if (wParam == 2) g_batch.justEnded = true;
                Refresh(w);
            }
            return TRUE;
        case WM_SHOWWINDOW:
            if (wParam && lParam == SW_PARENTOPENING && g_batch.context) {
                EnableWindow(g_batch.context->owner, FALSE);
                SetForegroundWindow(w);
            }
            return FALSE;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_MINIMIZE && g_batch.context) {
                EnableWindow(g_batch.context->owner, TRUE);
                ShowWindow(g_batch.context->owner, SW_SHOWMINNOACTIVE);
                SetWindowLongPtrA(w, DWLP_MSGRESULT, 0);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

BatchDialogSeams& BatchDialog_Seams() {
    static BatchDialogSeams seams;
    return seams;
}

INT_PTR Batch_RunDialog(const BatchContext& context) {
    const GeneralSettings settings = *context.settings;
    const ViewSettings view = *context.view;
    RawData* raw = nullptr;
    if (context.raw) {
        raw = static_cast<RawData*>(std::malloc(sizeof(RawData)));
        if (raw) std::memcpy(static_cast<void*>(raw), context.raw, sizeof(RawData));
    }
    const SurfaceRecord basic = *context.basic;
    const SurfaceRecord rbf = *context.rbf;
    SurfaceRecord* const shown = *context.shown;
    g_batch.context = &context;
    const INT_PTR result =
        DialogBoxParamA(context.instance, MAKEINTRESOURCEA(kBatchTemplate), context.owner, BatchDlgProc, 0);
    EnableWindow(context.owner, TRUE);
    AwaitThread();
    g_batch.items.clear();
    g_batch.context = nullptr;
    g_batch.dialog = nullptr;
    BatchLog_Sink() = BatchLogSink();
    *context.settings = settings;
    *context.view = view;
    if (raw) {
        std::memcpy(static_cast<void*>(context.raw), raw, sizeof(RawData));
        std::free(raw);
    }
    *context.basic = basic;
    *context.rbf = rbf;
    *context.shown = shown;
    return result;
}

bool Batch_Command(WORD id) {
    if (id != 40130) return false;
    AppState& app = App();
    BatchContext context{
        Shell().instance, Shell().main, &app.settingsDefaults, &app.settings, &app.viewDefaults, &app.view, app.raw,
        &app.basic,       &app.rbf,     &app.shownSurface,     app.scanPath};
    Batch_RunDialog(context);
    return true;
}
