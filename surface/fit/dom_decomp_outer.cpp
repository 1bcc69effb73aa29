// Outer sets of subdomains: the orthant search, the slab search, the
// nearest-outside choice, and the setup of one subdomain.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "surface/fit/dom_decomp.h"
#include "surface/fit/index_lists.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

bool Cancelled(const SubdomainBuilder* b) { return b->cancel && *b->cancel; }

// Grows an int list to hold at least `needed` entries, keeping its contents.
bool GrowInts(int32_t** list, int32_t* capacity, int32_t needed) {
    if (needed <= *capacity) return true;
    const int32_t grown = std::max(needed, static_cast<int32_t>(*capacity * 1.4) + 16);
    void* more = Mem_Realloc(*list, sizeof(int32_t) * static_cast<std::size_t>(grown));
    if (!more) {
        *list = nullptr;
        *capacity = 0;
        return false;
    }
    *list = static_cast<int32_t*>(more);
    *capacity = grown;
    return true;
}

bool GrowWork(SubdomainBuilder* b, int32_t needed) {
    if (needed <= b->workCapacity) return true;
    const int32_t grown = static_cast<int32_t>(1.4 * needed);
    Mem_Free(b->work);
    b->work = Mem_AllocDoubles(grown);
    b->workCapacity = b->work ? grown : 0;
    return b->work != nullptr;
}

void InnerBox(const SubdomainBuilder* b, const int32_t* inner, int32_t n, double* box) {
    const int32_t d = b->d;
    for (int32_t k = 0; k < d; ++k) box[k] = box[d + k] = b->points[inner[0]][k];
    for (int32_t i = 1; i < n; ++i)
        for (int32_t k = 0; k < d; ++k) {
            box[k] = std::fmin(box[k], b->points[inner[i]][k]);
            box[d + k] = std::fmax(box[d + k], b->points[inner[i]][k]);
        }
}

// The inner list sorted into the builder's sortedInner.
bool SortInner(SubdomainBuilder* b, const int32_t* inner, int32_t n) {
    if (!GrowInts(&b->sortedInner, &b->sortedCapacity, n)) return false;
    std::memcpy(b->sortedInner, inner, sizeof(int32_t) * static_cast<std::size_t>(n));
    std::sort(b->sortedInner, b->sortedInner + n);
    return true;
}

// Appends `count` indices to the found list at *used.
bool Append(SubdomainBuilder* b, int32_t* used, const int32_t* indices, int32_t count) {
    if (count <= 0) return true;
    if (!GrowInts(&b->found, &b->foundCapacity, *used + count)) return false;
    std::memcpy(b->found + *used, indices, sizeof(int32_t) * static_cast<std::size_t>(count));
    *used += count;
    return true;
}

// Sorts the found list, drops repeats and removes the inner points.
int32_t Distinct(SubdomainBuilder* b, int32_t used, int32_t numInner) {
    std::sort(b->found, b->found + used);
    int32_t n = static_cast<int32_t>(std::unique(b->found, b->found + used) - b->found);
    Index_MergeSorted(&n, b->found, numInner, b->sortedInner, nullptr);
    return n;
}

// Keeps the `keep` candidates nearest to the box, in place at the front of
// `candidates` (in no particular order). Equal distances are taken in index
// order. A selection, not a sort: a grown box may hold a great many
// candidates of which only a few stay.
int NearestOutside(SubdomainBuilder* b, int32_t* candidates, int32_t n, const double* box, int32_t keep) {
    if (keep >= n) return 0;
    if (!GrowWork(b, n)) return CoreStatus_NoMemory;
    double* distance = b->work;
    for (int32_t i = 0; i < n; ++i) distance[i] = Box_OutsideDistance(b->d, box, b->points[candidates[i]]);
    int32_t* order = Mem_AllocInts(n);
    if (!order) return CoreStatus_NoMemory;
    for (int32_t i = 0; i < n; ++i) order[i] = i;
    auto nearer = [&](int32_t u, int32_t v) {
        if (distance[u] != distance[v]) return distance[u] < distance[v];
        return candidates[u] < candidates[v];
    };
    std::nth_element(order, order + keep, order + n, nearer);
    for (int32_t i = 0; i < keep; ++i) order[i] = candidates[order[i]];
    std::memcpy(candidates, order, sizeof(int32_t) * static_cast<std::size_t>(keep));
    Mem_Free(order);
    return 0;
}

// ---- Orthant search ----

struct OrthantFrame {
    double B[6];  // bounding box of the inner points
    double c[3];  // its centre
    double r[3];  // its half widths
    double w[3];  // layer widths
};

// The orthant's box grown by f layer widths (f 0: the orthant of B itself).
void OrthantBox(const SubdomainBuilder* b, const OrthantFrame& o, int32_t orthant, double f, double eps, double* box) {
    const int32_t d = b->d;
    for (int32_t k = 0; k < d; ++k) {
        if (orthant >> k & 1) {
            box[k] = o.c[k];
            box[d + k] = o.B[d + k] + (f > 0.0 ? f * o.w[k] : eps);
        } else {
            box[k] = f > 0.0 ? o.B[k] - f * o.w[k] : o.B[k];
            box[d + k] = o.c[k];
        }
    }
}

// Whether the grown faces of the orthant have passed the global box.
bool FacesOutside(const SubdomainBuilder* b, const double* box, int32_t orthant) {
    for (int32_t k = 0; k < b->d; ++k) {
        if (orthant >> k & 1) {
            if (box[b->d + k] < b->box[b->d + k]) return false;
        } else if (box[k] > b->box[k]) {
            return false;
        }
    }
    return true;
}

// Keeps the `keep` points of the grown orthant box nearest to B. They all
// lie within some distance of B, so the box is clipped to B widened by a
// growing distance until it holds that many, and the choice is made among
// the clipped box's points: a box grown across empty space may hold far
// more points than are kept.
int KeepNearest(SubdomainBuilder* b, const OrthantFrame& o, int32_t orthant, const double* grown, int32_t keep,
                int32_t* used) {
    const int32_t d = b->d;
    double reach = 0.0, delta = 1e300;
    for (int32_t k = 0; k < d; ++k) {
        const double out = orthant >> k & 1 ? grown[d + k] - o.B[d + k] : o.B[k] - grown[k];
        reach = std::fmax(reach, out);
        if (o.w[k] > 0.0) delta = std::fmin(delta, 0.5 * o.w[k]);
    }
    double box[6];
    for (;; delta *= 1.5) {
        const bool whole = delta >= reach;
        for (int32_t k = 0; k < d; ++k) {
            box[k] = grown[k];
            box[d + k] = grown[d + k];
            if (whole) continue;
            if (orthant >> k & 1)
                box[d + k] = std::fmin(grown[d + k], o.B[d + k] + delta);
            else
                box[k] = std::fmax(grown[k], o.B[k] - delta);
        }
        if (whole || KdTreeN_CollectInBox(b->tree, box, keep, b->tree->Result) >= keep) break;
    }
    const int32_t count = KdTreeN_BoxQuery(b->tree, box);
    keep = std::min(keep, count);
    const int status = NearestOutside(b, b->tree->Result, count, o.B, keep);
    if (status != 0) return status;
    return Append(b, used, b->tree->Result, keep) ? 0 : CoreStatus_NoMemory;
}

// Grows one orthant until it holds its target t of points beyond those of
// the orthant of B, and appends what it keeps. 11 when growth stopped at the
// global box short of the target.
int GrowOrthant(SubdomainBuilder* b, const OrthantFrame& o, int32_t orthant, int32_t t, int32_t* used) {
    const DomDecompOptions& opt = b->sd->options;
    const int32_t lower = std::max(opt.MinNumOuter, static_cast<int32_t>(t * opt.TooSmallFact));
    int32_t upper = std::max(static_cast<int32_t>(t * opt.TooBigFact) + 1, lower + 1);
    upper = std::min(upper, b->faceShare);
    double wsum = 0.0;
    for (int32_t k = 0; k < b->d; ++k) wsum += o.w[k];
    const double eps = 1e-10 * wsum / b->d;
    double box[6];
    OrthantBox(b, o, orthant, 0.0, eps, box);
    const int32_t n0 = KdTreeN_BoxQuery(b->tree, box);
    bool edge = false, shortOfTarget = true;
    for (double f = 1.0;; f *= 1.5) {
        OrthantBox(b, o, orthant, f, eps, box);
        // Growing only asks whether the box holds enough: the search stops at
        // that many instead of listing a large box at every step.
        const int32_t reached = KdTreeN_CollectInBox(b->tree, box, n0 + lower, b->tree->Result);
        shortOfTarget = reached - n0 < lower;
        edge = FacesOutside(b, box, orthant) || wsum <= 0.0;
        if (!shortOfTarget || edge) break;
    }
    const int32_t probe = KdTreeN_CollectInBox(b->tree, box, n0 + upper + 1, b->tree->Result);
    if (probe <= n0 + upper) {
        if (!Append(b, used, b->tree->Result, probe)) return CoreStatus_NoMemory;
    } else {
        const int status = KeepNearest(b, o, orthant, box, t + n0, used);
        if (status != 0) return status;
    }
    return edge && shortOfTarget ? CoreStatus_ReachedMaxIteration : 0;
}

// Whether the inner box lies near the global box on one side of an axis.
bool NearGlobal(const SubdomainBuilder* b, const OrthantFrame& o, int32_t k, bool high) {
    const int32_t d = b->d;
    if (high) return o.B[d + k] + o.r[k] / 2.0 >= b->box[d + k];
    return o.B[k] - o.r[k] / 2.0 <= b->box[k];
}

int OrthantSearch(SubdomainBuilder* b, const int32_t* inner, int32_t numInner, int32_t* numOuter) {
    const DomDecompOptions& opt = b->sd->options;
    const int32_t d = b->d;
    if (!SortInner(b, inner, numInner)) return CoreStatus_NoMemory;
    OrthantFrame o;
    InnerBox(b, inner, numInner, o.B);
    LayerEstimate est;
    Subdomain_LayerEstimate(b, o.B, numInner, opt.NumLayers, &est);
    int32_t slab[3];
    const int32_t split = 1 << (d - 1);
    int32_t sumSlabs = 0;
    for (int32_t k = 0; k < d; ++k) {
        double product = 1.0;
        for (int32_t j = 0; j < d; ++j)
            if (j != k) product *= est.a[j] + opt.NumLayers;
        const double s = std::fmin(static_cast<double>(b->maxOuter), opt.NumLayers * product);
        slab[k] = static_cast<int32_t>(s);
        sumSlabs += slab[k];
        o.c[k] = 0.5 * (o.B[k] + o.B[d + k]);
        o.r[k] = o.c[k] - o.B[k];
        // Layers of no thickness would never grow a box: grow by spacings.
        o.w[k] = opt.NumLayers > 0.0 ? est.w[k] : est.h * b->invScale[k];
    }
    int32_t T = (1 + sumSlabs) / split;
    int32_t total = 0, need = 0, found = 0, previous = -1;
    for (int32_t pass = 0;; ++pass) {
        int32_t used = 0, grown = 0, failed = 0;
        b->lastTarget = 0;
        for (int32_t j = 0; j < b->numOrthants; ++j) {
            if (Cancelled(b)) return CoreStatus_UserAbort;
            int32_t t = T;
            for (int32_t k = 0; k < d; ++k)
                if (NearGlobal(b, o, k, j >> k & 1)) t -= slab[k] / split;
            if (pass == 0) total += t;
            b->lastTarget = std::max(b->lastTarget, t);
            if (t > b->faceShare) b->faceShare = std::min(t, b->maxOuter);
            if (t <= 0) continue;
            const int status = GrowOrthant(b, o, j, t, &used);
            ++grown;
            if (status == CoreStatus_ReachedMaxIteration)
                ++failed;
            else if (status != 0)
                return status;
        }
        found = Distinct(b, used, numInner);
        if (Cancelled(b)) return CoreStatus_UserAbort;
        if (pass == 0) {
            need = static_cast<int32_t>(std::min(total, b->maxOuter) * opt.TooSmallFact);
            need = std::max(need, opt.MinNumOuter);
            if (grown > 0 && failed == grown) need = opt.MinNumOuter;
        }
        // Stop once enough are found, or when a wider pass found nothing more:
        // the point set has no more to give.
        if (found >= need || found <= previous) break;
        previous = found;
        const int32_t more = (need - found) / b->numOrthants + 1;
        for (int32_t k = 0; k < d; ++k) slab[k] += more;
        T += d * more;
    }
    *numOuter = found;
    return 0;
}

// ---- Slab search ----

// The 2D winding slabs around B in x and y (each spanning zLo..zHi in z
// when d is 3).
int32_t SlabBoxes(int32_t d, const double* B, const double* w, double eps, double (*slabs)[6]) {
    const double x0 = B[0], y0 = B[1], x1 = B[d], y1 = B[d + 1];
    const double xy[4][4] = {
        {x0, y0 - w[1], x1 + w[0], y0 + eps},
        {x1 - eps, y0, x1 + w[0], y1 + w[1]},
        {x0 - w[0], y1 - eps, x1, y1 + w[1]},
        {x0 - w[0], y0 - w[1], x0 + eps, y1},
    };
    for (int32_t i = 0; i < 4; ++i) {
        double* s = slabs[i];
        s[0] = xy[i][0], s[1] = xy[i][1];
        s[d] = xy[i][2], s[d + 1] = xy[i][3];
        if (d == 3) s[2] = B[2] - w[2], s[5] = B[5] + w[2];
    }
    if (d == 2) return 4;
    const double faces[2][2] = {{B[2] - w[2], B[2] + eps}, {B[5] - eps, B[5] + w[2]}};
    for (int32_t i = 0; i < 2; ++i) {
        double* s = slabs[4 + i];
        s[0] = x0, s[1] = y0, s[3] = x1, s[4] = y1;
        s[2] = faces[i][0], s[5] = faces[i][1];
    }
    return 6;
}

// The target of the slab search: points per axis plus L for every side
// well inside the global box, less the inner points.
int32_t SlabTarget(const SubdomainBuilder* b, const double* B, const LayerEstimate& est, int32_t numInner, double L) {
    const DomDecompOptions& opt = b->sd->options;
    const int32_t d = b->d;
    double product = 1.0;
    for (int32_t k = 0; k < d; ++k) {
        const double third = (B[d + k] - B[k]) / 3.0;
        double a = est.a[k];
        if (B[k] - third > b->box[k]) a += L;
        if (B[d + k] + third < b->box[d + k]) a += L;
        product *= a;
    }
    const double q = std::fmin(static_cast<double>(b->maxOuter - numInner), product - numInner);
    const int32_t floor = static_cast<int32_t>(opt.MinNumOuter / opt.TooSmallFact);
    return std::max(static_cast<int32_t>(q), floor);
}

int SlabSearch(SubdomainBuilder* b, const int32_t* inner, int32_t numInner, int32_t* numOuter) {
    const DomDecompOptions& opt = b->sd->options;
    const int32_t d = b->d;
    if (!SortInner(b, inner, numInner)) return CoreStatus_NoMemory;
    double B[6];
    InnerBox(b, inner, numInner, B);
    LayerEstimate est;
    Subdomain_LayerEstimate(b, B, numInner, opt.NumLayers, &est);
    const int32_t q = SlabTarget(b, B, est, numInner, opt.NumLayers);
    b->lastTarget = q;
    double widest = 0.0;
    for (int32_t k = 0; k < d; ++k) widest = std::fmax(widest, (B[d + k] - B[k]) * opt.Scale[k]);
    const double eps = 1e-8 * widest;
    int32_t found = 0;
    // Slabs of no thickness would never widen: start from one spacing.
    for (double L = opt.NumLayers > 0.0 ? opt.NumLayers : 1.0;; L *= 2.0) {
        if (Cancelled(b)) return CoreStatus_UserAbort;
        double w[3], slabs[6][6];
        bool covers = true;
        for (int32_t k = 0; k < d; ++k) {
            w[k] = L * est.h * b->invScale[k];
            covers = covers && B[k] - w[k] <= b->box[k] && B[d + k] + w[k] >= b->box[d + k];
        }
        const int32_t numSlabs = SlabBoxes(d, B, w, eps, slabs);
        int32_t used = 0;
        for (int32_t i = 0; i < numSlabs; ++i) {
            const int32_t n = KdTreeN_BoxQuery(b->tree, slabs[i]);
            if (!Append(b, &used, b->tree->Result, n)) return CoreStatus_NoMemory;
        }
        found = Distinct(b, used, numInner);
        if (q * opt.TooSmallFact <= found || covers) break;
    }
    const int32_t most = static_cast<int32_t>(q * opt.TooBigFact);
    if (found > most) {
        const int status = NearestOutside(b, b->found, found, B, most);
        if (status != 0) return status;
        found = most;
    }
    *numOuter = found;
    return 0;
}

}  // namespace

void Subdomain_LayerEstimate(const SubdomainBuilder* b, const double* innerBox, int32_t numInner, double layers,
                             LayerEstimate* out) {
    const int32_t d = b->d;
    const double* scale = b->sd->options.Scale;
    double e[3] = {0, 0, 0}, volume = 1.0;
    int32_t z = 0;
    for (int32_t k = 0; k < d; ++k) {
        e[k] = (innerBox[d + k] - innerBox[k]) * scale[k];
        if (e[k] != 0.0) volume *= e[k], ++z;
    }
    double h = 1.0;
    if (z > 0) {
        h = std::pow(volume / numInner, 1.0 / z);
    } else {
        // Coincident inner points have no spacing of their own: take the mean
        // spacing of the whole point set.
        double global = 1.0;
        int32_t zg = 0;
        for (int32_t k = 0; k < d; ++k) {
            const double g = (b->box[d + k] - b->box[k]) * scale[k];
            if (g != 0.0) global *= g, ++zg;
        }
        if (zg > 0) h = std::pow(global / b->N, 1.0 / zg);
    }
    out->h = h;
    const double density = z > 0 ? std::pow(numInner / volume, 1.0 / z) : 0.0;
    for (int32_t k = 0; k < d; ++k) {
        out->w[k] = layers * h * b->invScale[k];
        out->a[k] = e[k] * density;
    }
    for (int32_t k = 0; k < d; ++k) {
        if (out->a[k] >= 1.0) continue;
        if (out->a[k] > 0.0) {
            const double f = std::pow(out->a[k], 1.0 / (d - 1));
            for (int32_t j = 0; j < d; ++j) out->a[j] *= f;
        }
        out->a[k] = 1.0;
    }
}

int DomDecomp_SubdomainSolveInit(SubdomainBuilder* b, SDData* sd, int32_t d, int32_t N, double* const* points,
                                 KdTreeN* tree, const double* box, const volatile int32_t* cancel) {
    std::memset(b, 0, sizeof(*b));
    b->sd = sd;
    b->d = d;
    b->numOrthants = 1 << d;
    b->N = N;
    b->points = points;
    b->maxOuter = std::min(sd->options.MaxTotalPts, N);
    b->faceShare = b->maxOuter / (2 * d);
    std::memcpy(b->box, box, sizeof(double) * 2 * static_cast<std::size_t>(d));
    b->cancel = cancel;
    for (int32_t k = 0; k < 3; ++k) b->invScale[k] = 1.0 / sd->options.Scale[k];
    b->tree = tree;
    return 0;
}

void DomDecomp_SubdomainSolveFree(SubdomainBuilder* b) {
    Mem_Free(b->work);
    Mem_Free(b->found);
    Mem_Free(b->sortedInner);
    b->work = nullptr;
    b->found = b->sortedInner = nullptr;
    b->workCapacity = b->foundCapacity = b->sortedCapacity = 0;
}

int Subdomain_FindOuter(SubdomainBuilder* b, const int32_t* inner, int32_t numInner, int32_t** outer,
                        int32_t* numOuter) {
    *numOuter = 0;
    const int status = b->sd->options.OuterMethod == 1 ? SlabSearch(b, inner, numInner, numOuter)
                                                       : OrthantSearch(b, inner, numInner, numOuter);
    *outer = b->found;
    return status;
}

int Subdomain_Setup(SubdomainBuilder* b, Subdomain* s, const int32_t* inner, int32_t numInner, const double* panelBox) {
    int32_t* outer = nullptr;
    int32_t numOuter = 0;
    int status = Subdomain_FindOuter(b, inner, numInner, &outer, &numOuter);
    if (status != 0) return status;
    const int32_t d = b->d, total = numOuter + numInner;
    if (s->listCapacity < total) {
        const int32_t capacity = static_cast<int32_t>(total * b->sd->options.MallocRatio);
        Mem_Free(s->list);
        s->list = Mem_AllocInts(std::max(capacity, total));
        s->listCapacity = s->list ? std::max(capacity, total) : 0;
        if (!s->list) return CoreStatus_NoMemory;
    }
    if (numOuter > 0) std::memcpy(s->list, outer, sizeof(int32_t) * static_cast<std::size_t>(numOuter));
    std::memcpy(s->list + numOuter, inner, sizeof(int32_t) * static_cast<std::size_t>(numInner));
    s->numOuter = numOuter;
    s->count = total;
    if (!s->innerBox) {
        s->innerBox = Mem_AllocDoubles(4 * d);
        if (!s->innerBox) return CoreStatus_NoMemory;
        s->outerBox = s->innerBox + 2 * d;
        std::memcpy(s->innerBox, panelBox, sizeof(double) * 2 * static_cast<std::size_t>(d));
    }
    std::memcpy(s->outerBox, s->innerBox, sizeof(double) * 2 * static_cast<std::size_t>(d));
    for (int32_t i = 0; i < numOuter; ++i)
        for (int32_t k = 0; k < d; ++k) {
            const double x = b->points[outer[i]][k];
            s->outerBox[k] = std::fmin(s->outerBox[k], x);
            s->outerBox[d + k] = std::fmax(s->outerBox[d + k], x);
        }
    return 0;
}
