// Edge-collapse simplification and the mesh clean-up of the basic surface.
#include "app/scan/mesh_normals.h"
#include "app/scan/surf_facets.h"
#include "app/scan/surf_points.h"

#include <cmath>
#include <cstring>

namespace {

const float kCos45 = static_cast<float>(std::cos(3.14159265358979 / 4.0));

// Per point: its live facets and the points it stands for (a linked list).
struct PointLists {
    int32_t** facets;
    int32_t* facetCount;
    int32_t* facetCap;
    int32_t* repHead;
    int32_t* repTail;
    int32_t* repNext;
};

class Simplifier {
  public:
    Simplifier(SurfArena& arena, SurfaceRecord& s, const SurfEdgeList& open, float maxError)
        : arena_(arena), s_(s), maxErrorSq_(maxError * maxError) {
        const int32_t n = s.NumPoints, f = s.NumFacets;
        live_ = arena.Array<uint8_t>(f);
        std::memset(live_, 1, f);
        locked_ = arena.ZeroArray<uint8_t>(n);
        for (int32_t e = 0; e < open.count; ++e) {
            locked_[open.edges[e].from] = 1;
            locked_[open.edges[e].to] = 1;
        }
        lists_.facetCount = arena.ZeroArray<int32_t>(n);
        lists_.facetCap = arena.Array<int32_t>(n);
        lists_.facets = arena.Array<int32_t*>(n);
        for (int32_t k = 0; k < 3 * f; ++k) ++lists_.facetCount[s.Facets[k]];
        int32_t* pool = arena.Array<int32_t>(3 * static_cast<std::size_t>(f) + 1);
        int32_t offset = 0;
        for (int32_t i = 0; i < n; ++i) {
            lists_.facets[i] = pool + offset;
            lists_.facetCap[i] = lists_.facetCount[i];
            offset += lists_.facetCount[i];
            lists_.facetCount[i] = 0;
        }
        for (int32_t t = 0; t < f; ++t)
            for (int k = 0; k < 3; ++k) {
                const int32_t p = s.Facets[3 * t + k];
                lists_.facets[p][lists_.facetCount[p]++] = t;
            }
        lists_.repHead = arena.Array<int32_t>(n);
        lists_.repTail = arena.Array<int32_t>(n);
        lists_.repNext = arena.Array<int32_t>(n);
        for (int32_t i = 0; i < n; ++i) lists_.repHead[i] = lists_.repTail[i] = i, lists_.repNext[i] = -1;
        affected_ = arena.Array<Affected>(affectedCap_);
    }

    int32_t Run(const SurfProgress& progress, double start, double span) {
        const int32_t count = s_.NumFacets;
        const int32_t reportEvery = count / 100;
        for (;;) {
            int32_t removed = 0;
            for (int32_t f = 0; f < count; ++f) {
                if (count > 100 && reportEvery > 0 && f % reportEvery == 0)
                    progress.Report(start + span * 0.6 * f / count);
                if (live_[f]) removed += TryCollapse(f);
            }
            start += span * 0.6;
            span *= 0.4;
            if (removed <= count / 10) break;
        }
        int32_t kept = 0;
        for (int32_t f = 0; f < count; ++f) {
            if (!live_[f]) continue;
            std::memmove(s_.Facets + 3 * kept, s_.Facets + 3 * f, 3 * sizeof(int32_t));
            s_.FacetNormals[kept] = s_.FacetNormals[f];
            ++kept;
        }
        s_.NumFacets = kept;
        return result_;
    }

  private:
    struct Affected {
        int32_t facet;
        int32_t corners[3];
        Vec3 normal;
    };

    bool Has(int32_t f, int32_t p) const {
        const int32_t* v = s_.Facets + 3 * f;
        return v[0] == p || v[1] == p || v[2] == p;
    }

    // 1 or 2 facets removed, 0 when the collapse was refused.
    int32_t TryCollapse(int32_t f) {
        const int32_t* v = s_.Facets + 3 * f;
        int32_t keep = v[0], gone = v[1];
        float shortest = V3_DistanceSquared(s_.Points[v[0]], s_.Points[v[1]]);
        for (int k = 1; k < 3; ++k) {
            const float d = V3_DistanceSquared(s_.Points[v[k]], s_.Points[v[(k + 1) % 3]]);
            if (d < shortest) shortest = d, keep = v[k], gone = v[(k + 1) % 3];
        }
        if (locked_[gone]) return 0;
        const int32_t* around = lists_.facets[gone];
        const int32_t aroundCount = lists_.facetCount[gone];
        // Facets killed by earlier collapses stay in their other corners' lists.
        for (int32_t i = 0; i < aroundCount; ++i) {
            if (!live_[around[i]]) continue;
            for (int32_t j = i + 1; j < aroundCount; ++j)
                if (live_[around[j]] && V3_Dot(s_.FacetNormals[around[i]], s_.FacetNormals[around[j]]) <= kCos45)
                    return 0;
        }
        int32_t sharer = -1;
        for (int32_t i = 0; i < aroundCount; ++i) {
            const int32_t g = around[i];
            if (g == f || !live_[g] || !Has(g, keep)) continue;
            if (sharer >= 0) {
                result_ = 2;
                return 0;
            }
            sharer = g;
        }
        affectedCount_ = 0;
        gone_ = gone;
        keep_ = keep;
        if (!Gather(gone, f, sharer) || !Gather(keep, f, sharer)) return 0;
        if (affectedCount_ == 0) return 0;
        if (!Represented(gone) || !Represented(keep)) return 0;

        // Accepted.
        const int32_t total = affectedCount_;
        if (total > lists_.facetCap[keep]) {
            lists_.facetCap[keep] = 2 * total;
            lists_.facets[keep] = arena_.Array<int32_t>(lists_.facetCap[keep]);
        }
        for (int32_t k = 0; k < total; ++k) {
            const Affected& a = affected_[k];
            std::memcpy(s_.Facets + 3 * a.facet, a.corners, sizeof a.corners);
            s_.FacetNormals[a.facet] = a.normal;
            lists_.facets[keep][k] = a.facet;
        }
        lists_.facetCount[keep] = total;
        lists_.facetCount[gone] = 0;
        live_[f] = 0;
        int32_t removed = 1;
        if (sharer >= 0) live_[sharer] = 0, removed = 2;
        lists_.repNext[lists_.repTail[keep]] = lists_.repHead[gone];
        lists_.repTail[keep] = lists_.repTail[gone];
        lists_.repHead[gone] = -1;
        return removed;
    }

    // Adds the live facets around p (not f, not the sharer) with `gone`
    // replaced by the kept point; false when one of them would turn too far
    // or become too thin.
    bool Gather(int32_t p, int32_t f, int32_t sharer) {
        for (int32_t i = 0; i < lists_.facetCount[p]; ++i) {
            const int32_t g = lists_.facets[p][i];
            if (!live_[g] || g == f || g == sharer) continue;
            bool seen = false;
            for (int32_t k = 0; k < affectedCount_ && !seen; ++k) seen = affected_[k].facet == g;
            if (seen) continue;
            if (affectedCount_ >= affectedCap_) {
                affectedCap_ *= 2;
                affected_ = arena_.Grow(affected_, affectedCap_);
            }
            Affected& a = affected_[affectedCount_];
            a.facet = g;
            std::memcpy(a.corners, s_.Facets + 3 * g, sizeof a.corners);
            for (int32_t& c : a.corners)
                if (c == gone_) c = keep_;
            const Vec3 &pa = s_.Points[a.corners[0]], &pb = s_.Points[a.corners[1]], &pc = s_.Points[a.corners[2]];
            if (Surf_TriangleShape(pa, pb, pc) <= 0.05f) return false;
            Vec3 ab, ac, n;
            V3_Sub(pb, pa, ab);
            V3_Sub(pc, pa, ac);
            V3_Cross(ab, ac, n);
            V3_Normalise(n, n);
            if (V3_Dot(n, s_.FacetNormals[g]) <= kCos45) return false;
            a.normal = n;
            ++affectedCount_;
        }
        return true;
    }

    // Every point that p stands for lies within the error of a new facet.
    bool Represented(int32_t p) const {
        for (int32_t r = lists_.repHead[p]; r >= 0; r = lists_.repNext[r]) {
            bool near = false;
            for (int32_t k = 0; k < affectedCount_ && !near; ++k) {
                const Affected& a = affected_[k];
                Vec3 q;
                float dSq;
                near = Tri_ClosestPoint(s_.Points[r], s_.Points[a.corners[0]], s_.Points[a.corners[1]],
                                        s_.Points[a.corners[2]], a.normal, q, 0, 0, 0.0f, maxErrorSq_, dSq) != 0;
            }
            if (!near) return false;
        }
        return true;
    }

    SurfArena& arena_;
    SurfaceRecord& s_;
    float maxErrorSq_;
    uint8_t* live_;
    uint8_t* locked_;
    PointLists lists_;
    Affected* affected_;
    int32_t affectedCount_ = 0, affectedCap_ = 64;
    int32_t result_ = 0;
    int32_t gone_ = -1, keep_ = -1;  // the collapse being tried
};

}  // namespace

int32_t Surf_Simplify(SurfArena& arena, SurfaceRecord& s, const SurfEdgeList& open, float maxError,
                      const SurfProgress& progress, double start, double span) {
    if (s.NumPoints <= 0 || s.NumFacets <= 0) return 0;
    Simplifier simplifier(arena, s, open, maxError);
    return simplifier.Run(progress, start, span);
}

void Surf_CleanMesh(SurfArena& arena, SurfaceRecord& s) {
    int32_t kept = 0;
    for (int32_t f = 0; f < s.NumFacets; ++f) {
        const int32_t* v = s.Facets + 3 * f;
        if (!(Surf_TriangleShape(s.Points[v[0]], s.Points[v[1]], s.Points[v[2]]) > 0.02f)) continue;
        std::memmove(s.Facets + 3 * kept, v, 3 * sizeof(int32_t));
        s.FacetNormals[kept] = s.FacetNormals[f];
        ++kept;
    }
    s.NumFacets = kept;

    int32_t* index = arena.Array<int32_t>(s.NumPoints > 0 ? s.NumPoints : 1);
    for (int32_t i = 0; i < s.NumPoints; ++i) index[i] = -1;
    for (int32_t k = 0; k < 3 * s.NumFacets; ++k) index[s.Facets[k]] = 0;
    int32_t points = 0;
    for (int32_t i = 0; i < s.NumPoints; ++i) {
        if (index[i] < 0) continue;
        index[i] = points;
        s.Points[points] = s.Points[i];
        s.PointNormals[points] = s.PointNormals[i];
        s.Weights[points] = s.Weights[i];
        s.Resolutions[points] = s.Resolutions[i];
        s.Greyscale[points] = s.Greyscale[i];
        ++points;
    }
    for (int32_t k = 0; k < 3 * s.NumFacets; ++k) s.Facets[k] = index[s.Facets[k]];
    s.NumPoints = points;
    arena.Free(index);
    // Normals, vertex normals and area of the mesh as it is kept: the area of
    // the dropped slivers must leave the surface's total with them.
    Mesh_FacetNormals(s.NumPoints, s.Points, s.NumFacets, s.Facets, 0, nullptr, s.FacetNormals, nullptr, &s.Area,
                      s.PointNormals);
}
