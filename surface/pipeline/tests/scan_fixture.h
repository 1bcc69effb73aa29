// Scans for the pipeline's tests: points with their true normals on a sphere,
// a torus or a hemisphere (area-uniform), the host's message function that
// keeps every line, parameters with the main program's defaults, and a
// context that frees its data.
#ifndef SURFACE_PIPELINE_TESTS_SCAN_FIXTURE_H
#define SURFACE_PIPELINE_TESTS_SCAN_FIXTURE_H

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "surface/pipeline/morlith_api.h"
#include "surface/pipeline/scan_fit.h"

namespace scan_fixture {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 2.0 * kPi;

enum class Shape { Sphere, Torus, Hemisphere };

// Sphere and hemisphere of radius `a` about the origin (the hemisphere is
// z >= 0), torus of radii a and b about the z axis.
struct Scan {
    Shape shape = Shape::Sphere;
    double a = 40.0, b = 15.0;
    std::vector<float> points, normals;
    int32_t count() const { return static_cast<int32_t>(points.size() / 3); }

    // Distance of a point from the true surface.
    double Distance(const double* p) const {
        if (shape == Shape::Torus) {
            const double ring = std::hypot(p[0], p[1]) - a;
            return std::fabs(std::hypot(ring, p[2]) - b);
        }
        return std::fabs(std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]) - a);
    }
};

inline Scan MakeScan(Shape shape, int32_t n, uint32_t seed = 7, double a = 40.0, double b = 15.0) {
    Scan scan;
    scan.shape = shape;
    scan.a = a;
    scan.b = b;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    while (scan.count() < n) {
        double p[3], g[3];
        if (shape == Shape::Torus) {
            const double s = kTwoPi * u(rng), t = kTwoPi * u(rng);
            // Area-uniform: the ring at angle t has length proportional to a + b cos t.
            if (u(rng) * (a + b) > a + b * std::cos(t)) continue;
            g[0] = std::cos(s) * std::cos(t);
            g[1] = std::sin(s) * std::cos(t);
            g[2] = std::sin(t);
            p[0] = (a + b * std::cos(t)) * std::cos(s);
            p[1] = (a + b * std::cos(t)) * std::sin(s);
            p[2] = b * std::sin(t);
        } else {
            const double z = shape == Shape::Sphere ? 2.0 * u(rng) - 1.0 : u(rng);
            const double t = kTwoPi * u(rng), r = std::sqrt(1.0 - z * z);
            g[0] = r * std::cos(t);
            g[1] = r * std::sin(t);
            g[2] = z;
            for (int k = 0; k < 3; ++k) p[k] = a * g[k];
        }
        for (int k = 0; k < 3; ++k) {
            scan.points.push_back(static_cast<float>(p[k]));
            scan.normals.push_back(static_cast<float>(g[k]));
        }
    }
    return scan;
}

// Every edge of the mesh's triangles is shared by exactly two of them.
inline bool Closed(const Mesh3& mesh) {
    std::map<std::pair<int32_t, int32_t>, int> edges;
    for (int32_t f = 0; f < mesh.Faces.TriCount; ++f)
        for (int k = 0; k < 3; ++k) {
            const int32_t a = mesh.Faces.Tri[3 * f + k], b = mesh.Faces.Tri[3 * f + (k + 1) % 3];
            ++edges[{std::min(a, b), std::max(a, b)}];
        }
    for (const auto& e : edges)
        if (e.second != 2) return false;
    return mesh.Faces.TriCount > 0;
}

// The mean distance between neighbouring points of n points spread over the
// scan's surface.
inline double Spacing(const Scan& scan) {
    const double area = scan.shape == Shape::Torus    ? 4.0 * kPi * kPi * scan.a * scan.b
                        : scan.shape == Shape::Sphere ? 4.0 * kPi * scan.a * scan.a
                                                      : 2.0 * kPi * scan.a * scan.a;
    return std::sqrt(area / scan.count());
}

// Every line the library gave the host, as "level: text".
inline std::vector<std::string>& HostLines() {
    static std::vector<std::string> lines;
    return lines;
}

inline int CollectHostLine(int32_t level, const char* format, va_list args) {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    HostLines().push_back(std::to_string(level) + ": " + text);
    return 0;
}

inline bool HostSaid(const std::string& line) {
    for (const std::string& l : HostLines())
        if (l == line) return true;
    return false;
}

inline bool HostSaidAnything(const std::string& text) {
    for (const std::string& l : HostLines())
        if (l.find(text) != std::string::npos) return true;
    return false;
}

// The parameters as the main program fills them, with an identity view.
inline ScanFitParams Params(double spacing, float accuracy, float resolution, int32_t close) {
    ScanFitParams p{};
    for (int k = 0; k < 4; ++k) p.ViewMatrix[5 * k] = 1.0f;
    p.InputResolution = static_cast<float>(spacing);
    p.Accuracy = accuracy;
    p.Resolution = resolution;
    p.MemoryToUse = 256;
    p.ExtraTrim = 0.0f;
    p.Close = close;
    p.SimpError = 1e10f;
    return p;
}

// A rotation by `degrees` about the axis (0.48, 0.6, 0.64), then a shift, as
// a row-vector transform.
inline Mat4d TurnedView(double degrees, double tx, double ty, double tz) {
    const double a[3] = {0.48, 0.6, 0.64};
    const double c = std::cos(degrees * kPi / 180.0), s = std::sin(degrees * kPi / 180.0), k = 1.0 - c;
    Mat4d m{};
    m.m[0] = c + a[0] * a[0] * k;
    m.m[1] = a[0] * a[1] * k + a[2] * s;
    m.m[2] = a[0] * a[2] * k - a[1] * s;
    m.m[4] = a[0] * a[1] * k - a[2] * s;
    m.m[5] = c + a[1] * a[1] * k;
    m.m[6] = a[1] * a[2] * k + a[0] * s;
    m.m[8] = a[0] * a[2] * k + a[1] * s;
    m.m[9] = a[1] * a[2] * k - a[0] * s;
    m.m[10] = c + a[2] * a[2] * k;
    m.m[12] = tx;
    m.m[13] = ty;
    m.m[14] = tz;
    m.m[15] = 1.0;
    return m;
}

// A zero-filled context as the main program owns it, its data freed at the end.
struct Context {
    ScanFitContext c{};
    Context() {
        HostLines().clear();
        Morlith_SetFuncs(&c, &CollectHostLine);
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    ~Context() { Morlith_FreeData(&c); }
    int Build(const ScanFitParams& p, const Scan& scan, int32_t force = 0) {
        Morlith_SetParams(&c, &p, force);
        return Morlith_Process(&c, scan.count(), scan.points.data(), scan.normals.data());
    }
};

}  // namespace scan_fixture

#endif
