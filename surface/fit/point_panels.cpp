#include "surface/fit/point_panels.h"

#include "surface/fit/spatial_division.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

int PointPanels_Label(int32_t N, double* const* points, int32_t d, int32_t leaf, int32_t* label, int32_t* numPanels,
                      const volatile int32_t* cancel) {
    if (!points || !label || !numPanels) return CoreStatus_NullArgument;
    int32_t* first = Mem_AllocInts(N);
    if (!first) return CoreStatus_NoMemory;
    SpatialPanel* panels = nullptr;
    int32_t count = 0;
    double box[6];
    const int status =
        SpatialDivision_BuildFlat(N, points, d, leaf < 2 ? 2 : leaf, &panels, &count, first, box, 0, cancel);
    if (status == 0) {
        for (int32_t p = 0; p < count; ++p)
            for (int32_t j = panels[p].start; j < panels[p].end; ++j) label[first[j]] = p;
        *numPanels = count;
    }
    SpatialDivision_Free(panels, count);
    Mem_Free(first);
    return status;
}
