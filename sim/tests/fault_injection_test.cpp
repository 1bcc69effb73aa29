// Each fault the scenario can inject trips the check of the acquisition code
// that it must: the simulated unit's fields go through the program's own
// field checks, read as the USB loop reads them (a field at a time, a short
// read after the 65 ms read time-out ending the capture).
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/tests/acquisition_test_support.h"
#include "app/acquisition/error_dump.h"
#include "sim/field_generator.h"
#include "app/acquisition/field_ring.h"
#include "app/acquisition/hardware_events.h"
#include "app/acquisition/hardware_statistics.h"
#include "app/acquisition/hardware_trace.h"
#include "app/acquisition/process_field.h"
#include "app/acquisition/usb_chip_api.h"
#include "sim/device_core.h"

namespace sim {
namespace {

using Event = std::pair<std::int32_t, std::intptr_t>;

std::vector<Event>& Events() {
  static std::vector<Event> events;
  return events;
}
void RecordEvent(std::int32_t code, std::intptr_t parameter) { Events().emplace_back(code, parameter); }
void IgnoreTrace(const char*) {}

struct Capture {
  int fieldsRead = 0;
  int published = 0;
  bool readFailed = false;        // ended by a failed read, not a short one
  std::uint32_t firstField = 0;   // field number of its first field
  std::vector<Event> events;
  HardwareStatistics stats{};

  int Count(std::int32_t code, std::intptr_t parameter) const {
    int n = 0;
    for (const Event& e : events) n += e.first == code && e.second == parameter;
    return n;
  }
};

struct Outcome {
  std::vector<Capture> captures;
  double lostAt = -1;  // when a read failed
};

constexpr double kReadTimeout = 0.065;
constexpr double kStep = 0.001;
constexpr std::size_t kField = static_cast<std::size_t>(kFieldBytes);

// Reads one field as the USB loop does: 1 a whole field, 0 a short read
// (nothing came within the time-out), -1 a failed read.
int ReadField(DeviceCore& d, double& now, std::vector<std::uint8_t>& field) {
  const double deadline = now + kReadTimeout;
  for (;; now += kStep) {
    d.Advance(now);
    if (d.SessionLost()) return -1;
    if (d.Queued() >= kField) {
      d.Take(field.data(), kField);
      return 1;
    }
    if (now >= deadline) return 0;
  }
}

Outcome RunCaptures(Scenario scenario, double until) {
  const int unitVersion = scenario.unitVersion;
  DeviceCore d(std::move(scenario));
  Outcome run;
  EXPECT_EQ(d.Open(usb_chip::kDeviceDescription, 0), usb_chip::kOk);
  d.Write("C", 1, 0);
  FieldCheckContext context;
  FieldCheckContext_Init(context, unitVersion);
  std::vector<std::uint8_t> field(kField);
  for (double now = 0; now < until;) {
    // Wait for the trigger.
    d.Advance(now);
    if (d.SessionLost()) {
      run.lostAt = now;
      break;
    }
    if (d.Queued() < kField) {
      now += kStep;
      continue;
    }
    Capture c;
    Events().clear();
    ZeroHardwareStatistics();
    Ring_ResetCounts();
    FieldCheckContext_StartCapture(context);
    std::int32_t ok = 1;
    for (int got; (got = ReadField(d, now, field)) != 0;) {
      if (got < 0) {
        c.readFailed = true;
        run.lostAt = now;
        break;
      }
      if (c.fieldsRead == 0) c.firstField = ProcessingUnit::FieldNumber(field.data());
      LoadFieldIntoSlot(field, RingSlotAddress(Ring_WriteCount()));
      ok = ProcessField(ok, c.fieldsRead == 0, context);
      ++c.fieldsRead;
      if (ok) {
        ++c.published;
        Ring_ConsumeField();
      }
    }
    c.events = Events();
    GetHardwareStatistics(c.stats);
    run.captures.push_back(c);
    if (c.readFailed) break;
  }
  return run;
}

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ring_.emplace(RecordEvent, IgnoreTrace);
    ResetAcquisitionSettings();
    SetHemisphereSetting(4);
    SetExpectedSerialNumber(12);
  }
  void TearDown() override {
    ring_.reset();
    ResetAcquisitionSettings();
    CloseErrorDumps();
  }

  std::optional<acquisition_test::AttachedRing> ring_;
};

TEST_F(FaultInjectionTest, EachFaultTripsItsCheck) {
  // One press from 1 s to 2 s: fields 60 to 119.
  const std::string base =
      "hardware 2.2.1\nserial 12\nreference 0 0 150 0 0 0\n"
      "plane 0 0 700 0 0 -1\nwand 0 0 0 400 0 0 700\npress 1 2\n";
  const struct {
    const char* name;
    const char* fault;
    std::function<void(const Outcome&)> check;
  } cases[] = {
      {"no fault", "", [](const Outcome& r) {
         ASSERT_EQ(r.captures.size(), 1u);
         EXPECT_EQ(r.captures[0].published, 60);
         EXPECT_EQ(r.captures[0].Count(Hardware_NEW_FIELD_READY, 60), 1);
         EXPECT_STREQ(r.captures[0].stats.trackerErrorText, "1 2 ");
       }},
      {"framing error: the framing test", "fault 1.5 1.51 framing", [](const Outcome& r) {
         const Capture& c = r.captures.at(0);
         EXPECT_EQ(c.Count(Hardware_RECOVERABLE_ERROR, RecoverableError_FIELD), 1);
         EXPECT_EQ(c.stats.fieldErrors, 1);
         EXPECT_EQ(c.published, 30) << "the rest of the capture is dropped";
         EXPECT_EQ(c.fieldsRead, 60);
       }},
      {"wrong serial on the first field: the mismatch event", "fault 0.9 1.2 serial 77",
       [](const Outcome& r) {
         const Capture& c = r.captures.at(0);
         EXPECT_EQ(c.Count(Hardware_SERIAL_NUMBER_MISMATCH, 77), 1);
         EXPECT_EQ(c.Count(Hardware_RECOVERABLE_ERROR, RecoverableError_FIELD), 0);
         EXPECT_EQ(c.published, 0);
       }},
      {"wrong serial later: a recoverable error", "fault 1.5 1.6 serial 77", [](const Outcome& r) {
         const Capture& c = r.captures.at(0);
         EXPECT_EQ(c.Count(Hardware_SERIAL_NUMBER_MISMATCH, 77), 0);
         EXPECT_EQ(c.Count(Hardware_RECOVERABLE_ERROR, RecoverableError_FIELD), 1);
         EXPECT_EQ(c.published, 30);
       }},
      {"serial 0 on the first field: a recoverable error", "fault 0.9 1.2 serial 0",
       [](const Outcome& r) {
         const Capture& c = r.captures.at(0);
         EXPECT_EQ(c.Count(Hardware_SERIAL_NUMBER_MISMATCH, 0), 0);
         EXPECT_EQ(c.Count(Hardware_RECOVERABLE_ERROR, RecoverableError_FIELD), 1);
       }},
      {"bad record type: the locator framing check", "fault 1.5 1.51 record-type",
       [](const Outcome& r) {
         const Capture& c = r.captures.at(0);
         EXPECT_EQ(c.Count(Hardware_RECOVERABLE_ERROR, RecoverableError_LOCATOR_FRAMING), 1);
         EXPECT_EQ(c.stats.locatorFramingErrors, 1);
       }},
      {"bad station: the locator framing check", "fault 1.5 1.51 station", [](const Outcome& r) {
         const Capture& c = r.captures.at(0);
         EXPECT_EQ(c.Count(Hardware_RECOVERABLE_ERROR, RecoverableError_LOCATOR_FRAMING), 1);
         EXPECT_EQ(c.stats.locatorFramingErrors, 1);
       }},
      {"tracker error character: the tracker error text", "fault 1.5 2 tracker-error E wand",
       [](const Outcome& r) {
         const Capture& c = r.captures.at(0);
         EXPECT_EQ(c.published, 60);
         EXPECT_STREQ(c.stats.trackerErrorText, "1 2E");  // reference first, then the wand
       }},
      {"paused stream: a short read ends the capture", "fault 1.4 1.6 pause", [](const Outcome& r) {
         ASSERT_EQ(r.captures.size(), 2u);
         EXPECT_EQ(r.captures[0].fieldsRead, 24);
         EXPECT_FALSE(r.captures[0].readFailed);
         EXPECT_EQ(r.captures[1].firstField, 96u);
         EXPECT_EQ(r.captures[1].fieldsRead, 24);
       }},
      {"unplug: the read fails", "unplug 1.5 2.5", [](const Outcome& r) {
         ASSERT_EQ(r.captures.size(), 1u);
         EXPECT_TRUE(r.captures[0].readFailed);
         EXPECT_NEAR(r.lostAt, 1.5, 0.01);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scenario s;
    ScenarioError e;
    ASSERT_TRUE(ParseScenario(base + c.fault + "\n", &s, &e)) << e.message;
    c.check(RunCaptures(std::move(s), 3.0));
  }
}

TEST_F(FaultInjectionTest, UnpluggedDeviceIsNotFoundUntilReplugged) {
  Scenario s;
  ScenarioError e;
  ASSERT_TRUE(ParseScenario("hardware 2.2.1\nplane 0 0 700 0 0 -1\nunplug 1 2\n", &s, &e));
  DeviceCore d(std::move(s));
  ASSERT_EQ(d.Open(usb_chip::kDeviceDescription, 0), usb_chip::kOk);
  d.Write("C", 1, 0);
  d.Advance(1.0);
  EXPECT_TRUE(d.SessionLost());
  d.Close();
  for (double t : {1.0, 1.5, 1.999}) EXPECT_EQ(d.Open(usb_chip::kDeviceDescription, t), usb_chip::kDeviceNotFound) << t;
  EXPECT_EQ(d.Open(usb_chip::kDeviceDescription, 2.0), usb_chip::kOk);
}

}  // namespace
}  // namespace sim
