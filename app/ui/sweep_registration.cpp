#include "app/ui/sweep_registration.h"

#include "app/locale/locale_lookup.h"
#include "app/scan/sweep_register.h"
#include "app/ui/app_state.h"

#include <new>
#include <utility>

namespace {

SweepRegRunner& Runner() {
    static SweepRegRunner runner;
    return runner;
}

}  // namespace

void SweepReg_SetRunner(SweepRegRunner runner) { Runner() = std::move(runner); }

bool SweepReg_HasRunner() { return static_cast<bool>(Runner()); }

int SweepReg_Run(SweepRegParams& params, SweepRegReport report) {
    // Without a registration nothing can be done with the parameters.
    return Runner() ? Runner()(params, report) : 2;
}

void SweepReg_InstallScanRunner() {
    SweepReg_SetRunner([](SweepRegParams& block, SweepRegReport report) {
        RawData* raw = App().raw;
        if (!raw) return kSweepRegTooFewSweeps;
        SweepRegParameters params;
        params.StopThreshold = block.first;
        params.Iterations = block.second;
        params.SearchRadius = block.third;
        params.SupportRadius = block.fourth;
        params.Samples = block.fifth;
        params.InitialError = block.initialError;
        params.FinalError = block.finalError;
        return SweepReg_Run(*raw, params, [report](const char* key, float fraction) {
            return report ? report(Locale_GetString(key), fraction) : true;
        });
    });
}

std::string SweepReg_ResultMessage(int result, float initialError, float finalError, bool& success) {
    success = result == 0;
    std::string text;
    try {
        switch (result) {
            case 0:
                return Locale_FormatString(text, "SweepRegDialogSuccess",
                                           Locale_NewNumberVariable("initial_err", initialError, 2),
                                           Locale_NewNumberVariable("final_err", finalError, 2));
            case 1:
                return Locale_GetString("SweepRegDialogAborted");
            case 2:
                return Locale_GetString("SweepRegDialogBadParams");
            case 3:
            case 4:
                return Locale_GetString("SweepRegDialogNotEnoughSweeps");
            case 5:
                return Locale_GetString("ErrorOutOfMemory");
            case 6:
                return Locale_GetString("SweepRegDialogFailure");
            default:
                return Locale_FormatStringWithInt(text, "err_num", result, "ErrorUnexpected");
        }
    } catch (const std::bad_alloc&) {
        return Locale_GetString("ErrorOutOfMemory");
    }
}
