// The follower's lattice links: nodes joined to their neighbours, the edge
// crossings they share, the expansion of a node through the rings of its
// crossing edges, the spreading of the front, and the unlinking of a node
// that leaves the lattice.
#include <cstdlib>
#include <cstring>

#include "surface/eval/rapid_surf_internal.h"

namespace rapid_surf {

struct CrossingBlock {
    CrossingBlock* Next;
    EdgeCrossing Items[1024];
};

namespace {

EdgeCrossing* NewCrossing(CrossingPool* pool) {
    if (pool->Free == nullptr) {
        auto* block = static_cast<CrossingBlock*>(std::malloc(sizeof(CrossingBlock)));
        if (block == nullptr) return nullptr;
        block->Next = pool->Blocks;
        pool->Blocks = block;
        for (int m = 0; m < 1024; ++m) {
            block->Items[m].NextFree = pool->Free;
            pool->Free = &block->Items[m];
        }
    }
    EdgeCrossing* c = pool->Free;
    pool->Free = c->NextFree;
    return c;
}

void FreeCrossing(CrossingPool* pool, EdgeCrossing* c) {
    c->NextFree = pool->Free;
    pool->Free = c;
}

// Finds the crossing of the edge from n to m (direction d) and records it on
// both: not crossing when the values share a sign (0 counts as positive),
// else at the linear zero, owned by the nearer end.
bool FindCrossing(RapidSurfWorkspace* w, LatticeNode* n, int d, LatticeNode* m) {
    const int o = Opposite(d);
    const uint32_t bit = 1u << d, back = 1u << o;
    const double a = n->Value, b = m->Value;
    if ((a >= 0.0) == (b >= 0.0)) {
        n->NoCrossing |= bit;
        m->NoCrossing |= back;
        return true;
    }
    EdgeCrossing* c = NewCrossing(&w->Crossings);
    if (c == nullptr) return false;
    const double h = a / (a - b);
    for (int k = 0; k < 3; ++k) {
        c->Position[k] = n->Position[k] + h * (m->Position[k] - n->Position[k]);
        c->Gradient[k] = n->Gradient[k] + h * (m->Gradient[k] - n->Gradient[k]);
    }
    c->Vertex = -1;
    c->NextFree = nullptr;
    n->Crossing[d] = c;
    m->Crossing[o] = c;
    if (h >= 0.5)
        m->Owned |= back;
    else
        n->Owned |= bit;
    return true;
}

}  // namespace

bool Join(RapidSurfWorkspace* w, LatticeNode* n, int d, LatticeNode* m) {
    const int o = Opposite(d);
    n->Link[d] = m;
    m->Link[o] = n;
    if ((n->Flags | m->Flags) & kNodeOutside) {
        n->OutsideEdge |= 1u << d;
        m->OutsideEdge |= 1u << o;
    }
    // Known from before the other end was last retired: shared again.
    if (n->Crossing[d] != nullptr || m->Crossing[o] != nullptr) {
        EdgeCrossing* c = n->Crossing[d] != nullptr ? n->Crossing[d] : m->Crossing[o];
        n->Crossing[d] = m->Crossing[o] = c;
        return true;
    }
    if ((n->NoCrossing & (1u << d)) || (m->NoCrossing & (1u << o))) {
        n->NoCrossing |= 1u << d;
        m->NoCrossing |= 1u << o;
        return true;
    }
    return FindCrossing(w, n, d, m);
}

void Unlink(RapidSurfWorkspace* w, LatticeNode* n) {
    for (int d = 0; d < kDirections; ++d) {
        if (LatticeNode* m = n->Link[d]) {
            m->Link[Opposite(d)] = nullptr;
            continue;
        }
        // The other end has gone before: nothing holds the crossing now.
        if (n->Crossing[d] != nullptr) FreeCrossing(&w->Crossings, n->Crossing[d]);
    }
}

void Crossings_Free(CrossingPool* pool) {
    while (pool->Blocks != nullptr) {
        CrossingBlock* next = pool->Blocks->Next;
        std::free(pool->Blocks);
        pool->Blocks = next;
    }
    pool->Free = nullptr;
}

int Spread(RapidSurfWorkspace* w, LatticeNode* n) {
    const LatticeTables& t = Tables();
    for (int d = 0; d < kDirections; ++d) {
        LatticeNode* m = n->Link[d];
        if (m == nullptr || (m->Flags & (kNodeOutside | kNodeProcessed))) continue;
        const int o = Opposite(d);
        int found = 0;
        if (n->Crossing[d] != nullptr) {
            found = expand(m, o, w);
        } else {
            // The third corners of the lattice triangles on the edge are the
            // node's own neighbours too.
            for (const int32_t* f = t.Ring[o]; f < t.Ring[o] + 6 && *f >= 0; ++f) {
                if (m->Crossing[*f] == nullptr && !(m->NoCrossing & (1u << *f))) {
                    LatticeNode* x = n->Link[t.Third[d][*f]];
                    if (x == nullptr) continue;
                    if (!Join(w, m, *f, x)) return w->Status = RAPIDSURF_NO_MEMORY;
                }
                if (m->Crossing[*f] != nullptr) found |= expand(m, *f, w);
            }
        }
        if (w->Status != RAPIDSURF_SUCCESS) return w->Status;
        if (found && !(m->Flags & kNodeQueued) && !Enqueue(w, m)) return w->Status = RAPIDSURF_NO_MEMORY;
    }
    return 0;
}

}  // namespace rapid_surf

using namespace rapid_surf;

int expand(LatticeNode* node, int d, RapidSurfWorkspace* w) {
    if (node->Expanded & (1u << d)) return 0;
    LatticeNode* m = nullptr;
    if (Neighbour(w, node, d, &m) != 0) return 0;
    if (node->Crossing[d] == nullptr) {
        if (w->Print != nullptr) w->Print(w->PrintUser, "%s", "expand: Base not an edge");
        return 0;
    }
    const LatticeTables& t = Tables();
    int walk[kDirections];
    int head = 0, tail = 0;
    uint32_t visited = 1u << d;
    walk[tail++] = d;
    while (head < tail) {
        const int e = walk[head++];
        node->Expanded |= 1u << e;
        for (const int32_t* f = t.Ring[e]; f < t.Ring[e] + 6 && *f >= 0; ++f) {
            if (visited & (1u << *f)) continue;
            visited |= 1u << *f;
            if (Neighbour(w, node, *f, &m) != 0) return 0;
            if (node->Crossing[*f] != nullptr && !(node->Expanded & (1u << *f))) walk[tail++] = *f;
        }
    }
    return 1;
}
