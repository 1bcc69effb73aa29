// The diagnostics beside the status texts: the statistics text, the ring
// dump, the driver information and the parallel port's registry settings.
#include "app/acquisition/hardware_diagnostics.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "acquisition_test_support.h"
#include "app/acquisition/acquisition_state.h"
#include "app/acquisition/calibration_state.h"
#include "app/acquisition/hardware_info.h"
#include "app/acquisition/parallel_port_settings.h"
#include "app/files/tests/fake_registry.h"
#include "driver/ecp_interface.h"

using namespace acquisition_test;

namespace {

class Diagnostics : public AcquisitionFixture {
  protected:
    static void SetUpTestSuite() { LoadShippedLocale(); }
    void SetUp() override {
        AcquisitionFixture::SetUp();
        ResetAcquisitionState();
    }
};

TEST_F(Diagnostics, StatisticsTextLeadsEveryLineWithThePrefix) {
    Stats_Set(Stat_MaxFieldsWaiting, 12);
    Stats_Set(Stat_WidthAboveMax, 3);
    Stats_Set(Stat_WidthBelowMin, 4);
    Stats_Set(Stat_RiseAboveFall, 5);
    Stats_Set(Stat_RiseZero, 6);
    Stats_Set(Stat_FallZero, 1234);
    Stats_SetTrackerErrorText("1 2E");
    std::string text = "Before\n";
    DumpRingBufferStats("> ", text);
    EXPECT_EQ(text,
              "Before\n"
              "> Ring buffer:\n"
              ">  Max Felds:\t\t  12\n"
              "> Line detections:\n"
              ">  Width > Max:\t   3\n"
              ">  Width < Min:\t   4\n"
              ">  Rise > Fall:\t   5\n"
              ">  Rise = 0:\t\t   6\n"
              ">  Fall = 0:\t\t1234\n"
              "> Last Quadrel errors: 1 2E\n");
    std::string full(1020, 'x');
    DumpRingBufferStats("> ", full);
    EXPECT_EQ(full.size(), kRingStatsTextSize - 1);
}

TEST_F(Diagnostics, RingDumpWritesTheLastFieldsOldestFirst) {
    struct Case {
        int first;      // fields published
        int requested;  // slots asked for
        int second;     // slots written
    };
    for (const Case& c : {Case{3, 50, 3}, Case{60, 50, 50}, Case{60, 70, 50}, Case{60, 10, 10}, Case{60, -5, 0}}) {
        SCOPED_TRACE(c.requested);
        Ring_ResetCounts();
        for (int n = 0; n < c.first; ++n) {
            RingSlotAddress(n)[0] = static_cast<std::uint16_t>(n);
            Ring_PublishField();
        }
        std::FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(DumpRingBuffer(file, c.requested));
        std::rewind(file);
        std::int32_t head[4];
        ASSERT_EQ(std::fread(head, 4, 4, file), 4u);
        EXPECT_EQ(head[0], 4);
        EXPECT_EQ(head[1], 282);
        EXPECT_EQ(head[2], c.second);
        EXPECT_EQ(head[3], 128);
        std::vector<std::uint16_t> slot(kFieldSlotWords);
        for (int i = 0; i < c.second; ++i) {
            ASSERT_EQ(std::fread(slot.data(), 2, slot.size(), file), slot.size());
            EXPECT_EQ(slot[0], c.first - c.second + i);
        }
        EXPECT_EQ(std::fgetc(file), EOF);
        std::fclose(file);
    }
}

TEST_F(Diagnostics, DriverInformationByTransport) {
    CalibrationData data;
    data.header.WandSerialNumber = 77;
    data.model = MakeHardwareModel(*FindHardwareVersion(2, 4, 1, 1));
    InstallCalibration(std::move(data));
    SetProcessingUnitVersion(2);
    SetHardwareDeviceText("21214");
    SetHardwareDriverVersion(21214);
    SetCalibrationFileTime(1700000000);

    HardwareInfo info;
    SetHardwareTransport(Transport_PARALLEL);
    GetHardwareDriverInfo(info);
    EXPECT_STREQ(info.driverText, "Name: Ombrix\nVersion: ") << "no thread: no version";
    SetAcquisitionRunning(true);
    GetHardwareDriverInfo(info);
    EXPECT_STREQ(info.driverText, "Name: Ombrix\nVersion: 21214");
    EXPECT_STREQ(info.versionText, "2.4.1");
    EXPECT_EQ(info.driverVersion, 21214);
    EXPECT_EQ(info.serialNumber, 77);
    EXPECT_EQ(info.unitVersion, 2);
    EXPECT_EQ(info.channelCount, 1);
    EXPECT_EQ(info.lineCount, 282);
    EXPECT_EQ(info.hardwareConstant, 2082);
    EXPECT_EQ(info.fixedWandProperty, 1);
    EXPECT_EQ(info.calibrationFileTime, 1700000000);

    SetHardwareTransport(Transport_USB);
    SetHardwareDeviceText("Tolvaran USB (FTD2XX)");
    GetHardwareDriverInfo(info);
    EXPECT_STREQ(info.driverText, "Name: Tolvaran USB (FT8U245AM)\nDevice: Tolvaran USB (FTD2XX)");
}

TEST_F(Diagnostics, ParallelPortSettingsInTheDriversKey) {
    FakeRegistry registry;
    std::int32_t port = 0, dma = 0;
    EXPECT_FALSE(ReadParallelPortSettings(port, dma, registry, WindowsVersion::Nt4)) << "no key yet";
    ASSERT_TRUE(WriteParallelPortSettings(2, 3, registry));
    const FakeRegistry::Value* written =
        registry.Find(RegistryRoot::LocalMachine, ECP_UNIT_REGISTRY_PATH, ECP_REGISTRY_DMA_CHANNEL);
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(written->type, kRegDword);
    ASSERT_TRUE(ReadParallelPortSettings(port, dma, registry, WindowsVersion::Nt4));
    EXPECT_EQ(port, 2);
    EXPECT_EQ(dma, 3);
    // Windows 2000's port driver picks the channel: it is not read.
    ASSERT_TRUE(ReadParallelPortSettings(port, dma, registry, WindowsVersion::Win2000));
    EXPECT_EQ(dma, -1);
    // A value of another type is not taken.
    registry.Set(RegistryRoot::LocalMachine, ECP_UNIT_REGISTRY_PATH, ECP_REGISTRY_LPT_PORT, kRegSz, "2", 2);
    EXPECT_FALSE(ReadParallelPortSettings(port, dma, registry, WindowsVersion::Nt4));
    registry.failingWrites.insert(ECP_REGISTRY_DMA_CHANNEL);
    EXPECT_FALSE(WriteParallelPortSettings(1, 1, registry));
}

TEST(UnitPair, EachFractionIsClampedToZeroToOne) {
    float pair[2] = {-0.5f, 1.5f};
    ClampUnitPair(pair);
    EXPECT_EQ(pair[0], 0.0f);
    EXPECT_EQ(pair[1], 1.0f);
    float inside[2] = {0.25f, std::nanf("")};
    ClampUnitPair(inside);
    EXPECT_EQ(inside[0], 0.25f);
    EXPECT_EQ(inside[1], 0.0f);
    // The clamped pair is the one in force.
    float current[2] = {-1.0f, -1.0f};
    GetUnitPair(current);
    EXPECT_EQ(current[0], 0.25f);
    EXPECT_EQ(current[1], 0.0f);
}

}  // namespace
