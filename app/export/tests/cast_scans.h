// A closed-form cast for the cast inversion tests: a cylinder of radius R
// cut along its axis with a saw of kerf w into two half-shells facing
// inwards, piece 2 moved away by a known transform, and stylus markers on
// both cut rims.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/scan/mesh_normals.h"
#include "app/scan/stylus_items.h"
#include "app/scan/surface_record.h"

namespace cast_scans {

constexpr float kRadius = 40.0f;
constexpr float kKerf = 3.0f;
constexpr float kTrim = 6.0f;
constexpr int32_t kAround = 19;  // vertices across a half-shell, the middle one at its widest
constexpr int32_t kAlong = 40;   // vertices along the axis, 5 mm apart
constexpr float kStep = 5.0f;

inline Matrix4 Rigid(Vec3 axis, float degrees, Vec3 move) {
    V3_Normalise(axis, axis);
    Matrix4 t;
    M4_MakeAxisRotation(axis, degrees, t);
    t[12] = move.x, t[13] = move.y, t[14] = move.z;
    return t;
}

// The surface record over vectors the fixture owns (so that it can also be
// compacted in place), with the arrays of an RBF surface: no weights or
// resolutions.
class Cast {
  public:
    // `shift` places the cylinder's axis; piece 2 is then moved by `moved`.
    Cast(Vec3 shift, const Matrix4& moved) : shift_(shift) {
        AddPiece(0.0f, nullptr);
        AddPiece(static_cast<float>(kGeometryPi), &moved);
        Attach();
    }
    // A further piece: a strip of 2 x n vertices far from the cast.
    void AddStrip(int32_t n) {
        const auto base = static_cast<int32_t>(points_.size());
        for (int32_t i = 0; i < n; ++i)
            for (int32_t r = 0; r < 2; ++r) Vertex(Vec3{500.0f + i, 500.0f + r, 0.0f}, Vec3{0, 0, 1});
        for (int32_t i = 0; i + 1 < n; ++i) Quad(base + 2 * i, base + 2 * i + 1, base + 2 * i + 3, base + 2 * i + 2);
        Attach();
    }
    // Marker at the rim of a piece: side +1 or -1 of the cut, along-axis index k.
    Vec3 RimPoint(int32_t piece, int32_t side, int32_t k) const {
        const int32_t column = side > 0 ? kAround - 1 : 0;
        return points_[(piece - 1) * kAround * kAlong + k * kAround + column];
    }
    SurfaceRecord& Surface() { return s_; }
    Vec3 Shift() const { return shift_; }
    int32_t Vertices() const { return static_cast<int32_t>(points_.size()); }

  private:
    // A half-shell between the angles centre ± acos(w / 2R): the material
    // left beside the saw cut on that side. Normals point at the axis (the
    // inside of a cast), facets wound to match.
    void AddPiece(float centre, const Matrix4* moved) {
        const auto base = static_cast<int32_t>(points_.size());
        const double half = std::acos(kKerf / (2.0 * kRadius));
        for (int32_t k = 0; k < kAlong; ++k)
            for (int32_t a = 0; a < kAround; ++a) {
                const double phi = centre - half + 2 * half * a / (kAround - 1);
                Vec3 p{static_cast<float>(kRadius * std::cos(phi)) + shift_.x,
                       static_cast<float>(kRadius * std::sin(phi)) + shift_.y, kStep * k + shift_.z};
                Vec3 n{-static_cast<float>(std::cos(phi)), -static_cast<float>(std::sin(phi)), 0.0f};
                if (moved) {
                    Matrix4 r = *moved;
                    r[12] = r[13] = r[14] = 0.0f;
                    M4_TransformPoint(*moved, p, p);
                    M4_TransformPoint(r, n, n);
                }
                Vertex(p, n);
            }
        for (int32_t k = 0; k + 1 < kAlong; ++k)
            for (int32_t a = 0; a + 1 < kAround; ++a) {
                const int32_t v = base + k * kAround + a;
                Quad(v, v + 1, v + kAround + 1, v + kAround);
            }
    }
    void Vertex(Vec3 p, Vec3 n) {
        points_.push_back(p);
        normals_.push_back(n);
        grey_.push_back(static_cast<uint8_t>(points_.size() % 251));
    }
    // Two facets whose (Q - P) x (R - P) follows the vertex normals.
    void Quad(int32_t a, int32_t b, int32_t c, int32_t d) {
        for (int32_t v : {a, c, b, a, d, c}) facets_.push_back(v);
        facetNormals_.push_back(Vec3{0, 0, 0});
        facetNormals_.push_back(Vec3{0, 0, 0});
    }
    void Attach() {
        std::memset(&s_, 0, sizeof s_);
        s_.NumPoints = s_.MaxPoints = static_cast<int32_t>(points_.size());
        s_.Points = points_.data();
        s_.PointNormals = normals_.data();
        s_.Greyscale = grey_.data();
        s_.NumFacets = s_.MaxFacets = static_cast<int32_t>(facetNormals_.size());
        s_.Facets = facets_.data();
        s_.FacetNormals = facetNormals_.data();
        s_.Saved = 1;
        s_.ChangeTime = 5.0;
        Mesh_FacetNormals(s_.NumPoints, s_.Points, s_.NumFacets, s_.Facets, 0, nullptr, s_.FacetNormals, nullptr,
                          nullptr, nullptr);
    }
    Vec3 shift_;
    SurfaceRecord s_;
    std::vector<Vec3> points_, normals_, facetNormals_;
    std::vector<uint8_t> grey_;
    std::vector<int32_t> facets_;
};

class Markers {
  public:
    void Add(Vec3 at, uint32_t flags = 0) {
        StylusItem item{};
        M4_Identity(item.Pose);
        item.Pose[12] = at.x, item.Pose[13] = at.y, item.Pose[14] = at.z;
        item.Flags = flags;
        items_.push_back(item);
        list_.Items = items_.data();
        list_.VisibleCount = list_.TotalCount = list_.Capacity = static_cast<int32_t>(items_.size());
    }
    StylusItemList& List() { return list_; }
    const std::vector<StylusItem>& Items() const { return items_; }

  private:
    std::vector<StylusItem> items_;
    StylusItemList list_{};
};

// Rim markers not symmetric along the axis, so that one assignment fits.
// Piece 2's go first in the list for half of them, to mix the order.
inline void RimMarkers(const Cast& cast, Markers& markers, int32_t perPiece1, int32_t perPiece2) {
    const int32_t along[] = {2, 5, 30, 37, 11, 21, 26, 15, 33, 8};
    for (int32_t i = 0; i < std::max(perPiece1, perPiece2); ++i) {
        const int32_t side = i % 2 ? -1 : 1;
        if (i < perPiece2 && i % 3 == 0) markers.Add(cast.RimPoint(2, -side, along[i]));
        if (i < perPiece1) markers.Add(cast.RimPoint(1, side, along[i]));
        if (i < perPiece2 && i % 3 != 0) markers.Add(cast.RimPoint(2, -side, along[i]));
    }
}

inline const Matrix4 kMoved = Rigid(Vec3{0.2f, 1.0f, -0.4f}, 140.0f, Vec3{250.0f, -120.0f, 60.0f});

}  // namespace cast_scans
