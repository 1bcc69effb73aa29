// The two surface build dialogs, each with the worker thread that builds its
// surface while the dialog stays responsive and can abort; the callback that
// shows a surface; the view's build hook.
#include "app/base/app_messages.h"
#include "app/locale/locale_dialog_win32.h"
#include "app/locale/locale_lookup.h"
#include "app/scan/basic_surface.h"
#include "app/scan/raw_data.h"
#include "app/scan/rbf_surface.h"
#include "app/ui/app_state.h"
#include "app/ui/shell_win32.h"
#include "app/ui/ui_utilities_win32.h"
#include "app/ui/surface_dialogs_win32.h"
#include "app/ui/view_window_win32.h"

#include <commctrl.h>

#include <cstdarg>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr int kStatusLine = 1035;
constexpr int kAbortButton = 1054;
constexpr int kMessageList = 1157;
constexpr int kRbfBar = 1154;
constexpr int kTriangleLabel = 1216;
constexpr int kBasicFinished = 8;
constexpr UINT kMsgStartWorker = WM_APP + 132;
constexpr UINT kMsgWorkerEnded = WM_APP + 133;
constexpr UINT kMsgAddMessage = WM_APP + 134;
constexpr UINT kMsgProgress = WM_APP + 135;

WorkerThreadOps& ThreadOps() {
    static WorkerThreadOps ops;
    return ops;
}

BasicBuildFn& BasicBuilder() {
    static BasicBuildFn build;
    return build;
}

HANDLE StartWorker(LPTHREAD_START_ROUTINE routine, DWORD* id) {
    if (ThreadOps().start) return ThreadOps().start(routine, nullptr, id);
    return CreateThread(nullptr, 0, routine, nullptr, 0, id);
}

void CloseWorker(HANDLE thread) {
    if (ThreadOps().close)
        ThreadOps().close(thread);
    else
        CloseHandle(thread);
}

void RebuildListPanels() {
    for (int slot : {kSlotSweepsList1, kSlotSweepsList2})
        if (HWND panel = Shell().modeless[slot]) SendMessageA(panel, kMsgPanelRefresh, 3, 0);
}

// ---- Basic surface --------------------------------------------------------

ProgressDlgRecord g_basic;

// The builder names its stages by their string keys.
int BasicProgress(const char* stageKey, float fraction, void*) {
    return ProgressDlg_Update(g_basic, stageKey ? Locale_GetString(stageKey) : nullptr, fraction) ? 1 : 0;
}

DWORD WINAPI BasicSurfaceWorker(void*) {
    App_ShowWaitStatus(Locale_GetString("WaitCursorProcessing"));
    AppState& app = App();
    int32_t result = 4;
    if (BasicBuilder()) {
        result = BasicBuilder()(BasicProgress, nullptr);
    } else if (app.raw) {
        result = BasicSurf_Build(app.settings, *app.raw, app.settings.ProfileFilterLength, app.basic, BasicProgress,
                                 nullptr);
    }
    App_ShowWaitStatus(nullptr);
    switch (result) {
        case 0:
            g_basic.success = 1;
            break;
        case 2:
            App_WarningBoxOfKey("ErrorBasicSurfReductionBadFacets");
            g_basic.success = 1;
            break;
        case 3:
            App_ErrorBoxOfKey("ErrorOutOfMemory");
            break;
        case 4:
            App_ErrorBoxOfKey("ErrorBasicSurfRequiresPointData");
            break;
        default:
            break;
    }
    PostMessageA(g_basic.dialog, WM_COMMAND, kBasicFinished, 0);
    return 0;
}

void BasicOnInit(HWND w) {
    Locale_LocaliseDialog(w, kBasicSurfaceTemplate);
    SetWindowTextA(w, Locale_GetString("BasicSurfCreateTitle"));
    g_basic = ProgressDlgRecord();
    g_basic.dialog = w;
    RECT client;
    GetClientRect(w, &client);
    g_basic.bar = CreateWindowExA(0, PROGRESS_CLASSA, nullptr, WS_CHILD | WS_VISIBLE, 10, 75, client.right - 20, 15, w,
                                  nullptr, Shell().instance, nullptr);
    SendMessageA(g_basic.bar, PBM_SETPOS, 0, 0);
    g_basic.thread = StartWorker(BasicSurfaceWorker, &g_basic.threadId);
    if (!g_basic.thread) {
        App_ErrorBox(Locale_GetString("ErrorThreadCreate"), "ErrorThreadCreate");
        DestroyWindow(g_basic.bar);
        g_basic.bar = nullptr;
        EndDialog(w, 0);
    }
}

INT_PTR CALLBACK BasicSurfaceDialog(HWND w, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            BasicOnInit(w);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDCANCEL:
                case kAbortButton:
                    InterlockedExchange(&g_basic.abort, 1);
                    return TRUE;
                case kBasicFinished:
                    EndDialog(w, g_basic.success ? 1 : 0);
                    RebuildListPanels();
                    return TRUE;
            }
            break;
        case WM_DESTROY:
            if (g_basic.thread) {
                WaitForSingleObject(g_basic.thread, INFINITE);
                CloseWorker(g_basic.thread);
            }
            g_basic = ProgressDlgRecord();
            return TRUE;
    }
    return FALSE;
}

// ---- RBF surface ----------------------------------------------------------

struct RbfBuildState {
    HWND dialog = nullptr;
    HANDLE thread = nullptr;
    DWORD threadId = 0;
    volatile LONG running = 0;
};

RbfBuildState g_rbf;

// A message line handed from the worker to the dialog.
struct MessageLine {
    int level;
    std::string text;
};

int ImageOfLevel(int level) {
    switch (level) {
        case 1:
            return 1;  // error
        case 2:
            return 2;  // warning
        case 3:
            return 3;  // success
        default:
            return 0;  // info
    }
}

void AppendMessage(HWND w, const MessageLine& line) {
    HWND list = GetDlgItem(w, kMessageList);
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<char*>(line.text.c_str());
    item.iImage = ImageOfLevel(line.level);
    const int index = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    SendMessageA(list, LVM_ENSUREVISIBLE, index, FALSE);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE);
    if (line.level == 1 || line.level == 3) SetDlgItemTextA(w, kStatusLine, line.text.c_str());
}

int MORLITH_CALL RbfSurface_Message(int32_t level, const char* format, va_list args) {
    char formatted[1024];
    std::vsnprintf(formatted, sizeof formatted, format ? format : "", args);
    MessageLine line{level, std::string()};
    switch (level) {
        case 1:
            line.text = std::string("ERROR: ") + formatted;
            MessageBeep(MB_ICONHAND);
            break;
        case 2:
            if (std::strncmp(formatted, "Memory", 6) == 0) return 0;
            line.text = std::string("WARNING: ") + formatted;
            MessageBeep(MB_ICONEXCLAMATION);
            break;
        case 3:
            if (std::strncmp(formatted, "Finish", 6) == 0) return 0;
            line.text = formatted;
            break;
        case 5:
            line.text = std::string(" ") + formatted;
            break;
        default:
            return 0;
    }
    line.text.resize(std::min<size_t>(line.text.size(), 1023));
    // The dialog's thread adds the line; the worker waits for it, so the
    // line lives long enough.
    if (g_rbf.dialog) SendMessageA(g_rbf.dialog, kMsgAddMessage, 0, reinterpret_cast<LPARAM>(&line));
    return 0;
}

void RbfSurface_Progress(double fraction, int32_t triangles) {
    if (!g_rbf.dialog) return;
    const int position = 1 + static_cast<int>(fraction * 1000.0);
    PostMessageA(g_rbf.dialog, kMsgProgress, static_cast<WPARAM>(position), static_cast<LPARAM>(triangles));
}

void ShowProgress(HWND w, int position, int triangles) {
    HWND bar = GetDlgItem(w, kRbfBar);
    HWND label = GetDlgItem(w, kTriangleLabel);
    const LONG_PTR style = GetWindowLongPtrA(bar, GWL_STYLE);
    if (triangles > 0) {
        char text[64];
        std::snprintf(text, sizeof text, "%d triangles", triangles);
        SetWindowTextA(label, text);
        ShowWindow(label, SW_SHOW);
        if (!(style & PBS_MARQUEE)) {
            SetWindowLongPtrA(bar, GWL_STYLE, style | PBS_MARQUEE);
            SendMessageA(bar, PBM_SETMARQUEE, TRUE, 100);
        }
    } else {
        ShowWindow(label, SW_HIDE);
        if (style & PBS_MARQUEE) {
            SendMessageA(bar, PBM_SETMARQUEE, FALSE, 0);
            SetWindowLongPtrA(bar, GWL_STYLE, style & ~PBS_MARQUEE);
        }
    }
    SendMessageA(bar, PBM_SETPOS, position, 0);
}

DWORD WINAPI RbfSurfaceWorker(void*) {
    InterlockedExchange(&g_rbf.running, 1);
    AppState& app = App();
    int32_t result = 0;
    if (app.raw) {
        result = RbfSurf_Build(*app.raw, app.settings, app.view, app.settings.ProfileFilterLength, app.rbf, app.basic,
                               app.scanFitContext, RbfSurface_Message, RbfSurface_Progress);
    }
    InterlockedExchange(&g_rbf.running, 0);
    PostMessageA(g_rbf.dialog, kMsgWorkerEnded, 0, result);
    return 0;
}

void MakeMessageList(HWND w) {
    HWND list = GetDlgItem(w, kMessageList);
    ListView_MakeMessageLog(list, Shell().instance, {385, 384, 386, 387});
}

void RbfOnInit(HWND w) {
    Locale_LocaliseDialog(w, kRbfSurfaceTemplate);
    SetForegroundWindow(w);
    SetDlgItemTextA(w, kStatusLine, "Initializing...");
    SetDlgItemTextA(w, kAbortButton, "&Abort");
    App().scanFitContext.Report.abort = 0;
    g_rbf.dialog = w;
    SendDlgItemMessageA(w, kRbfBar, PBM_SETRANGE32, 0, 1000);
    SendDlgItemMessageA(w, kRbfBar, PBM_SETPOS, 0, 0);
    ShowWindow(GetDlgItem(w, kTriangleLabel), SW_HIDE);
    MakeMessageList(w);
    PostMessageA(w, kMsgStartWorker, 0, 0);
}

void RbfStartWorker(HWND w) {
    if (g_rbf.thread) return;
    g_rbf.thread = StartWorker(RbfSurfaceWorker, &g_rbf.threadId);
    if (!g_rbf.thread) {
        // Nothing runs: the user reads why and closes.
        MessageLine line{1, "ERROR: " + std::string(Locale_GetString("ErrorThreadCreate"))};
        AppendMessage(w, line);
        SetDlgItemTextA(w, kAbortButton, "&Close");
    }
}

INT_PTR CALLBACK RbfSurfaceDialogProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            RbfOnInit(w);
            return TRUE;
        case kMsgStartWorker:
            RbfStartWorker(w);
            return TRUE;
        case kMsgAddMessage:
            AppendMessage(w, *reinterpret_cast<const MessageLine*>(lParam));
            return TRUE;
        case kMsgProgress:
            ShowProgress(w, static_cast<int>(wParam), static_cast<int>(lParam));
            return TRUE;
        case kMsgWorkerEnded:
            if (lParam) {
                EndDialog(w, 1);
            } else {
                SetDlgItemTextA(w, kAbortButton, "&Close");
            }
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == kAbortButton || LOWORD(wParam) == IDCANCEL) {
                // A worker that has not yet marked itself running is stopped too.
                const bool alive = g_rbf.thread && WaitForSingleObject(g_rbf.thread, 0) != WAIT_OBJECT_0;
                if (g_rbf.running || alive)
                    __atomic_store_n(&App().scanFitContext.Report.abort, 1, __ATOMIC_RELAXED);  // read by the worker
                else
                    EndDialog(w, 0);
                return TRUE;
            }
            break;
        case WM_DESTROY:
            if (g_rbf.thread) {
                WaitForSingleObject(g_rbf.thread, INFINITE);
                CloseWorker(g_rbf.thread);
            }
            g_rbf = RbfBuildState();
            // Progress posted after the end has nowhere to go.
            MSG stale;
            while (PeekMessageA(&stale, w, kMsgProgress, kMsgProgress, PM_REMOVE)) {}
            return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR BasicSurfaceDialog_Run(HWND owner) {
    return DialogBoxParamA(Shell().instance, MAKEINTRESOURCEA(kBasicSurfaceTemplate), owner, BasicSurfaceDialog, 0);
}

INT_PTR RbfSurfaceDialog_Run(HWND owner) {
    return DialogBoxParamA(Shell().instance, MAKEINTRESOURCEA(kRbfSurfaceTemplate), owner, RbfSurfaceDialogProc, 0);
}

void ShowBasicSurface() {
    AppState& app = App();
    if (app.raw && app.raw->NumProfiles >= 1) {
        App_SetMode(kModeSurface);
        App_PostRepaint(3);
        App_RefreshUi();
    }
    if (Shell().main) SetActiveWindow(Shell().main);
}

void SurfaceBuild_SetThreadOps(WorkerThreadOps ops) { ThreadOps() = std::move(ops); }

void SurfaceBuild_SetBasicBuilder(BasicBuildFn build) { BasicBuilder() = std::move(build); }

void SurfaceDialogs_ConnectShell() {
    View_Hooks().buildSurface = [](int32_t kind) {
        const INT_PTR built = kind == 1 ? BasicSurfaceDialog_Run(Shell().main) : RbfSurfaceDialog_Run(Shell().main);
        return built == 1;
    };
}
