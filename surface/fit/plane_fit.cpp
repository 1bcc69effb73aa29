#include "surface/fit/plane_fit.h"

#include "surface/fit/small_solvers.h"
#include "surface/frame/status_codes.h"

#include <cmath>

namespace {

double Length3(const double* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// A compensated running sum, so that long point lists keep their small terms.
struct Sum {
    double sum = 0.0;
    double compensation = 0.0;
    void Add(double value) {
        const double t = sum + value;
        compensation += std::fabs(sum) >= std::fabs(value) ? (sum - t) + value : (value - t) + sum;
        sum = t;
    }
    double Value() const { return sum + compensation; }
};

}  // namespace

void Vec3_NormaliseInPlace(double* v) {
    const double length = Length3(v);
    if (length > 0.0) {
        for (int i = 0; i < 3; ++i) v[i] /= length;
    }
}

void Plane_NormaliseByNormal(double* plane) {
    const double length = Length3(plane);
    if (length > 0.0) {
        for (int i = 0; i < 4; ++i) plane[i] /= length;
    }
}

void Plane_FromPoints(const double* p0, const double* p1, const double* p2, double* plane) {
    const double u[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    const double v[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
    const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    plane[0] = n[0];
    plane[1] = n[1];
    plane[2] = n[2];
    plane[3] = -(n[0] * p2[0] + n[1] * p2[1] + n[2] * p2[2]);
}

int Points_FitPlaneMoments(const double* const* points, int32_t count, double* plane) {
    Sum moments[9];
    Sum sums[3];
    for (int32_t k = 0; k < count; ++k) {
        const double* p = points[k];
        for (int i = 0; i < 3; ++i) {
            sums[i].Add(p[i]);
            for (int j = 0; j < 3; ++j) moments[3 * i + j].Add(p[i] * p[j]);
        }
    }
    double m[9];
    for (int i = 0; i < 9; ++i) m[i] = moments[i].Value();
    double inverse[9];
    if (Mat3_Invert(m, inverse) != 0) return CoreStatus_LinearDependency;
    for (int i = 0; i < 3; ++i) {
        plane[i] = inverse[3 * i] * sums[0].Value() + inverse[3 * i + 1] * sums[1].Value() +
                   inverse[3 * i + 2] * sums[2].Value();
    }
    plane[3] = -1.0;
    Plane_NormaliseByNormal(plane);
    return 0;
}

int Points_FitPlane(const double* const* points, int32_t count, double* centroid, double* normal) {
    for (int i = 0; i < 3; ++i) centroid[i] = normal[i] = 0.0;
    if (count < 1) return 0;
    Sum sums[3];
    for (int32_t k = 0; k < count; ++k) {
        for (int i = 0; i < 3; ++i) sums[i].Add(points[k][i]);
    }
    const double r = 1.0 / count;
    for (int i = 0; i < 3; ++i) centroid[i] = sums[i].Value() * r;
    double plane[4];
    if (Points_FitPlaneMoments(points, count, plane) != 0) return CoreStatus_LinearDependency;
    for (int i = 0; i < 3; ++i) normal[i] = plane[i];
    return 0;
}
