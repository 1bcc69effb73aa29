// The expansion lengths of RapidBiharm2. A far field of a panel of radius r
// (√2 times its half-size) with centres of summed weight a, cut after l
// terms, is seen from at least f panel radii away with an error of at most
// (1/f)^(l - 1) h a / ((l + 1) l), h = r² (f + 1) / (f - 1); f is 1.5 √2 for
// the nearest panels of an interaction list (2 to √8 panel sizes apart) and
// 3 for the others.
#include <algorithm>
#include <cmath>

#include "surface/fit/rapid_biharm2_internal.h"
#include "surface/frame/status_codes.h"

namespace {

constexpr double kNear = 2.1213203435596424;  // 1.5 √2
constexpr double kFar = 3.0;
constexpr int32_t kShortest = 2, kLongest = 80;

int32_t Count(const Biharm2Panel* p) { return p->End - p->First; }

// Σ|c_j| of every panel from level 2 down, scaled by 4 per level below 2 (the
// squared radius falls by 4 a level), so that one table serves all levels
// with the radius of level 2; the largest of them.
double SetMagnitudes(RapidBiharm2Workspace* ws) {
    double top = 0.0;
    for (int32_t level = 2; level <= ws->DeepestLevel; ++level) {
        const double factor = std::ldexp(1.0, -2 * (level - 2));
        for (Biharm2Panel* p = ws->Levels[level]; p; p = p->Next) {
            double sum = 0.0;
            for (int32_t i = p->First; i < p->End; ++i) sum += std::fabs(ws->Coeffs[i]);
            p->Magnitude = sum * factor;
            top = std::max(top, p->Magnitude);
        }
    }
    return top;
}

// The error bound of a far field of weight a cut after l terms.
double Bound(double f, double h, double a, int32_t l) { return std::pow(1.0 / f, l - 1) * h * a / ((l + 1.0) * l); }

// One table of lengths to use: for the magnitudes top, top / 4, ... the
// shortest length whose error bound is within the accuracy, searched from
// the length the bound's leading factor suggests (a length is never cut
// short of the accuracy, so the search goes up as well as down).
void FillTable(RapidBiharm2Workspace* ws, int table, double f, double accuracy) {
    const double r2 = ws->HalfSize[0] * ws->HalfSize[0] / 8.0;  // squared radius of a level-2 panel
    const double h = r2 * (f + 1.0) / (f - 1.0);
    double a = ws->UseTop;
    int32_t count = 0;
    while (count < kBiharm2UseEntries) {
        const double start = std::ceil(std::log(a * r2 / (2.0 * accuracy)) / std::log(f));
        int32_t l = start > kLongest ? kLongest : start < 1.0 ? 1 : static_cast<int32_t>(start);
        while (l < kLongest && Bound(f, h, a, l) > accuracy) ++l;
        while (l > 1 && Bound(f, h, a, l - 1) <= accuracy) --l;
        ws->UseLength[table][count++] = l;
        if (l == 1) break;
        a /= 4.0;
    }
    ws->UseCount[table] = count;
}

// A panel's length to use: the full length above the table's top magnitude
// (the largest panel's, so none is), the entry for its magnitude, 1 below
// the last entry.
int32_t LengthToUse(const RapidBiharm2Workspace* ws, int table, double magnitude) {
    if (magnitude > ws->UseTop) return ws->LaurentLength;
    const double steps = std::floor(std::log(ws->UseTop / magnitude) / std::log(4.0));
    const int32_t l = steps < ws->UseCount[table] ? ws->UseLength[table][static_cast<int32_t>(steps)] : 1;
    return std::min(l, ws->LaurentLength);
}

}  // namespace

int RapidBiharm2_SetLengths(RapidBiharm2Workspace* ws, double accuracy) {
    // A coefficient or accuracy that is not finite would never end the
    // length searches.
    if (!(accuracy > 0.0) || !std::isfinite(accuracy) || !std::isfinite(ws->HalfSize[0]))
        return CoreStatus_InvalidInput;
    double M = 0.0;
    for (int32_t i = 0; i < ws->N; ++i) {
        if (!std::isfinite(ws->Coeffs[i])) return CoreStatus_InvalidInput;
        M = std::max(M, std::fabs(ws->Coeffs[i]));
    }
    ws->UseTop = SetMagnitudes(ws);
    FillTable(ws, 0, kNear, accuracy);
    FillTable(ws, 1, kFar, accuracy);
    // The Laurent length: divisions by f of the largest far field's bound
    // until it is within the accuracy.
    const double s0 = ws->HalfSize[0];
    double d = 0.3525 * s0 * s0 * M;
    int32_t n = 0;
    while (d > accuracy && n < kLongest) {
        d /= kNear;
        ++n;
    }
    if (n < kShortest) n = kShortest;
    if (ws->UseCount[0] > 0 && ws->UseLength[0][0] > n) n = ws->UseLength[0][0];
    ws->LaurentLength = std::min(n, kLongest);
    // Taylor lengths: a level down the bound falls by 4, each term less
    // raises it by f.
    for (int32_t level = 0; level < kBiharm2Levels; ++level) ws->LevelTaylorLength[level] = 0;
    int32_t t = ws->LaurentLength;
    for (int32_t level = 2; level <= ws->DeepestLevel; ++level) {
        if (level > 2) {
            d /= 4.0;
            while (accuracy > kNear * d && t > kShortest) {
                d *= kNear;
                --t;
            }
        }
        ws->LevelTaylorLength[level] = t;
    }
    ws->TaylorLength = ws->LevelTaylorLength[ws->DeepestLevel >= 2 ? ws->DeepestLevel : 2];
    if (ws->TaylorLength == 0) ws->TaylorLength = t;
    // Pairs nearer than the threshold add less than the accuracy all told.
    double threshold = M > 0.0 ? accuracy / M : accuracy;
    while (threshold > 0.0 && accuracy < threshold * std::fabs(std::log(threshold)) * M * ws->N) threshold /= 4.0;
    ws->NearThreshold = threshold;
    for (int32_t level = 2; level <= ws->DeepestLevel; ++level)
        for (Biharm2Panel* p = ws->Levels[level]; p; p = p->Next) {
            p->LengthToUse[0] = Count(p) > 0 ? LengthToUse(ws, 0, p->Magnitude) : 0;
            p->LengthToUse[1] = Count(p) > 0 ? LengthToUse(ws, 1, p->Magnitude) : 0;
        }
    return 0;
}
