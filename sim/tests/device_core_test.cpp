#include "sim/device_core.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/acquisition/field_format.h"
#include "app/acquisition/usb_chip_api.h"

namespace sim {
namespace {

constexpr std::size_t kField = static_cast<std::size_t>(kFieldBytes);

Scenario Parse(const std::string& extra) {
  Scenario s;
  ScenarioError e;
  const std::string text =
      "hardware 2.2.1\nserial 12\n"
      "plane 0 0 700 0 0 -1\n"
      "wand 0 0 0 400 0 0 700\n" + extra;
  EXPECT_TRUE(ParseScenario(text, &s, &e)) << e.line << ": " << e.message;
  return s;
}

// Opens the device and starts the tracker at time `origin`.
void OpenAndStart(DeviceCore& d, double origin) {
  ASSERT_EQ(d.Open(usb_chip::kDeviceDescription, origin), usb_chip::kOk);
  d.Write("C", 1, origin);
}

std::vector<std::uint32_t> TakeFieldNumbers(DeviceCore& d) {
  std::vector<std::uint32_t> numbers;
  std::vector<std::uint8_t> field(kField);
  while (d.Queued() >= kField) {
    d.Take(field.data(), kField);
    numbers.push_back(ProcessingUnit::FieldNumber(field.data()));
  }
  return numbers;
}

TEST(DeviceCore, OpenReportsBusyAndNotFoundOnDemandThenOpens) {
  DeviceCore d(Parse("open-busy 2\nopen-not-found 1\n"));
  const std::string name = usb_chip::kDeviceDescription;
  EXPECT_EQ(d.Open(name, 0), usb_chip::kInvalidHandle);
  EXPECT_EQ(d.Open(name, 0), usb_chip::kInvalidHandle);
  EXPECT_EQ(d.Open(name, 0), usb_chip::kDeviceNotFound);
  EXPECT_EQ(d.Open("Some Other Device", 0), usb_chip::kDeviceNotFound);
  EXPECT_EQ(d.Open(name, 0), usb_chip::kOk);
  EXPECT_EQ(d.Open(name, 0), usb_chip::kInvalidHandle);  // already open
  d.Close();
  EXPECT_EQ(d.Open(name, 0), usb_chip::kOk);
}

TEST(DeviceCore, NothingFlowsBeforeTheTrackerStartsTheClock) {
  DeviceCore d(Parse("press 0 100\n"));
  ASSERT_EQ(d.Open(usb_chip::kDeviceDescription, 0), usb_chip::kOk);
  EXPECT_EQ(d.Advance(50), 0);
  EXPECT_EQ(d.NextEvent(), std::numeric_limits<double>::infinity());
  d.Write("c", 1, 50);
  EXPECT_EQ(d.Advance(60), 0);
  d.Write("C", 1, 60);
  EXPECT_DOUBLE_EQ(d.ScenarioTime(61), 1);
  EXPECT_EQ(d.Advance(61), 60);
}

TEST(DeviceCore, WholeFieldsAt60PerSecondNeverBeforeTheirTime) {
  DeviceCore d(Parse("press 1 2\n"));
  const double origin = 10;
  OpenAndStart(d, origin);
  // Field n (image at n / 60 s) is complete one field period later.
  std::uint32_t expected = 60;
  for (int k = 0; k < 60; ++k) {
    const double due = origin + (61 + k) / 60.0;
    EXPECT_EQ(d.Advance(due - 1e-6), 0) << k;
    EXPECT_DOUBLE_EQ(d.NextEvent(), due);
    EXPECT_EQ(d.Advance(due + 1e-9), 1) << k;
    ASSERT_EQ(d.Queued(), kField);
    EXPECT_EQ(TakeFieldNumbers(d), std::vector<std::uint32_t>{expected++});
  }
  EXPECT_EQ(d.Advance(origin + 30), 0);
  EXPECT_EQ(d.FieldsQueued(), 60u);
}

TEST(DeviceCore, LateReadersGetEveryFieldInOrder) {
  DeviceCore d(Parse("press 1 3\npress 4 4.5\n"));
  OpenAndStart(d, 0);
  EXPECT_EQ(d.Advance(10), 150);
  const auto numbers = TakeFieldNumbers(d);
  ASSERT_EQ(numbers.size(), 150u);
  for (std::size_t i = 0; i < 120; ++i) EXPECT_EQ(numbers[i], 60 + i);
  for (std::size_t i = 0; i < 30; ++i) EXPECT_EQ(numbers[120 + i], 240 + i);
}

TEST(DeviceCore, PauseLeavesAGapAndPartialReadsKeepTheByteStream) {
  DeviceCore d(Parse("press 1 3\nfault 1.5 1.75 pause\n"));
  OpenAndStart(d, 0);
  d.Advance(10);
  std::uint8_t bytes[256];
  EXPECT_EQ(d.Take(bytes, 256), 256u);  // a drain-sized read
  std::vector<std::uint8_t> rest(d.Queued());
  d.Take(rest.data(), rest.size());
  EXPECT_EQ(rest.size(), (120 - 15) * kField - 256);
  EXPECT_EQ(ProcessingUnit::FieldNumber(rest.data() + (30 * kField - 256)), 105u);  // after the pause
}

TEST(DeviceCore, UnplugLosesTheSessionAndHidesTheDeviceUntilReplug) {
  DeviceCore d(Parse("press 1 9\nunplug 2.005 4\n"));
  OpenAndStart(d, 0);
  d.Advance(2.001);
  EXPECT_GT(d.Queued(), 0u);
  EXPECT_DOUBLE_EQ(d.NextEvent(), 2.005);  // before the next field at 121 / 60 s
  d.Advance(2.01);
  EXPECT_TRUE(d.SessionLost());
  EXPECT_EQ(d.Queued(), 0u);
  EXPECT_EQ(d.Advance(3), 0);
  EXPECT_EQ(d.Open(usb_chip::kDeviceDescription, 3), usb_chip::kDeviceNotFound);
  d.Close();
  EXPECT_EQ(d.Open(usb_chip::kDeviceDescription, 3.9), usb_chip::kDeviceNotFound);
  EXPECT_EQ(d.Open(usb_chip::kDeviceDescription, 4.0), usb_chip::kOk);
  EXPECT_FALSE(d.SessionLost());
  d.Advance(5);
  const auto numbers = TakeFieldNumbers(d);
  ASSERT_FALSE(numbers.empty());
  EXPECT_GE(numbers.front(), 240u);  // nothing kept from before the replug
}

TEST(DeviceCore, ClosedDeviceQueuesNothingAndAFullChipLosesFields) {
  DeviceCore d(Parse("press 1 20\n"));
  OpenAndStart(d, 0);
  d.Close();
  EXPECT_EQ(d.Advance(2), 0);
  ASSERT_EQ(d.Open(usb_chip::kDeviceDescription, 2), usb_chip::kOk);
  d.Advance(20);
  EXPECT_LE(d.Queued(), DeviceCore::kQueueLimit);
  EXPECT_EQ(d.FieldsQueued(), DeviceCore::kQueueLimit / kField);
  EXPECT_GT(d.FieldsDropped(), 0u);
}

TEST(DeviceCore, OriginAtOpenWhenTheScenarioSaysSo) {
  DeviceCore d(Parse("origin open\npress 0 1\n"));
  ASSERT_EQ(d.Open(usb_chip::kDeviceDescription, 5), usb_chip::kOk);
  // The tracker never started: the fields come with blank records.
  EXPECT_EQ(d.Advance(6), 60);
  std::vector<std::uint8_t> field(kField);
  d.Take(field.data(), kField);
  EXPECT_EQ(field[2 * kFieldVideoWords], 0);
}

// The clock holds at a wait until the run lets it go: the press after it
// comes that much later, whole and numbered as in the scenario; without
// gates the clock runs on.
TEST(DeviceCore, ClockHoldsAtAWaitUntilTheRunLetsItGo) {
  const std::string presses = "press 1 2\nwait 2.5 window\npress 3 3.5\n";
  std::vector<std::string> reached;
  bool go = false;
  DeviceCore d(Parse(presses));
  d.SetGates({[&](const std::string& name) { reached.push_back(name); }, [&](const std::string&) { return go; }});
  OpenAndStart(d, 0);
  EXPECT_EQ(d.Advance(20), 60);
  EXPECT_EQ(reached, std::vector<std::string>{"window"});
  EXPECT_DOUBLE_EQ(d.ScenarioTime(20), 2.5);
  TakeFieldNumbers(d);
  go = true;
  EXPECT_EQ(d.Advance(20.5), 0);
  EXPECT_EQ(d.Advance(21.0 + 1 / 60.0 + 1e-9), 30);
  const auto numbers = TakeFieldNumbers(d);
  ASSERT_EQ(numbers.size(), 30u);
  EXPECT_EQ(numbers.front(), 180u);
  EXPECT_EQ(reached.size(), 1u);

  DeviceCore free(Parse(presses));
  OpenAndStart(free, 0);
  EXPECT_EQ(free.Advance(20), 90);
}

}  // namespace
}  // namespace sim
