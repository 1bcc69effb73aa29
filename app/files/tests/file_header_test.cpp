#include "app/files/file_header.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

namespace fh = kmo::tolvaran::file_header;

namespace {

std::string Written(const fh::FileHeader& header) {
    std::ostringstream out;
    fh::Write(header, out);
    return out.str();
}

fh::FileHeader ReadAs(const std::string& bytes, fh::FileType expected) {
    std::istringstream in(bytes);
    fh::FileHeader header;
    header.type = expected;
    fh::Read(header, in);
    return header;
}

std::string Int32Bytes(std::int32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
    return s;
}

}  // namespace

TEST(FileHeader, TypeNames) {
    EXPECT_STREQ(fh::FileTypeName(fh::FileType::Scan), "TAVIR KORV Scan File");
    EXPECT_STREQ(fh::FileTypeName(fh::FileType::Settings), "TAVIR KORV Settings File");
    EXPECT_STREQ(fh::FileTypeName(fh::FileType::HardwareConfig), "TAVIR KORV Hardware Config File");
    EXPECT_STREQ(fh::FileTypeName(fh::FileType::Calibration), "TAVIR KORV Calibration File");
    EXPECT_STREQ(fh::FileTypeName(fh::FileType::Video), "TAVIR KORV Video File");
    EXPECT_FALSE(fh::IsValid(static_cast<fh::FileType>(0)));
    EXPECT_FALSE(fh::IsValid(static_cast<fh::FileType>(6)));
}

TEST(FileHeader, EmptyExtraTextGivesThreeLinesAndRoundTrips) {
    const fh::FileHeader made = fh::Make(fh::FileType::Calibration, 3, "");
    const std::string bytes = Written(made);
    ASSERT_EQ(bytes.size(), fh::kHeaderSize);
    // The marker follows the text, zeros fill the block, type and version are little-endian.
    EXPECT_EQ(bytes[made.text.size()], '\x1A');
    EXPECT_EQ(bytes[made.text.size() + 1], '\x04');
    EXPECT_EQ(bytes[made.text.size() + 2], '\0');
    EXPECT_EQ(bytes.substr(1024, 4), Int32Bytes(4));
    EXPECT_EQ(bytes.substr(1028, 4), Int32Bytes(3));

    const fh::FileHeader read = ReadAs(bytes, fh::FileType::Calibration);
    EXPECT_EQ(read.text, made.text);
    EXPECT_EQ(read.version, 3);
    int lines = 0;
    for (char c : read.text) lines += c == '\n';
    EXPECT_EQ(lines, 3);
    EXPECT_NE(read.text.find("\nFile type:  TAVIR KORV Calibration File\nVersion:  3\n"), std::string::npos);
}

TEST(FileHeader, LongTextIsCutAndMarkerFollows) {
    const std::string extra(2000, 'x');
    const fh::FileHeader made = fh::Make(fh::FileType::Video, 7, extra);
    EXPECT_EQ(made.text.size(), fh::kMaxTextLength);
    const std::string bytes = Written(made);
    EXPECT_EQ(bytes[1022], '\x1A');
    EXPECT_EQ(bytes[1023], '\x04');
    EXPECT_EQ(ReadAs(bytes, fh::FileType::Video).text, made.text);
}

TEST(FileHeader, ExtraTextKeepsItsOwnMarkersUntouchedByLastMarkerRule) {
    // The reader takes the last marker before the first zero: a text that
    // itself holds a marker still reads back in full.
    const std::string extra = std::string("a\x1A\x04") + "b";
    const fh::FileHeader made = fh::Make(fh::FileType::Scan, 1, extra);
    EXPECT_EQ(ReadAs(Written(made), fh::FileType::Scan).text, made.text);
}

TEST(FileHeader, HigherVersionPassesReader) {
    const std::string bytes = Written(fh::Make(fh::FileType::Scan, 999, "note"));
    EXPECT_EQ(ReadAs(bytes, fh::FileType::Scan).version, 999);
}

TEST(FileHeader, BadHeadersThrow) {
    const std::string good = Written(fh::Make(fh::FileType::Scan, 4, "x"));
    std::string noMarker = good;
    noMarker.replace(0, 1024, std::string(1024, 'a'));
    std::string markerAfterZero = good;
    std::memset(&markerAfterZero[0], 0, 1024);
    markerAfterZero[600] = '\x1A';
    markerAfterZero[601] = '\x04';
    std::string type0 = good, type6 = good;
    type0.replace(1024, 4, Int32Bytes(0));
    type6.replace(1024, 4, Int32Bytes(6));

    struct Case {
        const char* name;
        std::string bytes;
        fh::FileType expected;
    } cases[] = {
        {"1023 bytes", good.substr(0, 1023), fh::FileType::Scan},
        {"no marker", noMarker, fh::FileType::Scan},
        {"marker behind the first zero", markerAfterZero, fh::FileType::Scan},
        {"type 0", type0, fh::FileType::Scan},
        {"type 6", type6, fh::FileType::Scan},
        {"type missing", good.substr(0, 1026), fh::FileType::Scan},
        {"version missing", good.substr(0, 1030), fh::FileType::Scan},
        {"other type", Written(fh::Make(fh::FileType::Settings, 1, "")), fh::FileType::Scan},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW(ReadAs(c.bytes, c.expected), fh::FormatException);
    }
}

TEST(FileHeader, WriteRefusesInvalidTypeAndFailedStream) {
    fh::FileHeader bad = fh::Make(fh::FileType::Scan, 1, "");
    bad.type = static_cast<fh::FileType>(9);
    std::ostringstream out;
    EXPECT_THROW(fh::Write(bad, out), fh::FormatException);

    std::ostringstream failed;
    failed.setstate(std::ios::badbit);
    EXPECT_THROW(fh::Write(fh::Make(fh::FileType::Scan, 1, ""), failed), fh::FormatException);
}
