#include "app/ui/tarrel_panel.h"

namespace {

struct PresetValues {
    float rangeClip, angleClip, bestResolution, worstResolution;
    int32_t profileFilterLength, filterLength;
    float filterRadius, exportResolutionClip, rbfResolution, rbfAccuracy;
    int32_t rbfTrimType;
    float rbfExtraTrim;
    int32_t rbfSimplify;
};

PresetValues Values(TarrelPreset preset, bool range200) {
    if (preset == TarrelPreset::LargeObject)
        return {700.0f, 30.0f, 0.5f, 100.0f, 0, 11, 5.0f, 5.0f, 5.0f, 0.5f, kRbfTrimClose, 0.0f, 0};
    return {range200 ? 750.0f : 700.0f, 30.0f, 0.5f, 100.0f, 0, 3, 2.5f, 2.0f, 2.0f, 0.5f, kRbfTrimOpen, 20.0f, 0};
}

bool IsStepChecked(int command, int current) { return command == current; }

}  // namespace

bool TarrelPanel_IsStep(int command) {
    return (command >= kTarrelStepScan && command <= kTarrelStepExport) || command == kTarrelStepCastInversion;
}

bool TarrelPanel_InModelRange200(int32_t serialNumber) { return serialNumber >= 200 && serialNumber <= 299; }

void TarrelPanel_ApplyPreset(TarrelPreset preset, bool range200, GeneralSettings& settings, int32_t& filterLength) {
    const PresetValues v = Values(preset, range200);
    settings.RangeClip = v.rangeClip;
    settings.AngleClip = v.angleClip;
    settings.RawResolutionClip[0] = v.bestResolution;
    settings.RawResolutionClip[1] = v.worstResolution;
    settings.ProfileFilterLength = v.profileFilterLength;
    filterLength = v.filterLength;
    settings.BasicParams.FilterRadius = v.filterRadius;
    settings.BasicParams.ExportResolutionClip = v.exportResolutionClip;
    settings.RbfParams.RbfResolution = v.rbfResolution;
    settings.RbfParams.RbfAccuracy = v.rbfAccuracy;
    settings.RbfParams.RbfTrimType = v.rbfTrimType;
    settings.RbfParams.RbfExtraTrim = v.rbfExtraTrim;
    settings.RbfParams.RbfSimplify = v.rbfSimplify;
}

bool TarrelPanel_PresetInForce(TarrelPreset preset, bool range200, const GeneralSettings& settings,
                               int32_t filterLength) {
    const PresetValues v = Values(preset, range200);
    return settings.RangeClip == v.rangeClip && settings.AngleClip == v.angleClip &&
           settings.RawResolutionClip[0] == v.bestResolution && settings.RawResolutionClip[1] == v.worstResolution &&
           settings.ProfileFilterLength == v.profileFilterLength && filterLength == v.filterLength &&
           settings.BasicParams.FilterRadius == v.filterRadius &&
           settings.BasicParams.ExportResolutionClip == v.exportResolutionClip &&
           settings.RbfParams.RbfResolution == v.rbfResolution && settings.RbfParams.RbfAccuracy == v.rbfAccuracy &&
           settings.RbfParams.RbfTrimType == v.rbfTrimType && settings.RbfParams.RbfExtraTrim == v.rbfExtraTrim &&
           settings.RbfParams.RbfSimplify == v.rbfSimplify;
}

bool TarrelPanel_AllowObjects(int32_t count, GeneralSettings& settings) {
    BasicSurfParams& basic = settings.BasicParams;
    if (basic.DoObjectLimit == 1 && basic.ObjectLimit == count) return false;
    basic.DoObjectLimit = 1;
    basic.ObjectLimit = count;
    return true;
}

// Scan mode: the scan step until there are sweeps, then the stylus step
// while laser pointer mode is on, else the scan step again (or Save, when
// the user chose it last). Surface mode: the step of the surface shown;
// Export never stays the current step, as the wizard has ended by then.
int TarrelPanel_CurrentStep(const GeneralSettings& settings, const TarrelPanelFacts& facts) {
    if (facts.mode == 1) {
        if (facts.sweeps <= 0) return kTarrelStepScan;
        if (settings.Stylus.Mode) return settings.Stylus.CaptureMode == 1 ? kTarrelStepLines : kTarrelStepPoints;
        return facts.lastStep == kTarrelStepSave ? kTarrelStepSave : kTarrelStepScan;
    }
    if (facts.mode != 2) return 0;
    if (facts.rbfShown) return kTarrelStepRbf;
    if (facts.lastStep == kTarrelStepCastInversion && settings.CastInversionMode) return kTarrelStepCastInversion;
    return kTarrelStepBasic;
}

std::vector<TarrelButtonState> TarrelPanel_ButtonStates(const GeneralSettings& settings,
                                                        const TarrelPanelFacts& facts) {
    const BasicSurfParams& basic = settings.BasicParams;
    const bool points = facts.scanPoints > 0;
    const bool cast = settings.CastInversionMode != 0;
    const int current = TarrelPanel_CurrentStep(settings, facts);
    auto inForce = [&](TarrelPreset p) {
        return TarrelPanel_PresetInForce(p, facts.range200, settings, facts.filterLength);
    };
    auto step = [&](int command, bool enabled) {
        return TarrelButtonState{command, enabled, IsStepChecked(command, current), false};
    };
    return {
        {kTarrelSmallObject, true, inForce(TarrelPreset::SmallObject), false},
        {kTarrelLargeObject, !facts.range200, inForce(TarrelPreset::LargeObject), false},
        {kTarrelCastInversionMode, true, cast, false},
        {kTarrelOneObject, true, basic.DoObjectLimit == 1 && basic.ObjectLimit == 1, false},
        {kTarrelTwoObjects, true, basic.DoObjectLimit == 1 && basic.ObjectLimit == 2, false},
        step(kTarrelStepScan, true),
        step(kTarrelStepPoints, points),
        step(kTarrelStepLines, points),
        step(kTarrelStepSave, points),
        step(kTarrelStepBasic, points),
        {kTarrelStepCastInversion, facts.castReady, IsStepChecked(kTarrelStepCastInversion, current), !cast},
        step(kTarrelStepRbf, points),
        step(kTarrelStepExport, facts.rbfHasPoints),
    };
}
