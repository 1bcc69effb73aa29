// The parameter comment: what the exported data was made with, in short
// cells, for whoever opens the file later.
#include <cmath>
#include <cstdio>

#include "app/export/export_driver.h"
#include "app/export/export_sink.h"

std::string Export_FormatCell(double value) {
    std::string cell;
    if (std::isnan(value) || value < 0) {
        cell = "UNDR";
    } else if (value < 10) {
        cell = Export_Format("%.2f", value);
    } else if (value < 100) {
        cell = Export_Format("%.1f", value);
    } else if (value < 1000) {
        cell = Export_Format("%.0f.", value);
    } else if (value < 4294967296.0) {
        const std::string digits = Export_Format("%llu", static_cast<unsigned long long>(value));
        const std::size_t n = digits.size();
        const char letter = " kMG"[(n - 1) / 3];
        const std::size_t lead = n % 3 == 0 ? 3 : n % 3;
        cell = digits.substr(0, lead) + letter + digits.substr(lead);
    } else {
        cell = "OVER";
    }
    if (cell.size() > 4) cell.resize(4);
    return cell;
}

namespace {

std::string SimplificationText(const RbfSurfParams& rbf) {
    if (rbf.RbfSimplify == 0) return "off";
    std::string text;
    if (rbf.RbfSimpDoAngle) text += Export_Format("a%s,", Export_FormatCell(rbf.RbfSimpAngle).c_str());
    switch (rbf.RbfSimpTarget) {
        case 0:
            text += Export_Format("e%s", Export_FormatCell(rbf.RbfSimpError).c_str());
            break;
        case 1:
            text += Export_Format("f%d", rbf.RbfSimpNFaces);
            break;
        case 2:
            text += Export_Format("p%d", rbf.RbfSimpNPoints);
            break;
        default:
            break;
    }
    if (text.size() > 63) text.resize(63);
    return text;
}

}  // namespace

std::string Export_BuildComment(const GeneralSettings& settings, const ExportFormatOptions& options, bool surface,
                                const char* eol) {
    const char* frame = options.ExportCoordinateSystem == 0 ? "t" : options.ExportCoordinateSystem == 1 ? "s" : "b";
    const char* data = options.ExportDataType == 1 ? "m" : "p";
    const BasicSurfParams& basic = settings.BasicParams;
    const RbfSurfParams& rbf = settings.RbfParams;
    const int32_t objectLimit = basic.DoObjectLimit ? basic.ObjectLimit : 0;
    std::string comment;
    if (!surface) {
        comment = Export_Format("Raw(%s)Exp(%s,%s,%s)", options.ExportSeparateSweeps ? "separate" : "combined", frame,
                                data, eol);
    } else if (settings.CombineSweeps == 1) {
        comment = Export_Format("Basic(%s,%s,%d)Smp(%s)Exp(%s,%s,%s)", Export_FormatCell(basic.FilterRadius).c_str(),
                                Export_FormatCell(basic.ExportResolutionClip).c_str(), objectLimit,
                                basic.SimplifyFacets ? "on" : "off", frame, data, eol);
    } else {
        const int32_t trim = rbf.RbfTrimType;
        const char edge = trim >= 0 && trim < 4 ? "octe"[trim] : '?';
        comment = Export_Format(
            "In(%s,%s,%d)RBF(%s,%s,%d)Edg(%c,%s)Smp(%s)Exp(%s,%s,%s)", Export_FormatCell(basic.FilterRadius).c_str(),
            Export_FormatCell(basic.ExportResolutionClip).c_str(), objectLimit,
            Export_FormatCell(rbf.RbfAccuracy).c_str(), Export_FormatCell(rbf.RbfResolution).c_str(),
            rbf.RbfMemoryToUse, edge, Export_FormatCell(rbf.RbfExtraTrim).c_str(), SimplificationText(rbf).c_str(),
            frame, data, eol);
    }
    if (comment.size() > 1023) comment.resize(1023);
    return comment;
}
