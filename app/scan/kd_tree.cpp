#include "app/scan/kd_tree.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

// Nodes are numbered depth first: a node's lower child, when it has one, is
// the next node. `link` holds the upper child's index shifted left by one
// (0: none; the root is never a child) and in bit 0 whether a lower child
// exists.
struct KdNode {
    float c[3];  // the node's point
    uint32_t link;
};

struct KdNodeStore {
    std::vector<KdNode> nodes;     // the root first
    std::vector<int32_t> pointOf;  // each node's index in the caller's array
    std::vector<int32_t> stackNode;
    std::vector<uint8_t> stackAxis;
    int32_t depth = 0;
    int32_t count = 0;
};

namespace {


// A point with its coordinates beside it, so that partitioning stays in
// cache.
struct Item {
    float c[3];
    int32_t point;
};

// A range still to be built: `n` items at `items`, hanging below `parent`.
struct Pending {
    Item* items;
    int32_t n;
    int32_t level;
    int32_t parent;  // node index, -1 for the root
    bool upper;
};

// Builds the tree depth first, so that a node's lower child follows it in
// the node array. A range splits where the sorted order would split it:
// at its middle position m, or, when the coordinates at m - 1 and m are
// equal, at the nearest position where the coordinate changes (looking
// below first at each distance), so that the lower side holds only points
// strictly below the node. Partitioning finds these positions without
// sorting the range.
class Builder {
public:
    Builder(const Vec3* points, int32_t n, KdNodeStore& store) : n_(n), s_(store) {
        items_.resize(n);
        for (int32_t i = 0; i < n; ++i) items_[i] = Item{{points[i].x, points[i].y, points[i].z}, i};
    }

    void Build(KdTree& tree) {
        float lo[3], hi[3];
        for (int axis = 0; axis < 3; ++axis) lo[axis] = hi[axis] = items_[0].c[axis];
        for (const Item& it : items_)
            for (int axis = 0; axis < 3; ++axis) {
                lo[axis] = std::min(lo[axis], it.c[axis]);
                hi[axis] = std::max(hi[axis], it.c[axis]);
            }
        tree.BoxMin = Vec3{lo[0], lo[1], lo[2]};
        tree.BoxMax = Vec3{hi[0], hi[1], hi[2]};

        s_.nodes.reserve(n_);
        s_.pointOf.reserve(n_);
        std::vector<Pending> work{Pending{items_.data(), n_, 0, -1, false}};
        while (!work.empty()) {
            const Pending r = work.back();
            work.pop_back();
            Split(r, work);
        }
        s_.count = n_;
        s_.stackNode.resize(s_.depth + 2);
        s_.stackAxis.resize(s_.depth + 2);
    }

private:
    int32_t NewNode(const Item& it, int32_t level, int32_t parent, bool upper) {
        const int32_t index = static_cast<int32_t>(s_.nodes.size());
        s_.nodes.push_back(KdNode{{it.c[0], it.c[1], it.c[2]}, 0});
        s_.pointOf.push_back(it.point);
        if (parent >= 0) {
            // Built depth first: a lower child is always the node after its parent.
            if (upper)
                s_.nodes[parent].link |= static_cast<uint32_t>(index) << 1;
            else
                s_.nodes[parent].link |= 1u;
        }
        s_.depth = std::max(s_.depth, level + 1);
        return index;
    }

    void Split(const Pending& r, std::vector<Pending>& work) {
        const int axis = r.level % 3;
        Item* a = r.items;
        const int32_t n = r.n;
        if (n <= 2) {
            // The lowest point becomes the node, a second one its upper child.
            if (n == 2 && a[1].c[axis] < a[0].c[axis]) std::swap(a[0], a[1]);
            const int32_t node = NewNode(a[0], r.level, r.parent, r.upper);
            if (n == 2) NewNode(a[1], r.level + 1, node, true);
            return;
        }
        const auto less = [axis](const Item& x, const Item& y) { return x.c[axis] < y.c[axis]; };
        const int32_t m = n / 2;
        std::nth_element(a, a + m, a + n, less);
        const float v = a[m].c[axis];
        Item* const equalBegin = std::partition(a, a + n, [&](const Item& it) { return it.c[axis] < v; });
        Item* const greaterBegin = std::partition(equalBegin, a + n, [&](const Item& it) { return it.c[axis] == v; });
        const int32_t below = static_cast<int32_t>(equalBegin - a);
        const int32_t equal = static_cast<int32_t>(greaterBegin - equalBegin);

        int32_t split = m;
        if (below < m) {
            const int32_t downward = m - below;          // distance to the last point below v
            const int32_t upward = below + equal - m;     // distance to the first point above v
            if (below > 0 && downward <= upward)
                split = below;
            else if (upward < m)
                split = below + equal;
            else
                split = 0;
        }
        if (split == below + equal && split > m) {
            // The node is the lowest of the points above v.
            std::swap(*greaterBegin, *std::min_element(greaterBegin, a + n, less));
        }
        const int32_t node = NewNode(a[split], r.level, r.parent, r.upper);
        // The upper side is pushed first, so the lower side is built next.
        if (n - split - 1 >= 1) work.push_back(Pending{a + split + 1, n - split - 1, r.level + 1, node, true});
        if (split > 0) work.push_back(Pending{a, split, r.level + 1, node, false});
    }

    int32_t n_;
    KdNodeStore& s_;
    std::vector<Item> items_;
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
// handing each such point's index to `visit`.
template <typename Visit>
void VisitBox(KdNodeStore& s, const Vec3& low, const Vec3& high, Visit visit) {
    if (s.nodes.empty()) return;
    const KdNode* nodes = s.nodes.data();
    const int32_t* pointOf = s.pointOf.data();
    int32_t* stackNode = s.stackNode.data();
    uint8_t* stackAxis = s.stackAxis.data();
    const float lo[3] = {low.x, low.y, low.z};
    const float hi[3] = {high.x, high.y, high.z};
    int32_t top = 0;
    stackNode[top] = 0;
    stackAxis[top++] = 0;
    while (top > 0) {
        --top;
        const int32_t index = stackNode[top];
        const int axis = stackAxis[top];
        const KdNode& n = nodes[index];
        if (lo[0] <= n.c[0] && n.c[0] <= hi[0] && lo[1] <= n.c[1] && n.c[1] <= hi[1] && lo[2] <= n.c[2] &&
            n.c[2] <= hi[2])
            visit(pointOf[index]);
        const uint8_t nextAxis = static_cast<uint8_t>(axis == 2 ? 0 : axis + 1);
        const float split = n.c[axis];
        if ((n.link & 1u) && lo[axis] < split) {
            stackNode[top] = index + 1;
            stackAxis[top++] = nextAxis;
        }
        // The upper side holds points equal to the node's coordinate: a box
        // whose high face lies on it must look there too.
        const int32_t upper = static_cast<int32_t>(n.link >> 1);
        if (upper && hi[axis] >= split) {
            stackNode[top] = upper;
            stackAxis[top++] = nextAxis;
        }
    }
}

float DistanceSq(const Vec3& a, const Vec3& b) {
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
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
    VisitBox(*tree->Nodes, low, high, [&](int32_t point) { results[count++] = point; });
    return count;
}

int32_t KdTree_RadiusQuery(KdTree* tree, const Vec3& centre, float radius) {
    if (!tree || !tree->Nodes) return 0;
    const float limit = radius * radius;
    const Vec3* points = tree->Points;
    int32_t* results = tree->Results;
    float* distances = tree->Distances;
    int32_t kept = 0;
    // The cube's points, filtered in the order the walk finds them.
    VisitBox(*tree->Nodes, Shifted(centre, -radius), Shifted(centre, radius), [&](int32_t point) {
        const float d = DistanceSq(points[point], centre);
        if (d < limit) {
            results[kept] = point;
            distances[kept++] = d;
        }
    });
    return kept;
}

int32_t KdTree_NearestSorted(KdTree* tree, const Vec3& centre, float radius) {
    if (!tree || !tree->Nodes) return 0;
    const Vec3* points = tree->Points;
    int32_t* results = tree->Results;
    float* d = tree->Distances;
    int32_t candidates = 0;
    VisitBox(*tree->Nodes, Shifted(centre, -radius), Shifted(centre, radius), [&](int32_t point) {
        d[point] = DistanceSq(points[point], centre);
        results[candidates++] = point;
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
