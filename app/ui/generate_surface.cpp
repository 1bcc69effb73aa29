// The Generate Surface window's rules.
#include "app/ui/generate_surface.h"
#include "app/ui/ui_utilities.h"

#include <cstdio>
#include <cstdlib>
#include <climits>
#include <cstring>

namespace {

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool BasicSame(const BasicSurfParams& a, const BasicSurfParams& b) {
    if (a.GenerateFacets != b.GenerateFacets || a.ExportResolutionClip != b.ExportResolutionClip ||
        a.FilterRadius != b.FilterRadius || a.SimplifyFacets != b.SimplifyFacets)
        return false;
    if (a.SimplifyFacets && a.SimplifyError != b.SimplifyError) return false;
    if (a.DoObjectLimit != b.DoObjectLimit) return false;
    return !a.DoObjectLimit || a.ObjectLimit == b.ObjectLimit;
}

bool SimplificationSame(const RbfSurfParams& a, const RbfSurfParams& b) {
    if (a.RbfSimpDoAngle != b.RbfSimpDoAngle || a.RbfSimpAngle != b.RbfSimpAngle || a.RbfSimpTarget != b.RbfSimpTarget)
        return false;
    switch (a.RbfSimpTarget) {
        case 0:
            return a.RbfSimpError == b.RbfSimpError;
        case 1:
            return a.RbfSimpNFaces == b.RbfSimpNFaces;
        case 2:
            return a.RbfSimpNPoints == b.RbfSimpNPoints;
        default:
            return true;
    }
}

bool RbfSame(const RbfSurfParams& a, const RbfSurfParams& b) {
    if (a.RbfUseStylusPoints != b.RbfUseStylusPoints || a.RbfAccuracy != b.RbfAccuracy ||
        a.RbfResolution != b.RbfResolution || a.RbfAutoMemoryLimit != b.RbfAutoMemoryLimit)
        return false;
    if (!a.RbfAutoMemoryLimit && a.RbfMemoryToUse != b.RbfMemoryToUse) return false;
    if (a.RbfTrimType != b.RbfTrimType || a.RbfExtraTrim != b.RbfExtraTrim || a.RbfSimplify != b.RbfSimplify)
        return false;
    return !a.RbfSimplify || SimplificationSame(a, b);
}

}  // namespace

bool GenSurf_BasicParamsChanged(const GeneralSettings& settings, const SurfaceRecord& basic) {
    return basic.NumPoints <= 0 || !BasicSame(settings.BasicParams, basic.BasicParams);
}

bool GenSurf_RbfParamsChanged(const GeneralSettings& settings, const ViewSettings& view, const SurfaceRecord& basic,
                              const SurfaceRecord& rbf) {
    if (basic.NumPoints <= 0 || !(rbf.ChangeTime > basic.ChangeTime)) return true;
    if (std::memcmp(&rbf.RbfParams.CoordinateSystem, &view.CoordinateSystem, sizeof view.CoordinateSystem) != 0)
        return true;
    return !RbfSame(settings.RbfParams, rbf.RbfParams);
}

float GenSurf_FloatEntry(const std::string& text, float old, bool zeroAllowed) {
    float value = 0;
    if (!Number_Parse(text.c_str(), value)) return old;
    // The zero rule looks at the value as stored: 1e-50 is a float 0.
    const float taken = value < 0.0f ? 0.0f : value;
    if (taken == 0.0f && !zeroAllowed) return old;
    return taken;
}

int32_t GenSurf_ObjectLimitEntry(const std::string& text) {
    const long value = std::strtol(Trimmed(text).c_str(), nullptr, 10);
    return value < 1 ? 1 : value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value);
}

uint32_t GenSurf_UnsignedEntry(const std::string& text) {
    return static_cast<uint32_t>(std::strtoul(Trimmed(text).c_str(), nullptr, 10));
}

std::string GenSurf_FormatFloat(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(value));
    return text;
}

void GenSurf_Apply(int32_t kind, GeneralSettings& settings, const ViewSettings& view, SurfaceRecord& basic,
                   SurfaceRecord& rbf, SurfaceRecord*& shown) {
    settings.CombineSweeps = kind == 2 ? 2 : 1;
    if (settings.CombineSweeps == 1) {
        shown = &basic;
        if (GenSurf_BasicParamsChanged(settings, basic)) basic.NumPoints = 0;
        return;
    }
    shown = &rbf;
    // The RBF surface was made from this basic surface: same cast inversion,
    // built after it, with the settings in force.
    if (!(basic.ChangeTime < rbf.ChangeTime) || rbf.Inverted != basic.Inverted ||
        GenSurf_RbfParamsChanged(settings, view, basic, rbf))
        rbf.NumPoints = 0;
}

int GenSurf_Close(const GeneralSettings& settings, const ViewSettings& view, SurfaceRecord& basic, SurfaceRecord& rbf) {
    if (GenSurf_BasicParamsChanged(settings, basic)) {
        basic.NumPoints = 0;
        rbf.NumPoints = 0;
        return kCommandViewSweeps;
    }
    if (GenSurf_RbfParamsChanged(settings, view, basic, rbf)) {
        rbf.NumPoints = 0;
        return kCommandViewBasicSurface;
    }
    return 0;
}

void GenSurf_ResetToDefaults(GeneralSettings& settings, const GeneralSettings& defaults) {
    settings.BasicParams = defaults.BasicParams;
    settings.RbfParams = defaults.RbfParams;
    if (settings.CastInversionMode) {
        settings.RbfParams.RbfTrimType = kRbfTrimOpen;
        settings.BasicParams.DoObjectLimit = 1;
        settings.BasicParams.ObjectLimit = 2;
    }
}
