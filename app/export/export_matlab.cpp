#include "app/export/export_matlab.h"

#include <cstring>
#include <vector>

#include "app/export/export_sink.h"

namespace {

void Put32(unsigned char* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(v >> (8 * i));
}

bool WriteInt(ExportSink& file, int32_t v) {
    unsigned char b[4];
    Put32(b, static_cast<uint32_t>(v));
    return file.Write(b, 4);
}

bool WriteTriples(ExportSink& file, const Matrix4* matrix, const Vec3* values, int32_t count) {
    bool ok = true;
    for (int32_t i = 0; ok && i < count; ++i) {
        const Vec3 p = Export_Transform(matrix, values[i]);
        unsigned char b[12];
        const float v[3] = {p.x, p.y, p.z};
        for (int k = 0; k < 3; ++k) {
            uint32_t bits;
            std::memcpy(&bits, &v[k], 4);
            Put32(b + 4 * k, bits);
        }
        ok = file.Write(b, 12);
    }
    return ok;
}

// A text row cut to `keep` characters and padded with blanks to 80.
std::string InfoRow(const std::string& text, std::size_t keep) {
    std::string row = text.substr(0, keep);
    row.resize(80, ' ');
    return row;
}

}  // namespace

bool Matlab_WriteMatrixHeader(ExportSink& file, const char* name, int32_t type, int32_t rows, int32_t columns) {
    const int32_t nameLength = static_cast<int32_t>(std::strlen(name)) + 1;
    return WriteInt(file, type) && WriteInt(file, rows) && WriteInt(file, columns) && WriteInt(file, 0) &&
           WriteInt(file, nameLength) && file.Write(name, static_cast<std::size_t>(nameLength));
}

int Matlab_Write(const std::string& path, const std::string& comment, const std::string& creator, const Matrix4* matrix,
                 const ExportData& data) {
    ExportSink file;
    if (!file.Open(path)) return kExportWriteOpenFailed;

    const std::string first = InfoRow(
        Export_Format("Matlab V4 MAT file created by %s on %s", creator.c_str(), Export_TimeText().c_str()), 79);
    const std::string second = InfoRow(comment, 80);
    bool ok = Matlab_WriteMatrixHeader(file, "Info", kMatlabText, 2, 80);
    // Column order: the two rows interleaved character by character.
    std::vector<unsigned char> info(160);
    for (std::size_t c = 0; c < 80; ++c) {
        info[2 * c] = static_cast<unsigned char>(first[c]);
        info[2 * c + 1] = static_cast<unsigned char>(second[c]);
    }
    ok = ok && file.Write(info.data(), info.size());

    ok = ok && Matlab_WriteMatrixHeader(file, "Points", kMatlabFloat, 3, data.pointCount);
    ok = ok && WriteTriples(file, matrix, data.positions, data.pointCount);

    if (data.facets && data.facetCount > 0) {
        ok = ok && Matlab_WriteMatrixHeader(file, "Facets", kMatlabInt, 3, data.facetCount);
        for (int32_t i = 0; ok && i < 3 * data.facetCount; ++i) ok = WriteInt(file, data.facets[i] + 1);
    }
    if (data.normals) {
        const Matrix4 rotation = matrix ? Export_RotationPart(*matrix) : Matrix4{};
        ok = ok && Matlab_WriteMatrixHeader(file, "Normals", kMatlabFloat, 3, data.pointCount);
        ok = ok && WriteTriples(file, matrix ? &rotation : nullptr, data.normals, data.pointCount);
    }
    if (data.albedos) {
        ok = ok && Matlab_WriteMatrixHeader(file, "Albedos", kMatlabFloat, 1, data.pointCount);
        for (int32_t i = 0; ok && i < data.pointCount; ++i) {
            uint32_t bits;
            std::memcpy(&bits, &data.albedos[i], 4);
            ok = WriteInt(file, static_cast<int32_t>(bits));
        }
    }
    return ok && file.Commit() ? kExportWriteOk : kExportWriteFailed;
}
