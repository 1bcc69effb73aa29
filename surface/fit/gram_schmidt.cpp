// Modified Gram–Schmidt, plain and pivoted, and projection onto the
// complement of an orthonormal set.
#include "surface/fit/gram_schmidt.h"
#include "surface/frame/status_codes.h"

#include <cmath>

#include "surface/frame/tracked_memory.h"

namespace {

const double kEpsilon = 0x1p-52;

double Dot(int32_t n, const double* a, const double* b) {
    long double sum = 0;
    for (int32_t i = 0; i < n; ++i) sum += static_cast<long double>(a[i]) * b[i];
    return static_cast<double>(sum);
}

void SubtractMultiple(int32_t n, double* x, double f, const double* q) {
    for (int32_t i = 0; i < n; ++i) x[i] -= f * q[i];
}

void Scale(int32_t n, double* x, double f) {
    for (int32_t i = 0; i < n; ++i) x[i] *= f;
}

void SwapContents(int32_t n, double* a, double* b) {
    for (int32_t i = 0; i < n; ++i) {
        const double t = a[i];
        a[i] = b[i];
        b[i] = t;
    }
}

}  // namespace

int GramSchmidt_Orthonormalise(int32_t k, int32_t n, double* const* V) {
    if (n < k) return CoreStatus_InvalidInput;
    double first = 0.0;
    for (int32_t i = 0; i < k; ++i) {
        double* v = V[i];
        for (int32_t j = 0; j < i; ++j) SubtractMultiple(n, v, Dot(n, V[j], v), V[j]);
        const double norm2 = Dot(n, v, v);
        if (i == 0) first = norm2;
        if (!(norm2 > first * kEpsilon) || norm2 == 0.0) return CoreStatus_LinearDependency;
        Scale(n, v, 1.0 / std::sqrt(norm2));
    }
    return 0;
}

int GramSchmidt_Pivoted(int32_t k, int32_t n, double* const* V, int32_t* count) {
    if (n < k) return CoreStatus_InvalidInput;
    double largestInitial = 0.0;
    for (int32_t i = 0; i < k; ++i) largestInitial = std::fmax(largestInitial, Dot(n, V[i], V[i]));
    if (k > 0 && largestInitial == 0.0) return CoreStatus_LinearDependency;
    const double threshold = largestInitial * kEpsilon;
    for (int32_t i = 0; i < k; ++i) {
        int32_t best = i;
        double bestNorm = Dot(n, V[i], V[i]);
        for (int32_t j = i + 1; j < k; ++j) {
            const double norm2 = Dot(n, V[j], V[j]);
            if (norm2 > bestNorm) {
                best = j;
                bestNorm = norm2;
            }
        }
        if (!(bestNorm > threshold)) {
            *count = i;
            return CoreStatus_LinearDependency;
        }
        if (best != i) SwapContents(n, V[i], V[best]);
        double* q = V[i];
        Scale(n, q, 1.0 / std::sqrt(bestNorm));
        for (int32_t j = i + 1; j < k; ++j) SubtractMultiple(n, V[j], Dot(n, q, V[j]), q);
    }
    *count = k;
    return 0;
}

int GramSchmidt_ProjectOut(int32_t k, int32_t n, double* const* Q, double* x) {
    if (k <= 0) return 0;
    double* dots = Mem_AllocDoubles(k);
    if (!dots) return CoreStatus_NoMemory;
    for (int32_t i = 0; i < k; ++i) dots[i] = Dot(n, Q[i], x);
    for (int32_t i = 0; i < k; ++i) SubtractMultiple(n, x, dots[i], Q[i]);
    Mem_Free(dots);
    return 0;
}
