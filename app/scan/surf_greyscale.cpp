#include "app/scan/surf_greyscale.h"

#include "app/scan/space_split.h"

#include <cmath>

int32_t Surf_TransferGreyscale(SurfaceRecord& target, const SurfaceRecord& source, float radius,
                               const SurfProgress& progress) {
    if (target.NumPoints <= 0 || !target.Greyscale) return 0;
    SurfArena arena;
    int32_t* done = arena.ZeroArray<int32_t>(target.NumPoints);
    const float rSq = radius * radius;
    const bool sourceGrey = source.Greyscale != nullptr;
    auto leaf = [&](const int32_t* owned, int32_t ownedCount, const int32_t* neighbours, int32_t neighbourCount) {
        for (int32_t k = 0; k < ownedCount; ++k) {
            const int32_t t = owned[k];
            if (done[t]) continue;
            done[t] = 1;
            const Vec3& pt = target.Points[t];
            const Vec3& nt = target.PointNormals[t];
            double sum = 0.0, total = 0.0;
            for (int32_t m = 0; m < neighbourCount && sourceGrey; ++m) {
                const int32_t s = neighbours[m];
                if (V3_DistanceSquared(source.Points[s], pt) > rSq) continue;
                const float dot = V3_Dot(source.PointNormals[s], nt);
                if (!(dot > 0.0f)) continue;
                const float lateral = Line_DistanceSquared(source.Points[s], pt, nt);
                const double w = static_cast<double>(dot) * dot * (1.0 - lateral / rSq);
                sum += w * source.Greyscale[s];
                total += w;
            }
            if (total > 0.0) {
                const double g = std::floor(sum / total + 0.5);
                target.Greyscale[t] = static_cast<uint8_t>(g < 0.0 ? 0.0 : g > 255.0 ? 255.0 : g);
            }
        }
        return 0;
    };
    const SplitRule rule{false, 1e10f, 0.003, true};
    Surf_SplitSpace(
        arena, target.Points, target.NumPoints, source.Points, source.NumPoints > 0 ? source.NumPoints : 0, rule,
        progress, 0.0, 1.0, [radius](const int32_t*, int32_t) { return radius; }, leaf);
    return 0;
}
