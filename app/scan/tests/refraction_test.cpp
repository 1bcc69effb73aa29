// Glass refraction correction of one profile: the on-axis shift, the cases
// that leave a profile alone, the choice of the glass-frame pose, correction
// followed by undo, and each ray's sideways shift against a Snell's-law trace
// through the plate made here in double precision.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "app/scan/geometry.h"
#include "app/scan/raw_data.h"
#include "app/scan/refraction.h"

namespace {

Matrix4 Translation(float x, float y, float z) {
    Matrix4 m;
    M4_MakeTranslation(Vec3{x, y, z}, m);
    return m;
}

// A tilted pose: rotations about X and Y, then a translation.
Matrix4 Pose(float ax, float ay, float x, float y, float z) {
    Matrix4 m;
    M4_MakeRotationX(ax, m);
    M4_RotateY(ay, m);
    M4_Translate(Vec3{x, y, z}, m);
    return m;
}

Vec3 Apply(const Matrix4& m, const Vec3& p) {
    Vec3 out;
    M4_TransformPoint(m, p, out);
    return out;
}

Matrix4 Times(const Matrix4& a, const Matrix4& b) {
    Matrix4 out;
    M4_Multiply(a, b, out);
    return out;
}

Matrix4 Inverse(const Matrix4& m) {
    Matrix4 out;
    M4_InvertRigid(m, out);
    return out;
}

// A profile that owns its points (given in scanner coordinates, stored in
// scan coordinates through the scanner's scan pose).
struct TestProfile {
    std::vector<Vec3> points;
    Profile profile{};

    TestProfile(const Matrix4& wand, const Matrix4& reference, int32_t referenceEnabled, const Matrix4& rawReference) {
        profile.WandRxMatrix = wand;
        profile.ReferenceRxMatrix = reference;
        profile.RawReferenceRxMatrix = rawReference;
        profile.ReferenceEnabled = referenceEnabled;
    }
    Matrix4 ScanPose() const {
        return profile.ReferenceEnabled ? Times(Inverse(profile.ReferenceRxMatrix), profile.WandRxMatrix)
                                        : profile.WandRxMatrix;
    }
    void AddScannerPoint(const Vec3& q) {
        points.push_back(Apply(ScanPose(), q));
        profile.Points = points.data();
        profile.NumPoints = static_cast<int32_t>(points.size());
    }
    void AddGrid() {
        for (float x = -60.0f; x <= 60.0f; x += 30.0f)
            for (float z = 20.0f; z <= 140.0f; z += 40.0f) AddScannerPoint(Vec3{x, 0.5f * x - 10.0f, z});
    }
};

RefractionSettings Glass(float thickness, float index, int32_t objectSide = 0, int32_t isRx = 0) {
    return RefractionSettings{thickness, index, 5.0f, objectSide, isRx};
}

float LargestMove(const std::vector<Vec3>& a, const std::vector<Vec3>& b) {
    float most = 0.0f;
    for (size_t i = 0; i < a.size(); ++i) most = std::fmax(most, V3_Distance(a[i], b[i]));
    return most;
}

TEST(Refraction, AnOnAxisPointUnderAnAlignedPlateMovesByTheThicknessAndBack) {
    // Plate normal along the scanner's Z axis (c = 1) and a point on that
    // axis (s = 0): the point moves by exactly t along the scanner's +Z.
    TestProfile p(Translation(0, 0, -300), Matrix4{}, 0, Matrix4{});
    p.AddScannerPoint(Vec3{0.0f, 0.0f, 80.0f});
    const RefractionSettings glass = Glass(6.0f, 1.5f);
    Profile_CorrectRefraction(glass, p.profile, false);
    EXPECT_FLOAT_EQ(p.points[0].x, 0.0f);
    EXPECT_FLOAT_EQ(p.points[0].y, 0.0f);
    EXPECT_FLOAT_EQ(p.points[0].z, -300.0f + 80.0f + 6.0f);
    Profile_CorrectRefraction(glass, p.profile, true);
    EXPECT_FLOAT_EQ(p.points[0].z, -300.0f + 80.0f);
}

TEST(Refraction, LeavesThePointsAloneWhenItDoesNotApply) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* name;
        float thickness, index, wandZ;
    };
    const Case cases[] = {
        {"index 0 switches it off", 5.0f, 0.0f, -300.0f},
        {"index 0.5 would give NaN", 5.0f, 0.5f, -300.0f},
        {"index 0.99 would give NaN", 5.0f, 0.99f, -300.0f},
        {"index 1 would give 0/0", 5.0f, 1.0f, -300.0f},
        {"index NaN", 5.0f, nan, -300.0f},
        {"index infinite", 5.0f, std::numeric_limits<float>::infinity(), -300.0f},
        {"thickness NaN", nan, 1.5f, -300.0f},
        {"scanner beyond the plate (d > 0)", 5.0f, 1.5f, 20.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestProfile p(Pose(25.0f, -10.0f, 0.0f, 0.0f, c.wandZ), Matrix4{}, 0, Matrix4{});
        p.AddGrid();
        const std::vector<Vec3> before = p.points;
        Profile_CorrectRefraction(Glass(c.thickness, c.index), p.profile, false);
        EXPECT_EQ(std::memcmp(before.data(), p.points.data(), before.size() * sizeof(Vec3)), 0);
    }
    TestProfile empty(Pose(25.0f, -10.0f, 0.0f, 0.0f, -300.0f), Matrix4{}, 0, Matrix4{});
    Profile_CorrectRefraction(Glass(5.0f, 1.5f), empty.profile, false);
    EXPECT_EQ(empty.profile.NumPoints, 0);
}

// Which pose places the scanner in the glass frame: for each row of the
// reference and plate-fixing switches, the pose the row names is put on one
// side of the plate and every other candidate on the other side, so only the
// named pose decides whether the points move.
TEST(Refraction, TheGlassFramePoseFollowsTheReferenceAndPlateSwitches) {
    struct Case {
        int32_t referenceEnabled, isRx;
        float wandZ, referenceZ, rawReferenceZ;  // translations along Z
    };
    // The named pose lies at +300 (wrong side): T = wand, raw⁻¹·wand, wand,
    // reference⁻¹·wand; every other candidate lies at or below -300.
    const Case wrong[] = {
        {0, 0, 300, 600, 600}, {0, 1, -300, 600, -600}, {1, 0, 300, 600, 600}, {1, 1, -300, -600, 600}};
    for (const Case& c : wrong) {
        for (float sign : {1.0f, -1.0f}) {
            SCOPED_TRACE(testing::Message() << c.referenceEnabled << c.isRx << " sign " << sign);
            TestProfile p(Translation(0, 0, sign * c.wandZ), Translation(0, 0, sign * c.referenceZ), c.referenceEnabled,
                          Translation(0, 0, sign * c.rawReferenceZ));
            p.AddGrid();
            const std::vector<Vec3> before = p.points;
            Profile_CorrectRefraction(Glass(5.0f, 1.5f, 0, c.isRx), p.profile, false);
            if (sign > 0)
                EXPECT_EQ(LargestMove(before, p.points), 0.0f);
            else
                EXPECT_GT(LargestMove(before, p.points), 1.0f);
        }
    }
}

// Correction followed by undo over every row of the pose table and both
// sides of the reference. The undo re-aims its ray from the moved point, so
// off the axis it does not land exactly where the correction started: for an
// 8 mm plate tilted by some 20 degrees the worst point of the grid comes back
// within 0.041 mm; the bound is 1% of the thickness.
TEST(Refraction, UndoTakesACorrectionBackWithinASmallResidual) {
    const Matrix4 reference = Pose(-15.0f, 30.0f, 100.0f, -50.0f, 80.0f);
    const Matrix4 rawReference = Pose(10.0f, -20.0f, -40.0f, 70.0f, 60.0f);
    const float thickness = 8.0f;
    for (int32_t objectSide : {0, 1}) {
        // The glass-frame pose, on the side of the plate the setting expects.
        const Matrix4 T = Pose(20.0f, -12.0f, 30.0f, -15.0f, objectSide ? 300.0f : -300.0f);
        for (int32_t referenceEnabled : {0, 1}) {
            for (int32_t isRx : {0, 1}) {
                SCOPED_TRACE(testing::Message()
                             << "side " << objectSide << " ref " << referenceEnabled << " rx " << isRx);
                Matrix4 wand = T;
                if (isRx) wand = Times(referenceEnabled ? reference : rawReference, T);
                TestProfile p(wand, reference, referenceEnabled, rawReference);
                p.AddGrid();
                const std::vector<Vec3> before = p.points;
                const RefractionSettings glass = Glass(thickness, 1.52f, objectSide, isRx);
                Profile_CorrectRefraction(glass, p.profile, false);
                EXPECT_GT(LargestMove(before, p.points), 1.0f);
                Profile_CorrectRefraction(glass, p.profile, true);
                EXPECT_LT(LargestMove(before, p.points), 0.01f * thickness);
            }
        }
    }
}

// The sideways gap of a ray crossing a plate, traced with Snell's law in
// double precision: entry point, refracted direction, exit point, and the
// distance of the exit point from the incident line.
double TracedGap(const double origin[3], const double u[3], const double normal[3], double entryLevel, double thickness,
                 double index) {
    double m[3], cosIn = u[0] * normal[0] + u[1] * normal[1] + u[2] * normal[2];
    const double orient = cosIn < 0 ? -1.0 : 1.0;
    for (int i = 0; i < 3; ++i) m[i] = orient * normal[i];
    cosIn = std::fabs(cosIn);
    const double along = origin[0] * m[0] + origin[1] * m[1] + origin[2] * m[2];
    const double k = (entryLevel - along) / cosIn;
    double entry[3], inside[3];
    const double eta = 1.0 / index;
    const double cosOut = std::sqrt(1.0 - eta * eta * (1.0 - cosIn * cosIn));
    for (int i = 0; i < 3; ++i) {
        entry[i] = origin[i] + k * u[i];
        inside[i] = eta * u[i] + (cosOut - eta * cosIn) * m[i];
    }
    const double kIn = thickness / cosOut;
    double exitPoint[3], rel[3];
    for (int i = 0; i < 3; ++i) {
        exitPoint[i] = entry[i] + kIn * inside[i];
        rel[i] = exitPoint[i] - entry[i];
    }
    const double dot = rel[0] * u[0] + rel[1] * u[1] + rel[2] * u[2];
    double gap2 = 0;
    for (int i = 0; i < 3; ++i) gap2 += (rel[i] - dot * u[i]) * (rel[i] - dot * u[i]);
    return std::sqrt(gap2);
}

// The distance of p from the line through o along unit u, in double.
double DistanceFromLine(const Vec3& p, const double o[3], const double u[3]) {
    const double rel[3] = {p.x - o[0], p.y - o[1], p.z - o[2]};
    const double dot = rel[0] * u[0] + rel[1] * u[1] + rel[2] * u[2];
    double d2 = 0;
    for (int i = 0; i < 3; ++i) d2 += (rel[i] - dot * u[i]) * (rel[i] - dot * u[i]);
    return std::sqrt(d2);
}

TEST(Refraction, EachRaysShiftIsTheGapOfASnellTraceThroughThePlate) {
    const double origin[3] = {0.0, 0.0, kOpticalOriginZ};
    for (float tilt : {0.0f, 17.0f, 38.0f}) {
        for (float index : {1.33f, 1.52f, 1.9f}) {
            const Matrix4 T = Pose(tilt, 0.6f * tilt, 10.0f, 5.0f, -300.0f);
            // The plate normal in scanner coordinates: the scanner vector that
            // T's rotation (row vectors, p·M) takes to the glass Z axis.
            double normal[3] = {T[2], T[6], T[10]};
            const double len = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
            for (double& c : normal) c /= len;
            TestProfile p(T, Matrix4{}, 0, Matrix4{});
            p.AddGrid();
            const std::vector<Vec3> scanner = [&] {
                std::vector<Vec3> q;
                for (const Vec3& s : p.points) q.push_back(Apply(Inverse(T), s));
                return q;
            }();
            const float thickness = 7.0f;
            Profile_CorrectRefraction(Glass(thickness, index), p.profile, false);
            for (size_t i = 0; i < scanner.size(); ++i) {
                SCOPED_TRACE(testing::Message() << "tilt " << tilt << " index " << index << " point " << i);
                double u[3] = {scanner[i].x - origin[0], scanner[i].y - origin[1], scanner[i].z - origin[2]};
                const double ul = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
                for (double& c : u) c /= ul;
                const double traced = TracedGap(origin, u, normal, 40.0, thickness, index);
                const Vec3 moved = Apply(Inverse(T), p.points[i]);
                EXPECT_NEAR(DistanceFromLine(moved, origin, u), traced, 2e-3);
                EXPECT_NEAR(
                    Refraction_Shift(
                        thickness, index,
                        static_cast<float>(std::sqrt(
                            1.0 - std::pow(std::fabs(u[0] * normal[0] + u[1] * normal[1] + u[2] * normal[2]), 2.0)))),
                    traced, 1e-4);
            }
        }
    }
}

TEST(Refraction, TheShiftStaysFiniteAtAndPastGrazingSines) {
    for (float s : {0.0f, 0.5f, 1.0f, 1.0000001f, -1.0000001f}) {
        const float shift = Refraction_Shift(4.0f, 1.5f, s);
        EXPECT_TRUE(std::isfinite(shift)) << s;
    }
    EXPECT_FLOAT_EQ(Refraction_Shift(4.0f, 1.5f, 1.0f), 4.0f);
    EXPECT_FLOAT_EQ(Refraction_Shift(4.0f, 1.5f, 0.0f), 0.0f);
}

}  // namespace

// The scan-wide correction: three profiles (2, 0 and 3 points) whose points
// are also the scan's five points in order.
class RefractionScan : public ::testing::Test {
  protected:
    void SetUp() override {
        raw_.Refraction = Glass(6.0f, 1.5f);
        const int32_t counts[3] = {2, 0, 3};
        for (int32_t i = 0; i < 3; ++i) {
            profiles_.emplace_back(Pose(20.0f, -12.0f, 30.0f * i, -15.0f, -300.0f), Matrix4{}, 0, Matrix4{});
            for (int32_t k = 0; k < counts[i]; ++k) profiles_.back().AddScannerPoint(Vec3{10.0f * k, 5.0f, 60.0f + k});
        }
        for (TestProfile& p : profiles_) {
            raw_profiles_.push_back(p.profile);
            for (const Vec3& v : p.points) {
                ScanPoint sp{};
                sp.Vertex = v;
                points_.push_back(sp);
            }
        }
        raw_.Profiles = raw_profiles_.data();
        raw_.NumProfiles = 3;
        raw_.Points = points_.data();
        raw_.NumPoints = static_cast<int32_t>(points_.size());
        original_ = Vertices();
    }
    std::vector<Vec3> Vertices() const {
        std::vector<Vec3> out;
        for (const ScanPoint& p : points_) out.push_back(p.Vertex);
        return out;
    }
    std::vector<Vec3> ProfilePoints() const {
        std::vector<Vec3> out;
        for (const TestProfile& p : profiles_) out.insert(out.end(), p.points.begin(), p.points.end());
        return out;
    }

    RawData raw_{};
    std::vector<TestProfile> profiles_;
    std::vector<Profile> raw_profiles_;
    std::vector<ScanPoint> points_;
    std::vector<Vec3> original_;
};

TEST_F(RefractionScan, CorrectsEveryProfileIntoItsScanPointsAndUndoesIt) {
    Refraction_Apply(raw_, false);
    EXPECT_EQ(raw_.RefractionCorrected, 1);
    EXPECT_NE(raw_.Draw.Flags & kDrawFull, 0);
    const std::vector<Vec3> corrected = Vertices();
    EXPECT_EQ(std::memcmp(corrected.data(), ProfilePoints().data(), corrected.size() * sizeof(Vec3)), 0);
    for (size_t i = 0; i < corrected.size(); ++i) EXPECT_GT(V3_Distance(corrected[i], original_[i]), 1.0f) << i;
    Refraction_Apply(raw_, true);
    EXPECT_EQ(raw_.RefractionCorrected, 0);
    EXPECT_LT(LargestMove(original_, Vertices()), 0.06f);
}

TEST_F(RefractionScan, FromAFirstProfileOnlyItsSuccessorsMoveAtTheirRunningIndex) {
    Refraction_Apply(raw_, false, 2);
    const std::vector<Vec3> now = Vertices();
    for (size_t i = 0; i < 2; ++i) EXPECT_EQ(V3_Distance(now[i], original_[i]), 0.0f) << i;
    for (size_t i = 2; i < now.size(); ++i) {
        EXPECT_GT(V3_Distance(now[i], original_[i]), 1.0f) << i;
        EXPECT_EQ(V3_Distance(now[i], profiles_[2].points[i - 2]), 0.0f) << i;
    }
    EXPECT_EQ(raw_.RefractionCorrected, 1);
}

TEST_F(RefractionScan, AScanWithFewerPointsThanItsProfilesIsWrittenOnlyWithinThem) {
    raw_.NumPoints = 3;  // the last two points were purged
    Refraction_Apply(raw_, false);
    const std::vector<Vec3> now = Vertices();
    EXPECT_GT(V3_Distance(now[2], original_[2]), 1.0f);
    for (size_t i = 3; i < now.size(); ++i) EXPECT_EQ(V3_Distance(now[i], original_[i]), 0.0f) << i;
    RawData empty{};
    Refraction_Apply(empty, false);
    EXPECT_EQ(empty.RefractionCorrected, 1);
}
