#include "app/ui/document_marks.h"
#include "app/ui/app_state.h"
#include "app/ui/shell_hooks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

ViewSettings Distinct(float seed) {
    ViewSettings v;
    ViewSettings_SetDefaults(v);
    for (int i = 0; i < 16; ++i) {
        v.ViewMatrix[i] = seed + i;
        v.CoordinateSystem[i] = seed + 100 + i;
    }
    v.ViewOrigin = Vec3{seed, seed + 1, seed + 2};
    v.ZoomFactor = seed * 2;
    v.DisplayType = 3;
    v.Options = 0xFFF;
    v.ColourMode = 6;
    return v;
}

TEST(DocumentMarks, ViewCopies) {
    const ViewSettings source = Distinct(1.0f);
    ViewSettings partial = Distinct(50.0f);
    View_CopySettings(partial, source, false);
    EXPECT_EQ(partial.CoordinateSystem[3], source.CoordinateSystem[3]);
    EXPECT_EQ(partial.ViewMatrix[3], 53.0f);  // not copied without `full`
    EXPECT_EQ(partial.ZoomFactor, 100.0f);

    ViewSettings full = Distinct(50.0f);
    View_CopySettings(full, source, true);
    EXPECT_EQ(full.ViewMatrix[3], source.ViewMatrix[3]);
    EXPECT_EQ(full.ViewOrigin.z, source.ViewOrigin.z);
    EXPECT_EQ(full.ZoomFactor, 2.0f);
    EXPECT_EQ(full.DisplayType, 2);
    EXPECT_EQ(full.Options, 0xFFFu & ~0x670u);
    EXPECT_EQ(full.ColourMode, 6);

    ViewSettings self = Distinct(7.0f);
    View_CopySettings(self, self, true);
    EXPECT_EQ(self.DisplayType, 2);
    EXPECT_EQ(self.ViewMatrix[0], 7.0f);

    ViewSettings applied = Distinct(50.0f);
    ViewSettings stored = Distinct(1.0f);
    stored.DisplayType = 1;
    View_ApplySettings(applied, stored);
    EXPECT_EQ(applied.Options, 0xFFFu);
    EXPECT_EQ(applied.DisplayType, 1);
    EXPECT_EQ(applied.ViewOrigin.x, 1.0f);
    EXPECT_EQ(std::memcmp(&applied.CoordinateSystem, &stored.ViewMatrix, sizeof(Matrix4)), 0);
}

TEST(DocumentMarks, RestoreViewMatrixMultipliesAndCentres) {
    std::vector<int> commands;
    Shell_Hooks().sendCommand = [&](int c) { commands.push_back(c); };
    ViewSettings view;
    ViewSettings_SetDefaults(view);
    M4_MakeRotationZ(90.0f, view.CoordinateSystem);
    Matrix4 m;
    M4_MakeTranslation(Vec3{1, 2, 3}, m);
    RestoreViewMatrix(view, m);
    Matrix4 expected;
    M4_Multiply(m, view.CoordinateSystem, expected);
    EXPECT_EQ(std::memcmp(&view.ViewMatrix, &expected, sizeof expected), 0);
    EXPECT_EQ(commands, std::vector<int>{kCommandCentre});
    Shell_Hooks().sendCommand = nullptr;
}

TEST(DocumentMarks, CastInversionMode) {
    InitStateEnv env;
    App_InitStateWith(env);
    AppState& app = App();
    GeneralSettings& s = app.settings;
    int refreshes = 0, resets = 0;
    Shell_Hooks().refreshUi = [&] { ++refreshes; };
    Shell_Hooks().resetDerivedState = [&] { ++resets; };
    s.BasicParams.DoObjectLimit = 1;
    s.BasicParams.ObjectLimit = 1;
    s.RbfParams.RbfTrimType = kRbfTrimClose;
    CastInv_SetMode(true);
    EXPECT_EQ(s.CastInversionMode, 1);
    EXPECT_EQ(s.RbfParams.RbfTrimType, kRbfTrimOpen);
    EXPECT_TRUE(CastInv_IsCastObject(s));
    EXPECT_EQ(resets, 1);
    CastInv_SetMode(true);  // already a cast object: nothing discarded
    EXPECT_EQ(resets, 1);

    // Readiness: profiles, no unprocessed change, surface points, the pair.
    app.raw->NumProfiles = 1;
    app.basic.NumPoints = 3;
    EXPECT_TRUE(CastInv_IsReady(s, *app.raw, app.basic));
    app.raw->ProcessedChanged = 1;
    EXPECT_FALSE(CastInv_IsReady(s, *app.raw, app.basic));
    app.raw->ProcessedChanged = 0;
    s.BasicParams.ObjectLimit = 3;
    EXPECT_FALSE(CastInv_IsReady(s, *app.raw, app.basic));
    CastInv_ApplyConsistencyRule(s);
    EXPECT_EQ(s.CastInversionMode, 0);
    CastInv_SetMode(false);
    EXPECT_EQ(refreshes, 3);
    app.raw->NumProfiles = 0;
    app.basic.NumPoints = 0;
    Shell_Hooks().refreshUi = nullptr;
    Shell_Hooks().resetDerivedState = nullptr;
}

TEST(DocumentMarks, MarksStampTheScanAndLeaveSurfaceMode) {
    InitStateEnv env;
    App_InitStateWith(env);
    AppState& app = App();
    int titles = 0;
    Shell_Hooks().updateTitle = [&] { ++titles; };
    app.mode = kModeSurface;
    app.basic.NumPoints = 4;
    app.basic.Points = static_cast<Vec3*>(std::calloc(4, sizeof(Vec3)));
    app.raw->Timestamp = 0.0;
    Doc_MarkProcessed();
    EXPECT_EQ(app.raw->ProcessedChanged, 1);
    EXPECT_GT(app.raw->Timestamp, 1.0e9);
    EXPECT_EQ(app.basic.NumPoints, 0);  // derived surfaces discarded
    EXPECT_EQ(app.mode, kModeScan);
    app.mode = kModeSurface;
    Doc_MarkEdited();
    EXPECT_EQ(app.raw->Edited, 1);
    EXPECT_EQ(app.mode, kModeScan);
    EXPECT_EQ(titles, 2);
    Shell_Hooks().updateTitle = nullptr;
}

}  // namespace
