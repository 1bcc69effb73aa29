// Loading the driver and adding its device: the trace parameters in any
// state, and every allocation of add-device failing in turn.
#include "driver/tests/simulated_machine.h"

namespace ombrix_test {
namespace {

const char* const kParameters = "System\\CurrentControlSet\\Services\\Ombrix\\Parameters";

class DriverLoad : public ::testing::Test {
  protected:
    void TearDown() override {
        kernel.Unload();
        EXPECT_EQ(kernel.Problems(), std::vector<std::string>());
        EXPECT_EQ(kernel.Leftovers(), std::vector<std::string>());
    }
    kernelsim::Kernel kernel;
};

TEST_F(DriverLoad, TraceParametersInAnyStateLoad) {
    kernel.SetDword(kParameters, "TraceDevice", 1);
    kernel.SetDword(kParameters, "TraceOutputLevel", 2);
    kernel.SetString(kParameters, "TraceBreakLevel", "a string where a number belongs");
    kernel.SetString(kParameters, "BreakOnEntry", "1");
    EXPECT_EQ(kernel.Load(OmbrixDriverEntry), kSuccess);
    EXPECT_EQ(kernel.DebuggerBreaks(), 0) << "a string is no DWORD";
}

// A machine without a kernel debugger would stop at a breakpoint.
TEST(DriverLoadBreak, BreakOnEntryBreaksOnlyIntoAnEnabledDebugger) {
    for (const bool debugger : {true, false}) {
        SCOPED_TRACE(debugger);
        kernelsim::Kernel kernel;
        kernel.SetDebuggerEnabled(debugger);
        kernel.SetDword(kParameters, "BreakOnEntry", 1);
        EXPECT_EQ(kernel.Load(OmbrixDriverEntry), kSuccess);
        EXPECT_EQ(kernel.DebuggerBreaks(), debugger ? 1 : 0);
        kernel.Unload();
        EXPECT_EQ(kernel.Problems(), std::vector<std::string>());
        EXPECT_EQ(kernel.Leftovers(), std::vector<std::string>());
    }
}

TEST_F(DriverLoad, AddDeviceFailsWholeOnAnyFailingAllocation) {
    ASSERT_EQ(kernel.Load(OmbrixDriverEntry), kSuccess);
    size_t reported = 0;
    for (int n = 1; n < 32; ++n) {
        SCOPED_TRACE(n);
        kernel.ClearEvents();
        kernel.Faults().failAllocationAt = n;
        const uint32_t status = kernel.AddDevice();
        const bool allAllocated = kernel.Faults().failAllocationAt > 0;
        kernel.Faults().failAllocationAt = 0;
        if (status == kSuccess) {
            EXPECT_TRUE(allAllocated);
            EXPECT_TRUE(kernel.DeviceExists());
            EXPECT_EQ(kernel.Start(), kSuccess);
            uint32_t opened = 1;
            const int handle = kernel.Open(&opened);
            EXPECT_EQ(opened, kSuccess);
            kernel.Close(handle);
            EXPECT_EQ(kernel.Pnp(kRemove), kSuccess);
            break;
        }
        EXPECT_LT(n, 31) << "add-device never got through";
        EXPECT_EQ(status, kInsufficientResources);
        EXPECT_FALSE(kernel.DeviceExists());
        uint32_t opened = 0;
        EXPECT_EQ(kernel.Open(&opened), -1);
        // A device that was created but could not be finished is reported.
        reported += kernel.Events().size();
        for (const kernelsim::LoggedEvent& event : kernel.Events()) {
            EXPECT_EQ(event.code, 0xC0070001u);
            EXPECT_EQ(event.unique, 1u);
            EXPECT_EQ(event.strings, std::vector<std::wstring>{L"Insufficient resources to create ECP device"});
        }
    }
    EXPECT_GT(reported, 0u) << "no round failed after the device object was made";
}

}  // namespace
}  // namespace ombrix_test
