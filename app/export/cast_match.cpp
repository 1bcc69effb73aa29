#include "app/export/cast_match.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "app/scan/kd_tree.h"
#include "app/scan/svd.h"

namespace {

// One marker pair: index into list 1, index into list 2.
struct MarkerPair {
    int32_t first;
    int32_t second;
};

Vec3D Wide(const Vec3& p) { return Vec3D{p.x, p.y, p.z}; }

// The rotation R and translation t (p·R + t) that best carry the list-2
// points of the pairs onto their list-1 partners in the least-squares sense.
// R is the nearest proper rotation of the pairs' cross-covariance, so a
// mirrored marker layout never yields a reflection. 0 when the points are
// too degenerate to fix a rotation.
int32_t FitRigid(const Vec3* list1, const Vec3* list2, const MarkerPair* pairs, int32_t count, Matrix4& out) {
    Vec3D c1{0, 0, 0}, c2{0, 0, 0};
    for (int32_t i = 0; i < count; ++i) {
        const Vec3D a = Wide(list1[pairs[i].first]), b = Wide(list2[pairs[i].second]);
        c1 = Vec3D{c1.x + a.x, c1.y + a.y, c1.z + a.z};
        c2 = Vec3D{c2.x + b.x, c2.y + b.y, c2.z + b.z};
    }
    c1 = Vec3D{c1.x / count, c1.y / count, c1.z / count};
    c2 = Vec3D{c2.x / count, c2.y / count, c2.z / count};
    Matrix4D h;
    M4D_Identity(h);
    for (int k = 0; k < 3; ++k) h[k * 5] = 0.0;
    for (int32_t i = 0; i < count; ++i) {
        const Vec3D a = Wide(list1[pairs[i].first]), b = Wide(list2[pairs[i].second]);
        const double p[3] = {b.x - c2.x, b.y - c2.y, b.z - c2.z};
        const double q[3] = {a.x - c1.x, a.y - c1.y, a.z - c1.z};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) h[r * 4 + c] += p[r] * q[c];
    }
    Matrix4D v, s, u;
    if (!M4D_NearestRotation(h, v, s, u)) return 0;
    double rot[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) rot[i][j] = u[i] * v[j] + u[4 + i] * v[4 + j] + u[8 + i] * v[8 + j];
    M4_Identity(out);
    const double centre2[3] = {c2.x, c2.y, c2.z}, centre1[3] = {c1.x, c1.y, c1.z};
    for (int j = 0; j < 3; ++j) {
        double moved = 0.0;
        for (int i = 0; i < 3; ++i) {
            out[i * 4 + j] = static_cast<float>(rot[i][j]);
            moved += centre2[i] * rot[i][j];
        }
        out[12 + j] = static_cast<float>(centre1[j] - moved);
    }
    return 1;
}

// Sum and largest of the pairs' squared residuals under the transform.
void Residuals(const Vec3* list1, const Vec3* list2, const MarkerPair* pairs, int32_t count, const Matrix4& t,
               double& sum, double& largest) {
    sum = 0.0;
    largest = 0.0;
    for (int32_t i = 0; i < count; ++i) {
        Vec3 moved;
        M4_TransformPoint(t, list2[pairs[i].second], moved);
        const double d = V3_DistanceSquared(moved, list1[pairs[i].first]);
        sum += d;
        largest = std::max(largest, d);
    }
}

// ---- Asymmetric matching --------------------------------------------------

// Row i holds marker i's ascending distances to every marker of its list.
std::vector<float> Profiles(const Vec3* list, int32_t n, float& greatest) {
    std::vector<float> rows(static_cast<size_t>(n) * n);
    for (int32_t i = 0; i < n; ++i) {
        float* row = &rows[static_cast<size_t>(i) * n];
        for (int32_t j = 0; j < n; ++j) {
            row[j] = V3_Distance(list[i], list[j]);
            greatest = std::max(greatest, row[j]);
        }
        std::sort(row, row + n);
    }
    return rows;
}

// Greedy pairing at k: the unmatched pair with the smallest score (the first
// in row order on a tie), repeated until no unmatched pair scores.
void PairAtLevel(const std::vector<float>& p1, const std::vector<float>& p2, int32_t n, int32_t m, int32_t k,
                 float tolerance, std::vector<char>& used1, std::vector<char>& used2, std::vector<MarkerPair>& pairs) {
    for (;;) {
        float best = -1.0f;
        MarkerPair found{-1, -1};
        for (int32_t i = 0; i < n; ++i) {
            if (used1[i]) continue;
            for (int32_t j = 0; j < m; ++j) {
                if (used2[j]) continue;
                const float score = CastInv_ProfileScore(&p1[static_cast<size_t>(i) * n],
                                                         &p2[static_cast<size_t>(j) * m], n, m, k, tolerance);
                if (score != -1.0f && (found.first < 0 || score < best)) {
                    best = score;
                    found = MarkerPair{i, j};
                }
            }
        }
        if (found.first < 0) return;
        used1[found.first] = 1;
        used2[found.second] = 1;
        pairs.push_back(found);
    }
}

// Sum of squared distances of the chosen markers from their least-squares
// line; -1 when the fit fails.
double LineSpread(const Vec3* list, const MarkerPair* pairs, int32_t count, bool second) {
    std::vector<Vec3D> points(count);
    for (int32_t i = 0; i < count; ++i) points[i] = Wide(list[second ? pairs[i].second : pairs[i].first]);
    Vec3D centroid, direction;
    if (!Svd_FitPlaneOrLine(count, points.data(), centroid, &direction, nullptr, nullptr, nullptr, nullptr))
        return -1.0;
    double sum = 0.0;
    for (const Vec3D& p : points) sum += LineD_DistanceSquared(p, centroid, direction);
    return sum;
}

void FitMatched(const Vec3* list1, const Vec3* list2, const std::vector<MarkerPair>& pairs, Matrix4& transform,
                float& greatestError, float& meanError) {
    const int32_t count = static_cast<int32_t>(pairs.size());
    const double spread1 = LineSpread(list1, pairs.data(), count, false);
    const double spread2 = LineSpread(list2, pairs.data(), count, true);
    if (spread1 < kCastMatchMinSpread || spread2 < kCastMatchMinSpread) return;
    Matrix4 fitted;
    if (!FitRigid(list1, list2, pairs.data(), count, fitted)) return;
    double sum, largest;
    Residuals(list1, list2, pairs.data(), count, fitted, sum, largest);
    transform = fitted;
    meanError = static_cast<float>(std::sqrt(sum / count));
    greatestError = static_cast<float>(std::sqrt(largest));
}

// ---- Symmetric matching ---------------------------------------------------

struct PairSearch {
    const Vec3* list1;
    const Vec3* list2;
    int32_t n;
    const double* r1;
    const double* r2;
    MarkerPair* pairs;
    double bestSum;
    double bestLargest;
    int32_t bestCount;
    Matrix4 best;
};

// Each marker's distance from its list's centroid, and its order number:
// the rank by that distance, ties told apart so that all are different.
void RadiiAndOrder(const Vec3* list, int32_t n, double* r, int32_t* order) {
    Vec3 centre;
    V3_Centroid(list, n, centre);
    for (int32_t i = 0; i < n; ++i) r[i] = V3_Distance(list[i], centre);
    std::vector<int32_t> rank(n, 0);
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j < n; ++j)
            if (r[j] < r[i]) ++rank[i];
    for (int32_t i = 0; i < n; ++i) {
        order[i] = rank[i];
        for (int32_t j = i + 1; j < n; ++j)
            if (rank[j] == rank[i]) ++order[i];
    }
}

void VisitAssignment(const int32_t* assignment, void* context) {
    PairSearch& s = *static_cast<PairSearch*>(context);
    double bound = 0.0;
    for (int32_t i = 0; i < s.n; ++i) {
        const double excess = std::max(0.0, s.r2[assignment[i]] - s.r1[i] - kCastMatchRadiusSlack);
        bound += excess * excess;
        s.pairs[i] = MarkerPair{i, assignment[i]};
    }
    if (bound > s.bestSum) return;
    Matrix4 fitted;
    if (!FitRigid(s.list1, s.list2, s.pairs, s.n, fitted)) return;
    double sum, largest;
    Residuals(s.list1, s.list2, s.pairs, s.n, fitted, sum, largest);
    if (!(sum < s.bestSum)) return;
    s.bestSum = sum;
    s.bestLargest = largest;
    s.bestCount = s.n;
    s.best = fitted;
}

}  // namespace

float CastInv_ProfileScore(const float* a, const float* b, int32_t n, int32_t m, int32_t k, float tolerance) {
    if (n < k || m < k) return -1.0f;
    if (k == 0) return 0.0f;
    float best = -1.0f;
    if (std::fabs(a[0] - b[0]) < tolerance) {
        const float rest = CastInv_ProfileScore(a + 1, b + 1, n - 1, m - 1, k - 1, tolerance);
        if (rest != -1.0f) best = a[0] + b[0] + rest;
    }
    const float skipA = CastInv_ProfileScore(a + 1, b, n - 1, m, k, tolerance);
    if (skipA != -1.0f && (best == -1.0f || skipA < best)) best = skipA;
    const float skipB = CastInv_ProfileScore(a, b + 1, n, m - 1, k, tolerance);
    if (skipB != -1.0f && (best == -1.0f || skipB < best)) best = skipB;
    return best;
}

int32_t CastInv_MatchSingle(const Vec3* list1, const Vec3* list2, int32_t n, int32_t m, Matrix4& transform,
                            int32_t& matchCount, float& greatestError, float& meanError) {
    M4_Identity(transform);
    try {
        float greatest = 0.0f;
        const std::vector<float> p1 = Profiles(list1, n, greatest);
        const std::vector<float> p2 = Profiles(list2, m, greatest);
        const float tolerance = kCastMatchProfileTolerance * greatest;
        std::vector<char> used1(n, 0), used2(m, 0);
        std::vector<MarkerPair> pairs;
        for (int32_t k = std::min(n, m); k > 2; --k) PairAtLevel(p1, p2, n, m, k, tolerance, used1, used2, pairs);
        matchCount = static_cast<int32_t>(pairs.size());
        if (matchCount > 3) FitMatched(list1, list2, pairs, transform, greatestError, meanError);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int32_t CastInv_MatchPair(const Vec3* list1, const Vec3* list2, int32_t n, int32_t m, Matrix4& transform,
                          int32_t& matchCount, float& greatestError, float& meanError) {
    if (n != m) return 0;
    try {
        std::vector<double> r1(n), r2(n);
        std::vector<int32_t> order1(n), order2(n), assignment(n);
        std::vector<MarkerPair> pairs(n);
        RadiiAndOrder(list1, n, r1.data(), order1.data());
        RadiiAndOrder(list2, n, r2.data(), order2.data());
        for (int32_t i = 0; i < n; ++i)
            for (int32_t j = 0; j < n; ++j)
                if (order2[j] == order1[i]) assignment[i] = j;
        PairSearch search{list1, list2, n, r1.data(), r2.data(), pairs.data(), 1e30, 1e30, 0, {}};
        M4_Identity(search.best);
        Permutations_Visit(assignment.data(), n, VisitAssignment, &search);
        M4_Identity(transform);
        matchCount = search.bestCount;
        // No assignment could be fitted: leave the errors saying "no
        // transform" instead of reporting the starting sums as errors.
        if (search.bestCount == 0) return 1;
        transform = search.best;
        meanError = static_cast<float>(std::sqrt(search.bestSum / n));
        greatestError = static_cast<float>(std::sqrt(search.bestLargest));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}
