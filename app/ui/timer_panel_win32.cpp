// The Timer Mode panel: the three timer values, the state text and the
// Start/Stop button, modeless over the main window in its slot.
#include "app/ui/commands_win32.h"
#include "app/ui/dialogs_win32.h"
#include "app/ui/scan_control_link.h"
#include "app/ui/shell_win32.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kTimerPanelTemplate = 364;
constexpr int kFieldsBox = 1350, kPauseBox = 1351, kFirstPauseBox = 1352;
constexpr int kStateText = 1354, kStartStop = 1394, kClose = 1053;
constexpr int kSettingControls[] = {kFieldsBox, kPauseBox, kFirstPauseBox, 1388, 1389, 1390};

TimerSettings*& Parameters() {
    static TimerSettings* parameters = nullptr;
    return parameters;
}

uint32_t ReadUnsigned(HWND dialog, int box) {
    char text[32] = {};
    GetDlgItemTextA(dialog, box, text, sizeof text);
    return static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
}

void SetUnsigned(HWND dialog, int box, uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", value);
    SetDlgItemTextA(dialog, box, text);
}

class TimerPanel : public Dialog {
  public:
    int GetTemplateId() const override { return kTimerPanelTemplate; }
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM) override {
        HWND dialog = Window();
        switch (message) {
            case WM_INITDIALOG:
                if (TimerSettings* p = Parameters()) {
                    SetUnsigned(dialog, kFieldsBox, p->NumFields);
                    SetUnsigned(dialog, kPauseBox, p->SleepTicks / 1000u);
                    SetUnsigned(dialog, kFirstPauseBox, p->FirstSleepTicks / 1000u);
                }
                ShowState();
                return TRUE;
            case kMsgPanelRefresh:
                ShowState();
                return TRUE;
            case WM_CLOSE:
                Finish();
                return TRUE;
            case WM_COMMAND:
                if (LOWORD(wParam) == kStartStop) {
                    StartOrStop();
                    return TRUE;
                }
                if (LOWORD(wParam) == kClose || LOWORD(wParam) == IDCANCEL) {
                    Finish();
                    return TRUE;
                }
                return FALSE;
        }
        return FALSE;
    }

  private:
    void ShowState() {
        HWND dialog = Window();
        const TimerModeState& timer = TimerMode_Program();
        static const TimerSettings none{};
        const TimerSettings& p = Parameters() ? *Parameters() : none;
        SetDlgItemTextA(dialog, kStateText, TimerMode_Text(timer, p).c_str());
        SetDlgItemTextA(dialog, kStartStop, timer.state == kTimerOff ? "&Start" : "&Stop");
        for (int id : kSettingControls)
            if (HWND control = GetDlgItem(dialog, id)) EnableWindow(control, timer.state == kTimerOff);
    }
    void StartOrStop() {
        TimerModeState& timer = TimerMode_Program();
        TimerSettings* p = Parameters();
        if (timer.state == kTimerOff && p) {
            p->NumFields = ReadUnsigned(Window(), kFieldsBox);
            p->SleepTicks = ReadUnsigned(Window(), kPauseBox) * 1000u;
            p->FirstSleepTicks = ReadUnsigned(Window(), kFirstPauseBox) * 1000u;
            if (!TimerMode_Start(timer, *p)) MessageBeep(MB_ICONASTERISK);
        } else {
            TimerMode_Off(timer);
        }
        ShowState();
    }
    void Finish() {
        TimerMode_Off(TimerMode_Program());
        Shell().modeless[kSlotTimerMode] = nullptr;
        Close();
    }
};

TimerPanel& Panel() {
    static TimerPanel panel;
    return panel;
}

}  // namespace

HWND ShowTimerModePanel(TimerSettings* parameters) {
    Parameters() = parameters;
    HWND& slot = Shell().modeless[kSlotTimerMode];
    if (slot && IsWindow(slot)) {
        SendMessageA(slot, kMsgPanelRefresh, 0, 0);
        return slot;
    }
    slot = Panel().CreateModeless(Shell().main);
    if (slot) ShowWindow(slot, SW_SHOW);
    return slot;
}

void TimerModePanel_Refresh() {
    HWND panel = Shell().modeless[kSlotTimerMode];
    if (panel && IsWindow(panel)) SendMessageA(panel, kMsgPanelRefresh, 0, 0);
}
