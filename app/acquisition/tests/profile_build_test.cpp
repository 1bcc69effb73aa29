// Profile building from the field ring: the window and its centre field, the
// pose filter, the sample checks, the table look-up with its corners, the
// viewing cone, the reference poses and the version-mismatch watch.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "acquisition_test_support.h"
#include "app/acquisition/calibration_lookup.h"
#include "app/acquisition/calibration_state.h"
#include "app/acquisition/hardware_online_time.h"
#include "app/acquisition/profile_build.h"
#include "app/acquisition/profile_line_log.h"
#include "sim/sweep_generator.h"

namespace {

using acquisition_test::AcquisitionFixture;
using acquisition_test::TraceHas;
using acquisition_test::WandField;

constexpr std::uint32_t kSerial = 345;

// Entry (channel, row, column) of a table of the linear calibration's shape.
std::int16_t* Entry(CalibrationData& data, int c, int i, int j) {
    return &data.table[3 * ((static_cast<std::size_t>(c) * kLinearTableRows + i) * kLinearTableColumns + j)];
}

class ProfileBuildTest : public AcquisitionFixture {
protected:
    void SetUp() override {
        AcquisitionFixture::SetUp();
        SetHemisphereSetting(0);
        ResetVersionMismatchWatch();
        std::memset(&profile_, 0, sizeof profile_);
        Install(MakeLinearCalibration("1.1.1"));
    }
    void TearDown() override {
        RawData_ClearProfile(profile_);
        AcquisitionFixture::TearDown();
    }

    void Install(CalibrationData data) { InstallCalibration(std::move(data)); }

    void Publish(const FieldParameters& p) {
        std::uint16_t* slot = RingSlotAddress(Ring_WriteCount());
        LoadFieldIntoSlot(GenerateField(p), slot);
        ASSERT_NE(DecodeLocatorBlock(slot), 0);
        Ring_PublishField();
    }

    // A wand field with one sample per (line, channel, start, end).
    static FieldParameters Field(std::vector<GeneratedLineSample> samples, std::int32_t unitVersion = 0) {
        FieldParameters p = WandField(kSerial, unitVersion);
        p.samples = std::move(samples);
        return p;
    }

    // Starts a fresh capture of as many copies of `p` as one build needs,
    // then builds. As in the program, the counts run on: the capture starts
    // where the writer stands and the reader moves there.
    std::int32_t PublishAndBuild(const FieldParameters& p, float cone = 60.0f, std::int32_t referenceEnabled = 0,
                                 std::int32_t useGiven = 0, const Matrix4* given = nullptr) {
        Ring_StartReading(Ring_WriteCount());
        for (int f = 0; f <= GetOddFilterLength(); ++f) Publish(p);
        return Build(cone, referenceEnabled, useGiven, given);
    }

    std::int32_t Build(float cone = 60.0f, std::int32_t referenceEnabled = 0, std::int32_t useGiven = 0,
                       const Matrix4* given = nullptr) {
        return BuildProfileFromField(profile_, referenceEnabled, useGiven, given, cone, &wand_, &stylus_,
                                     &parityExpected_, &mismatch_, &onlineTime_);
    }

    Profile profile_;
    std::int32_t wand_ = -1, stylus_ = -1, parityExpected_ = -1, mismatch_ = -1, onlineTime_ = -1;
};

// A sample of channel 0 whose mid-point is `count`.
GeneratedLineSample Sample(int line, int count, int channel = 0, int width = 10) {
    return GeneratedLineSample{line, channel, static_cast<std::uint16_t>(count - width / 2),
                               static_cast<std::uint16_t>(count - width / 2 + width)};
}

TEST_F(ProfileBuildTest, WindowOfFilterLengthPlusOneFieldsTakesTheLineOfItsCentreField) {
    for (std::int32_t n : {1, 3, 5, 7}) {
        SCOPED_TRACE(n);
        Ring_ResetCounts();
        SetOddFilterLength(n);
        for (int f = 0; f < n; ++f) Publish(Field({Sample(20 + 2 * f, 400)}));
        EXPECT_EQ(Build(), kProfileNotEnoughFields);
        EXPECT_EQ(profile_.NumPoints, 0);
        EXPECT_EQ(Ring_ReadCount(), 0);

        Publish(Field({Sample(20 + 2 * n, 400)}));
        ASSERT_EQ(Build(), kProfileBuilt);
        EXPECT_EQ(Ring_ReadCount(), 1);
        ASSERT_EQ(profile_.NumPoints, 1);
        const int centre = 1 + (n - 1) / 2;
        EXPECT_FLOAT_EQ(profile_.Points[0].y, (20.0f + 2 * centre - 140.0f) * 0.5f);
        EXPECT_EQ(profile_.PointValues[0], 10);
        // One field is consumed per call: the next window is one field short.
        EXPECT_EQ(Build(), kProfileNotEnoughFields);
        EXPECT_EQ(Ring_ReadCount(), 1);
    }
}

TEST_F(ProfileBuildTest, PoseFilterAveragesTheWindowCentredBeforeTheCentreFieldAndStaysARotation) {
    SetOddFilterLength(3);
    const float angles[4] = {0.0f, 4.0f, 8.0f, 12.0f};
    for (int f = 0; f < 4; ++f) {
        FieldParameters p = Field({Sample(100, 400)});
        Matrix4 wand, reference;
        M4_MakeRotationZ(angles[f], wand);
        wand[12] = 10.0f * f;  // mm
        M4_MakeRotationX(-angles[f], reference);
        reference[13] = 20.0f * f;
        SetTrackerRecordPose(p.records[1], wand);
        SetTrackerRecordPose(p.records[0], reference);
        Publish(p);
    }
    ASSERT_EQ(Build(60.0f, 1), kProfileBuilt);

    // Weights 0.7, 1, 1, 0.3 for the wand record (record 1), 0.2, 1, 1, 0.8
    // for the reference record (record 0), over 3.
    EXPECT_NEAR(profile_.WandRxMatrix[12], (10.0f + 20.0f + 0.3f * 30.0f) / 3.0f, 1e-4f);
    EXPECT_NEAR(profile_.ReferenceRxMatrix[13], (20.0f + 40.0f + 0.8f * 60.0f) / 3.0f, 1e-4f);
    Vec3 wandAngles;
    M4_ToEulerAngles(profile_.WandRxMatrix, wandAngles);
    EXPECT_NEAR(wandAngles.z, (4.0f + 8.0f + 0.3f * 12.0f) / 3.0f, 0.02f);
    for (const Matrix4* m : {&profile_.WandRxMatrix, &profile_.ReferenceRxMatrix}) {
        Matrix4 t, product;
        M4_Transpose(*m, t);
        for (int e : {3, 7, 11, 12, 13, 14}) t[e] = 0.0f;
        Matrix4 r = *m;
        for (int e : {12, 13, 14}) r[e] = 0.0f;
        M4_Multiply(r, t, product);
        for (int e = 0; e < 16; ++e) EXPECT_NEAR(product[e], e % 5 == 0 ? 1.0f : 0.0f, 1e-6f) << e;
        const float det = r[0] * (r[5] * r[10] - r[6] * r[9]) - r[1] * (r[4] * r[10] - r[6] * r[8]) +
                          r[2] * (r[4] * r[9] - r[5] * r[8]);
        EXPECT_NEAR(det, 1.0f, 1e-6f);
    }
}

TEST_F(ProfileBuildTest, ReferencePosesByTheCallersChoice) {
    Matrix4 given;
    M4_MakeTranslation(Vec3{1, 2, 3}, given);
    struct Case {
        std::int32_t enabled, useGiven;
        float expectedX;  // the reference pose's x translation; the record's is 100 mm
    };
    for (const Case& c : {Case{0, 0, 0.0f}, Case{0, 1, 0.0f}, Case{1, 0, 100.0f}, Case{1, 1, 1.0f}}) {
        SCOPED_TRACE(c.enabled * 10 + c.useGiven);
        ASSERT_EQ(PublishAndBuild(Field({Sample(100, 400)}), 60.0f, c.enabled, c.useGiven, &given), kProfileBuilt);
        EXPECT_EQ(profile_.ReferenceEnabled, c.enabled);
        EXPECT_NEAR(profile_.ReferenceRxMatrix[12], c.expectedX, 1e-4f);
        EXPECT_NEAR(profile_.RawReferenceRxMatrix[12], 100.0f, 1e-4f);
        // The point is placed through the wand pose and the inverted reference.
        ASSERT_EQ(profile_.NumPoints, 1);
        EXPECT_NEAR(profile_.Points[0].x, kLinearDepthOrigin + 400 * kLinearDepthPerCount + 200.0f - c.expectedX,
                    1e-3f);
    }
}

TEST_F(ProfileBuildTest, NoMeasuredReferenceWithoutAReferenceStationAndFixedWandHardware) {
    SetWandReferenceOption(0);
    SetHemisphereSetting(0);
    FieldParameters p = Field({Sample(100, 400)});
    p.records[0].station = p.records[1].station;  // the wand station twice
    ASSERT_EQ(PublishAndBuild(p, 60.0f, 1), kProfileBuilt);
    for (int e = 0; e < 16; ++e) EXPECT_EQ(profile_.RawReferenceRxMatrix[e], 0.0f);

    Install(MakeLinearCalibration("2.4.1"));
    ASSERT_EQ(PublishAndBuild(p, 60.0f, 1), kProfileBuilt);
    EXPECT_NEAR(profile_.RawReferenceRxMatrix[12], 200.0f, 1e-4f);
    for (int e = 0; e < 16; ++e) EXPECT_EQ(profile_.WandRxMatrix[e], e % 5 == 0 ? 1.0f : 0.0f);
}

TEST_F(ProfileBuildTest, SampleChecksCountRejectionsAndAcceptWidthsAtTheirBounds) {
    struct Case {
        const char* name;
        std::uint16_t start, end;
        bool usable;
        HardwareStatisticWord counter;  // Stat_RingOverruns: none counted
    };
    const Case cases[] = {
        {"no line", 0, 0, false, Stat_RingOverruns},
        {"reversed", 12, 10, false, Stat_RiseAboveFall},
        {"end only", 12, 0, false, Stat_RiseAboveFall},
        {"start missing", 0, 20, false, Stat_RiseZero},
        {"narrowest", 300, 305, true, Stat_RingOverruns},
        {"too narrow", 300, 304, false, Stat_WidthBelowMin},
        {"widest", 300, 350, true, Stat_RingOverruns},
        {"too wide", 300, 351, false, Stat_WidthAboveMax},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ZeroHardwareStatistics();
        ASSERT_EQ(PublishAndBuild(Field({GeneratedLineSample{100, 0, c.start, c.end}})), kProfileBuilt);
        EXPECT_EQ(profile_.NumPoints, c.usable ? 1 : 0);
        EXPECT_EQ(*ProfileLineLog_Get(profile_).count, c.usable ? 1 : 0);
        HardwareStatistics stats;
        GetHardwareStatistics(stats);
        const std::int32_t* words = reinterpret_cast<const std::int32_t*>(&stats);
        for (int w : {Stat_RiseAboveFall, Stat_RiseZero, Stat_WidthBelowMin, Stat_WidthAboveMax})
            EXPECT_EQ(words[w], w == c.counter ? 1 : 0) << w;
        if (c.usable) {
            EXPECT_EQ(profile_.PointValues[0], c.end - c.start);
        }
    }
}

TEST_F(ProfileBuildTest, RescaledModesMoveSamplesAndNeverCountAnEmptyLine) {
    for (std::int32_t mode : {2, 3}) {
        SCOPED_TRACE(mode);
        SetProcessingUnitVersion(mode);
        ZeroHardwareStatistics();
        ASSERT_EQ(PublishAndBuild(Field({GeneratedLineSample{100, 0, 0, 0}, GeneratedLineSample{102, 0, 0, 30},
                                         GeneratedLineSample{104, 0, 500, 520}},
                                        mode)),
                  kProfileBuilt);
        HardwareStatistics stats;
        GetHardwareStatistics(stats);
        EXPECT_EQ(stats.widthBelowMin, 0);
        EXPECT_EQ(stats.riseZero, 1);
        ASSERT_EQ(profile_.NumPoints, 1);
        const float s1 = 500 * 0.7048457860946655f + 24.0f, s2 = 520 * 0.7048457860946655f + 24.0f;
        const Vec3 expected = LinearCalibrationPoint(0, 104 + 2.5f, (s1 + s2) * 0.5f);
        EXPECT_NEAR(profile_.Points[0].y, expected.y, 1e-4f);
        EXPECT_NEAR(profile_.Points[0].x - 200.0f, expected.x, 1e-3f);
        EXPECT_EQ(profile_.PointValues[0], static_cast<std::int32_t>(s2 - s1));
    }
}

TEST_F(ProfileBuildTest, ChannelOneWalksDownAndTheLastLineOfEachWalkIsSkipped) {
    ASSERT_EQ(PublishAndBuild(Field({Sample(0, 400, 0), Sample(281, 400, 0), Sample(0, 400, 1),
                                     Sample(281, 400, 1), Sample(140, 400, 1), Sample(141, 400, 0)})),
              kProfileBuilt);
    const ProfileLineLog log = ProfileLineLog_Get(profile_);
    ASSERT_EQ(*log.count, 4);
    const float lines[4] = {0, 141, 281, 140};
    const int channels[4] = {0, 0, 1, 1};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(log.linePosition[k], lines[k]) << k;
        EXPECT_EQ(log.channel[k], channels[k]) << k;
        EXPECT_EQ(log.start[k], 395);
        EXPECT_EQ(log.end[k], 405);
    }
    // The two channels merge into one line ordered along y.
    ASSERT_EQ(profile_.NumPoints, 4);
    for (int k = 1; k < 4; ++k) EXPECT_LT(profile_.Points[k - 1].y, profile_.Points[k].y);
}

TEST_F(ProfileBuildTest, AnUnsetCornerDropsThePointButKeepsTheSampleInTheLog) {
    // The sample at line 101, count 401 interpolates between rows 50, 51 and
    // columns 200, 201.
    for (int corner = 0; corner < 4; ++corner) {
        SCOPED_TRACE(corner);
        CalibrationData data = MakeLinearCalibration("1.1.1");
        Entry(data, 0, 50 + corner / 2, 200 + corner % 2)[0] = data.header.LutUnsetMarker;
        Install(std::move(data));
        ASSERT_EQ(PublishAndBuild(Field({Sample(101, 401)})), kProfileBuilt);
        EXPECT_EQ(profile_.NumPoints, 0);
        const ProfileLineLog log = ProfileLineLog_Get(profile_);
        ASSERT_EQ(*log.count, 1);
        EXPECT_EQ(log.point[0].x, 1e10f);
        EXPECT_EQ(log.point[0].z, 1e10f);
    }
}

TEST_F(ProfileBuildTest, InterpolationLimitsOfTheTable) {
    const CalibrationData data = MakeLinearCalibration("1.1.1");
    Vec3 p;
    EXPECT_EQ(InterpolateCalibration(data, 0, 10.0f, 0.0f, p), 0);
    EXPECT_EQ(InterpolateCalibration(data, 0, -0.5f, 10.0f, p), 0);
    EXPECT_EQ(InterpolateCalibration(data, 0, 2.0f * (kLinearTableRows - 1), 10.0f, p), 0);
    EXPECT_EQ(InterpolateCalibration(data, 0, 10.0f, 2.0f * (kLinearTableColumns - 1), p), 0);
    EXPECT_EQ(InterpolateCalibration(data, 2, 10.0f, 10.0f, p), 0);  // no third channel
    EXPECT_EQ(InterpolateCalibration(data, 0, std::nanf(""), 10.0f, p), 0);
    ASSERT_EQ(InterpolateCalibration(data, 1, 2.0f * (kLinearTableRows - 1) - 0.5f, 0.25f, p), 1);
    const Vec3 expected = LinearCalibrationPoint(1, 2.0f * (kLinearTableRows - 1) - 0.5f, 0.25f);
    EXPECT_NEAR(p.x, expected.x, 1e-4f);
    EXPECT_NEAR(p.y, expected.y, 1e-4f);
}

TEST_F(ProfileBuildTest, ConeBoundaryIsRejectedAndLoggedInTheWandFrame) {
    ASSERT_EQ(std::tan(90.0f * 0.5f * static_cast<float>(kGeometryPi) / 180.0f), 1.0f);
    CalibrationData data = MakeLinearCalibration("1.1.1");
    // Exact table points at (line 100, count 400) and (line 104, count 400):
    // |y| / (x + 140) is exactly 1, and just below.
    const std::int16_t onEdge[3] = {60 * 32, 200 * 32, 0}, inside[3] = {60 * 32, 199 * 32, 0};
    std::memcpy(Entry(data, 0, 50, 200), onEdge, sizeof onEdge);
    std::memcpy(Entry(data, 0, 52, 200), inside, sizeof inside);
    Install(std::move(data));
    ASSERT_EQ(PublishAndBuild(Field({Sample(100, 400), Sample(104, 400)}), 90.0f), kProfileBuilt);
    ASSERT_EQ(profile_.NumPoints, 1);
    EXPECT_FLOAT_EQ(profile_.Points[0].y, 199.0f);
    EXPECT_FLOAT_EQ(profile_.Points[0].x, 260.0f);  // moved by the wand's 200 mm
    const ProfileLineLog log = ProfileLineLog_Get(profile_);
    ASSERT_EQ(*log.count, 2);
    EXPECT_FLOAT_EQ(log.point[0].x, 60.0f);
    EXPECT_FLOAT_EQ(log.point[1].x, 260.0f);
}

TEST_F(ProfileBuildTest, StylusCentreFieldGivesNoPoints) {
    FieldParameters p = Field({Sample(100, 400)});
    p.stylus = true;
    ASSERT_EQ(PublishAndBuild(p), kProfileBuilt);
    EXPECT_EQ(profile_.NumPoints, 0);
    EXPECT_EQ(stylus_, 1);
    EXPECT_EQ(wand_, 1);
    EXPECT_EQ(mismatch_, -1);  // not written for a stylus field
    EXPECT_EQ(Ring_ReadCount(), 1);
}

TEST_F(ProfileBuildTest, AutomaticHemisphereHidesStationsUntilTheirSetUpIsDone) {
    SetHemisphereSetting(kHemisphereAutomatic);
    ASSERT_EQ(PublishAndBuild(Field({Sample(100, 400)})), kProfileBuilt);
    EXPECT_EQ(wand_, 0);
    EXPECT_EQ(profile_.NumPoints, 1);
    StoreWandTrackingState(TrackingState_INITIALISED);
    ASSERT_EQ(Build(), kProfileNotEnoughFields);
    Publish(Field({Sample(100, 400)}));
    ASSERT_EQ(Build(), kProfileBuilt);
    EXPECT_EQ(wand_, 1);
}

TEST_F(ProfileBuildTest, OnlineTimeAndReceiverStatusAreReported) {
    SetHardwareOnlineTime(1700000000);
    FieldParameters p = Field({Sample(100, 400)});
    p.records[0].error = 'A';
    p.records[1].error = 'B';
    ASSERT_EQ(PublishAndBuild(p), kProfileBuilt);
    EXPECT_EQ(onlineTime_, 1700000000);
    EXPECT_EQ(profile_.ReceiverStatus, 'B' | ('A' << 8));  // wand record first
}

TEST_F(ProfileBuildTest, VersionWatchComparesParityChangesWithTheHardware) {
    struct Case {
        const char* version;
        bool alternating;
        std::int32_t expected;
    };
    for (const Case& c : {Case{"2.3.1", false, 1}, Case{"2.3.1", true, 0}, Case{"1.1.1", true, 1},
                          Case{"1.1.1", false, 0}}) {
        SCOPED_TRACE(std::string(c.version) + (c.alternating ? " alternating" : " steady"));
        Install(MakeLinearCalibration(c.version));
        ResetVersionMismatchWatch();
        Ring_ResetCounts();
        SetOddFilterLength(1);
        for (int f = 0; f < 11; ++f) {
            FieldParameters p = Field({});
            p.parity = c.alternating && f % 2 == 1;
            Publish(p);
            if (f == 0) continue;
            ASSERT_EQ(Build(), kProfileBuilt);
            EXPECT_EQ(parityExpected_, c.version[2] == '3' ? 1 : 0);
            EXPECT_EQ(mismatch_, f == 10 ? c.expected : 0) << f;
        }
    }
}

TEST_F(ProfileBuildTest, FilterLengthsTheRingCannotServeAreClamped) {
    for (const auto& c : {std::pair<int, int>{-4, 1}, {4, 5}, {47, 47}, {48, 47}, {1000, 47}}) {
        SetOddFilterLength(c.first);
        EXPECT_EQ(GetOddFilterLength(), c.second) << c.first;
    }
    EXPECT_TRUE(TraceHas("SetOddFilterLength: 49 clamped to 47\n"));
    // The longest length is served by a full ring.
    Ring_ResetCounts();
    for (int f = 0; f < 48; ++f) Publish(Field({Sample(100, 400)}));
    EXPECT_EQ(Build(), kProfileBuilt);
}

}  // namespace
