#include "app/export/export_chunked.h"

#include <cstring>

#include "app/export/export_sink.h"

namespace {

void PutLittle(ChunkBytes& file, uint32_t value, int count) {
    for (int i = 0; i < count; ++i) file.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void PatchLittle(ChunkBytes& file, std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

void PatchBig(ChunkBytes& file, std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

uint32_t FloatBits(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    return v;
}

void PutFloat(ChunkBytes& file, float f) { PutLittle(file, FloatBits(f), 4); }

void PutName(ChunkBytes& file, const char* name) { file.insert(file.end(), name, name + std::strlen(name) + 1); }

int WriteWhole(const std::string& path, const ChunkBytes& bytes) {
    ExportSink sink;
    if (!sink.Open(path)) return kExportWriteOpenFailed;
    const bool ok = sink.Write(bytes.data(), bytes.size());
    return ok && sink.Commit() ? kExportWriteOk : kExportWriteFailed;
}

// A key track of one key at frame 0: u16 0, 8 zero bytes, u32 1 key, then
// the key's frame, u16 0 and the values.
void Track(ChunkBytes& file, uint16_t id, std::initializer_list<float> values, Chunk3dsStack& stack) {
    Chunk3ds_Begin(file, id, stack);
    PutLittle(file, 0, 2);
    PutLittle(file, 0, 4);
    PutLittle(file, 0, 4);
    PutLittle(file, 1, 4);
    PutLittle(file, 0, 4);
    PutLittle(file, 0, 2);
    for (float v : values) PutFloat(file, v);
    Chunk3ds_End(file, stack);
}

}  // namespace

bool Chunk3ds_Begin(ChunkBytes& file, uint16_t id, Chunk3dsStack& stack) {
    stack.push_back(file.size());
    PutLittle(file, id, 2);
    PutLittle(file, 0, 4);
    return true;
}

bool Chunk3ds_End(ChunkBytes& file, Chunk3dsStack& stack) {
    if (stack.empty()) return false;
    const std::size_t start = stack.back();
    stack.pop_back();
    PatchLittle(file, start + 2, static_cast<uint32_t>(file.size() - start));
    return true;
}

bool ChunkLwo_Begin(ChunkBytes& file, const char id[4], ChunkLwo& chunk) {
    file.insert(file.end(), id, id + 4);
    PutLittle(file, 0, 4);
    chunk.dataStart = file.size();
    return true;
}

bool ChunkLwo_End(ChunkBytes& file, ChunkLwo& chunk) {
    if (chunk.dataStart < 4 || chunk.dataStart > file.size()) return false;
    PatchBig(file, chunk.dataStart - 4, static_cast<uint32_t>(file.size() - chunk.dataStart));
    return true;
}

bool WriteReversed(ChunkBytes& file, uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) file.push_back(static_cast<unsigned char>(value >> (8 * i)));
    return true;
}

int ThreeDStudio_Write(const std::string& path, const Matrix4* matrix, const Vec3* positions, int32_t pointCount,
                       const int32_t* facets, int32_t facetCount) {
    if (pointCount > kChunkedFormatLimit) return kExportWritePointsLimit;
    if (facetCount > kChunkedFormatLimit) return kExportWriteFacesLimit;

    // The export frame, then a quarter turn about x into the format's frame.
    Matrix4 turn, frame;
    M4_MakeRotationX(90.0f, turn);
    if (matrix)
        M4_Multiply(turn, *matrix, frame);
    else
        frame = turn;

    ChunkBytes file;
    file.reserve(256 + 12 * static_cast<std::size_t>(pointCount) + 12 * static_cast<std::size_t>(facetCount));
    Chunk3dsStack stack;
    Chunk3ds_Begin(file, 0x4D4D, stack);
    Chunk3ds_Begin(file, 0x0002, stack);
    PutLittle(file, 3, 4);
    Chunk3ds_End(file, stack);
    Chunk3ds_Begin(file, 0x3D3D, stack);
    Chunk3ds_Begin(file, 0x3D3E, stack);
    PutLittle(file, 3, 4);
    Chunk3ds_End(file, stack);
    Chunk3ds_Begin(file, 0x0100, stack);
    PutFloat(file, 1.0f);
    Chunk3ds_End(file, stack);
    Chunk3ds_Begin(file, 0x4000, stack);
    PutName(file, "Scan");
    Chunk3ds_Begin(file, 0x4100, stack);
    Chunk3ds_Begin(file, 0x4110, stack);
    PutLittle(file, static_cast<uint32_t>(pointCount), 2);
    for (int32_t i = 0; i < pointCount; ++i) {
        const Vec3 p = Export_Transform(&frame, positions[i]);
        PutFloat(file, p.x);
        PutFloat(file, p.y);
        PutFloat(file, p.z);
    }
    Chunk3ds_End(file, stack);
    Chunk3ds_Begin(file, 0x4160, stack);
    for (float v : {1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f}) PutFloat(file, v);
    Chunk3ds_End(file, stack);
    Chunk3ds_Begin(file, 0x4120, stack);
    PutLittle(file, static_cast<uint32_t>(facetCount), 2);
    for (int32_t f = 0; f < facetCount; ++f) {
        for (int k = 0; k < 3; ++k)
            PutLittle(file, static_cast<uint32_t>(facets[3 * static_cast<std::size_t>(f) + k]) & 0xFFFF, 2);
        PutLittle(file, 7, 2);
    }
    Chunk3ds_Begin(file, 0x4150, stack);
    for (int32_t f = 0; f < facetCount; ++f) PutLittle(file, 1, 4);
    Chunk3ds_End(file, stack);  // smoothing
    Chunk3ds_End(file, stack);  // faces
    Chunk3ds_End(file, stack);  // triangle mesh
    Chunk3ds_End(file, stack);  // object
    Chunk3ds_End(file, stack);  // editor

    Chunk3ds_Begin(file, 0xB000, stack);
    Chunk3ds_Begin(file, 0xB00A, stack);
    PutLittle(file, 5, 2);
    PutName(file, "MAXSCENE");
    PutLittle(file, 100, 4);
    Chunk3ds_End(file, stack);
    Chunk3ds_Begin(file, 0xB008, stack);
    PutLittle(file, 0, 4);
    PutLittle(file, 100, 4);
    Chunk3ds_End(file, stack);
    Chunk3ds_Begin(file, 0xB009, stack);
    PutLittle(file, 0, 4);
    Chunk3ds_End(file, stack);
    Chunk3ds_Begin(file, 0xB002, stack);
    Chunk3ds_Begin(file, 0xB030, stack);
    PutLittle(file, 0, 2);
    Chunk3ds_End(file, stack);
    Chunk3ds_Begin(file, 0xB010, stack);
    PutName(file, "Scan");
    PutLittle(file, 0x4000, 2);
    PutLittle(file, 0, 2);
    PutLittle(file, 0xFFFF, 2);
    Chunk3ds_End(file, stack);
    Chunk3ds_Begin(file, 0xB013, stack);
    for (int k = 0; k < 3; ++k) PutFloat(file, 0.0f);
    Chunk3ds_End(file, stack);
    Track(file, 0xB020, {0.f, 0.f, 0.f}, stack);
    Track(file, 0xB021, {0.f, 0.f, 0.f, 0.f}, stack);
    Track(file, 0xB022, {1.f, 1.f, 1.f}, stack);
    Chunk3ds_End(file, stack);  // object node
    Chunk3ds_End(file, stack);  // keyframer
    Chunk3ds_End(file, stack);  // main
    return WriteWhole(path, file);
}

int Lightwave_Write(const std::string& path, const Matrix4* matrix, const Vec3* positions, int32_t pointCount,
                    const int32_t* facets, int32_t facetCount) {
    if (pointCount > kChunkedFormatLimit) return kExportWritePointsLimit;
    ChunkBytes file;
    file.reserve(64 + 12 * static_cast<std::size_t>(pointCount) + 10 * static_cast<std::size_t>(facetCount));
    ChunkLwo form, points, surfaces, polygons;
    ChunkLwo_Begin(file, "FORM", form);
    file.insert(file.end(), {'L', 'W', 'O', 'B'});
    ChunkLwo_Begin(file, "PNTS", points);
    for (int32_t i = 0; i < pointCount; ++i) {
        const Vec3 p = Export_Transform(matrix, positions[i]);
        WriteReversed(file, FloatBits(p.x), 4);
        WriteReversed(file, FloatBits(p.y), 4);
        WriteReversed(file, FloatBits(p.z), 4);
    }
    ChunkLwo_End(file, points);
    ChunkLwo_Begin(file, "SRFS", surfaces);
    file.insert(file.end(), {'S', 'c', 'a', 'n', 0, 0});
    ChunkLwo_End(file, surfaces);
    ChunkLwo_Begin(file, "POLS", polygons);
    for (int32_t f = 0; f < facetCount; ++f) {
        WriteReversed(file, 3, 2);
        for (int k = 0; k < 3; ++k)
            WriteReversed(file, static_cast<uint32_t>(facets[3 * static_cast<std::size_t>(f) + k]) & 0xFFFF, 2);
        WriteReversed(file, 1, 2);
    }
    ChunkLwo_End(file, polygons);
    ChunkLwo_End(file, form);
    return WriteWhole(path, file);
}
