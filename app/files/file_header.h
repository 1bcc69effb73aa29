// The common header of the program's own binary files (older scan files, raw
// video files, scanner calibration files): a 1024-byte block of readable text
// for anyone who opens the file in a text viewer, then the binary file-type
// code and the version number. The reader refuses a file of another kind; the
// version is left to the file's own reader.
#pragma once

#include <cstdint>
#include <exception>
#include <iosfwd>
#include <string>

namespace kmo {
namespace tolvaran {
namespace file_header {

enum class FileType : std::int32_t {
    Scan = 1,
    Settings = 2,
    HardwareConfig = 3,
    Calibration = 4,
    Video = 5,
};

// Size of a header on disk: text block, type, version.
constexpr std::size_t kTextBlockSize = 1024;
constexpr std::size_t kHeaderSize = kTextBlockSize + 4 + 4;
// The header text is cut to this length so that the end-of-text marker
// (0x1A 0x04) always fits into the block.
constexpr std::size_t kMaxTextLength = kTextBlockSize - 2;

struct FileHeader {
    std::string text;
    FileType type = FileType::Scan;
    std::int32_t version = 0;
};

// A header that is not the program's own, cannot be read or written, or is of
// another file type than the caller expects.
class FormatException : public std::exception {
public:
    ~FormatException() override;
};

bool IsValid(FileType type);

// Fills the table of file-type names; called once at start-up. FileTypeName
// fills it on first use as well, so the order of start-up does not matter.
void InitFileTypes();

// The fixed name of a valid type ("TAVIR KORV Calibration File"); an invalid
// type gives an empty text.
const char* FileTypeName(FileType type);

// A header with the notice line (current year), the type and version lines and
// the caller's text, all cut to kMaxTextLength characters.
FileHeader Make(FileType type, std::int32_t version, const std::string& extraText);

// Writes the text block, the type and the version; throws FormatException when
// the type is invalid or the stream fails.
void Write(const FileHeader& header, std::ostream& out);

// Reads a header into `header`, whose type the caller has set to the type it
// expects. Throws FormatException when the header cannot be read, has no
// end-of-text marker, carries an invalid type or another type than expected.
// The version is stored unchecked.
void Read(FileHeader& header, std::istream& in);

}  // namespace file_header
}  // namespace tolvaran
}  // namespace kmo
