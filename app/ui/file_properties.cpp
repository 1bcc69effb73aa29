#include "app/ui/file_properties.h"

#include "app/locale/locale_lookup.h"

#include <cstring>
#include <ctime>

namespace {

class Lines {
  public:
    template <typename... Variables>
    void Add(const char* key, Variables... variables) {
        std::string line;
        Locale_FormatString(line, key, variables..., nullptr);
        text_ += line;
        text_ += "\r\n";
    }
    void Plain(const char* key) {
        text_ += Locale_GetString(key);
        text_ += "\r\n";
    }
    const std::string& Text() const { return text_; }

  private:
    std::string text_;
};

std::string DefaultTime(double seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    const std::tm* local = std::localtime(&t);
    char buffer[64] = "";
    if (local) std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", local);
    return buffer;
}

// A NUL-padded text field of fixed size.
std::string FixedText(const char* field, size_t size) {
    const void* end = std::memchr(field, 0, size);
    return std::string(field, end ? static_cast<const char*>(end) - field : size);
}

const char* Text(const std::optional<std::string>& field) { return field ? field->c_str() : ""; }

LocaleVariable* Str(const char* name, const std::string& text) { return Locale_NewStringVariable(name, text.c_str()); }

void AddHistory(Lines& out, const ItemMetadata& meta, const PropertiesTimeFormat& time) {
    const ItemMetaEntry& c = meta.create;
    out.Add("FilePropCreateApp", Locale_NewStringVariable("app", Text(c.program)));
    out.Add("FilePropPlatform", Locale_NewStringVariable("windows_name", Text(c.os)));
    out.Add("FilePropCreateInfo", Locale_NewStringVariable("info", Text(c.user)));
    out.Add("FilePropUserComment", Locale_NewStringVariable("comment", Text(c.user_text)));
    out.Add("FilePropCreateTime", Str("time", time(c.time)));
    if (meta.edits.empty()) {
        out.Plain("FilePropNoEditText");
        return;
    }
    for (const ItemMetaEntry& e : meta.edits) {
        out.Add("FilePropEditNote", Locale_NewStringVariable("note", Text(e.program_text)));
        out.Add("FilePropUserComment", Locale_NewStringVariable("comment", Text(e.user_text)));
        out.Add("FilePropEditUserInfo", Locale_NewStringVariable("info", Text(e.user)));
        out.Add("FilePropEditAppAndPlatform", Locale_NewStringVariable("app", Text(e.program)),
                Locale_NewStringVariable("platform", Text(e.os)));
        out.Add("FilePropEditTime", Str("time", time(e.time)));
    }
}

std::string ReferenceText(const RawData& raw, int32_t p) {
    if (raw.NumProfiles <= 0 || !raw.Profiles) return Locale_GetString("FilePropNoProfile");
    return Locale_GetString(raw.Profiles[p].ReferenceEnabled ? "FilePropRxRef" : "FilePropTxRef");
}

void AddCorrections(Lines& out, const CorrectionHistory& h) {
    out.Plain("FilePropCalCorrectHistory");
    for (int k = 0; k < 10; ++k) {
        for (int camera = 0; camera < 2; ++camera) {
            if (h.OldRms[k][camera] == 0) continue;
            out.Add("FilePropCalTweak", Locale_NewNumberVariable("new_err", h.NewRms[k][camera], 3),
                    Locale_NewNumberVariable("old_err", h.OldRms[k][camera], 3),
                    Locale_NewNumberVariable("count_tweak", h.CountTweak[k][camera], 2),
                    Locale_NewNumberVariable("line_tweak", h.LineTweak[k][camera], 2),
                    Locale_NewIntVariable("camera_num", camera));
        }
        if (h.NewDeviation[k] != 0 && h.Valid[k]) {
            out.Add("FilePropCombinedCalTweak", Locale_NewNumberVariable("new_deviation", h.NewDeviation[k], 3),
                    Locale_NewNumberVariable("old_deviation", h.OldDeviation[k], 3));
            const std::string date = FixedText(h.Date[k], sizeof h.Date[k]);
            out.Add("FilePropCalTweakDate", Str("date", date));
        }
    }
}

void AddReceiverStatus(Lines& out, const RawData& raw) {
    for (int rx = 0; rx < 2; ++rx) {
        int32_t counts[256] = {};
        for (int32_t p = 0; raw.Profiles && p < raw.NumProfiles; ++p)
            ++counts[(static_cast<uint32_t>(raw.Profiles[p].ReceiverStatus) >> (8 * rx)) & 0xFF];
        for (int code = 0; code < 256; ++code) {
            if (counts[code] == 0) continue;
            std::string status;
            if (code == 0)
                status = Locale_GetString("FilePropRxStatusCode0");
            else if (code == 32)
                status = Locale_GetString("FilePropRxStatusCode32");
            else
                status = std::string(1, static_cast<char>(code));
            out.Add("FilePropRxStatus", Locale_NewIntVariable("num_codes", counts[code]),
                    Locale_NewIntVariable("rx_num", rx), Str("status_code", status));
        }
    }
}

}  // namespace

std::string FileProperties_Text(const RawData& raw, const std::string& path, const ItemMetadata* metadata,
                                const PropertiesTimeFormat& formatTime) {
    const PropertiesTimeFormat time = formatTime ? formatTime : PropertiesTimeFormat(DefaultTime);
    const ScanHeader& h = raw.Header;
    Lines out;
    if (!path.empty()) {
        out.Add("FilePropName", Str("name", path));
        out.Add("FilePropFormatVersion", Str("version", std::to_string(h.FileRelease)));
    } else {
        out.Plain("FilePropNewScan");
    }
    out.Add("FilePropWandSerialNum", Str("serial_num", std::to_string(h.WandSerialNumber)));
    const std::string version = FixedText(h.ProgramVersion, sizeof h.ProgramVersion);
    out.Add("FilePropScanAppEcpVersion", Str("ecp_version", std::to_string(h.DriverVersion)),
            Str("app_version", version));
    // Serial numbers and versions are names, not quantities: no digit grouping.
    out.Add("FilePropVPRev", Str("vp_rev", std::to_string(h.VideoProcessorRevision)));
    if (metadata) AddHistory(out, *metadata, time);
    out.Add("FilePropNumProfiles", Locale_NewIntVariable("count", raw.NumProfiles));
    out.Add("FilePropFirstProfile", Str("reference", ReferenceText(raw, 0)));
    out.Add("FilePropLastProfile", Str("reference", ReferenceText(raw, raw.NumProfiles - 1)));
    const std::string created = FixedText(h.CalibrationCreated, sizeof h.CalibrationCreated);
    out.Add("FilePropConfigCreateTime", Str("time", created));
    AddCorrections(out, h.Corrections);
    AddReceiverStatus(out, raw);
    return out.Text();
}
