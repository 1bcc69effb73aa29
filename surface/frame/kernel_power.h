// Integer powers by repeated multiplication, as the multiquadric-type kernels
// take them: t^β with |β| − 1 products and one reciprocal for negative β.
#ifndef SURFACE_FRAME_KERNEL_POWER_H
#define SURFACE_FRAME_KERNEL_POWER_H

#include <cstdint>

inline double Kernel_IntPower(double t, int32_t beta) {
    if (beta == 0) return 1.0;
    const int32_t n = beta < 0 ? -beta : beta;
    double p = t;
    for (int32_t i = 1; i < n; ++i) p *= t;
    return beta < 0 ? 1.0 / p : p;
}

#endif
