#include "surface/eval/octree.h"

#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

constexpr uint32_t kLevelMask = 0xFFFFFFu;

int32_t Level(const OctreePanel* p) { return static_cast<int32_t>(p->LevelLeaf & kLevelMask); }
bool IsLeaf(const OctreePanel* p, int n) { return (p->LevelLeaf >> (24 + n)) & 1u; }
void SetLeaf(OctreePanel* p, int n, bool on) {
    if (on)
        p->LevelLeaf |= 1u << (24 + n);
    else
        p->LevelLeaf &= ~(1u << (24 + n));
}
int ChildIndex(int32_t a, int32_t b, int32_t c, int32_t level) {
    const int s = level - 1;
    return ((a >> s) & 1) | (((b >> s) & 1) << 1) | (((c >> s) & 1) << 2);
}
int ChildCount(const OctreePanel* p) {
    int n = 0;
    for (void* c : p->Child) n += c != nullptr;
    return n;
}

// Grows a pointer list by `increment` entries; false when memory runs out.
template <class T>
bool Grow(T*** list, int32_t* capacity, int32_t increment) {
    T** grown = static_cast<T**>(std::realloc(*list, sizeof(T*) * static_cast<size_t>(*capacity + increment)));
    if (grown == nullptr) return false;
    *list = grown;
    *capacity += increment;
    return true;
}

OctreePanel* PanelAt(const Octree* t, int32_t number) {
    return &t->PanelArrays[number >> t->PanelArraySize][number & t->PanelArrayMask];
}
unsigned char* UnitAt(const Octree* t, int32_t number) {
    return t->DataArrays[number >> t->DataArraySize] + static_cast<size_t>(number & t->DataArrayMask) * t->DataUnitSize;
}

OctreePanel* NewPanel(Octree* t, OctreePanel* parent, int32_t level) {
    OctreePanel* p;
    if (t->NumDelPanels > 0) {
        p = t->DelPanels[--t->NumDelPanels];
    } else {
        const int32_t n = t->NumPanels;
        if ((n >> t->PanelArraySize) >= t->NumPanelArrays) {
            if (t->NumPanelArrays == t->PanelArrayCapacity &&
                !Grow(&t->PanelArrays, &t->PanelArrayCapacity, 1 << t->PanelMemIncrement))
                return nullptr;
            auto* block = static_cast<OctreePanel*>(
                std::calloc(static_cast<size_t>(1) << t->PanelArraySize, sizeof(OctreePanel)));
            if (block == nullptr) return nullptr;
            t->PanelArrays[t->NumPanelArrays++] = block;
        }
        p = PanelAt(t, n);
        p->Number = n;
        ++t->NumPanels;
    }
    const int32_t number = p->Number;
    std::memset(p, 0, sizeof *p);
    p->Number = number;
    p->Parent = parent;
    p->LevelLeaf = static_cast<uint32_t>(level) & kLevelMask;
    return p;
}

bool PushPanel(Octree* t, OctreePanel* p) {
    if (t->NumDelPanels == t->DelPanelArraySize && !Grow(&t->DelPanels, &t->DelPanelArraySize, t->DelPanelMemIncrement))
        return false;
    t->DelPanels[t->NumDelPanels++] = p;
    if (t->NumDelPanels > t->MaxNumDelPanels) t->MaxNumDelPanels = t->NumDelPanels;
    return true;
}

unsigned char* NewUnit(Octree* t) {
    if (t->NumDelVoxels > 0) return t->DelVoxels[--t->NumDelVoxels];
    if (t->NumVoxels >= (1 << 30)) return nullptr;
    const int32_t n = t->NumVoxels;
    if ((n >> t->DataArraySize) >= t->NumDataArrays) {
        if (t->NumDataArrays == t->DataArrayCapacity &&
            !Grow(&t->DataArrays, &t->DataArrayCapacity, 1 << t->DataMemIncrement))
            return nullptr;
        auto* block = static_cast<unsigned char*>(
            std::calloc(static_cast<size_t>(1) << t->DataArraySize, static_cast<size_t>(t->DataUnitSize)));
        if (block == nullptr) return nullptr;
        t->DataArrays[t->NumDataArrays++] = block;
    }
    ++t->NumVoxels;
    return UnitAt(t, n);
}

// Raises the root until (a, b, c) (offsets added) lies inside; false at the
// growth limit or without memory.
bool GrowToFit(Octree* t, int32_t i, int32_t j, int32_t k) {
    for (;;) {
        const int64_t side = int64_t{1} << t->MaxLevel;
        const int64_t v[3] = {int64_t{i} + t->Ioffset, int64_t{j} + t->Joffset, int64_t{k} + t->Koffset};
        bool inside = true;
        for (int64_t x : v) inside = inside && x >= 0 && x < side;
        if (inside) return true;
        if (t->MaxLevel + 1 > kOctreeGrowthLimit) return false;
        OctreePanel* root = NewPanel(t, nullptr, t->MaxLevel + 1);
        if (root == nullptr) return false;
        int child = 0;
        int32_t* offsets[3] = {&t->Ioffset, &t->Joffset, &t->Koffset};
        for (int a = 0; a < 3; ++a)
            if (v[a] < 0) {
                child |= 1 << a;
                *offsets[a] += static_cast<int32_t>(side);
            }
        root->Child[child] = t->Root;
        t->Root->Parent = root;
        t->Root = root;
        ++t->MaxLevel;
    }
}

bool Inside(const Octree* t, int32_t a, int32_t b, int32_t c) {
    const int32_t side = 1 << t->MaxLevel;
    return a >= 0 && b >= 0 && c >= 0 && a < side && b < side && c < side;
}

// Lowers the root while it has a single child that is a panel.
void LowerRoot(Octree* t) {
    while (t->MaxLevel > 1) {
        OctreePanel* root = t->Root;
        if (ChildCount(root) != 1) return;
        int n = 0;
        while (root->Child[n] == nullptr) ++n;
        if (IsLeaf(root, n)) return;
        const int32_t half = 1 << (t->MaxLevel - 1);
        if (n & 1) t->Ioffset -= half;
        if (n & 2) t->Joffset -= half;
        if (n & 4) t->Koffset -= half;
        t->Root = static_cast<OctreePanel*>(root->Child[n]);
        t->Root->Parent = nullptr;
        --t->MaxLevel;
        root->Child[n] = nullptr;
        PushPanel(t, root);
    }
}

void FreePools(Octree* t) {
    for (int32_t b = 0; b < t->NumPanelArrays; ++b) std::free(t->PanelArrays[b]);
    for (int32_t b = 0; b < t->NumDataArrays; ++b) std::free(t->DataArrays[b]);
    std::free(t->PanelArrays);
    std::free(t->DataArrays);
    std::free(t->DelPanels);
    std::free(t->DelVoxels);
}

}  // namespace

Octree* Octree_Create(int32_t maxLevel, int32_t panelIncrement, int32_t dataIncrement, int32_t panelBlock,
                      int32_t dataBlock, int32_t dataUnitSize, int32_t freeListSize) {
    if (maxLevel <= 0 || maxLevel > kOctreeMaxLevel || dataUnitSize <= 0) return nullptr;
    if (panelBlock < 0 || panelBlock > 27) panelBlock = 25;
    if (dataBlock < 0 || dataBlock > 28) dataBlock = 25;
    if (panelIncrement < 0 || panelIncrement > 27 - panelBlock) panelIncrement = 25 - panelBlock;
    if (dataIncrement < 0 || dataIncrement > 28 - dataBlock) dataIncrement = 25 - dataBlock;
    if (panelIncrement < 0) panelIncrement = 0;
    if (dataIncrement < 0) dataIncrement = 0;
    if (freeListSize < 1) freeListSize = 1;
    auto* t = static_cast<Octree*>(std::calloc(1, sizeof(Octree)));
    if (t == nullptr) return nullptr;
    t->MaxLevel = maxLevel;
    for (int a = 0; a < 3; ++a) t->Min[a] = (1 << maxLevel) - 1;
    t->PanelArraySize = panelBlock;
    t->PanelArrayMask = (1 << panelBlock) - 1;
    t->PanelMemIncrement = panelIncrement;
    t->DataArraySize = dataBlock;
    t->DataArrayMask = (1 << dataBlock) - 1;
    t->DataMemIncrement = dataIncrement;
    t->DataUnitSize = dataUnitSize;
    t->DelPanelMemIncrement = freeListSize;
    t->DelDataArrayIncrement = freeListSize;
    t->DelPanels = static_cast<OctreePanel**>(std::malloc(sizeof(OctreePanel*) * freeListSize));
    t->DelVoxels = static_cast<unsigned char**>(std::malloc(sizeof(unsigned char*) * freeListSize));
    if (t->DelPanels != nullptr) t->DelPanelArraySize = freeListSize;
    if (t->DelVoxels != nullptr) t->DelDataArraySize = freeListSize;
    t->Root = t->DelPanels && t->DelVoxels ? NewPanel(t, nullptr, maxLevel) : nullptr;
    if (t->Root == nullptr) {
        Octree_Free(t);
        return nullptr;
    }
    return t;
}

void Octree_Free(Octree* tree) {
    if (tree == nullptr) return;
    FreePools(tree);
    std::free(tree);
}

void* Octree_FindVoxel(int32_t i, int32_t j, int32_t k, Octree* tree) {
    if (tree == nullptr) return nullptr;
    const int32_t a = i + tree->Ioffset, b = j + tree->Joffset, c = k + tree->Koffset;
    if (!Inside(tree, a, b, c)) return nullptr;
    const OctreePanel* p = tree->Root;
    for (;;) {
        const int32_t level = Level(p);
        if (level < 1) return nullptr;
        const int n = ChildIndex(a, b, c, level);
        if (p->Child[n] == nullptr) return nullptr;
        if (IsLeaf(p, n)) {
            const int32_t below = (1 << (level - 1)) - 1;
            if ((a & below) || (b & below) || (c & below)) return nullptr;
            ++tree->NumWriteReads;
            return p->Child[n];
        }
        p = static_cast<const OctreePanel*>(p->Child[n]);
    }
}

OctreePanel* Octree_create_child_panel(Octree* tree, OctreePanel* panel, int32_t child) {
    if (Level(panel) - 1 < 1) {
        std::printf("Octree_create_child_panel: Asked to create a child panel at level < 0\n\n");
        return nullptr;
    }
    OctreePanel* p = NewPanel(tree, panel, Level(panel) - 1);
    if (p == nullptr) return nullptr;
    panel->Child[child] = p;
    SetLeaf(panel, child, false);
    return p;
}

int Octree_AddVoxelStatus(int32_t i, int32_t j, int32_t k, Octree* tree, void** unit) {
    if (unit != nullptr) *unit = nullptr;
    if (tree == nullptr) return 0;
    if (!tree->NonExpanding && !GrowToFit(tree, i, j, k)) return 0;
    const int32_t a = i + tree->Ioffset, b = j + tree->Joffset, c = k + tree->Koffset;
    if (!Inside(tree, a, b, c)) return 0;
    OctreePanel* p = tree->Root;
    int n = ChildIndex(a, b, c, Level(p));
    while (p->Child[n] != nullptr && !IsLeaf(p, n)) {
        p = static_cast<OctreePanel*>(p->Child[n]);
        n = ChildIndex(a, b, c, Level(p));
    }
    if (p->Child[n] != nullptr) {
        ++tree->Overwrite;
        if (unit != nullptr) *unit = p->Child[n];
        return 2;
    }
    unsigned char* data = NewUnit(tree);
    if (data == nullptr) return 0;
    std::memset(data, 0, static_cast<size_t>(tree->DataUnitSize));
    // Create the missing panels down to level 1; on failure undo them.
    OctreePanel* top = p;
    const int topChild = n;
    while (Level(p) > 1) {
        OctreePanel* child = Octree_create_child_panel(tree, p, n);
        if (child == nullptr) {
            while (p != top) {
                OctreePanel* parent = p->Parent;
                for (int m = 0; m < 8; ++m)
                    if (parent->Child[m] == p) parent->Child[m] = nullptr;
                PushPanel(tree, p);
                p = parent;
            }
            top->Child[topChild] = nullptr;
            tree->DelVoxels[tree->NumDelVoxels++] = data;  // room: it came from there or the pool
            return 0;
        }
        p = child;
        n = ChildIndex(a, b, c, Level(p));
    }
    p->Child[n] = data;
    SetLeaf(p, n, true);
    const int32_t v[3] = {i, j, k};
    for (int x = 0; x < 3; ++x) {
        if (v[x] < tree->Min[x]) tree->Min[x] = v[x];
        if (v[x] > tree->Max[x]) tree->Max[x] = v[x];
    }
    if (unit != nullptr) *unit = data;
    return 1;
}

void* Octree_AddVoxel(int32_t i, int32_t j, int32_t k, Octree* tree) {
    void* unit = nullptr;
    Octree_AddVoxelStatus(i, j, k, tree, &unit);
    return unit;
}

void* Octree_DeleteVoxel(int32_t i, int32_t j, int32_t k, Octree* tree) {
    if (tree == nullptr) return nullptr;
    const int32_t a = i + tree->Ioffset, b = j + tree->Joffset, c = k + tree->Koffset;
    if (!Inside(tree, a, b, c)) return nullptr;
    OctreePanel* p = tree->Root;
    int n = ChildIndex(a, b, c, Level(p));
    while (p->Child[n] != nullptr && !IsLeaf(p, n)) {
        p = static_cast<OctreePanel*>(p->Child[n]);
        n = ChildIndex(a, b, c, Level(p));
    }
    if (p->Child[n] == nullptr) return nullptr;
    if (tree->NumDelVoxels == tree->DelDataArraySize &&
        !Grow(&tree->DelVoxels, &tree->DelDataArraySize, tree->DelDataArrayIncrement))
        return nullptr;
    auto* unit = static_cast<unsigned char*>(p->Child[n]);
    p->Child[n] = nullptr;
    SetLeaf(p, n, false);
    std::memset(unit, 0, static_cast<size_t>(tree->DataUnitSize));
    tree->DelVoxels[tree->NumDelVoxels++] = unit;
    if (tree->NumDelVoxels > tree->MaxNumDelVoxels) tree->MaxNumDelVoxels = tree->NumDelVoxels;
    while (p != tree->Root && ChildCount(p) == 0) {
        OctreePanel* parent = p->Parent;
        int m = 0;
        while (m < 8 && parent->Child[m] != p) ++m;
        if (m == 8) {
            std::fprintf(stderr, "_Octree_delete_panel: Child not found/n/n");
            break;
        }
        parent->Child[m] = nullptr;
        PushPanel(tree, p);
        p = parent;
    }
    if (!tree->NonExpanding) LowerRoot(tree);
    return unit;
}

int Octree_CopyOut(int32_t i, int32_t j, int32_t k, Octree* tree, void* out) {
    if (tree == nullptr || out == nullptr) return 0;
    const void* unit = Octree_FindVoxel(i, j, k, tree);
    if (unit == nullptr)
        std::memset(out, 0, static_cast<size_t>(tree->DataUnitSize));
    else
        std::memcpy(out, unit, static_cast<size_t>(tree->DataUnitSize));
    return 1;
}

int Octree_CopyIn(int32_t i, int32_t j, int32_t k, Octree* tree, const void* in) {
    if (tree == nullptr || in == nullptr) return 0;
    void* unit = Octree_AddVoxel(i, j, k, tree);
    if (unit == nullptr) return 0;
    std::memcpy(unit, in, static_cast<size_t>(tree->DataUnitSize));
    return 1;
}

int Octree_CopyOutUnit(int32_t number, const Octree* tree, void* out) {
    if (tree == nullptr || out == nullptr || number < 0 || number >= tree->NumVoxels) return 0;
    std::memcpy(out, UnitAt(tree, number), static_cast<size_t>(tree->DataUnitSize));
    return 1;
}

int Octree_CopyInUnit(int32_t number, Octree* tree, const void* in) {
    if (tree == nullptr || in == nullptr || number < 0 || number >= tree->NumVoxels) return 0;
    std::memcpy(UnitAt(tree, number), in, static_cast<size_t>(tree->DataUnitSize));
    return 1;
}

void Octree_Neighbourhood(int32_t i, int32_t j, int32_t k, Octree* tree, void** units) {
    int n = 0;
    for (int dk = -1; dk <= 1; ++dk)
        for (int dj = -1; dj <= 1; ++dj)
            for (int di = -1; di <= 1; ++di) units[n++] = Octree_FindVoxel(i + di, j + dj, k + dk, tree);
}

void Octree_SetNonExpanding(Octree* tree) {
    if (tree != nullptr) tree->NonExpanding = 1;
}

void Octree_SetPanelsCarryData(Octree* tree, int32_t on) {
    if (tree != nullptr) tree->PanelsCarryData = on ? 1 : 0;
}

void Octree_Copy(Octree* destination, const Octree* source) {
    if (destination != nullptr && source != nullptr) *destination = *source;
}

// ---- Binary file ----

namespace {

struct Writer {
    std::FILE* f;
    bool ok = true;
    void Int(int32_t v) {
        unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                              static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
        ok = ok && std::fwrite(b, 1, 4, f) == 4;
    }
};

struct Reader {
    std::FILE* f;
    bool ok = true;
    int32_t Int() {
        unsigned char b[4] = {0, 0, 0, 0};
        ok = ok && std::fread(b, 1, 4, f) == 4;
        return static_cast<int32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24));
    }
};

// The header fields that the file carries, in their order.
std::vector<int32_t*> HeaderFields(Octree* t) {
    return {&t->MaxLevel,
            &t->Ioffset,
            &t->Joffset,
            &t->Koffset,
            &t->Min[0],
            &t->Min[1],
            &t->Min[2],
            &t->Max[0],
            &t->Max[1],
            &t->Max[2],
            &t->NonExpanding,
            &t->PanelsCarryData,
            &t->PanelArraySize,
            &t->PanelMemIncrement,
            &t->NumPanels,
            &t->NumDelPanels,
            &t->DelPanelMemIncrement,
            &t->MaxNumDelPanels,
            &t->DataArraySize,
            &t->DataUnitSize,
            &t->DataMemIncrement,
            &t->NumVoxels,
            &t->NumDelVoxels,
            &t->DelDataArrayIncrement,
            &t->MaxNumDelVoxels,
            &t->NumWriteReads,
            &t->Overwrite};
}

// The shape a loaded tree must have before find and add may walk it: from
// the root down, every panel one level below its parent and naming it as its
// parent, so that each walk ends after at most MaxLevel steps and reaches a
// panel by one path only; and no reachable panel on the free list.
bool ShapeHolds(const Octree* t) {
    if (t->Root->Parent != nullptr) return false;
    std::vector<bool> reached(static_cast<size_t>(t->NumPanels), false);
    std::vector<const OctreePanel*> stack{t->Root};
    while (!stack.empty()) {
        const OctreePanel* p = stack.back();
        stack.pop_back();
        if (Level(p) < 1) return false;
        reached[static_cast<size_t>(p->Number)] = true;
        for (int c = 0; c < 8; ++c) {
            const auto* child = static_cast<const OctreePanel*>(p->Child[c]);
            if (child == nullptr || IsLeaf(p, c)) continue;
            if (Level(child) != Level(p) - 1 || child->Parent != p) return false;
            stack.push_back(child);
        }
    }
    for (int32_t d = 0; d < t->NumDelPanels; ++d)
        if (reached[static_cast<size_t>(t->DelPanels[d]->Number)]) return false;
    return true;
}

}  // namespace

int Octree_Save(std::FILE* file, const Octree* tree) {
    if (file == nullptr || tree == nullptr) return 0;
    Octree copy = *tree;
    Writer w{file};
    w.Int(kOctreeMagic);
    for (int32_t* field : HeaderFields(&copy)) w.Int(*field);
    w.Int(tree->Root->Number);
    std::unordered_map<const void*, int32_t> units;
    units.reserve(static_cast<size_t>(tree->NumVoxels));
    for (int32_t u = 0; u < tree->NumVoxels; ++u) units[UnitAt(tree, u)] = u;
    for (int32_t n = 0; n < tree->NumPanels; ++n) {
        const OctreePanel* p = PanelAt(tree, n);
        w.Int(p->Parent ? p->Parent->Number : -1);
        w.Int(static_cast<int32_t>(p->LevelLeaf));
        for (int c = 0; c < 8; ++c) {
            const void* child = p->Child[c];
            w.Int(child == nullptr ? -1 : IsLeaf(p, c) ? units[child] : static_cast<const OctreePanel*>(child)->Number);
        }
        if (tree->PanelsCarryData) w.Int(p->Data ? units[p->Data] : -1);
    }
    for (int32_t u = 0; u < tree->NumVoxels && w.ok; ++u)
        w.ok = std::fwrite(UnitAt(tree, u), 1, static_cast<size_t>(tree->DataUnitSize), file) ==
               static_cast<size_t>(tree->DataUnitSize);
    for (int32_t d = 0; d < tree->NumDelPanels; ++d) w.Int(tree->DelPanels[d]->Number);
    for (int32_t d = 0; d < tree->NumDelVoxels; ++d) w.Int(units[tree->DelVoxels[d]]);
    return w.ok ? 1 : 0;
}

Octree* Octree_Load(std::FILE* file) {
    if (file == nullptr) return nullptr;
    Reader r{file};
    if (r.Int() != kOctreeMagic || !r.ok) return nullptr;
    Octree h;
    std::memset(&h, 0, sizeof h);
    for (int32_t* field : HeaderFields(&h)) *field = r.Int();
    const int32_t rootNumber = r.Int();
    if (!r.ok || h.MaxLevel < 1 || h.MaxLevel > kOctreeMaxLevel || h.PanelArraySize < 0 || h.PanelArraySize > 27 ||
        h.DataArraySize < 0 || h.DataArraySize > 28 || h.PanelMemIncrement < 0 || h.PanelMemIncrement > 27 ||
        h.DataMemIncrement < 0 || h.DataMemIncrement > 28 || h.DataUnitSize < 1 || h.NumPanels < 1 || h.NumVoxels < 0 ||
        h.NumVoxels > (1 << 30) || h.NumDelPanels < 0 || h.NumDelPanels > h.NumPanels || h.NumDelVoxels < 0 ||
        h.NumDelVoxels > h.NumVoxels || h.DelPanelMemIncrement < 1 || h.DelDataArrayIncrement < 1 || rootNumber < 0 ||
        rootNumber >= h.NumPanels)
        return nullptr;
    Octree* t = Octree_Create(h.MaxLevel, h.PanelMemIncrement, h.DataMemIncrement, h.PanelArraySize, h.DataArraySize,
                              h.DataUnitSize, h.DelPanelMemIncrement);
    if (t == nullptr) return nullptr;
    // Panels: the pool rebuilt to the file's count, then links resolved.
    bool ok = true;
    t->NumPanels = 0;
    for (int32_t n = 0; n < h.NumPanels && ok; ++n) ok = NewPanel(t, nullptr, 1) != nullptr;
    for (int32_t u = 0; u < h.NumVoxels && ok; ++u) ok = NewUnit(t) != nullptr;
    const bool carry = h.PanelsCarryData != 0;
    for (int32_t n = 0; n < h.NumPanels && ok; ++n) {
        OctreePanel* p = PanelAt(t, n);
        const int32_t parent = r.Int();
        p->LevelLeaf = static_cast<uint32_t>(r.Int());
        ok = r.ok && parent >= -1 && parent < h.NumPanels && Level(p) <= kOctreeMaxLevel;
        p->Parent = parent >= 0 ? PanelAt(t, parent) : nullptr;
        for (int c = 0; c < 8 && ok; ++c) {
            const int32_t child = r.Int();
            const int32_t limit = IsLeaf(p, c) ? h.NumVoxels : h.NumPanels;
            ok = r.ok && child >= -1 && child < limit;
            p->Child[c] = !ok || child < 0 ? nullptr
                          : IsLeaf(p, c)   ? static_cast<void*>(UnitAt(t, child))
                                           : static_cast<void*>(PanelAt(t, child));
            if (ok && child < 0 && IsLeaf(p, c)) ok = false;
        }
        if (carry && ok) {
            const int32_t data = r.Int();
            ok = r.ok && data >= -1 && data < h.NumVoxels;
            p->Data = ok && data >= 0 ? UnitAt(t, data) : nullptr;
        }
    }
    for (int32_t u = 0; u < h.NumVoxels && ok; ++u)
        ok = std::fread(UnitAt(t, u), 1, static_cast<size_t>(h.DataUnitSize), file) ==
             static_cast<size_t>(h.DataUnitSize);
    for (int32_t d = 0; d < h.NumDelPanels && ok; ++d) {
        const int32_t n = r.Int();
        ok = r.ok && n >= 0 && n < h.NumPanels && PushPanel(t, PanelAt(t, n));
    }
    for (int32_t d = 0; d < h.NumDelVoxels && ok; ++d) {
        const int32_t n = r.Int();
        ok = r.ok && n >= 0 && n < h.NumVoxels &&
             (t->NumDelVoxels < t->DelDataArraySize ||
              Grow(&t->DelVoxels, &t->DelDataArraySize, t->DelDataArrayIncrement));
        if (ok) t->DelVoxels[t->NumDelVoxels++] = UnitAt(t, n);
    }
    if (!ok) {
        Octree_Free(t);
        return nullptr;
    }
    t->Root = PanelAt(t, rootNumber);
    t->MaxLevel = h.MaxLevel;
    t->Ioffset = h.Ioffset;
    t->Joffset = h.Joffset;
    t->Koffset = h.Koffset;
    std::memcpy(t->Min, h.Min, sizeof h.Min);
    std::memcpy(t->Max, h.Max, sizeof h.Max);
    t->NonExpanding = h.NonExpanding;
    t->PanelsCarryData = h.PanelsCarryData;
    t->MaxNumDelPanels = h.MaxNumDelPanels;
    t->MaxNumDelVoxels = h.MaxNumDelVoxels;
    t->NumWriteReads = h.NumWriteReads;
    t->Overwrite = h.Overwrite;
    if (Level(t->Root) != t->MaxLevel || !ShapeHolds(t)) {
        Octree_Free(t);
        return nullptr;
    }
    return t;
}

// ---- Text dump ----

namespace {

void WaitForLine() {
    int c;
    while ((c = std::getchar()) != EOF && c != '\n') {}
}

void DumpPanels(void* user, OctreePrinter print, const OctreePanel* p) {
    print(user, "Level %i - ", Level(p));
    print(user, "P %p : parent %p : level %i : Leaf byte %i C:", static_cast<const void*>(p),
          static_cast<const void*>(p->Parent), Level(p), static_cast<int>(p->LevelLeaf >> 24));
    for (void* c : p->Child) print(user, " %p", c);
    print(user, "\n");
    for (int n = 0; n < 8; ++n)
        if (p->Child[n] != nullptr && !IsLeaf(p, n))
            DumpPanels(user, print, static_cast<const OctreePanel*>(p->Child[n]));
}

}  // namespace

void Octree_write_octree(void* user, OctreePrinter printer, Octree* t, OctreeUnitPrinter unitPrinter, int32_t mode,
                         const void* nullValue, const int32_t* ranges) {
    if (printer == nullptr || t == nullptr) return;
    if (nullValue == nullptr) {
        printer(user, "Octree_write_octree: No Null value\n");
        return;
    }
    printer(user, "Tree info\n\n");
    printer(user, "NumVoxels  %i\n", t->NumVoxels);
    printer(user, "NumPanels  %i\n", t->NumPanels);
    printer(user, "MaxLevel  %i\n", t->MaxLevel);
    printer(user, "Ioffset  %i\n", t->Ioffset);
    printer(user, "Joffset  %i\n", t->Joffset);
    printer(user, "Koffset  %i\n\n", t->Koffset);
    printer(user, "Min  %i %i %i\n", t->Min[0], t->Min[1], t->Min[2]);
    printer(user, "Max  %i %i %i\n", t->Max[0], t->Max[1], t->Max[2]);
    printer(user, "Root Panel  %p\n", static_cast<void*>(t->Root));
    printer(user, t->NonExpanding ? "Non expanding Octree\n" : "Self expanding Octree\n");
    printer(user, "DataArraySize  2^%i\n", t->DataArraySize);
    printer(user, "DataMemIncrement  2^%i\n", t->DataMemIncrement);
    printer(user, "NumDataArrays  %i\n", t->NumDataArrays);
    printer(user, "DataUnitSize  %i\n", t->DataUnitSize);
    printer(user, "DataArrayMask  %i\n", t->DataArrayMask);
    printer(user, "PanelArraySize  2^%i\n", t->PanelArraySize);
    printer(user, "PanelMemIncrement  2^%i\n\n", t->PanelMemIncrement);
    printer(user, "NumPanelArrays  %i\n", t->NumPanelArrays);
    printer(user, "PanelArrayMask  %i\n", t->PanelArrayMask);
    printer(user, "NumWriteReads  %i\n", t->NumWriteReads);
    printer(user, "Overwrite  %i\n\n", t->Overwrite);
    printer(user, "NumDelVoxels  %i\n", t->NumDelVoxels);
    printer(user, "DelDataArraySize  %i\n", t->DelDataArraySize);
    printer(user, "DelDataArrayIncrement  %i\n", t->DelDataArrayIncrement);
    printer(user, "MaxNumDelVoxels  %i\n\n", t->MaxNumDelVoxels);
    printer(user, "NumDelPanels  %i\n", t->NumDelPanels);
    printer(user, "DelPanelArraySize  %i\n", t->DelPanelArraySize);
    printer(user, "DelPanelMemIncrement  %i\n", t->DelPanelMemIncrement);
    printer(user, "MaxNumDelPanels  %i\n\n", t->MaxNumDelPanels);
    printer(user, "MaxLevel %i Dim %i :: printing data indices\n\n", t->MaxLevel, 1 << t->MaxLevel);
    if (unitPrinter == nullptr) {
        printer(user, "NULL Data fn\n\n");
        return;
    }
    const int32_t side = 1 << t->MaxLevel;
    int32_t lo[3] = {-t->Ioffset, -t->Joffset, -t->Koffset};
    int32_t hi[3] = {side - 1 - t->Ioffset, side - 1 - t->Joffset, side - 1 - t->Koffset};
    if (mode == 2 && ranges != nullptr) {
        for (int a = 0; a < 3; ++a) {
            lo[a] = ranges[2 * a] < ranges[2 * a + 1] ? ranges[2 * a] : ranges[2 * a + 1];
            hi[a] = ranges[2 * a] < ranges[2 * a + 1] ? ranges[2 * a + 1] : ranges[2 * a];
        }
        printer(user, "(Index clipped data (%i,%i) (%i,%i) (%i,%i) ) ", lo[0], hi[0], lo[1], hi[1], lo[2], hi[2]);
    } else if (mode != 1) {
        DumpPanels(user, printer, t->Root);
        return;
    }
    printer(user, "Press return to continue\n");
    WaitForLine();
    printer(user, "I coordinates: ");
    for (int32_t i = lo[0]; i <= hi[0]; ++i) printer(user, "%i ", i);
    printer(user, "\n");
    for (int32_t k = lo[2]; k <= hi[2]; ++k) {
        printer(user, "Z Level %i\n\n", k);
        for (int32_t j = hi[1]; j >= lo[1]; --j) {
            for (int32_t i = lo[0]; i <= hi[0]; ++i) {
                const void* unit = Octree_FindVoxel(i, j, k, t);
                unitPrinter(user, printer, unit != nullptr ? unit : nullValue);
            }
            printer(user, "\n");
        }
        WaitForLine();
    }
}
