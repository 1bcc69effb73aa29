// The batch log: what every level does to a message, the stage and progress
// rules, and the saved file (header, an empty line before each plain line,
// nothing written on a full disk).
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/export/proc_log.h"
#include "app/files/safe_file_write.h"

namespace {

TEST(ProcLog, LevelTable) {
    const struct {
        int32_t level;
        const char* format;
        bool added;
        const char* text;
        const char* status;
        int32_t icon;
        ProcLogSound sound;
    } rows[] = {
        {-1, "scan %d.tvn", true, "scan 7.tvn", "", kLogIconPlain, ProcLogSound::kNone},
        {0, "scan %d", false, "", "", 0, ProcLogSound::kNone},
        {1, "bad file %d", true, "(1.25s) ERROR: bad file 7", "ERROR: bad file 7", kLogIconError, ProcLogSound::kHand},
        {2, "holes %d", true, "(1.25s) WARNING: holes 7", "", kLogIconWarning, ProcLogSound::kExclamation},
        {2, "Memory %d MB", false, "", "", 0, ProcLogSound::kNone},
        {3, "Loading %d", true, "(1.25s) Loading 7", "Loading 7", kLogIconStage, ProcLogSound::kNone},
        {3, "%s", false, "", "", 0, ProcLogSound::kNone},  // the text begins with "Finish"
        {4, "x %d", false, "", "", 0, ProcLogSound::kNone},
        {5, "Resolution %d", true, "  Resolution 7", "", kLogIconDetail, ProcLogSound::kNone},
        {-2, "x %d", false, "", "", 0, ProcLogSound::kNone},
        {6, "x %d", false, "", "", 0, ProcLogSound::kNone},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.level) + " " + row.format);
        ProcLogLine line;
        const bool added = std::string(row.format) == "%s"
                               ? ProcLog_Format(row.level, 1.254, line, row.format, "Finished")
                               : ProcLog_Format(row.level, 1.254, line, row.format, 7);
        EXPECT_EQ(added, row.added);
        if (!added) continue;
        EXPECT_EQ(line.text, row.text);
        EXPECT_EQ(line.status, row.status);
        EXPECT_EQ(line.icon, row.icon);
        EXPECT_EQ(line.sound, row.sound);
    }
}

TEST(ProcLog, LongMessageIsCutToTheLineLength) {
    const std::string longText(3000, 'x');
    ProcLogLine line;
    ASSERT_TRUE(ProcLog_Format(1, 0.0, line, "%s", longText.c_str()));
    EXPECT_EQ(line.status.size(), static_cast<size_t>(kProcLogLineMax - 1));
    EXPECT_EQ(line.status.substr(0, 7), "ERROR: ");
}

TEST(ProcLog, StageLoggedOnceAndBarPosition) {
    ProcLogStage stage;
    EXPECT_TRUE(stage.Changed("Loading File"));
    EXPECT_FALSE(stage.Changed("Loading File"));
    EXPECT_TRUE(stage.Changed("Facets"));
    EXPECT_TRUE(stage.Changed("Loading File"));
    stage.Reset();
    EXPECT_TRUE(stage.Changed("Loading File"));
    EXPECT_EQ(ProcLog_BarPosition(0.4567), 456);
    EXPECT_EQ(ProcLog_BarPosition(1.0), 1000);
}

TEST(ProcLog, StrContains) {
    EXPECT_TRUE(Str_Contains("scan.tvn", ".tvn"));
    EXPECT_FALSE(Str_Contains("scan.krv", ".tvn"));
    EXPECT_FALSE(Str_Contains("", ".tvn"));
    EXPECT_FALSE(Str_Contains("scan.tvn", ""));
    EXPECT_TRUE(Str_Contains("C:\\SCANS\\FOOT.TVN", ".tvn"));
    EXPECT_TRUE(Str_Contains("foot.Krv", ".KRV"));
    EXPECT_FALSE(Str_Contains("foot.tv", ".tvn"));
}

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class ProcLogSave : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ =
            std::filesystem::temp_directory_path() / ("proc_log_" + std::to_string(reinterpret_cast<uintptr_t>(this)));
        std::filesystem::create_directories(dir_);
        time_.tm_year = 124, time_.tm_mon = 2, time_.tm_mday = 5, time_.tm_wday = 2;
        time_.tm_hour = 14, time_.tm_min = 7, time_.tm_sec = 9;
    }
    void TearDown() override {
        files::SetSafeWriteDiskFullAfterForTesting(-1);
        std::filesystem::remove_all(dir_);
    }
    std::filesystem::path dir_;
    std::tm time_{};
    const std::vector<ProcLogEntry> lines_ = {
        {"scan1.tvn", kLogIconPlain},
        {"(0.10s) Loading File", kLogIconStage},
        {"(0.20s) ERROR: truncated", kLogIconError},
        {"scan2.tvn", kLogIconPlain},
        {"  Resolution: 2.00mm", kLogIconDetail},
    };
};

TEST_F(ProcLogSave, HeaderAndAnEmptyLineBeforeEachPlainLine) {
    std::string message;
    const std::string path = (dir_ / "Tolvaran.log").string();
    ASSERT_TRUE(ProcLog_SaveLog(path, "Tolvaran", time_, lines_, message)) << message;
    const std::string e = kProcLogLineEnd;
    EXPECT_EQ(ReadAll(path), "Tolvaran batch processing log -- Tue Mar  5 14:07:09 2024" + e + e + "scan1.tvn" + e +
                                 "(0.10s) Loading File" + e + "(0.20s) ERROR: truncated" + e + e + "scan2.tvn" + e +
                                 "  Resolution: 2.00mm" + e);
}

TEST_F(ProcLogSave, FullDiskKeepsTheEarlierLogAndLeavesNothingBeside) {
    const std::filesystem::path path = dir_ / "Tolvaran.log";
    std::ofstream(path, std::ios::binary) << "earlier log";
    files::SetSafeWriteDiskFullAfterForTesting(40);
    std::string message;
    EXPECT_FALSE(ProcLog_SaveLog(path.string(), "Tolvaran", time_, lines_, message));
    EXPECT_EQ(message.rfind("Error writing to file\n    ", 0), 0u) << message;
    EXPECT_GT(message.size(), std::string("Error writing to file\n    ").size());
    EXPECT_EQ(ReadAll(path), "earlier log");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()), 1);
}

TEST_F(ProcLogSave, MissingFolderGivesTheOpenMessage) {
    std::string message;
    const std::string path = (dir_ / "no such folder" / "Tolvaran.log").string();
    EXPECT_FALSE(ProcLog_SaveLog(path, "Tolvaran", time_, lines_, message));
    EXPECT_EQ(message.rfind("Error opening '" + path + "'\n    ", 0), 0u) << message;
}

}  // namespace
