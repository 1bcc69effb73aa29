// The debug dump of the slicing input: the set-up, the mesh and the stylus
// items, raw and little-endian, so that a slicing can be replayed away from
// the scanner. Write errors are not checked: the dump is a diagnostic aid and
// must never stop the slicing.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/export/ortho_model.h"
#include "app/scan/stylus_items.h"
#include "app/scan/surface_record.h"

static_assert(sizeof(StylusItem) == 276, "the dump writes stylus items as 276 bytes");

void Aaop_StylusHeadWords(const StylusItemList* items, uint32_t out[7]) {
    std::memset(out, 0, 7 * sizeof(uint32_t));
    if (!items) return;
    out[0] = static_cast<uint32_t>(items->CaptureMarker);
    out[1] = static_cast<uint32_t>(items->VisibleCount);
    out[2] = static_cast<uint32_t>(items->TotalCount);
    out[3] = static_cast<uint32_t>(items->Capacity);
    out[4] = static_cast<uint32_t>(items->GroupCount);
    out[5] = 0;  // the item array's address means nothing in a file
    out[6] = static_cast<uint32_t>(items->ReplaceNeeded);
}

void Aaop_DebugDump(const OrthoSliceSetup& setup, const SurfaceRecord& mesh, const StylusItemList* items) {
    const char* variable = std::getenv("TOLVARAN_AAOP_DUMP_FILE");
    if (!variable) return;
    char path[256];
    std::snprintf(path, sizeof path, "%s", variable);
    std::FILE* file = std::fopen(path, "wb");
    if (!file) {
        char text[512];
        std::snprintf(text, sizeof text, "error opening aaop dump file [%d]:\n    '%s'", errno, path);
        const OrthoHooks& hooks = Ortho_Hooks();
        if (hooks.errorBox)
            hooks.errorBox(text, "Debug Error");
        else
            std::fprintf(stderr, "Debug Error: %s\n", text);
        return;
    }
    std::fwrite(&setup, sizeof setup, 1, file);
    const int32_t points = mesh.Points ? mesh.NumPoints : 0;
    const int32_t triangles = mesh.Facets ? mesh.NumFacets : 0;
    std::fwrite(&points, sizeof points, 1, file);
    std::fwrite(&triangles, sizeof triangles, 1, file);
    if (points > 0) std::fwrite(mesh.Points, sizeof(Vec3), static_cast<std::size_t>(points), file);
    if (triangles > 0) std::fwrite(mesh.Facets, 3 * sizeof(int32_t), static_cast<std::size_t>(triangles), file);
    uint32_t head[7];
    Aaop_StylusHeadWords(items, head);
    std::fwrite(head, sizeof head, 1, file);
    const int32_t count = items && items->Items ? items->VisibleCount : 0;
    if (count > 0) std::fwrite(items->Items, sizeof(StylusItem), static_cast<std::size_t>(count), file);
    std::fclose(file);
}
