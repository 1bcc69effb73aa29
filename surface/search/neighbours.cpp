// Neighbour searches over a packed 3D point array through the packed k-d
// tree: a box around the query point is searched, grown until it holds
// enough points, and the points found are ordered by distance.
#include "surface/search/neighbours.h"

#include <cmath>
#include <cstring>

#include "surface/search/distance_order.h"

namespace {

// Replaces the three buffers by larger ones; the record keeps its old
// buffers when the new ones cannot be had.
bool Reserve(Neighbours* record, int32_t capacity) {
    if (capacity <= record->Capacity) return true;
    int32_t* candidates = Mem_AllocInts(capacity);
    int32_t* order = Mem_AllocInts(capacity);
    double* squared = Mem_AllocDoubles(capacity);
    if (candidates == nullptr || order == nullptr || squared == nullptr) {
        Mem_Free(candidates);
        Mem_Free(order);
        Mem_Free(squared);
        return false;
    }
    Mem_Free(record->Candidates);
    Mem_Free(record->Order);
    Mem_Free(record->Squared);
    record->Candidates = candidates;
    record->Order = order;
    record->Squared = squared;
    record->Capacity = capacity;
    return true;
}

int32_t Grown(int32_t capacity) { return 1 + static_cast<int32_t>(1.4 * capacity); }

// The squared distance of q from the query point.
inline double SquaredDistance(const double* q, const double* point) {
    const double dx = q[0] - point[0];
    const double dy = q[1] - point[1];
    const double dz = q[2] - point[2];
    return dx * dx + dy * dy + dz * dz;
}

// Searches the box point +- r into the candidate buffer, with their squared
// distances from the point beside them, growing the buffers while a search
// fills them. Returns the number found, or -1 when the buffers cannot grow.
int32_t SearchBox(const double* point, double r, Neighbours* record, bool doubling, bool closed = false) {
    double box[6];
    Box_AroundPoint(point, r, box);
    if (closed)
        for (int k = 3; k < 6; ++k) box[k] = std::nextafter(box[k], HUGE_VAL);
    const KdTree3& tree = record->Tree;
    for (;;) {
        // The tree's own copy of the points lies beside its nodes.
        int32_t found = 0;
        const bool complete = kdbuild::BoxWalk<3>(
            tree.Nodes, tree.Count, 3, box, tree.Stack, tree.SplitStack, [](int32_t) { return true; },
            [&](int32_t p, const double* q) {
                record->Candidates[found] = p;
                record->Squared[found++] = SquaredDistance(q, point);
                return found < record->Capacity;
            });
        if (complete || found >= record->Count) return found;
        const int32_t next = doubling ? 2 * record->Capacity : Grown(record->Capacity);
        if (!Reserve(record, next)) return -1;
    }
}

// The `kept` nearest of the candidates in ascending order at the front of
// the order buffer.
void OrderByDistance(int32_t found, int32_t kept, Neighbours* record) {
    for (int32_t i = 0; i < found; ++i) record->Order[i] = i;
    distance_order::SmallestIndices(record->Order, found, kept < found ? kept : found, record->Squared);
}

// The first radius: a box that holds about k points when they are spread
// evenly over the faces of their bounds.
double StartRadius(const Neighbours* record, int32_t k) {
    const double* b = record->Bounds;
    const double ex = b[3] - b[0], ey = b[4] - b[1], ez = b[5] - b[2];
    const double area = ex * ey + ey * ez + ez * ex;
    double r = std::sqrt(area * k / record->Count);
    if (r > 0.0 && std::isfinite(r)) return r;
    // Points on a line or all in one place have no area to spread over.
    double extent = ex > ey ? ex : ey;
    if (ez > extent) extent = ez;
    r = extent * k / record->Count;
    return r > 0.0 && std::isfinite(r) ? r : 1.0;
}

}  // namespace

int Neighbours_Init(int32_t count, const double* points, Neighbours* record) {
    std::memset(record, 0, sizeof *record);
    record->Count = count;
    record->Points = points;
    if (!KdTree3_Build(count, points, &record->Tree, record->Bounds)) {
        std::memset(record, 0, sizeof *record);
        return 0;
    }
    return 1;
}

void Neighbours_Free(Neighbours* record) {
    if (record == nullptr) return;
    KdTree3_Free(&record->Tree);
    Mem_Free(record->Candidates);
    Mem_Free(record->Order);
    Mem_Free(record->Squared);
    std::memset(record, 0, sizeof *record);
}

int Neighbours_KNearest(const double* point, int32_t k, int32_t* count, int32_t* indices, Neighbours* record) {
    *count = 0;
    if (k > record->Count) k = record->Count;
    if (k <= 0) return 1;
    if (!Reserve(record, k)) return 0;
    double r = record->Radius > 0.0 ? record->Radius : StartRadius(record, k);
    for (;;) {
        const int32_t found = SearchBox(point, r, record, true);
        if (found < 0) return 0;
        if (found < k) {
            if (std::isfinite(r)) {
                r *= std::sqrt(static_cast<double>(k) / (found + 1)) * 1.1;
                continue;
            }
            // No box holds more: the other points have coordinates that are not
            // finite (or the query point has), and no distance to them is.
            k = found;
            if (k == 0) return 1;
        }
        OrderByDistance(found, k, record);
        const double kth = record->Squared[record->Order[k - 1]];
        if (kth > r * r) {
            // The box's corners reach past its inner ball: a point outside the box
            // may be nearer than the k-th found. Search again over the ball that
            // holds the k-th (a little wider, so that rounding cannot keep it out).
            r = std::sqrt(kth) * 1.000000001;
            continue;
        }
        for (int32_t i = 0; i < k; ++i) indices[i] = record->Candidates[record->Order[i]];
        *count = k;
        if (0.5 * r > std::sqrt(kth)) r *= 0.8;
        if (std::isfinite(r)) record->Radius = r;
        return 1;
    }
}

int Neighbours_WithinRadius(const double* point, double r, int32_t maxCount, int32_t* count, int32_t* indices,
                            Neighbours* record) {
    *count = 0;
    record->Radius = r;
    if (!Reserve(record, maxCount > 0 ? maxCount : 1)) return 0;
    // Widened a little, so that a point at exactly distance r along an axis is
    // not lost to the half-open upper end of the box (nor, for r = 0, the
    // point itself).
    const int32_t found = SearchBox(point, r * 1.000000001, record, false, true);
    if (found < 0) return 0;
    OrderByDistance(found, maxCount, record);
    int32_t kept = 0;
    while (kept < found && kept < maxCount && record->Squared[record->Order[kept]] <= r * r) {
        indices[kept] = record->Candidates[record->Order[kept]];
        ++kept;
    }
    *count = kept;
    return 1;
}

int Neighbours_AnyWithin(const double* point, double r, int32_t* found, Neighbours* record) {
    *found = 0;
    if (!Reserve(record, 100)) return 0;
    const int32_t listed = SearchBox(point, r, record, false);
    if (listed < 0) return 0;
    for (int32_t i = 0; i < listed; ++i) {
        if (record->Squared[i] < r * r) {
            *found = 1;
            break;
        }
    }
    return 1;
}

void Box_AroundPoint(const double* point, double r, double* box) { Box_AroundPoint3(point, r, box); }
