#include "installers/quenlow.h"

#include <gtest/gtest.h>

#include <functional>

#include "installers/tests/fake_system.h"

namespace {

const char kInf[] = "C:\\setup\\ftdibus.inf";
const char kLog[] = "C:\\setup\\install_log.txt";
const std::string kScannerIds = MultiString({"USB\\VID_0403&PID_FBC8&REV_0600", "USB\\VID_0403&PID_FBC8"});

// A system with the package beside the program and nothing installed.
struct Quenlow : testing::Test {
    FakeSystem system;
    Quenlow() {
        system.modulePath = "C:\\setup\\Quenlow.exe";
        system.state.files = {kInf};
        system.major = 5;
        system.minor = 1;
    }
    int Run() { return Quenlow_Run(system, ""); }
    std::vector<std::string> Boxes() const {
        std::vector<std::string> texts;
        for (const FakeBox& b : system.boxes) texts.push_back(b.text);
        return texts;
    }
};

TEST_F(Quenlow, RefusesSystemsBeforeWindows2000WithoutTouchingTheLog) {
    const struct {
        DWORD platform, major, minor;
    } rows[] = {{VER_PLATFORM_WIN32_NT, 4, 0}, {VER_PLATFORM_WIN32_WINDOWS, 4, 90}};
    for (const auto& row : rows) {
        FakeSystem fresh;
        fresh.platform = row.platform;
        fresh.major = row.major;
        fresh.minor = row.minor;
        EXPECT_EQ(kExitFailed, Quenlow_Run(fresh, ""));
        ASSERT_EQ(1u, fresh.boxes.size());
        EXPECT_EQ("This program must be run under Windows 2000 or XP", fresh.boxes[0].text);
        EXPECT_TRUE(fresh.logOpens.empty());
    }
}

TEST_F(Quenlow, WithoutAScannerCopiesThePackageAndSaysNothing) {
    EXPECT_EQ(kExitInstalled, Run());
    EXPECT_TRUE(system.boxes.empty());
    EXPECT_EQ(std::vector<std::string>{kLog}, system.logOpens);
    EXPECT_EQ("Driver installation was successful.\n", system.log);
    EXPECT_FALSE(system.logOpen);
    ASSERT_EQ(1u, system.state.store.size());
    EXPECT_EQ("ftdibus.inf", system.state.store.begin()->second.original);
    EXPECT_TRUE(system.updates.empty());
    // A second run reuses the copy.
    EXPECT_EQ(kExitInstalled, Run());
    EXPECT_EQ(1u, system.state.store.size());
}

TEST_F(Quenlow, APluggedInScannerIsUpdatedAndMayAskForARestart) {
    system.state.devices = {{kScannerIds, "FTDIBUS", true, "USB\\1"}};
    EXPECT_EQ(kExitInstalled, Run());
    EXPECT_EQ(std::vector<std::string>{std::string("USB\\VID_0403&PID_FBC8|") + kInf}, system.updates);
    system.updateAsksRestart = true;
    EXPECT_EQ(kExitRestart, Run());
    EXPECT_EQ(std::vector<std::string>{"Driver installation was successful.\nYou must reboot your computer to finish "
                                       "the installation.\n"},
              Boxes());
    EXPECT_EQ(system.boxes[0].text, system.log);
}

TEST_F(Quenlow, UpdateFailuresShowTheirMessages) {
    for (const UpdateFailure& row : kUpdateFailures) {
        FakeSystem& s = system;
        s.boxes.clear();
        s.state.devices = {{kScannerIds, "FTDIBUS", true, "USB\\1"}};
        s.updateFails = true;
        s.updateError = row.code;
        EXPECT_EQ(kExitFailed, Run()) << row.box;
        EXPECT_EQ(std::vector<std::string>{row.box}, Boxes());
        EXPECT_EQ(row.box, s.log);
    }
}

TEST_F(Quenlow, PhantomsOfTheOldDriverAloneAreRemoved) {
    FakeDevice phantom{kScannerIds, "FTD2XX", false, "USB\\PHANTOM"};
    FakeDevice otherService{kScannerIds, "usbser", false, "USB\\OTHER"};
    FakeDevice present{kScannerIds, "FTD2XX", true, "USB\\PRESENT"};
    FakeDevice otherId{MultiString({"USB\\VID_1234"}), "FTD2XX", false, "USB\\ELSE"};
    FakeDevice phantom2{kScannerIds, "ftd2xx", false, "USB\\PHANTOM2"};
    system.state.devices = {phantom, otherService, present, otherId, phantom2};
    system.updateFails = false;
    EXPECT_EQ(kExitInstalled, Run());
    EXPECT_EQ((std::vector<FakeDevice>{otherService, present, otherId}), system.state.devices);
    EXPECT_EQ(
        "CleanUp:  USB\\PHANTOM will be removed.\nCleanUp:  USB\\PHANTOM2 will be removed.\n"
        "Driver installation was successful.\n",
        system.log);

    // A node answered as having no value is a phantom too; any other
    // answer is not. A removal that fails is logged and passed.
    const struct {
        CONFIGRET answer;
        bool removed;
    } answers[] = {{CR_NO_SUCH_VALUE, true}, {CR_FAILURE, false}};
    for (const auto& a : answers) {
        FakeSystem s;
        s.state.files = {kInf};
        s.modulePath = "C:\\setup\\Quenlow.exe";
        s.state.devices = {phantom};
        s.phantomAnswer = a.answer;
        EXPECT_EQ(kExitInstalled, Quenlow_Run(s, ""));
        EXPECT_EQ(a.removed, s.state.devices.empty());
    }
    FakeSystem s;
    s.state.files = {kInf};
    s.modulePath = "C:\\setup\\Quenlow.exe";
    s.state.devices = {phantom};
    s.Fail("DIF_REMOVE", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(kExitInstalled, Quenlow_Run(s, ""));
    EXPECT_EQ(
        "CleanUp:  USB\\PHANTOM will be removed.\nCleanUp:  Error 0x5 removing phantom\n"
        "Driver installation was successful.\n",
        s.log);
}

TEST_F(Quenlow, OldCopiesOfTheBrandOwnersPackageGo) {
    const FakeInf old{"ftd2xx.inf", "Qelvorn"};
    const FakeInf foreign{"ftd2xx.inf", "Another Company"};
    const FakeInf unrelated{"mouse.inf", "Qelvorn"};
    // Windows XP: through the system.
    system.state.store = {{"oem3.inf", old}, {"oem4.inf", foreign}, {"oem5.inf", unrelated}, {"OEM6.INF", old}};
    EXPECT_EQ(kExitInstalled, Run());
    EXPECT_EQ((std::vector<std::string>{"OEM6.INF", "oem3.inf"}), system.uninstalled);
    EXPECT_EQ(0u, system.state.store.count("oem3.inf"));
    EXPECT_EQ(1u, system.state.store.count("oem4.inf"));
    EXPECT_EQ(1u, system.state.store.count("oem5.inf"));
    EXPECT_EQ(
        "Old INF file located as OEM6.INF\nINF File OEM6.INF removed\nOld INF file located as oem3.inf\n"
        "INF File oem3.inf removed\nDriver installation was successful.\n",
        system.log);
    // Windows 2000: both files deleted by hand.
    FakeSystem w2k;
    w2k.state.files = {kInf, FakeSystem::InfPath("oem3.inf")};
    w2k.modulePath = "C:\\setup\\Quenlow.exe";
    w2k.minor = 0;
    w2k.state.store = {{"oem3.inf", old}};
    EXPECT_EQ(kExitInstalled, Quenlow_Run(w2k, ""));
    EXPECT_TRUE(w2k.uninstalled.empty());
    EXPECT_EQ((std::vector<std::string>{"C:\\windows\\inf\\oem3.pnf", "C:\\windows\\inf\\oem3.inf"}), w2k.removed);
    EXPECT_EQ(0u, w2k.state.store.count("oem3.inf"));
}

TEST_F(Quenlow, AListWithoutClosingZerosIsWalkedWithinItsSize) {
    system.state.store = {{"oem3.inf", {"ftd2xx.inf", "Qelvorn"}}};
    system.listWithoutClosingZeros = true;
    EXPECT_EQ(kExitInstalled, Run());
    EXPECT_TRUE(system.boxes.empty());
}

TEST_F(Quenlow, EveryFailingStepShowsItsMessageAndChangesNothingElse) {
    const std::string denied = " FAILURE: Access is denied.\n";
    const struct {
        const char* call;
        int nth;
        std::vector<std::string> boxes;
        bool packageCopied;
    } rows[] = {
        {"SetupDiGetClassDevs",
         1,
         {"GetClassDevs(All Present Devices)" + denied, "RemoveOldPhantomDevices" + denied},
         false},
        {"SetupDiEnumDeviceInfo", 1, {"EnumDeviceInfo" + denied, "RemoveOldPhantomDevices" + denied}, false},
        {"SetupDiGetDeviceRegistryProperty",
         1,
         {"GetDeviceRegistryProperty" + denied, "RemoveOldPhantomDevices" + denied},
         false},
        {"SetupCopyOEMInf", 1, {"SetupCopyOEMInf" + denied}, false},
        {"SetupDiGetClassDevs", 2, {"GetClassDevs(All Present Devices)" + denied, "FindExistingDevice" + denied}, true},
        {"SetupGetInfFileList", 2, {"SetupGetInfFileList" + denied}, true},
        {"SetupGetInfInformation", 1, {"SetupGetInfInformation" + denied}, true},
        {"SetupQueryInfFileInformation", 1, {"SetupQueryInfFileInformation" + denied}, true},
        {"SetupQueryInfOriginalFileInformation", 1, {"SetupQueryInfOriginalFileInformation" + denied}, true},
        {"SetupQueryInfVersionInformation", 1, {"SetupQueryInfVersionInformation" + denied}, true},
        {"SetupUninstallOEMInf", 1, {"SetupUninstallOEMInf" + denied}, true},
    };
    for (const auto& row : rows) {
        FakeSystem s;
        s.modulePath = "C:\\setup\\Quenlow.exe";
        s.state.files = {kInf};
        s.state.devices = {{MultiString({"USB\\VID_9999"}), "x", true, "USB\\9"}};
        s.state.store = {{"oem3.inf", {"ftd2xx.inf", "Qelvorn"}}};
        s.minor = 1;
        const FakeState before = s.state;
        s.Fail(row.call, row.nth, ERROR_ACCESS_DENIED);
        EXPECT_EQ(kExitFailed, Quenlow_Run(s, "")) << row.call;
        std::vector<std::string> texts;
        std::string logged;
        for (const FakeBox& b : s.boxes) texts.push_back(b.text), logged += b.text;
        EXPECT_EQ(row.boxes, texts) << row.call;
        // The log ends with the boxes' texts (after any progress lines).
        ASSERT_GE(s.log.size(), logged.size()) << row.call;
        EXPECT_EQ(logged, s.log.substr(s.log.size() - logged.size())) << row.call;
        FakeState expected = before;
        if (row.packageCopied) expected.store["oem0.inf"] = {"ftdibus.inf", s.packageProvider};
        EXPECT_TRUE(expected == s.state) << row.call;
    }
}

TEST_F(Quenlow, MissingPackageOrLogOrOwnPath) {
    system.state.files.clear();
    EXPECT_EQ(kExitFailed, Run());
    EXPECT_EQ(std::vector<std::string>{"Installation file ftdibus.inf not found\n"}, Boxes());
    EXPECT_EQ("Installation file ftdibus.inf not found\n", system.log);
    EXPECT_TRUE(system.state.store.empty());

    FakeSystem noLog;
    noLog.modulePath = "C:\\setup\\Quenlow.exe";
    noLog.state.files = {kInf};
    noLog.logOpenFails = true;
    EXPECT_EQ(kExitInstalled, Quenlow_Run(noLog, ""));
    EXPECT_EQ(1u, noLog.state.store.size());

    // Without its own path it looks beside the current folder and says so.
    FakeSystem noPath;
    noPath.state.files = {"ftdibus.inf"};
    noPath.Fail("GetModuleFileName", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(kExitInstalled, Quenlow_Run(noPath, ""));
    ASSERT_EQ(1u, noPath.boxes.size());
    EXPECT_EQ("GetModuleFilename FAILURE: Access is denied.\n", noPath.boxes[0].text);
    EXPECT_EQ(std::vector<std::string>{"install_log.txt"}, noPath.logOpens);
}

}  // namespace
