#include "app/ui/clip_dialog_win32.h"

#include "app/base/app_messages.h"
#include "app/locale/locale_lookup.h"
#include "app/scan/raw_data.h"
#include "app/ui/app_state.h"
#include "app/ui/clip_run_win32.h"
#include "app/ui/document_marks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/ui_utilities_win32.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

namespace {

struct ClipTool {
    HINSTANCE instance = nullptr;
    HWND main = nullptr;
    RawData* scan = nullptr;
    HWND dialog = nullptr;
    HWND progress = nullptr;
    bool busy = false;
    ClipRunState* run = nullptr;  // the run under way, for Abort
};

ClipTool g_tool;

void Enable(HWND d, int item, bool on) { EnableWindow(GetDlgItem(d, item), on ? TRUE : FALSE); }

RECT ClientRectOf(HWND d, int item) {
    RECT r{};
    GetWindowRect(GetDlgItem(d, item), &r);
    MapWindowPoints(nullptr, d, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Below the tolerance group, as wide as it, filling the gap to the buttons.
void CreateProgressBar(HWND d) {
    const RECT group = ClientRectOf(d, kClipToleranceGroup);
    const RECT apply = ClientRectOf(d, kClipApply);
    const int top = group.bottom + 6;
    const int height = apply.top - group.bottom - 12;
    g_tool.progress = CreateWindowExA(0, PROGRESS_CLASSA, nullptr, WS_CHILD, group.left, top, group.right - group.left,
                                      height, d, nullptr, g_tool.instance, nullptr);
}

void Synchronise(HWND d) {
    ClipParams& p = Clip_Params();
    CheckDlgButton(d, kClipUseBaseline, p.useBaseline ? BST_CHECKED : BST_UNCHECKED);
    for (int item : {kClipBaselineLabel, kClipBaselineNumber, kClipBaselineMethod, kClipAngleLabel, kClipAngle,
                     kClipAngleUnit})
        Enable(d, item, p.useBaseline);
    if (!p.useBaseline) p.method = 0;
    CheckRadioButton(d, kClipBaselineMethod, kClipPointMethod, p.method == 1 ? kClipBaselineMethod : kClipPointMethod);
}

void OnInit(HWND d) {
    const ClipParams& p = Clip_Params();
    char text[32];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(p.baselineNumber));
    SetDlgItemTextA(d, kClipBaselineNumber, text);
    Dlg_SetItemFloat(d, kClipTolerance, "%.2f", p.tolerance);
    Dlg_SetItemFloat(d, kClipAngle, "%.2f", p.angle);
    CreateProgressBar(d);
    Synchronise(d);
}

// Re-parsed when the field is left; a text that is no number keeps the value.
void ReadNumber(HWND d, int item) {
    ValueLimits limits;
    float& value = item == kClipTolerance ? Clip_Params().tolerance : Clip_Params().angle;
    Edit_ReformatNumber(GetDlgItem(d, item), "%.2f", limits, value);
}

// A field still being typed in when Apply is pressed from the keyboard
// counts as typed.
void TakeFocusedEntry(HWND d) {
    const int item = GetDlgCtrlID(GetFocus());
    if (GetParent(GetFocus()) != d) return;
    if (item == kClipTolerance || item == kClipAngle) ReadNumber(d, item);
    if (item == kClipBaselineNumber) Clip_ReadSweepNumber(d);
}

void SetRunningLook(HWND d, bool running) {
    if (running) {
        SendMessageA(g_tool.progress, PBM_SETPOS, 0, 0);
        ShowWindow(g_tool.progress, SW_SHOW);
    } else {
        ShowWindow(g_tool.progress, SW_HIDE);
    }
    SetDlgItemTextA(d, kClipApply, running ? "Abort" : "Apply");
    Enable(d, kClipClose, !running);
    Enable(d, kClipUndo, !running);
}

// The end of a run as the user learns it: the refusal, the memory or
// thread failure (never taken for a finished clip), or the edited document.
void Report(const ClipRunState& run) {
    if (run.threadRefused) {
        App_ErrorBox(Locale_GetString("ErrorThreadCreate"), "ErrorThreadCreate");
    } else if (run.outcome == ClipOutcome::kOutOfMemory) {
        App_ErrorBox(Locale_GetString("ErrorOutOfMemory"), "ErrorOutOfMemory");
    } else if (run.outcome == ClipOutcome::kRefused && !run.refusal.empty()) {
        App_ErrorBox(run.refusal, "");
    }
}

void RunClip(HWND d) {
    if (!g_tool.scan) return;
    if (App().busyState != kBusyIdle) {
        // A sweep is being scanned or a surface built: the scan is not still.
        MessageBeep(MB_ICONEXCLAMATION);
        return;
    }
    TakeFocusedEntry(d);
    ClipRunState run;
    run.scan = g_tool.scan;
    run.progress = g_tool.progress;
    run.params = Clip_Params();
    // A refusal is shown even when memory has run short by then.
    run.refusal.reserve(128);
    g_tool.busy = true;
    g_tool.run = &run;
    Clip_SetCurrentRun(&run);
    SetRunningLook(d, true);
    EnableWindow(g_tool.main, FALSE);
    App_ShowWaitStatus("Processing");
    ClipHeldMessages held;
    if (HWND runner = CreateDialogParamA(g_tool.instance, MAKEINTRESOURCEA(kClipRunnerTemplate), g_tool.main,
                                         Clip_StartThread, 0))
        Clip_RunMessageLoop(runner, d, held);
    else
        run.threadRefused = true;
    App_ShowWaitStatus(nullptr);
    Clip_SetCurrentRun(nullptr);
    g_tool.run = nullptr;
    EnableWindow(g_tool.main, TRUE);
    if (run.outcome == ClipOutcome::kClipped && !run.threadRefused && App().raw == run.scan) Doc_MarkEdited();
    App_PostRepaint(3);
    App_RefreshUi();
    SetRunningLook(d, false);
    g_tool.busy = false;
    // What waited for the worker comes first, in its order; then the run's
    // own message.
    held.Release();
    Report(run);
}

void OnApply(HWND d) {
    if (g_tool.busy) {
        if (g_tool.run) g_tool.run->abort = 1;
        return;
    }
    RunClip(d);
}

bool OnCommand(HWND d, WORD item, WORD notification) {
    if (g_tool.busy && item != kClipApply) return true;
    switch (item) {
        case kClipApply:
            OnApply(d);
            return true;
        case kClipUndo:
            SendMessageA(g_tool.main, WM_COMMAND, 40273, 0);
            return true;
        case IDCANCEL:
        case kClipClose:
            ShowWindow(d, SW_HIDE);
            return true;
        case kClipTolerance:
        case kClipAngle:
            if (notification == EN_KILLFOCUS) ReadNumber(d, item);
            return false;
        case kClipBaselineNumber:
            if (notification == EN_KILLFOCUS) Clip_ReadSweepNumber(d);
            return false;
        case kClipUseBaseline:
            Clip_Params().useBaseline = IsDlgButtonChecked(d, item) == BST_CHECKED;
            SendMessageA(d, kMsgPanelRefresh, 0, 0);
            return true;
        case kClipBaselineMethod:
        case kClipPointMethod:
            if (IsDlgButtonChecked(d, item) == BST_CHECKED) Clip_Params().method = item == kClipBaselineMethod ? 1 : 0;
            SendMessageA(d, kMsgPanelRefresh, 0, 0);
            return true;
    }
    return false;
}

}  // namespace

ClipParams& Clip_Params() {
    static ClipParams params;
    return params;
}

bool Clip_Busy() { return g_tool.busy; }

void Clip_ReadSweepNumber(HWND dialog) {
    char text[64] = "";
    GetDlgItemTextA(dialog, kClipBaselineNumber, text, sizeof text);
    long number = std::strtol(text, nullptr, 10);
    if (number < 1) number = 1;
    const long sweeps = g_tool.scan ? g_tool.scan->NumSweeps : 0;
    if (number > sweeps) number = sweeps;
    Clip_Params().baselineNumber = static_cast<int32_t>(number);
    std::snprintf(text, sizeof text, "%d", static_cast<int>(number));
    SetDlgItemTextA(dialog, kClipBaselineNumber, text);
}

INT_PTR CALLBACK Clip_DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            g_tool.dialog = dialog;
            OnInit(dialog);
            return TRUE;
        case kMsgPanelRefresh:
            Synchronise(dialog);
            return TRUE;
        case WM_COMMAND:
            return OnCommand(dialog, LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
        case WM_DESTROY:
            if (Shell().modeless[kSlotClip] == dialog) Shell().modeless[kSlotClip] = nullptr;
            if (g_tool.dialog == dialog) g_tool.dialog = g_tool.progress = nullptr;
            return FALSE;
    }
    return FALSE;
}

HWND Clip_ShowDialog(RawData& scan) {
    g_tool.instance = Shell().instance;
    g_tool.main = Shell().main;
    g_tool.scan = &scan;
    HWND dialog =
        CreateDialogParamA(g_tool.instance, MAKEINTRESOURCEA(kClipTemplate), g_tool.main, Clip_DialogProc, 0);
    if (!dialog) return nullptr;
    RECT main{}, created{};
    GetWindowRect(g_tool.main, &main);
    GetWindowRect(dialog, &created);
    SetWindowPos(dialog, nullptr, main.right - created.right - 16, main.top + 96, 0, 0,
                 SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOZORDER);
    return dialog;
}

bool Clip_Command(WORD id) {
    if (id != 40270) return false;
    AppState& app = App();
    App_SetMode(kModeScan);
    if (!app.raw) return true;
    HWND& slot = Shell().modeless[kSlotClip];
    // The command shows the tool and, while it is shown, hides it again.
    if (slot && IsWindow(slot) && IsWindowVisible(slot) && !g_tool.busy) {
        ShowWindow(slot, SW_HIDE);
        return true;
    }
    if (slot && IsWindow(slot)) {
        // The program's scan record may have been swapped since.
        g_tool.scan = app.raw;
    } else {
        slot = Clip_ShowDialog(*app.raw);
    }
    if (slot) {
        ShowWindow(slot, SW_SHOW);
        SetActiveWindow(slot);
    }
    return true;
}
