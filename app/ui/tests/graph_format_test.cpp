#include "app/ui/graph_format.h"

#include <gtest/gtest.h>

namespace {

PixelFormatTraits Usable() {
    PixelFormatTraits f;
    f.supportsOpenGL = f.drawsToWindow = f.rgba = f.doubleBuffered = true;
    f.colourBits = 24;
    f.depthBits = 24;
    return f;
}

TEST(PixelFormatScore, UnusableFormatsScoreZeroAndBonusesAddUp) {
    struct Case {
        const char* name;
        void (*change)(PixelFormatTraits&);
        PixelFormatWishes wishes;
        int32_t score;
    };
    const Case cases[] = {
        // 1 + 64 (hardware wanted, not software) + 4 (colour) + 2 (depth)
        {"plain", [](PixelFormatTraits&) {}, {}, 71},
        {"no OpenGL", [](PixelFormatTraits& f) { f.supportsOpenGL = false; }, {}, 0},
        {"not a window", [](PixelFormatTraits& f) { f.drawsToWindow = false; }, {}, 0},
        {"palette", [](PixelFormatTraits& f) { f.rgba = false; }, {}, 0},
        {"single buffered", [](PixelFormatTraits& f) { f.doubleBuffered = false; }, {}, 0},
        {"swap exchange", [](PixelFormatTraits& f) { f.swapExchange = true; }, {}, 0},
        {"swap exchange even in stereo", [](PixelFormatTraits& f) { f.swapExchange = f.stereo = true; }, {true}, 0},
        {"14 colour bits", [](PixelFormatTraits& f) { f.colourBits = 14; }, {}, 0},
        {"15 colour bits", [](PixelFormatTraits& f) { f.colourBits = 15; }, {}, 67},
        {"15 depth bits", [](PixelFormatTraits& f) { f.depthBits = 15; }, {}, 0},
        {"16 depth bits", [](PixelFormatTraits& f) { f.depthBits = 16; }, {}, 69},
        {"stencil wanted, none", [](PixelFormatTraits&) {}, {false, false, true}, 0},
        {"stencil wanted, 8", [](PixelFormatTraits& f) { f.stencilBits = 8; }, {false, false, true}, 71},
        {"stencil wanted, 16", [](PixelFormatTraits& f) { f.stencilBits = 16; }, {false, false, true}, 79},
        {"stencil not wanted, 16", [](PixelFormatTraits& f) { f.stencilBits = 16; }, {}, 71},
        {"stereo wanted and offered", [](PixelFormatTraits& f) { f.stereo = true; }, {true}, 199},
        {"stereo offered, not wanted", [](PixelFormatTraits& f) { f.stereo = true; }, {}, 71},
        {"swap copy and alpha", [](PixelFormatTraits& f) { f.swapCopy = true, f.alphaBits = 8; }, {}, 119},
        {"software, hardware wanted", [](PixelFormatTraits& f) { f.generic = true; }, {}, 7},
        {"software, software wanted", [](PixelFormatTraits& f) { f.generic = true; }, {false, true}, 71},
        {"accelerated generic, hardware wanted",
         [](PixelFormatTraits& f) { f.generic = f.accelerated = true; },
         {},
         71},
        {"driver format, software wanted", [](PixelFormatTraits&) {}, {false, true}, 7},
    };
    for (const Case& c : cases) {
        PixelFormatTraits f = Usable();
        c.change(f);
        EXPECT_EQ(Graph_ScorePixelFormat(f, c.wishes), c.score) << c.name;
    }
}

TEST(PixelFormatChoice, BestScoreWinsAndTheFirstOfEqualsStays) {
    PixelFormatTraits weak = Usable(), strong = Usable(), bad = Usable();
    weak.depthBits = 16;
    bad.swapExchange = true;
    EXPECT_EQ(Graph_ChoosePixelFormat({weak, strong, strong}, {}), 2);
    EXPECT_EQ(Graph_ChoosePixelFormat({bad, weak}, {}), 2);
    EXPECT_EQ(Graph_ChoosePixelFormat({bad}, {}), 0);
    EXPECT_EQ(Graph_ChoosePixelFormat({}, {}), 0);
}

TEST(DepthRange, FarPlaneSitsFourUnitsInside) {
    EXPECT_FLOAT_EQ(Graph_FarPlane(2000, 24), static_cast<float>(2000.0 * (16777216.0 - 4) / 16777216.0));
    EXPECT_FLOAT_EQ(Graph_FarPlane(2000, 16), static_cast<float>(2000.0 * 65532 / 65536));
    EXPECT_LT(Graph_FarPlane(2000, 24), 2000.0f);
}

TEST(OrthoBox, CentreIsOnAPixelCentreAndZoomScales) {
    const OrthoBox box = Graph_OrthoBox(401, 300, 0.3125f, 1);
    // cx = 200.5, cy = 150.5
    EXPECT_DOUBLE_EQ(box.left, -200.5 * 0.3125);
    EXPECT_DOUBLE_EQ(box.right, 200.5 * 0.3125);
    EXPECT_DOUBLE_EQ(box.bottom, -149.5 * 0.3125);
    EXPECT_DOUBLE_EQ(box.top, 150.5 * 0.3125);
    const OrthoBox zoomed = Graph_OrthoBox(401, 300, 0.3125f, 2);
    EXPECT_DOUBLE_EQ(zoomed.left, box.left / 2);
}

TEST(GlExtensions, WholeWordsOnly) {
    const char* list = "GL_ARB_multitexture GL_EXT_point_parameters GL_EXT_compiled_vertex_array";
    struct Case {
        const char* name;
        bool found;
    };
    const Case cases[] = {{"GL_EXT_point_parameters", true},
                          {"GL_EXT_point", false},
                          {"GL_ARB_multitexture", true},
                          {"GL_EXT_compiled_vertex_array", true},
                          {"vertex_array", false},
                          {"", false},
                          {"GL_ARB_multitexture GL_EXT_point_parameters", false}};
    for (const Case& c : cases) EXPECT_EQ(Gl_HasExtensionIn(list, c.name), c.found) << c.name;
    EXPECT_FALSE(Gl_HasExtensionIn(nullptr, "GL_ARB_multitexture"));
    EXPECT_TRUE(Gl_HasExtensionIn("GL_A GL_A_B", "GL_A_B"));
}

TEST(OverlayText, ControlAndNonAsciiCharactersBecomeBlanksAndLongTextIsCut) {
    EXPECT_EQ(Graph_CleanText("a\tb\xE9"
                              "c"),
              "a b c");
    EXPECT_EQ(Graph_CleanText(std::string(300, 'x')).size(), 255u);
    EXPECT_EQ(Graph_CleanText("plain 123 ~"), "plain 123 ~");
}

}  // namespace
