#include "surface/fit/poly_mesh.h"

#include <cstdlib>
#include <cstring>

#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

template <typename T>
T* Allocate(int64_t count) {
    if (count < 1) count = 1;
    std::size_t bytes = 0;
    if (!Mem_BlockBytes(static_cast<uint64_t>(count), sizeof(T), &bytes)) return nullptr;
    return static_cast<T*>(std::calloc(1, bytes));
}

// Walks from the point's finger towards `to` and leaves the finger on the
// last half-edge visited.
PolyEdge* WalkTo(PolyMesh* mesh, int32_t from, int32_t to) {
    PolyEdge* e = mesh->Out[from];
    if (!e) return nullptr;
    if (e->To < to) {
        while (e->NextOut && e->To < to) e = e->NextOut;
    } else if (e->To > to) {
        while (e->PrevOut && e->To > to) e = e->PrevOut;
    }
    mesh->Out[from] = e;
    return e;
}

// Links the half-edge into its From list at its sorted place; false when a
// half-edge with the same end is there already.
bool LinkOut(PolyMesh* mesh, PolyEdge* edge) {
    edge->PrevOut = edge->NextOut = nullptr;
    PolyEdge* at = WalkTo(mesh, edge->From, edge->To);
    if (at) {
        if (at->To == edge->To) return false;
        if (at->To > edge->To) {
            edge->NextOut = at;
            edge->PrevOut = at->PrevOut;
            if (at->PrevOut) at->PrevOut->NextOut = edge;
            at->PrevOut = edge;
        } else {
            edge->PrevOut = at;
            edge->NextOut = at->NextOut;
            if (at->NextOut) at->NextOut->PrevOut = edge;
            at->NextOut = edge;
        }
    }
    mesh->Out[edge->From] = edge;
    return true;
}

void UnlinkOut(PolyMesh* mesh, PolyEdge* edge) {
    if (mesh->Out[edge->From] == edge) mesh->Out[edge->From] = edge->PrevOut ? edge->PrevOut : edge->NextOut;
    if (edge->PrevOut) edge->PrevOut->NextOut = edge->NextOut;
    if (edge->NextOut) edge->NextOut->PrevOut = edge->PrevOut;
    edge->PrevOut = edge->NextOut = nullptr;
}

int AddFace(PolyMesh* mesh, const int32_t* corners, int32_t count, PolyFace* face, PolyEdge* first) {
    face->Start = first;
    face->CornerCount = count;
    for (int32_t k = 0; k < count; ++k) {
        PolyEdge* e = first + k;
        e->From = corners[k];
        e->To = corners[(k + 1) % count];
        e->Face = face;
        e->NextInFace = first + (k + 1) % count;
        e->PrevInFace = first + (k + count - 1) % count;
        if (e->From == e->To || !LinkOut(mesh, e)) return 3;
        PolyEdge* reverse = PolyMesh_Find(mesh, e->To, e->From);
        if (reverse) {
            if (reverse->Twin) return 3;
            reverse->Twin = e;
            e->Twin = reverse;
        }
    }
    return 0;
}

}  // namespace

int PolyMesh_Build(int32_t pointCount, const double* points, int32_t triangleCount, const int32_t* triangles,
                   int32_t quadCount, const int32_t* quads, int32_t withColours, PolyMesh* mesh) {
    std::memset(mesh, 0, sizeof *mesh);
    const int64_t edges = 3 * static_cast<int64_t>(triangleCount) + 4 * static_cast<int64_t>(quadCount);
    const int64_t faces = static_cast<int64_t>(triangleCount) + quadCount;
    if (edges > INT32_MAX) return 2;
    mesh->Points = Allocate<double>(3 * static_cast<int64_t>(pointCount));
    mesh->Class = Allocate<int32_t>(pointCount);
    mesh->Out = Allocate<PolyEdge*>(pointCount);
    mesh->Edges = Allocate<PolyEdge>(edges);
    mesh->FacePool = Allocate<PolyFace>(faces);
    if (withColours) mesh->Colours = Allocate<double>(3 * static_cast<int64_t>(pointCount));
    if (!mesh->Points || !mesh->Class || !mesh->Out || !mesh->Edges || !mesh->FacePool ||
        (withColours && !mesh->Colours)) {
        PolyMesh_Free(mesh);
        return 2;
    }
    std::memcpy(mesh->Points, points, sizeof(double) * 3 * static_cast<std::size_t>(pointCount));
    mesh->PointCount = mesh->PointCapacity = pointCount;
    mesh->EdgeCount = static_cast<int32_t>(edges);
    PolyEdge* next = mesh->Edges;
    for (int64_t f = 0; f < faces; ++f) {
        const bool tri = f < triangleCount;
        const int32_t* corners = tri ? triangles + 3 * f : quads + 4 * (f - triangleCount);
        PolyFace* face = mesh->FacePool + f;
        const int32_t count = tri ? 3 : 4;
        const int status = AddFace(mesh, corners, count, face, next);
        if (status != 0) {
            PolyMesh_Free(mesh);
            return status;
        }
        next += count;
        PolyMesh_LinkAfter(mesh, face, mesh->Tail);
    }
    return 0;
}

void PolyMesh_Free(PolyMesh* mesh) {
    if (!mesh) return;
    std::free(mesh->Points);
    std::free(mesh->Class);
    std::free(mesh->Colours);
    std::free(mesh->Out);
    std::free(mesh->Edges);
    std::free(mesh->FacePool);
    std::memset(mesh, 0, sizeof *mesh);
}

PolyEdge* PolyMesh_Find(PolyMesh* mesh, int32_t from, int32_t to) {
    PolyEdge* e = WalkTo(mesh, from, to);
    return e && e->To == to ? e : nullptr;
}

int PolyMesh_Rekey(PolyMesh* mesh, PolyEdge* edge, int32_t from, int32_t to) {
    if (edge->From == from && edge->To == to) return 0;
    PolyEdge* existing = PolyMesh_Find(mesh, from, to);
    if (existing && existing != edge) return 3;
    UnlinkOut(mesh, edge);
    edge->From = from;
    edge->To = to;
    LinkOut(mesh, edge);
    return 0;
}

void PolyMesh_UnlinkEdge(PolyMesh* mesh, PolyEdge* edge) {
    UnlinkOut(mesh, edge);
    if (edge->Twin) edge->Twin->Twin = nullptr;
    edge->Twin = nullptr;
    PolyFace* face = edge->Face;
    if (face && face->Start == edge) face->Start = edge->NextInFace != edge ? edge->NextInFace : nullptr;
    edge->PrevInFace->NextInFace = edge->NextInFace;
    edge->NextInFace->PrevInFace = edge->PrevInFace;
    edge->PrevInFace = edge->NextInFace = edge;
    if (face) --face->CornerCount;
    edge->Face = nullptr;
}

void PolyMesh_UnlinkFace(PolyMesh* mesh, PolyFace* face, bool walkForward) {
    if (mesh->Walk == face) {
        PolyFace* first = walkForward ? face->Next : face->Prev;
        PolyFace* second = walkForward ? face->Prev : face->Next;
        mesh->Walk = first ? first : second;
    }
    if (face->Prev) face->Prev->Next = face->Next;
    if (face->Next) face->Next->Prev = face->Prev;
    if (mesh->Front == face) mesh->Front = face->Next;
    if (mesh->Tail == face) mesh->Tail = face->Prev;
    face->Prev = face->Next = nullptr;
    --mesh->FaceCount;
}

void PolyMesh_LinkAfter(PolyMesh* mesh, PolyFace* face, PolyFace* after) {
    face->Prev = after;
    face->Next = after ? after->Next : mesh->Front;
    if (face->Next) {
        face->Next->Prev = face;
    } else {
        mesh->Tail = face;
    }
    if (after) {
        after->Next = face;
    } else {
        mesh->Front = face;
    }
    ++mesh->FaceCount;
}

int PolyMesh_CompactPoints(PolyMesh* mesh) {
    int32_t* map = Mem_AllocInts(mesh->PointCount > 0 ? mesh->PointCount : 1);
    if (!map) return 2;
    int32_t n = mesh->PointCount;
    for (int32_t i = 0; i < n; ++i) map[i] = i;
    auto move = [mesh](int32_t to, int32_t from) {
        for (int k = 0; k < 3; ++k)
            mesh->Points[3 * static_cast<int64_t>(to) + k] = mesh->Points[3 * static_cast<int64_t>(from) + k];
        if (mesh->Colours) {
            for (int k = 0; k < 3; ++k) {
                mesh->Colours[3 * static_cast<int64_t>(to) + k] = mesh->Colours[3 * static_cast<int64_t>(from) + k];
            }
        }
        mesh->Class[to] = mesh->Class[from];
        mesh->Out[to] = mesh->Out[from];
        mesh->Out[from] = nullptr;
    };
    while (n > 0 && !mesh->Out[n - 1]) --n;
    for (int32_t i = 0; i < n; ++i) {
        if (mesh->Out[i]) continue;
        move(i, n - 1);
        map[n - 1] = i;
        --n;
        while (n > 0 && !mesh->Out[n - 1]) --n;
    }
    for (PolyFace* f = mesh->Front; f; f = f->Next) {
        PolyEdge* e = f->Start;
        for (int32_t k = 0; k < f->CornerCount; ++k, e = e->NextInFace) {
            e->From = map[e->From];
            e->To = map[e->To];
        }
    }
    mesh->PointCount = n;
    Mem_Free(map);
    return 0;
}

int PolyMesh_Output(PolyMesh* mesh, double** points, int32_t** triangles, int32_t* triangleCount, int32_t** quads,
                    int32_t* quadCount) {
    int32_t tris = 0, quadsCount = 0;
    for (PolyFace* f = mesh->Front; f; f = f->Next) {
        if (f->CornerCount == 3) ++tris;
        if (f->CornerCount == 4) ++quadsCount;
    }
    double* p = Mem_AllocDoubles(3 * mesh->PointCount > 0 ? 3 * mesh->PointCount : 1);
    int32_t* t = Mem_AllocInts(3 * tris > 0 ? 3 * tris : 1);
    int32_t* q = Mem_AllocInts(4 * quadsCount > 0 ? 4 * quadsCount : 1);
    if (!p || !t || !q) {
        Mem_Free(p);
        Mem_Free(t);
        Mem_Free(q);
        return 2;
    }
    std::memcpy(p, mesh->Points, sizeof(double) * 3 * static_cast<std::size_t>(mesh->PointCount));
    int32_t* nextTri = t;
    int32_t* nextQuad = q;
    for (PolyFace* f = mesh->Front; f; f = f->Next) {
        mesh->Walk = f;
        if (f->CornerCount != 3 && f->CornerCount != 4) continue;
        int32_t*& out = f->CornerCount == 3 ? nextTri : nextQuad;
        PolyEdge* e = f->Start;
        for (int32_t k = 0; k < f->CornerCount; ++k, e = e->NextInFace) *out++ = e->From;
    }
    *points = p;
    *triangles = t;
    *triangleCount = tris;
    *quads = q;
    *quadCount = quadsCount;
    return 0;
}

namespace {

// A face left with two half-edges goes: their twins are glued to each other.
void RemoveTwoCornerFace(PolyMesh* mesh, PolyFace* face) {
    PolyEdge* first = face->Start;
    PolyEdge* second = first->NextInFace;
    PolyEdge* a = first->Twin;
    PolyEdge* b = second->Twin;
    PolyMesh_UnlinkEdge(mesh, first);
    PolyMesh_UnlinkEdge(mesh, second);
    if (a) a->Twin = b;
    if (b) b->Twin = a;
    face->Start = nullptr;
    face->CornerCount = 0;
    PolyMesh_UnlinkFace(mesh, face, false);
}

// Takes the half-edge out of its face; the face goes when two corners remain.
PolyFace* CutCorner(PolyMesh* mesh, PolyEdge* edge) {
    PolyFace* face = edge->Face;
    PolyMesh_UnlinkEdge(mesh, edge);
    if (face->CornerCount > 2) return face;
    RemoveTwoCornerFace(mesh, face);
    return nullptr;
}

int TopologyError(Reporter* reporter) {
    Reporter_Warning(reporter, "Topology error removing face. Simplification aborted.");
    return 3;
}

}  // namespace

int PolyMesh_CommitCollapse(PolyMesh* mesh, PolyEdge* edge, PolyFace** survivors, Reporter* reporter) {
    const int32_t a = edge->From, b = edge->To;
    PolyEdge* twin = edge->Twin;
    survivors[0] = survivors[1] = nullptr;
    PolyEdge* beforeTwin = nullptr;
    if (twin) {
        beforeTwin = twin->PrevInFace;
        survivors[1] = CutCorner(mesh, twin);
    }
    survivors[0] = CutCorner(mesh, edge);
    while (PolyEdge* out = mesh->Out[b]) {
        while (out->PrevOut) out = out->PrevOut;
        PolyEdge* before = out->PrevInFace;
        if (PolyMesh_Rekey(mesh, before, before->From, a) != 0) return TopologyError(reporter);
        if (PolyMesh_Rekey(mesh, out, a, out->To) != 0) return TopologyError(reporter);
    }
    if (survivors[1] && PolyMesh_Rekey(mesh, beforeTwin, beforeTwin->From, a) != 0) return TopologyError(reporter);
    return 0;
}
