#include "app/export/cast_inversion.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "app/base/time_stamp.h"
#include "app/export/cast_match.h"
#include "app/scan/kd_tree.h"
#include "app/scan/stylus_items.h"
#include "app/scan/stylus_placement.h"
#include "app/scan/surface_record.h"
#include "app/scan/svd.h"

namespace {

// The mesh as the inversion works on it: copies of the surface's arrays,
// with the per-vertex arrays that the surface lacks left empty.
struct MeshCopy {
    int32_t vertexCount = 0;
    std::vector<Vec3> points, normals;
    std::vector<float> weights, resolutions;
    std::vector<uint8_t> grey;
    std::vector<int32_t> facets;  // three a facet
    std::vector<Vec3> facetNormals;
    int32_t FacetCount() const { return static_cast<int32_t>(facets.size() / 3); }
};

template <class T>
void CopyArray(const T* source, int32_t count, std::vector<T>& out) {
    if (source) out.assign(source, source + count);
}

MeshCopy CopyMesh(const SurfaceRecord& s) {
    MeshCopy m;
    m.vertexCount = s.NumPoints;
    CopyArray(s.Points, s.NumPoints, m.points);
    CopyArray(s.PointNormals, s.NumPoints, m.normals);
    CopyArray(s.Weights, s.NumPoints, m.weights);
    CopyArray(s.Resolutions, s.NumPoints, m.resolutions);
    CopyArray(s.Greyscale, s.NumPoints, m.grey);
    CopyArray(s.Facets, 3 * s.NumFacets, m.facets);
    CopyArray(s.FacetNormals, s.NumFacets, m.facetNormals);
    return m;
}

template <class T>
void WriteBack(const std::vector<T>& source, T* target) {
    if (target && !source.empty()) std::memcpy(target, source.data(), source.size() * sizeof(T));
}

// The compacted mesh never holds more than the surface did, so it goes back
// into the surface's own arrays and committing cannot fail.
void CommitMesh(const MeshCopy& m, SurfaceRecord& s) {
    WriteBack(m.points, s.Points);
    WriteBack(m.normals, s.PointNormals);
    WriteBack(m.weights, s.Weights);
    WriteBack(m.resolutions, s.Resolutions);
    WriteBack(m.grey, s.Greyscale);
    WriteBack(m.facets, s.Facets);
    WriteBack(m.facetNormals, s.FacetNormals);
    s.NumPoints = m.vertexCount;
    s.NumFacets = m.FacetCount();
    // Quads are not part of a fitted surface; none survive a renumbering.
    s.NumQuads = 0;
    s.ExtentsValid = 0;
}

// The two largest regions: one pass over labels 1..n, a region replacing the
// best when strictly larger (the old best becoming second), else the second
// when strictly larger than it.
void TwoLargest(const std::vector<int32_t>& labels, int32_t regionCount, int32_t& first, int32_t& second,
                int64_t& firstSize, int64_t& secondSize) {
    std::vector<int64_t> sizes(regionCount + 1, 0);
    for (int32_t l : labels)
        if (l > 0) ++sizes[l];
    first = second = 0;
    firstSize = secondSize = 0;
    for (int32_t r = 1; r <= regionCount; ++r) {
        if (sizes[r] > firstSize) {
            second = first;
            secondSize = firstSize;
            first = r;
            firstSize = sizes[r];
        } else if (sizes[r] > secondSize) {
            second = r;
            secondSize = sizes[r];
        }
    }
}

// Step 2: the two pieces as labels 1 and 2; false (bad mesh) when there are
// not two, or when more than two and the two largest hold under 95 %.
bool FindPieces(const SurfaceRecord& s, std::vector<int32_t>& labels, CastInvReport& report) {
    labels.assign(s.NumPoints, 0);
    int32_t regions = 0;
    CastInv_GrowRegions(s.NumPoints, s.Facets, s.NumFacets, labels, regions);
    if (regions < 2) {
        report.matchCount = regions;
        return false;
    }
    if (regions == 2) return true;
    int32_t first, second;
    int64_t firstSize, secondSize;
    TwoLargest(labels, regions, first, second, firstSize, secondSize);
    if (static_cast<double>(firstSize + secondSize) < 0.95 * s.NumPoints) return false;
    for (int32_t& l : labels) l = l == first ? 1 : l == second ? 2 : -1;
    return true;
}

// A marker is where the view draws it on the surface: its placement there
// when it has one, never in the inverted frame.
Vec3 ItemPosition(const StylusItem& item) {
    Vec3 p;
    StylusItem_GetPosition(item, true, true, false, p);
    return p;
}

int32_t ItemCount(const StylusItemList& list) { return list.Items ? std::min(list.VisibleCount, list.TotalCount) : 0; }

// Each item's piece (0 when no labelled vertex lies within reach) and its
// distance to the nearest vertex of that piece.
void AssignMarkers(const MeshCopy& m, const StylusItemList& list, const std::vector<int32_t>& labels,
                   std::vector<int32_t>& regions, std::vector<double>& distances) {
    const int32_t n = ItemCount(list);
    std::vector<Vec3> positions(n);
    for (int32_t i = 0; i < n; ++i) positions[i] = ItemPosition(list.Items[i]);
    regions.assign(n, 0);
    distances.assign(n, 1e100);
    KdTree* tree = nullptr;
    struct Free {
        KdTree*& t;
        ~Free() { KdTree_Free(&t); }
    } freeTree{tree};
    if (!KdTree_Build(positions.data(), n, &tree)) throw std::bad_alloc();
    for (int32_t v = 0; v < m.vertexCount; ++v) {
        if (labels[v] <= 0) continue;
        const int32_t found = KdTree_RadiusQuery(tree, m.points[v], static_cast<float>(kCastInvMarkerReach));
        for (int32_t k = 0; k < found; ++k) {
            const int32_t i = tree->Results[k];
            const double d2 = tree->Distances[k];
            if (d2 < distances[i]) {
                distances[i] = d2;
                regions[i] = labels[v];
            }
        }
    }
    for (double& d : distances) d = std::sqrt(d);
}

// Step 3: the markers of the two pieces, in list order. Returns a result
// code, or -1 to go on.
int32_t CollectMarkers(const StylusItemList& list, const std::vector<int32_t>& regions,
                       const std::vector<double>& distances, const CastInvHooks& hooks, std::vector<Vec3>& list1,
                       std::vector<Vec3>& list2) {
    int32_t pointNum = 0;
    for (int32_t i = 0; i < ItemCount(list); ++i) {
        const StylusItem& item = list.Items[i];
        if (item.Flags & (kStylusHidden | kStylusLineHead | kStylusLineMember)) continue;
        ++pointNum;
        if (regions[i] == 0) {
            if (hooks.markerTooFar) hooks.markerTooFar(pointNum, kCastInvMarkerReach);
            continue;
        }
        if (regions[i] != 1 && regions[i] != 2) return kCastInvUnexpected;
        if (distances[i] > kCastInvMarkerDoubt &&
            !(hooks.markerFarQuestion && hooks.markerFarQuestion(distances[i], pointNum)))
            return kCastInvAbandoned;
        (regions[i] == 1 ? list1 : list2).push_back(ItemPosition(item));
    }
    return -1;
}

// Step 5: the transform that moves piece 2's markers onto piece 1's.
int32_t MatchMarkers(const std::vector<Vec3>& list1, const std::vector<Vec3>& list2, int32_t method, Matrix4& transform,
                     CastInvReport& report) {
    const auto n = static_cast<int32_t>(list1.size());
    const auto m = static_cast<int32_t>(list2.size());
    if (method == 1) {
        if (!CastInv_MatchSingle(list1.data(), list2.data(), n, m, transform, report.matchCount, report.greatestError,
                                 report.meanError))
            return kCastInvOutOfMemory;
        if (report.matchCount < 4) return kCastInvTooFewPairs;
        if (report.meanError < 0.0f) return kCastInvAlignFailed;
        return -1;
    }
    if (n != m) return kCastInvParity;
    if (n > kCastMatchPairMaxMarkers) return kCastInvTooManyMarkers;
    if (!CastInv_MatchPair(list1.data(), list2.data(), n, m, transform, report.matchCount, report.greatestError,
                           report.meanError))
        return kCastInvOutOfMemory;
    if (report.meanError < 0.0f) return kCastInvAlignFailed;
    return -1;
}

double RotationDeterminant(const Matrix4& t) {
    Matrix4D d{};
    for (int i = 0; i < 16; ++i) d[i] = t[i];
    return M4D_Determinant3(d);
}

void RotateOnly(const Matrix4& t, const Vec3& v, Vec3& out) {
    Matrix4 r = t;
    r[12] = r[13] = r[14] = 0.0f;
    M4_TransformPoint(r, v, out);
}

void Negate(Vec3& v) { v = Vec3{-v.x, -v.y, -v.z}; }

// Piece 2 onto piece 1, then the whole mesh inside out; piece 2's stylus
// items get their pose on the inverted cast.
void ApplyInversion(const Matrix4& t, const std::vector<int32_t>& labels, MeshCopy& m, std::vector<StylusItem>& items,
                    const std::vector<int32_t>& regions) {
    for (int32_t v = 0; v < m.vertexCount; ++v) {
        if (labels[v] != 2) continue;
        M4_TransformPoint(t, m.points[v], m.points[v]);
        if (!m.normals.empty()) RotateOnly(t, m.normals[v], m.normals[v]);
    }
    for (Vec3& n : m.normals) Negate(n);
    for (int32_t f = 0; f < m.FacetCount(); ++f) {
        int32_t* c = &m.facets[3 * f];
        if (!m.facetNormals.empty()) {
            if (labels[c[0]] == 2) RotateOnly(t, m.facetNormals[f], m.facetNormals[f]);
            Negate(m.facetNormals[f]);
        }
        std::swap(c[0], c[2]);
    }
    for (size_t i = 0; i < regions.size(); ++i) {
        if (regions[i] != 2) continue;
        M4_Multiply(t, items[i].Pose, items[i].FourthPose);
        items[i].Flags |= kStylusInverted;
    }
}

// Removes the vertices labelled below 1, keeping the others' order and every
// array the mesh has; facets on a removed vertex go, the rest are renumbered.
void CompactMesh(MeshCopy& m, std::vector<int32_t>& labels) {
    std::vector<int32_t> newIndex(m.vertexCount, -1);
    int32_t kept = 0;
    for (int32_t v = 0; v < m.vertexCount; ++v) {
        if (labels[v] < 1) continue;
        newIndex[v] = kept;
        m.points[kept] = m.points[v];
        if (!m.normals.empty()) m.normals[kept] = m.normals[v];
        if (!m.weights.empty()) m.weights[kept] = m.weights[v];
        if (!m.resolutions.empty()) m.resolutions[kept] = m.resolutions[v];
        if (!m.grey.empty()) m.grey[kept] = m.grey[v];
        labels[kept] = labels[v];
        ++kept;
    }
    auto shrink = [kept](auto& a) {
        if (!a.empty()) a.resize(kept);
    };
    shrink(m.points), shrink(m.normals), shrink(m.weights), shrink(m.resolutions), shrink(m.grey);
    labels.resize(kept);
    m.vertexCount = kept;
    int32_t facetsKept = 0;
    for (int32_t f = 0; f < m.FacetCount(); ++f) {
        const int32_t* c = &m.facets[3 * f];
        if (newIndex[c[0]] < 0 || newIndex[c[1]] < 0 || newIndex[c[2]] < 0) continue;
        const int32_t renumbered[3] = {newIndex[c[0]], newIndex[c[1]], newIndex[c[2]]};
        std::copy(renumbered, renumbered + 3, &m.facets[3 * facetsKept]);
        if (!m.facetNormals.empty()) m.facetNormals[facetsKept] = m.facetNormals[f];
        ++facetsKept;
    }
    m.facets.resize(3 * facetsKept);
    if (!m.facetNormals.empty()) m.facetNormals.resize(facetsKept);
}

// Trims a band about one trim range wide along the seam, keeps the two
// largest pieces of what is left and compacts the mesh.
void SegmentRegions(MeshCopy& m, std::vector<int32_t>& labels, float trimRange) {
    std::vector<uint8_t> marked(m.vertexCount, 0);
    KdTree* tree = nullptr;
    struct Free {
        KdTree*& t;
        ~Free() { KdTree_Free(&t); }
    } freeTree{tree};
    if (!KdTree_Build(m.points.data(), m.vertexCount, &tree)) throw std::bad_alloc();
    for (int32_t v = 0; v < m.vertexCount; ++v) {
        if (labels[v] < 1) {
            marked[v] = 1;
            continue;
        }
        const int32_t found = KdTree_RadiusQuery(tree, m.points[v], 0.5f * trimRange);
        for (int32_t k = 0; k < found && !marked[v]; ++k) {
            const int32_t other = labels[tree->Results[k]];
            marked[v] = other > 0 && other != labels[v];
        }
    }
    int32_t facetsKept = 0;
    for (int32_t f = 0; f < m.FacetCount(); ++f) {
        const int32_t* c = &m.facets[3 * f];
        if (marked[c[0]] || marked[c[1]] || marked[c[2]]) continue;
        std::copy(c, c + 3, &m.facets[3 * facetsKept]);
        if (!m.facetNormals.empty()) m.facetNormals[facetsKept] = m.facetNormals[f];
        ++facetsKept;
    }
    m.facets.resize(3 * facetsKept);
    if (!m.facetNormals.empty()) m.facetNormals.resize(facetsKept);

    std::vector<int32_t> trimmed(m.vertexCount, 0);
    int32_t regions = 0;
    CastInv_GrowRegions(m.vertexCount, m.facets.data(), m.FacetCount(), trimmed, regions);
    int32_t first, second;
    int64_t firstSize, secondSize;
    TwoLargest(trimmed, regions, first, second, firstSize, secondSize);
    for (int32_t v = 0; v < m.vertexCount; ++v)
        if (trimmed[v] != first && trimmed[v] != second) labels[v] = -1;
    CompactMesh(m, labels);
}

// Pushes piece 2 away from piece 1 by the cut width, across the plane of
// piece 1's markers (the cut face). Which side is "away" comes from piece 1's
// centroid measured from that plane, not from the coordinate origin: the
// origin (the tracker) may lie anywhere. False when no plane can be fitted.
bool OffsetCut(const std::vector<Vec3>& list1, MeshCopy& m, const std::vector<int32_t>& labels,
               std::vector<StylusItem>& items, const std::vector<int32_t>& regions, float cutWidth) {
    std::vector<Vec3D> markers(list1.size());
    for (size_t i = 0; i < list1.size(); ++i) markers[i] = Vec3D{list1[i].x, list1[i].y, list1[i].z};
    Vec3D onPlane{}, normal{};
    if (!Svd_FitPlaneOrLine(static_cast<int32_t>(markers.size()), markers.data(), onPlane, nullptr, &normal, nullptr,
                            nullptr, nullptr))
        return false;
    Vec3D centroid{0, 0, 0};
    int64_t count = 0;
    for (int32_t v = 0; v < m.vertexCount; ++v) {
        if (labels[v] != 1) continue;
        centroid.x += m.points[v].x, centroid.y += m.points[v].y, centroid.z += m.points[v].z;
        ++count;
    }
    if (count > 0) centroid = Vec3D{centroid.x / count, centroid.y / count, centroid.z / count};
    const double side =
        normal.x * (centroid.x - onPlane.x) + normal.y * (centroid.y - onPlane.y) + normal.z * (centroid.z - onPlane.z);
    Vec3 n{static_cast<float>(normal.x), static_cast<float>(normal.y), static_cast<float>(normal.z)};
    if (side > 0.0) Negate(n);
    V3_Normalise(n, n);
    for (int32_t v = 0; v < m.vertexCount; ++v)
        if (labels[v] == 2) V3_AddScaled(m.points[v], cutWidth, n, m.points[v]);
    for (size_t i = 0; i < regions.size(); ++i) {
        if (regions[i] != 2) continue;
        items[i].FourthPose[12] += cutWidth * n.x;
        items[i].FourthPose[13] += cutWidth * n.y;
        items[i].FourthPose[14] += cutWidth * n.z;
    }
    return true;
}

int32_t Align(SurfaceRecord& surface, StylusItemList& stylus, float cutWidth, float trimRange, int32_t method,
              const CastInvHooks& hooks, CastInvReport& report) {
    if (surface.NumPoints < 1 || surface.NumFacets < 1 || !surface.Points || !surface.Facets) return kCastInvBadMesh;
    std::vector<int32_t> labels;
    if (!FindPieces(surface, labels, report)) return kCastInvBadMesh;
    MeshCopy mesh = CopyMesh(surface);
    std::vector<int32_t> regions;
    std::vector<double> distances;
    AssignMarkers(mesh, stylus, labels, regions, distances);
    std::vector<Vec3> list1, list2;
    int32_t code = CollectMarkers(stylus, regions, distances, hooks, list1, list2);
    if (code >= 0) return code;
    if (list1.size() < 4 || list2.size() < 4) {
        report.matchCount = 0;
        return kCastInvTooFewPairs;
    }
    Matrix4 transform;
    M4_Identity(transform);
    code = MatchMarkers(list1, list2, method, transform, report);
    if (code >= 0) return code;
    if (RotationDeterminant(transform) < 0.0) return kCastInvMirrored;

    std::vector<StylusItem> items(stylus.Items, stylus.Items + ItemCount(stylus));
    ApplyInversion(transform, labels, mesh, items, regions);
    SegmentRegions(mesh, labels, trimRange);
    if (!OffsetCut(list1, mesh, labels, items, regions, cutWidth)) return kCastInvAlignFailed;

    CommitMesh(mesh, surface);
    std::copy(items.begin(), items.end(), stylus.Items);
    stylus.ReplaceNeeded = 1;
    Time_Now(surface.ChangeTime);
    // The inverted mesh differs from anything saved or exported.
    surface.Saved = 0;
    return kCastInvOk;
}

}  // namespace

void CastInv_GrowRegions(int32_t vertexCount, const int32_t* facets, int32_t facetCount, std::vector<int32_t>& labels,
                         int32_t& regionCount) {
    // Neighbour lists in one array, each vertex's neighbours together.
    std::vector<int32_t> start(vertexCount + 1, 0);
    for (int32_t k = 0; k < 3 * facetCount; ++k) start[facets[k] + 1] += 2;
    for (int32_t v = 0; v < vertexCount; ++v) start[v + 1] += start[v];
    std::vector<int32_t> next(start.begin(), start.end() - 1);
    std::vector<int32_t> neighbours(start[vertexCount]);
    for (int32_t f = 0; f < facetCount; ++f) {
        const int32_t* c = facets + 3 * f;
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b)
                if (a != b) neighbours[next[c[a]]++] = c[b];
    }
    labels.resize(vertexCount, 0);
    regionCount = 0;
    std::vector<int32_t> stack;
    for (int32_t seed = 0; seed < vertexCount; ++seed) {
        if (labels[seed] != 0) continue;
        labels[seed] = ++regionCount;
        stack.push_back(seed);
        while (!stack.empty()) {
            const int32_t v = stack.back();
            stack.pop_back();
            for (int32_t k = start[v]; k < start[v + 1]; ++k) {
                const int32_t w = neighbours[k];
                if (labels[w] != 0) continue;
                labels[w] = regionCount;
                stack.push_back(w);
            }
        }
    }
}

int32_t CastInv_Align(SurfaceRecord& surface, StylusItemList& stylus, float cutWidth, float trimRange, int32_t method,
                      const CastInvHooks& hooks, CastInvReport& report) {
    report = CastInvReport{};
    try {
        return Align(surface, stylus, cutWidth, trimRange, method, hooks, report);
    } catch (const std::bad_alloc&) {
        return kCastInvOutOfMemory;
    }
}
