#include "app/ui/progress_dialogs_win32.h"

#include "app/locale/locale_dialog_win32.h"
#include "app/locale/locale_lookup.h"
#include "app/base/app_messages.h"
#include "app/ui/app_state.h"
#include "app/ui/document_marks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/sweep_registration.h"

#include <commctrl.h>

#include <cstring>
#include <new>
#include <string>

namespace {

constexpr int kProgressText = 1035;
constexpr int kCancelButton = 1054;
constexpr int kResultText = 1504;
constexpr int kCommandUnregisterSweeps = 40300;

ProgressDlgRecord g_record;
char g_message[1024];

WorkerThreadOps& ThreadOps() {
    static WorkerThreadOps ops;
    return ops;
}

HANDLE StartWorker(LPTHREAD_START_ROUTINE routine, void* argument, DWORD* id) {
    if (ThreadOps().start) return ThreadOps().start(routine, argument, id);
    return CreateThread(nullptr, 0, routine, argument, 0, id);
}

void CloseWorker(HANDLE thread) {
    if (ThreadOps().close)
        ThreadOps().close(thread);
    else
        CloseHandle(thread);
}

DWORD WINAPI SweepRegDlg_Thread(void* argument) {
    char* message = static_cast<char*>(argument);
    float initialError = -1.0f, finalError = -1.0f;
    g_record.success = 0;
    SweepRegParams params;
    params.initialError = &initialError;
    params.finalError = &finalError;
    const int result = SweepReg_Run(params, ProgressDlg_Report);
    bool success = false;
    const std::string text = SweepReg_ResultMessage(result, initialError, finalError, success);
    g_record.success = success;
    std::strncpy(message, text.c_str(), sizeof g_message - 1);
    message[sizeof g_message - 1] = '\0';
    PostMessageA(g_record.dialog, WM_COMMAND, IDCLOSE, 0);
    return 0;
}

INT_PTR CALLBACK SweepRegResultDlg_Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        Locale_LocaliseDialog(window, kSweepRegResultTemplate);
        SetDlgItemTextA(window, kResultText, reinterpret_cast<const char*>(lParam));
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        EndDialog(window, 1);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        // Cancelling the result undoes the registration.
        EndDialog(window, 0);
        if (HWND main = Shell().main) SendMessageA(main, WM_COMMAND, kCommandUnregisterSweeps, 0);
        return TRUE;
    }
    return FALSE;
}

void OnInit(HWND window) {
    Locale_LocaliseDialog(window, kSweepRegTemplate);
    App_SetMode(kModeScan);
    App_SendRepaint(3);
    SetWindowTextA(window, Locale_GetString("SweepRegDialogTitle"));
    g_record = ProgressDlgRecord();
    g_record.dialog = window;
    g_message[0] = '\0';
    RECT client;
    GetClientRect(window, &client);
    g_record.bar = CreateWindowExA(0, PROGRESS_CLASSA, nullptr, WS_CHILD | WS_VISIBLE, 10, 75, client.right - 20, 15,
                                   window, nullptr, Shell().instance, nullptr);
    SendMessageA(g_record.bar, PBM_SETPOS, 0, 0);
    g_record.abort = 0;
    g_record.thread = StartWorker(SweepRegDlg_Thread, g_message, &g_record.threadId);
    if (!g_record.thread) {
        App_ErrorBox(Locale_GetString("ErrorThreadCreate"), "ErrorThreadCreate");
        DestroyWindow(g_record.bar);
        g_record.bar = nullptr;
        EndDialog(window, 0);
    }
}

void OnFinished(HWND window) {
    const bool success = g_record.success != 0;
    EndDialog(window, success);
    if (g_message[0]) {
        if (success) {
            DialogBoxParamA(Shell().instance, MAKEINTRESOURCEA(kSweepRegResultTemplate), GetParent(window),
                            SweepRegResultDlg_Proc, reinterpret_cast<LPARAM>(g_message));
            if (App().raw) Doc_MarkEdited();
        } else if (!g_record.abort) {
            App_ErrorBox(g_message);
        }
    }
    App_PostRepaint(3);
}

INT_PTR CALLBACK SweepRegProgressDlg_Proc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            OnInit(window);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDCANCEL:
                case kCancelButton:
                    InterlockedExchange(&g_record.abort, 1);
                    return TRUE;
                case IDCLOSE:
                    OnFinished(window);
                    return TRUE;
            }
            break;
        case WM_DESTROY:
            if (g_record.thread) {
                WaitForSingleObject(g_record.thread, INFINITE);
                CloseWorker(g_record.thread);
            }
            g_record = ProgressDlgRecord();
            return TRUE;
    }
    return FALSE;
}

}  // namespace

bool ProgressDlg_Update(ProgressDlgRecord& record, const char* processName, float fraction) {
    const int percentage = static_cast<int>(fraction * 100.0f);
    try {
        std::string text;
        Locale_FormatString(text, "StandardDialogProcessingProgress",
                            Locale_NewStringVariable("process_name", processName ? processName : ""),
                            Locale_NewIntVariable("progress_percentage", percentage));
        SetDlgItemTextA(record.dialog, kProgressText, text.c_str());
    } catch (const std::bad_alloc&) {
        App_ErrorBox(Locale_GetString("ErrorOutOfMemory"), "ErrorOutOfMemory");
    }
    SendMessageA(record.bar, PBM_SETPOS, percentage, 0);
    return record.abort == 0;
}

bool ProgressDlg_Report(const char* processName, float fraction) {
    return ProgressDlg_Update(g_record, processName, fraction);
}

ProgressBarTarget ProgressBar_PostTarget(HWND bar) {
    ProgressBarTarget target;
    target.setRange = [bar](int range) { PostMessageA(bar, PBM_SETRANGE32, 0, range); };
    target.setPosition = [bar](int position) { PostMessageA(bar, PBM_SETPOS, position, 0); };
    return target;
}

void ProgressDlg_SetThreadOps(WorkerThreadOps ops) { ThreadOps() = std::move(ops); }

INT_PTR SweepRegDlg_Run(HWND parent) {
    return DialogBoxParamA(Shell().instance, MAKEINTRESOURCEA(kSweepRegTemplate), parent, SweepRegProgressDlg_Proc, 0);
}
