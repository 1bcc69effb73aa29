#include "surface/fit/wavefront_objects.h"

#include <cstdio>
#include <ctime>

#include "surface/fit/poly_mesh.h"
#include "surface/frame/tracked_memory.h"

namespace {

bool WriteFaces(std::FILE* file, const int32_t* corners, int32_t count, int width) {
    for (int32_t f = 0; f < count; ++f) {
        const int32_t* c = corners + width * static_cast<int64_t>(f);
        const int written = width == 3 ? std::fprintf(file, "f %d %d %d\n", c[0] + 1, c[1] + 1, c[2] + 1)
                                       : std::fprintf(file, "f %d %d %d %d\n", c[0] + 1, c[1] + 1, c[2] + 1, c[3] + 1);
        if (written < 0) return false;
    }
    return true;
}

// One object's group; false when an array or a write failed.
bool WriteObject(std::FILE* file, int32_t k, PolyMesh* object) {
    double* points = nullptr;
    int32_t* tris = nullptr;
    int32_t* quads = nullptr;
    int32_t triCount = 0, quadCount = 0;
    if (PolyMesh_Output(object, &points, &tris, &triCount, &quads, &quadCount) != 0) return false;
    const bool ok =
        std::fprintf(file, "g object%d\n", k) >= 0 &&
        std::fprintf(file, "#%8i points\n#%8i tris\n#%8i quads\n", object->PointCount, triCount, quadCount) >= 0 &&
        WriteFaces(file, tris, triCount, 3) && WriteFaces(file, quads, quadCount, 4);
    Mem_Free(points);
    Mem_Free(tris);
    Mem_Free(quads);
    return ok;
}

}  // namespace

int SaveMultiObjectWavefront(const char* path, const char* comment, int32_t count, PolyMesh* objects) {
    std::FILE* file = std::fopen(path, "wt");
    if (!file) return 0;
    const std::time_t now = std::time(nullptr);
    std::fprintf(file, "# Wavefront file created by SaveMultiObjectWavefront on %s",
                 std::asctime(std::localtime(&now)));
    std::fprintf(file, "# %s\n", comment ? comment : "");
    const PolyMesh& first = objects[0];
    for (int32_t i = 0; i < first.PointCount; ++i) {
        const double* p = first.Points + 3 * static_cast<int64_t>(i);
        if (std::fprintf(file, "v %.15g %.15g %.15g\n", p[0], p[1], p[2]) < 0) {
            std::fclose(file);
            return 0;
        }
    }
    int32_t written = 0;
    for (int32_t k = 0; k < count; ++k) {
        if (!WriteObject(file, k + 1, &objects[k])) {
            std::fclose(file);
            return 0;
        }
        ++written;
    }
    return std::fclose(file) == 0 && written > 0 ? 1 : 0;
}
