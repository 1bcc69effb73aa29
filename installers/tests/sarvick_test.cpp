#include "installers/sarvick.h"

#include <gtest/gtest.h>

#include "installers/tests/fake_system.h"

namespace {

const char kInf[] = "C:\\setup\\ombrix.inf";
const std::string kIds = MultiString({"*ombrixwdmDevice"});
const char kDone[] = "Driver installation was successful.\n";

FakeSystem Windows2000() {
    FakeSystem s;
    s.modulePath = "C:\\setup\\Sarvick.exe";
    s.state.files = {kInf};
    return s;
}

std::vector<std::string> Texts(const FakeSystem& s) {
    std::vector<std::string> texts;
    for (const FakeBox& b : s.boxes) texts.push_back(b.text);
    return texts;
}

TEST(SarvickTest, RunsOnWindows2000Only) {
    const struct {
        DWORD platform, major, minor;
    } rows[] = {{VER_PLATFORM_WIN32_NT, 5, 1}, {VER_PLATFORM_WIN32_NT, 4, 0}, {VER_PLATFORM_WIN32_WINDOWS, 4, 90}};
    for (const auto& row : rows) {
        FakeSystem s = Windows2000();
        s.platform = row.platform;
        s.major = row.major;
        s.minor = row.minor;
        EXPECT_EQ(kExitFailed, Sarvick_Run(s, ""));
        EXPECT_EQ(std::vector<std::string>{"This program must be run under Windows 2000"}, Texts(s));
        EXPECT_TRUE(s.state.devices.empty());
    }
}

TEST(SarvickTest, CreatesOneRootDeviceAndUpdatesItOnASecondRun) {
    FakeSystem s = Windows2000();
    s.windows = {reinterpret_cast<HWND>(static_cast<ULONG_PTR>(77))};
    EXPECT_EQ(kExitInstalled, Sarvick_Run(s, "77"));
    EXPECT_EQ(std::vector<std::string>{kDone}, Texts(s));
    EXPECT_EQ(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(77)), s.boxes[0].owner);
    ASSERT_EQ(1u, s.state.devices.size());
    EXPECT_EQ(kIds, s.state.devices[0].hardwareIds);
    EXPECT_EQ(std::vector<std::string>{std::string("*ombrixwdmDevice|") + kInf}, s.updates);

    EXPECT_EQ(kExitInstalled, Sarvick_Run(s, "77"));
    EXPECT_EQ(1u, s.state.devices.size());
    EXPECT_EQ(2u, s.updates.size());

    s.updateAsksRestart = true;
    EXPECT_EQ(kExitRestart, Sarvick_Run(s, "77"));
    EXPECT_EQ("Driver installation was successful.\nYou must reboot your computer to finish the installation.\n",
              s.boxes.back().text);
}

TEST(SarvickTest, MissingInfOrFailedSearchStopsBeforeAnyChange) {
    FakeSystem s = Windows2000();
    s.state.files.clear();
    EXPECT_EQ(kExitFailed, Sarvick_Run(s, ""));
    EXPECT_EQ(std::vector<std::string>{"Installation file ombrix.inf not found\n"}, Texts(s));

    FakeSystem f = Windows2000();
    f.Fail("SetupDiGetClassDevs", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(kExitFailed, Sarvick_Run(f, ""));
    EXPECT_EQ((std::vector<std::string>{"GetClassDevs(All Present Devices) FAILURE: Access is denied.\n",
                                        "FindExistingDevice FAILURE: Access is denied.\n"}),
              Texts(f));
    EXPECT_TRUE(f.state.devices.empty());
}

// Every failing step of the installation: its box(es), exit 2, and no node
// left behind unless its removal failed too.
TEST(SarvickTest, FailedInstallationLeavesNoNode) {
    const std::string denied = " FAILURE: Access is denied.\n";
    const struct {
        const char* what;
        const char* call;
        bool updateFails;
        DWORD updateError;
        std::vector<std::string> boxes;
        size_t nodesLeft;
    } rows[] = {
        {"class", "SetupDiGetINFClass", false, 0, {"GetINFClass" + denied}, 0},
        {"list", "SetupDiCreateDeviceInfoList", false, 0, {"CreateDeviceInfoList" + denied}, 0},
        {"device", "SetupDiCreateDeviceInfo", false, 0, {"CreateDeviceInfo" + denied}, 0},
        {"ids", "SetupDiSetDeviceRegistryProperty", false, 0, {"SetDeviceRegistryProperty" + denied}, 0},
        {"register", "DIF_REGISTERDEVICE", false, 0, {"CallClassInstaller(REGISTERDEVICE)" + denied}, 0},
        {"update, no error code", "", true, 0, {"Driver installation failed.\n"}, 0},
        {"update, no more items",
         "",
         true,
         ERROR_NO_MORE_ITEMS,
         {"UpdateDriverForPlugAndPlayDevices FAILURE: (0x00000103)\n"},
         0},
        {"update not needed",
         "",
         true,
         0xE000022B,
         {"Windows has determined your driver does not need updating.\n"},
         0},
        {"update denied", "", true, ERROR_ACCESS_DENIED, {"This program must be run by an administrator.\n"}, 0},
        {"update and removal",
         "DIF_REMOVE",
         true,
         0xE000022F,
         {"Driver installation failed.\n", "CallClassInstaller(REMOVE)" + denied},
         1},
    };
    for (const auto& row : rows) {
        FakeSystem s = Windows2000();
        const FakeState before = s.state;
        if (*row.call) s.Fail(row.call, 1, ERROR_ACCESS_DENIED);
        s.updateFails = row.updateFails;
        s.updateError = row.updateError;
        EXPECT_EQ(kExitFailed, Sarvick_Run(s, "")) << row.what;
        EXPECT_EQ(row.boxes, Texts(s)) << row.what;
        EXPECT_EQ(row.nodesLeft, s.state.devices.size()) << row.what;
        if (row.nodesLeft == 0) {
            EXPECT_TRUE(before == s.state) << row.what;
        }
    }
}

// With the node already there only its driver is updated; a failed update
// keeps the node and says why.
TEST(SarvickTest, FailedUpdateOfTheExistingNodeKeepsIt) {
    for (const UpdateFailure& row : kUpdateFailures) {
        FakeSystem s = Windows2000();
        s.state.devices = {{kIds, "Ombrix", true, "ROOT\\SYSTEM\\0000"}};
        const FakeState before = s.state;
        s.updateFails = true;
        s.updateError = row.code;
        EXPECT_EQ(kExitFailed, Sarvick_Run(s, "")) << row.box;
        EXPECT_EQ(std::vector<std::string>{row.box}, Texts(s));
        EXPECT_EQ(1u, s.updates.size());
        EXPECT_TRUE(before == s.state) << row.box;
    }
}

// The parallel ports' connect switch: the port driver reads it only when it
// starts, so a run that had to set it asks for the restart.
TEST(SarvickTest, SetsEachPortsConnectSwitchAndAsksForARestartWhenItHadTo) {
    const std::string parport = "Parport";
    const char kRestart[] =
        "Driver installation was successful.\nYou must reboot your computer to finish the installation.\n";
    using Values = std::map<std::string, DWORD>;
    const Values on = {{"EnableConnectInterruptIoctl", 1}}, off = {{"EnableConnectInterruptIoctl", 0}}, none;
    const struct {
        const char* what;
        std::vector<Values> ports;
        int exit;
    } rows[] = {
        {"no parallel port", {}, kExitInstalled},
        {"switch missing", {none}, kExitRestart},
        {"switch 0", {off}, kExitRestart},
        {"switch already on", {on}, kExitInstalled},
        {"one of two", {on, none}, kExitRestart},
    };
    for (const auto& row : rows) {
        FakeSystem s = Windows2000();
        for (const Values& values : row.ports)
            s.state.devices.push_back({MultiString({"ACPI\\PNP0401"}), parport, true, "ACPI\\PNP0401\\0", values});
        // Another device's key is left alone.
        s.state.devices.push_back({MultiString({"PCI\\VEN_1"}), "pci", true, "PCI\\1", none});
        EXPECT_EQ(row.exit, Sarvick_Run(s, "")) << row.what;
        EXPECT_EQ(std::vector<std::string>{row.exit == kExitRestart ? kRestart : kDone}, Texts(s)) << row.what;
        for (size_t i = 0; i < row.ports.size(); ++i) EXPECT_EQ(on, s.state.devices[i].parameters) << row.what;
        EXPECT_EQ(none, s.state.devices[row.ports.size()].parameters) << row.what;
        EXPECT_EQ(0, s.openKeys) << row.what;
    }
}

TEST(SarvickTest, AConnectSwitchThatCannotBeSetFailsTheRun) {
    const struct {
        const char* call;
        const char* box;
    } rows[] = {
        {"SetupDiOpenDevRegKey", "OpenDevRegKey FAILURE: Access is denied.\n"},
        {"RegSetValueEx", "RegSetValueEx FAILURE: Access is denied.\n"},
    };
    for (const auto& row : rows) {
        FakeSystem s = Windows2000();
        s.state.devices.push_back({MultiString({"ACPI\\PNP0401"}), "Parport", true, "ACPI\\PNP0401\\0", {}});
        s.Fail(row.call, 1, ERROR_ACCESS_DENIED);
        EXPECT_EQ(kExitFailed, Sarvick_Run(s, "")) << row.call;
        EXPECT_EQ(std::vector<std::string>{row.box}, Texts(s)) << row.call;
        EXPECT_EQ(0, s.openKeys) << row.call;
    }
}

TEST(SarvickTest, AStaleErrorAfterGoodStepsDoesNotFailTheInstallation) {
    // The fake's device creation succeeds leaving ERROR_FILE_NOT_FOUND set.
    FakeSystem s = Windows2000();
    BOOL reboot = FALSE;
    Installer installer(s, "", false);
    EXPECT_TRUE(InstallRootDevice(installer, "*ombrixwdmDevice", kInf, &reboot));
    EXPECT_TRUE(s.boxes.empty());
    EXPECT_EQ(1u, s.state.devices.size());
}

}  // namespace
