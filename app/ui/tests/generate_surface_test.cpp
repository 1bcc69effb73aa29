// The Generate Surface window's rules: what a typed entry becomes, when each
// surface is stale (one setting changed at a time), and what Apply, Close and
// the reset do to the surfaces and settings.
#include "app/ui/generate_surface.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

TEST(GenerateSurfaceEntries, FloatFieldsKeepTheOldValueUnlessANumberIsTyped) {
    struct Case {
        const char* text;
        bool zeroAllowed;
        float expected;
    };
    const Case cases[] = {
        {"0.5", false, 0.5f}, {"  1.25\t", false, 1.25f}, {"abc", false, 0.3f},   {"1.5mm", false, 0.3f},
        {"", false, 0.3f},    {"-1", false, 0.3f},        {"0", false, 0.3f},     {"-1", true, 0.0f},
        {"0", true, 0.0f},    {"x", true, 0.3f},          {"1e400", false, 0.3f},
        // Not finite, or not finite as a float: the old value, as for a letter.
        {"nan", false, 0.3f}, {"inf", true, 0.3f},        {"-inf", true, 0.3f},   {"1e39", true, 0.3f},
        // Too small for a float: a stored 0, which the zero rule sees.
        {"1e-50", false, 0.3f}, {"1e-50", true, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(GenSurf_FloatEntry(c.text, 0.3f, c.zeroAllowed), c.expected);
    }
    EXPECT_EQ(GenSurf_FormatFloat(0.0f), "0.00");
    EXPECT_EQ(GenSurf_FormatFloat(2.5f), "2.50");
}

TEST(GenerateSurfaceEntries, TheObjectLimitIsAtLeastOneAndCountsAreTakenAsTyped) {
    EXPECT_EQ(GenSurf_ObjectLimitEntry("3"), 3);
    EXPECT_EQ(GenSurf_ObjectLimitEntry("0"), 1);
    EXPECT_EQ(GenSurf_ObjectLimitEntry("-4"), 1);
    EXPECT_EQ(GenSurf_ObjectLimitEntry("many"), 1);
    EXPECT_EQ(GenSurf_UnsignedEntry("5000"), 5000u);
    EXPECT_EQ(GenSurf_UnsignedEntry(" 12 "), 12u);
    EXPECT_EQ(GenSurf_UnsignedEntry(""), 0u);
}

// Two surfaces built with the current settings: the basic one first.
struct Built {
    GeneralSettings settings{};
    ViewSettings view{};
    SurfaceRecord basic{};
    SurfaceRecord rbf{};
    Built() {
        GeneralSettings_SetDefaults(settings, 0x00FFFFFF, 0);
        ViewSettings_SetDefaults(view);
        basic.NumPoints = rbf.NumPoints = 10;
        basic.BasicParams = settings.BasicParams;
        rbf.BasicParams = settings.BasicParams;
        rbf.RbfParams = settings.RbfParams;
        rbf.RbfParams.CoordinateSystem = view.CoordinateSystem;
        basic.ChangeTime = 100.0;
        rbf.ChangeTime = 200.0;
    }
};

using Change = std::function<void(Built&)>;

TEST(GenerateSurfaceStaleness, BasicSurfaceFollowsItsSettings) {
    struct Case {
        const char* name;
        Change change;
        bool stale;
    };
    const Case cases[] = {
        {"as built", [](Built&) {}, false},
        {"no points", [](Built& b) { b.basic.NumPoints = 0; }, true},
        {"smoothing", [](Built& b) { b.settings.BasicParams.FilterRadius += 0.5f; }, true},
        {"decimation", [](Built& b) { b.settings.BasicParams.ExportResolutionClip = 1.0f; }, true},
        {"facets", [](Built& b) { b.settings.BasicParams.GenerateFacets ^= 1; }, true},
        {"simplification on", [](Built& b) { b.settings.BasicParams.SimplifyFacets ^= 1; }, true},
        {"error while simplification is off",
         [](Built& b) {
             b.settings.BasicParams.SimplifyFacets = b.basic.BasicParams.SimplifyFacets = 0;
             b.settings.BasicParams.SimplifyError = 9.0f;
         },
         false},
        {"error while simplifying",
         [](Built& b) {
             b.settings.BasicParams.SimplifyFacets = b.basic.BasicParams.SimplifyFacets = 1;
             b.settings.BasicParams.SimplifyError = 9.0f;
         },
         true},
        {"limit switch", [](Built& b) { b.settings.BasicParams.DoObjectLimit ^= 1; }, true},
        {"limit while off",
         [](Built& b) {
             b.settings.BasicParams.DoObjectLimit = b.basic.BasicParams.DoObjectLimit = 0;
             b.settings.BasicParams.ObjectLimit = 7;
         },
         false},
        {"limit while on",
         [](Built& b) {
             b.settings.BasicParams.DoObjectLimit = b.basic.BasicParams.DoObjectLimit = 1;
             b.settings.BasicParams.ObjectLimit = 7;
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Built b;
        c.change(b);
        EXPECT_EQ(GenSurf_BasicParamsChanged(b.settings, b.basic), c.stale);
    }
}

TEST(GenerateSurfaceStaleness, RbfSurfaceFollowsItsSettingsTheViewAndTheBasicSurface) {
    struct Case {
        const char* name;
        Change change;
        bool stale;
    };
    auto simplifying = [](Built& b, int32_t target) {
        b.settings.RbfParams.RbfSimplify = b.rbf.RbfParams.RbfSimplify = 1;
        b.settings.RbfParams.RbfSimpTarget = b.rbf.RbfParams.RbfSimpTarget = target;
    };
    const Case cases[] = {
        {"as built", [](Built&) {}, false},
        {"no basic points", [](Built& b) { b.basic.NumPoints = 0; }, true},
        {"basic rebuilt since", [](Built& b) { b.basic.ChangeTime = 300.0; }, true},
        {"built at the same time", [](Built& b) { b.basic.ChangeTime = b.rbf.ChangeTime; }, true},
        {"view turned", [](Built& b) { b.view.CoordinateSystem[1] = 0.5f; }, true},
        {"use stylus", [](Built& b) { b.settings.RbfParams.RbfUseStylusPoints ^= 1; }, true},
        {"accuracy", [](Built& b) { b.settings.RbfParams.RbfAccuracy = 0.5f; }, true},
        {"resolution", [](Built& b) { b.settings.RbfParams.RbfResolution = 1.0f; }, true},
        {"auto memory", [](Built& b) { b.settings.RbfParams.RbfAutoMemoryLimit ^= 1; }, true},
        {"memory under auto",
         [](Built& b) {
             b.settings.RbfParams.RbfAutoMemoryLimit = b.rbf.RbfParams.RbfAutoMemoryLimit = 1;
             b.settings.RbfParams.RbfMemoryToUse = 500;
         },
         false},
        {"memory by hand",
         [](Built& b) {
             b.settings.RbfParams.RbfAutoMemoryLimit = b.rbf.RbfParams.RbfAutoMemoryLimit = 0;
             b.settings.RbfParams.RbfMemoryToUse = 500;
         },
         true},
        {"edges", [](Built& b) { b.settings.RbfParams.RbfTrimType = 3; }, true},
        {"margin", [](Built& b) { b.settings.RbfParams.RbfExtraTrim = 0.0f; }, true},
        {"simplification switch", [](Built& b) { b.settings.RbfParams.RbfSimplify ^= 1; }, true},
        {"target while not simplifying",
         [](Built& b) {
             b.settings.RbfParams.RbfSimplify = b.rbf.RbfParams.RbfSimplify = 0;
             b.settings.RbfParams.RbfSimpTarget = 2;
             b.settings.RbfParams.RbfSimpAngle = 30.0f;
         },
         false},
        {"angle switch", [&](Built& b) { simplifying(b, 0), b.settings.RbfParams.RbfSimpDoAngle ^= 1; }, true},
        {"angle", [&](Built& b) { simplifying(b, 0), b.settings.RbfParams.RbfSimpAngle = 30.0f; }, true},
        {"target", [&](Built& b) { simplifying(b, 0), b.settings.RbfParams.RbfSimpTarget = 1; }, true},
        {"error target", [&](Built& b) { simplifying(b, 0), b.settings.RbfParams.RbfSimpError = 1.0f; }, true},
        {"faces under the error target", [&](Built& b) { simplifying(b, 0), b.settings.RbfParams.RbfSimpNFaces = 5; },
         false},
        {"faces target", [&](Built& b) { simplifying(b, 1), b.settings.RbfParams.RbfSimpNFaces = 5; }, true},
        {"points under the faces target", [&](Built& b) { simplifying(b, 1), b.settings.RbfParams.RbfSimpNPoints = 5; },
         false},
        {"points target", [&](Built& b) { simplifying(b, 2), b.settings.RbfParams.RbfSimpNPoints = 5; }, true},
        {"basic setting only", [](Built& b) { b.settings.BasicParams.FilterRadius = 9.0f; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Built b;
        c.change(b);
        EXPECT_EQ(GenSurf_RbfParamsChanged(b.settings, b.view, b.basic, b.rbf), c.stale);
    }
}

TEST(GenerateSurfaceApply, TheChosenSurfaceIsShownAndEmptiedOnlyWhenStale) {
    struct Case {
        const char* name;
        int32_t kind;
        Change change;
        bool basicEmptied;
        bool rbfEmptied;
    };
    const Case cases[] = {
        {"basic as built", 1, [](Built&) {}, false, false},
        {"basic changed", 1, [](Built& b) { b.settings.BasicParams.FilterRadius = 9.0f; }, true, false},
        {"basic with an RBF change", 1, [](Built& b) { b.settings.RbfParams.RbfAccuracy = 1.0f; }, false, false},
        {"RBF as built", 2, [](Built&) {}, false, false},
        {"RBF changed", 2, [](Built& b) { b.settings.RbfParams.RbfAccuracy = 1.0f; }, false, true},
        {"RBF from another inversion", 2, [](Built& b) { b.rbf.Inverted = 1; }, false, true},
        {"RBF older than the basic surface", 2, [](Built& b) { b.basic.ChangeTime = 500.0; }, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Built b;
        c.change(b);
        SurfaceRecord* shown = nullptr;
        GenSurf_Apply(c.kind, b.settings, b.view, b.basic, b.rbf, shown);
        EXPECT_EQ(b.settings.CombineSweeps, c.kind);
        EXPECT_EQ(shown, c.kind == 1 ? &b.basic : &b.rbf);
        EXPECT_EQ(b.basic.NumPoints, c.basicEmptied ? 0 : 10);
        EXPECT_EQ(b.rbf.NumPoints, c.rbfEmptied ? 0 : 10);
    }
}

TEST(GenerateSurfaceClose, StaleSurfacesAreClearedAndTheViewFollows) {
    struct Case {
        const char* name;
        Change change;
        int command;
        int32_t basicPoints;
        int32_t rbfPoints;
    };
    const Case cases[] = {
        {"nothing changed", [](Built&) {}, 0, 10, 10},
        {"a basic change clears both", [](Built& b) { b.settings.BasicParams.ObjectLimit = 3; }, 40262, 0, 0},
        {"an RBF change clears the RBF surface", [](Built& b) { b.settings.RbfParams.RbfExtraTrim = 1.0f; }, 40263, 10,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Built b;
        b.settings.BasicParams.DoObjectLimit = b.basic.BasicParams.DoObjectLimit = 1;
        c.change(b);
        EXPECT_EQ(GenSurf_Close(b.settings, b.view, b.basic, b.rbf), c.command);
        EXPECT_EQ(b.basic.NumPoints, c.basicPoints);
        EXPECT_EQ(b.rbf.NumPoints, c.rbfPoints);
    }
}

TEST(GenerateSurfaceReset, BothBlocksComeFromTheDefaultsWithTheCastsOwnValuesInCastMode) {
    for (const int32_t castMode : {0, 1}) {
        SCOPED_TRACE(castMode);
        Built b;
        GeneralSettings defaults = b.settings;
        defaults.RbfParams.RbfTrimType = 2;
        defaults.RbfParams.RbfSimpAngle = 12.0f;
        defaults.BasicParams.DoObjectLimit = 0;
        b.settings.CastInversionMode = castMode;
        b.settings.BasicParams.FilterRadius = 9.0f;
        b.settings.RbfParams.RbfSimpDoAngle = 0;
        b.settings.ExportFileType = defaults.ExportFileType + 1;
        GenSurf_ResetToDefaults(b.settings, defaults);
        EXPECT_EQ(b.settings.BasicParams.FilterRadius, defaults.BasicParams.FilterRadius);
        EXPECT_EQ(b.settings.RbfParams.RbfSimpDoAngle, defaults.RbfParams.RbfSimpDoAngle);
        EXPECT_EQ(b.settings.RbfParams.RbfSimpAngle, 12.0f);
        EXPECT_EQ(b.settings.ExportFileType, defaults.ExportFileType + 1);  // not a surface setting
        EXPECT_EQ(b.settings.RbfParams.RbfTrimType, castMode ? 0 : 2);
        EXPECT_EQ(b.settings.BasicParams.DoObjectLimit, castMode ? 1 : 0);
        if (castMode) {
            EXPECT_EQ(b.settings.BasicParams.ObjectLimit, 2);
        }
    }
}

}  // namespace
