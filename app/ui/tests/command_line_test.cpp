#include "app/ui/command_line.h"
#include "app/ui/edition_defaults.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

struct Case {
    const char* name;
    std::string customer;
    bool switchFile;
    std::vector<std::string> args;
    bool tarrel;
    bool pemmler;
    std::string startupFile;
};

const Case kCases[] = {
    {"no arguments", "Tolvaran", false, {}, false, false, ""},
    {"a relative file joins the current folder", "Tolvaran", false, {"scan.tvn"}, false, false,
     "C:\\Work\\scan.tvn"},
    {"an absolute file stands", "Tolvaran", false, {"D:\\x\\a.tvn"}, false, false, "D:\\x\\a.tvn"},
    {"a UNC file stands", "Tolvaran", false, {"\\\\srv\\s\\a.tvn"}, false, false, "\\\\srv\\s\\a.tvn"},
    {"-vossen sets Tarrel and takes the second argument", "Tolvaran", false, {"-vossen", "b.tvn"}, true, false,
     "C:\\Work\\b.tvn"},
    {"-pemmler sets Pemmler", "Tolvaran", false, {"-pemmler"}, false, true, ""},
    {"-tolvaran clears the switch file's Tarrel", "Tolvaran", true, {"-tolvaran"}, false, false, ""},
    {"the switch file sets Tarrel", "Tolvaran", true, {}, true, false, ""},
    {"customer Tarrel selects the edition", "Tarrel", false, {}, true, false, ""},
    {"customer Pemmler selects the edition", "Pemmler", false, {}, false, true, ""},
    {"customer names are case-sensitive", "tarrel", false, {}, false, false, ""},
    {"an unknown option is the file name", "Tolvaran", false, {"-foo", "b.tvn"}, false, false, "C:\\Work\\-foo"},
    {"options are case-sensitive", "Tolvaran", false, {"-Vossen"}, false, false, "C:\\Work\\-Vossen"},
    {"a lone minus is a file name", "Tolvaran", false, {"-"}, false, false, "C:\\Work\\-"},
    {"a name too long for the buffer is dropped", "Tolvaran", false, {std::string(1020, 'n')}, false, false, ""},
};

TEST(CommandLine, EditionsAndStartupFileTable) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        std::set<std::string> files;
        if (c.switchFile) files.insert("C:\\Prog\\tarrel.switch");
        CommandLineEnv env{c.customer, "C:\\Prog\\", "C:\\Work",
                           [&](const std::string& p) { return files.count(p) > 0; }};
        EditionFlags flags;
        std::string startup = "stale";
        App_ParseCommandLine(c.args, env, flags, startup);
        EXPECT_EQ(flags.tarrel, c.tarrel);
        EXPECT_EQ(flags.pemmler, c.pemmler);
        EXPECT_EQ(startup, c.startupFile);
    }
}

struct DefaultsCase {
    const char* name;
    EditionFlags editions;
    float rangeClip;
    int32_t profileFilterLength;
    int32_t objectLimit;
    int32_t trimType;
    float extraTrim;
    int32_t exportFileType;
    int32_t receiverEnabled;
    float glassZOffset;
    float viewMatrix5;  // -1 in the Pemmler view
};

const DefaultsCase kDefaults[] = {
    {"standard", {false, false}, 750.0f, 3, 1, kRbfTrimOpen, 20.0f, kExportWavefront, 0, 29.0f, 1.0f},
    {"Tarrel", {true, false}, 700.0f, 0, 2, kRbfTrimOpen, 20.0f, kExportWavefront, 1, 8.0f, 1.0f},
    {"Pemmler", {false, true}, 750.0f, 3, 1, kRbfTrimClose, 0.0f, kExportStl, 0, 29.0f, -1.0f},
    // Both: the Pemmler values are applied last.
    {"both", {true, true}, 700.0f, 0, 1, kRbfTrimClose, 0.0f, kExportStl, 1, 8.0f, -1.0f},
};

TEST(EditionDefaults, Table) {
    BrandInfo brand;
    Brand_SetBuiltInDefaults(brand);
    for (const DefaultsCase& c : kDefaults) {
        SCOPED_TRACE(c.name);
        GeneralSettings g;
        ViewSettings v;
        App_FillDefaultImages(g, v, brand);
        g.Spare = 7;
        g.ExportOptions[kExportStl].ExportAsText = 1;
        App_ApplyEditionDefaults(g, v, c.editions);
        EXPECT_EQ(g.RangeClip, c.rangeClip);
        EXPECT_EQ(g.ProfileFilterLength, c.profileFilterLength);
        EXPECT_EQ(g.BasicParams.ObjectLimit, c.objectLimit);
        EXPECT_EQ(g.RbfParams.RbfTrimType, c.trimType);
        EXPECT_EQ(g.RbfParams.RbfExtraTrim, c.extraTrim);
        EXPECT_EQ(g.ExportFileType, c.exportFileType);
        EXPECT_EQ(g.ReceiverEnabled, c.receiverEnabled);
        EXPECT_EQ(g.GlassZOffset, c.glassZOffset);
        EXPECT_EQ(v.ViewMatrix[5], c.viewMatrix5);
        EXPECT_EQ(v.CoordinateSystem[10], c.viewMatrix5);
        // Every edition: the template blocks, STL binary, Wavefront text, spare cleared.
        EXPECT_EQ(g.ExportOptions[kExportStl].ExportAsText, 0);
        EXPECT_EQ(g.ExportOptions[kExportWavefront].ExportAsText, 1);
        EXPECT_EQ(g.ExportOptions[kExportStylus].ExportCoordinateSystem, 2);
        EXPECT_EQ(g.Spare, 0);
        EXPECT_EQ(g.ForegroundColour, 0xA4A4A4u);
        EXPECT_EQ(g.BackgroundColour, 0x008000u);
    }
}

}  // namespace
