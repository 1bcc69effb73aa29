// Scans for the registration tests: sweeps of profiles across a bumpy
// surface, processed into scan points with normals, facets and facet
// normals, each sweep optionally moved away from where it was scanned.
#pragma once

#include "app/scan/tests/scan_record_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace scan_test {

// A bumpy surface with no symmetry, so that a rigid fit of two patches of it
// is fixed in every direction.
inline float Height(float x, float y) {
    return 0.004f * x * x + 0.006f * y * y + 4.0f * std::sin(x / 6.0f) * std::cos(y / 7.0f) + 0.02f * x * y;
}

inline Vec3 SurfaceNormal(float x, float y) {
    const float h = 0.01f;
    const float dx = (Height(x + h, y) - Height(x - h, y)) / (2 * h);
    const float dy = (Height(x, y + h) - Height(x, y - h)) / (2 * h);
    Vec3 n{-dx, -dy, 1.0f}, out;
    V3_Normalise(n, out);
    return out;
}

// The scan pose (sensor to scan) of a profile: the wand pose, through the
// inverse reference pose when a reference is in use.
inline Matrix4 ToScan(const Profile& p) {
    if (!p.ReferenceEnabled) return p.WandRxMatrix;
    Matrix4 inverse, out;
    M4_InvertRigid(p.ReferenceRxMatrix, inverse);
    M4_Multiply(inverse, p.WandRxMatrix, out);
    return out;
}

inline Matrix4 Pose(const Vec3& axis, float degrees, const Vec3& shift) {
    // The rotation takes its axis as given: a unit axis keeps it rigid.
    Vec3 unit;
    V3_Normalise(axis, unit);
    Matrix4 m;
    M4_MakeAxisRotation(unit, degrees, m);
    m[12] = shift.x, m[13] = shift.y, m[14] = shift.z;
    return m;
}

// Sweeps of profiles across the surface, one profile a column x, its points
// along y one millimetre apart; scan points, facets and facet normals as
// processing makes them. Each profile keeps its points in sensor coordinates
// too, to check that the poses move with the points.
class SurfaceScan {
  public:
    SurfaceScan() : scan_(8u << 20) {}
    RawData& raw() { return scan_.raw(); }

    // x0..x1 columns; useReference: the profiles carry a reference pose.
    void AddSweep(int x0, int x1, bool useReference, const Matrix4& move) {
        RawData& r = raw();
        const int32_t s = r.NumSweeps;
        std::memset(&r.Sweeps[s], 0, sizeof(SweepRecord));
        for (int x = x0; x <= x1; ++x) {
            OwnedProfile owned;
            for (int y = -25; y <= 25; ++y) {
                Vec3 p{float(x), float(y), Height(float(x), float(y))}, moved;
                M4_TransformPoint(move, p, moved);
                owned.points.push_back(moved);
                normals_.push_back(SurfaceNormal(float(x), float(y)));
            }
            Profile& profile = const_cast<Profile&>(owned.Get());
            profile.WandRxMatrix = Pose(Vec3{0.3f, 1.0f, 0.2f}, 20.0f + x, Vec3{float(x), -40.0f, 90.0f});
            M4_Identity(profile.ReferenceRxMatrix);
            M4_Identity(profile.RawReferenceRxMatrix);
            if (useReference) {
                profile.ReferenceEnabled = 1;
                profile.ReferenceRxMatrix = Pose(Vec3{1.0f, -0.5f, 0.7f}, 35.0f, Vec3{12.0f, 7.0f, -30.0f});
            }
            profile.IsFiltered = 1;
            scan_.Append(profile);
            Matrix4 fromScan;
            M4_InvertRigid(ToScan(profile), fromScan);
            for (const Vec3& p : owned.points) {
                Vec3 sensor;
                M4_TransformPoint(fromScan, p, sensor);
                sensor_.push_back(sensor);
            }
        }
        scan_.CloseSweep();
        AddPoints(s, move);
    }

    // Every profile point, back through its profile's current pose, against
    // where the profile holds it.
    float WorstPoseMismatch() {
        RawData& r = raw();
        float worst = 0.0f;
        size_t k = 0;
        for (int32_t p = 0; p < r.NumProfiles; ++p) {
            const Matrix4 toScan = ToScan(r.Profiles[p]);
            for (int32_t i = 0; i < r.Profiles[p].NumPoints; ++i, ++k) {
                Vec3 q;
                M4_TransformPoint(toScan, sensor_[k], q);
                worst = std::max(worst, V3_Distance(q, r.Profiles[p].Points[i]));
            }
        }
        return worst;
    }

  private:
    void AddPoints(int32_t s, const Matrix4& move) {
        RawData& r = raw();
        Matrix4 turn = move;
        turn[12] = turn[13] = turn[14] = 0.0f;
        const int32_t first = r.NumPoints;
        const int32_t columns = r.SweepStartingProfileNo[s + 1] - r.SweepStartingProfileNo[s];
        r.Points = static_cast<ScanPoint*>(BigBuffer_Alloc(*r.PointBlock, sizeof(ScanPoint) * (first + columns * 51)));
        r.Facets = static_cast<Facet*>(BigBuffer_Alloc(*r.FacetBlock, sizeof(Facet) * (r.NumFacets + columns * 100)));
        r.FacetNormals =
            static_cast<Vec3*>(BigBuffer_Alloc(*r.FacetNormalBlock, sizeof(Vec3) * (r.NumFacets + columns * 100)));
        for (int32_t p = r.SweepStartingProfileNo[s]; p < r.SweepStartingProfileNo[s + 1]; ++p) {
            const Profile& profile = r.Profiles[p];
            for (int32_t i = 0; i < profile.NumPoints; ++i) {
                ScanPoint& point = r.Points[r.NumPoints];
                std::memset(&point, 0, sizeof point);
                point.Vertex = profile.Points[i];
                M4_TransformPoint(turn, normals_[r.NumPoints], point.Normal);
                ++r.NumPoints;
            }
            if (p == r.SweepStartingProfileNo[s]) continue;
            const int32_t a = r.NumPoints - 2 * profile.NumPoints, b = r.NumPoints - profile.NumPoints;
            for (int32_t i = 0; i + 1 < profile.NumPoints; ++i) {
                r.Facets[r.NumFacets] = Facet{{a + i, b + i, a + i + 1}};
                r.FacetNormals[r.NumFacets++] = r.Points[a + i].Normal;
                r.Facets[r.NumFacets] = Facet{{a + i + 1, b + i, b + i + 1}};
                r.FacetNormals[r.NumFacets++] = r.Points[b + i].Normal;
            }
        }
        r.MaxPoints = r.NumPoints;
        r.MaxFacets = r.NumFacets;
        r.SweepFirstPoint[s + 1] = r.NumPoints;
        r.SweepFirstFacet[s + 1] = r.NumFacets;
        r.NumProfilesProcessed = r.NumProfiles;
        // Processing has nothing left to do: the program's view, which
        // processes new profiles before it draws, leaves the scan alone.
        r.CurrentSweep = r.TotalSweeps;
        r.CurrentSweepProfile = r.TotalProfiles;
    }

    TestScan scan_;
    std::vector<Vec3> sensor_, normals_;
};

}  // namespace scan_test
