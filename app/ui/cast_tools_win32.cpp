#include "app/ui/cast_tools_win32.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "app/base/app_messages.h"
#include "app/export/cast_inversion.h"
#include "app/export/stylus_bump.h"
#include "app/locale/locale_dialog_win32.h"
#include "app/locale/locale_lookup.h"
#include "app/locale/locale_variables.h"
#include "app/scan/raw_data.h"
#include "app/scan/settings_records.h"
#include "app/scan/surface_record.h"
#include "app/ui/app_state.h"
#include "app/ui/dialogs_win32.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/ui_utilities.h"
#include "app/ui/ui_utilities_win32.h"

namespace {

void SetFloat(HWND dialog, int item, const char* format, float value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    SetDlgItemTextA(dialog, item, text);
}

// A positive number: a negative entry becomes 0, and 0 (or no number) keeps
// the previous value.
float ReformatPositive(HWND dialog, int item, float previous) {
    ValueLimits limits;
    limits.negativesAllowed = false;
    limits.zeroAllowed = false;
    float value = previous;
    Edit_ReformatNumber(GetDlgItem(dialog, item), "%.2f", limits, value);
    return value;
}

class StylusBumpBox : public Dialog {
  public:
    explicit StylusBumpBox(GeneralSettings& work) : work_(work) {}
    int GetTemplateId() const override { return kStylusBumpTemplate; }
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM) override {
        HWND d = Window();
        if (message == WM_INITDIALOG) {
            Locale_LocaliseDialog(d, kStylusBumpTemplate);
            CheckDlgButton(d, kStylusBumpDips, work_.StylusBumpHeight < 0 ? BST_CHECKED : BST_UNCHECKED);
            SetFloat(d, kStylusBumpWidth, "%.2f", std::fabs(work_.StylusBumpWidth));
            SetFloat(d, kStylusBumpHeight, "%.2f", std::fabs(work_.StylusBumpHeight));
            return TRUE;
        }
        if (message != WM_COMMAND) return FALSE;
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if (id == kStylusBumpWidth && code == EN_KILLFOCUS) {
            work_.StylusBumpWidth = ReformatPositive(d, id, work_.StylusBumpWidth);
        } else if (id == kStylusBumpHeight && code == EN_KILLFOCUS) {
            const float magnitude = ReformatPositive(d, id, std::fabs(work_.StylusBumpHeight));
            work_.StylusBumpHeight = work_.StylusBumpHeight < 0 ? -magnitude : magnitude;
        } else if (id == kStylusBumpDips) {
            const float magnitude = std::fabs(work_.StylusBumpHeight);
            work_.StylusBumpHeight = IsDlgButtonChecked(d, kStylusBumpDips) ? -magnitude : magnitude;
        } else if (id == IDOK || id == IDCANCEL) {
            EndDialog(d, id == IDOK ? 1 : 0);
        } else {
            return FALSE;
        }
        return TRUE;
    }

  private:
    GeneralSettings& work_;
};

class CastInvBox : public Dialog {
  public:
    explicit CastInvBox(InversionSettings& params) : params_(params), opened_(params) {}
    int GetTemplateId() const override { return kCastInvTemplate; }
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM) override {
        HWND d = Window();
        if (message == WM_INITDIALOG) {
            Locale_LocaliseDialog(d, kCastInvTemplate);
            // The distances always open at the usual values, whatever is stored.
            SetFloat(d, kCastInvCutWidth, "%.1f", 3.0f);
            SetFloat(d, kCastInvTrimRange, "%.1f", 6.0f);
            CheckDlgButton(d, kCastInvSymmetric, params_.InversionVersion == 2 ? BST_CHECKED : BST_UNCHECKED);
            CheckDlgButton(d, kCastInvAsymmetric, params_.InversionVersion == 1 ? BST_CHECKED : BST_UNCHECKED);
            return TRUE;
        }
        if (message != WM_COMMAND) return FALSE;
        const int id = LOWORD(wParam);
        if ((id == kCastInvCutWidth || id == kCastInvTrimRange) && HIWORD(wParam) == EN_KILLFOCUS) {
            ReadDistances();
        } else if (id == IDOK) {
            ReadDistances();
            params_.InversionVersion = IsDlgButtonChecked(d, kCastInvSymmetric)    ? 2
                                       : IsDlgButtonChecked(d, kCastInvAsymmetric) ? 1
                                                                                   : 0;
            EndDialog(d, 1);
        } else if (id == IDCANCEL) {
            params_.InversionCutOffset = opened_.InversionCutOffset;
            params_.InversionTrimRange = opened_.InversionTrimRange;
            EndDialog(d, 0);
        } else {
            return FALSE;
        }
        return TRUE;
    }

  private:
    // The cut width may be negative or zero; a negative trim range becomes 0.
    void ReadDistances() {
        ValueLimits free;
        float cut = params_.InversionCutOffset;
        params_.InversionCutOffset = Edit_ReformatNumber(GetDlgItem(Window(), kCastInvCutWidth), "%.1f", free, cut);
        ValueLimits trim;
        trim.minimum = 0.0f;
        trim.hasMinimum = true;
        float range = params_.InversionTrimRange;
        params_.InversionTrimRange = Edit_ReformatNumber(GetDlgItem(Window(), kCastInvTrimRange), "%.1f", trim, range);
    }
    InversionSettings& params_;
    const InversionSettings opened_;
};

void RefreshAfterBump() {
    HWND list = Shell().modeless[kSlotSweepsList2];
    if (list && IsWindow(list)) SendMessageA(list, kMsgPanelRefresh, 0, 0);
    App_PostRepaint(3);
    App_RefreshUi();
}

void SendMainCommand(int command) {
    if (Shell_Hooks().sendCommand) Shell_Hooks().sendCommand(command);
}

CastInvHooks MarkerQuestions() {
    CastInvHooks hooks;
    const std::string title = Locale_GetString("CastInvMarkerAlignmentMsgTitle");
    hooks.markerTooFar = [title](int32_t pointNum, double reach) {
        std::string text;
        Locale_FormatString(text, "CastInvMarkerTooFarMsg", Locale_NewNumberVariable("max_distance", reach, 0),
                            Locale_NewIntVariable("point_num", pointNum), nullptr);
        AppMessage message;
        message.kind = MessageKind::Plain;
        message.title = title;
        message.text = text;
        message.ownerless = true;
        App_ShowMessage(message);
    };
    hooks.markerFarQuestion = [title](double distance, int32_t pointNum) {
        std::string text;
        Locale_FormatString(text, "CastInvMarkerAccuracyQuestion", Locale_NewNumberVariable("distance", distance, 1),
                            Locale_NewIntVariable("point_num", pointNum), nullptr);
        return MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_YESNO) == IDYES;
    };
    return hooks;
}

}  // namespace

bool StylusBump_RunOptions(GeneralSettings& settings) {
    GeneralSettings work = settings;
    StylusBumpBox box(work);
    const INT_PTR result = box.RunModal(Shell().main);
    if (result == -1) {
        AppMessage message;
        message.kind = MessageKind::Error;
        message.textKey = "ErrorDialogCreate";
        message.titleKey = "StandardDialogErrorTitle";
        message.ownerless = true;
        App_ShowMessage(message);
        return false;
    }
    if (result != 1) return false;
    settings.StylusBumpWidth = work.StylusBumpWidth;
    settings.StylusBumpHeight = work.StylusBumpHeight;
    return true;
}

void StylusBump_Command() {
    AppState& app = App();
    if (!StylusBump_RunOptions(app.settings)) return;
    if (app.raw && StylusBump_Apply(app.raw->Stylus, app.rbf, app.settings.StylusBumpWidth,
                                    app.settings.StylusBumpHeight) == BumpOutcome::kOutOfMemory)
        App_ErrorBoxOfKey("ErrorOutOfMemory");
    App_UpdateTitle();
    RefreshAfterBump();
}

bool CastInv_RunOptions(HWND owner, GeneralSettings& settings) {
    CastInvBox box(settings.InversionParams);
    return box.RunModal(owner) == 1;
}

std::string CastInv_ResultText(int32_t result, const CastInvReport& report, std::string& key) {
    std::string text;
    const int32_t matches = report.matchCount;
    switch (result) {
        case kCastInvOk:
            key = "CastInvOkMsg";
            return Locale_FormatString(text, key.c_str(), Locale_NewNumberVariable("mean_err", report.meanError, 1),
                                       Locale_NewNumberVariable("sup_err", report.greatestError, 1),
                                       Locale_NewIntVariable("num_matches", matches), nullptr);
        case kCastInvTooFewPairs:
            if (matches <= 0) break;
            key = "CastInvNotEnoughMarkerPairsMsg";
            return Locale_FormatString(text, key.c_str(), Locale_NewIntVariable("num_matches", matches), nullptr);
        case kCastInvAlignFailed:
            key = "CastInvAlignFailMsg";
            return Locale_FormatString(text, key.c_str(), Locale_NewIntVariable("num_matches", matches), nullptr);
        case kCastInvTooManyMarkers:
            key = "CastInvTooManyMarkersMsg";
            return Locale_FormatString(text, key.c_str(),
                                       Locale_NewIntVariable("max_markers", kCastMatchPairMaxMarkers), nullptr);
        case kCastInvAbandoned:
            key.clear();
            return text;
        case kCastInvUnexpected:
        default:
            if (result >= kCastInvOutOfMemory && result <= kCastInvMirrored) break;
            key = "ErrorUnexpected";
            return Locale_FormatString(text, key.c_str(), Locale_NewIntVariable("err_num", result), nullptr);
    }
    static const char* const kKeys[] = {"",
                                        "CastInvNoMarkerPairsMsg",
                                        "",
                                        "ErrorOutOfMemory",
                                        "CastInvBadMeshMsg",
                                        "CastInvMarkerOffMesh",
                                        "CastInvMarkerParityFailMsg",
                                        "",
                                        "CastInvMirrorMsg"};
    key = kKeys[result];
    return Locale_GetString(key.c_str());
}

void CastInv_Run(HWND owner, SurfaceRecord& rbf, GeneralSettings& settings, RawData& scan) {
    if (!rbf.Inverted && CastInv_RunOptions(owner, settings)) {
        App_ShowWaitStatus(Locale_GetString("CastInvWaitCursorMsg"));
        rbf.InversionResult = 0;
        CastInvReport report;
        const InversionSettings& p = settings.InversionParams;
        const int32_t result = CastInv_Align(rbf, scan.Stylus, p.InversionCutOffset, p.InversionTrimRange,
                                             p.InversionVersion, MarkerQuestions(), report);
        if (result == kCastInvOk) {
            rbf.Inverted = 1;
            SendMainCommand(40009);
            App_UpdateTitle();
        }
        std::string key;
        std::string text;
        try {
            text = CastInv_ResultText(result, report, key);
        } catch (const std::bad_alloc&) {
            key = "ErrorOutOfMemory";
            text = Locale_GetString(key.c_str());
        }
        if (!key.empty()) {
            if (rbf.Inverted)
                App_InfoBox(text, key);
            else
                App_ErrorBox(text, key);
        }
        App_ShowWaitStatus(nullptr);
    }
    settings.CombineSweeps = 1;
    SendMainCommand(40263);
}
