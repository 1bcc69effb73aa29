#include "app/export/export_iges.h"

#include <ctime>

#include "app/export/export_sink.h"
#include "platform/os_seam.h"

namespace {

struct Iges {
    ExportSink& sink;
    const char* e;
    const Matrix4* matrix;
    const Matrix4* rotation;
    const ExportData& d;

    Vec3 Point(int32_t i) const { return Export_Transform(matrix, d.positions[i]); }
    Vec3 Normal(int32_t i) const { return Export_Transform(rotation, d.normals[i]); }

    // "x,y,z" followed by the separator.
    bool Corner(int32_t i, char separator) {
        const Vec3 p = Point(i);
        return sink.Printf("%8.2f,%8.2f,%8.2f%c", p.x, p.y, p.z, separator);
    }
};

std::string DateText() {
    std::tm t{};
    os::LocalTimeNow(t);
    return Export_Format("15H%04d%02d%02d.%02d%02d%02d", 1900 + t.tm_year, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
                         t.tm_sec);
}

bool StartAndGlobal(ExportSink& sink, const char* e, const std::string& creator, const std::string& comment,
                    int32_t points, int32_t facets) {
    const std::string title =
        Export_Format("Iges file created by %s on %s", creator.c_str(), Export_TimeText().c_str());
    const std::string date = DateText();
    return sink.Printf("%-72.72sS      1%s", title.c_str(), e) &&
           sink.Printf("%-72.72sS      2%s", comment.c_str(), e) &&
           sink.Printf("Points: %8d, Facets: %8d                                      S      3%s", points, facets, e) &&
           sink.Printf("------------------------------------------------------------------------S      4%s", e) &&
           sink.Printf(",,7HUnknown,7HUnknown,8HTolvaran,3H1.1,32,38,7,308,15,7HUnknown,1.0,2,2HG      1%s", e) &&
           sink.Printf("MM,1,0.01,%s,0.05,1000.0,13HNot specified,13HNot specifiG      2%s", date.c_str(), e) &&
           sink.Printf("ed,9,0,%s;                                              G      3%s", date.c_str(), e);
}

bool PointEntities(Iges& w, int32_t& directory, int32_t& parameter) {
    const char* e = w.e;
    const int32_t n = w.d.pointCount;
    bool ok = w.sink.Printf("     124       1       0       0       0       0       0       000000000D      1%s", e) &&
              w.sink.Printf("     124       0       0       1       0                  MATRIX       1D      2%s", e);
    for (int32_t i = 0; ok && i < n; ++i) {
        ok = w.sink.Printf("     116%8d       0       1       1       0       1       000000000D%7d%s", i + 2,
                           2 * i + 3, e) &&
             w.sink.Printf("     116       1       3       1       0                   POINT%8dD%7d%s", i + 1,
                           2 * i + 4, e);
    }
    ok = ok && w.sink.Printf("124,1.,0.,0.,0.,0.,1.,0.,0.,0.,0.,1.,0.;                               1P      1%s", e);
    for (int32_t i = 0; ok && i < n; ++i) {
        const Vec3 p = w.Point(i);
        ok = w.sink.Printf("116,%8.2f,%8.2f,%8.2f;                                 %8dP%7d%s", p.x, p.y, p.z, 2 * i + 3,
                           i + 2, e);
    }
    directory = 2 * n + 2;
    parameter = n + 1;
    return ok;
}

bool CopiousEntities(Iges& w, int32_t& directory, int32_t& parameter) {
    const char* e = w.e;
    const int32_t m = w.d.facetCount;
    const bool normals = w.d.normals != nullptr;
    const int32_t perFacet = normals ? 4 : 2;
    bool ok = true;
    for (int32_t i = 0; ok && i < m; ++i) {
        ok = w.sink.Printf("     106%8d                                       0        00000000D%7d%s",
                           perFacet * i + 1, 2 * i + 1, e) &&
             w.sink.Printf(normals ? "     106               0       4      13                    SCAN       0D%7d%s"
                                   : "     106               0       2      12                    SCAN       0D%7d%s",
                           2 * i + 2, e);
    }
    for (int32_t i = 0; ok && i < m; ++i) {
        const int32_t* v = w.d.facets + 3 * static_cast<std::size_t>(i);
        const int32_t corners[4] = {v[0], v[1], v[2], v[0]};
        if (!normals) {
            ok = w.sink.Put("106,2,4,") && w.Corner(corners[0], ',') && w.Corner(corners[1], ',') &&
                 w.sink.Printf("  %8dP%7d%s", 2 * i + 1, 2 * i + 1, e) && w.Corner(corners[2], ',') &&
                 w.Corner(corners[3], ';') && w.sink.Printf("          %8dP%7d%s", 2 * i + 1, 2 * i + 2, e);
            continue;
        }
        for (int k = 0; ok && k < 4; ++k) {
            const Vec3 p = w.Point(corners[k]);
            const Vec3 n = w.Normal(corners[k]);
            ok = (k == 0 ? w.sink.Put("106,3,4,") : true) &&
                 w.sink.Printf("%8.2f,%8.2f,%8.2f,%8.5f,%8.5f,%8.5f%c", p.x, p.y, p.z, n.x, n.y, n.z,
                               k == 3 ? ';' : ',') &&
                 w.sink.Printf(k == 0 ? "  %8dP%7d%s" : "          %8dP%7d%s", 2 * i + 1, 4 * i + 1 + k, e);
        }
    }
    directory = 2 * m;
    parameter = perFacet * m;
    return ok;
}

bool NurbsEntities(Iges& w, int32_t& directory, int32_t& parameter) {
    const char* e = w.e;
    const int32_t m = w.d.facetCount;
    bool ok = true;
    for (int32_t i = 0; ok && i < m; ++i) {
        ok = w.sink.Printf("     128%8d                                       0        00000000D%7d%s", 4 * i + 1,
                           2 * i + 1, e) &&
             w.sink.Printf("     128               0       4       0                    SCAN       0D%7d%s", 2 * i + 2,
                           e);
    }
    for (int32_t i = 0; ok && i < m; ++i) {
        const int32_t* v = w.d.facets + 3 * static_cast<std::size_t>(i);
        const int32_t pointer = 2 * i + 1;
        ok = w.sink.Printf("128,1,1,1,1,0,0,1,0,0,0.0,0.0,1.0,1.0,0.0,0.0,1.0,1.0,1.0,1.0,  %8dP%7d%s", pointer,
                           4 * i + 1, e) &&
             w.sink.Put("1.0,1.0,") && w.Corner(v[0], ',') && w.Corner(v[1], ',') &&
             w.sink.Printf("  %8dP%7d%s", pointer, 4 * i + 2, e) && w.Corner(v[2], ',') && w.Corner(v[2], ',') &&
             w.sink.Printf("          %8dP%7d%s", pointer, 4 * i + 3, e) &&
             w.sink.Printf("0.0,1.0,0.0,1.0;                                                %8dP%7d%s", pointer,
                           4 * i + 4, e);
    }
    directory = 2 * m;
    parameter = 4 * m;
    return ok;
}

}  // namespace

int64_t Iges_LargestSequenceNumber(int mode, int32_t pointCount, int32_t facetCount, bool normals) {
    const int64_t n = pointCount, m = facetCount;
    if (mode == kIgesCopious) return (normals ? 4 : 2) * m;
    if (mode == kIgesNurbs) return 4 * m;
    return 2 * n + 2;
}

int Iges_Write(int mode, const std::string& path, const std::string& creator, const std::string& comment, const char* e,
               const Matrix4* matrix, const ExportData& data) {
    // The records' sequence numbers have seven columns: a larger model is
    // refused before the file is touched.
    if (Iges_LargestSequenceNumber(mode, data.pointCount, data.facetCount, data.normals != nullptr) >
        kIgesMostSequenceNumber)
        return kExportWriteFailed;
    ExportSink sink;
    if (!sink.Open(path)) return kExportWriteOpenFailed;
    const Matrix4 rotation = matrix ? Export_RotationPart(*matrix) : Matrix4{};
    Iges w{sink, e, matrix, matrix ? &rotation : nullptr, data};
    bool ok = StartAndGlobal(sink, e, creator, comment, data.pointCount, data.facetCount);
    int32_t directory = 0, parameter = 0;
    if (mode == kIgesCopious)
        ok = ok && CopiousEntities(w, directory, parameter);
    else if (mode == kIgesNurbs)
        ok = ok && NurbsEntities(w, directory, parameter);
    else
        ok = ok && PointEntities(w, directory, parameter);
    ok = ok && sink.Printf("S      4G      3D%7dP%7d                                        T      1%s", directory,
                           parameter, e);
    return ok && sink.Commit() ? kExportWriteOk : kExportWriteFailed;
}
