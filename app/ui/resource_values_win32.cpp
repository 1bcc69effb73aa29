// Resources (factory tool): the acquisition's laser-line width limits, the
// locator filter length and advance pair and the timer mode's pause, shown
// and handed back to the acquisition settings on OK.
#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/acquisition_state.h"
#include "app/locale/locale_dialog_win32.h"
#include "app/ui/dialogs_win32.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tool_dialogs_win32.h"

#include <cstdio>

namespace {

struct IntegerField {
    int control;
    int32_t (*current)();
};

const IntegerField kIntegers[] = {
    {kResourcesMinWidth, GetMinLaserLineWidth}, {kResourcesMaxWidth, GetMaxLaserLineWidth},
    {kResourcesFilterLength, GetOddFilterLength}, {kResourcesTimerFields, GetSweepPauseFirst},
    {kResourcesTimerSleep, GetSweepPauseSeconds},
};

class ResourceValuesBox : public Dialog {
  public:
    int GetTemplateId() const override { return kResourcesTemplate; }
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM) override {
        if (message == WM_INITDIALOG) {
            Locale_LocaliseDialog(Window(), kResourcesTemplate);
            Show();
            return TRUE;
        }
        if (message != WM_COMMAND) return FALSE;
        switch (LOWORD(wParam)) {
            case IDOK:
                Store();
                EndDialog(Window(), IDOK);
                return TRUE;
            case IDCANCEL:
                EndDialog(Window(), IDCANCEL);
                return TRUE;
        }
        return FALSE;
    }

  private:
    void Show() {
        for (const IntegerField& field : kIntegers) SetDlgItemInt(Window(), field.control, field.current(), TRUE);
        float pair[2];
        GetUnitPair(pair);
        char text[96];
        std::snprintf(text, sizeof text, "%g %g", pair[0], pair[1]);
        SetDlgItemTextA(Window(), kResourcesAdvancePair, text);
        SetDlgItemTextA(Window(), kResourcesNote, "");
    }
    // An edit that holds no integer keeps the value in force.
    int32_t Integer(const IntegerField& field) {
        BOOL read = FALSE;
        const int value = static_cast<int>(GetDlgItemInt(Window(), field.control, &read, TRUE));
        return read ? value : field.current();
    }
    void Store() {
        int32_t values[5];
        for (int i = 0; i < 5; ++i) values[i] = Integer(kIntegers[i]);
        char text[256] = "";
        GetDlgItemTextA(Window(), kResourcesAdvancePair, text, sizeof text);
        App_SendRepaint(3);
        SetHardwareParamPair(values[0], values[1]);
        SetOddFilterLength(values[2]);
        float pair[2];
        char rest = 0;
        if (std::sscanf(text, "%f %f %c", &pair[0], &pair[1], &rest) == 2)
            ClampUnitPair(pair);
        else
            SetDlgItemTextA(Window(), kResourcesAdvancePair, "");
        SetSweepPauseParams(values[3], values[4]);
    }
};

}  // namespace

int ResourceValuesDialog(HWND owner) {
    ResourceValuesBox box;
    return static_cast<int>(box.RunModal(owner));
}
