// The stand-in library loaded by name, as the acquisition code loads it, and
// driven through the calls the acquisition code makes.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/field_format.h"
#include "sim/field_generator.h"
#include "app/acquisition/tracker_commands.h"
#include "sim/chip_library.h"
#include "sim/processing_unit.h"
#include "sim/scenario.h"

namespace sim {
namespace {

using namespace usb_chip;

const std::string kScenario = std::string(TEST_DATA_DIR) + "short_presses.scenario";

class StandInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetScenarioPath(kScenario);
    std::string error;
    ASSERT_TRUE(LoadChipLibrary(&ft_, &error)) << error;
    ResetAcquisitionSettings();
  }
  void TearDown() override {
    if (handle_) ft_.Close(handle_);
    UnloadChipLibrary();
    ResetAcquisitionSettings();
  }

  // Opens and sets up the device as the acquisition loop does.
  void OpenLikeTheProgram() {
    char name[] = "Tolvaran USB";
    ASSERT_EQ(ft_.OpenEx(name, kOpenByDescription, &handle_), kOk);
    ASSERT_EQ(ft_.ResetDevice(handle_), kOk);
    ASSERT_EQ(ft_.Purge(handle_, kPurgeRx | kPurgeTx), kOk);
    ASSERT_EQ(ft_.SetEventNotification(handle_, kEventRxChar, event_.Handle()), kOk);
    ASSERT_EQ(ft_.SetTimeouts(handle_, 65, 250), kOk);
  }

  // The initialisation list with a fixed hemisphere, in 8-byte chunks.
  void SendTrackerCommands() {
    TrackerCommandInputs inputs;
    inputs.hemisphereSetting = 4;
    TrackerCommandOutcome outcome;
    const TrackerCommandList list = BuildTrackerCommands(inputs, &outcome);
    for (const std::string& command : list.Commands()) {
      for (std::size_t i = 0; i < command.size(); i += 8) {
        std::string chunk = command.substr(i, 8);
        Count written = 0;
        ASSERT_EQ(ft_.Write(handle_, chunk.data(), static_cast<Count>(chunk.size()), &written), kOk);
        ASSERT_EQ(written, chunk.size());
      }
    }
  }

  // Reads whole fields until a short read ends the capture.
  std::vector<std::vector<std::uint8_t>> ReadCapture() {
    std::vector<std::vector<std::uint8_t>> fields;
    for (;;) {
      std::vector<std::uint8_t> field(kFieldBytes);
      Count got = 0;
      EXPECT_EQ(ft_.Read(handle_, field.data(), kFieldBytes, &got), kOk);
      if (got < static_cast<Count>(kFieldBytes)) {
        EXPECT_EQ(got, 0u) << "whole fields only";
        return fields;
      }
      fields.push_back(field);
    }
  }

  FunctionTable ft_{};
  Handle handle_ = nullptr;
  ArrivalEvent event_;
};

TEST_F(StandInTest, CapturesArriveAsWholeFieldsThatDecodeIntoTheScenarioPoses) {
  Scenario scenario;
  ScenarioError error;
  ASSERT_TRUE(LoadScenarioFile(kScenario, &scenario, &error));
  OpenLikeTheProgram();
  // Nothing to drain before the trigger is pressed.
  std::uint8_t drain[256];
  Count got = 1;
  ASSERT_EQ(ft_.Read(handle_, drain, sizeof drain, &got), kOk);
  EXPECT_EQ(got, 0u);
  SendTrackerCommands();

  // Press 0.2 s to 0.5 s: fields 12 to 29; press 0.8 s to 1.0 s: 48 to 59.
  const std::vector<std::pair<std::uint32_t, std::size_t>> presses = {{12, 18}, {48, 12}};
  for (const auto& [first, count] : presses) {
    ASSERT_TRUE(event_.Wait(5000)) << "arrival signalled";
    const auto fields = ReadCapture();
    event_.Reset();
    ASSERT_EQ(fields.size(), count);
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const std::uint32_t n = ProcessingUnit::FieldNumber(fields[i].data());
      EXPECT_EQ(n, first + i) << "none dropped";
      std::vector<std::uint16_t> slot(kFieldSlotWords);
      LoadFieldIntoSlot(fields[i], slot.data());
      ASSERT_TRUE(FieldFramingOk(slot.data()));
      EXPECT_EQ(DecodeFieldIdentity(slot.data()).serial, 12u);
      ASSERT_TRUE(CheckLocatorFraming(slot.data()));
      ASSERT_TRUE(DecodeLocatorBlock(slot.data()));
      DecodedLocatorBlock block;
      ReadDecodedLocatorBlock(slot.data(), block);
      for (int k = 0; k < 2; ++k) {
        const Matrix4& m = block.record[k].pose;
        const int port = k == block.wandRecord ? 0 : 1;
        const Pose truth = scenario.PortPose(port, ProcessingUnit::FieldTime(n) + kRecordPhase[k] * kFieldPeriod);
        EXPECT_LT(Length(Vec3{m[12], m[13], m[14]} - truth.t), 1e-3);
      }
    }
  }
  Count rx = 1;
  EXPECT_EQ(ft_.GetStatus(handle_, &rx, nullptr, nullptr), kOk);
  EXPECT_EQ(rx, 0u);
}

TEST_F(StandInTest, UnplugFailsReadAndStatusThenOpenIsNotFoundUntilReplug) {
  OpenLikeTheProgram();
  SendTrackerCommands();
  // The cable is pulled 1.5 s after the tracker started.
  Status status = kOk;
  for (int i = 0; i < 200 && status == kOk; ++i) {
    std::uint8_t buffer[kFieldBytes];
    Count got = 0;
    status = ft_.Read(handle_, buffer, kFieldBytes, &got);
  }
  EXPECT_EQ(status, kIoError);
  Count rx = 0;
  EXPECT_EQ(ft_.GetStatus(handle_, &rx, nullptr, nullptr), kIoError);
  EXPECT_EQ(ft_.Close(handle_), kOk);
  handle_ = nullptr;
  char name[] = "Tolvaran USB";
  EXPECT_EQ(ft_.OpenEx(name, kOpenByDescription, &handle_), kDeviceNotFound);
  // Back in half a second.
  for (int i = 0; i < 100 && status != kOk; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    status = ft_.OpenEx(name, kOpenByDescription, &handle_);
    EXPECT_TRUE(status == kOk || status == kDeviceNotFound) << status;
  }
  EXPECT_EQ(status, kOk);
}

TEST_F(StandInTest, EveryNameAnswersAndHandlesAreChecked) {
  char name[] = "Tolvaran USB";
  Handle other = nullptr;
  EXPECT_EQ(ft_.OpenEx(name, kOpenBySerialNumber, &other), kDeviceNotFound);
  char wrong[] = "Another Device";
  EXPECT_EQ(ft_.OpenEx(wrong, kOpenByDescription, &other), kDeviceNotFound);
  EXPECT_EQ(ft_.Open(1, &other), kDeviceNotFound);
  ASSERT_EQ(ft_.Open(0, &handle_), kOk);
  EXPECT_EQ(ft_.OpenEx(name, kOpenByDescription, &other), kInvalidHandle) << "in use";

  Handle bad = reinterpret_cast<Handle>(static_cast<std::uintptr_t>(0x1234));
  Count c = 0;
  std::uint16_t w = 0;
  unsigned char b = 0;
  char text[64] = {};
  std::uint8_t buffer[16];
  for (Handle h : {handle_, bad}) {
    const Status want = h == handle_ ? kOk : kInvalidHandle;
    EXPECT_EQ(ft_.SetTimeouts(h, 10, 10), want);
    EXPECT_EQ(ft_.Purge(h, kPurgeRx), want);
    EXPECT_EQ(ft_.ResetDevice(h), want);
    EXPECT_EQ(ft_.GetStatus(h, &c, &c, &c), want);
    EXPECT_EQ(ft_.Write(h, buffer, 1, &c), want);
    EXPECT_EQ(ft_.Read(h, buffer, 1, &c), want);
    EXPECT_EQ(ft_.ReadEE(h, 0, &w), want);
    EXPECT_EQ(ft_.WriteEE(h, 0, 0), want);
    EXPECT_EQ(ft_.EraseEE(h), want);
    EXPECT_EQ(ft_.EE_Program(h, buffer), want);
    EXPECT_EQ(ft_.EE_Read(h, buffer), want);
    EXPECT_EQ(ft_.EE_UASize(h, &c), want);
    EXPECT_EQ(ft_.EE_UAWrite(h, buffer, 1), want);
    EXPECT_EQ(ft_.EE_UARead(h, buffer, 1, &c), want);
    EXPECT_EQ(ft_.SetLatencyTimer(h, 2), want);
    EXPECT_EQ(ft_.GetLatencyTimer(h, &b), want);
    EXPECT_EQ(ft_.SetBitMode(h, 0, 0), want);
    EXPECT_EQ(ft_.GetBitMode(h, &b), want);
    EXPECT_EQ(ft_.SetUSBParameters(h, 64, 64), want);
    EXPECT_EQ(ft_.GetDeviceInfo(h, &c, &c, text, text, nullptr), want);
  }
  EXPECT_EQ(ft_.ListDevices(nullptr, nullptr, 0), kOk);
  EXPECT_EQ(ft_.Close(bad), kInvalidHandle);
  EXPECT_EQ(ft_.Close(handle_), kOk);
  EXPECT_EQ(ft_.Close(handle_), kInvalidHandle);
  handle_ = nullptr;
}

TEST_F(StandInTest, UnreadableScenarioFailsTheOpen) {
  UnloadChipLibrary();
  SetScenarioPath(std::string(TEST_DATA_DIR) + "broken.scenario");
  std::string error;
  ASSERT_TRUE(LoadChipLibrary(&ft_, &error)) << error;
  char name[] = "Tolvaran USB";
  EXPECT_EQ(ft_.OpenEx(name, kOpenByDescription, &handle_), kOtherError);
  handle_ = nullptr;
  SetScenarioPath(kScenario);
}

}  // namespace
}  // namespace sim
