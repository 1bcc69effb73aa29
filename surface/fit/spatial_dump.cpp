// Debug listings of a spatial division on standard output.
#include <cstdio>

#include "surface/fit/spatial_division.h"

void SpatialDivision_DumpBox(const double* box, int32_t d) {
    std::printf("\nThe bounding box is:");
    std::printf("\nmin  = \t");
    for (int32_t k = 0; k < d; ++k) std::printf("%.3f   ", box[k]);
    std::printf("\nmax  =\t");
    for (int32_t k = 0; k < d; ++k) std::printf("%.3f   ", box[d + k]);
}

void SpatialDivision_DumpPanel(const SpatialPanel* panel, const int32_t* firstList, const double* const* points,
                               int32_t d) {
    SpatialDivision_DumpBox(panel->box, d);
    std::printf("\nThis panel contains %d points...", panel->end - panel->start);
    for (int32_t j = panel->start; j < panel->end; ++j) {
        const int32_t p = firstList[j];
        std::printf("\n %d\t", p);
        for (int32_t k = 0; k < d; ++k) std::printf("%.3f   ", points[p][k]);
    }
    std::printf("\n");
}

void SpatialDivision_Dump(const SpatialPanel* panels, int32_t numPanels, const int32_t* const* sortedLists,
                          const double* const* points, int32_t d) {
    if (!panels || !sortedLists || !points) return;
    for (int32_t i = 0; i < numPanels; ++i) {
        std::printf("\nThis is node %d", i + 1);
        SpatialDivision_DumpPanel(&panels[i], sortedLists[0], points, d);
    }
}
