// The pipe listener's checks: whole captures and points on the scene.
#include "sim/pipe_record_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace sim {
namespace {

Scenario PlaneScenario() {
    Scenario s;
    ScenarioError e;
    EXPECT_TRUE(ParseScenario("hardware 2.2.1\nplane 0 0 100 0 0 1\n", &s, &e)) << e.message;
    return s;
}

// A record of that kind; a profile's points lie at height z.
ScanPipeRecord Record(int kind, float z = 100.0f) {
    ScanPipeRecord r;
    const Matrix4* none = nullptr;
    std::vector<::Vec3> points;
    for (int i = 0; i < 3; ++i) points.push_back(::Vec3{float(i), 0.0f, z});
    ScanPipeRecord_Build(r, kind, none, kind == kPipeProfile ? 3 : 0, points.data(), none);
    return r;
}

TEST(PipeRecordCheck, WholeCapturesAndTheirFaults) {
    const Scenario scene = PlaneScenario();
    struct Case {
        std::string kinds;  // one digit a record
        int captures, sweeps, skipped;
        size_t errors;
    };
    const Case cases[] = {
        {"0122234", 1, 1, 0, 0},
        {"01231234", 1, 2, 0, 0},    // a preview field closed the first sweep
        {"04", 1, 0, 0, 0},          // a press that kept nothing
        {"2340122234", 1, 1, 3, 0},  // joined in the middle of a capture
        {"01224", 1, 0, 0, 1},       // the sweep never ended
        {"0134", 1, 1, 0, 1},        // a sweep without profiles
        {"02234", 1, 1, 0, 3},       // profiles outside a sweep, a stray end
    };
    for (const Case& c : cases) {
        PipeRecordChecker checker(scene, false, 0.26);
        for (char k : c.kinds) checker.Add(Record(k - '0'));
        const PipeCheckCounts& n = checker.Counts();
        SCOPED_TRACE(c.kinds);
        EXPECT_EQ(n.captures, c.captures);
        EXPECT_EQ(n.sweeps, c.sweeps);
        EXPECT_EQ(n.skipped, c.skipped);
        EXPECT_EQ(n.errors.size(), c.errors);
    }
}

TEST(PipeRecordCheck, PointsMustLieOnTheSceneInTheTransmittersFrame) {
    const Scenario scene = PlaneScenario();
    PipeRecordChecker checker(scene, false, 0.26);
    checker.Add(Record(0));
    checker.Add(Record(1));
    checker.Add(Record(2, 100.2f));
    checker.Add(Record(2, 100.3f));
    EXPECT_EQ(checker.Counts().points, 6);
    EXPECT_NEAR(checker.Counts().worstDistance, 0.3, 1e-4);
    EXPECT_EQ(checker.Counts().errors.size(), 3u);
    // Each whole capture's RMS distance: sqrt((3 × 0.04 + 3 × 0.09) / 6); none
    // for a capture without points.
    checker.Add(Record(3));
    checker.Add(Record(4));
    checker.Add(Record(0));
    checker.Add(Record(4));
    ASSERT_EQ(checker.Counts().rmsPerCapture.size(), 2u);
    EXPECT_NEAR(checker.Counts().rmsPerCapture[0], std::sqrt(0.065), 1e-4);
    EXPECT_EQ(checker.Counts().rmsPerCapture[1], 0.0);

    // Relative to a receiver 40 mm up: the record's reference matrix places them.
    PipeRecordChecker relative(scene, true, 0.26);
    ScanPipeRecord r = Record(2, 60.0f);
    Matrix4 reference;
    M4_Identity(reference);
    reference[14] = 40.0f;
    std::vector<::Vec3> points{{0.0f, 0.0f, 60.0f}};
    ScanPipeRecord_Build(r, kPipeProfile, nullptr, 1, points.data(), &reference);
    relative.Add(Record(0));
    relative.Add(Record(1));
    relative.Add(r);
    EXPECT_TRUE(relative.Counts().errors.empty());
    EXPECT_NEAR(relative.Counts().worstDistance, 0.0, 1e-5);
}

}  // namespace
}  // namespace sim
