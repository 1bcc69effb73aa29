#include "app/scan/space_split.h"

#include <cstdint>

namespace space_split_detail {

int32_t ChooseAxis(const Vec3& lo, const Vec3& hi) {
    const float ex = hi.x - lo.x, ey = hi.y - lo.y, ez = hi.z - lo.z;
    int32_t axis = 0;
    float best = ex;
    if (ey > best) axis = 1, best = ey;
    if (ez > best) axis = 2;
    return axis;
}

float Coordinate(const Vec3& p, int32_t axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }

void ReportLeaf(const SurfProgress& progress, const SplitRule& rule, double start, double span) {
    if (!progress.fn || !(span > 0.0)) return;
    const double rate = rule.step / span + 1.0;
    if (rule.capReportRate && rate >= 2147483647.0) return;
    if (rate >= 9.2e18) return;
    const int64_t k = static_cast<int64_t>(rate);
    if (static_cast<int64_t>(start / span) % k == 0) progress.Report(start);
}

}  // namespace space_split_detail
