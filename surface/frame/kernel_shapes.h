// The thirteen basic functions φ as inline shapes for the kernel loops.
//
// Each shape is built once per operation from the record (so that constants
// such as c² are formed once) and gives, for a squared distance s, φ(s) and
// the gradient factor g(s) = φ′(r)/r: a centre adds λ·g·(x − c) to the
// gradient at x. kType and kDim are what the operations check (kDim 0: any
// dimension, taken from the record).
#ifndef SURFACE_FRAME_KERNEL_SHAPES_H
#define SURFACE_FRAME_KERNEL_SHAPES_H

#include <cmath>

#include "surface/frame/basic_function.h"
#include "surface/frame/kernel_power.h"

namespace kernel_shapes {

struct Biharmonic3 {  // r
    static constexpr int32_t kType = kBasicBiharmonic, kDim = 3;
    explicit Biharmonic3(const BasicFunctionKernel&) {}
    double Phi(double s) const { return s > 0.0 ? std::sqrt(s) : 0.0; }
    void PhiGrad(double s, double* phi, double* g) const {
        if (s > 0.0) {
            const double r = std::sqrt(s);
            *phi = r;
            *g = 1.0 / r;
        } else {
            *phi = *g = 0.0;
        }
    }
};

struct Triharmonic3 {  // r³
    static constexpr int32_t kType = kBasicTriharmonic, kDim = 3;
    explicit Triharmonic3(const BasicFunctionKernel&) {}
    double Phi(double s) const { return s > 0.0 ? s * std::sqrt(s) : 0.0; }
    void PhiGrad(double s, double* phi, double* g) const {
        if (s > 0.0) {
            const double r = std::sqrt(s);
            *phi = s * r;
            *g = 3.0 * r;
        } else {
            *phi = *g = 0.0;
        }
    }
};

struct Multiquadric3 {  // √(c² + r²)
    static constexpr int32_t kType = kBasicMultiquadric, kDim = 3;
    double c2;
    explicit Multiquadric3(const BasicFunctionKernel& k) : c2(k.Param * k.Param) {}
    double Phi(double s) const {
        const double u = c2 + s;
        return u > 0.0 ? std::sqrt(u) : 0.0;
    }
    void PhiGrad(double s, double* phi, double* g) const {
        const double u = c2 + s;
        if (u > 0.0) {
            const double t = std::sqrt(u);
            *phi = t;
            *g = 1.0 / t;
        } else {
            *phi = *g = 0.0;
        }
    }
};

struct InverseMultiquadric3 {  // 1/√(c² + r²)
    static constexpr int32_t kType = kBasicMultiquadric, kDim = 3;
    double c2;
    explicit InverseMultiquadric3(const BasicFunctionKernel& k) : c2(k.Param * k.Param) {}
    double Phi(double s) const {
        const double u = c2 + s;
        return u > 0.0 ? 1.0 / std::sqrt(u) : 0.0;
    }
    void PhiGrad(double s, double* phi, double* g) const {
        const double u = c2 + s;
        if (u > 0.0) {
            const double inv = 1.0 / std::sqrt(u);
            *phi = inv;
            *g = -inv * inv * inv;
        } else {
            *phi = *g = 0.0;
        }
    }
};

struct Spherical3 {  // 1 − 1.5·r/c + 0.5·(r/c)³ inside c, 0 outside
    static constexpr int32_t kType = kBasicSpherical, kDim = 3;
    double c, c2;
    explicit Spherical3(const BasicFunctionKernel& k) : c(k.Param), c2(k.Param * k.Param) {}
    double Phi(double s) const { return s < c2 ? 1.0 + std::sqrt(s) * (s / c2 - 3.0) / (2.0 * c) : 0.0; }
    void PhiGrad(double s, double* phi, double* g) const {
        if (s < c2) {
            const double r = std::sqrt(s);
            *phi = 1.0 + r * (s / c2 - 3.0) / (2.0 * c);
            *g = s > 0.0 ? 1.5 * (s / c2 - 1.0) / (c * r) : 0.0;
        } else {
            *phi = *g = 0.0;
        }
    }
};

struct GeneralizedMultiquadric {  // (c² + r²)^(β/2)
    static constexpr int32_t kType = kBasicMultiquadric, kDim = 0;
    double c2, scale;
    int32_t beta;
    explicit GeneralizedMultiquadric(const BasicFunctionKernel& k)
        : c2(k.Param * k.Param), scale(1.0), beta(k.Exponent) {}
    double Phi(double s) const { return scale * Kernel_IntPower(std::sqrt(c2 + s), beta); }
    void PhiGrad(double s, double* phi, double* g) const {
        const double u = c2 + s;
        const double t = std::sqrt(u);
        *phi = scale * Kernel_IntPower(t, beta);
        *g = u > 0.0 ? scale * beta * Kernel_IntPower(t, beta - 2) : 0.0;
    }
};

struct NormalizedMultiquadric : GeneralizedMultiquadric {  // c^(−β)·(c² + r²)^(β/2)
    static constexpr int32_t kType = kBasicNormalizedMultiquadric, kDim = 0;
    explicit NormalizedMultiquadric(const BasicFunctionKernel& k) : GeneralizedMultiquadric(k) { scale = k.Factor; }
};

// A cone 1 + k·r up to the join radius R, then a scaled inverse
// multiquadric tail (c^(−β)/K)·t^β; value and slope agree at R.
struct ApproxSpherical {
    static constexpr int32_t kType = kBasicApproxSpherical, kDim = 0;
    double c2, join2, slope, tail;
    int32_t beta;
    explicit ApproxSpherical(const BasicFunctionKernel& k)
        : c2(k.Param * k.Param),
          join2(k.JoinRadius * k.JoinRadius),
          slope(k.Factor),
          tail(Kernel_IntPower(k.Param, -k.Exponent) / k.TailDivisor),
          beta(k.Exponent) {}
    double Phi(double s) const {
        if (s <= join2) return 1.0 + slope * std::sqrt(s);
        return tail * Kernel_IntPower(std::sqrt(c2 + s), beta);
    }
    void PhiGrad(double s, double* phi, double* g) const {
        if (s <= join2) {
            const double r = std::sqrt(s);
            *phi = 1.0 + slope * r;
            *g = s > 0.0 ? slope / r : 0.0;
        } else {
            const double t = std::sqrt(c2 + s);
            *phi = tail * Kernel_IntPower(t, beta);
            *g = tail * beta * Kernel_IntPower(t, beta - 2);
        }
    }
};

struct Gaussian {  // exp(−c·r²)
    static constexpr int32_t kType = kBasicGaussian, kDim = 0;
    double c;
    explicit Gaussian(const BasicFunctionKernel& k) : c(k.Param) {}
    double Phi(double s) const { return std::exp(-c * s); }
    void PhiGrad(double s, double* phi, double* g) const {
        const double e = std::exp(-c * s);
        *phi = e;
        *g = s > 0.0 ? -2.0 * c * e : 0.0;
    }
};

struct Biharmonic2 {  // r²·ln r = ½·s·ln s
    static constexpr int32_t kType = kBasicBiharmonic, kDim = 2;
    explicit Biharmonic2(const BasicFunctionKernel&) {}
    double Phi(double s) const { return s > 0.0 ? 0.5 * s * std::log(s) : 0.0; }
    void PhiGrad(double s, double* phi, double* g) const {
        if (s > 0.0) {
            const double l = std::log(s);
            *phi = 0.5 * s * l;
            *g = l + 1.0;
        } else {
            *phi = *g = 0.0;
        }
    }
};

struct Triharmonic2 {  // r⁴·ln r = ½·s²·ln s
    static constexpr int32_t kType = kBasicTriharmonic, kDim = 2;
    explicit Triharmonic2(const BasicFunctionKernel&) {}
    double Phi(double s) const { return s > 0.0 ? 0.5 * s * s * std::log(s) : 0.0; }
    void PhiGrad(double s, double* phi, double* g) const {
        if (s > 0.0) {
            const double l = std::log(s);
            *phi = 0.5 * s * s * l;
            *g = s * (2.0 * l + 1.0);
        } else {
            *phi = *g = 0.0;
        }
    }
};

struct ShiftedBiharmonic2 {  // ½·u·ln u, u = c² + s
    static constexpr int32_t kType = kBasicShiftedBiharmonic, kDim = 2;
    double c2;
    explicit ShiftedBiharmonic2(const BasicFunctionKernel& k) : c2(k.Param * k.Param) {}
    double Phi(double s) const {
        const double u = c2 + s;
        return u > 0.0 ? 0.5 * u * std::log(u) : 0.0;
    }
    void PhiGrad(double s, double* phi, double* g) const {
        const double u = c2 + s;
        if (u > 0.0) {
            const double l = std::log(u);
            *phi = 0.5 * u * l;
            *g = l + 1.0;
        } else {
            *phi = *g = 0.0;
        }
    }
};

struct ShiftedTriharmonic2 {  // ½·u²·ln u
    static constexpr int32_t kType = kBasicShiftedTriharmonic, kDim = 2;
    double c2;
    explicit ShiftedTriharmonic2(const BasicFunctionKernel& k) : c2(k.Param * k.Param) {}
    double Phi(double s) const {
        const double u = c2 + s;
        return u > 0.0 ? 0.5 * u * u * std::log(u) : 0.0;
    }
    void PhiGrad(double s, double* phi, double* g) const {
        const double u = c2 + s;
        if (u > 0.0) {
            const double l = std::log(u);
            *phi = 0.5 * u * u * l;
            *g = u * (2.0 * l + 1.0);
        } else {
            *phi = *g = 0.0;
        }
    }
};

}  // namespace kernel_shapes

#endif
