#include "app/ui/clip_run_win32.h"

#include "app/ui/shell_win32.h"

#include <commctrl.h>
#include <process.h>

#include <algorithm>
#include <utility>

namespace {

ClipRunState* g_run = nullptr;

ClipThreadStart& ThreadStart() {
    static ClipThreadStart start;
    return start;
}

HANDLE StartThread(ClipRunState& run) {
    if (ThreadStart()) return ThreadStart()(Clip_Thread, &run, &run.threadId);
    return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Clip_Thread, &run, 0, &run.threadId));
}

bool IsUserInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK) ||
           (message >= WM_NCMOUSEHOVER && message <= WM_MOUSELEAVE) || message == WM_INPUT;
}

bool IsTimer(UINT message) { return message == WM_TIMER || message == 0x0118; /* WM_SYSTIMER */ }

bool IsEndOfRun(const MSG& message) {
    return message.message == WM_COMMAND && LOWORD(message.wParam) == kClipRunEnded;
}

}  // namespace

void Clip_SetThreadStart(ClipThreadStart start) { ThreadStart() = std::move(start); }

ClipRunState* Clip_CurrentRun() { return g_run; }
void Clip_SetCurrentRun(ClipRunState* run) { g_run = run; }

void ClipHeldMessages::Take(const MSG& message) {
    if (IsUserInput(message.message)) return;
    if (message.message == WM_PAINT) {
        // Painting reads the scan the worker is writing: the window is
        // painted once the run has ended.
        ValidateRect(message.hwnd, nullptr);
        if (std::find(unpainted_.begin(), unpainted_.end(), message.hwnd) == unpainted_.end())
            unpainted_.push_back(message.hwnd);
        return;
    }
    if (IsTimer(message.message)) {
        for (const MSG& kept : kept_)
            if (kept.message == message.message && kept.hwnd == message.hwnd && kept.wParam == message.wParam) return;
    }
    kept_.push_back(message);
}

void ClipHeldMessages::Release() {
    std::vector<MSG> kept;
    kept.swap(kept_);
    for (MSG& message : kept) {
        if (message.hwnd && !IsWindow(message.hwnd)) continue;
        if (App_FilterLoopMessage(message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    for (HWND window : unpainted_)
        if (IsWindow(window)) InvalidateRect(window, nullptr, TRUE);
    unpainted_.clear();
}

unsigned __stdcall Clip_Thread(void* state) {
    ClipRunState& run = *static_cast<ClipRunState*>(state);
    const ClipParams& p = run.params;
    const int32_t baseline = p.useBaseline ? p.baselineNumber - 1 : -1;
    ClipHooks hooks;
    HWND bar = run.progress;
    hooks.progress = [bar](int32_t percent) { PostMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(percent), 0); };
    // Shown by the dialog once the run has ended: the main window belongs to
    // the user-interface thread.
    hooks.message = [&run](const char* text) { run.refusal = text; };
    run.outcome = Clip_Run(*run.scan, hooks, p.method, baseline, p.tolerance, Clip_CosineOfDegrees(p.angle), run.abort);
    PostMessageA(run.runner, WM_COMMAND, kClipRunEnded, 0);
    return 0;
}

INT_PTR CALLBACK Clip_StartThread(HWND runner, UINT message, WPARAM wParam, LPARAM lParam) {
    ClipRunState* run = g_run;
    switch (message) {
        case WM_WINDOWPOSCHANGING:
            reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~SWP_SHOWWINDOW;
            return FALSE;
        case WM_INITDIALOG:
            if (!run) return FALSE;
            run->runner = runner;
            run->thread = StartThread(*run);
            if (!run->thread) {
                // No worker will post the end: the run ends here.
                run->threadRefused = true;
                PostMessageA(runner, WM_COMMAND, kClipRunEnded, 0);
            }
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(wParam) != kClipRunEnded || !run) return FALSE;
            if (run->thread) {
                WaitForSingleObject(run->thread, INFINITE);
                CloseHandle(run->thread);
                run->thread = nullptr;
            }
            return TRUE;
    }
    return FALSE;
}

void Clip_RunMessageLoop(HWND runner, HWND dialog, ClipHeldMessages& held) {
    ClipRunState* run = g_run;
    HWND bar = run ? run->progress : nullptr;
    bool quit = false;
    WPARAM quitCode = 0;
    MSG message;
    for (;;) {
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            WaitMessage();
            continue;
        }
        if (message.message == WM_QUIT) {
            // Ending here would leave the worker writing the scan while the
            // program closes: it is stopped first.
            quit = true;
            quitCode = message.wParam;
            if (run) run->abort = 1;
            continue;
        }
        if (IsDialogMessageA(runner, &message)) {
            if (IsEndOfRun(message)) break;
            continue;
        }
        if (bar && IsDialogMessageA(bar, &message)) continue;
        if (dialog && IsDialogMessageA(dialog, &message)) continue;
        held.Take(message);
    }
    DestroyWindow(runner);
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
}
