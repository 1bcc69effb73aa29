// Stylus presses of the simulated unit through the program's field checks,
// profile building and scan control: a point press records one item and a
// line press a line of items, all where the stylus path was.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "app/acquisition/field_format.h"
#include "app/acquisition/field_ring.h"
#include "app/acquisition/hardware_events.h"
#include "app/acquisition/hardware_trace.h"
#include "app/acquisition/profile_build.h"
#include "app/acquisition/scan_control.h"
#include "app/files/tests/keyed_scratch_folder.h"
#include "app/scan/tests/scan_record_fixture.h"
#include "sim/press_fields.h"

namespace sim {
namespace {

void IgnoreEvent(std::int32_t, std::intptr_t) {}
void IgnoreTrace(const char*) {}

constexpr const char* kScenario =
    "hardware 2.2.1\nserial 300\nhemisphere 4\nplane 0 0 650 0 0 -1\n"
    "wand 0 0 0 350 0 0 650\n"
    "stylus 0 100 0 300 100 0 700\nstylus 4 160 40 300 160 40 700\n"
    "press 1.0 1.5 stylus\npress 2.0 3.5 stylus\n";

class StylusPresses : public ::testing::Test {
  protected:
    void SetUp() override {
        ring_.assign(kRingBufferWords, 0);
        Ring_Attach(ring_.data());
        SetHardwareEventHandler(IgnoreEvent);
        SetHardwareTraceSink(IgnoreTrace);
        ScenarioError error;
        ASSERT_TRUE(ParseScenario(kScenario, &scenario_, &error)) << error.message;
        std::string failure;
        ASSERT_TRUE(StartProgramSide(scenario_, scratch_.Path().string(), context_, &failure)) << failure;
        GeneralSettings_SetDefaults(settings_, 0, 0);
        settings_.ReceiverEnabled = 0;
        settings_.Stylus.Mode = 0;
        settings_.Stylus.MinLineSegment = 2.0f;
        settings_.StylusPointBeep = 0;
        settings_.StylusPointAutoView = 0;
        ViewSettings_SetDefaults(view_);
        control_.raw = &scan_.raw();
        control_.settings = &settings_;
        control_.view = &view_;
        control_.host.buildProfile = [](Profile& staging, const ScanProfileRequest& r, ScanFieldReport& report) {
            return BuildProfileFromField(staging, r.receiverEnabled, r.useFrozen, r.frozen, r.clipAngle, &report.scan,
                                         &report.stylus, &report.interlace, &report.mismatch, &report.hardwareValue);
        };
    }
    void TearDown() override {
        SetHardwareEventHandler(nullptr);
        SetHardwareTraceSink(nullptr);
        Ring_Attach(nullptr);
    }

    // One press through scan control as the events bring it.
    void RunPress(std::size_t index) {
        std::vector<std::vector<std::uint16_t>> slots;
        std::string failure;
        ASSERT_TRUE(MakePressFields(scenario_, index, context_, &slots, &failure)) << failure;
        ScanControl_FirstField(control_);
        for (std::size_t i = 0; i < slots.size(); ++i) {
            std::memcpy(RingSlotAddress(Ring_WriteCount()), slots[i].data(), kFieldSlotWords * sizeof(std::uint16_t));
            Ring_PublishField();
            ScanControl_OnNewFieldReady(control_, static_cast<int32_t>(i + 1));
        }
        ScanControl_EndOfSweep(control_);
        control_.state.BusyState = kScanBusyIdle;
    }

    // How far an item lies from the stylus path during press `index`.
    double DistanceFromPath(const StylusItem& item, std::size_t index) const {
        const sim::Press& press = scenario_.presses[index];
        double best = std::numeric_limits<double>::max();
        for (double t = press.start - 0.1; t <= press.end; t += 0.001) {
            const Vec3 p = scenario_.stylus.At(t).t;
            best = std::min(best, std::hypot(p.x - item.Pose[12], p.y - item.Pose[13], p.z - item.Pose[14]));
        }
        return best;
    }

    std::vector<std::uint16_t> ring_;
    Scenario scenario_;
    ScratchFolder scratch_;
    FieldCheckContext context_{};
    scan_test::TestScan scan_;
    GeneralSettings settings_{};
    ViewSettings view_{};
    ScanControl control_;
};

TEST_F(StylusPresses, PointAndLinePressesRecordItemsOnThePath) {
    settings_.Stylus.CaptureMode = 0;
    RunPress(0);
    const StylusItemList& list = scan_.raw().Stylus;
    ASSERT_EQ(list.VisibleCount, 1) << "a point press records one item";
    EXPECT_LT(DistanceFromPath(list.Items[0], 0), 0.2);
    EXPECT_EQ(scan_.raw().NumProfiles, 0) << "stylus fields make no scan profiles";

    settings_.Stylus.CaptureMode = 1;
    RunPress(1);
    ASSERT_GT(list.VisibleCount, 4) << "a line press records a line of items";
    EXPECT_EQ(list.GroupCount, 2);
    EXPECT_EQ(list.Items[1].Flags, kStylusLineHead) << "the line starts with its own head item";
    EXPECT_EQ(list.Items[1].Group, 1);
    for (int32_t i = 2; i < list.VisibleCount; ++i) {
        const StylusItem& item = list.Items[i];
        EXPECT_EQ(item.Flags, kStylusLineMember) << i;
        EXPECT_LT(DistanceFromPath(item, 1), 0.2) << i;
        EXPECT_EQ(item.Group, 1);
        if (i > 2) {
            const Matrix4& a = list.Items[i - 1].Pose;
            EXPECT_GE(std::hypot(a[12] - item.Pose[12], a[13] - item.Pose[13], a[14] - item.Pose[14]), 2.0f - 1e-4f);
        }
    }
    // The line moved the whole press long: its ends lie apart by the path's travel.
    const Matrix4& first = list.Items[2].Pose;
    const Matrix4& last = list.Items[list.VisibleCount - 1].Pose;
    EXPECT_GT(std::hypot(first[12] - last[12], first[13] - last[13]), 15.0);
}

}  // namespace
}  // namespace sim
