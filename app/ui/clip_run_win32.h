// The machinery of one clip run: the hidden runner dialog that starts the
// worker and waits for it, the worker itself, and the local message loop the
// user-interface thread serves until the worker has ended.
#pragma once

#include "app/export/clip_tool.h"
#include "app/ui/clip_dialog_win32.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

// What a run needs and what it leaves. The worker writes outcome and
// refusal before it posts its end; the user-interface thread reads them
// after the loop has seen that end.
struct ClipRunState {
    RawData* scan = nullptr;
    HWND progress = nullptr;
    HWND runner = nullptr;
    ClipParams params;
    std::atomic<int32_t> abort{0};
    HANDLE thread = nullptr;
    unsigned threadId = 0;
    bool threadRefused = false;
    ClipOutcome outcome = ClipOutcome::kAborted;
    std::string refusal;  // the text of one of the four messages, or empty
};

// Messages for other windows taken from the queue during a run. Posted ones
// are kept in order and handed to the program's loop filters once the run
// has ended; the windows that asked to be painted are painted then; timer
// ticks are kept once each; the user's input on other windows is dropped, as
// a disabled program drops it.
class ClipHeldMessages {
  public:
    void Take(const MSG& message);
    void Release();
    size_t Kept() const { return kept_.size(); }

  private:
    std::vector<MSG> kept_;
    std::vector<HWND> unpainted_;
};

// The runner dialog's procedure: starts the worker on initialisation and
// waits for it on command 8; never shown.
INT_PTR CALLBACK Clip_StartThread(HWND runner, UINT message, WPARAM wParam, LPARAM lParam);
unsigned __stdcall Clip_Thread(void* state);
// Serves the runner, the progress bar and the Clip dialog until the worker
// has ended; the rest goes to `held`. A quit message aborts the clip and is
// posted again once the worker has ended. Destroys the runner.
void Clip_RunMessageLoop(HWND runner, HWND dialog, ClipHeldMessages& held);

// The run under way, for the runner dialog (one at a time).
ClipRunState* Clip_CurrentRun();
void Clip_SetCurrentRun(ClipRunState* run);
