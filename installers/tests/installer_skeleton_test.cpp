#include "installers/installer_skeleton.h"

#include <gtest/gtest.h>

#include "installers/tests/fake_system.h"

namespace {

const HWND kOwner = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(4242));

TEST(InstallerSkeletonTest, OwnerComesFromTheCommandLineNumberOnly) {
    const struct {
        const char* line;
        ULONG_PTR owner;
    } rows[] = {{nullptr, 0}, {"", 0},    {"   ", 0},  {"4242", 4242}, {" 4242 ", 4242},
                {"42a", 0},   {"-42", 0}, {"0x10", 0}, {"4242 17", 0}, {"99999999999999999999999999", 0}};
    for (const auto& row : rows)
        EXPECT_EQ(reinterpret_cast<HWND>(row.owner), Installer_ParseOwner(row.line)) << (row.line ? row.line : "null");
}

TEST(InstallerSkeletonTest, BoxesAreOwnedWhileTheWindowLives) {
    FakeSystem system;
    {
        Installer none(system, "", false);
        none.ShowMessage("one");
    }
    system.windows = {kOwner};
    Installer owned(system, "4242", false);
    owned.ShowMessage("two");
    system.windows.clear();  // closed between two boxes
    owned.ShowMessage("three");
    system.windows = {kOwner};  // a window of that number again: still forgotten
    owned.ShowMessage("four");
    ASSERT_EQ(4u, system.boxes.size());
    const HWND owners[] = {nullptr, kOwner, nullptr, nullptr};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(owners[i], system.boxes[i].owner) << i;
        EXPECT_EQ("Message", system.boxes[i].caption);
    }
}

TEST(InstallerSkeletonTest, FailureShowsTheSystemTextOrTheCode) {
    FakeSystem system;
    system.errorTexts[0x57] = std::string(3000, 'x');
    Installer installer(system, "", true);
    installer.OpenLog("log");
    const struct {
        DWORD code;
        std::string text;
    } rows[] = {
        {ERROR_ACCESS_DENIED, "Step FAILURE: Access is denied.\n"},
        {0xE000022F, "Step FAILURE: (0xe000022f)\n"},
        {7, "Step FAILURE: (0x00000007)\n"},
        {0x57, "Step FAILURE: " + std::string(kTextSize - 1 - 14, 'x')},  // a long text is cut
    };
    for (const auto& row : rows) {
        system.SetLast(row.code);
        EXPECT_EQ(0, installer.ReportFailure("Step"));
        EXPECT_EQ(row.code, system.LastError());
        EXPECT_EQ(row.text, system.boxes.back().text);
    }
    EXPECT_EQ(0, system.liveTexts);
    EXPECT_EQ("Step FAILURE: Access is denied.\n", system.log.substr(0, 32));
}

struct DeviceCase {
    const char* what;
    std::vector<FakeDevice> devices;
    bool found;
    DWORD lastError;
};

TEST(InstallerSkeletonTest, FindExistingDeviceWalksHardwareIds) {
    const char id[] = "*ombrixwdmDevice";
    FakeDevice other{MultiString({"PCI\\VEN_1", "PCI\\CC_0700"}), "", true, "A"};
    FakeDevice noIds{"", "", true, "B"};
    FakeDevice ours{MultiString({"ROOT\\X", "*OMBRIXWDMDEVICE"}), "", true, "C"};
    FakeDevice oursAbsent = ours;
    oursAbsent.present = false;
    FakeDevice unterminated{std::string("PCI\\X\0*ombrixwdmDevice", 22), "", true, "D"};
    const DeviceCase rows[] = {
        {"no devices", {}, false, ERROR_NO_MORE_ITEMS},
        {"others and one without ids", {other, noIds}, false, ERROR_NO_MORE_ITEMS},
        {"another case", {other, noIds, ours}, true, 0},
        {"not present", {oursAbsent}, false, ERROR_NO_MORE_ITEMS},
        {"list without its zeros", {unterminated}, true, 0},
    };
    for (const DeviceCase& row : rows) {
        FakeSystem system;
        system.state.devices = row.devices;
        Installer installer(system, "", false);
        EXPECT_EQ(row.found, installer.FindExistingDevice(id)) << row.what;
        EXPECT_EQ(row.lastError, system.LastError()) << row.what;
        EXPECT_TRUE(system.boxes.empty()) << row.what;
    }
}

TEST(InstallerSkeletonTest, FindExistingDeviceReportsItsFailures) {
    const struct {
        const char* call;
        const char* box;
    } rows[] = {
        {"SetupDiGetClassDevs", "GetClassDevs(All Present Devices) FAILURE: Access is denied.\n"},
        {"SetupDiEnumDeviceInfo", "EnumDeviceInfo FAILURE: Access is denied.\n"},
        {"SetupDiGetDeviceRegistryProperty", "GetDeviceRegistryProperty FAILURE: Access is denied.\n"},
    };
    for (const auto& row : rows) {
        FakeSystem system;
        system.state.devices = {{MultiString({"X"}), "", true, "A"}};
        system.Fail(row.call, 1, ERROR_ACCESS_DENIED);
        Installer installer(system, "", false);
        EXPECT_FALSE(installer.FindExistingDevice("*ombrixwdmDevice")) << row.call;
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), system.LastError()) << row.call;
        ASSERT_EQ(1u, system.boxes.size()) << row.call;
        EXPECT_EQ(row.box, system.boxes[0].text);
    }
}

}  // namespace
