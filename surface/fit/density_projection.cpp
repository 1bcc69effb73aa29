#include "surface/fit/density_projection.h"

#include <cmath>
#include <cstring>

#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/search/kd_tree.h"

namespace density {

void Output::Free() {
    Mem_Free(xyz);
    Mem_Free(value);
    Mem_Free(source);
    xyz = value = nullptr;
    source = nullptr;
    count = capacity = 0;
}

bool Output::Allocate(int32_t n) {
    xyz = Mem_AllocDoubles(3 * n);
    value = Mem_AllocDoubles(n);
    source = Mem_AllocInts(n);
    capacity = n;
    return xyz && value && source;
}

void Output::Add(const double* p, double v, int32_t from) {
    if (count >= capacity) return;
    std::memcpy(xyz + 3 * count, p, 3 * sizeof(double));
    value[count] = v;
    source[count++] = from;
}

bool Control::Aborted() const {
    if (reporter != nullptr && Reporter_AbortRequested(reporter)) return true;
    return abort != nullptr && *abort != 0;
}

void Control::Advance() const {
    if (progress != nullptr) *progress += step;
    if (progressOf != nullptr) Reporter_SetProgress(progressOf, Reporter_Progress(progressOf) + step);
}

namespace {

double Dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// The nearest of the candidates within r (the first on ties); candidates
// farther than r are struck from the list. -1 when none is left.
int32_t NearestWithin(const double* const* rows, const double* p, double r, int32_t* candidates, int32_t* count) {
    int32_t best = -1;
    double bestD = 0.0;
    int32_t kept = 0;
    for (int32_t c = 0; c < *count; ++c) {
        const double* q = rows[candidates[c]];
        const double d[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
        const double d2 = Dot(d, d);
        if (d2 > r * r) continue;
        candidates[kept++] = candidates[c];
        if (best < 0 || d2 < bestD) {
            best = candidates[c];
            bestD = d2;
        }
    }
    *count = kept;
    return best;
}

// The point at up to |x| along the unit normal from input i, moved back
// towards it while another input point is nearer; the distance used.
double ProjectPoint(const double* const* rows, const double* const* normals, int32_t i, double x, KdTreeN* tree,
                    int32_t* candidates, double* out) {
    const double* s = rows[i];
    const double* nrm = normals[i];
    const double length = std::sqrt(Dot(nrm, nrm));
    if (!(length > 0.0)) {
        std::memcpy(out, s, 3 * sizeof(double));
        return 0.0;
    }
    double o[3] = {x * nrm[0] / length, x * nrm[1] / length, x * nrm[2] / length};
    double r = std::fabs(x);
    double p[3] = {s[0] + o[0], s[1] + o[1], s[2] + o[2]};
    double box[6];
    KdTreeN_Box(3, p, r, box);
    int32_t count = KdTreeN_BoxQuery(tree, box);
    std::memcpy(candidates, tree->Result, sizeof(int32_t) * count);
    int32_t nearest = NearestWithin(rows, p, r, candidates, &count);
    if (count >= 2 && nearest != i) {
        while (nearest >= 0 && nearest != i) {
            const double* q = rows[nearest];
            const double qs[3] = {q[0] - s[0], q[1] - s[1], q[2] - s[2]};
            const double D = Dot(qs, o);
            if (D < 2.220446049250313e-16) break;
            double E = Dot(qs, qs) * 0.375 / D;
            if (E > 1.0) E = 0.75;
            for (int k = 0; k < 3; ++k) {
                o[k] *= E;
                p[k] = s[k] + o[k];
            }
            r *= E;
            nearest = NearestWithin(rows, p, r, candidates, &count);
        }
    }
    std::memcpy(out, p, 3 * sizeof(double));
    return r;
}

}  // namespace

int ProjectPatches(int32_t n, const double* location, const double* normals, double distance, int32_t oneSided,
                   double maxIncrease, int32_t extra, Output* out, const Control& control) {
    int32_t v = 0;
    for (int32_t i = 0; i < n; ++i) v += Dot(normals + 3 * i, normals + 3 * i) != 0.0;
    int32_t w = static_cast<int32_t>(oneSided ? maxIncrease * n : maxIncrease * n * 0.5);
    if (w > v) w = v;
    const int32_t u = oneSided ? w : 2 * w;
    if (!out->Allocate(n + u + extra)) return ApiStatus_NoMemory;
    for (int32_t i = 0; i < n; ++i) out->Add(location + 3 * i, 0.0, i);
    if (u == 0) return 0;
    double** rows = nullptr;
    double** normalRows = nullptr;
    int32_t* candidates = Mem_AllocInts(n);
    rows = static_cast<double**>(Mem_Alloc(sizeof(double*) * n));
    normalRows = static_cast<double**>(Mem_Alloc(sizeof(double*) * n));
    KdTreeN tree{};
    int status = candidates && rows && normalRows ? 0 : 2;
    if (status == 0) {
        for (int32_t i = 0; i < n; ++i) {
            rows[i] = const_cast<double*>(location) + 3 * i;
            normalRows[i] = const_cast<double*>(normals) + 3 * i;
        }
        status = KdTreeN_Build(n, 3, rows, &tree, nullptr, control.abort);
    }
    if (status == 0) {
        out->count = n + u;
        const double J = static_cast<double>(w) / v;
        int32_t N = 0, last = -1;
        for (int32_t i = 0; i < n && status == 0; ++i) {
            if (Dot(normals + 3 * i, normals + 3 * i) == 0.0) continue;
            control.Advance();
            const int32_t slot = static_cast<int32_t>(std::floor(N++ * J));
            if (slot == last) continue;
            last = slot;
            if (control.Aborted()) {
                status = 10;
                break;
            }
            const int32_t a = n + slot;
            const double d = ProjectPoint(rows, normalRows, i, distance, &tree, candidates, out->xyz + 3 * a);
            out->value[a] = d;
            out->source[a] = i;
            if (!oneSided) {
                const int32_t b = n + w + slot;
                out->value[b] = -ProjectPoint(rows, normalRows, i, -distance, &tree, candidates, out->xyz + 3 * b);
                out->source[b] = i;
            }
        }
    }
    KdTreeN_Free(&tree);
    Mem_Free(candidates);
    Mem_Free(rows);
    Mem_Free(normalRows);
    return status;
}

int32_t FilterPoints(Output* out, int32_t n, double minimum) {
    if (!(minimum > 0.0)) return 0;
    int32_t removed = 0;
    for (int32_t i = n; i < out->count;) {
        const double v = out->value[i];
        if (v != 0.0 && std::fabs(v) < minimum) {
            const int32_t last = --out->count;
            std::memcpy(out->xyz + 3 * i, out->xyz + 3 * last, 3 * sizeof(double));
            out->value[i] = out->value[last];
            out->source[i] = out->source[last];
            ++removed;
        } else {
            ++i;
        }
    }
    return removed;
}

}  // namespace density
