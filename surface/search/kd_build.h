// The build and box walk shared by the general k-d tree and the packed 2D and
// 3D trees. The trees differ only in how a coordinate of a point is read, so
// the build is written once over a coordinate accessor; the walk reads the
// tree's own copy of the points.
//
// A tree is balanced by presorting: one index order per dimension, then the
// levels are built breadth first. A range of a level is a set of points that
// lies in one subtree; its points are kept in the order of the level's split
// dimension, so its median is found by position. The next level's orders are
// produced by one stable pass over the next split dimension's presorted
// array, so no range is ever sorted again.
//
// Nodes are numbered in the order the box walk visits them: a node, its left
// subtree, then its right subtree, so that a walk moves forward through the
// node array.
#ifndef SURFACE_SEARCH_KD_BUILD_H
#define SURFACE_SEARCH_KD_BUILD_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/search/kd_presort.h"

// One node per point: the point's index and the node numbers of its children
// (-1 for none). Node 0 is the root.
struct KdNode {
    int32_t Point;
    int32_t Left;
    int32_t Right;
};

namespace kdbuild {

// The node array is allocated with a copy of each node's point after it, in
// node order (d doubles a node), so that a walk reads the points of nearby
// nodes from nearby memory instead of from wherever the caller keeps them.
inline size_t CoordsOffset(int32_t n) {
    const size_t bytes = sizeof(KdNode) * static_cast<size_t>(n > 0 ? n : 1);
    return (bytes + sizeof(double) - 1) / sizeof(double) * sizeof(double);
}
// Null when memory runs out or the block would not fit in memory.
inline KdNode* AllocNodes(int32_t n, int32_t d) {
    const uint64_t rows = static_cast<uint64_t>(n > 0 ? n : 1);
    const uint64_t bytes = rows * sizeof(KdNode) + sizeof(double) + rows * static_cast<uint64_t>(d) * sizeof(double);
    if (d < 1 || bytes > static_cast<uint64_t>(SIZE_MAX) / 2) return nullptr;
    return static_cast<KdNode*>(Mem_Alloc(static_cast<size_t>(bytes)));
}
inline double* CoordsOf(KdNode* nodes, int32_t n) {
    return reinterpret_cast<double*>(reinterpret_cast<char*>(nodes) + CoordsOffset(n));
}
inline const double* CoordsOf(const KdNode* nodes, int32_t n) {
    return reinterpret_cast<const double*>(reinterpret_cast<const char*>(nodes) + CoordsOffset(n));
}

inline bool Cancelled(const volatile int32_t* cancel) { return cancel && *cancel != 0; }

// The arrays a build needs besides the result; all freed by Release.
struct Work {
    int32_t* Orders = nullptr;   // dimension arrays of n indices, one after the other
    double* Keys = nullptr;      // one coordinate of every point, for the sorts
    int32_t* Label = nullptr;    // per point: its range on the next level, -1 once placed
    int32_t* Current = nullptr;  // the level's ranges, each in split-dimension order
    int32_t* Next = nullptr;
    int32_t* Ranges = nullptr;  // 4 ints per range: start, size, node number, unused
    int32_t* NextRanges = nullptr;
    int32_t* Fill = nullptr;

    bool Allocate(int32_t n, int32_t d) {
        const int32_t slots = n + 1;
        Orders = Mem_AllocInts(n * d);
        Keys = Mem_AllocDoubles(n);
        Label = Mem_AllocInts(n);
        Current = Mem_AllocInts(n);
        Next = Mem_AllocInts(n);
        Ranges = Mem_AllocInts(4 * slots);
        NextRanges = Mem_AllocInts(4 * slots);
        Fill = Mem_AllocInts(slots);
        return Orders && Keys && Label && Current && Next && Ranges && NextRanges && Fill;
    }
    void Release() {
        Mem_Free(Orders);
        Mem_Free(Keys);
        Mem_Free(Label);
        Mem_Free(Current);
        Mem_Free(Next);
        Mem_Free(Ranges);
        Mem_Free(NextRanges);
        Mem_Free(Fill);
        *this = Work();
    }
};

// Picks the node position of a range of three or more points whose keys
// ascend: the median position, moved to the nearer end of the run of equal
// keys around it, so that every point before it lies strictly below it.
template <class Coord>
int32_t MedianPosition(const int32_t* pts, int32_t first, int32_t last, int32_t dim, const Coord& coord) {
    const int32_t mid = (first + last) / 2;
    const double key = coord(pts[mid], dim);
    int32_t low = mid;
    while (low > first && coord(pts[low - 1], dim) == key) --low;
    if (low == mid) return mid;
    int32_t high = mid;
    while (high < last && coord(pts[high + 1], dim) == key) ++high;
    if (high < last && high + 1 - mid < mid - low) return high + 1;
    return low;
}

// Builds the nodes of n points of dimension d into a block from AllocNodes
// and copies the points after them.
// `bounds` (or null) receives
// the d minima and then the d maxima. On success *depth is the number of
// levels. Returns 0, CoreStatus_NoMemory or CoreStatus_UserAbort; the work arrays are always freed.
// The copy of the points in the node block, by point index while building.
struct CopyCoord {
    const double* coords;
    int32_t d;
    double operator()(int32_t p, int32_t k) const { return coords[static_cast<int64_t>(p) * d + k]; }
};

template <class Coord>
int Build(int32_t n, int32_t d, const Coord& source, KdNode* nodes, double* bounds, int32_t* depth,
          const volatile int32_t* cancel) {
    *depth = 0;
    if (n <= 0) return 0;
    Work w;
    if (!w.Allocate(n, d)) {
        w.Release();
        return CoreStatus_NoMemory;
    }
    // The build reads the points from the tree's copy, in point order until
    // the nodes are made.
    double* coords = CoordsOf(nodes, n);
    for (int32_t p = 0; p < n; ++p)
        for (int32_t k = 0; k < d; ++k) coords[static_cast<int64_t>(p) * d + k] = source(p, k);
    const CopyCoord coord{coords, d};
    // The sorts borrow the range arrays, unused until the levels start.
    uint64_t* keyScratch = reinterpret_cast<uint64_t*>(w.Ranges);
    for (int32_t k = 0; k < d; ++k) {
        int32_t* order = w.Orders + static_cast<int64_t>(k) * n;
        for (int32_t i = 0; i < n; ++i) w.Keys[i] = coord(i, k);
        if (!KdPresort_Order(w.Keys, order, n, keyScratch, w.Current, cancel)) {
            w.Release();
            return CoreStatus_UserAbort;
        }
        if (bounds) {
            bounds[k] = coord(order[0], k);
            bounds[d + k] = coord(order[n - 1], k);
        }
    }

    for (int32_t i = 0; i < n; ++i) {
        w.Current[i] = w.Orders[i];
        w.Label[i] = 0;
    }
    int32_t rangeCount = 1;
    w.Ranges[0] = 0;
    w.Ranges[1] = n;
    w.Ranges[2] = 0;
    w.Ranges[3] = 0;
    int32_t levels = 0;
    for (int32_t level = 0; rangeCount > 0; ++level) {
        if (Cancelled(cancel)) {
            w.Release();
            return CoreStatus_UserAbort;
        }
        const int32_t split = level % d;
        levels = level + 1;
        int32_t nextCount = 0;
        for (int32_t r = 0; r < rangeCount; ++r) {
            const int32_t* range = w.Ranges + 4 * r;
            const int32_t first = range[0];
            const int32_t last = first + range[1] - 1;
            const int32_t node = range[2];
            const int32_t* pts = w.Current;
            int32_t pos = first;
            if (range[1] >= 3) pos = MedianPosition(pts, first, last, split, coord);
            w.Label[pts[pos]] = -1;
            if (range[1] < 3) {
                nodes[node] = KdNode{pts[pos], -1, -1};
                if (range[1] == 2) {
                    // The second point hangs below the first by ordinary descent.
                    const int32_t p = pts[first + 1];
                    nodes[node + 1] = KdNode{p, -1, -1};
                    w.Label[p] = -1;
                    if (coord(p, split) < coord(pts[pos], split))
                        nodes[node].Left = node + 1;
                    else
                        nodes[node].Right = node + 1;
                    if (levels < level + 2) levels = level + 2;
                }
                continue;
            }
            const int32_t sizes[2] = {pos - first, last - pos};
            const int32_t starts[2] = {first, pos + 1};
            const int32_t numbers[2] = {node + 1, node + 1 + sizes[0]};
            nodes[node] = KdNode{pts[pos], sizes[0] > 0 ? numbers[0] : -1, sizes[1] > 0 ? numbers[1] : -1};
            for (int32_t side = 0; side < 2; ++side) {
                if (sizes[side] == 0) continue;
                int32_t* child = w.NextRanges + 4 * nextCount;
                child[1] = sizes[side];
                child[2] = numbers[side];
                child[3] = 0;
                for (int32_t i = 0; i < sizes[side]; ++i) w.Label[pts[starts[side] + i]] = nextCount;
                ++nextCount;
            }
        }
        if (nextCount == 0) break;
        // Lay the child ranges out one after the other and fill each in the
        // order of the next split dimension.
        int32_t start = 0;
        for (int32_t r = 0; r < nextCount; ++r) {
            w.NextRanges[4 * r] = start;
            w.Fill[r] = start;
            start += w.NextRanges[4 * r + 1];
        }
        const int32_t* order = w.Orders + static_cast<int64_t>((level + 1) % d) * n;
        for (int32_t i = 0; i < n; ++i) {
            const int32_t p = order[i];
            const int32_t label = w.Label[p];
            if (label >= 0) w.Next[w.Fill[label]++] = p;
        }
        int32_t* swapPts = w.Current;
        w.Current = w.Next;
        w.Next = swapPts;
        int32_t* swapRanges = w.Ranges;
        w.Ranges = w.NextRanges;
        w.NextRanges = swapRanges;
        rangeCount = nextCount;
    }
    // Now the copy is laid out again, in node order, from the caller's points.
    for (int32_t i = 0; i < n; ++i)
        for (int32_t k = 0; k < d; ++k) coords[static_cast<int64_t>(i) * d + k] = source(nodes[i].Point, k);
    w.Release();
    *depth = levels;
    return 0;
}

// Walks the tree under the half-open box (the d minima, then the d maxima)
// and hands every point inside it, whose `accept` is true, to `report` with
// the node's copy of its coordinates. The walk stops when `report` returns
// false. `stack` has room for depth + 2 entries, `dims` for twice that.
// Returns false when stopped early.
//
// A small subtree is scanned instead of walked: it is a run of the node
// array in walk order, and the walk would skip only nodes outside the box.
//
// D, when not 0, is the dimension known when compiling (it must equal d).
template <int D = 0, class Accept, class Report>
bool BoxWalk(const KdNode* nodes, int32_t n, int32_t dimension, const double* box, int32_t* stack, int32_t* dims,
             const Accept& accept, const Report& report) {
    const int32_t d = D > 0 ? D : dimension;
    if (n <= 0) return true;
    const int32_t kScan = 16;  // subtrees of this many nodes or fewer
    const double* coords = CoordsOf(nodes, n);
    const auto visit = [&](int32_t at, const double* x) {
        bool inside = true;
        for (int32_t k = 0; k < d && inside; ++k) inside = box[k] <= x[k] && x[k] < box[d + k];
        const int32_t p = nodes[at].Point;
        return !inside || !accept(p) || report(p, x);
    };
    // Each stacked subtree: its root in `stack`, its split dimension and the
    // end of its run of nodes side by side in `dims`.
    int32_t top = 0;
    stack[0] = 0;
    dims[0] = 0;
    dims[1] = n;
    ++top;
    while (top > 0) {
        --top;
        const int32_t at = stack[top];
        const int32_t split = dims[2 * top];
        const int32_t end = dims[2 * top + 1];
        const double* x = coords + static_cast<int64_t>(at) * d;
        if (end - at <= kScan) {
            for (int32_t i = at; i < end; ++i, x += d)
                if (!visit(i, x)) return false;
            continue;
        }
        if (!visit(at, x)) return false;
        const KdNode& node = nodes[at];
        const double c = x[split];
        const int32_t below = split + 1 == d ? 0 : split + 1;
        if (node.Right >= 0 && c < box[d + split]) {
            stack[top] = node.Right;
            dims[2 * top] = below;
            dims[2 * top + 1] = end;
            ++top;
        }
        if (node.Left >= 0 && box[split] < c) {
            stack[top] = node.Left;
            dims[2 * top] = below;
            dims[2 * top + 1] = node.Right >= 0 ? node.Right : end;
            ++top;
        }
    }
    return true;
}

// Calls f with std::integral_constant<int, D>: D is d for the common
// dimensions 2 and 3, else 0 (known only when running).
template <class F>
auto WithDimension(int32_t d, const F& f) {
    if (d == 3) return f(std::integral_constant<int, 3>());
    if (d == 2) return f(std::integral_constant<int, 2>());
    return f(std::integral_constant<int, 0>());
}

}  // namespace kdbuild

#endif
