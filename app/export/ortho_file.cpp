#include "app/export/ortho_file.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>

#include "app/export/export_sink.h"
#include "platform/os_seam.h"

namespace {

std::string Maker() {
    const OrthoHooks& h = Ortho_Hooks();
    return h.makerName ? h.makerName() : std::string("Tolvaran");
}
std::string Product() {
    const OrthoHooks& h = Ortho_Hooks();
    return h.productName ? h.productName() : std::string("Tolvaran");
}
std::string Version() {
    const OrthoHooks& h = Ortho_Hooks();
    return h.productVersion ? h.productVersion() : std::string("4.0.7");
}
// An unreadable name leaves the line empty.
std::string UserName() {
    const OrthoHooks& h = Ortho_Hooks();
    std::string name;
    if (!h.userName || !h.userName(name)) return std::string();
    return name;
}

class OrthoFile {
  public:
    explicit OrthoFile(const std::string& path) { open_ = sink_.Open(path); }
    void Line(const std::string& text) {
        sink_.Put(text);
        sink_.Put("\r\n");
    }
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    void
    Linef(const char* format, ...) {
        va_list args;
        va_start(args, format);
        Line(Export_VFormat(format, args));
        va_end(args);
    }
    bool Open() const { return open_; }
    // Commits; on failure the error text and the earlier file kept.
    int Finish(OrthoModel& model, std::string& errorText) {
        if (!sink_.Failed() && sink_.Commit()) {
            model.Saved = 1;
            return kOrthoOk;
        }
        return SaveFailed(errorText);
    }
    int SaveFailed(std::string& errorText) {
        std::string reason = sink_.ErrorText();
        if (reason.empty()) reason = std::strerror(sink_.ErrorNumber() ? sink_.ErrorNumber() : EIO);
        sink_.Discard();
        errorText = "Save failed:\n    " + reason;
        if (errorText.size() > 255) errorText.resize(255);
        return kOrthoSaveFailed;
    }

  private:
    ExportSink sink_;
    bool open_ = false;
};

std::string CreatedLine(const char* kind) {
    return Export_Format("%s file created by %s %s v%s on %s", kind, Maker().c_str(), Product().c_str(),
                         Version().c_str(), Ortho_DateText().c_str());
}

}  // namespace

std::string Ortho_DateText() {
    std::tm now{};
    if (!os::LocalTimeNow(now)) return std::string();
    char text[128];
    const std::size_t n = std::strftime(text, sizeof text, "%d-%b-%Y, %H:%M:%S", &now);
    return std::string(text, n);
}

int Aaop_WriteFile(OrthoModel& model, const std::string& path, bool writeNames, std::string& errorText) {
    errorText.clear();
    OrthoFile file(path);
    if (!file.Open()) return file.SaveFailed(errorText);
    file.Line("AAOP1");
    file.Line(CreatedLine("AAOP"));
    file.Line("END COMMENTS");
    file.Line("CYLINDRICAL");
    file.Line(OrthoSide_Text(model.Side));
    file.Linef("%d", static_cast<int>(model.Landmarks.size()));
    for (const OrthoLandmark& mark : model.Landmarks) {
        file.Line(writeNames ? mark.Name : " ");
        file.Linef("%d", static_cast<int>(mark.Points.size()));
        for (const OrthoLandmarkPoint& p : mark.Points) {
            file.Linef("%.4f", static_cast<double>(p.Radius));
            file.Linef("%.4f", static_cast<double>(p.Angle));
            file.Linef("%.4f", static_cast<double>(p.Y));
        }
    }
    file.Linef("%d", model.PointsPerSlice);
    file.Linef("%g", model.AngleSpacing);
    file.Linef("%d", static_cast<int>(model.Slices.size()));
    file.Line("0");
    for (const OrthoSlice& s : model.Slices) file.Linef("%.4f", s.Height);
    for (const OrthoSlice& s : model.Slices)
        for (std::size_t i = s.Radii.size(); i-- > 0;) file.Linef("%.4f", static_cast<double>(s.Radii[i]));
    return file.Finish(model, errorText);
}

int Op3_WriteFile(OrthoModel& model, const std::string& path, bool writeNames, std::string& errorText) {
    errorText.clear();
    OrthoFile file(path);
    if (!file.Open()) return file.SaveFailed(errorText);
    const char* const head[] = {"FILE_FORMAT", "OP3", "", "FILE_VERSION", "1.0", "", "APPLICATION"};
    for (const char* line : head) file.Line(line);
    file.Linef("%s %s v%s", Maker().c_str(), Product().c_str(), Version().c_str());
    file.Line("");
    file.Line("CREATED_BY");
    file.Line(UserName());
    file.Line("");
    file.Line("SIDE");
    file.Line(OrthoSide_Text(model.Side));
    file.Line("");
    file.Line("COMMENT");
    file.Line(CreatedLine("OP3"));
    file.Line("");
    file.Line("LANDMARK_XYZ");
    // A line head without members has no point to write: it is left out of
    // the count as well as the list.
    int marks = 0;
    for (const OrthoLandmark& mark : model.Landmarks)
        if (!mark.Points.empty()) ++marks;
    file.Linef("%d", marks);
    for (const OrthoLandmark& mark : model.Landmarks) {
        if (mark.Points.empty()) continue;
        const OrthoLandmarkPoint& p = mark.Points[0];
        if (writeNames)
            file.Linef("%g %g %g %s", static_cast<double>(p.X), static_cast<double>(p.Y), static_cast<double>(p.Z),
                       mark.Name);
        else
            file.Linef("%g %g %g", static_cast<double>(p.X), static_cast<double>(p.Y), static_cast<double>(p.Z));
    }
    file.Line("");
    file.Line("SLICE_DATA");
    file.Linef("%d", static_cast<int>(model.Slices.size()));
    file.Linef("%d", model.PointsPerSlice);
    file.Line("1");
    for (const OrthoSlice& s : model.Slices)
        for (const Vec3& p : s.Points)
            file.Linef("%g %g %g", static_cast<double>(p.x), static_cast<double>(p.y), static_cast<double>(p.z));
    return file.Finish(model, errorText);
}
