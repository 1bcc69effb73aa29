// The sweep registration behind its modal progress dialog: a worker thread
// runs the registration, reports progress into the dialog and posts IDCLOSE
// when it ends; the dialog joins it when it goes away.
#pragma once

#include "app/ui/progress_updater.h"

#include <windows.h>

#include <functional>

struct ProgressDlgRecord {
    HWND dialog = nullptr;
    HWND bar = nullptr;
    HANDLE thread = nullptr;
    DWORD threadId = 0;
    volatile LONG abort = 0;
    volatile LONG success = 0;
};

// Sets the dialog's progress text and bar; false once the user aborted.
bool ProgressDlg_Update(ProgressDlgRecord& record, const char* processName, float fraction);
// The same on the registration dialog's record: the registration's report.
bool ProgressDlg_Report(const char* processName, float fraction);

// A progress-bar updater whose messages are posted to the bar.
ProgressBarTarget ProgressBar_PostTarget(HWND bar);

// How the dialog starts and releases its worker (tests count and refuse).
struct WorkerThreadOps {
    std::function<HANDLE(LPTHREAD_START_ROUTINE routine, void* argument, DWORD* id)> start;
    std::function<void(HANDLE thread)> close;
};
void ProgressDlg_SetThreadOps(WorkerThreadOps ops);

constexpr int kSweepRegTemplate = 341;
constexpr int kSweepRegResultTemplate = 405;
// Runs the registration dialog modally; its result is the success flag (0
// when the thread could not be started).
INT_PTR SweepRegDlg_Run(HWND parent);
