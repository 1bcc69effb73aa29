// Nested Horner evaluation of the polynomial part, its derivative
// descriptors, and grids.
#include "surface/fit/poly_eval.h"

#include "surface/fit/poly_terms.h"
#include "surface/fit/strided_arrays.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"

namespace {

// Descriptors built on the stack hold at most this many coefficients.
const int32_t kLocalDescriptor = 16;

double Offset(const double* point, const double* centre, int32_t k) { return centre ? point[k] - centre[k] : point[k]; }

// Calls visit(index, node) for every grid node, coordinate 0 fastest.
template <class Visit>
void ForEachNode(int32_t d, const double* origin, const double* spacing, const int32_t* sizes, Visit visit) {
    int32_t n[3] = {1, 1, 1};
    for (int32_t k = 0; k < d; ++k) n[k] = sizes[k];
    double p[3] = {0.0, 0.0, 0.0};
    int64_t at = 0;
    for (int32_t i2 = 0; i2 < n[2]; ++i2) {
        if (d > 2) p[2] = origin[2] + i2 * spacing[2];
        for (int32_t i1 = 0; i1 < n[1]; ++i1) {
            if (d > 1) p[1] = origin[1] + i1 * spacing[1];
            for (int32_t i0 = 0; i0 < n[0]; ++i0) {
                p[0] = origin[0] + i0 * spacing[0];
                visit(at++, p);
            }
        }
    }
}

}  // namespace

double Poly_EvalAt(int32_t d, int32_t n, const double* c, const double* centre, const double* point) {
    if (n < 0 || d < 1) return 0.0;
    if (n == 0) return c[0];
    const double x = Offset(point, centre, d - 1);
    if (d == 1) {
        double v = c[n];
        for (int32_t k = n - 1; k >= 0; --k) v = v * x + c[k];
        return v;
    }
    // Block k (the coefficients of x_d^k) has (d - 1 + n - k choose n - k)
    // entries; walk the blocks from the highest power down.
    int32_t offset = Poly_Binomial(d, n);
    double v = 0.0;
    for (int32_t k = n; k >= 0; --k) {
        offset -= Poly_Binomial(d - 1, n - k);
        v = v * x + Poly_EvalAt(d - 1, n - k, c + offset, centre, point);
    }
    return v;
}

void Poly_Eval(int32_t d, int32_t n, const double* c, const double* centre, int32_t N, const double* const* points,
               double* out) {
    if (n < 0) return;
    for (int32_t i = 0; i < N; ++i) {
        const double* p = points[i];
        if (n == 0) {
            out[i] += c[0];
        } else if (n == 1) {
            double v = c[0];
            for (int32_t k = 0; k < d; ++k) v += c[k + 1] * Offset(p, centre, k);
            out[i] += v;
        } else {
            out[i] += Poly_EvalAt(d, n, c, centre, p);
        }
    }
}

void Poly_EvalClear(int32_t d, int32_t n, const double* c, const double* centre, int32_t N, const double* const* points,
                    double* out) {
    for (int32_t i = 0; i < N; ++i) out[i] = 0.0;
    Poly_Eval(d, n, c, centre, N, points, out);
}

void Poly_DerivDescriptor2(const double* c, int32_t k, double* out) {
    // 1, x, x², y, xy, y²
    if (k == 0) {
        out[0] = c[1];
        out[1] = 2.0 * c[2];
        out[2] = c[4];
    } else {
        out[0] = c[3];
        out[1] = c[4];
        out[2] = 2.0 * c[5];
    }
}

void Poly_DerivDescriptor3(const double* c, int32_t k, double* out) {
    // 1, x, x², y, xy, y², z, xz, yz, z²
    if (k == 0) {
        out[0] = c[1];
        out[1] = 2.0 * c[2];
        out[2] = c[4];
        out[3] = c[7];
    } else if (k == 1) {
        out[0] = c[3];
        out[1] = c[4];
        out[2] = 2.0 * c[5];
        out[3] = c[8];
    } else {
        out[0] = c[6];
        out[1] = c[7];
        out[2] = c[8];
        out[3] = 2.0 * c[9];
    }
}

int Poly_DerivDescriptor(int32_t d, int32_t n, const double* c, int32_t* e, int32_t k, double* out) {
    if (n <= 0) return 0;
    if (n == 1) {
        out[0] = c[k + 1];
        return 0;
    }
    if (n == 2 && d == 2) {
        Poly_DerivDescriptor2(c, k, out);
        return 0;
    }
    if (n == 2 && d == 3) {
        Poly_DerivDescriptor3(c, k, out);
        return 0;
    }
    if (d == 1) {
        for (int32_t j = 0; j < n; ++j) out[j] = (j + 1) * c[j + 1];
        return 0;
    }
    int32_t** T = Mem_AllocIntMatrix(d + 1, n + 1);
    if (!T) return CoreStatus_NoMemory;
    Poly_BinomialTable(d, n, T);
    // Every monomial with e_k > 0 gives e_k times its coefficient to the
    // monomial with e_k lowered by one.
    for (int32_t j = 0; j < d; ++j) e[j] = 0;
    int32_t rank = 0;
    while (Poly_NextExponents(d, n, e)) {
        ++rank;
        const int32_t ek = e[k];
        if (ek == 0) continue;
        e[k] = ek - 1;
        out[Poly_RankSum(d, n - 1, e, T)] = ek * c[rank];
        e[k] = ek;
    }
    Mem_FreeIntMatrix(T);
    return 0;
}

int Poly_Derivatives(int32_t d, int32_t n, const double* c, const double* const* descriptors, const double* centre,
                     int32_t N, const double* const* points, double* const* gradients) {
    if (n <= 0) return 0;
    if (n == 1) {
        for (int32_t i = 0; i < N; ++i)
            for (int32_t k = 0; k < d; ++k) gradients[i][k] += c[k + 1];
        return 0;
    }
    double local[3][kLocalDescriptor];
    const double* D[3];
    if (descriptors) {
        for (int32_t k = 0; k < d; ++k) D[k] = descriptors[k];
    } else {
        if (d > 3 || Poly_Binomial(d, n - 1) > kLocalDescriptor) return CoreStatus_InvalidInput;
        int32_t scratch[3];
        for (int32_t k = 0; k < d; ++k) {
            if (int status = Poly_DerivDescriptor(d, n, c, scratch, k, local[k])) return status;
            D[k] = local[k];
        }
    }
    for (int32_t i = 0; i < N; ++i) {
        const double* p = points[i];
        for (int32_t k = 0; k < d; ++k) {
            double g;
            if (n == 2) {
                g = D[k][0];
                for (int32_t j = 0; j < d; ++j) g += D[k][j + 1] * Offset(p, centre, j);
            } else {
                g = Poly_EvalAt(d, n - 1, D[k], centre, p);
            }
            gradients[i][k] += g;
        }
    }
    return 0;
}

int Poly_GridEval(int32_t d, int32_t n, const double* c, const double* centre, const double* origin,
                  const double* spacing, const int32_t* sizes, double* values) {
    if (n < 0) return 0;
    if (n >= 2) {
        ForEachNode(d, origin, spacing, sizes,
                    [&](int64_t at, const double* p) { values[at] += Poly_EvalAt(d, n, c, centre, p); });
        return 0;
    }
    int32_t strides[3] = {1, 1, 1};
    int32_t stride = 1;
    for (int32_t k = 0; k < d; ++k) {
        strides[k] = stride;
        stride *= sizes[k];
    }
    int status = AddToArraySlice(d, sizes, values, strides, c[0]);
    if (n == 0 || status != 0) return status;
    // The linear terms are constant over each slice across their axis.
    for (int32_t k = 0; k < d; ++k) {
        int32_t slice[3];
        for (int32_t j = 0; j < d; ++j) slice[j] = j == k ? 1 : sizes[j];
        const double base = centre ? centre[k] : 0.0;
        for (int32_t i = 0; i < sizes[k]; ++i) {
            const double term = c[k + 1] * (origin[k] + i * spacing[k] - base);
            status = AddToArraySlice(d, slice, values + static_cast<int64_t>(i) * strides[k], strides, term);
            if (status != 0) return status;
        }
    }
    return 0;
}

int Poly_GridGradient(int32_t d, int32_t n, const double* c, const double* centre, const double* origin,
                      const double* spacing, const int32_t* sizes, double* const* gradients) {
    if (n <= 0) return 0;
    const int32_t count = Poly_Binomial(d, n - 1);
    double* descriptor = Mem_AllocDoubles(count);
    int32_t* scratch = Mem_AllocInts(d);
    int status = descriptor && scratch ? 0 : CoreStatus_NoMemory;
    for (int32_t k = 0; k < d && status == 0; ++k) {
        status = Poly_DerivDescriptor(d, n, c, scratch, k, descriptor);
        if (status == 0) status = Poly_GridEval(d, n - 1, descriptor, centre, origin, spacing, sizes, gradients[k]);
    }
    Mem_Free(descriptor);
    Mem_Free(scratch);
    return status;
}
