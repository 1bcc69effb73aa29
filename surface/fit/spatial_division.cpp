// Recursive halving of a point set, level by level, on per-axis sorted index
// lists: each level costs one pass over the lists, never a re-sort.
#include "surface/fit/spatial_division.h"

#include <cstring>

#include "surface/search/index_sort.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"
#include "surface/frame/tracked_memory.h"

namespace {

enum class CutRule { Plain, LargestGap };

struct Divider {
    int32_t N;
    int32_t d;
    int32_t maxLeaf;
    double* const* points;
    int32_t* const* lists;
    const double* scale;  // null: extents compared as they are
    CutRule rule;
    const volatile int32_t* cancel;
    uint8_t* left;  // per point: 1 when it goes to the left child
    int32_t* temp;  // one list range during the partition

    double Coord(int32_t axis, int32_t position) const { return points[lists[axis][position]][axis]; }
};

// Panel array with room to grow.
struct PanelArray {
    SpatialPanel* items = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;

    bool Reserve(int32_t needed) {
        if (needed <= capacity) return true;
        int32_t grown = capacity + capacity / 2;
        if (grown < needed) grown = needed;
        void* more = Mem_Realloc(items, sizeof(SpatialPanel) * static_cast<std::size_t>(grown));
        if (!more) {
            items = nullptr;  // the old block is gone
            return false;
        }
        items = static_cast<SpatialPanel*>(more);
        capacity = grown;
        return true;
    }
    void FreeBoxes(int32_t from, int32_t to) {
        for (int32_t i = from; i < to; ++i) Mem_Free(items[i].box);
    }
};

// The first panel capacity: N for tiny leaves, else min(P(N), 2N / maxLeaf)
// with P(N) = max(N - b/2 + 1, b/4), b the smallest power of two above N.
// Few points make this 0; the arrays grow when the leaves need more.
int32_t InitialCapacity(int32_t N, int32_t maxLeaf) {
    if (maxLeaf <= 3) return N;
    int64_t b = 2;
    while (b <= N) b *= 2;
    int64_t p = N - b / 2 + 1;
    if (p < b / 4) p = b / 4;
    int64_t q = 2 * static_cast<int64_t>(N) / maxLeaf;
    int64_t cap = p < q ? p : q;
    return cap < 1 ? 1 : static_cast<int32_t>(cap);
}

int32_t SplitAxis(const Divider& v, int32_t s, int32_t e) {
    int32_t axis = 0;
    double widest = -1.0;
    for (int32_t k = 0; k < v.d; ++k) {
        double extent = v.Coord(k, e - 1) - v.Coord(k, s);
        if (v.scale) extent *= v.scale[k];
        if (extent > widest) {
            widest = extent;
            axis = k;
        }
    }
    return axis;
}

// The cut of step 4: a third of the way in for sizes that halving would
// leave with an awkward remainder, else the middle.
int32_t PlainCut(int32_t s, int32_t e, int32_t maxLeaf) {
    const int32_t n = e - s;
    const double L = maxLeaf;
    if ((2 * L < n && n < 3 * L) || (4 * L < n && n < 4.5 * L)) return s + n / 3;
    return (s + e) / 2;
}

// The widest gap among the cuts that leave 2 maxLeaf points on each side,
// when it is wide enough against the panel's extent; else the plain cut.
int32_t GapCut(const Divider& v, int32_t axis, int32_t s, int32_t e) {
    const int32_t n = e - s;
    if (n <= 5 * v.maxLeaf) return PlainCut(s, e, v.maxLeaf);
    int32_t best = -1;
    double widest = -1.0;
    for (int32_t c = s + 2 * v.maxLeaf; c <= e - 2 * v.maxLeaf - 1; ++c) {
        const double gap = v.Coord(axis, c) - v.Coord(axis, c - 1);
        if (gap > widest) {
            widest = gap;
            best = c;
        }
    }
    const double extent = v.Coord(axis, e - 1) - v.Coord(axis, s);
    if (best < 0 || 50.0 * widest < extent) return PlainCut(s, e, v.maxLeaf);
    return best;
}

// Partitions every list but the split axis's stably within [s, e): the
// entries of the left child first, then those of the right child.
void Partition(const Divider& v, int32_t axis, int32_t s, int32_t cut, int32_t e) {
    const int32_t* split = v.lists[axis];
    for (int32_t j = s; j < cut; ++j) v.left[split[j]] = 1;
    for (int32_t j = cut; j < e; ++j) v.left[split[j]] = 0;
    for (int32_t k = 0; k < v.d; ++k) {
        if (k == axis) continue;
        int32_t* list = v.lists[k];
        int32_t l = s, r = 0;
        for (int32_t j = s; j < e; ++j) {
            const int32_t p = list[j];
            if (v.left[p])
                list[l++] = p;
            else
                v.temp[r++] = p;
        }
        std::memcpy(list + l, v.temp, sizeof(int32_t) * static_cast<std::size_t>(r));
    }
}

double* NewBox(const double* from, int32_t d) {
    double* box = Mem_AllocDoubles(2 * d);
    if (box) std::memcpy(box, from, sizeof(double) * 2 * static_cast<std::size_t>(d));
    return box;
}

// Splits one panel into next (two children); false when a box cannot be had.
bool SplitPanel(const Divider& v, const SpatialPanel& panel, PanelArray* next) {
    const int32_t s = panel.start, e = panel.end;
    const int32_t axis = SplitAxis(v, s, e);
    const int32_t cut = v.rule == CutRule::LargestGap ? GapCut(v, axis, s, e) : PlainCut(s, e, v.maxLeaf);
    double* lbox = NewBox(panel.box, v.d);
    double* rbox = lbox ? NewBox(panel.box, v.d) : nullptr;
    if (!rbox) {
        Mem_Free(lbox);
        return false;
    }
    double face = v.Coord(axis, cut);
    if (v.rule == CutRule::LargestGap) face = 0.5 * (v.Coord(axis, cut - 1) + face);
    lbox[v.d + axis] = face;
    rbox[axis] = face;
    Partition(v, axis, s, cut, e);
    next->items[next->count++] = SpatialPanel{lbox, s, cut};
    next->items[next->count++] = SpatialPanel{rbox, cut, e};
    return true;
}

// One level: every panel of more than maxLeaf points splits in two, the
// others pass on. Returns 0, or 2 with every box of both arrays freed.
int SplitLevel(const Divider& v, PanelArray* cur, PanelArray* next, int32_t needed) {
    if (!next->Reserve(needed)) {
        cur->FreeBoxes(0, cur->count);
        return CoreStatus_NoMemory;
    }
    next->count = 0;
    for (int32_t i = 0; i < cur->count; ++i) {
        const SpatialPanel& panel = cur->items[i];
        if (panel.end - panel.start <= v.maxLeaf) {
            next->items[next->count++] = panel;
            continue;
        }
        if (!SplitPanel(v, panel, next)) {
            next->FreeBoxes(0, next->count);
            cur->FreeBoxes(i, cur->count);
            next->count = cur->count = 0;
            return CoreStatus_NoMemory;
        }
        Mem_Free(panel.box);
    }
    return 0;
}

int Divide(Divider& v, SpatialPanel** panels, int32_t* numPanels, double* box, int32_t boxGiven) {
    if (v.N < 1 || v.d < 1) return CoreStatus_InvalidInput;
    if (!v.points || !panels || !numPanels || !v.lists || !box) return CoreStatus_NullArgument;
    *panels = nullptr;
    *numPanels = 0;
    if (v.maxLeaf < 2) v.maxLeaf = 2;
    for (int32_t k = 0; k < v.d; ++k)
        if (Index_HeapSortByColumn(v.points, v.lists[k], v.N, k, v.cancel) != 0) return CoreStatus_UserAbort;
    if (!boxGiven)
        for (int32_t k = 0; k < v.d; ++k) {
            box[k] = v.Coord(k, 0);
            box[v.d + k] = v.Coord(k, v.N - 1);
        }
    PanelArray cur, next;
    v.left = static_cast<uint8_t*>(Mem_Alloc(static_cast<std::size_t>(v.N)));
    v.temp = Mem_AllocInts(v.N);
    double* root = NewBox(box, v.d);
    int status = v.left && v.temp && root && cur.Reserve(InitialCapacity(v.N, v.maxLeaf)) ? 0 : CoreStatus_NoMemory;
    if (status == 0)
        cur.items[cur.count++] = SpatialPanel{root, 0, v.N};
    else
        Mem_Free(root);
    while (status == 0) {
        if (v.cancel && *v.cancel) {
            cur.FreeBoxes(0, cur.count);
            status = CoreStatus_UserAbort;
            break;
        }
        int32_t needed = 0;
        for (int32_t i = 0; i < cur.count; ++i) needed += cur.items[i].end - cur.items[i].start > v.maxLeaf ? 2 : 1;
        if (needed == cur.count) break;
        status = SplitLevel(v, &cur, &next, needed);
        PanelArray swap = cur;
        cur = next;
        next = swap;
    }
    Mem_Free(v.left);
    Mem_Free(v.temp);
    Mem_Free(next.items);
    if (status != 0) {
        Mem_Free(cur.items);
        return status;
    }
    *panels = cur.items;
    *numPanels = cur.count;
    return 0;
}

Divider MakeDivider(int32_t N, double* const* points, int32_t d, int32_t maxLeaf, int32_t* const* lists,
                    const double* scale, CutRule rule, const volatile int32_t* cancel) {
    return Divider{N, d, maxLeaf, points, lists, scale, rule, cancel, nullptr, nullptr};
}

}  // namespace

int SpatialDivision_Build(int32_t N, double* const* points, int32_t d, int32_t maxLeaf, SpatialPanel** panels,
                          int32_t* numPanels, int32_t* const* sortedLists, double* box, int32_t boxGiven,
                          const volatile int32_t* cancel) {
    Divider v = MakeDivider(N, points, d, maxLeaf, sortedLists, nullptr, CutRule::Plain, cancel);
    return Divide(v, panels, numPanels, box, boxGiven);
}

int SpatialDivision_BuildWeighted(int32_t N, double* const* points, int32_t d, int32_t maxLeaf, const double* scale,
                                  SpatialPanel** panels, int32_t* numPanels, int32_t* const* sortedLists, double* box,
                                  int32_t boxGiven, const volatile int32_t* cancel) {
    if (!scale) return CoreStatus_NullArgument;
    Divider v = MakeDivider(N, points, d, maxLeaf, sortedLists, scale, CutRule::Plain, cancel);
    return Divide(v, panels, numPanels, box, boxGiven);
}

int SpatialDivision_BuildLargestGap(int32_t N, double* const* points, int32_t d, int32_t maxLeaf, SpatialPanel** panels,
                                    int32_t* numPanels, int32_t* const* sortedLists, double* box, int32_t boxGiven,
                                    const volatile int32_t* cancel) {
    Divider v = MakeDivider(N, points, d, maxLeaf, sortedLists, nullptr, CutRule::LargestGap, cancel);
    return Divide(v, panels, numPanels, box, boxGiven);
}

int SpatialDivision_BuildFlat(int32_t N, double* const* points, int32_t d, int32_t maxLeaf, SpatialPanel** panels,
                              int32_t* numPanels, int32_t* firstList, double* box, int32_t boxGiven,
                              const volatile int32_t* cancel) {
    if (!firstList) return CoreStatus_NullArgument;
    if (N < 1 || d < 1) return CoreStatus_InvalidInput;
    int32_t** lists = Mem_AllocIntMatrix(d, N);
    if (!lists) return CoreStatus_NoMemory;
    const int status = SpatialDivision_Build(N, points, d, maxLeaf, panels, numPanels, lists, box, boxGiven, cancel);
    if (status == 0) std::memcpy(firstList, lists[0], sizeof(int32_t) * static_cast<std::size_t>(N));
    Mem_FreeIntMatrix(lists);
    return status;
}

void SpatialDivision_Free(SpatialPanel* panels, int32_t numPanels) {
    if (!panels) return;
    for (int32_t i = 0; i < numPanels; ++i) Mem_Free(panels[i].box);
    Mem_Free(panels);
}
