#include "app/acquisition/calibration_update.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

#include "app/acquisition/calibration_state.h"
#include "app/files/file_header.h"
#include "app/files/safe_file_write.h"
#include "platform/file_read_stream.h"

namespace fh = kmo::tolvaran::file_header;

namespace {

bool CopyBytes(std::istream& in, files::SafeFileWriter& out, std::int64_t bytes) {
    std::vector<char> buffer(64 * 1024);
    while (bytes > 0) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::int64_t>(bytes, buffer.size()));
        if (!in.read(buffer.data(), static_cast<std::streamsize>(chunk))) return false;
        if (!out.Write(buffer.data(), chunk)) return false;
        bytes -= static_cast<std::int64_t>(chunk);
    }
    return true;
}

bool CopyRest(std::istream& in, files::SafeFileWriter& out) {
    std::vector<char> buffer(64 * 1024);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::size_t got = static_cast<std::size_t>(in.gcount());
        if (got && !out.Write(buffer.data(), got)) return false;
    }
    return in.eof();
}

// File names compare as the system does: without regard to case or to
// which separator was used.
std::string ComparablePath(std::string path) {
    for (char& c : path) {
        if (c == '/') c = '\\';
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return path;
}

}  // namespace

std::string MakeTweakedHeaderText(const std::string& oldText, const LutTweak& newest) {
    std::string created;
    const std::size_t start = oldText.find("Created:");
    if (start != std::string::npos) created = oldText.substr(start, oldText.find('\n', start) - start);
    const std::string date(newest.date, strnlen(newest.date, sizeof newest.date));
    char tweaks[160];
    std::snprintf(tweaks, sizeof tweaks, " (%3.1f,%3.1f) (%3.1f,%3.1f)\n", static_cast<double>(newest.lineTweak[0]),
                  static_cast<double>(newest.countTweak[0]), static_cast<double>(newest.lineTweak[1]),
                  static_cast<double>(newest.countTweak[1]));
    return created + "\nTweaked: " + date + tweaks;
}

std::int32_t UpdateCalibrationFile(const std::string& path, const LutTweakHistory& history) {
    // The file must be writable in place, as it always had to be.
    std::FILE* probe = std::fopen(path.c_str(), "r+b");
    if (!probe) return CalibrationUpdate_NOT_OPENED;
    std::fclose(probe);
    os::FileReadStream in(path);
    if (!in) return CalibrationUpdate_NOT_OPENED;
    in.seekg(0, std::ios::end);
    const std::int64_t fileSize = static_cast<std::int64_t>(in.tellg());
    in.seekg(0, std::ios::beg);

    fh::FileHeader old;
    old.type = fh::FileType::Calibration;
    try {
        fh::Read(old, in);
    } catch (const fh::FormatException&) {
        return CalibrationUpdate_BAD_FILE;
    }
    if (old.version < kCalibrationMinVersion || old.version > kCalibrationMaxVersion)
        return CalibrationUpdate_BAD_FILE;

    // The table's size follows from the calibration header; the file must
    // hold all of it (and its old history) before anything is written.
    unsigned char rawHeader[48];
    if (!in.read(reinterpret_cast<char*>(rawHeader), sizeof rawHeader)) return CalibrationUpdate_BAD_FILE;
    CalibrationHeader header;
    DecodeCalibrationHeader(rawHeader, header);
    const HardwareVersionEntry* entry =
        FindHardwareVersion(header.versionMajor, header.versionMinor, header.versionRevision, header.versionCheck);
    const std::int64_t tableBytes = entry ? CalibrationTableBytes(header, entry->channelCount) : -1;
    const std::int64_t oldHistoryBytes = old.version >= 3 ? static_cast<std::int64_t>(kLutTweakHistoryBytes) : 0;
    const std::int64_t kept = static_cast<std::int64_t>(fh::kHeaderSize) + 48 + tableBytes;
    if (tableBytes < 0 || kept + oldHistoryBytes > fileSize) return CalibrationUpdate_BAD_FILE;

    std::ostringstream headerStream;
    fh::Write(fh::Make(fh::FileType::Calibration, old.version == 2 ? 3 : old.version,
                       MakeTweakedHeaderText(old.text, history[0])),
              headerStream);
    const std::string newHeader = headerStream.str();
    std::vector<unsigned char> historyBytes(kLutTweakHistoryBytes);
    for (int i = 0; i < kLutTweakHistoryLength; ++i) EncodeLutTweak(history[i], &historyBytes[i * sizeof(LutTweak)]);

    files::SafeFileWriter out;
    if (!out.Open(path)) return CalibrationUpdate_WRITE_FAILED;
    const bool written = out.Write(newHeader.data(), newHeader.size()) &&
                         out.Write(rawHeader, sizeof rawHeader) && CopyBytes(in, out, tableBytes) &&
                         out.Write(historyBytes.data(), historyBytes.size()) &&
                         in.seekg(oldHistoryBytes, std::ios::cur) && CopyRest(in, out);
    if (!written) {
        out.Discard();
        return CalibrationUpdate_WRITE_FAILED;
    }
    in.close();
    return out.Commit() ? CalibrationUpdate_WRITTEN : CalibrationUpdate_WRITE_FAILED;
}

std::int32_t UpdateCalibrationFile(const std::string& path) {
    const std::string loaded = LoadedCalibrationPath();
    if (loaded.empty() || ComparablePath(loaded) != ComparablePath(path)) return CalibrationUpdate_NOT_LOADED;
    return UpdateCalibrationFile(path, LutTweaks_History());
}
