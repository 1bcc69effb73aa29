#include "app/export/export_psl.h"

#include <cstring>

#include "app/export/export_sink.h"

namespace {

void Put32(unsigned char* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(v >> (8 * i));
}

void PutFloat(unsigned char* out, float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    Put32(out, v);
}

Vec3 Rotate(const Matrix4& m, const Vec3& v) {
    const Matrix4 r = Export_RotationPart(m);
    Vec3 out;
    M4_TransformPoint(r, v, out);
    return out;
}

}  // namespace

Vec3 Psl_ViewingDirection(const VisibleProfileRecord& profile, const Matrix4& baseTransform, const Matrix4* matrix) {
    Matrix4 inverse;
    M4_InvertRigid(baseTransform, inverse);
    Vec3 d = Rotate(inverse, Vec3{0.0f, 0.0f, -1.0f});
    d = Rotate(profile.WandRxMatrix, d);
    if (profile.ReferenceEnabled) {
        Matrix4 reference;
        M4_InvertRigid(profile.ReferenceRxMatrix, reference);
        d = Rotate(reference, d);
    }
    if (matrix) d = Rotate(*matrix, d);
    return d;
}

int Psl_Write(const std::string& path, const std::string& creator, const std::string& comment, const Matrix4* matrix,
              const Matrix4& baseTransform, const VisibleProfiles& profiles) {
    ExportSink sink;
    if (!sink.Open(path)) return kExportWriteOpenFailed;

    unsigned char header[512] = {};
    std::memcpy(header, "PSLF", 4);
    Put32(header + 4, 1);
    const std::string text = Export_Format("PSL binary file created by %s on %s%s", creator.c_str(),
                                           Export_TimeText().c_str(), comment.c_str());
    std::memcpy(header + 8, text.data(), text.size() < 127 ? text.size() : 127);
    Put32(header + 136, static_cast<uint32_t>(profiles.sweepCount));
    bool ok = sink.Write(header, sizeof header);

    int32_t profile = 0;
    for (int32_t s = 0; ok && s < profiles.sweepCount; ++s) {
        const int32_t end = profiles.sweepTotals[s];
        unsigned char sweepHeader[64] = {};
        Put32(sweepHeader, static_cast<uint32_t>(end - profile));
        ok = sink.Write(sweepHeader, sizeof sweepHeader);
        for (; ok && profile < end; ++profile) {
            const VisibleProfileRecord& record = profiles.records[profile];
            const int32_t count = record.NumPoints > 0 && record.Points ? record.NumPoints : 0;
            unsigned char profileHeader[64] = {};
            Put32(profileHeader, static_cast<uint32_t>(count));
            const Vec3 d = Psl_ViewingDirection(record, baseTransform, matrix);
            PutFloat(profileHeader + 4, d.x);
            PutFloat(profileHeader + 8, d.y);
            PutFloat(profileHeader + 12, d.z);
            ok = sink.Write(profileHeader, sizeof profileHeader);
            for (int32_t i = 0; ok && i < count; ++i) {
                const Vec3 p = Export_Transform(matrix, record.Points[i]);
                unsigned char point[12];
                PutFloat(point, p.x);
                PutFloat(point + 4, p.y);
                PutFloat(point + 8, p.z);
                ok = sink.Write(point, sizeof point);
            }
        }
    }
    return ok && sink.Commit() ? kExportWriteOk : kExportWriteFailed;
}
