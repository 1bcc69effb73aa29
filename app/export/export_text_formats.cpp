#include "app/export/export_text_formats.h"

#include <cmath>
#include <ctime>

#include "app/export/export_sink.h"
#include "platform/os_seam.h"

namespace {

int Finish(ExportSink& sink, bool ok) { return ok && sink.Commit() ? kExportWriteOk : kExportWriteFailed; }

int CurrentYear() {
    std::tm t{};
    return os::LocalTimeNow(t) ? 1900 + t.tm_year : 1970;
}

// The facet list of the two V1.0 formats: "i, j, k, -1" with a comma after
// every facet but the last.
bool FacetIndexList(ExportSink& sink, const int32_t* facets, int32_t facetCount, const char* e) {
    bool ok = true;
    for (int32_t f = 0; ok && f < facetCount; ++f) {
        const int32_t* v = facets + 3 * static_cast<std::size_t>(f);
        ok = sink.Printf("      %i, %i, %i, -1", v[0], v[1], v[2]);
        if (ok && f + 1 < facetCount) ok = sink.Printf(",%s", e);
    }
    return ok;
}

}  // namespace

int Ascii_Write(const std::string& path, const std::string& creator, const std::string& comment, const Matrix4* matrix,
                const Vec3* positions, int32_t pointCount, const char* e) {
    ExportSink sink;
    if (!sink.Open(path)) return kExportWriteOpenFailed;
    bool ok = sink.Printf("%% Exported with Tolvaran, %d%s", CurrentYear(), e);
    ok = ok && sink.Printf("%s Ascii 3D points file created by %s on %s%s", "%", creator.c_str(),
                           Export_TimeText().c_str(), e);
    ok = ok && sink.Printf("%s %s%s", "%", comment.c_str(), e);
    ok = ok && sink.Printf("%s %i 3D points, x y z per line%s", "%", pointCount, e);
    for (int32_t i = 0; ok && i < pointCount; ++i) {
        const Vec3 p = Export_Transform(matrix, positions[i]);
        ok = sink.Printf("%8.2f %8.2f %8.2f%s", p.x, p.y, p.z, e);
    }
    return Finish(sink, ok);
}

int Vtk_Write(const std::string& path, const std::string& creator, const char* e, const Matrix4* matrix,
              const Vec3* positions, int32_t pointCount, const int32_t* facets, int32_t facetCount) {
    ExportSink sink;
    if (!sink.Open(path)) return kExportWriteOpenFailed;
    std::string title = Export_Format("Vtk file created by %s on %s", creator.c_str(), Export_TimeText().c_str());
    if (title.size() > 250) title.resize(250);
    bool ok = sink.Printf("# vtk DataFile Version 2.0%s%s%sASCII%s", e, title.c_str(), e, e);
    ok = ok && sink.Printf("DATASET POLYDATA%sPOINTS %d float%s", e, pointCount, e);
    for (int32_t i = 0; ok && i < pointCount; ++i) {
        const Vec3 p = Export_Transform(matrix, positions[i]);
        ok = sink.Printf("%4.2f %4.2f %4.2f%s", p.x, p.y, p.z, e);
    }
    if (ok && facetCount > 0) {
        ok = sink.Printf("\nPOLYGONS %d %d%s", facetCount, 4 * facetCount, e);
        for (int32_t f = 0; ok && f < facetCount; ++f) {
            const int32_t* v = facets + 3 * static_cast<std::size_t>(f);
            ok = sink.Printf("3 %d %d %d%s", v[0], v[1], v[2], e);
        }
    }
    return Finish(sink, ok);
}

int Inventor_Write(const std::string& path, const std::string& creator, const std::string& comment, const char* e,
                   const Matrix4* matrix, const Vec3* positions, int32_t pointCount, const int32_t* facets,
                   int32_t facetCount) {
    ExportSink sink;
    if (!sink.Open(path)) return kExportWriteOpenFailed;
    bool ok = sink.Printf("#Inventor V1.0 ascii%s", e);
    ok = ok && sink.Printf("# Inventor file created by %s on %s%s", creator.c_str(), Export_TimeText().c_str(), e);
    ok = ok && sink.Printf("# %s%s", comment.c_str(), e);
    ok = ok && sink.Printf("Separator {%s", e);
    ok = ok && sink.Printf("  #%s  # %i points:%s  #%s", e, pointCount, e, e);
    ok = ok && sink.Printf("  Coordinate3 {%s    point [%s", e, e);
    for (int32_t i = 0; ok && i < pointCount; ++i) {
        const Vec3 p = Export_Transform(matrix, positions[i]);
        ok = sink.Printf("      %4.2f %4.2f %4.2f", p.x, p.y, p.z);
        if (ok && i + 1 < pointCount) ok = sink.Printf(",%s", e);
    }
    ok = ok && sink.Printf(" ]%s  }%s", e, e);
    ok = ok && sink.Printf("  #%s  # %i facets:%s  #%s", e, facetCount, e, e);
    ok = ok && sink.Printf("  IndexedTriangleMesh {%s    coordIndex [%s", e, e);
    ok = ok && FacetIndexList(sink, facets, facetCount, e);
    ok = ok && sink.Printf(" ]%s  }%s", e, e);
    ok = ok && sink.Printf("}%s", e);
    return Finish(sink, ok);
}

int Vrml_Write(const std::string& path, const std::string& creator, const std::string& comment, const char* e,
               const Matrix4* matrix, const Vec3* positions, int32_t pointCount, const int32_t* facets,
               int32_t facetCount) {
    // VRML counts in metres: the export matrix, then a scale of 1/1000.
    Matrix4 scaled;
    if (matrix) {
        scaled = *matrix;
    } else {
        M4_Identity(scaled);
    }
    M4_Scale(Vec3{0.001f, 0.001f, 0.001f}, scaled);

    ExportSink sink;
    if (!sink.Open(path)) return kExportWriteOpenFailed;
    bool ok = sink.Printf("#VRML V1.0 ascii%s", e);
    ok = ok && sink.Printf("# Vrml file created by %s on %s%s", creator.c_str(), Export_TimeText().c_str(), e);
    ok = ok && sink.Printf("# %s%s", comment.c_str(), e);
    ok = ok && sink.Printf(
                   "Separator {%s  NormalBinding { value PER_FACE }%s  MaterialBinding { value OVERALL }%s  "
                   "ShapeHints {%s    vertexOrdering  COUNTERCLOCKWISE%s    shapeType       SOLID      # so no "
                   "back-lit surface%s    faceType        CONVEX%s    creaseAngle     0.0        # so surface "
                   "looks faceted%s  }%s",
                   e, e, e, e, e, e, e, e, e);
    ok = ok && sink.Printf("  #%s  # %i points:%s  #%s", e, pointCount, e, e);
    ok = ok && sink.Printf("  Coordinate3 {%s    point [%s", e, e);
    Vec3 low{}, high{};
    for (int32_t i = 0; ok && i < pointCount; ++i) {
        const Vec3 p = Export_Transform(&scaled, positions[i]);
        if (i == 0) {
            low = high = p;
        } else {
            low = Vec3{std::fmin(low.x, p.x), std::fmin(low.y, p.y), std::fmin(low.z, p.z)};
            high = Vec3{std::fmax(high.x, p.x), std::fmax(high.y, p.y), std::fmax(high.z, p.z)};
        }
        ok = sink.Printf("      %9f %9f %9f", p.x, p.y, p.z);
        if (ok && i + 1 < pointCount) ok = sink.Printf(",%s", e);
    }
    ok = ok && sink.Printf(" ]%s  }%s", e, e);
    ok = ok && sink.Printf("  #%s  # %i facets:%s  #%s", e, facetCount, e, e);
    ok = ok && sink.Printf("  IndexedFaceSet {%s    coordIndex [%s", e, e);
    ok = ok && FacetIndexList(sink, facets, facetCount, e);
    ok = ok && sink.Printf(" ]%s  }%s", e, e);
    const Vec3 centre{(low.x + high.x) / 2, (low.y + high.y) / 2, (low.z + high.z) / 2};
    Vec3 span;
    V3_Sub(high, low, span);
    const float diagonal = V3_Length(span);
    ok = ok && sink.Printf(
                   "  OrthographicCamera {%s    position        %9f %9f %9f%s    orientation     0 0 1 0%s    "
                   "focalDistance   5%s    height          %9f%s  }%s",
                   e, centre.x, centre.y, centre.z + diagonal, e, e, e, diagonal, e, e);
    ok = ok && sink.Printf("}%s", e);
    ok = ok && sink.Printf("#%s# eof.%s", e, e);
    return Finish(sink, ok);
}
