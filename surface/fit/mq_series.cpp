#include "surface/fit/mq_series.h"

#include <cstring>

#include "surface/fit/mq_expansion.h"

namespace {

inline int32_t Offset(int32_t t) { return t * (t + 1) * (t + 2) / 6; }
inline int32_t Inner(int32_t j, int32_t e) { return j * (j + 1) / 2 + e; }

// dst (degree t + 1) += scale · (w·u) · src (degree t).
void AddTimesLinear(const double* src, int32_t t, const double* w, double scale, double* dst) {
    for (int32_t j = 0; j <= t; ++j)
        for (int32_t e = 0; e <= j; ++e) {
            const double v = scale * src[Inner(j, e)];
            dst[Inner(j, e)] += v * w[0];
            dst[Inner(j + 1, e)] += v * w[1];
            dst[Inner(j + 1, e + 1)] += v * w[2];
        }
}

// dst (degree t + 2) += scale · |u|² · src (degree t).
void AddTimesSquare(const double* src, int32_t t, double scale, double* dst) {
    for (int32_t j = 0; j <= t; ++j)
        for (int32_t e = 0; e <= j; ++e) {
            const double v = scale * src[Inner(j, e)];
            dst[Inner(j, e)] += v;
            dst[Inner(j + 2, e)] += v;
            dst[Inner(j + 2, e + 2)] += v;
        }
}

}  // namespace

void MQSeries_AddSource(double* series, int32_t top, int32_t k, const double* y, double s, double c,
                        const double* alpha, const double* beta, double* scratch) {
    if (top < 0) return;
    std::memset(scratch, 0, sizeof(double) * static_cast<size_t>(Tetra_Size(top)));
    scratch[0] = 1.0;
    if (top >= 1) AddTimesLinear(scratch, 0, y, -k, scratch + Offset(1));
    for (int32_t i = 2; i <= top; ++i) {
        double* ti = scratch + Offset(i);
        AddTimesLinear(scratch + Offset(i - 1), i - 1, y, alpha[i], ti);
        AddTimesSquare(scratch + Offset(i - 2), i - 2, beta[i] * s, ti);
    }
    const int32_t size = Tetra_Size(top);
    for (int32_t i = 0; i < size; ++i) series[i] += c * scratch[i];
}

double MQSeries_Evaluate(const double* series, int32_t top, const double* u) {
    if (top < 0) return 0.0;
    double px[64], py[64], pz[64];
    px[0] = py[0] = pz[0] = 1.0;
    for (int32_t i = 1; i <= top; ++i) px[i] = px[i - 1] * u[0], py[i] = py[i - 1] * u[1], pz[i] = pz[i - 1] * u[2];
    double sum = 0.0;
    for (int32_t t = 0; t <= top; ++t) {
        const double* a = series + Offset(t);
        double degree = 0.0;
        for (int32_t j = 0; j <= t; ++j) {
            double inner = 0.0;
            for (int32_t e = 0; e <= j; ++e) inner += a[Inner(j, e)] * py[j - e] * pz[e];
            degree += inner * px[t - j];
        }
        sum += degree;
    }
    return sum;
}

void MQSeries_Derivative(const double* series, int32_t top, int32_t k, int32_t axis, double* out) {
    std::memset(out, 0, sizeof(double) * static_cast<size_t>(Tetra_Size(top + 1)));
    if (top < 0) return;
    double w[3] = {0.0, 0.0, 0.0};
    w[axis] = 1.0;
    for (int32_t t = 0; t <= top; ++t) {
        const double* a = series + Offset(t);
        double* g = out + Offset(t + 1);
        AddTimesLinear(a, t, w, static_cast<double>(k - 2 * t), g);
        if (t == 0) continue;
        // |u|² ∂S_t/∂u_axis: the derivative has degree t - 1.
        double d[2048];
        std::memset(d, 0, sizeof(double) * static_cast<size_t>(t * (t + 1) / 2));
        for (int32_t j = 0; j <= t; ++j)
            for (int32_t e = 0; e <= j; ++e) {
                const int32_t pa = t - j, pb = j - e, pe = e;
                const double v = a[Inner(j, e)];
                if (axis == 0 && pa > 0) d[Inner(j, e)] += pa * v;
                if (axis == 1 && pb > 0) d[Inner(j - 1, e)] += pb * v;
                if (axis == 2 && pe > 0) d[Inner(j - 1, e - 1)] += pe * v;
            }
        AddTimesSquare(d, t - 1, 1.0, g);
    }
}
