#include "app/ui/user_settings.h"
#include "app/files/tests/fake_registry.h"
#include "app/locale/locale_lookup.h"
#include "app/base/app_messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

class FakeHost final : public UserSettingsHost {
public:
    std::string current = "c:\\work\\scans";
    std::map<char, bool> fixed = {{'C', true}, {'E', false}};
    WindowPlacementState placement;
    std::vector<WindowPlacementState> applied;
    std::vector<std::string> changes;

    std::string CurrentFolder() override { return current; }
    bool SetCurrentFolder(const std::string& folder) override {
        changes.push_back(folder);
        current = folder;
        return true;
    }
    std::string UpperCase(const std::string& text) override {
        std::string up = text;
        for (char& c : up) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return up;
    }
    bool IsFixedDrive(const std::string& root) override { return root.size() == 3 && fixed[root[0]]; }
    bool GetPlacement(WindowPlacementState& p) override {
        p = placement;
        return true;
    }
    void SetPlacement(const WindowPlacementState& p) override {
        applied.push_back(p);
        placement = p;
    }
};

struct Fixture {
    GeneralSettings live{}, defaults{};
    ViewSettings view{}, viewDefaults{};
    std::string siblingFolder, siblingFile;
    FakeRegistry registry;
    FakeHost host;
    std::vector<AppMessage> messages;
    Fixture() {
        GeneralSettings_SetDefaults(defaults, 1, 2);
        ViewSettings_SetDefaults(viewDefaults);
        host.placement.normal[0] = 10, host.placement.normal[1] = 20;
        host.placement.normal[2] = 610, host.placement.normal[3] = 420;
        App_SetMessageSink([this](const AppMessage& m) { messages.push_back(m); });
    }
    ~Fixture() { App_SetMessageSink(nullptr); }
    UserSettingsRecords Records(bool tarrel = false) {
        UserSettingsRecords r;
        r.live = &live;
        r.defaults = &defaults;
        r.view = &view;
        r.viewDefaults = &viewDefaults;
        r.tarrel = tarrel;
        r.siblingFolder = &siblingFolder;
        r.siblingFile = &siblingFile;
        r.filterLength = [] { return int32_t(5); };
        return r;
    }
};

TEST(UserSettings, LoadWithAnEmptyRegistryGivesDefaultsFolderAndPresentSize) {
    Fixture f;
    f.live.Movement = 3;  // a live value that is not in the defaults is dropped
    int32_t show = kShowNormal;
    UserSettings_LoadWith(f.registry, f.host, f.Records(), &show);
    EXPECT_EQ(f.live.Movement, 0);
    EXPECT_STREQ(f.live.DefaultDirectory, "C:\\WORK\\SCANS");
    EXPECT_EQ(f.host.changes.back(), "C:\\WORK\\SCANS");
    ASSERT_EQ(f.host.applied.size(), 1u);
    const WindowPlacementState& p = f.host.applied[0];
    EXPECT_EQ(p.normal[2] - p.normal[0], 600);
    EXPECT_EQ(p.normal[3] - p.normal[1], 400);
    EXPECT_EQ(p.showCommand, kShowHide);
    EXPECT_EQ(show, kShowNormal);
    EXPECT_EQ(f.siblingFolder, "");
    EXPECT_EQ(f.siblingFile, "Pellis.exe");
}

TEST(UserSettings, PlacementAndShowCommandTable) {
    struct { const char* name; bool withOut; int32_t maximized; int32_t placementShow; int32_t outShow; } cases[] = {
        {"start-up, maximised: hidden, then shown maximised once", true, 1, kShowHide, kShowMaximized},
        {"start-up, normal: hidden, the caller's command stays", true, 0, kShowHide, 10},
        {"on command, maximised stays maximised", false, 1, kShowMaximized, 10},
        {"on command, normal shows normally", false, 0, kShowNormal, 10},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.registry.SetDword(RegistryRoot::CurrentUser, kSettingsGeneralKey, "WindowMaximized", c.maximized);
        const int32_t rect[4] = {500, 500, 1300, 1100};  // stored size 800 x 600 at another place
        f.registry.Set(RegistryRoot::CurrentUser, kSettingsGeneralKey, "WindowRect", kRegBinary, rect, 16);
        int32_t show = 10;
        UserSettings_LoadWith(f.registry, f.host, f.Records(), c.withOut ? &show : nullptr);
        const WindowPlacementState& p = f.host.applied.back();
        EXPECT_EQ(p.showCommand, c.placementShow);
        EXPECT_EQ(show, c.outShow);
        // The size from the settings at the window's present position.
        EXPECT_EQ(p.normal[0], 10);
        EXPECT_EQ(p.normal[1], 20);
        EXPECT_EQ(p.normal[2], 810);
        EXPECT_EQ(p.normal[3], 620);
    }
}

TEST(UserSettings, SiblingProgramByEdition) {
    for (bool tarrel : {false, true}) {
        Fixture f;
        const char* path = "C:\\Sib";
        f.registry.Set(RegistryRoot::LocalMachine,
                       tarrel ? "Software\\TAVIR Scanning\\Pellisvan" : "Software\\Brenwick\\Pellis", "Path", kRegSz,
                       path, 7);
        UserSettings_LoadWith(f.registry, f.host, f.Records(tarrel), nullptr);
        EXPECT_EQ(f.siblingFolder, "C:\\Sib");
        EXPECT_EQ(f.siblingFile, tarrel ? "Pellisvan.exe" : "Pellis.exe");
    }
}

TEST(UserSettings, SaveKeepsTheDefaultDirectoryOfARemovableDrive) {
    struct { const char* current; const char* expected; } cases[] = {
        {"c:\\data", "C:\\DATA"},
        {"e:\\stick", "D:\\OLD"},          // removable
        {"\\\\server\\share", "D:\\OLD"},  // no drive letter
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.current);
        Fixture f;
        f.live = f.defaults;
        std::strcpy(f.live.DefaultDirectory, "D:\\OLD");
        f.view = f.viewDefaults;
        f.host.current = c.current;
        f.host.placement.showCommand = kShowMaximized;
        UserSettings_SaveWith(f.registry, f.host, f.Records());
        EXPECT_STREQ(f.live.DefaultDirectory, c.expected);
        EXPECT_EQ(f.live.WindowMaximized, 1);
        EXPECT_EQ(f.live.WindowRect[2], 610);
        const FakeRegistry::Value* stored =
            f.registry.Find(RegistryRoot::CurrentUser, kSettingsGeneralKey, "DefaultDirectory");
        ASSERT_NE(stored, nullptr);
        EXPECT_STREQ(reinterpret_cast<const char*>(stored->data.data()), c.expected);
        const FakeRegistry::Value* filter =
            f.registry.Find(RegistryRoot::CurrentUser, kSettingsGeneralKey, "HardwareFilterLength");
        ASSERT_NE(filter, nullptr);
        EXPECT_EQ(filter->data[0], 5);
        EXPECT_TRUE(f.messages.empty());
    }
}

TEST(UserSettings, AFailedSaveReportsOnce) {
    struct { const char* name; bool createFails; const char* failingValue; } cases[] = {
        {"no key can be created", true, nullptr},
        {"one general value fails", false, "Movement"},
        {"one view value fails", false, "ZoomFactor"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.live = f.defaults;
        f.view = f.viewDefaults;
        f.registry.createFails = c.createFails;
        if (c.failingValue) f.registry.failingWrites.insert(c.failingValue);
        UserSettings_SaveWith(f.registry, f.host, f.Records());
        ASSERT_EQ(f.messages.size(), 1u);
        EXPECT_EQ(f.messages[0].kind, MessageKind::Error);
        EXPECT_EQ(f.messages[0].textKey, "ErrorUserSettingsSaveError");
        EXPECT_EQ(f.messages[0].text, Locale_GetString("ErrorUserSettingsSaveError"));
    }
}

}  // namespace
