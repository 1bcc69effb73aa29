#include "app/ui/file_properties.h"
#include "app/locale/locale_loader.h"
#include "app/locale/locale_string_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class FileProperties : public ::testing::Test {
  protected:
    // The English locale from the source tree (the built-in one exists only in
    // the Windows program).
    static void SetUpTestSuite() {
        Locale_LoadInto(Locale_Strings(), std::string(TEST_SOURCE_DIR) + "../locale/data/", [](const std::string&) {});
    }
    void SetUp() override {
        std::memset(&raw, 0, sizeof raw);
        raw.Header.WandSerialNumber = 4711;
        raw.Header.DriverVersion = 12;
        raw.Header.VideoProcessorRevision = 3;
        raw.Header.FileRelease = 4;
        std::strcpy(raw.Header.ProgramVersion, "4.0.7");
        std::strcpy(raw.Header.CalibrationCreated, "Mon Jan 5 2026");
    }
    void SetProfiles(std::vector<int32_t> status, std::vector<int32_t> reference) {
        profiles.assign(status.size(), Profile{});
        for (size_t p = 0; p < status.size(); ++p) {
            profiles[p].ReceiverStatus = status[p];
            profiles[p].ReferenceEnabled = reference[p];
        }
        raw.Profiles = profiles.data();
        raw.NumProfiles = static_cast<int32_t>(profiles.size());
    }
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        size_t at = 0;
        for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
            lines.push_back(text.substr(at, end - at));
        EXPECT_EQ(at, text.size()) << "every line ends with CR LF";
        return lines;
    }
    static std::string Fixed(double) { return "T"; }

    RawData raw;
    std::vector<Profile> profiles;
};

TEST_F(FileProperties, UnnamedNewScanWithoutProfiles) {
    const auto lines = Lines(FileProperties_Text(raw, "", nullptr, Fixed));
    const std::vector<std::string> want = {
        "New scan, not saved yet",
        "Wand serial number: 4711",
        "Scanned with program version 4.0.7, parallel port driver version 12",
        "Processing unit model: 3",
        "Number of profiles: 0",
        "First profile: no profiles",
        "Last profile: no profiles",
        "Calibration created: Mon Jan 5 2026",
        "Calibration correction history:",
    };
    EXPECT_EQ(lines, want);
}

TEST_F(FileProperties, NamedScanWithHistoryStatusCodesAndCorrections) {
    SetProfiles({0x2000, 0x2041, 0x0041, 0x2020}, {1, 0, 0, 0});
    ItemMetadata meta;
    meta.create.program = "Tolvaran 4.0.7";
    meta.create.os = "10.0.19045, 2, ";
    meta.create.user = "ann@desk";
    meta.create.user_text = "";
    meta.create.program_text = "New Scan";
    meta.edits.push_back(meta.create);
    meta.edits[0].program_text = "Saved file as C:\\foot.tvn";
    CorrectionHistory& h = raw.Header.Corrections;
    h.OldRms[0][1] = 0.5f;  // camera 1 of entry 0 only: camera 0's old error is 0
    h.NewRms[0][1] = 0.25f;
    h.NewDeviation[0] = 1.5f;
    h.OldDeviation[0] = 2.0f;
    h.Valid[0] = 1;
    std::strcpy(h.Date[0], "5 Jan 2026");
    h.NewDeviation[1] = 1.0f;  // not valid: no line
    const std::string text = FileProperties_Text(raw, "C:\\foot.tvn", &meta, Fixed);
    EXPECT_EQ(text.find("**"), std::string::npos) << text;
    const auto lines = Lines(text);
    const std::vector<std::string> want = {
        "File: C:\\foot.tvn",
        "File format version: 4",
        "Wand serial number: 4711",
        "Scanned with program version 4.0.7, parallel port driver version 12",
        "Processing unit model: 3",
        "Created with: Tolvaran 4.0.7",
        "Created on: 10.0.19045, 2, ",
        "Created by: ann@desk",
        "Comment: ",
        "Created: T",
        "Edit: Saved file as C:\\foot.tvn",
        "Comment: ",
        "Edited by: ann@desk",
        "Edited with: Tolvaran 4.0.7 on 10.0.19045, 2, ",
        "Edited: T",
        "Number of profiles: 4",
        "First profile: receiver is the reference",
        "Last profile: transmitter is the reference",
        "Calibration created: Mon Jan 5 2026",
        "Calibration correction history:",
    };
    ASSERT_GE(lines.size(), want.size() + 6);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + want.size()), want);
    // One tweak line (camera 1), the combined line and its date.
    EXPECT_NE(lines[want.size()].find("Camera 1"), std::string::npos) << lines[want.size()];
    EXPECT_EQ(lines[want.size() + 1].find("    Distance between the cameras:"), 0u);
    EXPECT_EQ(lines[want.size() + 2], "    Corrected on 5 Jan 2026");
    const std::vector<std::string> status(lines.begin() + want.size() + 3, lines.end());
    const std::vector<std::string> wantStatus = {
        "Receiver 0: 1 profiles with status none",     "Receiver 0: 1 profiles with status no error",
        "Receiver 0: 2 profiles with status A",        "Receiver 1: 1 profiles with status none",
        "Receiver 1: 3 profiles with status no error",
    };
    EXPECT_EQ(status, wantStatus);
}

}  // namespace
