// Shared pieces of the fitter tests: a smooth field on shell clouds, a
// direct evaluation of a fitted function written out here (Σ cⱼ φ plus the
// linear polynomial about its centre), and a core messenger that keeps its
// lines.
#ifndef SURFACE_FIT_TESTS_FIT_FIXTURES_H
#define SURFACE_FIT_TESTS_FIT_FIXTURES_H

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "surface/fit/tests/point_clouds.h"
#include "surface/frame/basic_function.h"
#include "surface/frame/core_reporter.h"

inline double SmoothField(const double* p, int32_t d) {
    const double z = d == 3 ? p[2] : 0.0;
    return 0.5 * p[0] - 0.25 * p[1] * p[1] + 0.3 * std::sin(2.0 * z + p[0] * p[1]);
}

inline std::vector<double> FieldValues(const Cloud& c) {
    std::vector<double> v;
    for (const double* p : c.rows) v.push_back(SmoothField(p, c.d));
    return v;
}

inline BasicFunctionKernel Biharmonic(int32_t d, int32_t degree = 1) {
    BasicFunctionKernel k{};
    BasicFunction_Init(kBasicBiharmonic, d, degree, 0.0, 1, &k, nullptr);
    return k;
}

// s(x) = Σ cⱼ φ(|x − xⱼ|) + polynomial of degree ≤ 1 about `shift`, summed
// directly in long double.
inline double DirectValue(const BasicFunctionKernel& k, int32_t n, const double* const* centres, const double* c,
                          const double* shift, const double* x) {
    long double s = 0.0L;
    for (int32_t j = 0; j < n; ++j) {
        double r2 = 0.0;
        for (int32_t a = 0; a < k.Dim; ++a) r2 += (x[a] - centres[j][a]) * (x[a] - centres[j][a]);
        s += static_cast<long double>(c[j]) * k.Phi(&k, r2);
    }
    if (k.PolyTerms >= 1) s += c[n];
    if (k.PolyTerms > 1)
        for (int32_t a = 0; a < k.Dim; ++a) s += static_cast<long double>(c[n + 1 + a]) * (x[a] - shift[a]);
    return static_cast<double>(s);
}

// Largest |s(xᵢ) − fᵢ| over every stride-th point.
inline double LargestMiss(const BasicFunctionKernel& k, int32_t n, const double* const* centres, const double* c,
                          const double* shift, const Cloud& points, const std::vector<double>& f, int32_t stride = 1) {
    double worst = 0.0;
    for (int32_t i = 0; i < points.N(); i += stride)
        worst = std::fmax(worst, std::fabs(DirectValue(k, n, centres, c, shift, points.rows[i]) - f[i]));
    return worst;
}

struct KeptLines {
    std::vector<std::pair<int32_t, std::string>> lines;
    std::vector<double> progressAt;  // the progress value when each line came
    int32_t abort = 0;
    double progress = 0.0;
    CoreReporter core{};
    int32_t abortAtLine = -1;       // sets the abort flag when this many lines were seen
    const char* abortOn = nullptr;  // or when a line holding this text is seen

    static int Keep(void* user, int32_t level, const char* format, va_list args) {
        auto* self = static_cast<KeptLines*>(user);
        char text[512];
        std::vsnprintf(text, sizeof(text), format, args);
        self->lines.emplace_back(level, text);
        self->progressAt.push_back(self->progress);
        if (self->abortAtLine >= 0 && static_cast<int32_t>(self->lines.size()) >= self->abortAtLine) self->abort = 1;
        if (self->abortOn && std::string(text).find(self->abortOn) != std::string::npos) self->abort = 1;
        return 0;
    }
    explicit KeptLines(int32_t maximumLevel = 6, int32_t mask = 0) {
        CoreReporter_Init(&core, &abort, &progress, maximumLevel, mask, Keep, this);
    }
    int32_t Count(int32_t level, const std::string& part) const {
        int32_t n = 0;
        for (const auto& l : lines) n += l.first == level && l.second.find(part) != std::string::npos ? 1 : 0;
        return n;
    }
    int32_t CountLevel(int32_t level) const {
        int32_t n = 0;
        for (const auto& l : lines) n += l.first == level ? 1 : 0;
        return n;
    }
};

#endif
