// The bent tube of the OP3 tests: a leg cylinder and a foot cylinder 100
// degrees apart, joined by the torus that the slicing's bend construction
// itself yields, so that every slice of it is a circle of the tube's radius.
#pragma once

#include <cmath>
#include <vector>

#include "app/export/tests/ortho_meshes.h"

namespace ortho_test {

inline Vec3D Add(const Vec3D& a, const Vec3D& b) { return Vec3D{a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3D Mul(const Vec3D& a, double s) { return Vec3D{a.x * s, a.y * s, a.z * s}; }
inline Vec3D TurnX(const Vec3D& p, double g) {
    return Vec3D{p.x, p.y * std::cos(g) - p.z * std::sin(g), p.y * std::sin(g) + p.z * std::cos(g)};
}
inline Vec3 F(const Vec3D& v) { return Vec3{static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)}; }

// The tube in its own frame: the ankle at the origin, the leg axis +z, the
// foot axis in the y-z plane 100 degrees from it.
struct BentTube {
    double r = 30, legLength = 320, footLength = 220;
    double psi = 50 * kPi / 180;
    Vec3D a{0, 0, 1}, b{0, std::sin(100 * kPi / 180), std::cos(100 * kPi / 180)}, e{};
    double P = 0, R = 0, t = 0, theta = 0;
    BentTube() {
        e = Mul(Add(a, b), 1 / std::sqrt(2 + 2 * std::cos(100 * kPi / 180)));
        // P = 1.3 (P (1 - sin psi) + r) (1 + tan(psi / 2)), solved for P.
        const double k = 1 + std::tan(psi / 2);
        P = 1.3 * r * k / (1 - 1.3 * (1 - std::sin(psi)) * k);
        R = P * std::sin(psi);
        t = P * std::cos(psi);
        theta = kPi / 2 - psi;
    }
    double L1(double limit2) const { return limit2 - t; }
    double L2(double limit2) const { return L1(limit2) + 2 * theta * R; }
    double L3(double limit1, double limit2) const { return L2(limit2) + limit1 - t; }
    // The centre line at path position s measured from the tube's toe end,
    // and its direction.
    void At(double s, Vec3D& centre, Vec3D& dir) const {
        const double foot = footLength - t, arc = 2 * theta * R;
        if (s <= foot) {
            centre = Mul(b, footLength - s);
            dir = Mul(b, -1);
        } else if (s <= foot + arc) {
            const double g = -(s - foot) / R;
            const Vec3D k = Mul(e, P);
            centre = Add(k, TurnX(Add(Mul(b, t), Mul(k, -1)), g));
            dir = TurnX(Mul(b, -1), g);
        } else {
            centre = Mul(a, t + s - foot - arc);
            dir = a;
        }
    }
    double Length() const { return footLength - t + 2 * theta * R + legLength - t; }
    LocalMesh Mesh(int32_t around) const {
        const int32_t rings = static_cast<int32_t>(std::ceil(Length() / 2.5)) + 1;
        return RingMesh(rings, around, [&](int32_t k, std::vector<Vec3>& pts, Vec3& inside) {
            Vec3D c, d;
            At(Length() * k / (rings - 1), c, d);
            const Vec3D x{1, 0, 0};
            const Vec3D n{d.y * x.z - d.z * x.y, d.z * x.x - d.x * x.z, d.x * x.y - d.y * x.x};
            for (int32_t j = 0; j < around; ++j) {
                const double phi = 2 * kPi * j / around;
                pts.push_back(F(Add(c, Add(Mul(x, r * std::cos(phi)), Mul(n, r * std::sin(phi))))));
            }
            inside = F(c);
        });
    }
};

}  // namespace ortho_test
