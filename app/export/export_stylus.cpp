#include "app/export/export_stylus.h"

#include <cstdio>

#include "app/export/export_common.h"
#include "app/export/export_sink.h"

namespace {

const char* const kCsvHeaders[] = {
    "item,line index,,x,y,z,,on surface",
    "item,line index,,x,y,z,dx,dy,dz,,on surface",
    "item,line index,,x,y,z,alpha,beta,gamma,,on surface",
    "item,line index,,,,,,,,,,,,,,x,y,z,,,on surface",
};

const char* const kTextColumns[] = {"x y z", "x y z dx dy dz", "x y z alpha beta gamma", "<4x4 matrix>"};

int TypeIndex(int32_t type) { return type >= 0 && type <= 3 ? type : 0; }

// The values of a record's row: position, then direction, angles or the
// whole matrix by type.
int RowValues(const StylusExportRecord& record, const Matrix4* matrix, int32_t type, float* values) {
    Matrix4 p = record.matrix;
    if (matrix) M4_Multiply(*matrix, record.matrix, p);
    switch (TypeIndex(type)) {
        case kStylusMatrix:
            for (int i = 0; i < 16; ++i) values[i] = p[i];
            return 16;
        case kStylusDirections: {
            Vec3 axis;
            M4_TransformPoint(Export_RotationPart(p), Vec3{1.0f, 0.0f, 0.0f}, axis);
            values[3] = axis.x;
            values[4] = axis.y;
            values[5] = axis.z;
            break;
        }
        case kStylusEulers: {
            Vec3 angles;
            M4_ToEulerAngles(p, angles);
            values[3] = angles.x;
            values[4] = angles.y;
            values[5] = angles.z;
            break;
        }
        default:
            break;
    }
    values[0] = p[12];
    values[1] = p[13];
    values[2] = p[14];
    return TypeIndex(type) == kStylusPoints ? 3 : 6;
}

bool Values(ExportSink& sink, const char* format, const float* values, int count) {
    bool ok = true;
    for (int i = 0; ok && i < count; ++i) ok = sink.Printf(format, values[i]);
    return ok;
}

int Finish(ExportSink& sink, bool ok, std::string* errorText) {
    if (ok && sink.Commit()) return 0;
    if (errorText) *errorText = sink.ErrorText();
    return 2;
}

}  // namespace

int StylusCsv_CountCommas(const char* text) {
    int commas = 0;
    for (; text && *text; ++text)
        if (*text == ',') ++commas;
    return commas;
}

const char* StylusCsv_LineIndexText(const StylusExportRecord& record) {
    static char text[32];
    if (record.lineIndex == -1)
        text[0] = '\0';
    else
        std::snprintf(text, sizeof text, "%d", record.lineIndex + 1);
    return text;
}

int StylusCsv_Write(const std::string& path, const std::string& creator, const std::string& comment, const char* e,
                    const Matrix4* matrix, int32_t type, const StylusExportRecord* records, int32_t count,
                    std::string* errorText) {
    ExportSink sink;
    if (!sink.Open(path)) {
        if (errorText) *errorText = sink.ErrorText();
        return 1;
    }
    const char* header = kCsvHeaders[TypeIndex(type)];
    const std::string commas(static_cast<std::size_t>(StylusCsv_CountCommas(header)), ',');
    bool ok = sink.Printf("\"CSV stylus data file created by %s on %s\"%s%s", creator.c_str(),
                          Export_TimeText().c_str(), commas.c_str(), e);
    ok = ok && sink.Printf("\"(%s)\"%s%s", comment.c_str(), commas.c_str(), e);
    ok = ok && sink.Printf("%s%s%s", header, e, e);
    for (int32_t r = 0; ok && r < count; ++r) {
        const StylusExportRecord& record = records[r];
        if (!record.visible) continue;
        float values[16];
        const int n = RowValues(record, matrix, type, values);
        ok = sink.Printf("%d,%s,", record.itemNumber + 1, StylusCsv_LineIndexText(record));
        for (int i = 0; ok && i < n; ++i) ok = sink.Printf(",%9.4f", values[i]);
        ok = ok && sink.Printf(",,%s%s", record.onSurface ? "TRUE" : "FALSE", e);
    }
    return Finish(sink, ok, errorText);
}

int StylusAscii_Write(const std::string& path, const std::string& creator, const std::string& comment, const char* e,
                      const Matrix4* matrix, int32_t type, const StylusExportRecord* records, int32_t count,
                      std::string* errorText) {
    ExportSink sink;
    if (!sink.Open(path)) {
        if (errorText) *errorText = sink.ErrorText();
        return 1;
    }
    bool ok =
        sink.Printf("%% Ascii stylus data file created by %s on %s%s", creator.c_str(), Export_TimeText().c_str(), e);
    ok = ok && sink.Printf("%% %s%s", comment.c_str(), e);
    ok = ok && sink.Printf("%% %s%s", kTextColumns[TypeIndex(type)], e);
    for (int32_t r = 0; ok && r < count; ++r) {
        if (!records[r].visible) continue;
        float values[16];
        const int n = RowValues(records[r], matrix, type, values);
        ok = Values(sink, " %9.4f", values, n) && sink.Put(e);
    }
    return Finish(sink, ok, errorText);
}
