#include "app/export/export_wavefront.h"

#include <vector>

#include "app/export/export_sink.h"
#include "platform/os_seam.h"

namespace {

// A 256 x 256 RGB image whose grey at column u is u.
const unsigned char kGreyRamp[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x01,
    0x00, 0x00, 0x00, 0x01, 0x00, 0x08, 0x02, 0x00, 0x00, 0x00, 0xd3, 0x10, 0x3f, 0x31, 0x00, 0x00, 0x01, 0xfd, 0x49,
    0x44, 0x41, 0x54, 0x78, 0xda, 0xed, 0xd3, 0x01, 0x0d, 0x00, 0x00, 0x08, 0xc3, 0xb0, 0x1f, 0xff, 0xa2, 0x31, 0x80,
    0x03, 0x5a, 0x09, 0x4b, 0xd6, 0x24, 0x85, 0xaf, 0x26, 0xf0, 0x98, 0x01, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06,
    0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01,
    0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00,
    0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00,
    0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00,
    0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30,
    0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c,
    0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03,
    0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0xc0, 0x00,
    0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00,
    0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x06, 0x00, 0x03, 0x80,
    0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60,
    0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18,
    0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06,
    0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01,
    0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0x30, 0x80, 0x04, 0x18,
    0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06,
    0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01,
    0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00,
    0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00,
    0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0xc0,
    0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30,
    0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c,
    0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03,
    0x80, 0x01, 0xc0, 0x00, 0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0x80, 0x01, 0xc0, 0x00,
    0x60, 0x00, 0x30, 0x00, 0x18, 0x00, 0x0c, 0x00, 0x06, 0x00, 0x03, 0xc0, 0x65, 0x01, 0x30, 0x2c, 0x04, 0xfd, 0x84,
    0x1d, 0xc5, 0x87, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82,
};

int Level(float mean) {
    const int level = static_cast<int>(mean * 256.0f);
    return level < 0 ? 0 : level > 255 ? 255 : level;
}

struct ObjWriter {
    ExportSink& sink;
    const char* e;
    bool texture;  // texture coordinates were written
    bool normals;  // normals were written

    bool Face(const int32_t* v, int corners) {
        bool ok = sink.Put("f");
        for (int k = 0; ok && k < corners; ++k) {
            const int i = v[k] + 1;
            ok = sink.Printf(" %i", i);
            if (ok && texture) ok = sink.Printf("/%i", i);
            if (ok && normals) ok = sink.Printf(texture ? "/%i" : "//%i", i);
        }
        return ok && sink.Put(e);
    }
};

bool WriteGreyscaleLibrary(const std::string& path, const char* e) {
    ExportSink sink;
    if (!sink.Open(path)) return false;
    bool ok = true;
    for (int n = 0; ok && n < 256; ++n) {
        const double g = n / 255.0;
        ok = sink.Printf("newmtl gs%d%s", n, e) && sink.Printf("Ka %.4f %.4f %.4f%s", 0.3 * g, 0.3 * g, 0.3 * g, e) &&
             sink.Printf("Kd %.4f %.4f %.4f%s", 0.8 * g, 0.8 * g, 0.8 * g, e) &&
             sink.Printf("Ks %.4f %.4f %.4f%s", 0.2, 0.2, 0.2, e);
    }
    ok = ok && sink.Printf("#%s# eof.%s", e, e);
    return ok && sink.Commit();
}

bool WriteTextureLibrary(const std::string& path, const std::string& creator, const char* e) {
    ExportSink sink;
    if (!sink.Open(path)) return false;
    bool ok = sink.Printf("# Wavefront material library file created by %s on %s%s", creator.c_str(),
                          Export_TimeText().c_str(), e);
    ok = ok && sink.Printf("newmtl greyscalemap%s", e) && sink.Printf("Ka  0.6 0.6 0.6%s", e) &&
         sink.Printf("Kd  0.6 0.6 0.6%s", e) && sink.Printf("Ks  0.9 0.9 0.9%s", e) && sink.Printf("d  1.0%s", e) &&
         sink.Printf("Ns  0.0%s", e) && sink.Printf("illum 2%s", e) &&
         sink.Printf("map_Kd %s%s", kWavefrontTextureImage, e) && sink.Printf("#%s# eof.%s", e, e);
    return ok && sink.Commit();
}

bool WriteImage(const std::string& path) {
    ExportSink sink;
    return sink.Open(path) && sink.Write(kGreyRamp, sizeof kGreyRamp) && sink.Commit();
}

// Facets (and quads) grouped by grey level, levels in order, the facet
// order kept within a level.
bool FacesByColour(ObjWriter& obj, const ExportData& d) {
    std::vector<std::vector<int32_t>> facets(256), quads(256);
    for (int32_t f = 0; f < d.facetCount; ++f)
        facets[Level(Wavefront_FacetLevelMean(d.facets + 3 * static_cast<std::size_t>(f), d.albedos))].push_back(f);
    for (int32_t q = 0; q < d.quadCount; ++q)
        quads[Level(Wavefront_QuadLevelMean(d.quads + 4 * static_cast<std::size_t>(q), d.albedos))].push_back(q);
    bool ok = true;
    for (int level = 0; ok && level < 256; ++level) {
        if (facets[level].empty() && quads[level].empty()) continue;
        ok = obj.sink.Printf("g Colour%0*i%s", 3, level, obj.e) && obj.sink.Printf("usemtl gs%d%s", level, obj.e);
        for (std::size_t i = 0; ok && i < facets[level].size(); ++i)
            ok = obj.Face(d.facets + 3 * static_cast<std::size_t>(facets[level][i]), 3);
        for (std::size_t i = 0; ok && i < quads[level].size(); ++i)
            ok = obj.Face(d.quads + 4 * static_cast<std::size_t>(quads[level][i]), 4);
    }
    return ok;
}

// Facets in order with their sweep groups, then the quads; with `levels` a
// material line before each face.
bool FacesInOrder(ObjWriter& obj, const ExportData& d, bool levels) {
    bool ok = true;
    const bool sweeps = d.sweepCount > 0 && d.sweepFacetTotals;
    const int width = sweeps ? Wavefront_DigitCount(d.sweepCount) : 0;
    int32_t sweep = 0;
    if (sweeps) ok = obj.sink.Printf("g Sweep%0*i%s", width, 1, obj.e);
    for (int32_t f = 0; ok && f < d.facetCount; ++f) {
        while (ok && sweeps && sweep + 1 < d.sweepCount && f >= d.sweepFacetTotals[sweep]) {
            ++sweep;
            ok = obj.sink.Printf("g Sweep%0*i%s", width, sweep + 1, obj.e);
        }
        const int32_t* v = d.facets + 3 * static_cast<std::size_t>(f);
        if (ok && levels) ok = obj.sink.Printf("usemtl gs%d%s", Level(Wavefront_FacetLevelMean(v, d.albedos)), obj.e);
        ok = ok && obj.Face(v, 3);
    }
    for (int32_t q = 0; ok && q < d.quadCount; ++q) {
        const int32_t* v = d.quads + 4 * static_cast<std::size_t>(q);
        if (levels) ok = obj.sink.Printf("usemtl gs%d%s", Level(Wavefront_QuadLevelMean(v, d.albedos)), obj.e);
        ok = ok && obj.Face(v, 4);
    }
    return ok;
}

}  // namespace

int Wavefront_DigitCount(int32_t n) {
    int digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}

float Wavefront_FacetLevelMean(const int32_t* facet, const float* albedos) {
    return (albedos[facet[0]] + albedos[facet[1]] + albedos[facet[2]]) / 3.0f;
}

float Wavefront_QuadLevelMean(const int32_t* quad, const float* albedos) {
    return (albedos[quad[0]] + albedos[quad[1]] + albedos[quad[2]] + albedos[quad[3]]) * 0.25f;
}

int Wavefront_Write(const std::string& path, const std::string& creator, const std::string& comment, const char* e,
                    const Matrix4* matrix, const ExportData& given, bool byColour, bool textureMap) {
    ExportData d = given;
    if (!d.facets) d.facetCount = 0;
    if (!d.quads) d.quadCount = 0;
    // A cloud of points (no facets and no quads) keeps only its positions:
    // no normals, grey values or sweep groups.
    if (d.facetCount == 0 && d.quadCount == 0) {
        d.normals = nullptr;
        d.albedos = nullptr;
        d.sweepCount = 0;
    }
    const bool texture = d.albedos && textureMap;
    const bool colourGroups = d.albedos && !texture && byColour;
    const std::string library = texture ? "greyscalemap.mtl" : "greyscale.mtl";

    ExportSink sink;
    if (!sink.Open(path)) return kExportWriteOpenFailed;
    bool ok = sink.Printf("# Wavefront file created by %s on %s%s", creator.c_str(), Export_TimeText().c_str(), e);
    ok = ok && sink.Printf("# %s%s", comment.c_str(), e);
    if (d.albedos) ok = ok && sink.Printf("mtllib %s%s", library.c_str(), e);
    ok = ok && sink.Printf("#%s# %i points:%s#%s", e, d.pointCount, e, e);
    for (int32_t i = 0; ok && i < d.pointCount; ++i) {
        const Vec3 p = Export_Transform(matrix, d.positions[i]);
        ok = sink.Printf("v %4.2f %4.2f %4.2f%s", p.x, p.y, p.z, e);
    }
    for (int32_t i = 0; ok && texture && i < d.pointCount; ++i) ok = sink.Printf("vt %f 0%s", d.albedos[i], e);
    if (d.normals) {
        const Matrix4 rotation = matrix ? Export_RotationPart(*matrix) : Matrix4{};
        ok = ok && sink.Printf("#%s# %i normals:%s#%s", e, d.pointCount, e, e);
        for (int32_t i = 0; ok && i < d.pointCount; ++i) {
            const Vec3 n = Export_Transform(matrix ? &rotation : nullptr, d.normals[i]);
            ok = sink.Printf("vn %7.5f %7.5f %7.5f%s", n.x, n.y, n.z, e);
        }
    }
    ObjWriter obj{sink, e, texture, d.normals != nullptr};
    if (texture) {
        ok = ok && sink.Printf("usemtl greyscalemap%s", e) && FacesInOrder(obj, d, false);
    } else if (colourGroups) {
        ok = ok && FacesByColour(obj, d);
    } else {
        ok = ok && FacesInOrder(obj, d, d.albedos != nullptr);
    }
    ok = ok && sink.Printf("#%s# eof.%s", e, e);
    if (!ok) return kExportWriteFailed;
    // A folder under the OBJ's name would refuse the OBJ only at the end,
    // after the side files were put in place.
    if (os::IsFolder(path)) return kExportWriteFailed;

    // The files the OBJ names are in place before the OBJ itself.
    if (d.albedos) {
        const std::string libraryPath = Export_SiblingPath(path, library);
        const bool written = texture ? WriteTextureLibrary(libraryPath, creator, e) &&
                                           WriteImage(Export_SiblingPath(path, kWavefrontTextureImage))
                                     : WriteGreyscaleLibrary(libraryPath, e);
        if (!written) return kExportWriteFailed;
    }
    return sink.Commit() ? kExportWriteOk : kExportWriteFailed;
}
