#include "app/files/settings_registry.h"
#include "app/files/tests/fake_registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

constexpr RegistryRoot kMachine = RegistryRoot::LocalMachine;
constexpr RegistryRoot kUser = RegistryRoot::CurrentUser;
const std::string kGeneral = kSettingsGeneralKey;
const std::string kView = kSettingsViewKey;

GeneralSettings Defaults() {
    GeneralSettings s;
    GeneralSettings_SetDefaults(s, 0xA4A4A4, 0x008000);
    return s;
}

int32_t g_storedFilterLength = -1;
void StoreFilterLength(int32_t length) { g_storedFilterLength = length; }

size_t IndexOf(const std::vector<SettingsValue>& list, const std::string& name) {
    for (size_t i = 0; i < list.size(); ++i)
        if (name == list[i].name) return i;
    return list.size();
}

TEST(SettingsRegistry, ValueListsInWriteOrder) {
    const auto& general = Settings_GeneralValues();
    ASSERT_EQ(general.size(), 202u);
    ASSERT_EQ(Settings_ViewValues().size(), 6u);
    std::set<std::string> names;
    for (const SettingsValue& v : general) {
        EXPECT_TRUE(names.insert(v.name).second) << v.name;
        if (v.offset >= 0) {
            EXPECT_LE(v.offset + v.size, sizeof(GeneralSettings)) << v.name;
        }
    }
    struct {
        size_t index;
        const char* name;
    } order[] = {
        {0, "DefaultDirectory"},
        {2, "ExportFileType"},
        {3, "ThreeDStudio.ExportCoordinateSystem"},
        {9, "ThreeDStudio.EndOfLine"},
        {IndexOf(general, "Matlab.ExportNormals") + 1, "Matlab.ExportAlbedos"},
        {IndexOf(general, "Wavefront.ExportNormals") + 3, "Wavefront.ExportUsingTextureMap"},
        {105, "StylusExport.EndOfLine"},
        {106, "ExportDxfMeshAs3DFACEs"},
        {201, "HardwareFilterLength"},
    };
    for (auto& o : order) EXPECT_STREQ(general.at(o.index).name, o.name);
}

// Fills every stored field with its own bit pattern, NaN-like float bits included.
GeneralSettings Patterned() {
    GeneralSettings s = Defaults();
    uint32_t word = 0x7FC00001u;
    for (const SettingsValue& v : Settings_GeneralValues()) {
        if (v.offset < 0) continue;
        char* field = reinterpret_cast<char*>(&s) + v.offset;
        if (v.type == kRegSz) {
            std::string text = std::string(v.name) + "\\folder";
            std::memset(field, 0, v.size);
            std::memcpy(field, text.c_str(), text.size());
            continue;
        }
        for (uint32_t k = 0; k < v.size; k += 4, word += 0x01010101u) std::memcpy(field + k, &word, 4);
    }
    return s;
}

TEST(SettingsRegistry, SaveWritesEveryValueWithItsTypeAndSizeAndReadsBackBitForBit) {
    FakeRegistry reg;
    const GeneralSettings saved = Patterned();
    ViewSettings view;
    ViewSettings_SetDefaults(view);
    view.DisplayType = 1;
    view.ViewMatrix[13] = -2.5f;
    view.ViewOrigin = Vec3{1, 2, 3};
    view.ZoomFactor = 0.125f;
    view.Options = 0x670;
    view.ColourMode = 5;
    ASSERT_EQ(Settings_SaveGeneral(reg, saved, 7), 0);
    ASSERT_EQ(Settings_SaveView(reg, view), 0);
    EXPECT_EQ(reg.writes, 208);
    EXPECT_EQ(reg.openKeys, 0);

    for (const SettingsValue& v : Settings_GeneralValues()) {
        const FakeRegistry::Value* stored = reg.Find(kUser, kGeneral, v.name);
        ASSERT_NE(stored, nullptr) << v.name;
        EXPECT_EQ(stored->type, v.type) << v.name;
        if (v.type == kRegSz)
            EXPECT_EQ(stored->data.size(), std::string(v.name).size() + 8) << v.name;  // "\folder" and terminator
        else
            EXPECT_EQ(stored->data.size(), v.size) << v.name;
    }
    EXPECT_EQ(reg.Find(kUser, kView, "ViewMatrix")->data.size(), 64u);
    EXPECT_EQ(reg.Find(kUser, kView, "ViewOrigin")->data.size(), 12u);

    GeneralSettings loaded = Defaults();
    g_storedFilterLength = -1;
    EXPECT_EQ(Settings_LoadGeneral(reg, loaded, StoreFilterLength), 0);
    EXPECT_EQ(g_storedFilterLength, 7);
    for (const SettingsValue& v : Settings_GeneralValues()) {
        if (v.offset < 0) continue;
        EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(&loaded) + v.offset,
                              reinterpret_cast<const char*>(&saved) + v.offset, v.size),
                  0)
            << v.name;
    }
    ViewSettings viewLoaded;
    ViewSettings_SetDefaults(viewLoaded);
    EXPECT_EQ(Settings_LoadView(reg, viewLoaded), 0);
    EXPECT_EQ(std::memcmp(&viewLoaded, &view, sizeof view), 0);
}

struct ReadCase {
    const char* name;
    std::function<void(FakeRegistry&)> store;
    std::function<void(const GeneralSettings&, const ViewSettings&)> check;
};

const std::string k1023(1023, 'D');

const ReadCase kReadCases[] = {
    {"user wins over machine",
     [](FakeRegistry& r) {
         r.SetDword(kMachine, kGeneral, "Movement", 2);
         r.SetDword(kUser, kGeneral, "Movement", 3);
         r.SetDword(kMachine, kGeneral, "ScannerEnabled", 0);
     },
     [](const GeneralSettings& g, const ViewSettings&) {
         EXPECT_EQ(g.Movement, 3);
         EXPECT_EQ(g.ScannerEnabled, 0);  // machine value, the user has none
     }},
    {"wrong size and wrong type are ignored",
     [](FakeRegistry& r) {
         float m[12] = {9};
         r.Set(kUser, kView, "ViewMatrix", kRegBinary, m, 48);
         r.SetDword(kUser, kView, "ViewOrigin", 5);
         r.Set(kUser, kGeneral, "RangeClip", kRegBinary, m, 4);
         r.Set(kMachine, kGeneral, "AngleClip", kRegDword, m, 8);
     },
     [](const GeneralSettings& g, const ViewSettings& v) {
         EXPECT_EQ(v.ViewMatrix[0], 1.0f);
         EXPECT_EQ(v.ViewOrigin.x, 0.0f);
         EXPECT_EQ(g.RangeClip, 750.0f);
         EXPECT_EQ(g.AngleClip, 30.0f);
     }},
    {"display type 3 reads as 2", [](FakeRegistry& r) { r.SetDword(kUser, kView, "DisplayType", 3); },
     [](const GeneralSettings&, const ViewSettings& v) { EXPECT_EQ(v.DisplayType, 2); }},
    {"a float is taken bit for bit",
     [](FakeRegistry& r) { r.SetDword(kUser, kGeneral, "GlassRefractiveIndex", 0x3FC28F5Cu); },
     [](const GeneralSettings& g, const ViewSettings&) { EXPECT_EQ(g.GlassRefractiveIndex, 1.52f); }},
    {"a 1023-character directory is read whole",
     [](FakeRegistry& r) { r.Set(kUser, kGeneral, "DefaultDirectory", kRegSz, k1023.c_str(), 1024); },
     [](const GeneralSettings& g, const ViewSettings&) { EXPECT_EQ(std::string(g.DefaultDirectory), k1023); }},
    {"a text too long for its field is ignored",
     [](FakeRegistry& r) {
         const std::string longer(1024, 'E');
         r.Set(kUser, kGeneral, "DefaultDirectory", kRegSz, longer.c_str(), 1025);
         r.Set(kUser, kGeneral, "HardwareConfigFilename", kRegSz, longer.c_str(), 1024);  // no terminator
     },
     [](const GeneralSettings& g, const ViewSettings&) {
         EXPECT_STREQ(g.DefaultDirectory, "");
         EXPECT_STREQ(g.HardwareConfigFilename, "");
     }},
    {"a text stored without its terminator is taken",
     [](FakeRegistry& r) { r.Set(kUser, kGeneral, "HardwareConfigFilename", kRegSz, "wand.cfg", 8); },
     [](const GeneralSettings& g, const ViewSettings&) { EXPECT_STREQ(g.HardwareConfigFilename, "wand.cfg"); }},
};

TEST(SettingsRegistry, ReadRulesTable) {
    for (const ReadCase& c : kReadCases) {
        SCOPED_TRACE(c.name);
        FakeRegistry reg;
        reg.KeyValues(kUser, kGeneral);
        reg.KeyValues(kUser, kView);
        c.store(reg);
        GeneralSettings g = Defaults();
        ViewSettings v;
        ViewSettings_SetDefaults(v);
        Settings_LoadGeneral(reg, g, nullptr);
        Settings_LoadView(reg, v);
        c.check(g, v);
        EXPECT_EQ(reg.openKeys, 0);
    }
}

TEST(SettingsRegistry, ATextTooLargeToHoldIsRefusedWithoutReadingIt) {
    std::vector<uint32_t> sizes = {UINT32_MAX};
    if (sizeof(size_t) == 4) sizes.push_back(UINT32_MAX - 16);  // beyond any buffer of a 32-bit process
    for (uint32_t size : sizes) {
        SCOPED_TRACE(size);
        FakeRegistry reg;
        reg.Set(kUser, kGeneral, "DefaultDirectory", kRegSz, "C:\\scans", 9);
        reg.reportedSizes["DefaultDirectory"] = size;
        RegistryAccess::Key key;
        ASSERT_TRUE(reg.Open(kUser, kGeneral.c_str(), key));
        char field[kSettingsTextSize] = "kept";
        EXPECT_EQ(Settings_QueryValue(reg, key, "DefaultDirectory", kRegSz, sizeof field, field),
                  kSettingsValueNoMemory);
        EXPECT_EQ(reg.reads, 0);
        EXPECT_STREQ(field, "kept");
        reg.Close(key);
    }
}

TEST(SettingsRegistry, ReadResultIsTheLastValueNotTaken) {
    FakeRegistry reg;
    RegistryAccess::Key key;
    ASSERT_TRUE(reg.Create(kUser, kView.c_str(), key));
    ViewSettings v;
    ViewSettings_SetDefaults(v);
    EXPECT_EQ(Settings_ReadView(reg, key, v), kSettingsValueMissing);
    ASSERT_EQ(Settings_SaveView(reg, v), 0);
    EXPECT_EQ(Settings_ReadView(reg, key, v), kSettingsValueTaken);
    reg.Set(kUser, kView, "DisplayType", kRegBinary, "abcd", 4);
    EXPECT_EQ(Settings_ReadView(reg, key, v), kSettingsValueWrongType);  // first value
    reg.Set(kUser, kView, "ColourMode", kRegDword, "ab", 2);
    EXPECT_EQ(Settings_ReadView(reg, key, v), kSettingsValueWrongSize);  // the last one wins
    reg.Close(key);
    // Neither branch has the keys: the user's key does not open.
    FakeRegistry empty;
    EXPECT_EQ(Settings_LoadView(empty, v), 1);
}

TEST(SettingsRegistry, SaveFailures) {
    GeneralSettings g = Defaults();
    ViewSettings v;
    ViewSettings_SetDefaults(v);
    FakeRegistry noKey;
    noKey.createFails = true;
    EXPECT_EQ(Settings_SaveGeneral(noKey, g, 3), 1);
    EXPECT_EQ(Settings_SaveView(noKey, v), 1);
    EXPECT_EQ(noKey.writes, 0);

    FakeRegistry someFail;
    someFail.failingWrites = {"DefaultDirectory", "ColourMode"};
    EXPECT_EQ(Settings_SaveGeneral(someFail, g, 3), 5);
    EXPECT_EQ(Settings_SaveView(someFail, v), 2);
    // The other values are written all the same.
    EXPECT_EQ(someFail.writes, 201 + 5);
}

TEST(SettingsRegistry, InstallPath) {
    const char* key = "Software\\Brenwick\\Pellis";
    char buffer[kSettingsTextSize];
    std::strcpy(buffer, "stale");
    FakeRegistry none;
    EXPECT_EQ(Settings_LoadInstallPath(none, key, buffer), 1);
    EXPECT_STREQ(buffer, "");

    FakeRegistry reg;
    reg.Set(kMachine, key, "Path", kRegSz, "C:\\Pellis", 10);
    EXPECT_EQ(Settings_LoadInstallPath(reg, key, buffer), 1);  // user key missing, machine value kept
    EXPECT_STREQ(buffer, "C:\\Pellis");
    reg.Set(kUser, key, "Path", kRegSz, "D:\\P", 5);
    EXPECT_EQ(Settings_LoadInstallPath(reg, key, buffer), 0);
    EXPECT_STREQ(buffer, "D:\\P");
    EXPECT_STREQ(Settings_GetRootPath(), "HKEY_CURRENT_USER\\Software\\Tolvaran");
}

}  // namespace
