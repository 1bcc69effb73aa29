#include "surface/frame/operation_frame.h"
#include "surface/frame/operation_numbers.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

#include "surface/frame/tests/capturing_reporter.h"
#include "surface/frame/tests/tracked_memory_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

uint32_t g_now = 0;
uint32_t FakeClock() { return g_now; }

class OperationFrameTest : public TrackedMemoryTest {
  protected:
    void SetUp() override {
        TrackedMemoryTest::SetUp();
        Reporter_SetClockForTesting(FakeClock);
        g_now = 1000;
    }
    void TearDown() override {
        Reporter_SetClockForTesting(nullptr);
        TrackedMemoryTest::TearDown();
    }
};

// A fitting operation as every public operation runs: announce, value
// lines, core messages through its core messenger, its peak memory, finish
// and time. `coreStatus` is what its core returns.
int FakeFit(Reporter* reporter, int coreStatus) {
    OperationFrame_Begin(reporter, Op_Fit3);
    Reporter_Value(reporter, "Points", "%d", 1234);
    void* work = Mem_Alloc(3u << 20);
    CoreReporter core;
    OperationFrame_CoreReporter(&core, reporter, reporter ? Reporter_CoreLevel(reporter->maximumLevel) : 0, 0);
    if (CoreReporter_Speaks(&core, 5)) CoreReporter_Value(&core, "Centres", "%d", 17);
    Reporter_Debug(reporter, "work block at %s", "start");
    Mem_Free(work);
    g_now += 83500;
    if (coreStatus != 0) CoreStatus_Report(reporter, coreStatus);
    return OperationFrame_Finish(reporter, CoreStatus_ToApiStatus(coreStatus));
}

TEST_F(OperationFrameTest, WholeFrameAtEachMaximumLevel) {
    const CapturedLine begin{3, "Fitting RBF"};
    const CapturedLine points{5, "Points:                  1234"};
    const CapturedLine centres{5, "Centres:                      17"};
    const CapturedLine debug{6, "work block at start"};
    const CapturedLine peak{5, "Peak Memory Used:        3MB"};
    const CapturedLine finish{3, "Finished fitting RBF"};
    const CapturedLine time{5, "Time Taken:              0:01:23.50 (83.50)"};
    struct Case {
        int32_t level;
        std::vector<CapturedLine> expected;
    };
    const std::vector<Case> cases = {
        {0, {}},
        {3, {begin, finish}},
        {5, {begin, points, centres, peak, finish, time}},
        {6, {begin, points, centres, debug, peak, finish, time}},
    };
    for (const Case& c : cases) {
        Mem_SetPeakBytes(0);
        CapturingReporter capture(c.level);
        EXPECT_EQ(FakeFit(&capture.reporter, 0), 0);
        EXPECT_EQ(capture.lines, c.expected) << "maximum level " << c.level;
        EXPECT_EQ(capture.reporter.operation, Op_Complete);
        EXPECT_EQ(capture.reporter.progress, 1.0);
        EXPECT_EQ(capture.reporter.startClock, static_cast<int32_t>(g_now - 83500));
        EXPECT_EQ(Mem_TrackDepth(), -1);
    }
    EXPECT_EQ(points.text.find("1234"), static_cast<std::size_t>(kReporterValueColumn));
    EXPECT_EQ(peak.text.find("3MB"), static_cast<std::size_t>(kReporterValueColumn));
    EXPECT_EQ(centres.text.find("17"), static_cast<std::size_t>(kCoreValueColumn));
}

TEST_F(OperationFrameTest, FailedWorkReportsTheCoreStatusAndSkipsTheFinish) {
    Mem_SetPeakBytes(0);
    CapturingReporter capture(5);
    EXPECT_EQ(FakeFit(&capture.reporter, CoreStatus_NoConvergence), 18);
    const std::vector<CapturedLine> expected = {
        {3, "Fitting RBF"},
        {5, "Points:                  1234"},
        {5, "Centres:                      17"},
        {1, "RBF fitter repeatedly failed convergence tests"},
        {5, "Peak Memory Used:        3MB"},
        {5, "Time Taken:              0:01:23.50 (83.50)"},
    };
    EXPECT_EQ(capture.lines, expected);
    EXPECT_EQ(capture.reporter.operation, Op_Complete);
    EXPECT_EQ(capture.reporter.progress, -1.0);
}

TEST_F(OperationFrameTest, RefusedArgumentsPrintOnlyTheErrorAndTheTime) {
    CapturingReporter capture(6);
    OperationFrame_Begin(&capture.reporter, Op_RemoveNonMeshPoints3);
    EXPECT_EQ(Mem_TrackDepth(), 0);
    EXPECT_EQ(capture.reporter.progress, -1.0);
    Reporter_Error(&capture.reporter, "Mesh argument was %s", "NULL");
    g_now += 250;
    EXPECT_EQ(OperationFrame_Refuse(&capture.reporter, 14), 14);
    const std::vector<CapturedLine> expected = {
        {3, "Unknown function"},
        {1, "Mesh argument was NULL"},
        {5, "Time Taken:              0:00:00.25 (0.25)"},
    };
    EXPECT_EQ(capture.lines, expected);
    EXPECT_EQ(capture.reporter.operation, Op_Complete);
    EXPECT_EQ(Mem_TrackDepth(), -1);
}

TEST_F(OperationFrameTest, NullReporterAndNullCallbackRunSilently) {
    EXPECT_EQ(FakeFit(nullptr, 0), 0);
    CapturingReporter capture(6);
    capture.reporter.callback = nullptr;
    EXPECT_EQ(FakeFit(&capture.reporter, 0), 0);
    EXPECT_EQ(capture.reporter.operation, Op_Complete);
    EXPECT_TRUE(capture.lines.empty());
}

TEST_F(OperationFrameTest, CoreMessengerPointsAtTheReportersFields) {
    CapturingReporter capture(2);
    CoreReporter core;
    OperationFrame_CoreReporter(&core, &capture.reporter, 2, 0x800);
    EXPECT_EQ(core.abort, &capture.reporter.abort);
    EXPECT_EQ(core.progress, &capture.reporter.progress);
    EXPECT_EQ(core.categoryMask, 0x800);
    CoreReporter_SetProgress(&core, 0.25);
    EXPECT_EQ(Reporter_Progress(&capture.reporter), 0.25);
    capture.reporter.abort = 1;
    EXPECT_TRUE(CoreReporter_AbortRequested(&core));

    // The core filters by its own level; the forwarder passes everything.
    CoreReporter_Info(&core, "detail %d", 5);
    const std::vector<CapturedLine> expected = {{5, "detail 5"}};
    EXPECT_EQ(capture.lines, expected);

    OperationFrame_CoreReporter(&core, nullptr, 1, 0);
    EXPECT_EQ(core.abort, nullptr);
    EXPECT_EQ(core.progress, nullptr);
    EXPECT_EQ(core.categoryMask, -1);
    EXPECT_FALSE(CoreReporter_AbortRequested(&core));
    CoreReporter_SetProgress(&core, 0.5);
    CoreReporter_Error(&core, "nobody listens");
}

}  // namespace
