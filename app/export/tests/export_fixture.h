// One small scan and one small surface that every export test writes: three
// sweeps (the second hidden) with erased points and a facet that loses a
// point, profiles for the scan-line format, stylus points and a line; a
// surface with normals, grey values, facets and a quad. The clock is fixed so
// that the files' time texts do not change.
#pragma once

#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

#include "app/scan/raw_data.h"
#include "app/scan/settings_records.h"
#include "app/scan/surface_record.h"
#include "platform/os_seam.h"

namespace export_test {

inline Matrix4 Identity() {
    Matrix4 m;
    M4_Identity(m);
    return m;
}

inline Matrix4 Pose(float degrees, Vec3 at) {
    Matrix4 r, t, out;
    // A unit axis: the poses are rigid, as the tracker's are.
    Vec3 axis;
    V3_Normalise(Vec3{0.3f, 0.5f, 0.8f}, axis);
    M4_MakeAxisRotation(axis, degrees, r);
    M4_MakeTranslation(at, t);
    M4_Multiply(t, r, out);
    return out;
}

// Fixes the local time at Tue Mar  5 14:07:09 2024 for as long as it lives.
struct FixedClock {
    FixedClock() {
        std::tm t{};
        t.tm_year = 124;
        t.tm_mon = 2;
        t.tm_mday = 5;
        t.tm_wday = 2;
        t.tm_hour = 14;
        t.tm_min = 7;
        t.tm_sec = 9;
        os::SetLocalTimeForTesting(&t);
    }
    ~FixedClock() { os::SetLocalTimeForTesting(nullptr); }
};

class FixtureScan {
  public:
    FixtureScan() {
        std::memset(&raw_, 0, sizeof raw_);
        // Sweep 0: a square of two facets; sweep 1 (hidden): one facet;
        // sweep 2: two facets, one of them on a point erased at level 1.
        const Vec3 positions[] = {
            {0.0f, 0.0f, 0.0f},    {10.5f, 0.0f, 1.25f},  {10.5f, 12.0f, -2.0f},    {0.0f, 12.0f, 0.5f},
            {50.0f, 50.0f, 50.0f}, {60.0f, 50.0f, 50.0f}, {55.0f, 60.0f, 50.0f},    {-20.0f, 5.0f, 3.0f},
            {-10.0f, 5.0f, 3.5f},  {-10.0f, 15.0f, 4.0f}, {-20.0f, 15.0f, 1000.0f}, {-15.0f, 25.0f, -0.004f},
        };
        const uint8_t greys[] = {0, 128, 255, 64, 10, 20, 30, 200, 201, 7, 99, 180};
        const uint32_t erase[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 2u << 8, 1u << 8, 0};
        for (int i = 0; i < 12; ++i) {
            ScanPoint p{};
            p.Vertex = positions[i];
            p.Normal = Vec3{0.0f, 0.6f, 0.8f};
            if (i % 3 == 1) p.Normal = Vec3{0.0f, 0.0f, 1.0f};
            p.Grey = greys[i];
            p.Flags = erase[i];
            points_.push_back(p);
        }
        facets_ = {{{0, 1, 2}}, {{0, 2, 3}}, {{4, 5, 6}}, {{7, 8, 9}}, {{7, 9, 10}}, {{9, 11, 8}}};
        sweeps_.resize(4);
        sweeps_[1].Flags = kSweepHidden;
        firstPoint_ = {0, 4, 7, 12};
        firstFacet_ = {0, 2, 3, 6};

        // Profiles: 2, 1 and 2 per sweep; the points are the scan's.
        for (int p = 0; p < 5; ++p) {
            Profile profile{};
            const int start = p == 0 ? 0 : p == 1 ? 2 : p == 2 ? 4 : p == 3 ? 7 : 9;
            const int count = p == 2 ? 3 : 2;
            profileVertices_.push_back(std::vector<Vec3>());
            for (int i = 0; i < count; ++i) profileVertices_.back().push_back(positions[start + i]);
            profile.NumPoints = count;
            profile.WandRxMatrix = Pose(20.0f + 10.0f * p, Vec3{1.0f, 2.0f, 3.0f});
            profile.ReferenceRxMatrix = Pose(-35.0f, Vec3{0.0f, 0.0f, 0.0f});
            profile.ReferenceEnabled = p % 2;
            profiles_.push_back(profile);
        }
        profiles_[4].NumPoints = 0;  // a profile with no points keeps its header
        for (std::size_t p = 0; p < profiles_.size(); ++p) profiles_[p].Points = profileVertices_[p].data();
        profileStarts_ = {0, 2, 3, 5};

        raw_.NumSweeps = raw_.TotalSweeps = 3;
        raw_.MaxSweeps = 4;
        raw_.Sweeps = sweeps_.data();
        raw_.SweepFirstPoint = firstPoint_.data();
        raw_.SweepFirstFacet = firstFacet_.data();
        raw_.SweepStartingProfileNo = profileStarts_.data();
        raw_.NumPoints = raw_.MaxPoints = 12;
        raw_.Points = points_.data();
        raw_.NumFacets = raw_.MaxFacets = 6;
        raw_.Facets = facets_.data();
        raw_.NumProfiles = raw_.TotalProfiles = raw_.MaxProfiles = 5;
        raw_.Profiles = profiles_.data();
        raw_.EditLimit = 1;
        raw_.EditLevelTop = 2;
        raw_.ScanAlignment = Pose(15.0f, Vec3{5.0f, 0.0f, 0.0f});

        // Stylus: a single point, a line (head and two members), a hidden
        // point, and one placed on the basic surface.
        auto item = [](uint32_t flags, int32_t group, float x) {
            StylusItem s{};
            s.Flags = flags;
            s.Group = group;
            s.Pose = Pose(x, Vec3{x, 2.0f * x, -x});
            s.ScanPose = Pose(x + 1.0f, Vec3{x + 0.5f, 2.0f * x, -x});
            s.BasicPose = Pose(x + 2.0f, Vec3{x, 2.0f * x + 0.25f, -x});
            s.FourthPose = Pose(x + 3.0f, Vec3{-x, 2.0f * x, x});
            return s;
        };
        stylus_ = {item(kStylusOnScan, 0, 1.0f),     item(kStylusLineHead, 1, 0.0f),
                   item(kStylusLineMember, 1, 2.0f), item(kStylusLineMember | kStylusOnBasic, 1, 3.0f),
                   item(kStylusHidden, 2, 4.0f),     item(kStylusOnBasic | kStylusInverted, 3, 5.0f)};
        raw_.Stylus.Items = stylus_.data();
        raw_.Stylus.VisibleCount = raw_.Stylus.TotalCount = raw_.Stylus.Capacity = static_cast<int32_t>(stylus_.size());
        raw_.Stylus.GroupCount = 4;
    }
    FixtureScan(const FixtureScan&) = delete;
    FixtureScan& operator=(const FixtureScan&) = delete;

    RawData& raw() { return raw_; }

  private:
    RawData raw_;
    std::vector<ScanPoint> points_;
    std::vector<Facet> facets_;
    std::vector<SweepRecord> sweeps_;
    std::vector<int32_t> firstPoint_, firstFacet_, profileStarts_;
    std::vector<Profile> profiles_;
    std::vector<std::vector<Vec3>> profileVertices_;
    std::vector<StylusItem> stylus_;
};

// Six points, two facets and a quad, with normals and grey values.
class FixtureSurface {
  public:
    FixtureSurface() {
        std::memset(&surface_, 0, sizeof surface_);
        points_ = {{0, 0, 0}, {20, 0, 0}, {20, 20, 1}, {0, 20, 1}, {40, 0, 2}, {40, 20, 3}};
        normals_ = {{0, 0, 1}, {0, 0.6f, 0.8f}, {0, 0, 1}, {0.6f, 0, 0.8f}, {0, 0, 1}, {0, 0, -1}};
        greys_ = {0, 255, 128, 64, 32, 250};
        facets_ = {0, 1, 2, 0, 2, 3};
        quads_ = {1, 4, 5, 2};
        surface_.NumPoints = surface_.MaxPoints = 6;
        surface_.Points = points_.data();
        surface_.PointNormals = normals_.data();
        surface_.Greyscale = greys_.data();
        surface_.NumFacets = surface_.MaxFacets = 2;
        surface_.Facets = facets_.data();
        surface_.NumQuads = surface_.MaxQuads = 1;
        surface_.Quads = quads_.data();
    }
    SurfaceRecord& surface() { return surface_; }

  private:
    SurfaceRecord surface_;
    std::vector<Vec3> points_, normals_;
    std::vector<uint8_t> greys_;
    std::vector<int32_t> facets_, quads_;
};

inline GeneralSettings FixtureSettings() {
    GeneralSettings s;
    std::memset(&s, 0, sizeof s);
    GeneralSettings_SetDefaults(s, 0x808080, 0);
    return s;
}

inline ViewSettings FixtureView() {
    ViewSettings v;
    ViewSettings_SetDefaults(v);
    v.ViewMatrix = Pose(30.0f, Vec3{0, 0, 0});
    v.ViewOrigin = Vec3{5.0f, -3.0f, 2.0f};
    v.CoordinateSystem = Pose(-60.0f, Vec3{0, 0, 0});
    return v;
}

}  // namespace export_test
