#include "app/scan/kd_tree.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

// The nodes are stored in the order the box query visits them: a node, then
// its upper subtree, then its lower subtree. Every subtree is therefore one
// run of the array, and a small one is searched by a plain scan over its run,
// which lists its points in the same order as walking it node by node would:
// the walk only ever skips subtrees that lie wholly outside the box.
struct KdItem {
    float c[3];  // the point's coordinates
    int32_t point;  // its index in the caller's array
};

struct KdNodeStore {
    std::vector<KdItem> nodes;       // the root first
    std::vector<int32_t> upperSize;  // per node: the number of nodes in its upper subtree
    std::vector<int32_t> stackPos;   // query stack: a subtree's first node,
    std::vector<int32_t> stackSize;  // its node count
    std::vector<uint8_t> stackAxis;  // and its splitting axis
    int32_t depth = 0;
    int32_t count = 0;
};

namespace {

// Subtrees of this many nodes or fewer are scanned rather than walked.
constexpr int32_t kScanSize = 8;

// A range still to be built: `n` items at `items` whose subtree goes to the
// nodes from `at` on.
struct Pending {
    KdItem* items;
    int32_t n;
    int32_t level;
    int32_t at;
};

// Moves the items whose coordinate on `axis` satisfies `take` to the front
// of [lo, hi) and returns where the rest begins. Written without branches
// on the comparison, which a build would mispredict half the time.
template <class Take>
int32_t PartitionFront(KdItem* a, int32_t lo, int32_t hi, int axis, Take take) {
    int32_t j = lo;
    for (int32_t i = lo; i < hi; ++i) {
        const KdItem x = a[i];
        a[i] = a[j];
        a[j] = x;
        j += take(x.c[axis]) ? 1 : 0;
    }
    return j;
}

void SortOnAxis(KdItem* begin, KdItem* end, int axis) {
    for (KdItem* i = begin + 1; i < end; ++i) {
        const KdItem key = *i;
        KdItem* j = i;
        for (; j > begin && key.c[axis] < j[-1].c[axis]; --j) *j = j[-1];
        *j = key;
    }
}

// The positions [below, above) of the items whose coordinate equals the one
// at position m in the range's order on the axis.
struct EqualRun {
    int32_t below, above;
};

// Arranges the n items so that position m holds the item it would hold in
// their order on `axis`, those below it strictly below and those after the
// run of equal coordinates strictly above (quickselect, three-way).
EqualRun SelectMiddle(KdItem* a, int32_t n, int32_t m, int axis) {
    int32_t lo = 0, hi = n;
    for (int round = 0;; ++round) {
        if (hi - lo <= 16 || round == 64) {
            // Short ranges are sorted; so is a range that will not shrink
            // (heap sort, which needs no consistent order to end).
            const auto less = [axis](const KdItem& x, const KdItem& y) { return x.c[axis] < y.c[axis]; };
            if (hi - lo <= 16)
                SortOnAxis(a + lo, a + hi, axis);
            else
                std::partial_sort(a + lo, a + hi, a + hi, less);
            const float v = a[m].c[axis];
            int32_t below = m, above = m + 1;
            while (below > lo && a[below - 1].c[axis] == v) --below;
            while (above < hi && a[above].c[axis] == v) ++above;
            return EqualRun{below, above};
        }
        const float x = a[lo].c[axis], y = a[lo + (hi - lo) / 2].c[axis], z = a[hi - 1].c[axis];
        const float p = std::max(std::min(x, y), std::min(std::max(x, y), z));
        const int32_t lessEnd = PartitionFront(a, lo, hi, axis, [p](float c) { return c < p; });
        if (m < lessEnd) {
            hi = lessEnd;
            continue;
        }
        const int32_t equalEnd = PartitionFront(a, lessEnd, hi, axis, [p](float c) { return c <= p; });
        if (m < equalEnd) return EqualRun{lessEnd, equalEnd};
        lo = equalEnd;
    }
}

// Builds the tree depth first over a working copy of the points. A range
// splits where its order on the level's axis would split it: at its middle
// position m, or, when the coordinates at m - 1 and m are equal, at the
// nearest position where the coordinate changes (looking below first at each
// distance), so that the lower side holds only points strictly below the
// node. Selection finds these positions without sorting the range.
class Builder {
public:
    Builder(const Vec3* points, int32_t n, KdNodeStore& store) : n_(n), s_(store) {
        items_.resize(n);
        for (int32_t i = 0; i < n; ++i) items_[i] = KdItem{{points[i].x, points[i].y, points[i].z}, i};
    }

    void Build(KdTree& tree) {
        float lo[3], hi[3];
        for (int axis = 0; axis < 3; ++axis) lo[axis] = hi[axis] = items_[0].c[axis];
        for (const KdItem& it : items_)
            for (int axis = 0; axis < 3; ++axis) {
                lo[axis] = std::min(lo[axis], it.c[axis]);
                hi[axis] = std::max(hi[axis], it.c[axis]);
            }
        tree.BoxMin = Vec3{lo[0], lo[1], lo[2]};
        tree.BoxMax = Vec3{hi[0], hi[1], hi[2]};

        s_.nodes.resize(n_);
        s_.upperSize.resize(n_);
        std::vector<Pending> work{Pending{items_.data(), n_, 0, 0}};
        while (!work.empty()) {
            const Pending r = work.back();
            work.pop_back();
            Split(r, work);
        }
        s_.count = n_;
        s_.stackPos.resize(s_.depth + 2);
        s_.stackSize.resize(s_.depth + 2);
        s_.stackAxis.resize(s_.depth + 2);
    }

private:
    void Place(const KdItem& it, int32_t at, int32_t upper, int32_t level) {
        s_.nodes[at] = it;
        s_.upperSize[at] = upper;
        s_.depth = std::max(s_.depth, level + 1);
    }

    // The split position of a range of three or more items, with the node's
    // item moved there, the lower items before it and the upper ones after.
    static int32_t SplitPosition(KdItem* a, int32_t n, int axis) {
        const int32_t m = n / 2;
        const EqualRun run = SelectMiddle(a, n, m, axis);
        if (run.below == m) return m;
        const int32_t downward = m - run.below;  // distance to the last point below the run
        const int32_t upward = run.above - m;    // distance to the first point above it
        if (run.below > 0 && downward <= upward) return run.below;
        if (upward < m) {
            // The node is the lowest of the points above the run.
            KdItem* const first = a + run.above;
            KdItem* lowest = first;
            for (KdItem* it = first + 1; it < a + n; ++it)
                if (it->c[axis] < lowest->c[axis]) lowest = it;
            std::swap(*first, *lowest);
            return run.above;
        }
        return 0;
    }

    void Split(const Pending& r, std::vector<Pending>& work) {
        const int axis = r.level % 3;
        KdItem* a = r.items;
        const int32_t n = r.n;
        if (n <= 2) {
            // The lowest point becomes the node, a second one its upper child.
            if (n == 2 && a[1].c[axis] < a[0].c[axis]) std::swap(a[0], a[1]);
            Place(a[0], r.at, n - 1, r.level);
            if (n == 2) Place(a[1], r.at + 1, 0, r.level + 1);
            return;
        }
        const int32_t split = SplitPosition(a, n, axis);
        const int32_t upper = n - split - 1;
        Place(a[split], r.at, upper, r.level);
        if (split > 0) work.push_back(Pending{a, split, r.level + 1, r.at + 1 + upper});
        if (upper > 0) work.push_back(Pending{a + split + 1, upper, r.level + 1, r.at + 1});
    }

    int32_t n_;
    KdNodeStore& s_;
    std::vector<KdItem> items_;
};

}  // namespace

int KdTree_Build(const Vec3* points, int32_t count, KdTree** treeOut) {
    *treeOut = static_cast<KdTree*>(std::calloc(1, sizeof(KdTree)));
    KdTree* tree = *treeOut;
    if (!tree) return 0;
    tree->Count = count;
    tree->Points = points;
    if (count < 1) return 1;
    try {
        tree->Nodes = new KdNodeStore;
        tree->Results = new int32_t[count];
        tree->Distances = new float[count];
        Builder(points, count, *tree->Nodes).Build(*tree);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

void KdTree_Free(KdTree** tree) {
    if (!tree || !*tree) return;
    delete (*tree)->Nodes;
    delete[] (*tree)->Results;
    delete[] (*tree)->Distances;
    std::free(*tree);
    *tree = nullptr;
}

namespace {

// Depth-first walk over the nodes whose points lie inside the closed box,
// handing each such node to `visit`, upper subtrees before lower ones.
template <typename Visit>
void VisitBox(KdNodeStore& s, const Vec3& low, const Vec3& high, Visit visit) {
    if (s.nodes.empty()) return;
    const KdItem* nodes = s.nodes.data();
    const int32_t* upperSize = s.upperSize.data();
    int32_t* stackPos = s.stackPos.data();
    int32_t* stackSize = s.stackSize.data();
    uint8_t* stackAxis = s.stackAxis.data();
    const float lo[3] = {low.x, low.y, low.z};
    const float hi[3] = {high.x, high.y, high.z};
    const auto inside = [&lo, &hi](const KdItem& n) {
        return lo[0] <= n.c[0] && n.c[0] <= hi[0] && lo[1] <= n.c[1] && n.c[1] <= hi[1] && lo[2] <= n.c[2] &&
               n.c[2] <= hi[2];
    };
    int32_t top = 0;
    stackPos[top] = 0;
    stackSize[top] = s.count;
    stackAxis[top++] = 0;
    while (top > 0) {
        --top;
        const int32_t at = stackPos[top];
        const int32_t size = stackSize[top];
        if (size <= kScanSize) {
            for (const KdItem* n = nodes + at; n != nodes + at + size; ++n)
                if (inside(*n)) visit(*n);
            continue;
        }
        const int axis = stackAxis[top];
        const KdItem& n = nodes[at];
        if (inside(n)) visit(n);
        const uint8_t nextAxis = static_cast<uint8_t>(axis == 2 ? 0 : axis + 1);
        const float split = n.c[axis];
        const int32_t upper = upperSize[at];
        const int32_t lower = size - 1 - upper;
        if (lower > 0 && lo[axis] < split) {
            stackPos[top] = at + 1 + upper;
            stackSize[top] = lower;
            stackAxis[top++] = nextAxis;
        }
        // The upper side holds points equal to the node's coordinate: a box
        // whose high face lies on it must look there too.
        if (upper > 0 && hi[axis] >= split) {
            stackPos[top] = at + 1;
            stackSize[top] = upper;
            stackAxis[top++] = nextAxis;
        }
    }
}

// The squared distance of a node's point, computed exactly as from the
// caller's array (the node holds the same coordinates).
float DistanceSq(const KdItem& a, const Vec3& b) {
    const float dx = a.c[0] - b.x, dy = a.c[1] - b.y, dz = a.c[2] - b.z;
    return dx * dx + dy * dy + dz * dz;
}

// Short runs (the usual case) by insertion, longer ones by std::sort.
void SortByDistance(int32_t* begin, int32_t* end, const float* d) {
    if (end - begin > 32) {
        std::sort(begin, end, [d](int32_t a, int32_t b) { return d[a] < d[b]; });
        return;
    }
    for (int32_t* i = begin + 1; i < end; ++i) {
        const int32_t key = *i;
        const float value = d[key];
        int32_t* j = i;
        for (; j > begin && d[j[-1]] > value; --j) *j = j[-1];
        *j = key;
    }
}

Vec3 Shifted(const Vec3& c, float d) { return Vec3{c.x + d, c.y + d, c.z + d}; }

}  // namespace

int32_t KdTree_BoxQuery(KdTree* tree, const Vec3& low, const Vec3& high) {
    if (!tree || !tree->Nodes) return 0;
    int32_t count = 0;
    int32_t* results = tree->Results;
    VisitBox(*tree->Nodes, low, high, [&](const KdItem& n) { results[count++] = n.point; });
    return count;
}

int32_t KdTree_RadiusQuery(KdTree* tree, const Vec3& centre, float radius) {
    if (!tree || !tree->Nodes) return 0;
    const float limit = radius * radius;
    int32_t* results = tree->Results;
    float* distances = tree->Distances;
    int32_t kept = 0;
    // The cube's points, filtered in the order the walk finds them.
    VisitBox(*tree->Nodes, Shifted(centre, -radius), Shifted(centre, radius), [&](const KdItem& n) {
        const float d = DistanceSq(n, centre);
        if (d < limit) {
            results[kept] = n.point;
            distances[kept++] = d;
        }
    });
    return kept;
}

int32_t KdTree_NearestSorted(KdTree* tree, const Vec3& centre, float radius) {
    if (!tree || !tree->Nodes) return 0;
    int32_t* results = tree->Results;
    float* d = tree->Distances;
    int32_t candidates = 0;
    VisitBox(*tree->Nodes, Shifted(centre, -radius), Shifted(centre, radius), [&](const KdItem& n) {
        d[n.point] = DistanceSq(n, centre);
        results[candidates++] = n.point;
    });
    // Those inside the radius first, then each part by distance: the same
    // order as sorting all candidates, with less work.
    const float limit = radius * radius;
    int32_t* const inside = std::partition(results, results + candidates, [d, limit](int32_t p) { return d[p] < limit; });
    SortByDistance(results, inside, d);
    SortByDistance(inside, results + candidates, d);
    return static_cast<int32_t>(inside - results);
}

namespace {

void Heap(int32_t* values, int32_t size, void (*visit)(const int32_t*, void*), void* context) {
    if (size == 1) {
        visit(values, context);
        return;
    }
    for (int32_t i = 0; i < size - 1; ++i) {
        Heap(values, size - 1, visit, context);
        std::swap(values[size % 2 == 0 ? i : 0], values[size - 1]);
    }
    Heap(values, size - 1, visit, context);
}

}  // namespace

void Permutations_Visit(int32_t* values, int32_t n, void (*visit)(const int32_t* values, void* context),
                        void* context) {
    if (n < 3) return;
    Heap(values, n, visit, context);
}
