#include "app/files/krv_file.h"

#include "app/base/time_stamp.h"
#include "app/files/file_header.h"
#include "app/files/safe_file_write.h"
#include "platform/file_read_stream.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <sstream>
#include <vector>

namespace fh = kmo::tolvaran::file_header;

namespace {

// ---- Bytes out ----------------------------------------------------------------

struct Bytes {
    std::string data;
    void Put(const void* p, size_t n) { data.append(static_cast<const char*>(p), n); }
    void I32(int32_t v) { Put(&v, 4); }
    void F32(float v) { Put(&v, 4); }
    void Zeros(size_t n) { data.append(n, '\0'); }
};

int32_t WriteSafely(const char* path, const std::string& content) {
    files::SafeFileWriter writer;
    if (!writer.Open(path)) return kKrvNotOpened;
    if (!writer.Write(content.data(), content.size()) || !writer.Commit()) return kKrvWriteFailed;
    return kKrvOk;
}

std::string HeaderBytes(fh::FileType type, int32_t version, const std::string& text) {
    std::ostringstream out(std::ios::binary);
    fh::Write(fh::Make(type, version, text), out);
    return out.str();
}

Matrix4 Identity() {
    Matrix4 m;
    M4_Identity(m);
    return m;
}

// The six text lines of an older scan file's header.
std::string KrvHeaderText(const RawData& raw) {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    char version[33] = {};
    std::memcpy(version, raw.Header.ProgramVersion, 32);
    char lines[512];
    std::snprintf(lines, sizeof lines,
                  "Created:   %sTolvaran:  %s\nOmbrix:    %d\nWand S/N:  %05d\nVP Model:  %02d\nReference: %s\n\n",
                  local ? std::asctime(local) : "\n", version, raw.Header.DriverVersion, raw.Header.WandSerialNumber,
                  raw.Header.VideoProcessorRevision,
                  raw.NumProfiles > 0 && raw.Profiles[0].ReferenceEnabled ? "Receiver" : "Transmitter");
    return lines;
}

// The value of the sweep that holds profile p.
int32_t SweepValueOf(const RawData& raw, int32_t p) {
    for (int32_t s = 0; s < raw.NumSweeps; ++s)
        if (raw.SweepStartingProfileNo[s + 1] > p) return raw.Sweeps[s].HardwareValue;
    return 0;
}

void PutProfile(Bytes& b, const RawData& raw, int32_t p, std::vector<uint16_t>& packed) {
    const Profile& profile = raw.Profiles[p];
    Vec3 offset{0, 0, 0};
    float scale = 0;
    packed.assign(static_cast<size_t>(profile.NumPoints) * 3, 0);
    KrvFile_PackShortPoints(profile, packed.data(), offset, scale);
    b.I32(profile.NumPoints);
    b.Zeros(4);
    b.Put(&profile.WandRxMatrix, 64);
    b.Put(&profile.ReferenceRxMatrix, 64);
    b.I32(profile.ReferenceEnabled);
    b.F32(profile.CameraDeviation);
    b.Put(&offset, 12);
    b.F32(scale);
    b.Zeros(4);
    b.I32(profile.Flags);
    b.I32(SweepValueOf(raw, p));
    b.Put(&profile.RawReferenceRxMatrix, 64);
    b.I32(profile.ReceiverStatus);
    b.Put(packed.data(), packed.size() * 2);
}

void PutSweep(Bytes& b, const SweepRecord& sweep, const KrvViewRecord& view) {
    b.I32((sweep.Flags & kSweepHidden) ? 1 : 0);
    const Matrix4 transform = (sweep.Flags & kSweepPendingTransform) ? sweep.PendingTransform : Identity();
    b.Put(&transform, 64);
    b.Put(&sweep.View.ViewOrigin, 12);
    b.F32(sweep.View.ZoomFactor);
    b.Put(reinterpret_cast<const char*>(&view) + 84, 96);
    b.I32(static_cast<int32_t>(sweep.View.Options));
    b.Zeros(88);
}

void PutStylus(Bytes& b, const StylusItemList& list) {
    const int32_t n = list.VisibleCount;
    if (n < 1 || !list.Items) return;
    b.I32(n);
    for (int32_t i = 0; i < n; ++i) b.Put(&list.Items[i].Pose, 64);
    for (int32_t i = 0; i < n; ++i) b.I32(static_cast<int32_t>(list.Items[i].Flags & 0x60));
    for (int32_t i = 0; i < n; ++i) b.I32(list.Items[i].Time);
}

bool ScanIsWritable(const RawData& raw) {
    if (raw.NumProfiles < 0 || raw.NumSweeps < 0 || (raw.NumProfiles > 0 && !raw.Profiles)) return false;
    if (!raw.SweepStartingProfileNo || !raw.Sweeps) return raw.NumSweeps == 0 && raw.NumProfiles == 0;
    for (int32_t p = 0; p < raw.NumProfiles; ++p) {
        const Profile& profile = raw.Profiles[p];
        if (profile.NumPoints < 0 || profile.NumPoints > kMaxProfilePoints) return false;
        if (profile.NumPoints > 0 && !profile.Points) return false;
    }
    return true;
}

// ---- Bytes in -----------------------------------------------------------------

struct Reader {
    std::istream& in;
    bool Get(void* p, size_t n) {
        in.read(static_cast<char*>(p), static_cast<std::streamsize>(n));
        return static_cast<size_t>(in.gcount()) == n;
    }
    bool I32(int32_t& v) { return Get(&v, 4); }
};

struct LoadedProfile {
    Profile profile{};
    int32_t sweepValue = 0;
    std::vector<Vec3> points;
};

struct Loaded {
    ScanHeader header{};
    std::vector<LoadedProfile> profiles;
    Matrix4 scanTransform{};
    std::vector<int32_t> starts;
    std::vector<SweepRecord> sweeps;
    KrvViewRecord view{};
    std::vector<StylusItem> stylus;
};

template <typename T>
T Field(const unsigned char* record, size_t at) {
    T v;
    std::memcpy(&v, record + at, sizeof v);
    return v;
}

int32_t ReadProfile(Reader& r, int32_t version, LoadedProfile& out) {
    unsigned char record[kKrvProfileRecordSize] = {};
    const size_t size = version >= 4 ? kKrvProfileRecordSize : kKrvOldProfileRecordSize;
    if (!r.Get(record, size)) return kKrvReadError;
    Profile& p = out.profile;
    p.NumPoints = Field<int32_t>(record, 0);
    if (p.NumPoints < 0 || p.NumPoints > kMaxProfilePoints) return kKrvReadError;
    p.WandRxMatrix = Field<Matrix4>(record, 8);
    p.ReferenceRxMatrix = Field<Matrix4>(record, 72);
    p.ReferenceEnabled = Field<int32_t>(record, 136);
    p.CameraDeviation = Field<float>(record, 140);
    const Vec3 offset = Field<Vec3>(record, 144);
    const float scale = Field<float>(record, 156);
    p.Flags = Field<int32_t>(record, 164);
    out.sweepValue = Field<int32_t>(record, 168);
    p.RawReferenceRxMatrix = Field<Matrix4>(record, 172);
    p.ReceiverStatus = Field<int32_t>(record, 236);
    p.IsFiltered = version >= 3 ? 1 : 0;
    uint16_t packed[kMaxProfilePoints * 3];
    if (!r.Get(packed, static_cast<size_t>(p.NumPoints) * 6)) return kKrvReadError;
    out.points.resize(static_cast<size_t>(p.NumPoints));
    KrvFile_UnpackShortPoints(p.NumPoints, offset, scale, packed, out.points.data());
    return kKrvOk;
}

int32_t ReadSweep(Reader& r, SweepRecord& sweep) {
    unsigned char record[kKrvSweepRecordSize];
    if (!r.Get(record, sizeof record)) return kKrvReadError;
    std::memset(&sweep, 0, sizeof sweep);
    sweep.Flags = Field<int32_t>(record, 0) ? kSweepHidden : 0;
    sweep.PendingTransform = Field<Matrix4>(record, 4);
    const Matrix4 identity = Identity();
    if (std::memcmp(&sweep.PendingTransform, &identity, sizeof identity) != 0) sweep.Flags |= kSweepPendingTransform;
    sweep.View.ViewOrigin = Field<Vec3>(record, 68);
    sweep.View.ZoomFactor = Field<float>(record, 80);
    sweep.View.Options = Field<uint32_t>(record, 180);
    sweep.View.CoordinateSystem = identity;
    sweep.View.ColourMode = 0;
    return kKrvOk;
}

// The optional stylus block: a missing count means no items; matrices and
// flag words must be complete; the item values are read as far as they go.
int32_t ReadStylus(Reader& r, Loaded& out) {
    int32_t n = 0;
    if (!r.I32(n)) return kKrvOk;
    if (n < 0) return kKrvReadError;
    for (int32_t i = 0; i < n; ++i) {
        StylusItem item{};
        if (!r.Get(&item.Pose, 64)) return kKrvReadError;
        out.stylus.push_back(item);
    }
    int32_t line = -1;
    for (StylusItem& item : out.stylus) {
        int32_t flags = 0;
        if (!r.I32(flags)) return kKrvReadError;
        item.Flags = static_cast<uint32_t>(flags) & 0x60;
        // A first item that claims to continue a line has none before it:
        // it starts the first one.
        if (line < 0) item.Flags &= ~static_cast<uint32_t>(kStylusLineMember);
        if (!(item.Flags & kStylusLineMember)) ++line;
        item.Group = line;
    }
    for (StylusItem& item : out.stylus)
        if (!r.I32(item.Time)) break;
    return kKrvOk;
}

int32_t ReadBody(Reader& r, int32_t version, Loaded& out) {
    ScanHeader& h = out.header;
    h.WandSerialNumber = h.VideoProcessorRevision = h.DriverVersion = -1;
    if (version >= 4) {
        if (!r.I32(h.WandSerialNumber) || !r.I32(h.VideoProcessorRevision) || !r.Get(h.ProgramVersion, 32) ||
            !r.I32(h.DriverVersion))
            return kKrvReadError;
    }
    int32_t count = 0;
    if (!r.I32(count) || count < 0) return kKrvReadError;
    for (int32_t p = 0; p < count; ++p) {
        out.profiles.emplace_back();
        if (const int32_t result = ReadProfile(r, version, out.profiles.back())) return result;
    }
    int32_t sweeps = 0;
    if (!r.Get(&out.scanTransform, 64) || !r.I32(sweeps) || sweeps < 0) return kKrvReadError;
    for (int32_t s = 0; s <= sweeps; ++s) {
        int32_t start = 0;
        if (!r.I32(start)) return kKrvReadError;
        const int32_t before = s == 0 ? 0 : out.starts.back();
        if (start < before || start > count || (s == 0 && start != 0))
            return kKrvReadError;  // starts at 0, never fall, end at P
        out.starts.push_back(start);
    }
    if (out.starts.back() != count) return kKrvReadError;
    // The records grow as they are read: a count that the file cannot back
    // never asks for their memory.
    for (int32_t s = 0; s <= sweeps; ++s) {
        SweepRecord sweep;
        if (const int32_t result = ReadSweep(r, sweep)) return result;
        out.sweeps.push_back(sweep);
    }
    if (!r.Get(&out.view, sizeof out.view)) return kKrvReadError;
    return version >= 4 ? ReadStylus(r, out) : kKrvOk;
}

template <typename T>
T* Allocate(size_t n) {
    return static_cast<T*>(std::calloc(n ? n : 1, sizeof(T)));
}

void FreeProfiles(Profile* profiles, int32_t count) {
    for (int32_t p = 0; p < count; ++p) RawData_ClearProfile(profiles[p]);
    std::free(profiles);
}

// The sweep values from each sweep's first profile; an empty sweep takes the
// value before it, an empty first sweep that of the first profile record.
void SetSweepValues(Loaded& in) {
    const int32_t S = static_cast<int32_t>(in.sweeps.size()) - 1;
    int32_t value = in.profiles.empty() ? 0 : in.profiles[0].sweepValue;
    for (int32_t s = 0; s < S; ++s) {
        if (in.starts[s] < in.starts[s + 1]) value = in.profiles[in.starts[s]].sweepValue;
        in.sweeps[s].HardwareValue = value;
    }
}

// Moves the loaded records into the scan; nothing changes there on failure.
int32_t Commit(Loaded& in, RawData& raw) {
    const int32_t P = static_cast<int32_t>(in.profiles.size());
    const int32_t S = static_cast<int32_t>(in.sweeps.size()) - 1;
    Profile* profiles = P ? Allocate<Profile>(P) : nullptr;
    int32_t* starts = Allocate<int32_t>(S + 1);
    int32_t* firstPoint = Allocate<int32_t>(S + 1);
    int32_t* firstFacet = Allocate<int32_t>(S + 1);
    SweepRecord* sweeps = Allocate<SweepRecord>(S + 1);
    StylusItem* items = in.stylus.empty() ? nullptr : Allocate<StylusItem>(in.stylus.size());
    bool ok = (P == 0 || profiles) && starts && firstPoint && firstFacet && sweeps && (in.stylus.empty() || items);
    for (int32_t p = 0; ok && p < P; ++p) {
        Profile& target = profiles[p];
        target = in.profiles[p].profile;
        const int32_t n = target.NumPoints;
        if (n == 0) continue;
        target.Points = Allocate<Vec3>(n);
        target.PointValues = Allocate<int32_t>(n);
        if (!target.Points || !target.PointValues) {
            ok = false;
            break;
        }
        std::memcpy(target.Points, in.profiles[p].points.data(), sizeof(Vec3) * n);
    }
    if (!ok) {
        FreeProfiles(profiles, P);
        std::free(starts), std::free(firstPoint), std::free(firstFacet), std::free(sweeps), std::free(items);
        return kKrvOutOfMemory;
    }
    SetSweepValues(in);
    std::memcpy(starts, in.starts.data(), sizeof(int32_t) * (S + 1));
    std::memcpy(sweeps, in.sweeps.data(), sizeof(SweepRecord) * (S + 1));
    if (items) std::memcpy(items, in.stylus.data(), sizeof(StylusItem) * in.stylus.size());

    raw.Header.WandSerialNumber = in.header.WandSerialNumber;
    raw.Header.VideoProcessorRevision = in.header.VideoProcessorRevision;
    std::memcpy(raw.Header.ProgramVersion, in.header.ProgramVersion, 32);
    raw.Header.DriverVersion = in.header.DriverVersion;
    raw.ScanAlignment = in.scanTransform;
    raw.Profiles = profiles;
    raw.MaxProfiles = raw.TotalProfiles = raw.NumProfiles = P;
    raw.SweepStartingProfileNo = starts;
    raw.SweepFirstPoint = firstPoint;
    raw.SweepFirstFacet = firstFacet;
    raw.Sweeps = sweeps;
    raw.TotalSweeps = raw.NumSweeps = S;
    raw.MaxSweeps = S;
    StylusItemList& list = raw.Stylus;
    list.Items = items;
    list.TotalCount = list.VisibleCount = list.Capacity = static_cast<int32_t>(in.stylus.size());
    list.GroupCount = in.stylus.empty() ? 0 : in.stylus.back().Group + 1;
    list.ReplaceNeeded = in.stylus.empty() ? 0 : 1;
    return kKrvOk;
}

}  // namespace

// ---- Point packing --------------------------------------------------------------

void KrvFile_PackShortPoints(const Profile& profile, uint16_t* packed, Vec3& offset, float& scale) {
    const int32_t n = profile.NumPoints;
    scale = 0;
    if (n <= 0) return;
    float lo[3] = {1e10f, 1e10f, 1e10f}, hi[3] = {-1e10f, -1e10f, -1e10f};
    for (int32_t i = 0; i < n; ++i) {
        const float v[3] = {profile.Points[i].x, profile.Points[i].y, profile.Points[i].z};
        for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], v[a]), hi[a] = std::max(hi[a], v[a]);
    }
    offset = Vec3{lo[0], lo[1], lo[2]};
    int axis = 0;
    for (int a = 1; a < 3; ++a)
        if (hi[a] - lo[a] > hi[axis] - lo[axis]) axis = a;
    if (n == 1) {
        packed[0] = packed[1] = packed[2] = 0;
        return;
    }
    scale = (hi[axis] - lo[axis]) / 65520.0f;
    for (int32_t i = 0; i < n; ++i) {
        const float v[3] = {profile.Points[i].x, profile.Points[i].y, profile.Points[i].z};
        for (int a = 0; a < 3; ++a) {
            // Coincident points (scale 0) all store 0; no division by it.
            double q = scale > 0 ? (static_cast<double>(v[a]) - lo[a]) / scale + 0.49999 : 0.0;
            if (!(q >= 0)) q = 0;
            if (q > 65535) q = 65535;
            packed[i * 3 + a] = static_cast<uint16_t>(q);
        }
    }
}

void KrvFile_UnpackShortPoints(int32_t count, const Vec3& offset, float scale, const uint16_t* packed, Vec3* points) {
    if (count == 1) {
        points[0] = offset;
        return;
    }
    for (int32_t i = 0; i < count; ++i)
        points[i] = Vec3{packed[i * 3] * scale + offset.x, packed[i * 3 + 1] * scale + offset.y,
                         packed[i * 3 + 2] * scale + offset.z};
}

namespace {

// Writes the bytes `fill` makes, whole or not at all; once the file is on disk
// the scan no longer counts as changed.
template <class Fill>
int32_t WriteScanFile(const char* path, RawData& raw, Fill fill) {
    Bytes b;
    try {
        fill(b);
    } catch (const std::bad_alloc&) {
        return kKrvWriteFailed;
    } catch (const fh::FormatException&) {
        return kKrvWriteFailed;
    }
    const int32_t result = WriteSafely(path, b.data);
    if (result != kKrvOk) return result;
    raw.ProcessedChanged = 0;
    raw.Edited = 0;
    return kKrvOk;
}

}  // namespace

// ---- Files ------------------------------------------------------------------------

int32_t KrvFile_Save(const char* path, RawData& raw, const KrvViewRecord& view) {
    raw.TotalSweeps = raw.NumSweeps;
    if (!ScanIsWritable(raw)) return kKrvWriteFailed;
    const int32_t result = WriteScanFile(path, raw, [&](Bytes& b) {
        b.data = HeaderBytes(fh::FileType::Scan, kKrvVersionWritten, KrvHeaderText(raw));
        b.I32(raw.Header.WandSerialNumber);
        b.I32(raw.Header.VideoProcessorRevision);
        b.Put(raw.Header.ProgramVersion, 32);
        b.I32(raw.Header.DriverVersion);
        b.I32(raw.NumProfiles);
        std::vector<uint16_t> packed;
        for (int32_t p = 0; p < raw.NumProfiles; ++p) PutProfile(b, raw, p, packed);
        b.Put(&raw.ScanAlignment, 64);
        b.I32(raw.NumSweeps);
        for (int32_t s = 0; s <= raw.NumSweeps; ++s)
            b.I32(raw.SweepStartingProfileNo ? raw.SweepStartingProfileNo[s] : 0);
        SweepRecord empty{};
        for (int32_t s = 0; s <= raw.NumSweeps; ++s)
            PutSweep(b, raw.Sweeps && s < raw.MaxSweeps + 1 ? raw.Sweeps[s] : empty, view);
        b.Put(&view, sizeof view);
        PutStylus(b, raw.Stylus);
    });
    if (result == kKrvOk) raw.Header.FileRelease = kKrvVersionWritten;
    return result;
}

int32_t KrvFile_Read(std::istream& in, RawData& raw, KrvViewRecord& view) {
    int32_t result = kKrvOk;
    if (!in) {
        result = kKrvNotOpened;
    } else {
        try {
            fh::FileHeader header;
            header.type = fh::FileType::Scan;
            fh::Read(header, in);
            if (header.version < 2 || header.version > 4) {
                result = kKrvBadVersion;  // version 1's layout is not known here
            } else {
                Reader r{in};
                Loaded loaded;
                result = ReadBody(r, header.version, loaded);
                if (result == kKrvOk) result = Commit(loaded, raw);
                if (result == kKrvOk) {
                    view = loaded.view;
                    raw.Header.FileRelease = header.version;
                    raw.LoadedFromDisk = 1;
                }
            }
        } catch (const fh::FormatException&) {
            result = kKrvNotThisFormat;
        } catch (const std::bad_alloc&) {
            result = kKrvOutOfMemory;
        } catch (const std::length_error&) {
            result = kKrvOutOfMemory;
        }
    }
    view.Options = 0;
    Time_Now(raw.Timestamp);
    return result;
}

int32_t KrvFile_Load(const char* path, RawData& raw, KrvViewRecord& view) {
    os::FileReadStream in(path);
    return KrvFile_Read(in, raw, view);
}

int32_t VidFile_Save(RawData& raw, const char* path) {
    if (raw.NumProfiles < 0 || (raw.NumProfiles > 0 && !raw.Profiles)) return kKrvWriteFailed;
    return WriteScanFile(path, raw, [&](Bytes& b) {
        b.data = HeaderBytes(fh::FileType::Video, kVidVersionWritten, "");
        b.I32(raw.NumProfiles);
        for (int32_t p = 0; p < raw.NumProfiles; ++p) {
            const Profile& profile = raw.Profiles[p];
            b.Put(&profile.WandRxMatrix, 64);
            b.I32(profile.ReferenceEnabled);
            b.Put(&profile.ReferenceRxMatrix, 64);
            const ProfileExtra* log = profile.Extra;
            const int32_t n = log && log->Count > 0 ? log->Count : 0;
            b.I32(n);
            for (int a = 0; n > 0 && a < 4; ++a) {
                if (log->Arrays[a])
                    b.Put(log->Arrays[a], static_cast<size_t>(n) * 4);
                else
                    b.Zeros(static_cast<size_t>(n) * 4);
            }
        }
    });
}
