#include "app/scan/surf_facets.h"

#include "app/scan/mesh_normals.h"
#include "app/scan/space_split.h"
#include "app/scan/surf_points.h"

#include <cmath>
#include <cstring>

float Surf_TriangleShape(const Vec3& a, const Vec3& b, const Vec3& c) {
    Vec3 ab, ac, cross;
    V3_Sub(b, a, ab);
    V3_Sub(c, a, ac);
    V3_Cross(ab, ac, cross);
    const float perimeter = V3_Distance(a, b) + V3_Distance(b, c) + V3_Distance(c, a);
    if (!(perimeter > 0.0f)) return 0.0f;
    return V3_Length(cross) / (perimeter * perimeter);
}

namespace {

// The neighbour cells: each point's cell, each cell's neighbour list.
struct NeighbourCells {
    int32_t* cellOf = nullptr;
    int32_t* first = nullptr;  // cell c's neighbours are pool[first[c] .. first[c + 1])
    int32_t* pool = nullptr;
    int32_t cells = 0, cellCap = 0, poolCount = 0, poolCap = 0;
};

void BuildCells(SurfArena& arena, const SurfaceRecord& s, const SurfProgress& progress, double start, double span,
                NeighbourCells& out) {
    out.cellOf = arena.Array<int32_t>(s.NumPoints);
    out.cellCap = 1024;
    out.first = arena.Array<int32_t>(out.cellCap + 1);
    out.first[0] = 0;
    out.poolCap = 4 * s.NumPoints + 1024;
    out.pool = arena.Array<int32_t>(out.poolCap);
    const SplitRule rule{true, 1e10f, 0.01, false};
    auto radiusOf = [&s](const int32_t* owned, int32_t count) {
        float largest = 0.0f;
        for (int32_t k = 0; k < count; ++k)
            if (s.Resolutions[owned[k]] > largest) largest = s.Resolutions[owned[k]];
        return std::sqrt(kSurfResolutionScale * largest);
    };
    auto leaf = [&](const int32_t* owned, int32_t ownedCount, const int32_t* neighbours, int32_t neighbourCount) {
        if (out.cells + 1 >= out.cellCap) {
            out.cellCap *= 2;
            out.first = arena.Grow(out.first, out.cellCap + 1);
        }
        if (out.poolCount + neighbourCount > out.poolCap) {
            out.poolCap = (out.poolCount + neighbourCount) * 3 / 2 + 1024;
            out.pool = arena.Grow(out.pool, out.poolCap);
        }
        std::memcpy(out.pool + out.poolCount, neighbours, sizeof(int32_t) * neighbourCount);
        out.poolCount += neighbourCount;
        for (int32_t k = 0; k < ownedCount; ++k) out.cellOf[owned[k]] = out.cells;
        out.first[++out.cells] = out.poolCount;
        return 0;
    };
    Surf_SplitSpace(arena, s.Points, s.NumPoints, s.Points, s.NumPoints, rule, progress, start, span, radiusOf, leaf);
}

// The front-growing triangulation's working state.
class FacetGrower {
  public:
    FacetGrower(SurfArena& arena, SurfaceRecord& s, const NeighbourCells& cells, const SurfProgress& progress,
                double start, double span)
        : arena_(arena), s_(s), cells_(cells), progress_(progress), start_(start), span_(span) {
        const int32_t n = s.NumPoints;
        head_ = arena.Array<int32_t>(n);
        for (int32_t i = 0; i < n; ++i) head_[i] = -1;
        uses_ = arena.ZeroArray<int32_t>(n);
        edgeCap_ = 3 * n + 16;
        edges_ = arena.Array<SurfEdge>(edgeCap_);
        frontCap_ = 1024;
        front_ = arena.Array<int32_t>(frontCap_);
        candCap_ = 256;
        candidates_ = arena.Array<Candidate>(candCap_);
        facetCap_ = static_cast<int32_t>(2.5 * n) + 4;
        Surface_ResizeFacets(s, facetCap_);
        s.NumFacets = 0;
        seedOfFacet_ = arena.Array<int32_t>(facetCap_);
        reportEvery_ = n / 300;
        cosLimit_ = static_cast<float>(std::cos(1.0472));
    }

    void Run() {
        int32_t cursor = 0;
        for (;;) {
            int32_t a = -1, b = -1;
            if (!FindSeed(cursor, a, b)) break;
            frontCount_ = 0;
            PushFront(AddEdge(a, b, -1));
            PushFront(AddEdge(b, a, -1));
            for (int sweep = 0; sweep < 2; ++sweep)
                for (int32_t k = 0; k < frontCount_; ++k) {
                    const int32_t e = front_[k];
                    if (edges_[e].facet == -1) Grow(edges_[e].from, edges_[e].to);
                }
            ++seeds_;
        }
    }

    int32_t seeds() const { return seeds_; }
    const int32_t* seedOfFacet() const { return seedOfFacet_; }

    SurfEdgeList OpenEdges() {
        SurfEdgeList list{arena_.Array<SurfEdge>(edgeCount_ > 0 ? edgeCount_ : 1), 0};
        for (int32_t e = 0; e < edgeCount_; ++e)
            if (edges_[e].facet == -1) list.edges[list.count++] = edges_[e];
        return list;
    }

  private:
    struct Candidate {
        int32_t point;
        float x, y, z;  // in the edge's local frame, from a
    };

    const int32_t* NeighboursOf(int32_t i, int32_t& count) const {
        const int32_t c = cells_.cellOf[i];
        count = cells_.first[c + 1] - cells_.first[c];
        return cells_.pool + cells_.first[c];
    }

    bool FindSeed(int32_t& cursor, int32_t& seedA, int32_t& seedB) {
        for (; cursor < s_.NumPoints; ++cursor) {
            const int32_t i = cursor;
            if (uses_[i] != 0) continue;
            const float si = kSurfResolutionScale * std::sqrt(s_.Resolutions[i]);
            int32_t count;
            const int32_t* nb = NeighboursOf(i, count);
            int32_t best = -1;
            float bestSq = 0.0f;
            for (int32_t k = 0; k < count; ++k) {
                const int32_t j = nb[k];
                if (j == i || uses_[j] != 0) continue;
                const float dot = V3_Dot(s_.PointNormals[i], s_.PointNormals[j]);
                if (!(dot >= 0.0f) || !(dot >= cosLimit_)) continue;
                const float dSq = V3_DistanceSquared(s_.Points[i], s_.Points[j]);
                if (!(dSq < si * std::sqrt(s_.Resolutions[j]))) continue;
                if (best < 0 || dSq < bestSq) best = j, bestSq = dSq;
            }
            if (best >= 0) {
                seedA = i;
                seedB = best;
                return true;
            }
        }
        return false;
    }

    int32_t FindEdge(int32_t u, int32_t v) const {
        for (int32_t e = head_[u]; e >= 0; e = edges_[e].next)
            if (edges_[e].to == v) return e;
        return -1;
    }

    void Use(int32_t p) {
        if (uses_[p]++ != 0) return;
        ++used_;
        if (reportEvery_ > 0 && used_ % reportEvery_ == 0)
            progress_.Report(start_ + span_ * used_ / static_cast<double>(s_.NumPoints));
    }

    int32_t AddEdge(int32_t u, int32_t v, int32_t facet) {
        if (edgeCount_ >= edgeCap_) {
            edgeCap_ = edgeCap_ + edgeCap_ / 2 + 16;
            edges_ = arena_.Grow(edges_, edgeCap_);
        }
        const int32_t e = edgeCount_++;
        edges_[e] = SurfEdge{u, v, facet, head_[u]};
        head_[u] = e;
        Use(u);
        Use(v);
        return e;
    }

    void PushFront(int32_t e) {
        if (frontCount_ >= frontCap_) {
            frontCap_ *= 2;
            front_ = arena_.Grow(front_, frontCap_);
        }
        front_[frontCount_++] = e;
    }

    void Grow(int32_t a, int32_t b) {
        const Vec3 &pa = s_.Points[a], &pb = s_.Points[b];
        Vec3 mid, edgeNormal;
        V3_Add(pa, pb, mid);
        V3_Scale(0.5f, mid, mid);
        V3_Add(s_.PointNormals[a], s_.PointNormals[b], edgeNormal);
        V3_Normalise(edgeNormal, edgeNormal);
        const float resAB = s_.Resolutions[a] * s_.Resolutions[b];

        // Candidates within the radius of both ends, facing the edge's way; a
        // point turned away by more than the limit stops every candidate
        // beyond it from the edge (a crease is not bridged).
        int32_t count;
        const int32_t* nb = NeighboursOf(a, count);
        int32_t taken = 0;
        float rejectedSq = -1.0f;
        for (int32_t k = 0; k < count; ++k) {
            const int32_t j = nb[k];
            if (j == a || j == b) continue;
            const float radiusSq = kSurfResolutionScale * std::cbrt(resAB * s_.Resolutions[j]);
            if (!(V3_DistanceSquared(s_.Points[j], pa) < radiusSq) ||
                !(V3_DistanceSquared(s_.Points[j], pb) < radiusSq))
                continue;
            const float dot = V3_Dot(s_.PointNormals[j], edgeNormal);
            if (!(dot >= 0.0f)) continue;
            if (dot < cosLimit_) {
                const float dSq = V3_DistanceSquared(s_.Points[j], mid);
                if (rejectedSq < 0.0f || dSq < rejectedSq) rejectedSq = dSq;
                continue;
            }
            if (taken >= candCap_) {
                candCap_ *= 2;
                candidates_ = arena_.Grow(candidates_, candCap_);
            }
            candidates_[taken++].point = j;
        }
        if (taken == 0) return;
        Vec3 normal;
        V3_Add(s_.PointNormals[a], s_.PointNormals[b], normal);
        int32_t kept = 0;
        for (int32_t k = 0; k < taken; ++k) {
            const int32_t j = candidates_[k].point;
            if (rejectedSq >= 0.0f && !(V3_DistanceSquared(s_.Points[j], mid) < rejectedSq)) continue;
            candidates_[kept++].point = j;
            V3_Add(normal, s_.PointNormals[j], normal);
        }
        if (kept == 0) return;
        V3_Normalise(normal, normal);
        Vec3 u, v;
        Frame(normal, u, v);
        auto local = [&](int32_t p, float& x, float& y, float& z) {
            Vec3 d;
            V3_Sub(s_.Points[p], pa, d);
            x = V3_Dot(d, u), y = V3_Dot(d, v), z = V3_Dot(d, normal);
        };
        float bx, by, bz;
        local(b, bx, by, bz);
        int32_t left = 0;
        for (int32_t k = 0; k < kept; ++k) {
            Candidate c = candidates_[k];
            local(c.point, c.x, c.y, c.z);
            if (bx * c.y - by * c.x > 1e-5f) candidates_[left++] = c;
        }
        if (left == 0) return;
        // The candidate whose circle through a and b holds no later one.
        int32_t chosen = 0;
        for (int32_t k = 1; k < left;) {
            float cx, cy;
            Circumcentre(bx, by, candidates_[chosen].x, candidates_[chosen].y, cx, cy);
            const float radiusSq = cx * cx + cy * cy;
            const Candidate& c = candidates_[k];
            const float dx = c.x - cx, dy = c.y - cy;
            if (dx * dx + dy * dy + c.z * c.z < radiusSq) {
                chosen = k;
                k = chosen + 1;
            } else {
                ++k;
            }
        }
        AddFacet(a, b, candidates_[chosen].point);
    }

    // Two unit vectors completing n to a right-handed frame (u, v, n).
    static void Frame(const Vec3& n, Vec3& u, Vec3& v) {
        const Vec3 axis = std::fabs(n.x) < 0.6f ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
        V3_Cross(axis, n, v);
        V3_Normalise(v, v);
        V3_Cross(v, n, u);
    }

    // The centre of the circle through the origin, (bx, by) and (cx, cy);
    // 1e10 for (nearly) collinear points.
    static void Circumcentre(float bx, float by, float px, float py, float& ox, float& oy) {
        const float d = 2.0f * (bx * py - by * px);
        if (std::fabs(d) < 2e-5f) {
            ox = oy = 1e10f;
            return;
        }
        const float b2 = bx * bx + by * by, p2 = px * px + py * py;
        ox = (py * b2 - by * p2) / d;
        oy = (bx * p2 - px * b2) / d;
    }

    void AddFacet(int32_t a, int32_t b, int32_t c) {
        const int32_t corners[3][2] = {{b, c}, {c, a}, {a, b}};
        for (const auto& e : corners) {
            const int32_t r = FindEdge(e[0], e[1]);
            if (r >= 0 && edges_[r].facet >= 0) return;
        }
        if (s_.NumFacets >= facetCap_ - 1) {
            facetCap_ = static_cast<int32_t>(facetCap_ * 1.4) + 1;
            Surface_ResizeFacets(s_, facetCap_);
            seedOfFacet_ = arena_.Grow(seedOfFacet_, facetCap_);
        }
        const int32_t f = s_.NumFacets++;
        for (const auto& e : corners) {
            const int32_t r = FindEdge(e[0], e[1]);
            if (r >= 0)
                edges_[r].facet = f;
            else
                AddEdge(e[0], e[1], f);
            if (FindEdge(e[1], e[0]) < 0) PushFront(AddEdge(e[1], e[0], -1));
        }
        s_.Facets[3 * f] = a;
        s_.Facets[3 * f + 1] = b;
        s_.Facets[3 * f + 2] = c;
        seedOfFacet_[f] = seeds_;
    }

    SurfArena& arena_;
    SurfaceRecord& s_;
    const NeighbourCells& cells_;
    const SurfProgress& progress_;
    double start_, span_;
    int32_t* head_;
    int32_t* uses_;
    SurfEdge* edges_;
    int32_t edgeCount_ = 0, edgeCap_;
    int32_t* front_;
    int32_t frontCount_ = 0, frontCap_;
    Candidate* candidates_;
    int32_t candCap_;
    int32_t facetCap_;
    int32_t* seedOfFacet_;
    int32_t seeds_ = 0, used_ = 0, reportEvery_;
    float cosLimit_;
};

// Keeps only the facets of the `limit` seeds with the most facets (equal
// counts keep seed order).
void LimitPieces(SurfArena& arena, SurfaceRecord& s, const int32_t* seedOfFacet, int32_t seeds, int32_t limit) {
    if (limit <= 0 || limit > seeds) return;
    int32_t* count = arena.ZeroArray<int32_t>(seeds);
    for (int32_t f = 0; f < s.NumFacets; ++f) ++count[seedOfFacet[f]];
    int32_t* order = arena.Array<int32_t>(seeds);
    for (int32_t k = 0; k < seeds; ++k) order[k] = k;
    // A stable order by falling count (insertion: moves ahead only past smaller counts).
    for (int32_t k = 1; k < seeds; ++k) {
        const int32_t seed = order[k];
        int32_t m = k;
        while (m > 0 && count[order[m - 1]] < count[seed]) {
            order[m] = order[m - 1];
            --m;
        }
        order[m] = seed;
    }
    uint8_t* keep = arena.ZeroArray<uint8_t>(seeds);
    for (int32_t k = 0; k < limit; ++k) keep[order[k]] = 1;
    int32_t kept = 0;
    for (int32_t f = 0; f < s.NumFacets; ++f) {
        if (!keep[seedOfFacet[f]]) continue;
        std::memmove(s.Facets + 3 * kept, s.Facets + 3 * f, 3 * sizeof(int32_t));
        ++kept;
    }
    s.NumFacets = kept;
    arena.Free(count);
    arena.Free(order);
    arena.Free(keep);
}

}  // namespace

int32_t Surf_MakeFacets(SurfArena& arena, SurfaceRecord& s, int32_t objectLimit, const SurfProgress& progress,
                        double start, double span, SurfEdgeList& open) {
    open = SurfEdgeList{nullptr, 0};
    s.NumFacets = 0;
    s.Area = 0.0f;
    if (s.NumPoints < 3) return 0;
    NeighbourCells cells;
    BuildCells(arena, s, progress, start, span * 0.1, cells);
    FacetGrower grower(arena, s, cells, progress, start + span * 0.1, span * 0.9);
    grower.Run();
    LimitPieces(arena, s, grower.seedOfFacet(), grower.seeds(), objectLimit);
    Mesh_FacetNormals(s.NumPoints, s.Points, s.NumFacets, s.Facets, 0, nullptr, s.FacetNormals, nullptr, &s.Area,
                      nullptr);
    open = grower.OpenEdges();
    return 0;
}
