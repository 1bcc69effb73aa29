#include "surface/eval/isosurface.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "surface/eval/rapid_surf.h"
#include "surface/fit/eval_operations.h"
#include "surface/frame/mesh3.h"
#include "surface/frame/operation_frame.h"
#include "surface/frame/point_list.h"
#include "surface/frame/reporter.h"
#include "surface/frame/solution.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/io/temp_file.h"

bool Isosurf_FaceCornersValid(Reporter* reporter, int32_t corners, const int32_t* v, int32_t vertices, int32_t number) {
    for (int32_t k = 0; k < corners; ++k)
        if (v[k] < 0 || v[k] >= vertices) {
            if (corners == 3)
                Reporter_Error(reporter, "Invalid Tri[%d]: %d %d %d", number, v[0], v[1], v[2]);
            else
                Reporter_Error(reporter, "Invalid Quad[%d]: %d %d %d %d", number, v[0], v[1], v[2], v[3]);
            return false;
        }
    return true;
}

namespace {

struct SinkContext {
    const Solution3* solution;
    EvalWorkspace** workspace;
    EvalAttributes eval;
    Mesh3* mesh;
    unsigned char* triCaps;
    unsigned char* quadCaps;
    int32_t triCapCapacity, quadCapCapacity;
    Reporter* reporter;
    Reporter inner;
    int32_t status;  // API status of the last failed callback
    int32_t capNormals;
    int32_t reverse;
    PointList3 one;
    int32_t shell;
    double shellThreshold;
    IsoFileSink* file;
};

// The inner reporter hands the evaluations' messages to the caller's
// callback unchanged.
int ForwardMessage(Reporter* inner, int32_t level, const char* format, va_list args) {
    auto* caller = static_cast<Reporter*>(inner->user);
    return caller != nullptr && caller->callback != nullptr ? caller->callback(caller, level, format, args) : 0;
}

int Print(void* user, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = Reporter_AtLevelV(static_cast<Reporter*>(user), kLevelDebug, format, args);
    va_end(args);
    return result;
}

int Evaluate(const double* p, double* value, double* gradient, SinkContext* c) {
    double location[3] = {p[0], p[1], p[2]};
    c->one.Location = location;
    c->one.Value = value;
    c->one.Gradient = gradient;
    const int status =
        Selvane_PointEval3(c->solution, &c->eval, c->workspace, &c->one, -1, gradient != nullptr ? 1 : 0, &c->inner);
    c->one.Location = c->one.Value = c->one.Gradient = nullptr;
    if (status != 0) {
        c->status = status;
        return RAPIDSURF_EVAL_ERROR;
    }
    // A shell folds the function about t: both sheets are its zero set.
    if (c->shell && *value < c->shellThreshold) {
        *value = 2.0 * c->shellThreshold - *value;
        if (gradient != nullptr)
            for (int k = 0; k < 3; ++k) gradient[k] = -gradient[k];
    }
    return 0;
}

int Isosurf_Value(const double* p, double* value, void* user) {
    return Evaluate(p, value, nullptr, static_cast<SinkContext*>(user));
}

int Isosurf_ValueGradient(const double* p, double* value, double* gradient, void* user) {
    return Evaluate(p, value, gradient, static_cast<SinkContext*>(user));
}

int32_t Grown(int32_t capacity) {
    // At least one more: a list that starts empty must still grow.
    const int32_t grown = static_cast<int32_t>(capacity * 1.4);
    return grown > capacity ? grown : capacity + 1;
}

int Isosurf_AddVertex(const double* location, const double* gradient, void* user) {
    auto* c = static_cast<SinkContext*>(user);
    PointList3* points = &c->mesh->Points;
    if (points->Count == points->Capacity) {
        const int status = PointList3_SetCapacity(points, Grown(points->Capacity));
        if (status != 0) {
            c->status = status == ApiStatus_NoMemory ? ApiStatus_NoMemory : ApiStatus_InternalError;
            Reporter_Error(c->reporter, status == ApiStatus_NoMemory
                                            ? "Memory allocation failed while adding to point list"
                                            : "Internal error while adding to point list");
            return RAPIDSURF_VERTEX_ERROR;
        }
    }
    std::memcpy(points->Location + 3 * points->Count, location, 3 * sizeof(double));
    if (gradient != nullptr && points->Gradient != nullptr)
        std::memcpy(points->Gradient + 3 * points->Count, gradient, 3 * sizeof(double));
    ++points->Count;
    return 0;
}

// Which box face a closing face lies on (by its normal's dominant axis), or
// 1 for an ordinary face.
unsigned char CapFlag(const Mesh3* mesh, const int32_t* v, int32_t boundary) {
    if (boundary != 1) return 1;
    const double* p0 = mesh->Points.Location + 3 * v[0];
    const double* p1 = mesh->Points.Location + 3 * v[1];
    const double* p2 = mesh->Points.Location + 3 * v[2];
    const double a[3] = {p0[0] - p1[0], p0[1] - p1[1], p0[2] - p1[2]};
    const double b[3] = {p0[0] - p2[0], p0[1] - p2[1], p0[2] - p2[2]};
    const double n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    const double x = n[0] < 0 ? -n[0] : n[0], y = n[1] < 0 ? -n[1] : n[1], z = n[2] < 0 ? -n[2] : n[2];
    if (z > x && z > y) return n[2] > 0 ? 32 : 64;
    if (y > x) return n[1] > 0 ? 8 : 16;
    return n[0] > 0 ? 2 : 4;
}

bool GrowCaps(unsigned char** caps, int32_t* capacity, int32_t wanted) {
    if (wanted <= *capacity) return true;
    auto* grown = static_cast<unsigned char*>(std::realloc(*caps, static_cast<size_t>(wanted)));
    if (grown == nullptr) return false;
    std::memset(grown + *capacity, 0, static_cast<size_t>(wanted - *capacity));
    *caps = grown;
    *capacity = wanted;
    return true;
}

bool CheckCorners(SinkContext* c, int32_t corners, const int32_t* v, int32_t vertices, int32_t number) {
    if (Isosurf_FaceCornersValid(c->reporter, corners, v, vertices, number)) return true;
    c->status = ApiStatus_InternalError;
    return false;
}

int Isosurf_AddFace(int32_t corners, const int32_t* v, int32_t boundary, void* user) {
    auto* c = static_cast<SinkContext*>(user);
    if (corners != 3 && corners != 4) {
        Reporter_Error(c->reporter, "Invalid face size encountered.");
        c->status = ApiStatus_InternalError;
        return RAPIDSURF_FACET_ERROR;
    }
    FaceList* faces = &c->mesh->Faces;
    const bool tri = corners == 3;
    int32_t& count = tri ? faces->TriCount : faces->QuadCount;
    const int32_t capacity = tri ? faces->TriCapacity : faces->QuadCapacity;
    if (!CheckCorners(c, corners, v, c->mesh->Points.Count, count)) return RAPIDSURF_FACET_ERROR;
    if (count == capacity) {
        const int32_t wanted = Grown(capacity);
        int status = tri ? FaceList_Resize(faces, wanted, 0) : FaceList_Resize(faces, 0, wanted);
        if (status == 0 && c->capNormals &&
            !(tri ? GrowCaps(&c->triCaps, &c->triCapCapacity, wanted)
                  : GrowCaps(&c->quadCaps, &c->quadCapCapacity, wanted)))
            status = ApiStatus_NoMemory;
        if (status != ApiStatus_Success) {
            c->status = status == ApiStatus_NoMemory ? ApiStatus_NoMemory : ApiStatus_InternalError;
            Reporter_Error(c->reporter, status == ApiStatus_NoMemory
                                            ? "Memory allocation failed while adding to face list"
                                            : "Internal error while adding to face list");
            return RAPIDSURF_FACET_ERROR;
        }
    }
    int32_t* out = (tri ? faces->Tri : faces->Quad) + corners * count;
    for (int32_t k = 0; k < corners; ++k) out[k] = c->reverse ? v[corners - 1 - k] : v[k];
    if (c->capNormals) (tri ? c->triCaps : c->quadCaps)[count] = CapFlag(c->mesh, out, boundary);
    ++count;
    return 0;
}

int Isosurf_FileVertex(const double* location, const double*, void* user) {
    auto* c = static_cast<SinkContext*>(user);
    IsoFileSink* f = c->file;
    if (std::fwrite(location, sizeof(double), 3, f->VertexFile) != 3) {
        c->status = ApiStatus_FileWriteFailed;
        return RAPIDSURF_VERTEX_ERROR;
    }
    ++f->Vertices;
    if (c->reporter != nullptr)
        Reporter_SetProgress(c->reporter, static_cast<int64_t>(f->Vertices * 0.1) + (f->Triangles + f->Quads) * 1e-9);
    return 0;
}

int Isosurf_FileFace(int32_t corners, const int32_t* v, int32_t, void* user) {
    auto* c = static_cast<SinkContext*>(user);
    IsoFileSink* f = c->file;
    if (corners != 3 && corners != 4) {
        Reporter_Error(c->reporter, "Invalid face size encountered.");
        c->status = ApiStatus_InternalError;
        return RAPIDSURF_FACET_ERROR;
    }
    const int32_t number = corners == 3 ? f->Triangles : f->Quads;
    if (!CheckCorners(c, corners, v, f->Vertices, number)) return RAPIDSURF_FACET_ERROR;
    int32_t out[4];
    for (int32_t k = 0; k < corners; ++k) out[k] = c->reverse ? v[corners - 1 - k] : v[k];
    std::FILE* file = corners == 3 ? f->TriangleFile : f->QuadFile;
    if (std::fwrite(out, sizeof(int32_t), static_cast<size_t>(corners), file) != static_cast<size_t>(corners)) {
        c->status = ApiStatus_FileWriteFailed;
        return RAPIDSURF_FACET_ERROR;
    }
    ++(corners == 3 ? f->Triangles : f->Quads);
    return 0;
}

int Refuse(Reporter* reporter, int status, const char* text) {
    Reporter_Error(reporter, "%s", text);
    return status;
}

int CheckArguments(const Solution3* solution, double resolution, const double* lo, const double* hi,
                   const IsosurfAttributes* a, Reporter* reporter) {
    if (!Solution3_Check(solution, reporter)) return ApiStatus_BadSolution;
    if (!(resolution > 0.0)) {
        Reporter_Error(reporter, "Resolution argument is negative or zero: %g", resolution);
        return ApiStatus_NegativeDistance;
    }
    if (lo == nullptr || hi == nullptr)
        return Refuse(reporter, ApiStatus_NegativeDistance, "Min is greater than or equal to Max");
    for (int k = 0; k < 3; ++k)
        if (!(lo[k] < hi[k]))
            return Refuse(reporter, ApiStatus_NegativeDistance, "Min is greater than or equal to Max");
    if (a == nullptr) return 0;
    if (a->CapStyle < 0 || a->CapStyle > 2 || a->MeshStyle < 0 || a->MeshStyle > 2 || a->FaceStyle < 0 ||
        a->FaceStyle > 2)
        return Refuse(reporter, ApiStatus_BadAttributes, "Invalid isosurface attributes");
    if (a->Seeds != nullptr && !PointList3_Check(a->Seeds, "Seeds", 1, reporter, 0, 0, 0, 0, 0))
        return Refuse(reporter, ApiStatus_BadAttributes, "Could not get seeds from pointlist");
    if (a->FitToBoundingBox < 0 || a->FitToBoundingBox > 7)
        return Refuse(reporter, ApiStatus_BadAttributes, "Fit-to-bounding-box attribute out of range");
    if (a->ShellThickness < 0.0)
        return Refuse(reporter, ApiStatus_BadAttributes,
                      "Shell thickness has negative value; must be zero or positive");
    return 0;
}

void InfoLines(const Solution3* solution, const EvalAttributes* eval, bool passed, double isovalue, double resolution,
               const double* lo, const double* hi, const IsosurfAttributes& a, Reporter* r) {
    if (r == nullptr || r->callback == nullptr || r->maximumLevel <= 4) return;
    static const char* const meshStyles[] = {"Optimized", "Vertices on x-y planes", "No mesh optimisation"};
    static const char* const faceStyles[] = {"Triangles only", "Quadrilaterals only", "Triangles and Quadrilaterals"};
    static const char* const capStyles[] = {"Open", "Closed. Outside is below threshold",
                                            "Closed. Outside is above threshold"};
    static const char* const fits[] = {"None", "x", "y", "x and y", "z", "x and z", "y and z", "x and y and z"};
    Reporter_Value(r, "Isosurface Value", "%g", isovalue);
    Reporter_Value(r, "Resolution", "%g", resolution);
    Reporter_Value(r, "Region Min", "% g % g % g", lo[0], lo[1], lo[2]);
    Reporter_Value(r, "Region Max", "% g % g % g", hi[0], hi[1], hi[2]);
    Reporter_Value(r, "Number of RBF Centres", "%d", solution->CentreCount);
    Reporter_Value(r, "Using Passed Workspace", "%s", passed ? "Yes" : "No");
    Reporter_Value(r, "Evaluation Accuracy", "%g",
                   eval->EvalAccuracy > 0.0 ? eval->EvalAccuracy : solution->DefaultEvalAccuracy);
    if (eval->LowPassFilterWidth > 0.0) Reporter_Value(r, "Low Pass Filter Width", "%g", eval->LowPassFilterWidth);
    if (a.SeedLimit < 1)
        Reporter_Value(r, "Seed Limit", "None");
    else
        Reporter_Value(r, "Seed Limit", "%d", a.SeedLimit);
    if (a.Seeds != nullptr)
        Reporter_Value(r, "Seeds", "%d from list", a.Seeds->Count);
    else
        Reporter_Value(r, "Seeds", "RBF centres");
    Reporter_Value(r, "Mesh Style", "%s", meshStyles[a.MeshStyle]);
    if (a.ShellThickness > 0.0) Reporter_Value(r, "Shell Thickness", "%g", a.ShellThickness);
    Reporter_Value(r, "Face Style", "%s", faceStyles[a.FaceStyle]);
    Reporter_Value(r, "Cap Style", "%s", capStyles[a.CapStyle]);
    Reporter_Value(r, "Fit To Bounding Box", "%s", fits[a.FitToBoundingBox]);
    Reporter_Value(r, "Transform Bounding Box", "%s", a.TransformBoundingBox ? "Yes" : "No");
    Reporter_Value(r, "Returning Normals", "%s", a.ReturnNormals ? "Yes" : "No");
    if (a.OrientationMatrix != nullptr) {
        const double* m = a.OrientationMatrix;
        Reporter_Value(r, "Orientation matrix", "%g,%g,%g,%g;%g,%g,%g,%g;%g,%g,%g,%g;%g,%g,%g,%g", m[0], m[1], m[2],
                       m[3], m[4], m[5], m[6], m[7], m[8], m[9], m[10], m[11], m[12], m[13], m[14], m[15]);
    }
}

// Splits the vertices of cap faces: each vertex keeps its lowest cap bit and
// a copy is made for every further one, so that every cap face can carry the
// exact axis normal of its box face.
void SplitCapVertices(SinkContext* c) {
    Mesh3* mesh = c->mesh;
    PointList3* points = &mesh->Points;
    FaceList* faces = &mesh->Faces;
    const int32_t n = points->Count;
    auto* bits = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(n) + 1, 1));
    auto* firstCopy = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * (static_cast<size_t>(n) + 1)));
    if (bits == nullptr || firstCopy == nullptr) {
        std::free(bits);
        std::free(firstCopy);
        Reporter_Error(c->reporter, "Memory allocation failed");
        return;
    }
    for (int32_t f = 0; f < faces->TriCount; ++f)
        for (int k = 0; k < 3; ++k) bits[faces->Tri[3 * f + k]] |= c->triCaps[f];
    for (int32_t f = 0; f < faces->QuadCount; ++f)
        for (int k = 0; k < 4; ++k) bits[faces->Quad[4 * f + k]] |= c->quadCaps[f];
    int32_t extra = 0;
    for (int32_t v = 0; v < n; ++v)
        for (int b = 0; b < 7; ++b) extra += (bits[v] >> b) & 1;
    for (int32_t v = 0; v < n; ++v) extra -= bits[v] != 0;
    if (extra > 0 && points->Capacity < n + extra && PointList3_SetCapacity(points, n + extra) != 0) {
        Reporter_Error(c->reporter, "Memory allocation failed");
        std::free(bits);
        std::free(firstCopy);
        return;
    }
    // Copy k of vertex v carries the k-th further set bit.
    for (int32_t v = 0; v < n; ++v) {
        if (bits[v] == 0) {
            Reporter_Warning(c->reporter, "Unused point? (%d)", v);
            firstCopy[v] = -1;
            continue;
        }
        firstCopy[v] = -1;
        bool first = true;
        for (int b = 0; b < 7; ++b) {
            if (!((bits[v] >> b) & 1)) continue;
            if (first) {
                first = false;
                continue;
            }
            const int32_t copy = points->Count++;
            if (firstCopy[v] < 0) firstCopy[v] = copy;
            std::memcpy(points->Location + 3 * copy, points->Location + 3 * v, 3 * sizeof(double));
            std::memcpy(points->Gradient + 3 * copy, points->Gradient + 3 * v, 3 * sizeof(double));
        }
    }
    // The bit each point carries, and its normal by that bit.
    auto lowest = [](unsigned b) {
        int k = 0;
        while (k < 7 && !((b >> k) & 1)) ++k;
        return k;
    };
    auto carried = [&](int32_t v, unsigned char faceBit) -> int32_t {
        // The point (vertex or copy) of v that carries faceBit.
        const unsigned b = bits[v];
        if (lowest(b) == lowest(faceBit)) return v;
        int32_t at = firstCopy[v];
        for (int k = lowest(b) + 1; k < 7; ++k) {
            if (!((b >> k) & 1)) continue;
            if ((1u << k) == faceBit) return at;
            ++at;
        }
        return v;
    };
    static const double axis[7][3] = {{0, 0, 0}, {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (int32_t v = 0; v < n; ++v) {
        const int k = lowest(bits[v]);
        if (k >= 1 && k < 7) std::memcpy(points->Gradient + 3 * v, axis[k], 3 * sizeof(double));
        int32_t at = firstCopy[v];
        for (int b = k + 1; b < 7 && at >= 0; ++b)
            if ((bits[v] >> b) & 1) std::memcpy(points->Gradient + 3 * at++, axis[b], 3 * sizeof(double));
    }
    for (int32_t f = 0; f < faces->TriCount; ++f)
        for (int k = 0; k < 3; ++k) faces->Tri[3 * f + k] = carried(faces->Tri[3 * f + k], c->triCaps[f]);
    for (int32_t f = 0; f < faces->QuadCount; ++f)
        for (int k = 0; k < 4; ++k) faces->Quad[4 * f + k] = carried(faces->Quad[4 * f + k], c->quadCaps[f]);
    std::free(bits);
    std::free(firstCopy);
}

}  // namespace

IsosurfAttributes* SetIsosurfAttrDefaults(IsosurfAttributes* a) {
    if (a == nullptr) return nullptr;
    std::memset(a, 0, sizeof *a);
    a->FitToBoundingBox = 7;
    a->SeedLimit = 1;
    a->TransformBoundingBox = 1;
    return a;
}

namespace {

// The gradient at every vertex, evaluated under the operation's own reporter
// so that its progress is seen and its abort obeyed; only errors are said,
// and the operation keeps its number and start. A failed evaluation leaves
// normals that were never written: it fails the operation.
int VertexGradients(const Solution3* solution, SinkContext* c, Mesh3* mesh, Reporter* reporter) {
    if (reporter == nullptr) return Selvane_PointEval3(solution, &c->eval, c->workspace, &mesh->Points, -1, 1, nullptr);
    const Reporter kept = *reporter;
    reporter->maximumLevel = kept.maximumLevel > 1 ? 1 : kept.maximumLevel;
    const int status = Selvane_PointEval3(solution, &c->eval, c->workspace, &mesh->Points, -1, 1, reporter);
    reporter->maximumLevel = kept.maximumLevel;
    reporter->operation = kept.operation;
    reporter->startClock = kept.startClock;
    return status;
}

// The end of the operation's frame: its peak memory, progress 1 on success,
// the time taken.
int FinishFrame(Reporter* reporter, int status) {
    Reporter_Value(reporter, "Peak Memory Used", "%dMB", static_cast<int>(Mem_PeakBytes() >> 20));
    if (status == 0) Reporter_SetProgress(reporter, 1.0);
    return OperationFrame_Refuse(reporter, status);
}

}  // namespace

int IsosurfaceCore(const Solution3* solution, const EvalAttributes* evalAttributes, EvalWorkspace** workspace,
                   Mesh3* mesh, IsoFileSink* fileSink, double isovalue, double resolution, const double* regionMin,
                   const double* regionMax, const IsosurfAttributes* attributes, Reporter* reporter) {
    if (int status = CheckArguments(solution, resolution, regionMin, regionMax, attributes, reporter)) return status;
    Reporter_SetProgress(reporter, -1.0);
    IsosurfAttributes a;
    if (attributes != nullptr)
        a = *attributes;
    else
        SetIsosurfAttrDefaults(&a);
    SinkContext c;
    std::memset(&c, 0, sizeof c);
    if (evalAttributes != nullptr)
        c.eval = *evalAttributes;
    else
        SetGridAttrDefaults(&c.eval);
    c.eval.PlanManyPoints = 1;
    if (!(c.eval.EvalAccuracy > 0.0) && !(solution->DefaultEvalAccuracy > 0.0))
        return Refuse(reporter, ApiStatus_NegativeDistance,
                      "Default evaluation accuracy missing. Please give a positive accuracy argument");
    EvalWorkspace* local = nullptr;
    const bool passed = workspace != nullptr && *workspace != nullptr;
    c.workspace = workspace != nullptr ? workspace : &local;
    c.solution = solution;
    c.mesh = mesh;
    c.file = fileSink;
    c.reporter = reporter;
    c.inner.callback = &ForwardMessage;
    c.inner.user = reporter;
    c.inner.maximumLevel = reporter != nullptr && reporter->maximumLevel > 0 ? 1 : 0;
    c.reverse = a.ReverseFaces;
    c.one.Count = 1;
    c.one.Capacity = 1;
    c.shell = a.ShellThickness > 0.0;
    c.shellThreshold = isovalue - a.ShellThickness * 0.5;
    c.capNormals = a.ReturnNormals && a.CapStyle != 0 && mesh != nullptr;
    const int32_t triangles = a.FaceStyle == 0 ? 100000 : a.FaceStyle == 1 ? 0 : 50000;
    const int32_t quads = a.FaceStyle == 0 ? 0 : a.FaceStyle == 1 ? 100000 : 50000;
    int status = 0;
    if (mesh != nullptr) {
        const int made = Mesh3_Create(mesh, 50000, triangles, quads);
        if (made == 0 && a.ReturnNormals && PointList3_SetFields(&mesh->Points, -1, 0, 0, 0, 0, 1) != 0) {
            Mesh3_Free(mesh);
            return Refuse(reporter, ApiStatus_NoMemory, "Failed to allocate memory for output mesh");
        }
        if (made == 2) return Refuse(reporter, ApiStatus_NoMemory, "Failed to allocate memory for output mesh");
        if (made != 0)
            return Refuse(reporter, ApiStatus_InternalError, "Internal error while initialising output mesh");
    } else {
        fileSink->Vertices = fileSink->Triangles = fileSink->Quads = 0;
    }
    if (c.capNormals && (!GrowCaps(&c.triCaps, &c.triCapCapacity, triangles) ||
                         (a.FaceStyle != 0 && !GrowCaps(&c.quadCaps, &c.quadCapCapacity, quads)))) {
        std::free(c.triCaps);
        std::free(c.quadCaps);
        Mesh3_Free(mesh);
        return Refuse(reporter, ApiStatus_NoMemory, "Memory allocation failed");
    }
    InfoLines(solution, &c.eval, passed, isovalue, resolution, regionMin, regionMax, a, reporter);

    RapidSurfOptions o;
    RapidSurf_DefaultOptions(&o);
    if (a.OrientationMatrix != nullptr) std::memcpy(o.Orientation, a.OrientationMatrix, sizeof o.Orientation);
    o.Seed_limit = a.SeedLimit;
    o.Open_surface = a.CapStyle;
    o.Triangulation_optimisation = a.MeshStyle;
    o.Transform_bbox = a.TransformBoundingBox ? 1 : 0;
    o.Fit_to_box = a.FitToBoundingBox;
    o.Gradients = 0;
    o.Mesh_type = a.FaceStyle;
    const int32_t seedCount = a.Seeds != nullptr ? a.Seeds->Count : solution->CentreCount;
    const double* seeds = a.Seeds != nullptr ? a.Seeds->Location : solution->Centres;
    RapidSurfWorkspace* follower = nullptr;
    const int result = inject_all_seeds(
        seedCount, seeds, regionMin, regionMax, resolution, isovalue, reporter ? &reporter->abort : nullptr,
        &Isosurf_Value, &Isosurf_ValueGradient, mesh ? &Isosurf_AddVertex : &Isosurf_FileVertex,
        mesh ? &Isosurf_AddFace : &Isosurf_FileFace, &c, &c, &c, reporter, &Print, &o, &follower);
    if (reporter != nullptr && reporter->maximumLevel > 5) RapidSurf_WriteStatus(&Print, reporter, follower);
    RapidSurf_Free(follower);

    switch (result) {
        case RAPIDSURF_SUCCESS:
            break;
        case RAPIDSURF_ABORT: {
            const bool some = mesh == nullptr || mesh->Faces.TriCount > 0;
            Reporter_Error(reporter, some ? "Isosurfacing aborted by user, partial surface generated"
                                          : "Isosurfacing aborted by user, no surface generated");
            status = ApiStatus_UserAbort;
            break;
        }
        case RAPIDSURF_EVAL_ERROR:
        case RAPIDSURF_DERIV_ERROR:
        case RAPIDSURF_VERTEX_ERROR:
        case RAPIDSURF_FACET_ERROR:
            status = c.status != ApiStatus_Success ? c.status : ApiStatus_InternalError;
            break;
        case RAPIDSURF_NO_MEMORY:
            status = Refuse(reporter, ApiStatus_NoMemory, "Memory allocation failed");
            break;
        case RAPIDSURF_NO_SEEDS:
            status = Refuse(reporter, ApiStatus_NoSurfaceFound, "Surface could not be found from any seed");
            break;
        case RAPIDSURF_SURFACING_ERROR:
            status = Refuse(reporter, ApiStatus_IsosurfaceError, "Internal error in isosurfacing");
            break;
        default:
            status = Refuse(reporter, ApiStatus_InternalError, "Unknown error in isosurfacing");
    }
    if (status != 0 && status != 1 && mesh != nullptr) Mesh3_Free(mesh);
    if (status == 0 && a.ReturnNormals) {
        if (mesh == nullptr) {
            Reporter_Warning(reporter, "Calculate Normals Ignored. Option is invalid when writing to file.");
        } else if (mesh->Points.Count > 0) {
            Reporter_Success(reporter, "Calculating gradient at mesh vertices");
            Reporter_SetProgress(reporter, 0.0);
            status = VertexGradients(solution, &c, mesh, reporter);
            if (status != 0) {
                Mesh3_Free(mesh);
            } else if (c.capNormals) {
                SplitCapVertices(&c);
            }
        }
    }
    std::free(c.triCaps);
    std::free(c.quadCaps);
    EvalWorkspace_Free(&local);
    if (status == 0 || status == 1) {
        if (status == 0) Reporter_EndOperation(reporter);
        const int32_t points = mesh ? mesh->Points.Count : fileSink->Vertices;
        const int32_t tris = mesh ? mesh->Faces.TriCount : fileSink->Triangles;
        const int32_t qs = mesh ? mesh->Faces.QuadCount : fileSink->Quads;
        if (mesh != nullptr) {
            Reporter_Value(reporter, "Points", "%d", points);
            Reporter_Value(reporter, "Triangles", "%d", tris);
            Reporter_Value(reporter, "Quadrilaterals", "%d", qs);
        }
    }
    return status;
}

int Selvane_Isosurf3(const Solution3* solution, const EvalAttributes* evalAttributes, EvalWorkspace** workspace,
                     Mesh3* mesh, double isovalue, double resolution, const double* regionMin, const double* regionMax,
                     const IsosurfAttributes* attributes, Reporter* reporter) {
    OperationFrame_Begin(reporter, 22);
    if (mesh == nullptr)
        return OperationFrame_Refuse(reporter, Refuse(reporter, ApiStatus_BadMesh, "Mesh argument is NULL"));
    const int status = IsosurfaceCore(solution, evalAttributes, workspace, mesh, nullptr, isovalue, resolution,
                                      regionMin, regionMax, attributes, reporter);
    return FinishFrame(reporter, status);
}

namespace {

// Copies a temporary file to the stream in blocks: 0, 27 read or 28 write error.
int CopyFile(std::FILE* from, std::FILE* to) {
    static const size_t kBlock = 102400;
    auto* buffer = static_cast<char*>(std::malloc(kBlock));
    if (buffer == nullptr) return ApiStatus_NoMemory;
    std::fflush(from);
    std::rewind(from);
    int status = 0;
    for (;;) {
        const size_t n = std::fread(buffer, 1, kBlock, from);
        if (n > 0 && std::fwrite(buffer, 1, n, to) != n) {
            status = ApiStatus_FileWriteFailed;
            break;
        }
        if (n < kBlock) {
            if (std::ferror(from)) status = ApiStatus_FileReadFailed;
            break;
        }
    }
    std::free(buffer);
    return status;
}

}  // namespace

int IsosurfaceToFile(const Solution3* solution, const EvalAttributes* evalAttributes, EvalWorkspace** workspace,
                     std::FILE* stream, double isovalue, double resolution, const double* regionMin,
                     const double* regionMax, const IsosurfAttributes* attributes, Reporter* reporter) {
    OperationFrame_Begin(reporter, 22);
    if (stream == nullptr)
        return OperationFrame_Refuse(reporter, Refuse(reporter, ApiStatus_BadFile, "File object argument is NULL"));
    IsoFileSink sink{};
    char paths[3][kTempPathSize] = {{0}, {0}, {0}};
    sink.VertexFile = TempFile_Open(nullptr, paths[0]);
    sink.TriangleFile = TempFile_Open(nullptr, paths[1]);
    sink.QuadFile = TempFile_Open(nullptr, paths[2]);
    int status = 0;
    if (sink.VertexFile == nullptr || sink.TriangleFile == nullptr || sink.QuadFile == nullptr)
        status = Refuse(reporter, ApiStatus_FileOpenFailed, "Could not open temporary file.");
    if (status == 0)
        status = IsosurfaceCore(solution, evalAttributes, workspace, nullptr, &sink, isovalue, resolution, regionMin,
                                regionMax, attributes, reporter);
    if (status == 0 && sink.Vertices == 0) status = ApiStatus_IsosurfaceError;
    if (status == 0) {
        std::fprintf(stream, "%%TAVIR-1.0\n\n[index]\n");
        std::fprintf(stream, "Location Double 3 %d;\n", sink.Vertices);
        if (sink.Triangles > 0) std::fprintf(stream, "Tri Integer 3 %d;\n", sink.Triangles);
        if (sink.Quads > 0) std::fprintf(stream, "Quad Integer 4 %d;\n", sink.Quads);
        std::fprintf(stream, "\n[binary]");
        const uint32_t marker = 0x00F00FFF;
        const double check = 1.23456789;
        if (std::fwrite(&marker, 4, 1, stream) != 1 || std::fwrite(&check, 8, 1, stream) != 1)
            status = ApiStatus_FileWriteFailed;
        std::FILE* parts[3] = {sink.VertexFile, sink.TriangleFile, sink.QuadFile};
        for (int k = 0; k < 3 && status == 0; ++k) status = CopyFile(parts[k], stream);
        if (status == 0 && std::fflush(stream) != 0) status = ApiStatus_FileWriteFailed;
    }
    for (int k = 0; k < 3; ++k)
        TempFile_CloseAndDelete(k == 0 ? sink.VertexFile : k == 1 ? sink.TriangleFile : sink.QuadFile, paths[k]);
    Reporter_Value(reporter, "Points", "%d", sink.Vertices);
    Reporter_Value(reporter, "Triangles", "%d", sink.Triangles);
    Reporter_Value(reporter, "Quadrilaterals", "%d", sink.Quads);
    return FinishFrame(reporter, status);
}
