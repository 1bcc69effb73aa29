#include "app/export/export_dxf.h"

#include "app/export/export_sink.h"

namespace {

// Three coordinate lines with the group codes base, base + 10, base + 20.
bool Coordinates(ExportSink& sink, int base, const Vec3& p, const char* e) {
    return sink.Printf("%3i%s%8.2f%s", base, e, p.x, e) && sink.Printf("%3i%s%8.2f%s", base + 10, e, p.y, e) &&
           sink.Printf("%3i%s%8.2f%s", base + 20, e, p.z, e);
}

bool Points(ExportSink& sink, const Matrix4* matrix, const Vec3* positions, int32_t count, const char* e) {
    bool ok = true;
    for (int32_t i = 0; ok && i < count; ++i) {
        ok = sink.Printf("  0%sPOINT%s  8%s0%s", e, e, e, e) &&
             Coordinates(sink, 10, Export_Transform(matrix, positions[i]), e);
    }
    return ok;
}

bool Faces(ExportSink& sink, const Matrix4* matrix, const Vec3* positions, const int32_t* facets, int32_t count,
           const char* e) {
    bool ok = true;
    for (int32_t f = 0; ok && f < count; ++f) {
        const int32_t* v = facets + 3 * static_cast<std::size_t>(f);
        const int32_t corners[4] = {v[0], v[1], v[2], v[2]};
        ok = sink.Printf("  0%s3DFACE%s  8%s0%s", e, e, e, e);
        for (int k = 0; ok && k < 4; ++k)
            ok = Coordinates(sink, 10 + k, Export_Transform(matrix, positions[corners[k]]), e);
    }
    return ok;
}

bool Polyline(ExportSink& sink, const Matrix4* matrix, const Vec3* positions, int32_t pointCount, const int32_t* facets,
              int32_t facetCount, const char* e) {
    bool ok = sink.Printf("  0%sPOLYLINE%s  8%s0%s 66%s     1%s", e, e, e, e, e, e);
    ok = ok && sink.Printf(" 10%s0.0%s 20%s0.0%s 30%s0.0%s", e, e, e, e, e, e);
    ok = ok && sink.Printf(" 70%s    64%s 71%s%6d%s 72%s%6d%s", e, e, e, pointCount, e, e, facetCount, e);
    for (int32_t i = 0; ok && i < pointCount; ++i) {
        ok = sink.Printf("  0%sVERTEX%s  8%s0%s", e, e, e, e) &&
             Coordinates(sink, 10, Export_Transform(matrix, positions[i]), e) && sink.Printf(" 70%s   192%s", e, e);
    }
    for (int32_t f = 0; ok && f < facetCount; ++f) {
        const int32_t* v = facets + 3 * static_cast<std::size_t>(f);
        ok = sink.Printf("  0%sVERTEX%s  8%s0%s", e, e, e, e) &&
             sink.Printf(" 10%s0.0%s 20%s0.0%s 30%s0.0%s", e, e, e, e, e, e) && sink.Printf(" 70%s   128%s", e, e);
        for (int k = 0; ok && k < 3; ++k) ok = sink.Printf("%3i%s%6i%s", 71 + k, e, v[k] + 1, e);
    }
    ok = ok && sink.Printf("  0%sSEQEND%s  8%s0%s", e, e, e, e);
    return ok;
}

}  // namespace

int Dxf_Write(int mode, const std::string& path, const char* e, const std::string& creator, const std::string& comment,
              const Matrix4* matrix, const Vec3* positions, int32_t pointCount, const int32_t* facets,
              int32_t facetCount) {
    ExportSink sink;
    if (!sink.Open(path)) return kExportWriteOpenFailed;
    bool ok = sink.Printf("999%sDxf file created by %s on %s%s", e, creator.c_str(), Export_TimeText().c_str(), e);
    ok = ok && sink.Printf("999%s%s%s", e, comment.c_str(), e);
    if (mode == kDxfPolyline)
        ok = ok && sink.Printf("999%s%i POLYLINE faces%s", e, facetCount, e);
    else if (mode == kDxfFaces)
        ok = ok && sink.Printf("999%s%i 3DFACEs%s", e, facetCount, e);
    else
        ok = ok && sink.Printf("999%s%i POINTs%s", e, pointCount, e);
    ok = ok && sink.Printf("  0%sSECTION%s  2%sENTITIES%s", e, e, e, e);
    if (mode == kDxfPolyline)
        ok = ok && Polyline(sink, matrix, positions, pointCount, facets, facetCount, e);
    else if (mode == kDxfFaces)
        ok = ok && Faces(sink, matrix, positions, facets, facetCount, e);
    else
        ok = ok && Points(sink, matrix, positions, pointCount, e);
    ok = ok && sink.Printf("  0%sENDSEC%s  0%sEOF%s", e, e, e, e);
    return ok && sink.Commit() ? kExportWriteOk : kExportWriteFailed;
}
