#include "surface/fit/smallest_ball.h"

#include <cmath>
#include <cstring>

#include "surface/fit/cholesky.h"

namespace {

constexpr double kSupportEpsilons = 2.220446e-14;
constexpr double kPivotEpsilons = 2.220446e-13;

enum : int {
    kFailure = 1,
    kNotDefinite = 3,
    kInvalidInput = 5,
    kMaxIteration = 11,
    kDivideByZero = 16,
    kNullArgument = 23,
};

double Distance2(int32_t d, const double* a, const double* b) {
    double s = 0.0;
    for (int32_t i = 0; i < d; ++i) s += (a[i] - b[i]) * (a[i] - b[i]);
    return s;
}

void MoveIndexToFront(int32_t* indices, int32_t position) {
    const int32_t moved = indices[position];
    std::memmove(indices + 1, indices, sizeof(int32_t) * static_cast<size_t>(position));
    indices[0] = moved;
}

bool FiniteBall(int32_t d, const Ball* ball) {
    for (int32_t i = 0; i < d; ++i)
        if (!std::isfinite(ball->Centre[i])) return false;
    return std::isfinite(ball->Radius2);
}

// Centre p_k + Σ λᵢvᵢ from the solved multipliers.
void CentreFromOffsets(int32_t d, int32_t count, const double v[3][3], const double* lambda, const double* base,
                       Ball* ball) {
    double w[3] = {0.0, 0.0, 0.0};
    for (int32_t i = 0; i < count; ++i)
        for (int32_t j = 0; j < d; ++j) w[j] += lambda[i] * v[i][j];
    ball->Radius2 = 0.0;
    for (int32_t j = 0; j < d; ++j) {
        ball->Centre[j] = base[j] + w[j];
        ball->Radius2 += w[j] * w[j];
    }
}

// The 2×2 system of three support points by Cramer's rule.
int SolvePair(const double G[3][3], const double* b, double* lambda) {
    const double det = G[0][0] * G[1][1] - G[0][1] * G[1][0];
    if (det == 0.0 || !std::isfinite(det)) return kDivideByZero;
    lambda[0] = (b[0] * G[1][1] - G[0][1] * b[1]) / det;
    lambda[1] = (G[0][0] * b[1] - G[1][0] * b[0]) / det;
    return 0;
}

int FromSupport(int32_t d, int32_t k, const double* const* support, Ball* ball, bool threeDim) {
    if (!ball) return kNullArgument;
    if (k < 0 || k > d + 1) return kInvalidInput;
    ball->Support = k;
    for (double& c : ball->Centre) c = 0.0;
    if (k == 0) {
        ball->Radius2 = -1.0;
        return 0;
    }
    const double* last = support[k - 1];
    if (k == 1) {
        for (int32_t j = 0; j < d; ++j) ball->Centre[j] = last[j];
        ball->Radius2 = 0.0;
        return 0;
    }
    if (k == 2) {
        for (int32_t j = 0; j < d; ++j) ball->Centre[j] = 0.5 * (support[0][j] + last[j]);
        ball->Radius2 = 0.25 * Distance2(d, support[0], last);
        return 0;
    }
    double v[3][3] = {}, G[3][3] = {}, b[3] = {}, lambda[3] = {};
    const int32_t count = k - 1;
    for (int32_t i = 0; i < count; ++i)
        for (int32_t j = 0; j < d; ++j) v[i][j] = support[i][j] - last[j];
    for (int32_t i = 0; i < count; ++i) {
        for (int32_t j = 0; j < count; ++j)
            for (int32_t c = 0; c < d; ++c) G[i][j] += v[i][c] * v[j][c];
        b[i] = 0.5 * G[i][i];
    }
    int32_t used = count;
    int status = 0;
    if (count == 2) {
        status = SolvePair(G, b, lambda);
    } else {
        double rows[3][3] = {{G[0][0]}, {G[1][0], G[1][1]}, {G[2][0], G[2][1], G[2][2]}};
        double* triangle[3] = {rows[0], rows[1], rows[2]};
        status = Cholesky_FactorSigned(3, triangle);
        if (status == 0) {
            for (int32_t i = 0; i < 3; ++i) lambda[i] = b[i];
            Cholesky_SolveInPlace(3, triangle, lambda);
        } else if (status == kNotDefinite && threeDim) {
            used = 2;
            status = SolvePair(G, b, lambda);
        }
    }
    if (status != 0) return status;
    CentreFromOffsets(d, used, v, lambda, last, ball);
    if (!FiniteBall(d, ball)) return kDivideByZero;
    return 0;
}

int MoveToFront(BallSearch* s, int32_t m, int32_t k, Ball* ball) {
    int status = FromSupport(s->Dim, k, s->Support, ball, s->ThreeDim);
    if (status != 0) return status;
    s->LastSupport = k;
    if (k == s->Dim + 1) return 0;
    for (int32_t i = 0; i < m; ++i) {
        const double* p = s->Points[s->Indices[i]];
        if (Distance2(s->Dim, p, ball->Centre) <= ball->Radius2 + s->SupportTolerance) continue;
        s->Support[k] = p;
        status = MoveToFront(s, i, k + 1, ball);
        if (status != 0) return status;
        MoveIndexToFront(s->Indices, i);
    }
    return 0;
}

int Smallest(BallSearch* s, int32_t n, Ball* ball, int32_t* supportCount) {
    double largest = 0.0;
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j < s->Dim; ++j) largest = std::fmax(largest, std::fabs(s->Points[s->Indices[i]][j]));
    s->SupportTolerance = largest * kSupportEpsilons;
    s->PivotTolerance = largest * kPivotEpsilons;
    s->Support[0] = s->Points[s->Indices[0]];
    int32_t prefix = 0, start = 1, pivot = -1, passes = 0;
    for (;;) {
        const int status = MoveToFront(s, prefix, 1, ball);
        if (status != 0) return status;
        if (pivot >= 0) MoveIndexToFront(s->Indices, pivot);
        double farthest = -1.0;
        int32_t at = -1;
        for (int32_t i = start; i < n; ++i) {
            const double d2 = Distance2(s->Dim, s->Points[s->Indices[i]], ball->Centre);
            if (d2 > farthest) farthest = d2, at = i;
        }
        ++passes;
        if (s->ThreeDim && passes >= n) return kMaxIteration;
        if (at < 0 || farthest - ball->Radius2 <= s->PivotTolerance) break;
        if (passes >= n) return kFailure;
        pivot = at;
        s->Support[0] = s->Points[s->Indices[at]];
        prefix = s->LastSupport;
        start = prefix + 1;
    }
    ball->Radius2 += s->PivotTolerance;
    ball->Support = s->LastSupport;
    if (supportCount) *supportCount = s->LastSupport;
    return 0;
}

int Start(int32_t d, int32_t n, const double* const* points, int32_t* indices, Ball* ball, int32_t* supportCount,
          bool threeDim) {
    if (!points || !indices || !ball) return kNullArgument;
    if (d < 1 || d > 3 || n < 1) return kInvalidInput;
    BallSearch search{};
    search.Dim = d;
    search.Points = points;
    search.Indices = indices;
    search.ThreeDim = threeDim;
    return Smallest(&search, n, ball, supportCount);
}

}  // namespace

int BallN_Smallest(int32_t d, int32_t n, const double* const* points, int32_t* indices, double* /*scratch*/, Ball* ball,
                   int32_t* supportCount) {
    return Start(d, n, points, indices, ball, supportCount, false);
}

int Ball_Smallest(int32_t n, const double* const* points, int32_t* indices, Ball* ball, int32_t* supportCount) {
    return Start(3, n, points, indices, ball, supportCount, true);
}

int BallN_FromSupport(int32_t d, int32_t k, const double* const* support, Ball* ball) {
    return FromSupport(d, k, support, ball, false);
}

int Ball_FromSupport(int32_t k, const double* const* support, Ball* ball) {
    return FromSupport(3, k, support, ball, true);
}

int BallN_MoveToFront(BallSearch* search, int32_t m, int32_t k, Ball* ball) {
    search->ThreeDim = false;
    return MoveToFront(search, m, k, ball);
}

int Ball_MoveToFront(BallSearch* search, int32_t m, int32_t k, Ball* ball) {
    search->ThreeDim = true;
    return MoveToFront(search, m, k, ball);
}
