// Nearest-point searches of the general k-d tree. They are all built on the
// box search: a box that surely holds the wanted points is searched, and the
// points found are ordered by distance.
#include <algorithm>
#include <cmath>

#include "surface/frame/status_codes.h"
#include "surface/search/distance_order.h"
#include "surface/search/kd_tree.h"

namespace {

// D, when not 0, is dim known when compiling.
template <int D = 0>
double SquaredDistance(const double* a, const double* b, int32_t dimension) {
    const int32_t dim = D > 0 ? D : dimension;
    double sum = 0.0;
    for (int32_t k = 0; k < dim; ++k) {
        const double t = a[k] - b[k];
        sum += t * t;
    }
    return sum;
}

using distance_order::Entry;

// The deepest tree the nearest walk's own stacks serve.
const int32_t kWalkDepth = 128;

// The number of visible points, counted only up to `enough`.
int32_t ActiveUpTo(const KdTreeN* tree, int32_t enough) {
    if (tree->Mask == nullptr) return tree->Count < enough ? tree->Count : enough;
    int32_t active = 0;
    for (int32_t i = 0; i < tree->Count && active < enough; ++i) active += tree->Mask[i] != 0;
    return active;
}

// Puts the points of the first `kept` entries in the result list and in
// `indices` (or only the result list).
void KeepInOrder(KdTreeN* tree, const Entry* entries, int32_t kept, int32_t* indices) {
    for (int32_t i = 0; i < kept; ++i) tree->Result[i] = entries[i].at;
    if (indices)
        for (int32_t i = 0; i < kept; ++i) indices[i] = entries[i].at;
    tree->ResultCount = kept;
}

// A box of 2 dim doubles: on the stack for the usual dimensions.
class BoxBuffer {
  public:
    explicit BoxBuffer(int32_t dim)
        : data_(dim <= 16 ? local_ : static_cast<double*>(Mem_Alloc(sizeof(double) * 2 * dim))) {}
    BoxBuffer(const BoxBuffer&) = delete;
    BoxBuffer& operator=(const BoxBuffer&) = delete;
    ~BoxBuffer() {
        if (data_ != local_) Mem_Free(data_);
    }
    double* data() { return data_; }

  private:
    double local_[2 * 16];
    double* data_;
};

// The visible points inside the box, in the tree's result list, and their
// squared distances from `point` in `entries` (grown when the box holds more
// than it has room for). Returns their number, or -1 when memory runs out.
// D, when not 0, is the tree's dimension known when compiling.
template <int D>
int32_t DistancesInBox(KdTreeN* tree, const double* point, const double* box, distance_order::Buffer& entries) {
    const int32_t d = D > 0 ? D : tree->Dim;
    const int32_t room = entries.capacity();
    Entry* e = entries.data();
    int32_t found = 0;
    kdbuild::BoxWalk<D>(
        tree->Nodes, tree->Count, d, box, tree->Stack, tree->SplitStack,
        [tree](int32_t p) { return tree->Mask == nullptr || tree->Mask[p] != 0; },
        [&](int32_t p, const double* x) {
            if (found < room) e[found] = Entry{SquaredDistance<D>(x, point, d), p};
            tree->Result[found++] = p;
            return true;
        });
    tree->ResultCount = found;
    if (found > room) {
        if (!entries.Reserve(found)) return -1;
        e = entries.data();
        for (int32_t i = 0; i < found; ++i) {
            const int32_t p = tree->Result[i];
            e[i] = Entry{SquaredDistance(tree->Points[p], point, d), p};
        }
    }
    return found;
}

// The `kept` nearest visible points inside the box, nearest first, in
// best[0..kept) (the box holds at least that many). A subtree is skipped once
// its side of a splitting plane lies no nearer than the farthest point kept
// so far: a point beyond a plane is never computed nearer than the plane
// itself, so the kept distances are those that ordering all the box's points
// would keep. The tree's depth + 2 is at most kWalkDepth; D as above.
template <int D>
void NearestInside(const KdTreeN* tree, const double* point, const double* box, int32_t kept, Entry* best) {
    int32_t nodeStack[kWalkDepth];
    int32_t dimStack[kWalkDepth];
    double boundStack[kWalkDepth];  // no point of the subtree lies nearer
    if (kept <= 0) return;
    const int32_t d = D > 0 ? D : tree->Dim;
    const KdNode* nodes = tree->Nodes;
    const double* coords = kdbuild::CoordsOf(tree->Nodes, tree->Count);
    int32_t size = 0;
    int32_t top = 0;
    const auto push = [&](int32_t node, int32_t dim, double bound) {
        nodeStack[top] = node;
        dimStack[top] = dim;
        boundStack[top++] = bound;
    };
    push(0, 0, 0.0);
    while (top > 0) {
        --top;
        const double bound = boundStack[top];
        if (size == kept && bound >= best[0].key) continue;
        const int32_t at = nodeStack[top];
        const int32_t s = dimStack[top];
        const KdNode& node = nodes[at];
        const double* x = coords + static_cast<int64_t>(at) * d;
        const double c = x[s];
        bool inside = box[s] <= c && c < box[d + s];
        for (int32_t k = 0; k < d && inside; ++k) inside = box[k] <= x[k] && x[k] < box[d + k];
        if (inside && (tree->Mask == nullptr || tree->Mask[node.Point] != 0)) {
            const Entry e{SquaredDistance<D>(x, point, d), node.Point};
            if (size < kept) {
                best[size++] = e;
                std::push_heap(best, best + size, distance_order::Before);
            } else if (distance_order::Before(e, best[0])) {
                std::pop_heap(best, best + size, distance_order::Before);
                best[size - 1] = e;
                std::push_heap(best, best + size, distance_order::Before);
            }
        }
        const int32_t next = s + 1 == d ? 0 : s + 1;
        const double t = c - point[s];
        const double far = t * t > bound ? t * t : bound;
        const bool right = node.Right >= 0 && c < box[d + s];
        const bool left = node.Left >= 0 && box[s] < c;
        // The far side first, so that the near side is walked first.
        if (point[s] >= c) {
            if (left) push(node.Left, next, far);
            if (right) push(node.Right, next, bound);
        } else {
            if (right) push(node.Right, next, far);
            if (left) push(node.Left, next, bound);
        }
    }
    std::sort_heap(best, best + size, distance_order::Before);
}

// How far q lies outside the box: the largest excess on any dimension, -1
// for a point inside it, so that inside points sort first.
double BoxExcess(const double* q, const double* box, int32_t dim) {
    double excess = 0.0;
    bool inside = true;
    for (int32_t k = 0; k < dim; ++k) {
        const double below = box[k] - q[k];
        const double above = q[k] - box[dim + k];
        if (below > excess) excess = below;
        if (above > excess) excess = above;
        if (!(box[k] <= q[k] && q[k] < box[dim + k])) inside = false;
    }
    return inside ? -1.0 : excess;
}

}  // namespace

int KdTreeN_NearestRange(KdTreeN* tree, const double* point, int32_t minCount, int32_t maxCount, double* radius,
                         int32_t* indices, int32_t* count) {
    if (tree == nullptr || point == nullptr || radius == nullptr || indices == nullptr || count == nullptr)
        return CoreStatus_NullArgument;
    *count = 0;
    if (minCount < 0) minCount = 0;
    // Only whether the visible points reach the wanted number matters.
    const int32_t active = ActiveUpTo(tree, maxCount > minCount ? maxCount : minCount);
    if (minCount > active) return CoreStatus_InvalidInput;
    if (maxCount > active) maxCount = active;
    if (maxCount < minCount) maxCount = minCount;
    if (maxCount == 0) return 0;
    const int32_t dim = tree->Dim;
    double r = *radius == 0.0 ? 1.0 : std::fabs(*radius);
    const double grow = std::pow(2.0, 1.0 / dim);
    BoxBuffer boxBuffer(dim);
    double* box = boxBuffer.data();
    if (box == nullptr) return CoreStatus_NoMemory;
    distance_order::Buffer ordered;
    const auto inBox = [&](const double* b) {
        return kdbuild::WithDimension(dim, [&](auto D) { return DistancesInBox<D()>(tree, point, b, ordered); });
    };
    bool heldMinimum = false;  // whether a box has held minCount points
    // Counts beyond 2 maxCount + 1 change nothing.
    const int32_t enough = maxCount < (INT32_MAX - 1) / 2 ? 2 * maxCount + 1 : INT32_MAX;
    for (;;) {
        KdTreeN_Box(dim, point, r, box);
        int32_t found;
        int32_t kept;
        Entry* entries;
        if (heldMinimum && ordered.Reserve(maxCount) && tree->Depth + 2 <= kWalkDepth) {
            // A grown box holds every point of the first one, so it holds
            // minCount points too. Its count matters only up to 2 maxCount + 1,
            // and only its nearest maxCount points are looked at.
            found = KdTreeN_CollectInBox(tree, box, enough, tree->Result);
            if (found > 2 * maxCount) *radius = std::pow(0.7, 1.0 / dim) * r;
            kept = found < maxCount ? found : maxCount;
            entries = ordered.data();
            kdbuild::WithDimension(dim, [&](auto D) { NearestInside<D()>(tree, point, box, kept, entries); });
        } else {
            found = inBox(box);
            while (found >= 0 && found < minCount) {
                r *= grow;
                *radius = r;
                if (!std::isfinite(r)) return CoreStatus_InvalidInput;
                KdTreeN_Box(dim, point, r, box);
                found = inBox(box);
            }
            if (found < 0) return CoreStatus_NoMemory;
            heldMinimum = true;
            if (found > 2 * maxCount) *radius = std::pow(0.7, 1.0 / dim) * r;
            entries = ordered.data();
            // Only the nearest maxCount are ever looked at.
            kept = found < maxCount ? found : maxCount;
            distance_order::Smallest(entries, found, kept);
        }
        const double ball = r * r;
        bool complete = kept > 0 && entries[kept - 1].key <= ball;
        if (!complete && (minCount == 0 || entries[minCount - 1].key <= ball)) {
            // Every point within the ball was found; those beyond it may not be
            // the nearest, so only the ball's points are kept past the minimum.
            kept = minCount;
            while (kept < maxCount && kept < found && entries[kept].key <= ball) ++kept;
            complete = true;
        }
        if (complete) {
            KeepInOrder(tree, entries, kept, indices);
            *count = kept;
            return 0;
        }
        r *= std::sqrt(static_cast<double>(dim));
        *radius = r;
    }
}

int KdTreeN_NearestK(KdTreeN* tree, const double* point, int32_t k, double* radius, int32_t* indices, int32_t* count) {
    return KdTreeN_NearestRange(tree, point, k, k, radius, indices, count);
}

int KdTreeN_NearestToBox(KdTreeN* tree, const double* box, int32_t minExtra, int32_t maxExtra, int32_t* insideCount,
                         int32_t* totalCount) {
    if (tree == nullptr || box == nullptr || insideCount == nullptr || totalCount == nullptr)
        return CoreStatus_NullArgument;
    const int32_t dim = tree->Dim;
    const int32_t inside = KdTreeN_BoxQuery(tree, box);
    *insideCount = inside;
    *totalCount = inside;
    int32_t want = inside + (minExtra > 0 ? minExtra : 0);
    const int32_t active = ActiveUpTo(tree, want);
    if (want > active) want = active;
    int32_t cap = inside + (maxExtra > minExtra ? maxExtra : minExtra);
    if (cap < want) cap = want;
    if (want <= inside) return 0;

    double diagonal = 0.0;
    for (int32_t k = 0; k < dim; ++k) {
        const double side = box[dim + k] - box[k];
        diagonal += side * side;
    }
    // A box of no size has no diagonal to grow from; start from unit size.
    double margin = 0.2 * std::sqrt(diagonal);
    if (!(margin > 0.0) || !std::isfinite(margin)) margin = 1.0;
    const double grow = std::pow(2.0, 1.0 / dim);
    BoxBuffer grownBuffer(dim);
    double* grown = grownBuffer.data();
    if (grown == nullptr) return CoreStatus_NoMemory;
    int32_t found = 0;
    for (;;) {
        for (int32_t k = 0; k < dim; ++k) {
            grown[k] = box[k] - margin;
            grown[dim + k] = box[dim + k] + margin;
        }
        found = KdTreeN_BoxQuery(tree, grown);
        if (found >= want) break;
        margin *= grow;
        if (!std::isfinite(margin)) return CoreStatus_InvalidInput;
    }
    distance_order::Buffer entries;
    if (!entries.Reserve(found)) return CoreStatus_NoMemory;
    Entry* e = entries.data();
    for (int32_t i = 0; i < found; ++i) {
        const int32_t p = tree->Result[i];
        e[i] = Entry{BoxExcess(tree->Points[p], box, dim), p};
    }
    const int32_t kept = found < cap ? found : cap;
    distance_order::Smallest(e, found, kept);
    KeepInOrder(tree, e, kept, nullptr);
    *totalCount = kept;
    return 0;
}

int KdTreeN_WithinRadius(KdTreeN* tree, const double* point, double r, int32_t* scratch, double* squared,
                         int32_t* count) {
    const int32_t dim = tree->Dim;
    double box[2 * 16];
    double* wide = dim <= 16 ? box : static_cast<double*>(Mem_Alloc(sizeof(double) * 2 * dim));
    if (wide == nullptr) return CoreStatus_NoMemory;
    // Widened a little, so that points at exactly distance r along an axis are
    // not lost to the half-open upper end of the box (nor, for r = 0, the
    // point itself).
    KdTreeN_Box(dim, point, r * 1.000000001, wide);
    for (int32_t k = 0; k < dim; ++k) wide[dim + k] = std::nextafter(wide[dim + k], HUGE_VAL);
    const int32_t found = KdTreeN_BoxQuery(tree, wide);
    if (wide != box) Mem_Free(wide);
    for (int32_t i = 0; i < found; ++i) squared[i] = SquaredDistance(tree->Points[tree->Result[i]], point, dim);
    for (int32_t i = 0; i < found; ++i) scratch[i] = i;
    distance_order::SmallestIndices(scratch, found, found, squared);
    // Apply the order to the result list and the distances in place, cycle by
    // cycle, marking the places done in the order itself.
    for (int32_t start = 0; start < found; ++start) {
        if (scratch[start] < 0) continue;
        const int32_t heldIndex = tree->Result[start];
        const double heldDistance = squared[start];
        int32_t at = start;
        for (;;) {
            const int32_t from = scratch[at];
            scratch[at] = -1 - from;
            if (from == start) {
                tree->Result[at] = heldIndex;
                squared[at] = heldDistance;
                break;
            }
            tree->Result[at] = tree->Result[from];
            squared[at] = squared[from];
            at = from;
        }
    }
    for (int32_t i = 0; i < found; ++i) scratch[i] = -1 - scratch[i];
    int32_t kept = 0;
    while (kept < found && squared[kept] <= r * r) ++kept;
    tree->ResultCount = kept;
    *count = kept;
    return 0;
}

int32_t KdTreeN_NearestInBox(KdTreeN* tree, const double* point, double r, int32_t ready, int32_t* index) {
    const int32_t dim = tree->Dim;
    if (!ready) {
        double local[2 * 16];
        double* box = dim <= 16 ? local : static_cast<double*>(Mem_Alloc(sizeof(double) * 2 * dim));
        if (box == nullptr) {
            if (index) *index = -1;
            return -1;
        }
        KdTreeN_Box(dim, point, r, box);
        KdTreeN_BoxQuery(tree, box);
        if (box != local) Mem_Free(box);
    }
    int32_t best = -1;
    double bestDistance = 0.0;
    for (int32_t i = 0; i < tree->ResultCount; ++i) {
        const int32_t p = tree->Result[i];
        const double s = SquaredDistance(tree->Points[p], point, dim);
        if (best < 0 || s < bestDistance) {
            best = p;
            bestDistance = s;
        }
    }
    if (index) *index = best;
    return best;
}
