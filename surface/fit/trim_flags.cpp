#include "surface/fit/trim_flags.h"

#include "surface/fit/mesh_topology.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/mesh3.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/search/kd_tree_packed.h"

namespace {

template <int kDim>
struct Tree;
template <>
struct Tree<2> {
    KdTree2 tree;
    bool Build(int32_t n, const double* p) { return KdTree2_Build(n, p, &tree, nullptr) != 0; }
    void Query(const double* p, const double* box, int32_t limit, int32_t* out, int32_t* count) const {
        KdTree2_BoxQuery(&tree, p, box, limit, out, count);
    }
    void Free() { KdTree2_Free(&tree); }
};
template <>
struct Tree<3> {
    KdTree3 tree;
    bool Build(int32_t n, const double* p) { return KdTree3_Build(n, p, &tree, nullptr) != 0; }
    void Query(const double* p, const double* box, int32_t limit, int32_t* out, int32_t* count) const {
        KdTree3_BoxQuery(&tree, p, box, limit, out, count);
    }
    void Free() { KdTree3_Free(&tree); }
};

// The trim set with its tree and a buffer of one index a trim point.
template <int kDim>
struct TrimSet {
    Tree<kDim> tree{};
    int32_t* buffer = nullptr;
    int32_t count = 0;
    const double* points = nullptr;

    bool Init(int32_t n, const double* p) {
        count = n;
        points = p;
        if (!tree.Build(n, p)) return false;
        buffer = Mem_AllocInts(n > 0 ? n : 1);
        return buffer != nullptr;
    }
    void Free() {
        tree.Free();
        Mem_Free(buffer);
        buffer = nullptr;
    }
    // True when some trim point inside the box of half-width d lies at a
    // squared distance below d².
    bool Near(const double* p, double d) {
        double box[2 * kDim];
        for (int k = 0; k < kDim; ++k) {
            box[k] = p[k] - d;
            box[kDim + k] = p[k] + d;
        }
        int32_t listed = 0;
        if (count > 0) tree.Query(points, box, count, buffer, &listed);
        const double limit = d * d;
        for (int32_t j = 0; j < listed; ++j) {
            const double* q = points + kDim * static_cast<int64_t>(buffer[j]);
            double s = 0.0;
            for (int k = 0; k < kDim; ++k) s += (p[k] - q[k]) * (p[k] - q[k]);
            if (s < limit) return true;
        }
        return false;
    }
};

void ReportNoMemory(const CoreReporter* reporter) {
    if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "Memory allocation failed");
}

template <int kDim>
int TrimFlags(int32_t count, const double* points, int32_t trimCount, const double* trimPoints, double distance,
              int32_t* flags, const CoreReporter* reporter) {
    TrimSet<kDim> set;
    if (!set.Init(trimCount, trimPoints)) {
        set.Free();
        ReportNoMemory(reporter);
        return CoreStatus_NoMemory;
    }
    int status = CoreStatus_Success;
    for (int32_t i = 0; i < count; ++i) {
        flags[i] = set.Near(points + kDim * static_cast<int64_t>(i), distance) ? 0 : 1;
        // An abort is the caller's request, not a lack of memory.
        if (CoreReporter_AbortRequested(reporter)) {
            status = CoreStatus_UserAbort;
            break;
        }
        CoreReporter_SetProgress(reporter, 0.95 * i / count);
    }
    set.Free();
    return status;
}

}  // namespace

int TrimFlags2(int32_t count, const double* points, int32_t trimCount, const double* trimPoints, double distance,
               int32_t* flags, const CoreReporter* reporter) {
    return TrimFlags<2>(count, points, trimCount, trimPoints, distance, flags, reporter);
}

int TrimFlags3(int32_t count, const double* points, int32_t trimCount, const double* trimPoints, double distance,
               int32_t* flags, const CoreReporter* reporter) {
    return TrimFlags<3>(count, points, trimCount, trimPoints, distance, flags, reporter);
}

int Mesh3_BoundaryTrimFlags(const Mesh3* mesh, int32_t trimCount, const double* trimPoints, double distance,
                            int32_t* flags, const CoreReporter* reporter) {
    const PointList3& points = mesh->Points;
    const FaceList& faces = mesh->Faces;
    MeshTopology topology;
    int status = MeshTopology_Build(points.Count, points.Location, faces.Tri ? faces.TriCount : 0, faces.Tri,
                                    faces.Quad ? faces.QuadCount : 0, faces.Quad, &topology, 0);
    if (status != CoreStatus_Success) return status;
    if (CoreReporter_AbortRequested(reporter)) {
        MeshTopology_Free(&topology);
        return CoreStatus_UserAbort;
    }
    TrimSet<3> set;
    if (!set.Init(trimCount, trimPoints)) {
        set.Free();
        MeshTopology_Free(&topology);
        return CoreStatus_NoMemory;
    }
    // States: 0 unknown, -1 near, 1 far.
    for (int32_t i = 0; i < points.Count; ++i) flags[i] = 0;
    auto far = [&](int32_t v) {
        if (flags[v] == 0) flags[v] = set.Near(points.Location + 3 * static_cast<int64_t>(v), distance) ? -1 : 1;
        return flags[v] == 1;
    };
    // The walk always works on the head: a kept edge leaves the list, and a
    // removed face pushes its neighbours' new boundary edges at the head.
    while (EdgeNode* edge = topology.OpenHead) {
        if (CoreReporter_AbortRequested(reporter)) {
            status = CoreStatus_UserAbort;
            break;
        }
        const bool fromFar = far(edge->From);
        const bool toFar = far(edge->To);
        if (fromFar || toFar) {
            EdgeTable_RemoveFace(edge->Face, &topology);
            // A face whose edges cannot all be found again (a corner repeated
            // within it) must not hold the walk on this edge.
            if (topology.OpenHead == edge) EdgeTable_PopOpen(&topology);
        } else {
            EdgeTable_PopOpen(&topology);
        }
    }
    if (status == CoreStatus_Success) {
        for (int32_t i = 0; i < points.Count; ++i) {
            if (flags[i] == -1) flags[i] = 0;
            if (!topology.Lists[i]) flags[i] = 1;
        }
    }
    set.Free();
    MeshTopology_Free(&topology);
    return status;
}
