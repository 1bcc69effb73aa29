#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "surface/fit/rapid_biharm2_internal.h"

namespace {

constexpr int32_t kBinomialRows = 200;

// Binomial coefficients C(n, k) for n < kBinomialRows, as doubles.
const double* BinomialRow(int32_t n) {
    static const std::vector<double> table = [] {
        std::vector<double> t(static_cast<size_t>(kBinomialRows) * kBinomialRows, 0.0);
        for (int32_t i = 0; i < kBinomialRows; ++i) {
            t[static_cast<size_t>(i) * kBinomialRows] = 1.0;
            for (int32_t k = 1; k <= i; ++k)
                t[static_cast<size_t>(i) * kBinomialRows + k] =
                    t[static_cast<size_t>(i - 1) * kBinomialRows + k - 1] +
                    (k < i ? t[static_cast<size_t>(i - 1) * kBinomialRows + k] : 0.0);
        }
        return t;
    }();
    return table.data() + static_cast<size_t>(n) * kBinomialRows;
}

// The Laurent series of one function moved by v: head and a' (length L).
void ShiftLaurent(const Cx* head, const Cx* a, int32_t L, Cx v, Cx* outHead, Cx* outA) {
    const Cx alpha = head[0], beta = head[1] - Mul(alpha, v), gamma = head[2] - Mul(alpha, v);
    outHead[0] = alpha;
    outHead[1] = beta;
    outHead[2] = gamma;
    PairScratch<kBinomialRows> vp;
    vp[0] = 1.0;
    for (int32_t i = 1; i <= L + 1; ++i) vp[i] = Mul(vp[i - 1], v);
    for (int32_t l = 1; l <= L; ++l) {
        Cx sum = -(Mul(alpha, vp[l + 1]) / static_cast<double>(l + 1)) - Mul(beta, vp[l]) / static_cast<double>(l);
        const double* binom = BinomialRow(l - 1);
        for (int32_t k = 1; k <= l; ++k) sum += binom[k - 1] * Mul(a[k - 1], vp[l - k]);
        outA[l - 1] = sum;
    }
}

// Taylor coefficients t_0..t_T at ζ = 0 of f(s + ζ), f a Laurent series.
void LaurentToTaylor(const Cx* head, const Cx* a, int32_t L, Cx s, int32_t T, Cx* t) {
    const Cx alpha = head[0], beta = head[1], gamma = head[2];
    const Cx logS = std::log(s), inv = Cx(1.0, 0.0) / s;
    PairScratch<2 * kBinomialRows> ip;
    ip[0] = 1.0;
    for (int32_t i = 1; i <= L + T; ++i) ip[i] = Mul(ip[i - 1], inv);
    const Cx lead = Mul(alpha, s) + beta;
    Cx t0 = Mul(lead, logS) + gamma;
    for (int32_t k = 1; k <= L; ++k) t0 += Mul(a[k - 1], ip[k]);
    t[0] = t0;
    for (int32_t l = 1; l <= T; ++l) {
        const double sign = (l & 1) ? 1.0 : -1.0;  // (-1)^{l+1}
        Cx v = Mul(lead, ip[l]) * (sign / l);
        v += l == 1 ? Mul(alpha, logS) : Mul(alpha, ip[l - 1]) * (-sign / (l - 1));
        Cx sum = 0.0;
        for (int32_t k = 1; k <= L; ++k) sum += BinomialRow(k + l - 1)[l] * Mul(a[k - 1], ip[k + l]);
        t[l] = v - sign * sum;
    }
}

}  // namespace

void Biharm2_AddCentre(Biharm2Panel* p, int32_t L, Cx w, double c) {
    const Cx wbar = std::conj(w);
    const double m2 = std::norm(w);
    p->Head[0][0] += c;
    p->Head[0][1] -= c * w;
    p->Head[0][2] -= c * w;
    p->Head[1][0] -= c * wbar;
    p->Head[1][1] += c * m2;
    p->Head[1][2] += c * m2;
    Cx power = w;  // w^{k+1}
    Cx* a1 = p->Laurent;
    Cx* a2 = p->Laurent + L;
    for (int32_t k = 1; k <= L; ++k) {
        power = Mul(power, w);
        const Cx term = power * (c / (static_cast<double>(k) * (k + 1)));
        a1[k - 1] += term;
        a2[k - 1] -= Mul(wbar, term);
    }
}

void Biharm2_AddChild(Biharm2Panel* parent, const Biharm2Panel* child, int32_t L) {
    const Cx v(child->Centre[0] - parent->Centre[0], child->Centre[1] - parent->Centre[1]), vbar = std::conj(v);
    Cx h1[3], h2[3];
    PairScratch<kBinomialRows> a1, a2;
    ShiftLaurent(child->Head[0], child->Laurent, L, v, h1, a1.data());
    ShiftLaurent(child->Head[1], child->Laurent + L, L, v, h2, a2.data());
    for (int32_t i = 0; i < 3; ++i) {
        parent->Head[0][i] += h1[i];
        parent->Head[1][i] += h2[i] - Mul(vbar, h1[i]);
    }
    for (int32_t k = 0; k < L; ++k) {
        parent->Laurent[k] += a1[k];
        parent->Laurent[L + k] += a2[k] - Mul(vbar, a1[k]);
    }
}

void Biharm2_AddFarField(Biharm2Panel* target, int32_t T, const Cx* head1, const Cx* a1, const Cx* head2, const Cx* a2,
                         int32_t L, const double* centre) {
    const Cx s(target->Centre[0] - centre[0], target->Centre[1] - centre[1]), sbar = std::conj(s);
    PairScratch<kBinomialRows> t1, t2;
    LaurentToTaylor(head1, a1, L, s, T, t1.data());
    LaurentToTaylor(head2, a2, L, s, T, t2.data());
    Cx* L1 = target->Taylor;
    Cx* L2 = target->Taylor + T + 1;
    for (int32_t l = 0; l <= T; ++l) {
        L1[l] += t1[l];
        L2[l] += t2[l] + Mul(sbar, t1[l]);
    }
}

void Biharm2_AddPointSource(Biharm2Panel* target, int32_t T, const double* x, double c) {
    // One centre about itself: F1 = c w log w, F2 = 0.
    const Cx head1[3] = {Cx(c, 0.0), Cx(0.0, 0.0), Cx(0.0, 0.0)};
    const Cx head2[3] = {};
    Biharm2_AddFarField(target, T, head1, nullptr, head2, nullptr, 0, x);
}

void Biharm2_ShiftTaylor(const Biharm2Panel* parent, int32_t parentT, Biharm2Panel* child, int32_t T) {
    const Cx u(child->Centre[0] - parent->Centre[0], child->Centre[1] - parent->Centre[1]), ubar = std::conj(u);
    PairScratch<kBinomialRows> up;
    up[0] = 1.0;
    for (int32_t i = 1; i <= parentT; ++i) up[i] = Mul(up[i - 1], u);
    const Cx* P1 = parent->Taylor;
    const Cx* P2 = parent->Taylor + parentT + 1;
    Cx* C1 = child->Taylor;
    Cx* C2 = child->Taylor + T + 1;
    for (int32_t m = 0; m <= T && m <= parentT; ++m) {
        Cx s1 = 0.0, s2 = 0.0;
        for (int32_t l = m; l <= parentT; ++l) {
            const double b = BinomialRow(l)[m];
            s1 += b * Mul(P1[l], up[l - m]);
            s2 += b * Mul(P2[l], up[l - m]);
        }
        C1[m] += s1;
        C2[m] += s2 + Mul(ubar, s1);
    }
}

double Biharm2_TaylorValue(const Biharm2Panel* p, int32_t T, const double* x) {
    const Cx z(x[0] - p->Centre[0], x[1] - p->Centre[1]);
    const Cx* L1 = p->Taylor;
    const Cx* L2 = p->Taylor + T + 1;
    Cx h1 = L1[T], h2 = L2[T];
    for (int32_t l = T - 1; l >= 0; --l) {
        h1 = Mul(h1, z) + L1[l];
        h2 = Mul(h2, z) + L2[l];
    }
    return z.real() * h1.real() + z.imag() * h1.imag() + h2.real();
}

const Biharm2Panel* Biharm2_Find(const RapidBiharm2Workspace* ws, const double* x) {
    const Biharm2Panel* p = ws->Root;
    const double size = 2.0 * ws->HalfSize[0];
    if (!p || !(x[0] >= ws->Min[0] && x[0] <= ws->Min[0] + size && x[1] >= ws->Min[1] && x[1] <= ws->Min[1] + size))
        return nullptr;
    if (ws->Cells) {
        // The cell's column and row; a point on the maximum edge is in the
        // last cell, as the descent puts it.
        const double cell = 2.0 * ws->HalfSize[ws->DeepestLevel];
        const int32_t last = ws->CellSide - 1;
        const int32_t col = std::min(static_cast<int32_t>((x[0] - ws->Min[0]) / cell), last);
        const int32_t row = std::min(static_cast<int32_t>((x[1] - ws->Min[1]) / cell), last);
        return ws->Cells[static_cast<int64_t>(row) * ws->CellSide + col];
    }
    while (p && p->Level < ws->DeepestLevel) {
        const int32_t q = (x[0] >= p->Centre[0] ? 1 : 0) + (x[1] >= p->Centre[1] ? 2 : 0);
        p = p->Child[q];
    }
    return p;
}
