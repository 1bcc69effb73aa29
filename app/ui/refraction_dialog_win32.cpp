// Refraction Correction: the glass values of the settings, and the
// correction applied to or taken back from the whole scan.
#include "app/base/app_messages.h"
#include "app/locale/locale_dialog_win32.h"
#include "app/scan/refraction.h"
#include "app/ui/app_state.h"
#include "app/ui/dialogs_win32.h"
#include "app/ui/document_marks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tool_dialogs_win32.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr float kSmallOffset = 8.0f;
constexpr float kStandardOffset = 29.0f;

void SetNumber(HWND dialog, int control, const char* format, float value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    SetDlgItemTextA(dialog, control, text);
}

float ReadNumber(HWND dialog, int control) {
    char text[128] = "";
    GetDlgItemTextA(dialog, control, text, sizeof text);
    return static_cast<float>(std::atof(text));
}

bool Checked(HWND dialog, int control) { return IsDlgButtonChecked(dialog, control) == BST_CHECKED; }

// The three offset buttons' identifiers are not in one ascending range.
void CheckOffsetButton(HWND dialog, int button) {
    for (int id : {kRefractionSmallOffset, kRefractionStandardOffset, kRefractionCustomOffset})
        CheckDlgButton(dialog, id, id == button ? BST_CHECKED : BST_UNCHECKED);
}

void ShowOffsetChoice(HWND dialog, int button) {
    CheckOffsetButton(dialog, button);
    if (button == kRefractionSmallOffset) SetNumber(dialog, kRefractionOffset, "%.1f", kSmallOffset);
    if (button == kRefractionStandardOffset) SetNumber(dialog, kRefractionOffset, "%.1f", kStandardOffset);
    EnableWindow(GetDlgItem(dialog, kRefractionOffset), button == kRefractionCustomOffset);
}

class RefractionBox : public Dialog {
  public:
    int GetTemplateId() const override { return kRefractionTemplate; }
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM) override {
        if (message == WM_INITDIALOG) {
            Locale_LocaliseDialog(Window(), kRefractionTemplate);
            Fill();
            return TRUE;
        }
        if (message != WM_COMMAND) return FALSE;
        switch (LOWORD(wParam)) {
            case kRefractionSmallOffset:
            case kRefractionStandardOffset:
            case kRefractionCustomOffset:
                ShowOffsetChoice(Window(), LOWORD(wParam));
                return TRUE;
            case kRefractionDo:
                Do();
                return TRUE;
            case kRefractionUndo:
                Undo();
                return TRUE;
            case IDCANCEL:
                EndDialog(Window(), IDCANCEL);
                return TRUE;
        }
        return FALSE;
    }

  private:
    void Fill() {
        const GeneralSettings& g = App().settings;
        HWND d = Window();
        SetNumber(d, kRefractionThickness, "%.2f", g.GlassThickness);
        SetNumber(d, kRefractionIndex, "%.2f", g.GlassRefractiveIndex);
        CheckRadioButton(d, kRefractionSameSide, kRefractionFarSide,
                         g.GlassReferenceOnObjectSide ? kRefractionSameSide : kRefractionFarSide);
        CheckRadioButton(d, kRefractionTransmitter, kRefractionReceiver,
                         g.GlassReferenceIsRx ? kRefractionReceiver : kRefractionTransmitter);
        SetNumber(d, kRefractionOffset, "%.1f", g.GlassZOffset);
        const int button = Refraction_OffsetButton(g.GlassZOffset);
        CheckOffsetButton(d, button);
        EnableWindow(GetDlgItem(d, kRefractionOffset), button == kRefractionCustomOffset);
        ShowApplied();
    }
    void ShowApplied() {
        const RawData* raw = App().raw;
        const bool applied = raw && raw->RefractionCorrected != 0;
        EnableWindow(GetDlgItem(Window(), kRefractionDo), raw && !applied);
        EnableWindow(GetDlgItem(Window(), kRefractionUndo), applied);
    }
    void Do() {
        RawData* raw = App().raw;
        RefractionSettings values = raw ? raw->Refraction : RefractionSettings{};
        values.RefractiveIndex = App().settings.GlassRefractiveIndex;
        if (!raw || !RefractionDialog_Read(Window(), values)) return;
        GeneralSettings& g = App().settings;
        g.GlassThickness = values.GlassThickness;
        g.GlassRefractiveIndex = values.RefractiveIndex;
        g.GlassZOffset = values.GlassZOffset;
        g.GlassReferenceOnObjectSide = values.ReferenceOnObjectSide;
        g.GlassReferenceIsRx = values.GlassReferenceIsRx;
        raw->Refraction = values;
        Refraction_Apply(false);
        Doc_MarkEdited();
        ShowApplied();
        App_PostRepaint(3);
    }
    void Undo() {
        RawData* raw = App().raw;
        if (!raw) return;
        GeneralSettings& g = App().settings;
        const RefractionSettings& applied = raw->Refraction;
        g.GlassThickness = applied.GlassThickness;
        g.GlassRefractiveIndex = applied.RefractiveIndex;
        g.GlassZOffset = applied.GlassZOffset;
        g.GlassReferenceOnObjectSide = applied.ReferenceOnObjectSide;
        g.GlassReferenceIsRx = applied.GlassReferenceIsRx;
        Refraction_Apply(true);
        Doc_MarkEdited();
        Fill();
        App_PostRepaint(3);
    }
};

}  // namespace

int Refraction_OffsetButton(float offset) {
    if (std::fabs(offset - kSmallOffset) <= 0.1f) return kRefractionSmallOffset;
    if (std::fabs(offset - kStandardOffset) <= 0.1f) return kRefractionStandardOffset;
    return kRefractionCustomOffset;
}

bool RefractionDialog_Read(HWND dialog, RefractionSettings& values) {
    const float index = ReadNumber(dialog, kRefractionIndex);
    if (!(index > 0.01f)) {
        App_ErrorBoxOfKey("ErrorInvalidRefractionIndex");
        return false;
    }
    values.GlassThickness = ReadNumber(dialog, kRefractionThickness);
    values.RefractiveIndex = index;
    values.GlassZOffset = ReadNumber(dialog, kRefractionOffset);
    values.ReferenceOnObjectSide = Checked(dialog, kRefractionSameSide) ? 1 : 0;
    values.GlassReferenceIsRx = Checked(dialog, kRefractionReceiver) ? 1 : 0;
    return true;
}

void Refraction_Apply(bool undo) {
    RawData* raw = App().raw;
    if (!raw) return;
    Refraction_Apply(*raw, undo);
}

int RefractionDialog(HWND owner) {
    RefractionBox box;
    return static_cast<int>(box.RunModal(owner));
}
