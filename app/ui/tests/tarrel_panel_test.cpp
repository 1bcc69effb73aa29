// The Tarrel panel's rules: the two presets and when they are in force, the
// object-count choices, and its buttons' states over the program's states.
#include "app/ui/tarrel_panel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

namespace {

GeneralSettings Blank() {
    GeneralSettings g;
    std::memset(&g, 0, sizeof g);
    return g;
}

TEST(TarrelPanel, PresetsWriteTheirValuesAndAreThenInForce) {
    const struct {
        TarrelPreset preset;
        bool range200;
        float rangeClip;
        int32_t filterLength;
        float filterRadius, exportClip, rbfResolution;
        int32_t trimType;
        float extraTrim;
    } cases[] = {
        {TarrelPreset::SmallObject, false, 700.0f, 3, 2.5f, 2.0f, 2.0f, kRbfTrimOpen, 20.0f},
        {TarrelPreset::SmallObject, true, 750.0f, 3, 2.5f, 2.0f, 2.0f, kRbfTrimOpen, 20.0f},
        {TarrelPreset::LargeObject, false, 700.0f, 11, 5.0f, 5.0f, 5.0f, kRbfTrimClose, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.preset) * 10 + c.range200);
        GeneralSettings g = Blank();
        g.ProfileFilterLength = 5;
        g.RbfParams.RbfSimplify = 1;
        int32_t filterLength = 7;
        EXPECT_FALSE(TarrelPanel_PresetInForce(c.preset, c.range200, g, filterLength));
        TarrelPanel_ApplyPreset(c.preset, c.range200, g, filterLength);
        EXPECT_EQ(g.RangeClip, c.rangeClip);
        EXPECT_EQ(g.AngleClip, 30.0f);
        EXPECT_EQ(g.RawResolutionClip[0], 0.5f);
        EXPECT_EQ(g.RawResolutionClip[1], 100.0f);
        EXPECT_EQ(g.ProfileFilterLength, 0);
        EXPECT_EQ(filterLength, c.filterLength);
        EXPECT_EQ(g.BasicParams.FilterRadius, c.filterRadius);
        EXPECT_EQ(g.BasicParams.ExportResolutionClip, c.exportClip);
        EXPECT_EQ(g.RbfParams.RbfResolution, c.rbfResolution);
        EXPECT_EQ(g.RbfParams.RbfAccuracy, 0.5f);
        EXPECT_EQ(g.RbfParams.RbfTrimType, c.trimType);
        EXPECT_EQ(g.RbfParams.RbfExtraTrim, c.extraTrim);
        EXPECT_EQ(g.RbfParams.RbfSimplify, 0);
        EXPECT_TRUE(TarrelPanel_PresetInForce(c.preset, c.range200, g, filterLength));
        // Only one of the two is ever in force; one value changed, neither.
        const TarrelPreset other =
            c.preset == TarrelPreset::SmallObject ? TarrelPreset::LargeObject : TarrelPreset::SmallObject;
        EXPECT_FALSE(TarrelPanel_PresetInForce(other, c.range200, g, filterLength));
        EXPECT_FALSE(TarrelPanel_PresetInForce(c.preset, c.range200, g, filterLength + 2));
        g.RbfParams.RbfAccuracy = 0.4f;
        EXPECT_FALSE(TarrelPanel_PresetInForce(c.preset, c.range200, g, filterLength));
    }
}

TEST(TarrelPanel, ModelRange200AndObjectCounts) {
    for (int32_t serial : {199, 200, 250, 299, 300, 0})
        EXPECT_EQ(TarrelPanel_InModelRange200(serial), serial >= 200 && serial <= 299) << serial;

    GeneralSettings g = Blank();
    EXPECT_TRUE(TarrelPanel_AllowObjects(1, g));
    EXPECT_EQ(g.BasicParams.DoObjectLimit, 1);
    EXPECT_EQ(g.BasicParams.ObjectLimit, 1);
    EXPECT_FALSE(TarrelPanel_AllowObjects(1, g)) << "already so";
    EXPECT_TRUE(TarrelPanel_AllowObjects(2, g));
    EXPECT_EQ(g.BasicParams.ObjectLimit, 2);
    g.BasicParams.DoObjectLimit = 0;
    EXPECT_TRUE(TarrelPanel_AllowObjects(2, g)) << "a limit that is off is not in force";
    EXPECT_EQ(g.BasicParams.DoObjectLimit, 1);
}

std::map<int, TarrelButtonState> States(const GeneralSettings& g, const TarrelPanelFacts& f) {
    std::map<int, TarrelButtonState> states;
    for (const TarrelButtonState& s : TarrelPanel_ButtonStates(g, f)) states[s.command] = s;
    return states;
}

TEST(TarrelPanel, ButtonsFollowTheDataThePresetsAndTheCastMode) {
    GeneralSettings g = Blank();
    int32_t filterLength = 3;
    TarrelPanel_ApplyPreset(TarrelPreset::SmallObject, false, g, filterLength);
    TarrelPanelFacts f;
    f.filterLength = filterLength;

    auto s = States(g, f);
    ASSERT_EQ(s.size(), 13u);
    for (int id : {kTarrelSmallObject, kTarrelLargeObject, kTarrelCastInversionMode, kTarrelOneObject,
                   kTarrelTwoObjects, kTarrelStepScan})
        EXPECT_TRUE(s[id].enabled) << id;
    for (int id : {kTarrelStepPoints, kTarrelStepLines, kTarrelStepSave, kTarrelStepBasic, kTarrelStepRbf,
                   kTarrelStepExport, kTarrelStepCastInversion})
        EXPECT_FALSE(s[id].enabled) << id << " without data";
    EXPECT_TRUE(s[kTarrelSmallObject].checked);
    EXPECT_FALSE(s[kTarrelLargeObject].checked);
    EXPECT_TRUE(s[kTarrelStepCastInversion].hidden);
    EXPECT_FALSE(s[kTarrelCastInversionMode].checked);

    // The 200 range: Large Object is not offered, and Small Object is in
    // force only with the range's own distance.
    f.range200 = true;
    s = States(g, f);
    EXPECT_FALSE(s[kTarrelLargeObject].enabled);
    EXPECT_FALSE(s[kTarrelSmallObject].checked);

    f.range200 = false;
    f.scanPoints = 100;
    f.rbfHasPoints = true;
    f.castReady = true;
    g.CastInversionMode = 1;
    g.BasicParams.DoObjectLimit = 1;
    g.BasicParams.ObjectLimit = 2;
    s = States(g, f);
    for (int id : {kTarrelStepPoints, kTarrelStepLines, kTarrelStepSave, kTarrelStepBasic, kTarrelStepRbf,
                   kTarrelStepExport, kTarrelStepCastInversion})
        EXPECT_TRUE(s[id].enabled) << id;
    EXPECT_FALSE(s[kTarrelStepCastInversion].hidden);
    EXPECT_TRUE(s[kTarrelCastInversionMode].checked);
    EXPECT_TRUE(s[kTarrelTwoObjects].checked);
    EXPECT_FALSE(s[kTarrelOneObject].checked);
}

TEST(TarrelPanel, TheCurrentStepFollowsTheWork) {
    const struct {
        const char* name;
        int32_t mode;
        int32_t sweeps;
        int32_t stylusMode, captureMode;
        bool rbfShown;
        int32_t castMode;
        int lastStep;
        int step;
    } cases[] = {
        {"scan mode without sweeps", 1, 0, 1, 1, false, 0, kTarrelStepPoints, kTarrelStepScan},
        {"marking points", 1, 3, 1, 0, false, 0, kTarrelStepScan, kTarrelStepPoints},
        {"marking lines", 1, 3, 1, 1, false, 0, kTarrelStepScan, kTarrelStepLines},
        {"marking finished", 1, 3, 0, 1, false, 0, kTarrelStepLines, kTarrelStepScan},
        {"save chosen", 1, 3, 0, 0, false, 0, kTarrelStepSave, kTarrelStepSave},
        {"basic surface", 2, 3, 0, 0, false, 0, kTarrelStepBasic, kTarrelStepBasic},
        {"after the cast inversion", 2, 3, 0, 0, false, 1, kTarrelStepCastInversion, kTarrelStepCastInversion},
        {"cast mode off again", 2, 3, 0, 0, false, 0, kTarrelStepCastInversion, kTarrelStepBasic},
        {"rbf surface", 2, 3, 0, 0, true, 0, kTarrelStepRbf, kTarrelStepRbf},
        {"export falls back to rbf", 2, 3, 0, 0, true, 0, kTarrelStepExport, kTarrelStepRbf},
        {"calibration", 3, 3, 0, 0, false, 0, kTarrelStepScan, 0},
        {"preview", 0, 3, 0, 0, false, 0, kTarrelStepScan, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GeneralSettings g = Blank();
        g.Stylus.Mode = c.stylusMode;
        g.Stylus.CaptureMode = c.captureMode;
        g.CastInversionMode = c.castMode;
        TarrelPanelFacts f;
        f.mode = c.mode;
        f.sweeps = c.sweeps;
        f.scanPoints = c.sweeps * 100;
        f.rbfShown = c.rbfShown;
        f.lastStep = c.lastStep;
        EXPECT_EQ(TarrelPanel_CurrentStep(g, f), c.step);
        int checked = 0;
        for (const TarrelButtonState& s : TarrelPanel_ButtonStates(g, f))
            if (TarrelPanel_IsStep(s.command) && s.checked) checked = checked ? -1 : s.command;
        EXPECT_EQ(checked, c.step) << "one step button checked, or none";
    }
}

}  // namespace
