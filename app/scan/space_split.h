// The recursive split of space that the surface stages use to find
// neighbours without a grid: a cell owns some points and knows every point
// that may lie within the radius of them; it splits on its owned points'
// centroid along the longest axis of their box, each half's neighbour list
// widened by the radius on its side of the cut. The leaves compare their few
// owned points with their neighbour list only.
//
// The cells are walked depth first, lower half before upper, with an explicit
// stack (no recursion depth limit), and a cell's lists are freed as soon as
// its halves have theirs. Neighbour lists keep the order of the parent's, so a
// leaf sees its neighbours in rising index order, and they hold every point
// within the radius of an owned point (and a few more).
#pragma once

#include "app/scan/geometry.h"
#include "app/scan/surf_arena.h"
#include "app/scan/surf_progress.h"

#include <cmath>
#include <cstdint>

struct SplitRule {
    // true: a cell splits only when both halves hold more than 10 points;
    // false: when it owns more than 10 points and both halves hold some.
    bool bothHalvesAboveTen;
    float boxStart;      // the box starts at min +boxStart, max -boxStart
    double step;         // leaves report about every `step` of the range
    bool capReportRate;  // skip the report when step / span + 1 reaches 2^31 - 1
};

namespace space_split_detail {

struct Cell {
    int32_t* owned;
    int32_t ownedCount;
    int32_t* neighbours;
    int32_t neighbourCount;
    double start, span;
};

int32_t ChooseAxis(const Vec3& lo, const Vec3& hi);
float Coordinate(const Vec3& p, int32_t axis);
void ReportLeaf(const SurfProgress& progress, const SplitRule& rule, double start, double span);

}  // namespace space_split_detail

// radiusOf(owned, count) -> float: the widening radius of a cell.
// leaf(owned, count, neighbours, count) -> int: non-zero stops the walk.
template <class RadiusOf, class Leaf>
int Surf_SplitSpace(SurfArena& arena, const Vec3* ownedPositions, int32_t ownedCount, const Vec3* neighbourPositions,
                    int32_t neighbourCount, const SplitRule& rule, const SurfProgress& progress, double start,
                    double span, RadiusOf radiusOf, Leaf leaf) {
    using namespace space_split_detail;
    int32_t stackCap = 64, depth = 0;
    Cell* stack = arena.Array<Cell>(stackCap);
    Cell root{arena.Array<int32_t>(ownedCount),
              ownedCount,
              arena.Array<int32_t>(neighbourCount),
              neighbourCount,
              start,
              span};
    for (int32_t i = 0; i < ownedCount; ++i) root.owned[i] = i;
    for (int32_t i = 0; i < neighbourCount; ++i) root.neighbours[i] = i;
    stack[depth++] = root;
    int result = 0;
    while (depth > 0 && result == 0) {
        Cell cell = stack[--depth];
        Vec3 lo{rule.boxStart, rule.boxStart, rule.boxStart}, hi{-rule.boxStart, -rule.boxStart, -rule.boxStart};
        double sum[3] = {0.0, 0.0, 0.0};
        for (int32_t k = 0; k < cell.ownedCount; ++k) {
            const Vec3& p = ownedPositions[cell.owned[k]];
            if (p.x < lo.x) lo.x = p.x;
            if (p.y < lo.y) lo.y = p.y;
            if (p.z < lo.z) lo.z = p.z;
            if (p.x > hi.x) hi.x = p.x;
            if (p.y > hi.y) hi.y = p.y;
            if (p.z > hi.z) hi.z = p.z;
            sum[0] += p.x, sum[1] += p.y, sum[2] += p.z;
        }
        const int32_t axis = ChooseAxis(lo, hi);
        const double n = cell.ownedCount > 0 ? cell.ownedCount : 1;
        const float centre = static_cast<float>(sum[axis] / n);
        int32_t upper = 0;
        for (int32_t k = 0; k < cell.ownedCount; ++k)
            if (Coordinate(ownedPositions[cell.owned[k]], axis) > centre) ++upper;
        const int32_t lower = cell.ownedCount - upper;
        const bool split =
            rule.bothHalvesAboveTen ? (lower > 10 && upper > 10) : (cell.ownedCount > 10 && lower > 0 && upper > 0);
        if (!split) {
            ReportLeaf(progress, rule, cell.start, cell.span);
            result = leaf(static_cast<const int32_t*>(cell.owned), cell.ownedCount,
                          static_cast<const int32_t*>(cell.neighbours), cell.neighbourCount);
            arena.Free(cell.owned);
            arena.Free(cell.neighbours);
            continue;
        }
        // Widened by a hair: a neighbour exactly one radius beyond an owned
        // point on the cut must not be lost to float rounding.
        const float radius =
            radiusOf(static_cast<const int32_t*>(cell.owned), cell.ownedCount) * 1.0001f + std::fabs(centre) * 1e-6f;
        Cell low{arena.Array<int32_t>(lower), 0, nullptr, 0, cell.start, cell.span * 0.5};
        Cell high{arena.Array<int32_t>(upper), 0, nullptr, 0, cell.start + cell.span * 0.5, cell.span * 0.5};
        for (int32_t k = 0; k < cell.ownedCount; ++k) {
            const int32_t i = cell.owned[k];
            if (Coordinate(ownedPositions[i], axis) > centre)
                high.owned[high.ownedCount++] = i;
            else
                low.owned[low.ownedCount++] = i;
        }
        arena.Free(cell.owned);
        int32_t lowNeighbours = 0, highNeighbours = 0;
        for (int32_t k = 0; k < cell.neighbourCount; ++k) {
            const float c = Coordinate(neighbourPositions[cell.neighbours[k]], axis);
            if (c < centre + radius) ++lowNeighbours;
            if (c > centre - radius) ++highNeighbours;
        }
        low.neighbours = arena.Array<int32_t>(lowNeighbours);
        high.neighbours = arena.Array<int32_t>(highNeighbours);
        for (int32_t k = 0; k < cell.neighbourCount; ++k) {
            const int32_t j = cell.neighbours[k];
            const float c = Coordinate(neighbourPositions[j], axis);
            if (c < centre + radius) low.neighbours[low.neighbourCount++] = j;
            if (c > centre - radius) high.neighbours[high.neighbourCount++] = j;
        }
        arena.Free(cell.neighbours);
        if (depth + 2 > stackCap) {
            stackCap *= 2;
            stack = arena.Grow(stack, stackCap);
        }
        stack[depth++] = high;
        stack[depth++] = low;
    }
    // A stop leaves cells on the stack; their lists go with the arena.
    arena.Free(stack);
    return result;
}
