#include "app/scan/settings_records.h"

#include <gtest/gtest.h>

namespace {

TEST(SettingsRecords, GeneralDefaults) {
    GeneralSettings s;
    GeneralSettings_SetDefaults(s, 0xA4A4A4, 0x008000);
    EXPECT_EQ(s.DefaultDirectory[0], '\0');
    EXPECT_EQ(s.HardwareConfigFilename[0], '\0');
    EXPECT_EQ(s.ExportFileType, kExportWavefront);
    for (int b = 0; b < kExportFormatBlocks; ++b) {
        const ExportFormatOptions& o = s.ExportOptions[b];
        EXPECT_EQ(o.ExportCoordinateSystem, 2);
        EXPECT_EQ(o.ExportDataType, 1);
        EXPECT_EQ(o.ExportSeparateSweeps, 1);
        EXPECT_EQ(o.ExportAsText, b == kExportWavefront ? 1 : 0) << b;
    }
    EXPECT_EQ(s.RangeClip, 750.0f);
    EXPECT_EQ(s.RawResolutionClip[0], 0.5f);
    EXPECT_EQ(s.RawResolutionClip[1], 100.0f);
    EXPECT_EQ(s.ProfileFilterLength, 3);
    EXPECT_EQ(s.BasicReduceEnabled, 1);
    EXPECT_EQ(s.ProfileThreshold, 100.0f);
    EXPECT_EQ(s.ProfileProcessMode, 3);
    EXPECT_EQ(s.BasicParams.GenerateFacets, 1);
    EXPECT_EQ(s.BasicParams.ExportResolutionClip, 2.0f);
    EXPECT_EQ(s.BasicParams.FilterRadius, 2.5f);
    EXPECT_EQ(s.BasicParams.SimplifyError, 0.1f);
    EXPECT_EQ(s.BasicParams.ObjectLimit, 1);
    EXPECT_EQ(s.RbfParams.RbfMemoryToUse, 256);
    EXPECT_EQ(s.RbfParams.RbfSimpNPoints, 10000);
    EXPECT_EQ(s.Stylus.SurfaceDistance, 5.0f);
    EXPECT_EQ(s.Stylus.Mode, 0);
    EXPECT_EQ(s.MarkWithMouse, 0);
    EXPECT_EQ(s.Timer.NumFields, 100u);
    EXPECT_EQ(s.GlassRefractiveIndex, 1.52f);
    EXPECT_EQ(s.ToolbarLabels, 1);
    EXPECT_EQ(Colour_Red(s.ForegroundColour), 0xA4);
    EXPECT_EQ(Colour_Green(s.BackgroundColour), 0x80);
    EXPECT_EQ(Colour_Red(s.PreviewColour), 255);
}

TEST(SettingsRecords, ViewDefaults) {
    ViewSettings v;
    ViewSettings_SetDefaults(v);
    EXPECT_EQ(v.DisplayType, 2);
    EXPECT_EQ(v.ZoomFactor, 1.0f);
    EXPECT_EQ(v.ColourMode, kColourPlain);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(v.ViewMatrix[i], i % 5 == 0 ? 1.0f : 0.0f);
        EXPECT_EQ(v.CoordinateSystem[i], i % 5 == 0 ? 1.0f : 0.0f);
    }
}

}  // namespace
