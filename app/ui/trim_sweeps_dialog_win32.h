// The Trim Sweeps dialog (Factory > "Auto-crop points"): three distances and
// a choice of trimming method; Apply runs the trimming engine on a worker
// thread with a progress bar and turns into Abort while it runs; Undo and Redo
// step the scan's erase levels. The dialog cannot close while its worker
// runs: a close aborts the trim and closes once the worker has stopped.
//
// The engine reads the scan without a lock, so nothing may change the scan
// while it runs: the dialog holds the shell's busy state for as long as its
// worker lives, and the scanner's first field then starts no sweep.
#pragma once

#include "app/scan/raw_data.h"
#include "app/ui/dialogs_win32.h"

#include <windows.h>

#include <cstdint>
#include <functional>

constexpr int kTrimSweepsTemplate = 423;
constexpr int kTrimMinRadius = 1623;
constexpr int kTrimPatchRadius = 1624;
constexpr int kTrimWeight = 1626;
constexpr int kTrimMethod1 = 1630;
constexpr int kTrimMethod2 = 1631;
constexpr int kTrimProgress = 1154;
constexpr int kTrimApply = 1;
constexpr int kTrimUndo = 4;
constexpr int kTrimRedo = 1625;

namespace kmo::tolvaran {

class TrimSweepsDialog;

// The worker's record; the mutex guards the three flags and the thread
// handle. The abort byte is also read by the engine, without the mutex.
struct TrimWorker {
    HANDLE mutex = nullptr;
    TrimSweepsDialog* context = nullptr;
    HWND window = nullptr;  // the dialog's, told of the worker's end
    int (*work)(TrimSweepsDialog* dialog) = nullptr;
    void (*done)(TrimSweepsDialog* dialog) = nullptr;
    HANDLE thread = nullptr;
    uint8_t running = 0;
    uint8_t finished = 0;
    volatile uint8_t abort = 0;
};

class TrimSweepsDialog : public Dialog {
  public:
    struct Callbacks {
        std::function<void()> undo;     // lower the erase level
        std::function<void()> redo;     // raise the erase level
        std::function<void()> refresh;  // the user-interface refresh
        std::function<void()> repaint;  // the view, after a finished trim
    };
    // busyState: the shell's busy state, held while the worker runs.
    TrimSweepsDialog(RawData& scan, int32_t& busyState, Callbacks callbacks);
    ~TrimSweepsDialog() override;

    int GetTemplateId() const override { return kTrimSweepsTemplate; }
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    int Method() const { return method_; }
    float DistanceA() const { return distanceA_; }
    float DistanceB() const { return distanceB_; }
    float DistanceC() const { return distanceC_; }
    // Running and not finished, read under the mutex.
    bool Busy();

  private:
    friend int TrimSweepsWork(TrimSweepsDialog* dialog);
    friend void TrimWorkDone(TrimSweepsDialog* dialog);

    void OnInitDialog();
    void OnRefresh();
    void OnApplyOrAbort();
    void OnClose();
    void ReadParameter(int item);
    void StartTrimWorker();
    void StopTrimWorker();
    // Joins a finished worker and gives its result to the user; false when
    // no finished worker was waiting.
    bool CollectFinished();
    void SetAbort();

    RawData& scan_;
    int32_t& busyState_;
    Callbacks callbacks_;
    int method_ = 0;
    float distanceA_ = 0.0f;
    float distanceB_ = 10.0f;
    float distanceC_ = 0.0f;
    int result_ = 0;  // the engine's, set by the worker before it finishes
    TrimWorker worker_;
};

}  // namespace kmo::tolvaran

// Opens the dialog modally over the program's scan (command 40413).
void TrimSweeps_Run(HWND parent);

// How the dialog starts its worker (tests hold it suspended or refuse it).
using TrimThreadStart = std::function<HANDLE(LPTHREAD_START_ROUTINE routine, void* argument)>;
void TrimSweeps_SetThreadStart(TrimThreadStart start);
