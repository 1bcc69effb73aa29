#include "app/acquisition/calibration_file.h"

#include <cctype>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "acquisition_test_support.h"
#include "app/acquisition/calibration_state.h"
#include "app/acquisition/calibration_update.h"
#include "sim/calibration_writer.h"
#include "app/files/safe_file_write.h"

using namespace acquisition_test;
namespace fs = std::filesystem;

namespace {

constexpr std::int16_t kUnset = -32768;

// Byte offsets in a calibration file.
constexpr std::size_t kCalHeaderAt = 1032;
constexpr std::size_t kTableAt = kCalHeaderAt + 48;

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::int32_t ReadFromBytes(const std::vector<std::uint8_t>& bytes, CalibrationData& out) {
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    return ReadCalibration(in, out);
}

LutTweak Tweak(float line0, float count0, float line1, float count1, const char* date) {
    LutTweak t;
    std::memset(&t, 0, sizeof t);
    t.lineTweak[0] = line0;
    t.countTweak[0] = count0;
    t.lineTweak[1] = line1;
    t.countTweak[1] = count1;
    t.oldRms[0] = 2.0f;
    t.newDeviation = 0.125f;
    std::strncpy(t.date, date, sizeof t.date - 1);
    return t;
}

class CalibrationFiles : public AcquisitionFixture {
protected:
    void SetUp() override {
        AcquisitionFixture::SetUp();
        static int counter = 0;
        folder_ = fs::temp_directory_path() /
                  ("tolvaran_cal_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
                   "_" + std::to_string(++counter));
        fs::create_directories(folder_);
    }
    void TearDown() override {
        files::SetSafeWriteDiskFullAfterForTesting(-1);
        std::error_code ignored;
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(folder_, ignored);
        AcquisitionFixture::TearDown();
    }
    std::string Write(const std::string& name, const CalibrationFileParameters& p) {
        const std::string path = (folder_ / name).string();
        EXPECT_TRUE(WriteCalibrationFile(path, p));
        return path;
    }

    fs::path folder_;
};

CalibrationFileParameters Version(std::int32_t fileVersion, std::int32_t minor = 2, std::int32_t revision = 1) {
    CalibrationFileParameters p;
    p.fileVersion = fileVersion;
    p.header.versionMinor = minor;
    p.header.versionRevision = revision;
    if (fileVersion >= 3) p.history = {Tweak(1, 2, 3, 4, "newest"), Tweak(5, 6, 7, 8, "older")};
    if (fileVersion >= 5) p.trackerSetup = ExampleTrackerSetupBlock();
    return p;
}

TEST_F(CalibrationFiles, IndependentVersion3Fixture) {
    CalibrationData data;
    ASSERT_EQ(LoadCalibrationFile(std::string(TEST_DATA_DIR) + "wand_v3.cfg", data), 1);
    EXPECT_EQ(data.fileVersion, 3);
    EXPECT_EQ(data.header.WandSerialNumber, 512u);
    EXPECT_EQ(data.model.versionText, "2.3.1");
    EXPECT_EQ(data.model.channelCount, 2);
    EXPECT_EQ(data.header.LutScale, 0.5f);
    ASSERT_EQ(data.table.size(), 2u * 3 * 4 * 3);
    EXPECT_EQ(data.table[0], kUnset);  // (10, 100) lies outside the reach: pruned
    EXPECT_EQ(data.table[1], 100);
    // Channel 1, row 2, column 3.
    const std::size_t e = ((1 * 3 + 2) * 4 + 3) * 3;
    EXPECT_EQ(data.table[e], 223);
    EXPECT_EQ(data.table[e + 1], -23);
    EXPECT_EQ(data.table[e + 2], 1203);
    EXPECT_EQ(data.table[5 * 3], kUnset);
    EXPECT_FALSE(data.blank);
    EXPECT_EQ(data.history[0].lineTweak[0], 1.5f);
    EXPECT_EQ(data.history[0].countTweak[1], 0.25f);
    EXPECT_EQ(data.history[0].newDeviation, 0.5f);
    EXPECT_STREQ(data.history[0].date, "Sat Mar  2 09:30:00 2024");
    EXPECT_STREQ(data.history[1].date, "Fri Mar  1 11:00:00 2024");
    EXPECT_EQ(data.history[2].date[0], 0);
    EXPECT_NE(data.headerText.find("Created: Fri Mar  1 10:00:00 2024\n"), std::string::npos);
}

TEST_F(CalibrationFiles, EachVersionLoads) {
    struct Case {
        const char* name;
        CalibrationFileParameters parameters;
        std::size_t channels;
        bool history;
        bool trackerSetup;
        bool pruned;
    } cases[] = {
        {"version 2, pruned", Version(2), 1, false, false, true},
        {"version 3, pruned", Version(3, 3, 1), 2, true, false, true},
        {"version 4 of 2.2.1 without the tracker block", Version(4), 1, true, false, false},
        {"version 5 of 2.2.1 with the tracker block", Version(5), 1, true, true, false},
        {"version 5 of 2.4.2 does not read the block", Version(5, 4, 2), 1, true, false, false},
        {"version 5 of 1.1.1", [] {
             CalibrationFileParameters p = Version(5);
             p.header.versionMajor = 1;
             p.header.versionMinor = 1;
             return p;
         }(), 2, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Write("wand.cfg", c.parameters);
        CalibrationData data;
        ASSERT_EQ(LoadCalibrationFile(path, data), 1);
        EXPECT_EQ(data.fileVersion, c.parameters.fileVersion);
        EXPECT_EQ(data.header.WandSerialNumber, 345u);
        EXPECT_EQ(data.model.channelCount, static_cast<std::int32_t>(c.channels));
        EXPECT_EQ(data.table.size(), c.channels * 8 * 10 * 3);
        EXPECT_EQ(data.history[0].lineTweak[0], c.history ? 1.0f : 0.0f);
        EXPECT_EQ(data.history[1].countTweak[1], c.history ? 8.0f : 0.0f);
        EXPECT_EQ(data.hasTrackerSetup, c.trackerSetup);
        if (c.trackerSetup) {
            EXPECT_EQ(data.trackerSetup[56], ExampleTrackerSetupBlock()[56]);
        }

        // Entry (0, 0, 0) = (400, -200) x 0.25 = (100, -50): 100 x 0.2 + 26.5 < 50.
        const std::vector<std::int16_t> written = GenerateCalibrationTable(c.parameters);
        EXPECT_EQ(data.table[0], c.pruned ? kUnset : written[0]);
        // Entry (0, 0, 5) = (100, 0): kept everywhere.
        EXPECT_EQ(data.table[15], written[15]);
        EXPECT_EQ(data.table[18], kUnset);  // entry 6 was written unset
    }
}

TEST_F(CalibrationFiles, ResultCodes) {
    const std::vector<std::uint8_t> good = BuildCalibrationFile(Version(5));
    const auto withHeader = [&](const std::function<void(CalibrationHeader&)>& change) {
        CalibrationHeader header = Version(5).header;
        change(header);
        std::vector<std::uint8_t> bytes = good;
        EncodeCalibrationHeader(header, &bytes[kCalHeaderAt]);
        return bytes;
    };
    const auto withFileVersion = [&](std::int32_t version) {
        std::vector<std::uint8_t> bytes = good;
        bytes[1028] = static_cast<std::uint8_t>(version);
        return bytes;
    };
    const auto truncated = [&](std::size_t size) { return std::vector<std::uint8_t>(good.begin(), good.begin() + size); };
    std::vector<std::uint8_t> otherType = good;
    otherType[1024] = 1;
    std::vector<std::uint8_t> notOurs = good;
    std::memset(notOurs.data(), 'x', 1024);

    const std::size_t tableBytes = 8 * 10 * 6;
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::int32_t result;
    } cases[] = {
        {"good", good, 1},
        {"not a program file", notOurs, 7},
        {"another file type", otherType, 7},
        {"version 1", withFileVersion(1), 7},
        {"version 6", withFileVersion(6), 7},
        {"header only", truncated(1032), 7},
        {"short calibration header", truncated(kCalHeaderAt + 47), 7},
        {"unknown hardware version", withHeader([](CalibrationHeader& h) { h.versionMajor = 3; }), 5},
        {"check word 2", withHeader([](CalibrationHeader& h) { h.versionCheck = 2; }), 5},
        {"row step 4", withHeader([](CalibrationHeader& h) { h.LutRowStep = 4; }), 2},
        {"column step 1", withHeader([](CalibrationHeader& h) { h.LutColumnStep = 1; }), 2},
        {"no rows", withHeader([](CalibrationHeader& h) { h.LutRows = 0; }), 7},
        {"negative columns", withHeader([](CalibrationHeader& h) { h.LutColumns = -10; }), 7},
        {"table larger than the file",
         withHeader([](CalibrationHeader& h) {
             h.LutRows = 0x7FFFFFFF;
             h.LutColumns = 0x7FFFFFFF;
         }),
         7},
        {"short table", truncated(kTableAt + tableBytes - 1), 7},
        {"short history", truncated(kTableAt + tableBytes + 7199), 7},
        {"short tracker block", truncated(good.size() - 1), 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CalibrationData data;
        EXPECT_EQ(ReadFromBytes(c.bytes, data), c.result);
    }
    CalibrationData data;
    EXPECT_EQ(LoadCalibrationFile((folder_ / "missing.cfg").string(), data), 6);
}

TEST_F(CalibrationFiles, BlankTableLoadsWithItsEvent) {
    CalibrationFileParameters p = Version(4);
    p.table.assign(8 * 10 * 3, 0);
    const std::string path = Write("blank.cfg", p);
    EXPECT_EQ(LoadCalibration(path), 1);
    EXPECT_TRUE(IsCalibrationLoaded());
    EXPECT_TRUE(CurrentCalibration().blank);
    EXPECT_EQ(RecordedEvents(), (std::vector<Event>{{Hardware_CAL_BLANK_ERROR, 0}}));

    RecordedEvents().clear();
    EXPECT_EQ(LoadCalibration(Write("wand.cfg", Version(4))), 1);
    EXPECT_TRUE(RecordedEvents().empty());
    EXPECT_EQ(GetExpectedSerialNumber(), 345u);
    EXPECT_EQ(GetHardwareVersionText(), "2.2.1");

    // A failed load leaves nothing loaded.
    EXPECT_EQ(LoadCalibration((folder_ / "missing.cfg").string()), 6);
    EXPECT_FALSE(IsCalibrationLoaded());
    EXPECT_EQ(GetHardwareVersionText(), "");
}

TEST_F(CalibrationFiles, MissingFileWithoutAnyCalibrationFile) {
    const std::string folder = folder_.string() + "/";
    std::string path;
    EXPECT_EQ(FindCalibrationFile(folder, "wand.cfg", path), "No File::");
    EXPECT_EQ(path, folder + "No File::");
    EXPECT_EQ(LoadCalibration(path), 6);

    Write("b_wand.CFG", Version(4));
    Write("a_wand.cfg", Version(4));
    Write("notes.txt", Version(4));
    EXPECT_EQ(FindCalibrationFile(folder, "wand.cfg", path), "a_wand.cfg");
    EXPECT_EQ(FindCalibrationFile(folder, "b_wand.CFG", path), "b_wand.CFG");
    EXPECT_EQ(path, folder + "b_wand.CFG");
    EXPECT_EQ(LoadCalibration(path), 1);
}

TEST_F(CalibrationFiles, HardwareModelFromTheVersionTable) {
    struct Row {
        int minor, revision, major;
        int channels, parity, trackerSetup, fixedWand;
        float offset;
    } rows[] = {{1, 1, 1, 2, 0, 0, 0, -140}, {1, 1, 2, 1, 0, 0, 0, -90}, {2, 1, 2, 1, 1, 1, 0, -90},
                {3, 1, 2, 2, 1, 1, 0, -90},  {4, 1, 2, 1, 1, 1, 1, -90}, {4, 2, 2, 1, 1, 0, 1, -90}};
    for (const Row& r : rows) {
        const HardwareVersionEntry* entry = FindHardwareVersion(r.major, r.minor, r.revision, 1);
        ASSERT_NE(entry, nullptr);
        const HardwareModel model = MakeHardwareModel(*entry);
        SCOPED_TRACE(model.versionText);
        EXPECT_EQ(model.channelCount, r.channels);
        EXPECT_EQ(model.parityProperty, r.parity);
        EXPECT_EQ(model.trackerSetupProperty, r.trackerSetup);
        EXPECT_EQ(model.fixedWandProperty, r.fixedWand);
        EXPECT_EQ(model.alternativeLayout, r.fixedWand == 1);
        EXPECT_EQ(model.lineCount, 282);
        EXPECT_EQ(model.hardwareConstant, 2082);
        // -90 about X, then +90 about Y, then the offset along z: the x axis
        // of the wand frame ends on -z, y on -x and z on +y.
        const float expected[16] = {0, 0, -1, 0, -1, 0, 0, 0, 0, 1, 0, 0, 0, 0, r.offset, 1};
        for (int i = 0; i < 16; ++i) EXPECT_NEAR(model.wandRxOffsetMatrix[i], expected[i], 1e-6f) << i;
    }
    EXPECT_EQ(FindHardwareVersion(2, 4, 3, 1), nullptr);
    EXPECT_EQ(FindHardwareVersion(2, 4, 1, 0), nullptr);
}

TEST_F(CalibrationFiles, HistoryPushPopNewest) {
    ASSERT_EQ(LoadCalibration(Write("wand.cfg", Version(3))), 1);
    LutTweak newest;
    LutTweaks_GetNewest(newest);
    EXPECT_STREQ(newest.date, "newest");
    LutTweaks_Push(Tweak(0, 0, 0, 0, "zero"));
    EXPECT_STREQ(LutTweaks_History()[0].date, "zero");
    EXPECT_STREQ(LutTweaks_History()[1].date, "newest");
    EXPECT_STREQ(LutTweaks_History()[2].date, "older");
    LutTweaks_Pop();
    LutTweaks_Pop();
    EXPECT_STREQ(LutTweaks_History()[0].date, "older");
    EXPECT_EQ(LutTweaks_History()[1].date[0], 0);
    for (int i = 0; i < 101; ++i) LutTweaks_Push(Tweak(static_cast<float>(i), 0, 0, 0, "n"));
    EXPECT_EQ(LutTweaks_History()[0].lineTweak[0], 100.0f);
    EXPECT_EQ(LutTweaks_History()[99].lineTweak[0], 1.0f);
    LutTweaks_Pop();
    const LutTweak& last = LutTweaks_History()[99];
    const LutTweak zero{};
    EXPECT_EQ(std::memcmp(&last, &zero, sizeof zero), 0);
}

TEST_F(CalibrationFiles, UpdateTurnsVersion2Into3WithTheHistory) {
    const CalibrationFileParameters v2 = Version(2);
    const std::string path = Write("wand.cfg", v2);
    const std::vector<std::uint8_t> before = ReadBytes(path);
    LutTweakHistory history{};
    history[0] = Tweak(1.5f, -2.0f, 0.5f, 0.3f, "Tue Apr  2 08:00:00 2024");
    history[1] = Tweak(9, 9, 9, 9, "older");

    ASSERT_EQ(UpdateCalibrationFile(path, history), 1);
    const std::vector<std::uint8_t> after = ReadBytes(path);
    ASSERT_EQ(after.size(), before.size() + kLutTweakHistoryBytes);
    // The calibration header and the table stay byte for byte.
    EXPECT_TRUE(std::equal(before.begin() + kCalHeaderAt, before.end(), after.begin() + kCalHeaderAt));

    CalibrationData data;
    ASSERT_EQ(LoadCalibrationFile(path, data), 1);
    EXPECT_EQ(data.fileVersion, 3);
    EXPECT_STREQ(data.history[0].date, "Tue Apr  2 08:00:00 2024");
    EXPECT_EQ(data.history[1].lineTweak[0], 9.0f);
    const std::string tail = "Created: Mon Jan  1 12:00:00 2024\nTweaked: Tue Apr  2 08:00:00 2024 (1.5,-2.0) (0.5,0.3)\n";
    EXPECT_EQ(data.headerText.substr(data.headerText.size() - tail.size()), tail);

    // A second update replaces the history in place and keeps only "Created:".
    history[0] = Tweak(0, 0, 0, 0, "third");
    ASSERT_EQ(UpdateCalibrationFile(path, history), 1);
    EXPECT_EQ(ReadBytes(path).size(), after.size());
    ASSERT_EQ(LoadCalibrationFile(path, data), 1);
    EXPECT_EQ(data.fileVersion, 3);
    EXPECT_EQ(data.headerText.find("Tweaked: Tue"), std::string::npos);
    EXPECT_NE(data.headerText.find("Created: Mon Jan  1 12:00:00 2024\nTweaked: third (0.0,0.0) (0.0,0.0)\n"),
              std::string::npos);
}

TEST_F(CalibrationFiles, TheHistoryGoesBackOnlyIntoTheFileItWasLoadedFrom) {
    const std::string loaded = Write("wand.cfg", Version(3));
    const std::string other = Write("other.cfg", Version(3));
    struct Case {
        const char* name;
        std::function<void()> before;  // what happened before the update
        std::string target;
    };
    const std::vector<Case> cases = {
        {"nothing loaded", [] { BeginCalibrationLoad(); }, loaded},
        {"a failed start after a good one",
         [&] {
             ASSERT_EQ(LoadCalibration(loaded), 1);
             EXPECT_EQ(LoadCalibration((folder_ / "missing.cfg").string()), 6);
         },
         loaded},
        {"another file than the loaded one", [&] { ASSERT_EQ(LoadCalibration(loaded), 1); }, other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.before();
        const std::vector<std::uint8_t> before = ReadBytes(c.target);
        LutTweaks_Push(Tweak(0.5f, 0.5f, 0.5f, 0.5f, "manual"));
        EXPECT_EQ(UpdateCalibrationFile(c.target), CalibrationUpdate_NOT_LOADED);
        EXPECT_EQ(ReadBytes(c.target), before);
    }

    // The loaded file takes its own history with the new record on top.
    ASSERT_EQ(LoadCalibration(loaded), 1);
    LutTweaks_Push(Tweak(0.5f, 0.5f, 0.5f, 0.5f, "manual"));
    std::string spelled = loaded;
    for (char& ch : spelled) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const std::string target = fs::exists(spelled) ? spelled : loaded;  // the same file as the system names it
    ASSERT_EQ(UpdateCalibrationFile(target), CalibrationUpdate_WRITTEN);
    CalibrationData data;
    ASSERT_EQ(LoadCalibrationFile(loaded, data), 1);
    EXPECT_STREQ(data.history[0].date, "manual");
    EXPECT_STREQ(data.history[1].date, "newest");
    EXPECT_STREQ(data.history[2].date, "older");
}

TEST_F(CalibrationFiles, UpdateKeepsTheTrackerBlockOfVersion5) {
    const std::string path = Write("wand.cfg", Version(5));
    const std::vector<std::uint8_t> before = ReadBytes(path);
    LutTweakHistory history{};
    history[0] = Tweak(1, 1, 1, 1, "x");
    ASSERT_EQ(UpdateCalibrationFile(path, history), 1);
    const std::vector<std::uint8_t> after = ReadBytes(path);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_TRUE(std::equal(before.end() - 228, before.end(), after.end() - 228));
    CalibrationData data;
    ASSERT_EQ(LoadCalibrationFile(path, data), 1);
    EXPECT_EQ(data.fileVersion, 5);
    EXPECT_STREQ(data.history[0].date, "x");
    EXPECT_TRUE(data.hasTrackerSetup);
}

TEST_F(CalibrationFiles, FailedUpdatesLeaveTheOldFile) {
    LutTweakHistory history{};
    history[0] = Tweak(1, 1, 1, 1, "x");
    const std::string path = Write("wand.cfg", Version(2));
    const std::vector<std::uint8_t> before = ReadBytes(path);

    files::SetSafeWriteDiskFullAfterForTesting(1500);
    EXPECT_EQ(UpdateCalibrationFile(path, history), 8);
    files::SetSafeWriteDiskFullAfterForTesting(-1);
    EXPECT_EQ(ReadBytes(path), before);

    const std::string shortPath = (folder_ / "short.cfg").string();
    WriteBytes(shortPath, std::vector<std::uint8_t>(before.begin(), before.end() - 1));
    EXPECT_EQ(UpdateCalibrationFile(shortPath, history), 7);
    EXPECT_EQ(ReadBytes(shortPath).size(), before.size() - 1);

    const std::string junkPath = (folder_ / "junk.cfg").string();
    WriteBytes(junkPath, std::vector<std::uint8_t>(2000, 'x'));
    EXPECT_EQ(UpdateCalibrationFile(junkPath, history), 7);
    EXPECT_EQ(UpdateCalibrationFile((folder_ / "missing.cfg").string(), history), 6);

    // Nothing is left beside the file.
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(folder_)) entries += entry.is_regular_file();
    EXPECT_EQ(entries, 3);
}

TEST(CalibrationUpdateText, WithoutCreatedLine) {
    LutTweak t = Tweak(12.26f, -0.04f, 0, 100, "d");
    EXPECT_EQ(MakeTweakedHeaderText("no such line\n", t), "\nTweaked: d (12.3,-0.0) (0.0,100.0)\n");
    EXPECT_EQ(MakeTweakedHeaderText("x\nCreated: today", t), "Created: today\nTweaked: d (12.3,-0.0) (0.0,100.0)\n");
}

}  // namespace
