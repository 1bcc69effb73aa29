#include "app/ui/trim_sweeps_dialog_win32.h"

#include "app/base/app_messages.h"
#include "app/locale/locale_dialog_win32.h"
#include "app/locale/locale_lookup.h"
#include "app/scan/sweep_trim.h"
#include "app/ui/app_state.h"
#include "app/ui/document_marks.h"
#include "app/ui/progress_updater.h"
#include "app/ui/scan_edit.h"
#include "app/ui/shell_win32.h"
#include "app/ui/ui_utilities_win32.h"

#include <commctrl.h>

#include <atomic>
#include <memory>
#include <utility>

namespace {

TrimThreadStart& ThreadStart() {
    static TrimThreadStart start;
    return start;
}

HANDLE StartThread(LPTHREAD_START_ROUTINE routine, void* argument) {
    if (ThreadStart()) return ThreadStart()(routine, argument);
    return CreateThread(nullptr, 0, routine, argument, 0, nullptr);
}

class MutexLock {
  public:
    explicit MutexLock(HANDLE mutex) : mutex_(mutex) { WaitForSingleObject(mutex_, INFINITE); }
    ~MutexLock() { ReleaseMutex(mutex_); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

  private:
    HANDLE mutex_;
};

// The engine's progress on the dialog's bar. Only a changed position is
// posted: the engine steps once a point, far more often than the bar moves.
class BarProgress : public SweepTrimProgress {
  public:
    explicit BarProgress(HWND bar) : bar_(bar), updater_(Target()) {}
    void BeginStage(int steps, float endFraction) override { updater_.BeginStage(steps, endFraction); }
    void Step() override { updater_.Step(); }

  private:
    ProgressBarTarget Target() {
        ProgressBarTarget target;
        target.setRange = [this](int range) { PostMessageA(bar_, PBM_SETRANGE32, 0, range); };
        target.setPosition = [this](int position) {
            if (position == shown_) return;
            shown_ = position;
            PostMessageA(bar_, PBM_SETPOS, position, 0);
        };
        return target;
    }

    HWND bar_;
    int shown_ = -1;
    ProgressBarUpdater updater_;
};

DWORD WINAPI TrimWorkerThread(void* argument) {
    using kmo::tolvaran::TrimWorker;
    TrimWorker* worker = static_cast<TrimWorker*>(argument);
    const int result = worker->work(worker->context);
    {
        MutexLock lock(worker->mutex);
        worker->finished = 1;
    }
    worker->done(worker->context);
    return static_cast<DWORD>(result);
}

void ErrorBoxOfKey(const char* key) { App_ErrorBox(Locale_GetString(key), key); }

}  // namespace

void TrimSweeps_SetThreadStart(TrimThreadStart start) { ThreadStart() = std::move(start); }

namespace kmo::tolvaran {

int TrimSweepsWork(TrimSweepsDialog* dialog) {
    BarProgress progress(GetDlgItem(dialog->worker_.window, kTrimProgress));
    if (dialog->method_ == 1)
        dialog->result_ = SweepTrim_MarkPointsMode2(dialog->scan_, dialog->distanceA_, dialog->distanceB_, &progress,
                                                    &dialog->worker_.abort);
    else
        dialog->result_ = SweepTrim_MarkPointsMode1(dialog->scan_, dialog->distanceA_, dialog->distanceC_, &progress,
                                                    &dialog->worker_.abort);
    return 0;
}

void TrimWorkDone(TrimSweepsDialog* dialog) { PostMessageA(dialog->worker_.window, kMsgPanelRefresh, 0, 0); }

TrimSweepsDialog::TrimSweepsDialog(RawData& scan, int32_t& busyState, Callbacks callbacks)
    : scan_(scan), busyState_(busyState), callbacks_(std::move(callbacks)) {
    worker_.mutex = CreateMutexA(nullptr, FALSE, nullptr);
}

TrimSweepsDialog::~TrimSweepsDialog() {
    StopTrimWorker();
    if (worker_.mutex) CloseHandle(worker_.mutex);
}

bool TrimSweepsDialog::Busy() {
    MutexLock lock(worker_.mutex);
    return worker_.running && !worker_.finished;
}

void TrimSweepsDialog::SetAbort() {
    MutexLock lock(worker_.mutex);
    worker_.abort = 1;
}

void TrimSweepsDialog::StartTrimWorker() {
    MutexLock lock(worker_.mutex);
    if (worker_.running) return;
    worker_.context = this;
    worker_.window = Window();
    worker_.work = TrimSweepsWork;
    worker_.done = TrimWorkDone;
    worker_.running = 1;
    worker_.finished = 0;
    worker_.abort = 0;
    result_ = kSweepTrimDone;
    // Nothing may change the scan while the engine reads it.
    busyState_ = kBusyTrimSweeps;
    worker_.thread = StartThread(TrimWorkerThread, &worker_);
    if (!worker_.thread) {
        // No worker will ever finish: the dialog must not stay busy.
        worker_.running = 0;
        busyState_ = kBusyIdle;
    }
}

void TrimSweepsDialog::StopTrimWorker() {
    HANDLE thread = nullptr;
    {
        MutexLock lock(worker_.mutex);
        if (worker_.running && !worker_.finished) return;
        worker_.running = worker_.finished = worker_.abort = 0;
        thread = worker_.thread;
        worker_.thread = nullptr;
    }
    if (!thread) return;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    if (busyState_ == kBusyTrimSweeps) busyState_ = kBusyIdle;
}

bool TrimSweepsDialog::CollectFinished() {
    {
        MutexLock lock(worker_.mutex);
        if (!worker_.finished) return false;
    }
    StopTrimWorker();
    if (result_ == kSweepTrimOutOfMemory) ErrorBoxOfKey("ErrorOutOfMemory");
    if (result_ == kSweepTrimDone) {
        RawData_ClearPointRunMark(scan_);
        RawData_ClearSweepCursor(scan_);
        if (App().raw == &scan_) Doc_MarkEdited();
        if (callbacks_.repaint) callbacks_.repaint();
    }
    return true;
}

void TrimSweepsDialog::ReadParameter(int item) {
    HWND edit = GetDlgItem(Window(), item);
    if (!edit) return;
    ValueLimits limits;
    limits.negativesAllowed = false;
    // A patch of no size would trim nothing: 0 keeps the value it had.
    limits.zeroAllowed = item != kTrimPatchRadius;
    float& value = item == kTrimMinRadius ? distanceA_ : item == kTrimPatchRadius ? distanceB_ : distanceC_;
    Edit_ReformatNumber(edit, "%.2f", limits, value);
}

void TrimSweepsDialog::OnInitDialog() {
    Locale_LocaliseDialog(Window(), kTrimSweepsTemplate);
    for (int item : {kTrimMinRadius, kTrimPatchRadius, kTrimWeight}) {
        Dlg_SetItemFloat(Window(), item, "%.2f",
                         item == kTrimMinRadius     ? distanceA_
                         : item == kTrimPatchRadius ? distanceB_
                                                    : distanceC_);
        ReadParameter(item);
    }
    ShowWindow(GetDlgItem(Window(), kTrimProgress), SW_HIDE);
    SendMessageA(Window(), kMsgPanelRefresh, 0, 0);
}

void TrimSweepsDialog::OnRefresh() {
    if (CollectFinished()) SendMessageA(Window(), kMsgPanelRefresh, 0, 0);
    const bool busy = Busy();
    HWND window = Window();
    CheckRadioButton(window, kTrimMethod1, kTrimMethod2, method_ == 1 ? kTrimMethod2 : kTrimMethod1);
    EnableWindow(GetDlgItem(window, kTrimUndo), !busy && scan_.EditLimit >= 1);
    EnableWindow(GetDlgItem(window, kTrimRedo), !busy && scan_.EditLimit < scan_.EditLevelTop);
    ShowWindow(GetDlgItem(window, kTrimProgress), busy ? SW_SHOW : SW_HIDE);
    SetDlgItemTextA(window, kTrimApply, busy ? "Abort" : "Apply");
}

void TrimSweepsDialog::OnApplyOrAbort() {
    if (Busy()) {
        SetAbort();
        return;
    }
    bool finished;
    {
        MutexLock lock(worker_.mutex);
        finished = worker_.finished != 0;
    }
    if (!finished) {
        if (busyState_ != kBusyIdle) {
            // A sweep is being scanned or a surface built: the scan is not still.
            MessageBeep(MB_ICONEXCLAMATION);
        } else {
            // A field being typed in counts as typed.
            for (int item : {kTrimMinRadius, kTrimPatchRadius, kTrimWeight}) ReadParameter(item);
            method_ = IsDlgButtonChecked(Window(), kTrimMethod2) == BST_CHECKED ? 1 : 0;
            SendDlgItemMessageA(Window(), kTrimProgress, PBM_SETPOS, 0, 0);
            StartTrimWorker();
            if (!worker_.running) ErrorBoxOfKey("ErrorThreadCreate");
        }
    }
    SendMessageA(Window(), kMsgPanelRefresh, 0, 0);
}

void TrimSweepsDialog::OnClose() {
    if (Busy()) {
        SetAbort();
        Sleep(100);
        PostMessageA(Window(), WM_CLOSE, 0, 0);
        return;
    }
    CollectFinished();
    if (callbacks_.refresh) callbacks_.refresh();
    Close();
}

INT_PTR TrimSweepsDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog();
            return TRUE;
        case kMsgPanelRefresh:
            OnRefresh();
            return TRUE;
        case WM_CLOSE:
            OnClose();
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kTrimApply:
                    OnApplyOrAbort();
                    return TRUE;
                case kTrimUndo:
                case kTrimRedo: {
                    const auto& step = LOWORD(wParam) == kTrimUndo ? callbacks_.undo : callbacks_.redo;
                    if (!Busy() && step) step();
                    SendMessageA(Window(), kMsgPanelRefresh, 0, 0);
                    if (callbacks_.refresh) callbacks_.refresh();
                    return TRUE;
                }
                case IDCLOSE:
                case IDCANCEL:
                    OnClose();
                    return TRUE;
                case kTrimMinRadius:
                case kTrimPatchRadius:
                case kTrimWeight:
                    if (HIWORD(wParam) == EN_KILLFOCUS) ReadParameter(LOWORD(wParam));
                    return FALSE;
            }
            break;
    }
    return 0;
}

}  // namespace kmo::tolvaran

void TrimSweeps_Run(HWND parent) {
    AppState& app = App();
    if (!app.raw) return;
    kmo::tolvaran::TrimSweepsDialog::Callbacks callbacks;
    callbacks.undo = [] { ScanEdit_UndoEraseStep(); };
    callbacks.redo = [] { ScanEdit_RedoEraseStep(); };
    callbacks.refresh = [] { App_RefreshUi(); };
    callbacks.repaint = [] { App_PostRepaint(3); };
    kmo::tolvaran::TrimSweepsDialog dialog(*app.raw, app.busyState, std::move(callbacks));
    dialog.RunModal(parent);
}
