// From fields to facets: a wand sweeping a plane, a sphere and a cylinder,
// seen through a linear calibration table; each field is built into a profile
// and processed. The points must lie on the surface, the facets face the
// camera with at most two facets on an edge, and the normals follow the
// surface.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "acquisition_test_support.h"
#include "app/acquisition/calibration_state.h"
#include "app/acquisition/profile_build.h"
#include "sim/sweep_generator.h"
#include "app/scan/facet_strip.h"
#include "app/scan/profile_processing.h"
#include "app/scan/tests/scan_record_fixture.h"

namespace {

using acquisition_test::AcquisitionFixture;
using scan_test::TestScan;
using scan_test::WandLookingDown;

constexpr std::int32_t kFilterLength = 3;
constexpr float kWorstResolution = 4.0f;
constexpr float kConeAngle = 60.0f;

struct Scene {
    const char* name;
    SweepSurface surface;
    WandSweep sweep;
    std::int32_t fields;
};

Scene MakeScene(const char* name, SweepSurfaceKind kind, float radius, Vec3 axis, float height, float speed,
                float degreesPerField, std::int32_t fields) {
    Scene s{name, {}, {}, fields};
    s.surface.kind = kind;
    s.surface.radius = radius;
    V3_Normalise(axis, s.surface.axis);
    const float startY = -0.5f * speed * fields;
    s.sweep.start = WandLookingDown(0.0f, startY, height);
    s.sweep.velocity = Vec3{0.0f, speed, 0.0f};
    s.sweep.degreesPerField = degreesPerField;
    // The reference receiver: turned and moved, so that scan coordinates
    // differ from the transmitter's.
    M4_MakeRotationZ(30.0f, s.sweep.reference);
    s.sweep.reference[12] = 50.0f;
    s.sweep.reference[13] = -30.0f;
    s.sweep.reference[14] = 10.0f;
    return s;
}

std::vector<Scene> Scenes() {
    return {
        MakeScene("plane", SweepSurfaceKind::Plane, 0.0f, {0, 0, 1}, 120.0f, 0.5f, 0.0f, 60),
        MakeScene("sphere", SweepSurfaceKind::Sphere, 60.0f, {0, 0, 1}, 150.0f, 0.5f, 0.0f, 100),
        MakeScene("cylinder", SweepSurfaceKind::Cylinder, 50.0f, {1, 0.3f, 0}, 140.0f, 0.4f, 0.1f, 120),
    };
}

class ProfileEndToEndTest : public AcquisitionFixture {
protected:
    void SetUp() override {
        AcquisitionFixture::SetUp();
        SetHemisphereSetting(0);
        SetOddFilterLength(kFilterLength);
        InstallCalibration(MakeLinearCalibration("1.1.1"));
        std::memset(&staging_, 0, sizeof staging_);
    }
    void TearDown() override {
        RawData_ClearProfile(staging_);
        AcquisitionFixture::TearDown();
    }

    // Writes the scene's fields into the ring as the acquisition thread does,
    // builds a profile whenever enough fields wait, and appends every profile
    // with points to `oneByOne` (processed after each) and to `atOnce`.
    void Capture(const Scene& scene, TestScan& oneByOne, TestScan& atOnce) {
        const float* weights = CurrentCalibration().model.recordPhaseWeights;
        for (std::int32_t f = 0; f < scene.fields; ++f) {
            std::uint16_t* slot = RingSlotAddress(Ring_WriteCount());
            const FieldParameters p = MakeSweepField(scene.surface, scene.sweep, f, 2, weights);
            LoadFieldIntoSlot(GenerateField(p), slot);
            ASSERT_NE(DecodeLocatorBlock(slot), 0);
            Ring_PublishField();
            while (BuildProfileFromField(staging_, 1, 0, nullptr, kConeAngle, nullptr, nullptr, nullptr, nullptr,
                                         nullptr) == kProfileBuilt) {
                if (staging_.NumPoints == 0) continue;
                oneByOne.Append(staging_);
                atOnce.Append(staging_);
                ASSERT_EQ(Scan_ProcessNewProfiles(oneByOne.raw(), kFilterLength, kWorstResolution),
                          kScanProcessOk);
            }
        }
        ASSERT_EQ(Scan_ProcessNewProfiles(atOnce.raw(), kFilterLength, kWorstResolution), kScanProcessOk);
    }

    Profile staging_;
};

// Scan coordinates to the transmitter's, and directions likewise.
Vec3 ToTransmitter(const Profile& p, const Vec3& v, bool direction) {
    Matrix4 m = p.ReferenceRxMatrix;
    if (direction) m[12] = m[13] = m[14] = 0.0f;
    Vec3 out;
    M4_TransformPoint(m, v, out);
    return out;
}

// The camera of a profile's pose, in scan coordinates.
Vec3 CameraOf(const Profile& p) {
    Matrix4 referenceInverse, toScan;
    M4_InvertRigid(p.ReferenceRxMatrix, referenceInverse);
    M4_Multiply(referenceInverse, p.WandRxMatrix, toScan);
    Vec3 camera;
    M4_TransformPoint(toScan, kStripCameraPoint, camera);
    return camera;
}

// The profile each point came from (the open sweep's profiles in order).
std::vector<std::int32_t> PointProfiles(const RawData& raw) {
    std::vector<std::int32_t> owner;
    for (std::int32_t p = 0; p < raw.TotalProfiles; ++p) owner.insert(owner.end(), raw.Profiles[p].NumPoints, p);
    return owner;
}

TEST_F(ProfileEndToEndTest, SweepsOverPlaneSphereAndCylinderGiveTheSurface) {
    for (const Scene& scene : Scenes()) {
        SCOPED_TRACE(scene.name);
        // Each scene is a new capture on running counts, as in the program.
        Ring_StartReading(Ring_WriteCount());
        TestScan oneByOne, atOnce;
        Capture(scene, oneByOne, atOnce);
        const RawData& raw = oneByOne.raw();
        ASSERT_GT(raw.TotalProfiles, scene.fields / 2);
        ASSERT_GT(raw.NumPoints, 50 * raw.TotalProfiles);
        ASSERT_EQ(static_cast<std::int32_t>(PointProfiles(raw).size()), raw.NumPoints);

        // Points on the surface within the table's depth resolution.
        const std::vector<std::int32_t> owner = PointProfiles(raw);
        float worst = 0.0f;
        for (std::int32_t i = 0; i < raw.NumPoints; ++i) {
            const Vec3 q = ToTransmitter(raw.Profiles[owner[i]], raw.Points[i].Vertex, false);
            worst = std::max(worst, SweepSurface_Distance(scene.surface, q));
        }
        EXPECT_LT(worst, 0.1f);

        // Facets face the camera of their newer profile; no edge has more
        // than two facets.
        ASSERT_GT(raw.NumFacets, raw.NumPoints);
        std::map<std::pair<std::int32_t, std::int32_t>, int> edges;
        for (std::int32_t f = 0; f < raw.NumFacets; ++f) {
            const std::int32_t* v = raw.Facets[f].v;
            const Profile& newer = raw.Profiles[owner[std::max({v[0], v[1], v[2]})]];
            Vec3 toCamera;
            V3_Sub(CameraOf(newer), raw.Points[v[0]].Vertex, toCamera);
            EXPECT_GT(V3_Dot(raw.FacetNormals[f], toCamera), 0.0f) << f;
            for (int k = 0; k < 3; ++k) {
                const std::pair<std::int32_t, std::int32_t> edge(std::min(v[k], v[(k + 1) % 3]),
                                                                 std::max(v[k], v[(k + 1) % 3]));
                EXPECT_LE(++edges[edge], 2) << f;
            }
        }

        // Normals agree with the surface's within a few degrees. Points
        // without facets are those seen nearly edge-on from the camera.
        std::int32_t checked = 0;
        float worstCos = 1.0f, steepestUnseen = 0.0f;
        for (std::int32_t i = 0; i < raw.NumPoints; ++i) {
            const ScanPoint& sp = raw.Points[i];
            const Profile& p = raw.Profiles[owner[i]];
            const Vec3 surfaceNormal = SweepSurface_Normal(scene.surface, ToTransmitter(p, sp.Vertex, false));
            if (V3_Length(sp.Normal) < 0.5f) {
                Vec3 toCamera;
                V3_Sub(ToTransmitter(p, CameraOf(p), false), ToTransmitter(p, sp.Vertex, false), toCamera);
                V3_Normalise(toCamera, toCamera);
                steepestUnseen = std::max(steepestUnseen, V3_Dot(toCamera, surfaceNormal));
                continue;
            }
            worstCos = std::min(worstCos, V3_Dot(ToTransmitter(p, sp.Normal, true), surfaceNormal));
            ++checked;
        }
        EXPECT_GT(checked, raw.NumPoints * 7 / 10);
        EXPECT_GT(worstCos, std::cos(3.0f * 3.14159265f / 180.0f));
        EXPECT_LT(steepestUnseen, std::cos(60.0f * 3.14159265f / 180.0f));

        // Profile by profile or all at once: the same scan.
        const RawData& other = atOnce.raw();
        ASSERT_EQ(other.NumPoints, raw.NumPoints);
        ASSERT_EQ(other.NumFacets, raw.NumFacets);
        EXPECT_EQ(std::memcmp(other.Points, raw.Points, sizeof(ScanPoint) * raw.NumPoints), 0);
        EXPECT_EQ(std::memcmp(other.Facets, raw.Facets, sizeof(Facet) * raw.NumFacets), 0);
    }
}

}  // namespace
