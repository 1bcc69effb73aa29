#include "app/export/export_stl_ply.h"

#include <cstdlib>
#include <cstring>

#include "app/export/export_sink.h"
#include "app/locale/locale_lookup.h"

namespace {

void PutU32(unsigned char* out, uint32_t v, bool bigEndian) {
    for (int i = 0; i < 4; ++i) {
        const int shift = bigEndian ? 24 - 8 * i : 8 * i;
        out[i] = static_cast<unsigned char>(v >> shift);
    }
}

void PutFloat(unsigned char* out, float f, bool bigEndian) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    PutU32(out, v, bigEndian);
}

}  // namespace

void Stl_ComputeFacet(StlFacet& facet, const Vec3* positions, const int32_t* indices, const Matrix4* matrix) {
    for (int k = 0; k < 3; ++k) facet.vertex[k] = Export_Transform(matrix, positions[indices[k]]);
    Vec3 a, b, n;
    V3_Sub(facet.vertex[1], facet.vertex[0], a);
    V3_Sub(facet.vertex[2], facet.vertex[0], b);
    V3_Cross(a, b, n);
    V3_Normalise(n, facet.normal);
    facet.attribute = 0;
}

bool Stl_BuildModel(int32_t facetCount, StlModel& model, const std::string& creator, const Matrix4* matrix,
                    const Vec3* positions, const int32_t* facets) {
    std::memset(model.header, 0, sizeof model.header);
    const std::string title =
        Export_Format("STL binary file created by %s on %s", creator.c_str(), Export_TimeText().c_str());
    std::memcpy(model.header, title.data(), title.size() < 79 ? title.size() : 79);
    model.facetCount = static_cast<uint32_t>(facetCount > 0 ? facetCount : 0);
    model.facets = nullptr;
    if (model.facetCount == 0) return true;
    // calloc refuses a byte count past the address space instead of wrapping
    // it round, which the product of a 32-bit program would.
    model.facets = static_cast<StlFacet*>(std::calloc(model.facetCount, sizeof(StlFacet)));
    if (!model.facets) return false;
    for (uint32_t f = 0; f < model.facetCount; ++f)
        Stl_ComputeFacet(model.facets[f], positions, facets + 3 * static_cast<std::size_t>(f), matrix);
    return true;
}

void Stl_FreeModel(StlModel& model) {
    std::free(model.facets);
    model.facets = nullptr;
    model.facetCount = 0;
}

bool Stl_WriteBinary(const std::string& path, const StlModel& model, bool swap) {
    ExportSink sink;
    if (!sink.Open(path)) return false;
    unsigned char count[4];
    PutU32(count, model.facetCount, swap);
    bool ok = sink.Write(model.header, 80) && sink.Write(count, 4);
    for (uint32_t f = 0; ok && f < model.facetCount; ++f) {
        const StlFacet& facet = model.facets[f];
        unsigned char record[50];
        const float values[12] = {facet.normal.x,    facet.normal.y,    facet.normal.z,    facet.vertex[0].x,
                                  facet.vertex[0].y, facet.vertex[0].z, facet.vertex[1].x, facet.vertex[1].y,
                                  facet.vertex[1].z, facet.vertex[2].x, facet.vertex[2].y, facet.vertex[2].z};
        for (int i = 0; i < 12; ++i) PutFloat(record + 4 * i, values[i], swap);
        std::memcpy(record + 48, &facet.attribute, 2);
        ok = sink.Write(record, 50);
    }
    return ok && sink.Commit();
}

bool Stl_WriteAscii(const std::string& path, const StlModel& model, const char* e) {
    ExportSink sink;
    if (!sink.Open(path)) return false;
    bool ok = sink.Printf("solid %s%s", Export_FileNamePart(path).c_str(), e);
    for (uint32_t f = 0; ok && f < model.facetCount; ++f) {
        const StlFacet& t = model.facets[f];
        ok = sink.Printf(
            " facet normal %.5e %.5e %.5e%s outer loop%s vertex %.5e %.5e %.5e%s vertex %.5e %.5e %.5e%s vertex "
            "%.5e %.5e %.5e%s endloop%s endfacet%s",
            t.normal.x, t.normal.y, t.normal.z, e, e, t.vertex[0].x, t.vertex[0].y, t.vertex[0].z, e, t.vertex[1].x,
            t.vertex[1].y, t.vertex[1].z, e, t.vertex[2].x, t.vertex[2].y, t.vertex[2].z, e, e, e);
    }
    ok = ok && sink.Printf("endsolid%s", e);
    return ok && sink.Commit();
}

void Export_Stl(const Vec3* positions, const Matrix4* matrix, const ExportFormatOptions& options,
                const std::string& path, const char* endOfLine, const int32_t* facets, int32_t facetCount,
                const std::string& creator, std::string& message) {
    StlModel model{};
    bool ok = Stl_BuildModel(facetCount, model, creator, matrix, positions, facets);
    if (ok) {
        ok = options.ExportAsText ? Stl_WriteAscii(path, model, endOfLine)
                                  : Stl_WriteBinary(path, model, options.ExportStlBinaryByteSwapped == 1);
    }
    Stl_FreeModel(model);
    if (!ok) message = Locale_GetString("ErrorFileWriteGeneric");
}

namespace {

bool PlyHeader(ExportSink& sink, bool text, const std::string& creator, const std::string& comment, const char* e,
               const ExportData& data) {
    bool ok = sink.Printf("ply%s", e);
    ok = ok && sink.Printf("%s%s", text ? "format ascii 1.0" : "format binary_little_endian 1.0", e);
    ok = ok && sink.Printf("comment PLY file created by %s on %s%s", creator.c_str(), Export_TimeText().c_str(), e);
    ok = ok && sink.Printf("comment %s%s", comment.c_str(), e);
    ok = ok && sink.Printf("element vertex %d%s", data.pointCount, e);
    ok = ok && sink.Printf("property float x%sproperty float y%sproperty float z%s", e, e, e);
    if (data.normals) ok = ok && sink.Printf("property float nx%sproperty float ny%sproperty float nz%s", e, e, e);
    if (data.albedos)
        ok = ok && sink.Printf("property uchar red%sproperty uchar green%sproperty uchar blue%s", e, e, e);
    ok = ok && sink.Printf("element face %d%s", data.facetCount, e);
    ok = ok && sink.Printf("property list uchar int vertex_indices%s", e);
    ok = ok && sink.Printf("end_header%s", e);
    return ok;
}

// The grey level of an albedo: times 256, truncated, low 8 bits.
unsigned GreyLevel(float albedo) {
    const float scaled = albedo * 256.0f;
    const long level = static_cast<long>(scaled);
    return static_cast<unsigned>(level) & 0xFFu;
}

}  // namespace

int Ply_Write(bool text, const std::string& path, const std::string& creator, const std::string& comment, const char* e,
              const Matrix4* matrix, const ExportData& data) {
    ExportSink sink;
    if (!sink.Open(path)) return kExportWriteOpenFailed;
    // The binary file's header lines end in CRLF whatever the choice.
    bool ok = PlyHeader(sink, text, creator, comment, text ? e : "\r\n", data);
    const Matrix4 rotation = matrix ? Export_RotationPart(*matrix) : Matrix4{};
    const Matrix4* normalMatrix = matrix ? &rotation : nullptr;
    for (int32_t i = 0; ok && i < data.pointCount; ++i) {
        const Vec3 p = Export_Transform(matrix, data.positions[i]);
        Vec3 n{};
        if (data.normals) n = Export_Transform(normalMatrix, data.normals[i]);
        const unsigned g = data.albedos ? GreyLevel(data.albedos[i]) : 0;
        if (text) {
            ok = sink.Printf("%4.2f %4.2f %4.2f", p.x, p.y, p.z);
            if (data.normals) ok = ok && sink.Printf(" %7.5f %7.5f %7.5f", n.x, n.y, n.z);
            if (data.albedos) ok = ok && sink.Printf(" %d %d %d", g, g, g);
            ok = ok && sink.Put(e);
        } else {
            unsigned char record[27];
            std::size_t size = 0;
            for (float v : {p.x, p.y, p.z}) PutFloat(record + (size += 4) - 4, v, false);
            if (data.normals)
                for (float v : {n.x, n.y, n.z}) PutFloat(record + (size += 4) - 4, v, false);
            if (data.albedos)
                for (int k = 0; k < 3; ++k) record[size++] = static_cast<unsigned char>(g);
            ok = sink.Write(record, size);
        }
    }
    for (int32_t f = 0; ok && f < data.facetCount; ++f) {
        const int32_t* v = data.facets + 3 * static_cast<std::size_t>(f);
        if (text) {
            ok = sink.Printf("3 %i %i %i%s", v[0], v[1], v[2], e);
        } else {
            unsigned char record[13];
            record[0] = 3;
            for (int k = 0; k < 3; ++k) PutU32(record + 1 + 4 * k, static_cast<uint32_t>(v[k]), false);
            ok = sink.Write(record, 13);
        }
    }
    if (text) ok = ok && sink.Put(e);
    if (!ok || !sink.Commit()) return kExportWriteFailed;
    return kExportWriteOk;
}
