// Analytic meshes for the orthotics tests: fine triangulations of a cylinder,
// a cone frustum, an ellipsoid and a bent tube, every vertex on the true
// surface, facets facing outwards, placed by a rigid pose (tilted and off the
// origin) so that the slicing's own frame handling is exercised.
#pragma once

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "app/export/ortho_model.h"
#include "app/scan/geometry.h"
#include "app/scan/surface_record.h"

namespace ortho_test {

constexpr double kPi = 3.14159265358979323846;

// A rigid pose: world = local x Rotation + Offset (row vectors).
struct Pose {
    Matrix4 rotation;  // no translation
    Vec3 offset;
};

inline Pose TiltedPose() {
    Pose p;
    Vec3 axis;
    V3_Normalise(Vec3{0.4f, -0.3f, 0.85f}, axis);
    M4_MakeAxisRotation(axis, 37.0f, p.rotation);
    p.offset = Vec3{123.5f, -48.25f, 310.0f};
    return p;
}

inline Vec3 Place(const Pose& pose, const Vec3& local) {
    Vec3 r;
    M4_TransformPoint(pose.rotation, local, r);
    return Vec3{r.x + pose.offset.x, r.y + pose.offset.y, r.z + pose.offset.z};
}
inline Vec3 Turn(const Pose& pose, const Vec3& local) {
    Vec3 r;
    M4_TransformPoint(pose.rotation, local, r);
    return r;
}
// The frame that takes (world - offset) back to local coordinates.
inline Matrix4 LocalFrame(const Pose& pose) {
    Matrix4 t;
    M4_Transpose(pose.rotation, t);
    return t;
}

// A mesh in local coordinates: rings of `around` points, consecutive rings
// joined by two triangles a quad.
struct LocalMesh {
    std::vector<Vec3> points;
    std::vector<int32_t> facets;
    std::vector<Vec3> inside;  // a point inside the surface near each ring, to face the facets outwards
    int32_t around = 0;
};

// ring(k) gives ring k's points (around of them); `inside` a point on the
// ring's axis.
inline LocalMesh RingMesh(int32_t rings, int32_t around,
                          const std::function<void(int32_t, std::vector<Vec3>&, Vec3&)>& ring) {
    LocalMesh m;
    m.around = around;
    std::vector<Vec3> pts;
    for (int32_t k = 0; k < rings; ++k) {
        Vec3 centre;
        pts.clear();
        ring(k, pts, centre);
        m.points.insert(m.points.end(), pts.begin(), pts.end());
        m.inside.push_back(centre);
    }
    auto add = [&](int32_t a, int32_t b, int32_t c, const Vec3& centre) {
        Vec3 e1, e2, n, mid, out;
        V3_Sub(m.points[b], m.points[a], e1);
        V3_Sub(m.points[c], m.points[a], e2);
        V3_Cross(e1, e2, n);
        mid = Vec3{(m.points[a].x + m.points[b].x + m.points[c].x) / 3,
                   (m.points[a].y + m.points[b].y + m.points[c].y) / 3,
                   (m.points[a].z + m.points[b].z + m.points[c].z) / 3};
        V3_Sub(mid, centre, out);
        if (V3_Dot(n, out) < 0) std::swap(b, c);
        m.facets.insert(m.facets.end(), {a, b, c});
    };
    for (int32_t k = 0; k + 1 < rings; ++k) {
        Vec3 centre{(m.inside[k].x + m.inside[k + 1].x) / 2, (m.inside[k].y + m.inside[k + 1].y) / 2,
                    (m.inside[k].z + m.inside[k + 1].z) / 2};
        for (int32_t j = 0; j < around; ++j) {
            const int32_t a = k * around + j, b = k * around + (j + 1) % around;
            const int32_t c = a + around, d = b + around;
            add(a, b, d, centre);
            add(a, d, c, centre);
        }
    }
    return m;
}

// A surface of revolution about local y with elliptic rings: semi-axis ax
// along x and az along z at height y.
inline LocalMesh EllipticTube(int32_t rings, int32_t around,
                              const std::function<void(int32_t, float&, float&, float&)>& at) {
    return RingMesh(rings, around, [&](int32_t k, std::vector<Vec3>& pts, Vec3& centre) {
        float y, ax, az;
        at(k, y, ax, az);
        for (int32_t j = 0; j < around; ++j) {
            const double phi = 2 * kPi * j / around;
            pts.push_back(Vec3{static_cast<float>(ax * std::sin(phi)), y, static_cast<float>(az * std::cos(phi))});
        }
        centre = Vec3{0, y, 0};
    });
}

inline LocalMesh Cylinder(float radius, float y0, float y1, int32_t rings, int32_t around) {
    return EllipticTube(rings, around, [=](int32_t k, float& y, float& ax, float& az) {
        y = y0 + (y1 - y0) * k / (rings - 1);
        ax = az = radius;
    });
}

inline LocalMesh Frustum(float r0, float r1, float y0, float y1, int32_t rings, int32_t around) {
    return EllipticTube(rings, around, [=](int32_t k, float& y, float& ax, float& az) {
        const float f = static_cast<float>(k) / (rings - 1);
        y = y0 + (y1 - y0) * f;
        ax = az = r0 + (r1 - r0) * f;
    });
}

// Semi-axes a (x), b (y), c (z); the poles are left open.
inline LocalMesh Ellipsoid(float a, float b, float c, int32_t rings, int32_t around) {
    return EllipticTube(rings, around, [=](int32_t k, float& y, float& ax, float& az) {
        const double theta = kPi * (0.02 + 0.96 * k / (rings - 1));
        y = static_cast<float>(-b * std::cos(theta));
        ax = static_cast<float>(a * std::sin(theta));
        az = static_cast<float>(c * std::sin(theta));
    });
}

// The largest edge of the mesh.
inline float LongestEdge(const LocalMesh& m) {
    float longest = 0;
    for (std::size_t f = 0; f < m.facets.size(); f += 3)
        for (int k = 0; k < 3; ++k)
            longest = std::max(longest, V3_Distance(m.points[m.facets[f + k]], m.points[m.facets[f + (k + 1) % 3]]));
    return longest;
}

// A surface record (malloc arrays, freed with it) of the mesh placed by pose.
class PlacedSurface {
  public:
    PlacedSurface(const LocalMesh& m, const Pose& pose) {
        std::memset(&s_, 0, sizeof s_);
        s_.NumPoints = s_.MaxPoints = static_cast<int32_t>(m.points.size());
        s_.NumFacets = s_.MaxFacets = static_cast<int32_t>(m.facets.size() / 3);
        s_.Points = static_cast<Vec3*>(std::malloc(m.points.size() * sizeof(Vec3)));
        s_.Facets = static_cast<int32_t*>(std::malloc(m.facets.size() * sizeof(int32_t)));
        s_.FacetNormals = static_cast<Vec3*>(std::malloc(m.facets.size() / 3 * sizeof(Vec3)));
        for (std::size_t i = 0; i < m.points.size(); ++i) s_.Points[i] = Place(pose, m.points[i]);
        std::memcpy(s_.Facets, m.facets.data(), m.facets.size() * sizeof(int32_t));
        for (int32_t f = 0; f < s_.NumFacets; ++f) {
            const int32_t* t = s_.Facets + 3 * f;
            Vec3 e1, e2, n;
            V3_Sub(s_.Points[t[1]], s_.Points[t[0]], e1);
            V3_Sub(s_.Points[t[2]], s_.Points[t[0]], e2);
            V3_Cross(e1, e2, n);
            V3_Normalise(n, s_.FacetNormals[f]);
        }
    }
    ~PlacedSurface() { Surface_Free(s_); }
    PlacedSurface(const PlacedSurface&) = delete;
    PlacedSurface& operator=(const PlacedSurface&) = delete;
    SurfaceRecord& get() { return s_; }

  private:
    SurfaceRecord s_;
};

// An AAOP set-up for a mesh placed by pose: the limb axis is local y.
inline OrthoSliceSetup AaopSetup(const Pose& pose, float lower, float upper, float angleSpacing) {
    OrthoSliceSetup s = OrthoSliceSetup_Default();
    s.Origin = pose.offset;
    s.LegAxis = Turn(pose, Vec3{0, 1, 0});
    s.Frame = LocalFrame(pose);
    s.Limit1 = lower;
    s.Limit2 = upper;
    s.AngleSpacing = angleSpacing;
    return s;
}

// The radius of an ellipse with semi-axes ax (along w, sin) and az (along
// u, cos) at angle theta from u towards w.
inline double EllipseRadius(double ax, double az, double theta) {
    return ax * az / std::sqrt(std::pow(ax * std::cos(theta), 2) + std::pow(az * std::sin(theta), 2));
}

// Ramanujan's second approximation of an ellipse's perimeter.
inline double EllipsePerimeter(double a, double b) {
    const double h = std::pow(a - b, 2) / std::pow(a + b, 2);
    return kPi * (a + b) * (1 + 3 * h / (10 + std::sqrt(4 - 3 * h)));
}

}  // namespace ortho_test
