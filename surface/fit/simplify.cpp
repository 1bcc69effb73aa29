#include "surface/fit/simplify.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "surface/fit/eval_operations.h"
#include "surface/fit/flag_compaction.h"
#include "surface/fit/generic_sort.h"
#include "surface/fit/poly_mesh.h"
#include "surface/frame/mesh3.h"
#include "surface/frame/operation_frame.h"
#include "surface/frame/operation_numbers.h"
#include "surface/frame/point_list.h"
#include "surface/frame/reporter.h"
#include "surface/frame/solution.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

constexpr double kTiny = 1e-100;
constexpr int32_t kMostChangedFaces = 10;
constexpr double kDegreesPerRadian = 57.29577951308232;

int InnerForward(Reporter* inner, int32_t level, const char* format, va_list args) {
    return Reporter_AtLevelV(static_cast<Reporter*>(inner->user), level, format, args);
}

struct ChangedFace {
    PolyFace* face;
    FaceData before;
    bool wasInPrefix;
};

struct Context;

struct SortKey {
    int box;
    double value;
};

// A probe that sorts before every face of its key, for the search of the
// faces ahead of the walk.
struct KeyProbe {
    SortKey key;
};

// The faces from the front of the list to the walk position, which stay in
// sorted order, in a search tree: a changed face finds its place among them
// without a walk along the list.
struct PrefixLess {
    using is_transparent = void;
    const Context* c;
    bool operator()(const PolyFace* a, const PolyFace* b) const;
    bool operator()(const PolyFace* a, const KeyProbe& probe) const;
};

struct Context {
    double isovalue = 0.0;
    int sign = 1;
    double boxMin[3] = {}, boxMax[3] = {};
    double tolerance = 0.0;
    const Solution3* solution = nullptr;
    double errorLimit = 0.0;
    const Solution3* colour[3] = {};
    bool colours = false;
    double rgbLimit = 0.0;
    bool sizeLimit = false;
    int32_t pointsLimit = 0, facesLimit = 0;
    double angleLimit = 0.0;
    Reporter* reporter = nullptr;
    Reporter inner{};
    EvalAttributes attributes[4] = {};
    EvalWorkspace* workspaces[4] = {};
    // The one-point list every single evaluation goes through.
    double location[3] = {}, value = 0.0, gradient[3] = {};
    PointList3 one{};
    PolyMesh mesh{};
    FaceData* data = nullptr;
    ChangedFace changed[kMostChangedFaces + 2];
    int32_t changedCount = 0;
    int32_t livePoints = 0;
    std::set<PolyFace*, PrefixLess> prefix{PrefixLess{this}};
    std::vector<char> inPrefix;  // per face of the pool
};

double* P(Context& c, int32_t i) { return c.mesh.Points + 3 * static_cast<int64_t>(i); }
double* Rgb(Context& c, int32_t i) { return c.mesh.Colours + 3 * static_cast<int64_t>(i); }

double Dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Value and gradient (with `gradient`) of solution `which` (0 surface, 1 to
// 3 the colours) at a point; an API status.
int Evaluate(Context& c, int which, const double* at, bool gradient) {
    std::memcpy(c.location, at, sizeof c.location);
    const Solution3* s = which == 0 ? c.solution : c.colour[which - 1];
    return Selvane_PointEval3(s, &c.attributes[which], &c.workspaces[which], &c.one, -1, gradient ? 1 : 0, &c.inner);
}

bool OnBoxPlane(const Context& c, const double* p) {
    for (int k = 0; k < 3; ++k) {
        if (std::fabs(p[k] - c.boxMin[k]) < c.tolerance || std::fabs(p[k] - c.boxMax[k]) < c.tolerance) return true;
    }
    return false;
}

int ComputeFaceData(Context& c, PolyFace* face) {
    FaceData* d = face->Data;
    PolyEdge* start = face->Start;
    double prev[3];
    {
        const PolyEdge* e = start->PrevInFace;
        double length = 0.0;
        for (int k = 0; k < 3; ++k) prev[k] = P(c, e->To)[k] - P(c, e->From)[k];
        length = std::sqrt(Dot(prev, prev));
        if (length >= kTiny) {
            for (double& x : prev) x /= length;
        }
    }
    double sum[3] = {};
    double shortest = HUGE_VAL, widest = -1.0;
    d->CornerCosine = 0.0;
    d->CollapseEdge = start;
    PolyEdge* e = start;
    for (int32_t k = 0; k < face->CornerCount; ++k, e = e->NextInFace) {
        const double* from = P(c, e->From);
        const double* to = P(c, e->To);
        double dir[3];
        for (int i = 0; i < 3; ++i) {
            sum[i] += from[i];
            dir[i] = to[i] - from[i];
        }
        const double squared = Dot(dir, dir);
        if (c.colours) {
            double rgb[3];
            for (int i = 0; i < 3; ++i) rgb[i] = Rgb(c, e->To)[i] - Rgb(c, e->From)[i];
            const double step = Dot(rgb, rgb);
            if (step < shortest) {
                shortest = step;
                d->CollapseEdge = e;
            }
            if (step > widest) widest = step;
        } else if (squared < shortest) {
            shortest = squared;
            d->CollapseEdge = e;
        }
        const double length = std::sqrt(squared);
        if (length >= kTiny) {
            for (double& x : dir) x /= length;
        }
        const double cosine = -Dot(prev, dir);
        if (cosine > d->CornerCosine) d->CornerCosine = cosine;
        if (k == 0) {
            // dir x (-prev)
            double n[3] = {-(dir[1] * prev[2] - dir[2] * prev[1]), -(dir[2] * prev[0] - dir[0] * prev[2]),
                           -(dir[0] * prev[1] - dir[1] * prev[0])};
            const double nl = std::sqrt(Dot(n, n));
            for (int i = 0; i < 3; ++i) d->FaceNormal[i] = nl > 0.0 ? n[i] / nl : n[i];
        }
        std::memcpy(prev, dir, sizeof prev);
    }
    for (int i = 0; i < 3; ++i) d->Centroid[i] = sum[i] / face->CornerCount;
    d->ColourStep = c.colours ? std::sqrt(widest > 0.0 ? widest : 0.0) : 0.0;
    d->BoxFlag = OnBoxPlane(c, d->Centroid) ? 1 : 0;
    if (d->BoxFlag) {
        d->SurfaceError = 0.0;
        return ApiStatus_Success;
    }
    const int status = Evaluate(c, 0, d->Centroid, true);
    if (status != ApiStatus_Success) return status;
    const double norm = std::sqrt(Dot(c.gradient, c.gradient)) + kTiny;
    d->SurfaceError = (c.value - c.isovalue) / norm;
    for (int i = 0; i < 3; ++i) d->SurfaceNormal[i] = c.gradient[i] / norm;
    return ApiStatus_Success;
}

// The sort key of a face: faces with larger keys sort after (nearer the
// tail, tried earlier). Box faces after all others, by their sharpest
// angle; the others by the smaller surface error with a size limit, else by
// the sharpest angle. An error that is not a number sorts first.

SortKey KeyOf(const Context& c, const PolyFace* f) {
    const FaceData& d = *f->Data;
    if (d.BoxFlag) return {1, d.CornerCosine};
    if (!c.sizeLimit) return {0, d.CornerCosine};
    const double error = std::fabs(d.SurfaceError);
    return {0, error == error ? -error : -HUGE_VAL};
}

bool KeyAfter(const SortKey& a, const SortKey& b) { return a.box != b.box ? a.box > b.box : a.value > b.value; }

// True when face a sorts after face b.
bool SortsAfter(const Context& c, const PolyFace* a, const PolyFace* b) { return KeyAfter(KeyOf(c, a), KeyOf(c, b)); }

bool PrefixLess::operator()(const PolyFace* a, const PolyFace* b) const {
    const SortKey x = KeyOf(*c, a), y = KeyOf(*c, b);
    if (KeyAfter(y, x)) return true;
    if (KeyAfter(x, y)) return false;
    return a < b;
}

bool PrefixLess::operator()(const PolyFace* a, const KeyProbe& probe) const {
    return KeyAfter(probe.key, KeyOf(*c, a));
}

char& InPrefix(Context& c, const PolyFace* f) { return c.inPrefix[static_cast<size_t>(f - c.mesh.FacePool)]; }

void PrefixAdd(Context& c, PolyFace* f) {
    if (InPrefix(c, f)) return;
    c.prefix.insert(f);
    InPrefix(c, f) = 1;
}

// Before a face's key changes or the face goes.
void PrefixRemove(Context& c, PolyFace* f) {
    if (!InPrefix(c, f)) return;
    c.prefix.erase(f);
    InPrefix(c, f) = 0;
}

int CompareFaces(const void* a, const void* b, void* user) {
    const Context& c = *static_cast<const Context*>(user);
    const PolyFace* x = *static_cast<PolyFace* const*>(a);
    const PolyFace* y = *static_cast<PolyFace* const*>(b);
    if (SortsAfter(c, x, y)) return 1;
    return SortsAfter(c, y, x) ? -1 : 0;
}

// Box bits and plane counts of every point, then the lock of the ends of
// every open edge that do not both lie on box planes.
void ClassifyPoints(Context& c) {
    PolyMesh& m = c.mesh;
    for (int32_t i = 0; i < m.PointCount; ++i) {
        int32_t bits = 0, planes = 0;
        for (int k = 0; k < 3; ++k) {
            if (std::fabs(P(c, i)[k] - c.boxMin[k]) < c.tolerance) bits |= 1 << k, ++planes;
            if (std::fabs(P(c, i)[k] - c.boxMax[k]) < c.tolerance) bits |= 8 << k, ++planes;
        }
        m.Class[i] = bits | planes << kPointPlaneShift;
    }
    for (PolyFace* f = m.Front; f; f = f->Next) {
        PolyEdge* e = f->Start;
        for (int32_t k = 0; k < f->CornerCount; ++k, e = e->NextInFace) {
            if (e->Twin) continue;
            const bool fromPlane = (m.Class[e->From] >> kPointPlaneShift) > 0;
            const bool toPlane = (m.Class[e->To] >> kPointPlaneShift) > 0;
            if (fromPlane && toPlane) continue;
            m.Class[e->From] |= kPointLocked;
            m.Class[e->To] |= kPointLocked;
        }
    }
}

// Where the collapse edge may go: false when it cannot collapse.
bool ChooseTarget(Context& c, const PolyEdge* e, double* target, int32_t* word, int* status) {
    const int32_t a = c.mesh.Class[e->From], b = c.mesh.Class[e->To];
    if ((a & kPointLocked) && (b & kPointLocked)) return false;
    bool keepA = (a & kPointLocked) != 0, keepB = (b & kPointLocked) != 0;
    const int32_t planesA = a >> kPointPlaneShift, planesB = b >> kPointPlaneShift;
    const int32_t bitsA = a & kPointBoxBits, bitsB = b & kPointBoxBits;
    if (planesA > 0 && planesB > 0) {
        if (bitsA != bitsB) {
            const int32_t common = bitsA & bitsB;
            if (common == 0 || (common & (common - 1)) != 0) return false;
            if (bitsA <= bitsB) {
                keepB = true;
            } else {
                keepA = true;
            }
        }
    } else if (planesA > 0) {
        keepA = true;
    } else if (planesB > 0) {
        keepB = true;
    }
    if (keepA && keepB) return false;
    if (keepA || keepB) {
        const int32_t kept = keepA ? e->From : e->To;
        std::memcpy(target, P(c, kept), 3 * sizeof(double));
        *word = keepA ? a : b;
        return true;
    }
    for (int k = 0; k < 3; ++k) target[k] = 0.5 * (P(c, e->From)[k] + P(c, e->To)[k]);
    *word = a;
    if (a == 0) {
        *status = Evaluate(c, 0, target, true);
        if (*status != ApiStatus_Success) return false;
        const double step = (c.isovalue - c.value) / (Dot(c.gradient, c.gradient) + kTiny);
        for (int k = 0; k < 3; ++k) target[k] += c.gradient[k] * step;
    }
    return true;
}

bool Acceptable(Context& c, const PolyFace* face, const FaceData& before) {
    const FaceData& d = *face->Data;
    if (d.BoxFlag) {
        const PolyEdge* e = face->Start;
        for (int32_t k = 0; k < face->CornerCount; ++k, e = e->NextInFace) {
            if (e->Twin && Dot(d.FaceNormal, e->Twin->Face->Data->FaceNormal) < -0.5) return false;
        }
        return true;
    }
    const double error = std::fabs(d.SurfaceError);
    if (c.errorLimit > 0.0 && error > c.errorLimit && error > std::fabs(before.SurfaceError)) return false;
    if (c.rgbLimit > 0.0 && d.ColourStep > c.rgbLimit && d.ColourStep > before.ColourStep) return false;
    return Dot(d.SurfaceNormal, d.FaceNormal) * c.sign >= 0.5;
}

struct PointState {
    double position[3];
    double colour[3];
    int32_t word;
};

void SavePoint(Context& c, int32_t i, PointState* s) {
    std::memcpy(s->position, P(c, i), sizeof s->position);
    if (c.colours) std::memcpy(s->colour, Rgb(c, i), sizeof s->colour);
    s->word = c.mesh.Class[i];
}

void RestorePoint(Context& c, int32_t i, const PointState& s) {
    std::memcpy(P(c, i), s.position, sizeof s.position);
    if (c.colours) std::memcpy(Rgb(c, i), s.colour, sizeof s.colour);
    c.mesh.Class[i] = s.word;
}

bool IsChanged(const Context& c, const PolyFace* face) {
    for (int32_t i = 0; i < c.changedCount; ++i) {
        if (c.changed[i].face == face) return true;
    }
    return false;
}

// Moves both ends to the target and checks every face around them;
// *accepted tells the verdict. An API status (evaluation failures).
int TryMove(Context& c, PolyEdge* e, const double* target, int32_t word, bool* accepted) {
    *accepted = false;
    double colour[3] = {};
    if (c.colours) {
        for (int ch = 0; ch < 3; ++ch) {
            const int status = Evaluate(c, ch + 1, target, false);
            if (status != ApiStatus_Success) return status;
            colour[ch] = c.value;
        }
    }
    const int32_t ends[2] = {e->From, e->To};
    const PolyFace* skipF = e->Face->CornerCount == 3 ? e->Face : nullptr;
    const PolyFace* skipG = e->Twin && e->Twin->Face->CornerCount == 3 ? e->Twin->Face : nullptr;
    PointState saved[2];
    c.changedCount = 0;
    bool ok = true;
    int status = ApiStatus_Success;
    for (int side = 0; side < 2 && ok; ++side) {
        const int32_t p = ends[side];
        SavePoint(c, p, &saved[side]);
        std::memcpy(P(c, p), target, 3 * sizeof(double));
        if (c.colours) std::memcpy(Rgb(c, p), colour, sizeof colour);
        c.mesh.Class[p] = word;
        PolyEdge* h = c.mesh.Out[p];
        while (h && h->PrevOut) h = h->PrevOut;
        for (; h && ok; h = h->NextOut) {
            PolyFace* face = h->Face;
            if (face == skipF || face == skipG || IsChanged(c, face)) continue;
            if (c.changedCount == kMostChangedFaces) {
                ok = false;
                break;
            }
            ChangedFace& entry = c.changed[c.changedCount++];
            entry.face = face;
            entry.before = *face->Data;
            entry.wasInPrefix = InPrefix(c, face) != 0;
            PrefixRemove(c, face);
            status = ComputeFaceData(c, face);
            if (status != ApiStatus_Success || !Acceptable(c, face, entry.before)) ok = false;
        }
        if (!ok) {
            for (int back = side; back >= 0; --back) RestorePoint(c, ends[back], saved[back]);
        }
    }
    if (!ok) {
        for (int32_t i = 0; i < c.changedCount; ++i) {
            *c.changed[i].face->Data = c.changed[i].before;
            if (c.changed[i].wasInPrefix) PrefixAdd(c, c.changed[i].face);
        }
        c.changedCount = 0;
        return status;
    }
    *accepted = true;
    return ApiStatus_Success;
}

// Puts the changed faces back: one that sorts after the walk's face goes
// right behind it and is tried next; any other goes behind the last face
// ahead of the walk that it sorts after. Taking out the changed face the
// walk is on moves the walk to its successor (a face passed over before,
// which is then tried again), or to its predecessor at the tail; either way
// the faces up to the walk stay in order, and the walk's face joins them.
void Reinsert(Context& c) {
    PolyMesh& m = c.mesh;
    for (int32_t i = 0; i < c.changedCount; ++i) {
        PolyFace* face = c.changed[i].face;
        const bool walkHere = m.Walk == face;
        PrefixRemove(c, face);
        PolyMesh_UnlinkFace(&m, face, true);
        if (walkHere && m.Walk) PrefixAdd(c, m.Walk);
    }
    for (int32_t i = 0; i < c.changedCount; ++i) {
        PolyFace* face = c.changed[i].face;
        PolyFace* walk = m.Walk;
        if (!walk || SortsAfter(c, face, walk)) {
            PolyMesh_LinkAfter(&m, face, walk);
            m.Walk = face;
        } else {
            auto at = c.prefix.lower_bound(KeyProbe{KeyOf(c, face)});
            PolyFace* after = at == c.prefix.begin() ? nullptr : *std::prev(at);
            PolyMesh_LinkAfter(&m, face, after);
        }
        PrefixAdd(c, face);
    }
    c.changedCount = 0;
}

struct Statistics {
    int32_t points = 0, faces = 0;
    double angleMin = 0.0, errorMin = 0.0, errorMax = 0.0, errorRms = 0.0;
};

Statistics Measure(Context& c) {
    Statistics s;
    s.points = c.mesh.PointCount;
    double cosine = 0.0, squares = 0.0;
    bool first = true;
    for (PolyFace* f = c.mesh.Front; f; f = f->Next) {
        const FaceData& d = *f->Data;
        const double error = std::fabs(d.SurfaceError);
        ++s.faces;
        cosine = std::max(cosine, d.CornerCosine);
        squares += error * error;
        s.errorMin = first ? error : std::min(s.errorMin, error);
        s.errorMax = first ? error : std::max(s.errorMax, error);
        first = false;
    }
    s.angleMin = std::acos(std::min(cosine, 1.0)) * kDegreesPerRadian;
    s.errorRms = s.faces > 0 ? std::sqrt(squares / s.faces) : 0.0;
    return s;
}

void WriteStatistics(Context& c, const Statistics& s, const char* which) {
    if (!c.reporter || c.reporter->maximumLevel < kLevelInfo) return;
    char label[32];
    std::snprintf(label, sizeof label, "%s points", which);
    Reporter_Value(c.reporter, label, "%d", s.points);
    std::snprintf(label, sizeof label, "%s faces", which);
    Reporter_Value(c.reporter, label, "%d", s.faces);
    std::snprintf(label, sizeof label, "%s angle min", which);
    Reporter_Value(c.reporter, label, "%g", s.angleMin);
    std::snprintf(label, sizeof label, "%s XYZ error", which);
    Reporter_Value(c.reporter, label, "min %g, max %g, rms %g", s.errorMin, s.errorMax, s.errorRms);
}

int Fail(Context& c, const char* message, int status) {
    Reporter_Error(c.reporter, "%s", message);
    return status;
}

int InitialiseColours(Context& c) {
    Reporter_AtLevel(c.reporter, kLevelSuccess, "Simplifying mesh: initialising RGB values");
    double* values = Mem_AllocDoubles(c.mesh.PointCount > 0 ? c.mesh.PointCount : 1);
    if (!values) return Fail(c, "Memory allocation failed", ApiStatus_NoMemory);
    PointList3 all{};
    all.Location = c.mesh.Points;
    all.Value = values;
    all.Count = all.Capacity = c.mesh.PointCount;
    int status = ApiStatus_Success;
    for (int ch = 0; ch < 3 && status == ApiStatus_Success; ++ch) {
        Reporter_SetProgress(c.reporter, ch / 3.0);
        status = Selvane_PointEval3(c.colour[ch], &c.attributes[ch + 1], &c.workspaces[ch + 1], &all, -1, 0, &c.inner);
        for (int32_t i = 0; status == ApiStatus_Success && i < c.mesh.PointCount; ++i) Rgb(c, i)[ch] = values[i];
    }
    Mem_Free(values);
    if (status == ApiStatus_Success) Reporter_SetProgress(c.reporter, 1.0);
    return status;
}

int InitialiseFaces(Context& c) {
    Reporter_AtLevel(c.reporter, kLevelSuccess, "Simplifying mesh: initialising centroid data");
    ClassifyPoints(c);
    const int32_t count = c.mesh.FaceCount;
    c.data = static_cast<FaceData*>(Mem_Calloc(count > 0 ? count : 1, sizeof(FaceData)));
    if (!c.data) return Fail(c, "Memory allocation failed", ApiStatus_NoMemory);
    int32_t done = 0;
    for (PolyFace* f = c.mesh.Front; f; f = f->Next, ++done) {
        Reporter_SetProgress(c.reporter, static_cast<double>(done) / count);
        if (Reporter_AbortRequested(c.reporter)) return Fail(c, "Function aborted by user", ApiStatus_UserAbort);
        f->Data = c.data + done;
        const int status = ComputeFaceData(c, f);
        if (status != ApiStatus_Success) return status;
    }
    return ApiStatus_Success;
}

// Sorts the face list once; the walk starts at its tail.
int SortFaces(Context& c) {
    const int32_t count = c.mesh.FaceCount;
    PolyFace** order = static_cast<PolyFace**>(Mem_Alloc(sizeof(PolyFace*) * (count > 0 ? count : 1)));
    if (!order) return Fail(c, "Memory allocation failed", ApiStatus_NoMemory);
    int32_t i = 0;
    for (PolyFace* f = c.mesh.Front; f; f = f->Next) order[i++] = f;
    Sort_Generic(order, count, sizeof(PolyFace*), CompareFaces, &c);
    c.mesh.Front = c.mesh.Tail = nullptr;
    c.mesh.FaceCount = 0;
    for (i = 0; i < count; ++i) PolyMesh_LinkAfter(&c.mesh, order[i], c.mesh.Tail);
    Mem_Free(order);
    c.mesh.Walk = c.mesh.Tail;
    c.inPrefix.assign(static_cast<size_t>(count > 0 ? count : 1), 0);
    for (PolyFace* f = c.mesh.Front; f; f = f->Next) PrefixAdd(c, f);
    return ApiStatus_Success;
}

bool LimitReached(const Context& c) {
    return (c.pointsLimit > 0 && c.livePoints <= c.pointsLimit) ||
           (c.facesLimit > 0 && c.mesh.FaceCount <= c.facesLimit);
}

int Collapse(Context& c, PolyEdge* e) {
    PolyFace* survivors[2];
    PrefixRemove(c, e->Face);
    if (e->Twin) PrefixRemove(c, e->Twin->Face);
    if (PolyMesh_CommitCollapse(&c.mesh, e, survivors, c.reporter) != 0) return ApiStatus_InternalError;
    --c.livePoints;
    for (PolyFace* s : survivors) {
        if (!s) continue;
        if (!IsChanged(c, s)) {
            c.changed[c.changedCount].face = s;
            c.changed[c.changedCount++].before = *s->Data;
        }
        const int status = ComputeFaceData(c, s);
        if (status != ApiStatus_Success) return status;
    }
    Reinsert(c);
    return ApiStatus_Success;
}

int Walk(Context& c) {
    Reporter_AtLevel(c.reporter, kLevelSuccess, "Simplifying mesh: simplifying");
    Reporter_SetProgress(c.reporter, 0.0);
    if (Reporter_AbortRequested(c.reporter)) return Fail(c, "Function aborted by user", ApiStatus_UserAbort);
    int status = SortFaces(c);
    if (status != ApiStatus_Success) return status;
    const int32_t initial = c.mesh.FaceCount;
    int32_t passed = 0;
    while (c.mesh.Walk && c.mesh.Walk->Prev) {
        Reporter_SetProgress(c.reporter, 1.0 - static_cast<double>(c.mesh.FaceCount - passed) / initial);
        if (Reporter_AbortRequested(c.reporter)) return Fail(c, "Function aborted by user", ApiStatus_UserAbort);
        if (LimitReached(c)) break;
        PolyEdge* e = c.mesh.Walk->Data->CollapseEdge;
        double target[3];
        int32_t word = 0;
        bool accepted = false;
        if (ChooseTarget(c, e, target, &word, &status)) {
            status = TryMove(c, e, target, word, &accepted);
        }
        if (status != ApiStatus_Success) return status;
        if (!accepted) {
            PrefixRemove(c, c.mesh.Walk);
            c.mesh.Walk = c.mesh.Walk->Prev;
            ++passed;
            continue;
        }
        status = Collapse(c, e);
        if (status != ApiStatus_Success) return status;
    }
    return ApiStatus_Success;
}

void WriteSettings(Context& c) {
    Reporter* r = c.reporter;
    if (!r || r->maximumLevel < kLevelInfo) return;
    Reporter_Value(r, "Input min", "% g % g % g", c.boxMin[0], c.boxMin[1], c.boxMin[2]);
    Reporter_Value(r, "Input max", "% g % g % g", c.boxMax[0], c.boxMax[1], c.boxMax[2]);
    if (c.pointsLimit > 0) Reporter_Value(r, "Points limit", "%d", c.pointsLimit);
    if (c.facesLimit > 0) Reporter_Value(r, "Faces limit", "%d", c.facesLimit);
    Reporter_Value(r, "Angle limit", "%g", c.angleLimit);
    Reporter_Value(r, "Error limit", "%g", c.errorLimit);
    if (c.colours) Reporter_Value(r, "RgbStep limit", "%g", c.rgbLimit);
}

// Steps from the face data to the compaction; *final receives the largest
// face error of the result when the core got that far.
int SimplifyCore(Context& c, double* final) {
    if (c.mesh.FaceCount == 0) return Fail(c, "No input faces, cannot simplify", ApiStatus_BadFaceList);
    WriteSettings(c);
    int status = c.colours ? InitialiseColours(c) : ApiStatus_Success;
    if (status == ApiStatus_Success) status = InitialiseFaces(c);
    if (status != ApiStatus_Success) return status;
    WriteStatistics(c, Measure(c), "Initial");
    status = Walk(c);
    if (status != ApiStatus_Success) return status;
    if (PolyMesh_CompactPoints(&c.mesh) != 0) return Fail(c, "Memory allocation failed", ApiStatus_NoMemory);
    const Statistics end = Measure(c);
    WriteStatistics(c, end, "Final");
    *final = end.errorMax;
    return ApiStatus_Success;
}

int WriteOutput(Context& c, Mesh3* output) {
    int32_t tris = 0, quads = 0;
    for (PolyFace* f = c.mesh.Front; f; f = f->Next) {
        if (f->CornerCount == 3) ++tris;
        if (f->CornerCount == 4) ++quads;
    }
    if (Mesh3_Create(output, c.mesh.PointCount, tris, quads) != ApiStatus_Success) {
        return Fail(c, "Failed to allocate output mesh", ApiStatus_NoMemory);
    }
    std::memcpy(output->Points.Location, c.mesh.Points,
                sizeof(double) * 3 * static_cast<std::size_t>(c.mesh.PointCount));
    output->Points.Count = c.mesh.PointCount;
    for (PolyFace* f = c.mesh.Front; f; f = f->Next) {
        int32_t* corners = nullptr;
        if (f->CornerCount == 3) corners = output->Faces.Tri + 3 * static_cast<int64_t>(output->Faces.TriCount++);
        if (f->CornerCount == 4) corners = output->Faces.Quad + 4 * static_cast<int64_t>(output->Faces.QuadCount++);
        if (!corners) continue;
        const PolyEdge* e = f->Start;
        for (int32_t k = 0; k < f->CornerCount; ++k, e = e->NextInFace) corners[k] = e->From;
    }
    return ApiStatus_Success;
}

// The checks before any work; 0 or the refusal's status.
int CheckArguments(const Mesh3* input, Mesh3* output, const Solution3* solution, double errorLimit,
                   SimplifyLimits& limits, Reporter* reporter) {
    if (!input || !output || !PointList3_Check(&input->Points, "Mesh", 0, reporter, 0, 0, 0, 0, 0) ||
        !FaceList_Check(&input->Faces, 0, reporter)) {
        return ApiStatus_BadMesh;
    }
    const FaceList& faces = input->Faces;
    if (!Faces_IndicesInRange(input->Points.Count, faces.TriCount, faces.Tri, faces.QuadCount, faces.Quad)) {
        Reporter_Error(reporter, "Mesh face refers to a point that does not exist");
        return ApiStatus_BadMesh;
    }
    if (!Solution3_Check(solution, reporter)) return ApiStatus_BadSolution;
    if (!(limits.AngleLimit >= 0.0 && limits.AngleLimit <= 90.0)) {
        Reporter_Error(reporter, "Minimum enclosed angle limit must be < 90 and > 0");
        return ApiStatus_InvalidArgument;
    }
    if (limits.PointsLimit == 0 && limits.FacesLimit == 0 && !(errorLimit > 0.0)) {
        Reporter_Error(reporter, "No constraints specified.");
        return ApiStatus_InvalidArgument;
    }
    // A limit above the mesh's size is met by the mesh as it is: the output
    // is the input, and the caller hears why.
    if (limits.PointsLimit > input->Points.Count) {
        Reporter_Warning(reporter, "Maximum desired number of points exceeds input mesh size.");
        limits.PointsLimit = input->Points.Count;
    }
    const int32_t faceCount = faces.TriCount + faces.QuadCount;
    if (limits.FacesLimit > faceCount) {
        Reporter_Warning(reporter, "Maximum desired number of faces exceeds input mesh size.");
        limits.FacesLimit = faceCount;
    }
    return ApiStatus_Success;
}

void SetUp(Context& c, const Mesh3* input, const EvalAttributes* attributes, const EvalAttributes* colourAttributes,
           Reporter* reporter) {
    c.reporter = reporter;
    c.inner.callback = InnerForward;
    c.inner.user = reporter;
    c.inner.maximumLevel = reporter ? std::min(reporter->maximumLevel, static_cast<int32_t>(kLevelWarning))
                                    : static_cast<int32_t>(kLevelWarning);
    for (int i = 0; i < 4; ++i) {
        const EvalAttributes* given = i == 0 ? attributes : colourAttributes;
        if (given) {
            c.attributes[i] = *given;
        } else {
            SetGridAttrDefaults(&c.attributes[i]);
        }
        // Keeps each solution's workspace from one single-point evaluation
        // to the next.
        c.attributes[i].PlanManyPoints = 1;
    }
    c.one.Location = c.location;
    c.one.Value = &c.value;
    c.one.Gradient = c.gradient;
    c.one.Count = c.one.Capacity = 1;
    const PointList3& points = input->Points;
    for (int k = 0; k < 3; ++k) {
        c.boxMin[k] = points.Count > 0 ? points.Location[k] : 0.0;
        c.boxMax[k] = c.boxMin[k];
    }
    for (int32_t i = 1; i < points.Count; ++i) {
        for (int k = 0; k < 3; ++k) {
            c.boxMin[k] = std::min(c.boxMin[k], points.Location[3 * static_cast<int64_t>(i) + k]);
            c.boxMax[k] = std::max(c.boxMax[k], points.Location[3 * static_cast<int64_t>(i) + k]);
        }
    }
    double extent = 0.0, diagonal = 0.0;
    for (int k = 0; k < 3; ++k) {
        const double side = c.boxMax[k] - c.boxMin[k];
        extent = std::max(extent, side);
        diagonal += side * side;
    }
    c.tolerance = 1e-13 * extent * std::sqrt(diagonal);
}

void Release(Context& c) {
    Mem_Free(c.data);
    c.data = nullptr;
    for (EvalWorkspace*& w : c.workspaces) EvalWorkspace_Free(&w);
    PolyMesh_Free(&c.mesh);
}

}  // namespace

SimplifyLimits* SimplifyLimits_Default(SimplifyLimits* limits) {
    if (!limits) return nullptr;
    limits->PointsLimit = 0;
    limits->FacesLimit = 0;
    limits->AngleLimit = 10.0;
    limits->Inward = 0;
    limits->FinalError = -1.0;
    return limits;
}

int Selvane_Simplify3(const Mesh3* input, Mesh3* output, const Solution3* solution, const EvalAttributes* attributes,
                      double errorLimit, double isovalue, const Solution3* red, const Solution3* green,
                      const Solution3* blue, const EvalAttributes* colourAttributes, double rgbStepLimit,
                      SimplifyLimits* limits, Reporter* reporter) {
    OperationFrame_Begin(reporter, Op_Simplify3);
    SimplifyLimits local;
    SimplifyLimits_Default(&local);
    if (limits) {
        local = *limits;
        limits->FinalError = -1.0;
    }
    int status = CheckArguments(input, output, solution, errorLimit, local, reporter);
    if (status != ApiStatus_Success) return OperationFrame_Refuse(reporter, status);
    Context c;
    SetUp(c, input, attributes, colourAttributes, reporter);
    c.isovalue = isovalue;
    c.sign = local.Inward ? -1 : 1;
    c.solution = solution;
    c.errorLimit = errorLimit;
    c.colours = red && green && blue;
    c.colour[0] = red;
    c.colour[1] = green;
    c.colour[2] = blue;
    c.rgbLimit = c.colours ? rgbStepLimit : 0.0;
    c.pointsLimit = local.PointsLimit;
    c.facesLimit = local.FacesLimit;
    c.angleLimit = local.AngleLimit;
    c.sizeLimit = local.PointsLimit > 0 || local.FacesLimit > 0;
    const FaceList& faces = input->Faces;
    status = PolyMesh_Build(input->Points.Count, input->Points.Location, faces.TriCount, faces.Tri, faces.QuadCount,
                            faces.Quad, c.colours ? 1 : 0, &c.mesh);
    if (status == 3) {
        Reporter_Error(reporter, "Mesh is not manifold.");
        return OperationFrame_Finish(reporter, ApiStatus_InternalError);
    }
    if (status != 0) {
        Reporter_Error(reporter, "Memory allocation failed");
        return OperationFrame_Finish(reporter, ApiStatus_NoMemory);
    }
    // Points that no face uses (a distance trim leaves them) have no edges:
    // they take part in no collapse, do not count towards the points limit
    // and go in the final compaction.
    c.livePoints = 0;
    for (int32_t i = 0; i < c.mesh.PointCount; ++i) c.livePoints += c.mesh.Out[i] != nullptr;
    double final = 0.0;
    status = SimplifyCore(c, &final);
    if (limits) limits->FinalError = final;
    const int written = WriteOutput(c, output);
    if (status == ApiStatus_Success) status = written;
    Release(c);
    return OperationFrame_Finish(reporter, status);
}

int Simplify3_NoColour(const Mesh3* input, Mesh3* output, const Solution3* solution, const EvalAttributes* attributes,
                       double errorLimit, double isovalue, SimplifyLimits* limits, Reporter* reporter) {
    return Selvane_Simplify3(input, output, solution, attributes, errorLimit, isovalue, nullptr, nullptr, nullptr,
                             nullptr, 0.0, limits, reporter);
}
