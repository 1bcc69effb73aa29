// Memory sizes of decompositions and the subdomain size that fits a budget.
#include <cmath>

#include "surface/fit/dom_decomp.h"
#include "surface/fit/one_dim_solvers.h"

namespace {

struct SizeQuery {
    double budget;
    int32_t p;
    int32_t m;
};

// Budget left over for a subdomain size of x points (falls as x grows).
int Residual(double x, void* context, double* value) {
    const SizeQuery* q = static_cast<const SizeQuery*>(context);
    const int32_t n = static_cast<int32_t>(x);
    *value = q->budget - (static_cast<double>(DomDecomp_CoarseBytes(n, q->m, 1.0)) +
                          static_cast<double>(DomDecomp_SubdomainBytes(n, q->p, q->m)));
    return 0;
}

}  // namespace

int64_t DomDecomp_Bytes(const SDData* sd, int32_t m) {
    int64_t total = 0;
    for (int32_t i = 0; i < sd->count; ++i) total += sd->subdomains[i].count;
    return 4 * (total + 4 * static_cast<int64_t>(sd->count) * (m + 4));
}

// Computed in 64 bits: at the sizes the bracketing tries, 32-bit arithmetic
// wraps and turns a large size into a small one.
uint64_t DomDecomp_CoarseBytes(int32_t n, int32_t m, double scale) {
    const int64_t s = static_cast<int64_t>(n * scale);
    const int64_t k = s - m;
    const int64_t tri = (k + 1) * k / 2;
    return static_cast<uint64_t>(12 * m + 8 * (2 * s + m * (3 * m + 2 * s) + tri));
}

uint64_t DomDecomp_SubdomainBytes(int32_t n, int32_t p, int32_t m) {
    const int64_t N = n;
    return static_cast<uint64_t>(4 * (m + 2 * (N * (p + m + 1) + m * (m + 1))) + 4);
}

int DomDecomp_ChooseSubdomainSize(double budget, int32_t p, int32_t m, int32_t* size) {
    SizeQuery query{budget, p, m};
    double a = 1.0, b = 0.0, fa = 0.0, fb = 0.0, root = 0.0;
    *size = -1;
    int status = Residual(a, &query, &fa);
    if (status == 0) status = Root_Bracket(Residual, &a, &b, &fa, &fb, 100.0, &query, 10, nullptr);
    if (status == 0) status = Root_Find(Residual, &a, &b, fa, fb, 1.0, &query, 20, &root, nullptr);
    if (status != 0) return status;
    *size = static_cast<int32_t>(root) - 1;
    return 0;
}
