// Independent reference for the polynomial tests: the monomial order built
// by sorting all exponent vectors, and sums over it written out plainly.
#ifndef SURFACE_FIT_TESTS_POLY_NAIVE_H
#define SURFACE_FIT_TESTS_POLY_NAIVE_H

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace poly_naive {

using Exps = std::vector<int>;

// Every exponent vector of total degree at most n, sorted by the reversed
// vector (last coordinate most significant).
inline std::vector<Exps> Order(int d, int n) {
    std::vector<Exps> all;
    Exps e(d, 0);
    std::function<void(int, int)> fill = [&](int k, int left) {
        if (k == d) {
            all.push_back(e);
            return;
        }
        for (int v = 0; v <= left; ++v) {
            e[k] = v;
            fill(k + 1, left - v);
        }
    };
    if (n >= 0) fill(0, n);
    std::sort(all.begin(), all.end(), [](const Exps& a, const Exps& b) {
        return std::lexicographical_compare(a.rbegin(), a.rend(), b.rbegin(), b.rend());
    });
    return all;
}

inline double Monomial(const Exps& e, const double* p, const double* centre) {
    double v = 1.0;
    for (size_t k = 0; k < e.size(); ++k) v *= std::pow(p[k] - (centre ? centre[k] : 0.0), e[k]);
    return v;
}

inline double Value(int d, int n, const double* c, const double* centre, const double* p) {
    const auto order = Order(d, n);
    double v = 0.0;
    for (size_t r = 0; r < order.size(); ++r) v += c[r] * Monomial(order[r], p, centre);
    return v;
}

inline double Derivative(int d, int n, const double* c, const double* centre, const double* p, int k) {
    const auto order = Order(d, n);
    double v = 0.0;
    for (size_t r = 0; r < order.size(); ++r) {
        Exps e = order[r];
        if (e[k] == 0) continue;
        const double f = e[k];
        --e[k];
        v += c[r] * f * Monomial(e, p, centre);
    }
    return v;
}

}  // namespace poly_naive

#endif
