#include "app/export/plane_section.h"

#include <algorithm>
#include <deque>
#include <map>
#include <new>
#include <utility>
#include <vector>

namespace {

using EdgeKey = std::pair<int32_t, int32_t>;  // vertex indices, smaller first
using LinkMap = std::multimap<EdgeKey, EdgeKey>;

EdgeKey Key(int32_t a, int32_t b) { return a < b ? EdgeKey{a, b} : EdgeKey{b, a}; }

void RemoveOne(LinkMap& links, const EdgeKey& from, const EdgeKey& to) {
    auto range = links.equal_range(from);
    for (auto it = range.first; it != range.second; ++it)
        if (it->second == to) {
            links.erase(it);
            return;
        }
}

// Takes one link away from `end`: false when none is left.
bool TakeLink(LinkMap& links, const EdgeKey& end, EdgeKey& next) {
    auto it = links.find(end);
    if (it == links.end()) return false;
    next = it->second;
    links.erase(it);
    RemoveOne(links, next, end);
    return true;
}

void TraceEnds(const std::deque<EdgeKey>& cycle, const LinkMap& links) {
    Ortho_Trace("Cycle ends: (%d,%d), (%d,%d)\n", cycle.front().first, cycle.front().second, cycle.back().first,
                cycle.back().second);
    Ortho_Trace("Map size: %d", static_cast<int>(links.size()));
}

LinkMap CrossingLinks(const Plane& plane, const OrthoMesh& mesh) {
    LinkMap links;
    for (int32_t f = 0; f < mesh.FacetCount; ++f) {
        const int32_t* tri = mesh.Facets + 3 * f;
        EdgeKey crossed[3];
        int count = 0;
        for (int k = 0; k < 3; ++k) {
            const Vec3& p = mesh.Points[tri[k]];
            const Vec3& q = mesh.Points[tri[(k + 1) % 3]];
            Vec3 d;
            V3_Sub(q, p, d);
            const float t = Plane_RayParameter(p, d, plane);
            if (t >= 0.0f && t < 1.0f) crossed[count++] = Key(tri[k], tri[(k + 1) % 3]);
        }
        if (count == 2) {
            links.emplace(crossed[0], crossed[1]);
            links.emplace(crossed[1], crossed[0]);
        } else if (count != 0) {
            Ortho_Trace(" %d intersection(s) facet\n", count);
            Ortho_Trace(" vertices %d %d %d\n", tri[0], tri[1], tri[2]);
        }
    }
    return links;
}

// Walks the links into cycles; only complete ones come back, as points.
std::vector<std::vector<Vec3>> Cycles(LinkMap& links, const Plane& plane, const OrthoMesh& mesh) {
    std::vector<std::vector<Vec3>> out;
    int number = 0;
    while (!links.empty()) {
        std::deque<EdgeKey> cycle;
        EdgeKey next;
        const EdgeKey start = links.begin()->first;
        TakeLink(links, start, next);
        cycle.push_back(start);
        cycle.push_back(next);
        bool complete = false;
        while (true) {
            if (cycle.front() == cycle.back()) {
                complete = true;
                break;
            }
            if (TakeLink(links, cycle.back(), next)) {
                cycle.push_back(next);
                continue;
            }
            Ortho_Trace("Slightly screwy cycle!\n");
            TraceEnds(cycle, links);
            if (TakeLink(links, cycle.front(), next)) {
                cycle.push_front(next);
                continue;
            }
            Ortho_Trace("Screwed cycle!\n");
            TraceEnds(cycle, links);
            break;
        }
        if (!complete) {
            Ortho_Trace(" Cycle number %d incomplete! \n", number++);
            continue;
        }
        ++number;
        std::vector<Vec3> points;
        for (const EdgeKey& key : cycle) {
            const Vec3& a = mesh.Points[key.first];
            Vec3 d, p;
            V3_Sub(mesh.Points[key.second], a, d);
            Plane_RayIntersection(a, d, plane, p);
            points.push_back(p);
        }
        if (points.empty()) {
            Ortho_Trace("empty cycle\n");
            continue;
        }
        points.pop_back();
        if (points.size() < 3) {
            Ortho_Trace("size %d cycle after pop\n", static_cast<int>(points.size()));
            continue;
        }
        out.push_back(std::move(points));
    }
    return out;
}

// Every cycle counter-clockwise about the normal, turning from u towards w.
void Orient(std::vector<Vec3>& cycle, const OrthoSlice& slice) {
    const std::size_t m = cycle.size();
    std::size_t top = 0;
    for (std::size_t i = 1; i < m; ++i)
        if (V3_Dot(cycle[i], slice.W) > V3_Dot(cycle[top], slice.W)) top = i;
    Vec3 toNext, toPrev, cross;
    V3_Sub(cycle[(top + 1) % m], cycle[top], toNext);
    V3_Sub(cycle[(top + m - 1) % m], cycle[top], toPrev);
    V3_Cross(toNext, toPrev, cross);
    if (V3_Dot(cross, slice.Normal) < 0) std::reverse(cycle.begin(), cycle.end());
}

// Joins every cycle into the first, nearest centroid first, each at the
// closest pair of points.
void JoinCycles(std::vector<std::vector<Vec3>>& cycles) {
    std::vector<Vec3> centroids;
    for (const auto& c : cycles) {
        Vec3 centre;
        V3_Centroid(c.data(), static_cast<int32_t>(c.size()), centre);
        centroids.push_back(centre);
    }
    while (cycles.size() > 1) {
        std::size_t nearest = 1;
        for (std::size_t k = 2; k < cycles.size(); ++k)
            if (V3_DistanceSquared(centroids[k], centroids[0]) < V3_DistanceSquared(centroids[nearest], centroids[0]))
                nearest = k;
        std::vector<Vec3>& a = cycles[0];
        const std::vector<Vec3>& b = cycles[nearest];
        std::size_t ia = 0, ib = 0;
        float best = 0;
        bool any = false;
        for (std::size_t i = 0; i < a.size(); ++i)
            for (std::size_t j = 0; j < b.size(); ++j) {
                const float d = V3_DistanceSquared(a[i], b[j]);
                if (!any || d <= best) {
                    best = d;
                    ia = i;
                    ib = j;
                    any = true;
                }
            }
        // a[0..ia], then the whole of b from its closest point round, then the
        // rest of a: a single loop that crosses over at the closest pair.
        std::vector<Vec3> joined(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(ia) + 1);
        for (std::size_t j = 0; j < b.size(); ++j) joined.push_back(b[(ib + j) % b.size()]);
        joined.insert(joined.end(), a.begin() + static_cast<std::ptrdiff_t>(ia) + 1, a.end());
        const float wa = static_cast<float>(a.size()), wb = static_cast<float>(b.size());
        Vec3 c;
        V3_Scale(wa, centroids[0], c);
        V3_AddScaled(c, wb, centroids[nearest], c);
        V3_Scale(1.0f / (wa + wb), c, centroids[0]);
        a.swap(joined);
        cycles.erase(cycles.begin() + static_cast<std::ptrdiff_t>(nearest));
        centroids.erase(centroids.begin() + static_cast<std::ptrdiff_t>(nearest));
    }
}

// The outline is sampled as the open polyline P[0] .. P[m-1]. Where the cycle
// list begins is an accident of the link walk; when the +u crossing of the
// reference plane happens to lie on the left-out segment P[m-1] -> P[0], the
// start would be taken on the -u side and the slice still counted as
// anchored, half a turn off its neighbours. Starting the list one point
// earlier brings that segment into the polyline.
void KeepStartCrossingInPolyline(const OrthoSlice& slice, std::vector<Vec3>& p) {
    const std::size_t m = p.size();
    Plane reference;
    Plane_FromPointNormal(slice.Centre, slice.W, reference);
    bool found = false;
    float best = 0;
    std::size_t winner = 0;
    for (std::size_t k = 1; k <= m; ++k) {
        const Vec3& from = p[k - 1];
        Vec3 d;
        V3_Sub(p[k % m], from, d);
        const float t = Plane_RayParameter(from, d, reference);
        if (!(t >= 0.0f && t <= 1.0f)) continue;
        Vec3 q;
        V3_AddScaled(from, t, d, q);
        const float along = V3_Dot(q, slice.U);
        if (!found || along > best) {
            found = true;
            best = along;
            winner = k;
        }
    }
    if (found && winner == m) std::rotate(p.begin(), p.end() - 1, p.end());
}

void Resample(OrthoSlice& slice, std::vector<Vec3>& p) {
    KeepStartCrossingInPolyline(slice, p);
    const int32_t m = static_cast<int32_t>(p.size());
    std::vector<float> a(p.size());
    a[0] = 0;
    for (int32_t k = 1; k < m; ++k) a[k] = a[k - 1] + V3_Distance(p[k], p[k - 1]);
    const float length = a[m - 1];
    Plane reference;
    Plane_FromPointNormal(slice.Centre, slice.W, reference);
    float start = 0;
    Vec3 startPoint = p[0];
    bool found = false;
    float bestAlong = 0;
    for (int32_t k = 1; k < m; ++k) {
        Vec3 d;
        V3_Sub(p[k], p[k - 1], d);
        const float t = Plane_RayParameter(p[k - 1], d, reference);
        if (!(t >= 0.0f && t <= 1.0f)) continue;
        Vec3 q;
        V3_AddScaled(p[k - 1], t, d, q);
        const float along = V3_Dot(q, slice.U);
        if (!found || along > bestAlong) {
            found = true;
            bestAlong = along;
            start = a[k - 1] * (1 - t) + a[k] * t;
            startPoint = q;
        }
    }
    const int32_t n = static_cast<int32_t>(slice.Points.size());
    slice.Aligned = found ? 1 : 0;
    if (!found) {
        Ortho_Trace("IntersectionPointCycles.front.size() = %d\n", m);
        Ortho_Trace("n = %d\n", n);
        Ortho_Trace("No slice-plane intersection\n");
        int32_t lowest = 0;
        for (int32_t k = 1; k < m; ++k)
            if (V3_Dot(p[k], slice.W) < V3_Dot(p[lowest], slice.W)) lowest = k;
        start = a[lowest];
        // Without a start crossing a missed target falls back on the
        // outline's first point.
        startPoint = p[0];
    }
    slice.SuggestedSpacing = n > 0 ? length / static_cast<float>(n) : 0.0f;
    int32_t k = 1;
    for (int32_t j = 0; j < n; ++j) {
        float target = start + static_cast<float>(j) * length / static_cast<float>(n);
        if (target > length) target -= length;
        bool hit = false;
        for (int32_t steps = 0; steps < m - 1; ++steps) {
            if (a[k - 1] <= target && target < a[k]) {
                hit = true;
                break;
            }
            k = k + 1 < m ? k + 1 : 1;
        }
        if (!hit) {
            Ortho_Trace("missed target perimeter");
            slice.Points[j] = startPoint;
            continue;
        }
        const float f = (target - a[k - 1]) / ((a[k] - a[k - 1]) + 1.1754944e-38f);
        Vec3 s;
        V3_Scale(1 - f, p[k - 1], s);
        V3_AddScaled(s, f, p[k], slice.Points[j]);
    }
}

}  // namespace

int Slice_Outline(const OrthoSlice& slice, const OrthoMesh& mesh, std::vector<Vec3>& outline) {
    try {
        Plane plane;
        Plane_FromPointNormal(slice.Centre, slice.Normal, plane);
        LinkMap links = CrossingLinks(plane, mesh);
        if (links.empty()) {
            Ortho_Trace("Returning MISS\n");
            return kOrthoMissed;
        }
        std::vector<std::vector<Vec3>> cycles = Cycles(links, plane, mesh);
        for (auto& c : cycles) Orient(c, slice);
        if (cycles.empty()) return kOrthoMissed;
        JoinCycles(cycles);
        outline.swap(cycles[0]);
        return kOrthoOk;
    } catch (const std::bad_alloc&) {
        return kOrthoOutOfMemory;
    }
}

int Slice_PlaneCycles(OrthoSlice& slice, const OrthoMesh& mesh) {
    Ortho_Trace(".");
    std::vector<Vec3> outline;
    const int result = Slice_Outline(slice, mesh, outline);
    if (result != kOrthoOk) return result;
    try {
        Resample(slice, outline);
    } catch (const std::bad_alloc&) {
        return kOrthoOutOfMemory;
    }
    return kOrthoOk;
}
