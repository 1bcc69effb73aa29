#include "app/files/krv_file.h"
#include "app/files/file_header.h"
#include "app/files/safe_file_write.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <new>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "app/files/tests/keyed_scratch_folder.h"

// This test program's own operator new keeps the largest single request, to
// show what a file's counts make the reader ask for.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
size_t g_largestRequest = 0;
}  // namespace
void* operator new(size_t size) {
    if (size > g_largestRequest) g_largestRequest = size;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

namespace fh = kmo::tolvaran::file_header;

// ---- A generator of older files, byte by byte from the format's tables ----------

struct Gen {
    std::string bytes;
    void Raw(const void* p, size_t n) { bytes.append(static_cast<const char*>(p), n); }
    void I32(int32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF));
    }
    void F32(float v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        I32(static_cast<int32_t>(u));
    }
    void U16(uint16_t v) {
        bytes.push_back(static_cast<char>(v & 0xFF));
        bytes.push_back(static_cast<char>(v >> 8));
    }
    void Matrix(float seed) {
        for (int i = 0; i < 16; ++i) F32(seed + i);
    }
    void Zeros(size_t n) { bytes.append(n, '\0'); }
    void Header(fh::FileType type, int32_t version) {
        std::ostringstream out;
        fh::Write(fh::Make(type, version, "generated\n"), out);
        bytes = out.str();
    }
};

struct GenProfile {
    int32_t n;
    float seed;  // matrices and scalars derive from it
    Vec3 offset;
    float scale;
    int32_t sweepValue;
    std::vector<uint16_t> packed;  // 3n values
};

Matrix4 SeedMatrix(float seed) {
    Matrix4 m;
    for (int i = 0; i < 16; ++i) m[i] = seed + i;
    return m;
}

void GenProfileRecord(Gen& g, const GenProfile& p, int32_t version) {
    g.I32(p.n);
    g.I32(0x55555555);  // not meaningful: ignored on reading
    g.Matrix(p.seed);
    g.Matrix(p.seed + 100);
    g.I32(static_cast<int32_t>(p.seed) & 1);
    g.F32(p.seed / 8);
    g.F32(p.offset.x), g.F32(p.offset.y), g.F32(p.offset.z);
    g.F32(p.scale);
    g.I32(0x55555555);
    if (version >= 4) {
        g.I32(static_cast<int32_t>(p.seed) * 3);  // flags word
        g.I32(p.sweepValue);
        g.Matrix(p.seed + 200);
        g.I32(0x2041);  // receiver 0 'A', receiver 1 32
    }
    for (uint16_t v : p.packed) g.U16(v);
}

struct GenFile {
    int32_t version = 4;
    std::vector<GenProfile> profiles;
    std::vector<int32_t> starts;  // S + 1
    std::vector<int32_t> hidden;  // S + 1
    int stylus = 2;               // items; -1 writes no block
    bool cutStylusAfterFlags = false;
};

std::string Generate(const GenFile& f) {
    Gen g;
    g.Header(fh::FileType::Scan, f.version);
    if (f.version >= 4) {
        g.I32(31337);
        g.I32(7);
        char text[32] = "4.0.7";
        g.Raw(text, 32);
        g.I32(12);
    }
    g.I32(static_cast<int32_t>(f.profiles.size()));
    for (const GenProfile& p : f.profiles) GenProfileRecord(g, p, f.version);
    g.Matrix(900);
    const int32_t S = static_cast<int32_t>(f.starts.size()) - 1;
    g.I32(S);
    for (int32_t s : f.starts) g.I32(s);
    for (int32_t s = 0; s <= S; ++s) {
        g.I32(f.hidden[s]);
        if (s == 0)
            for (int i = 0; i < 16; ++i) g.F32(i % 5 == 0 ? 1.0f : 0.0f);  // identity
        else
            g.Matrix(500.0f + s);
        g.F32(1.0f + s), g.F32(2.0f + s), g.F32(3.0f + s);
        g.F32(0.5f * (s + 1));
        g.Zeros(96);
        g.I32(40 + s);
        g.Zeros(88);
    }
    // The view record: display type, view matrix, ..., options at 180.
    g.I32(2);
    g.Matrix(700);
    for (int i = 0; i < 4; ++i) g.F32(1.5f);
    for (int i = 0; i < 19; ++i) g.I32(0x00102030 + i);
    for (int i = 0; i < 5; ++i) g.F32(0.25f);
    g.I32(0x7F);
    g.Zeros(88);
    if (f.version >= 4 && f.stylus >= 0) {
        g.I32(f.stylus);
        for (int i = 0; i < f.stylus; ++i) g.Matrix(1000.0f + i);
        for (int i = 0; i < f.stylus; ++i) g.I32(i == 1 ? 0x40 | 0x01 : 0x20 | 0x80);
        if (!f.cutStylusAfterFlags)
            for (int i = 0; i < f.stylus; ++i) g.I32(77 + i);
    }
    return g.bytes;
}

GenProfile MakeGenProfile(int32_t n, float seed, int32_t sweepValue) {
    GenProfile p{n, seed, Vec3{seed, -seed, 2 * seed}, n >= 2 ? 0.01f : 0.0f, sweepValue, {}};
    for (int32_t i = 0; i < 3 * n; ++i) p.packed.push_back(n == 1 ? 0 : static_cast<uint16_t>(i * 997 + seed));
    return p;
}

GenFile StandardFile(int32_t version) {
    GenFile f;
    f.version = version;
    // Sweep 0: profiles 0-1; sweep 1 empty; sweep 2: profile 2.
    f.profiles = {MakeGenProfile(3, 1, 11), MakeGenProfile(1, 2, 11), MakeGenProfile(0, 3, 33)};
    f.starts = {0, 2, 2, 3};
    f.hidden = {0, 1, 0, 0};
    return f;
}

// ---- Scan records -------------------------------------------------------------------

struct Scan {
    RawData raw;
    KrvViewRecord view;
    Scan() {
        std::memset(&raw, 0, sizeof raw);
        std::memset(&view, 0, sizeof view);
    }
    ~Scan() { RawData_FreeArrays(raw); }
    int32_t Read(const std::string& bytes) {
        std::istringstream in(bytes);
        return KrvFile_Read(in, raw, view);
    }
    bool Empty() const {
        return raw.NumProfiles == 0 && raw.Profiles == nullptr && raw.Sweeps == nullptr &&
               raw.SweepStartingProfileNo == nullptr && raw.Stylus.Items == nullptr && raw.LoadedFromDisk == 0;
    }
};

void ExpectMatrix(const Matrix4& m, float seed) {
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], seed + i);
}

void ExpectGeneratedProfiles(const RawData& raw, const GenFile& f) {
    ASSERT_EQ(raw.NumProfiles, static_cast<int32_t>(f.profiles.size()));
    for (size_t k = 0; k < f.profiles.size(); ++k) {
        SCOPED_TRACE(k);
        const GenProfile& g = f.profiles[k];
        const Profile& p = raw.Profiles[k];
        ASSERT_EQ(p.NumPoints, g.n);
        ExpectMatrix(p.WandRxMatrix, g.seed);
        ExpectMatrix(p.ReferenceRxMatrix, g.seed + 100);
        EXPECT_EQ(p.ReferenceEnabled, static_cast<int32_t>(g.seed) & 1);
        EXPECT_EQ(p.CameraDeviation, g.seed / 8);
        EXPECT_EQ(p.IsFiltered, f.version >= 3 ? 1 : 0);
        EXPECT_EQ(p.Extra, nullptr);
        if (f.version >= 4) {
            EXPECT_EQ(p.Flags, static_cast<int32_t>(g.seed) * 3);
            ExpectMatrix(p.RawReferenceRxMatrix, g.seed + 200);
            EXPECT_EQ(p.ReceiverStatus, 0x2041);
        } else {
            EXPECT_EQ(p.Flags, 0);
            EXPECT_EQ(p.ReceiverStatus, 0);
            EXPECT_EQ(p.RawReferenceRxMatrix[5], 0.0f);
        }
        for (int32_t i = 0; i < g.n; ++i) {
            const Vec3 want =
                g.n == 1 ? g.offset
                         : Vec3{g.packed[3 * i] * g.scale + g.offset.x, g.packed[3 * i + 1] * g.scale + g.offset.y,
                                g.packed[3 * i + 2] * g.scale + g.offset.z};
            EXPECT_EQ(p.Points[i].x, want.x);
            EXPECT_EQ(p.Points[i].y, want.y);
            EXPECT_EQ(p.Points[i].z, want.z);
            EXPECT_EQ(p.PointValues[i], 0);
        }
    }
}

TEST(KrvFile, ReadsGeneratedVersions) {
    for (int32_t version : {2, 3, 4}) {
        SCOPED_TRACE(version);
        const GenFile f = StandardFile(version);
        Scan scan;
        ASSERT_EQ(scan.Read(Generate(f)), kKrvOk);
        const RawData& raw = scan.raw;
        ExpectGeneratedProfiles(raw, f);
        EXPECT_EQ(raw.Header.FileRelease, version);
        EXPECT_EQ(raw.LoadedFromDisk, 1);
        EXPECT_NE(raw.Timestamp, 0.0);
        ExpectMatrix(raw.ScanAlignment, 900);
        ASSERT_EQ(raw.NumSweeps, 3);
        EXPECT_EQ(raw.TotalSweeps, 3);
        for (int s = 0; s <= 3; ++s) EXPECT_EQ(raw.SweepStartingProfileNo[s], f.starts[s]);
        EXPECT_EQ(raw.Sweeps[1].Flags & kSweepHidden, kSweepHidden);
        EXPECT_EQ(raw.Sweeps[0].Flags, 0u);  // identity transform: nothing pending
        EXPECT_EQ(raw.Sweeps[2].Flags, kSweepPendingTransform);
        ExpectMatrix(raw.Sweeps[2].PendingTransform, 502);
        EXPECT_EQ(raw.Sweeps[2].View.ViewOrigin.y, 4.0f);
        EXPECT_EQ(raw.Sweeps[2].View.ZoomFactor, 1.5f);
        EXPECT_EQ(raw.Sweeps[2].View.Options, 42u);
        EXPECT_EQ(raw.Sweeps[2].View.CoordinateSystem[5], 1.0f);
        // Sweep values: from each sweep's first profile; the empty sweep keeps the one before.
        const int32_t values[3] = {version >= 4 ? 11 : 0, version >= 4 ? 11 : 0, version >= 4 ? 33 : 0};
        for (int s = 0; s < 3; ++s) EXPECT_EQ(raw.Sweeps[s].HardwareValue, values[s]);
        ExpectMatrix(scan.view.ViewMatrix, 700);
        EXPECT_EQ(scan.view.CustomColours[15], 0x00102030u + 18);
        EXPECT_EQ(scan.view.Options, 0u) << "the view options are reset on reading";
        if (version >= 4) {
            EXPECT_EQ(raw.Header.WandSerialNumber, 31337);
            EXPECT_STREQ(raw.Header.ProgramVersion, "4.0.7");
            ASSERT_EQ(raw.Stylus.VisibleCount, 2);
            ExpectMatrix(raw.Stylus.Items[1].Pose, 1001);
            EXPECT_EQ(raw.Stylus.Items[0].Flags, 0x20u);  // masked to 0x60
            EXPECT_EQ(raw.Stylus.Items[1].Flags, 0x40u);
            EXPECT_EQ(raw.Stylus.Items[1].Group, 0);  // continues the line of item 0
            EXPECT_EQ(raw.Stylus.Items[1].Time, 78);
        } else {
            EXPECT_EQ(raw.Header.WandSerialNumber, -1);
            EXPECT_EQ(raw.Stylus.VisibleCount, 0);
        }
    }
}

TEST(KrvFile, EmptyFirstSweepTakesTheFirstProfilesValue) {
    GenFile f = StandardFile(4);
    f.starts = {0, 0, 2, 3};
    Scan scan;
    ASSERT_EQ(scan.Read(Generate(f)), kKrvOk);
    EXPECT_EQ(scan.raw.Sweeps[0].HardwareValue, 11);
}

TEST(KrvFile, StylusBlockAbsentOrCut) {
    GenFile absent = StandardFile(4);
    absent.stylus = -1;
    Scan a;
    ASSERT_EQ(a.Read(Generate(absent)), kKrvOk);
    EXPECT_EQ(a.raw.Stylus.VisibleCount, 0);
    EXPECT_EQ(a.raw.Stylus.Items, nullptr);

    GenFile cut = StandardFile(4);
    cut.cutStylusAfterFlags = true;
    Scan c;
    ASSERT_EQ(c.Read(Generate(cut)), kKrvOk);
    ASSERT_EQ(c.raw.Stylus.VisibleCount, 2);
    EXPECT_EQ(c.raw.Stylus.Items[0].Time, 0);
    EXPECT_EQ(c.raw.Stylus.Items[1].Time, 0);
}

// Offsets in the standard version-4 file, for the table of bad counts.
size_t ProfileCountAt() { return fh::kHeaderSize + 44; }

void PutI32(std::string& bytes, size_t at, int32_t v) { std::memcpy(&bytes[at], &v, 4); }

TEST(KrvFile, RefusesHeadersAndCountsOutsideTheFile) {
    const GenFile f = StandardFile(4);
    const std::string good = Generate(f);
    const size_t firstRecord = ProfileCountAt() + 4;
    const size_t afterProfiles = firstRecord + 3 * 240 + 6 * 4;
    const size_t startsAt = afterProfiles + 64 + 4;
    const size_t stylusAt = good.size() - (4 + 2 * 64 + 2 * 4 + 2 * 4);
    struct Case {
        const char* name;
        std::function<std::string()> make;
        int32_t result;
    };
    const Case cases[] = {
        {"version 5",
         [] {
             GenFile g = StandardFile(4);
             g.version = 5;
             return Generate(g);
         },
         kKrvBadVersion},
        {"version 1",
         [] {
             GenFile g = StandardFile(4);
             g.version = 1;
             return Generate(g);
         },
         kKrvBadVersion},
        {"another file type",
         [] {
             Gen g;
             g.Header(fh::FileType::Video, 4);
             return g.bytes + std::string(100, '\0');
         },
         kKrvNotThisFormat},
        {"not a header", [] { return std::string(2000, 'x'); }, kKrvNotThisFormat},
        {"empty", [] { return std::string(); }, kKrvNotThisFormat},
        {"negative profile count",
         [&] {
             auto b = good;
             PutI32(b, ProfileCountAt(), -1);
             return b;
         },
         kKrvReadError},
        {"huge profile count",
         [&] {
             auto b = good;
             PutI32(b, ProfileCountAt(), 1 << 30);
             return b;
         },
         kKrvReadError},
        {"577 points",
         [&] {
             auto b = good;
             PutI32(b, firstRecord, 577);
             return b;
         },
         kKrvReadError},
        {"negative points",
         [&] {
             auto b = good;
             PutI32(b, firstRecord, -3);
             return b;
         },
         kKrvReadError},
        {"negative sweep count",
         [&] {
             auto b = good;
             PutI32(b, startsAt - 4, -1);
             return b;
         },
         kKrvReadError},
        {"first start not 0",
         [&] {
             auto b = good;
             PutI32(b, startsAt, 1);
             return b;
         },
         kKrvReadError},
        {"falling start",
         [&] {
             auto b = good;
             PutI32(b, startsAt + 8, 1);
             return b;
         },
         kKrvReadError},
        {"last start not P",
         [&] {
             auto b = good;
             PutI32(b, startsAt + 12, 2);
             return b;
         },
         kKrvReadError},
        {"start past P",
         [&] {
             auto b = good;
             PutI32(b, startsAt + 4, 4);
             return b;
         },
         kKrvReadError},
        {"negative stylus count",
         [&] {
             auto b = good;
             PutI32(b, stylusAt, -1);
             return b;
         },
         kKrvReadError},
        {"stylus count past the end",
         [&] {
             auto b = good;
             PutI32(b, stylusAt, 1000);
             return b;
         },
         kKrvReadError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scan scan;
        scan.view.Options = 9;
        scan.view.DisplayType = 77;
        EXPECT_EQ(scan.Read(c.make()), c.result);
        EXPECT_TRUE(scan.Empty());
        EXPECT_EQ(scan.view.DisplayType, 77);  // the file's view is not taken
        EXPECT_EQ(scan.view.Options, 0u);
    }
    Scan sound;
    EXPECT_EQ(sound.Read(good), kKrvOk);
}

TEST(KrvFile, ASweepCountIsBackedByItsRecordsBeforeTheyAreMade) {
    // A million sweeps, every start 0, and no sweep record after them.
    Gen g;
    g.Header(fh::FileType::Scan, 4);
    g.I32(31337), g.I32(7), g.Zeros(32), g.I32(12);
    g.I32(0);
    g.Matrix(900);
    const int32_t sweeps = 1 << 20;
    g.I32(sweeps);
    g.Zeros(4 * (static_cast<size_t>(sweeps) + 1));
    Scan scan;
    g_largestRequest = 0;
    EXPECT_EQ(scan.Read(g.bytes), kKrvReadError);
    EXPECT_TRUE(scan.Empty());
    // The start table itself, grown as it is read, is the most it holds.
    EXPECT_LT(g_largestRequest, 3 * g.bytes.size());
}

TEST(KrvFile, AFirstStylusItemThatContinuesALineStartsTheFirstLine) {
    const GenFile f = StandardFile(4);
    std::string bytes = Generate(f);
    const size_t flagsAt = bytes.size() - (2 * 4 + 2 * 4);
    PutI32(bytes, flagsAt, 0x40);
    Scan scan;
    ASSERT_EQ(scan.Read(bytes), kKrvOk);
    const StylusItemList& list = scan.raw.Stylus;
    ASSERT_EQ(list.TotalCount, 2);
    EXPECT_EQ(list.Items[0].Group, 0);
    EXPECT_EQ(list.Items[0].Flags & kStylusLineMember, 0u);
    EXPECT_EQ(list.Items[1].Group, 0);  // continues it
    EXPECT_EQ(list.GroupCount, 1);
}

TEST(KrvFile, MissingFileGivesOne) {
    ScratchFolder folder;
    Scan scan;
    EXPECT_EQ(KrvFile_Load(folder.File("none.krv").c_str(), scan.raw, scan.view), kKrvNotOpened);
    EXPECT_TRUE(scan.Empty());
}

// Cuts at every length and byte flips: a result from 0 to 5, nothing kept on
// failure, never a crash or a leak (under the sanitizers).
TEST(KrvFile, MutationSweep) {
    const std::string good = Generate(StandardFile(4));
    const size_t stylusValuesAt = good.size() - 8;
    for (size_t cut = 0; cut < good.size(); ++cut) {
        Scan scan;
        const int32_t result = scan.Read(good.substr(0, cut));
        const size_t stylusAt = good.size() - (4 + 2 * 64 + 2 * 4 + 2 * 4);
        if (cut >= stylusValuesAt || (cut >= stylusAt && cut < stylusAt + 4)) {
            EXPECT_EQ(result, kKrvOk) << cut;  // item values or the whole optional block cut
        } else {
            EXPECT_GE(result, kKrvNotThisFormat) << cut;
            EXPECT_LE(result, kKrvOutOfMemory) << cut;
            EXPECT_TRUE(scan.Empty()) << cut;
        }
    }
    uint32_t state = 12345;
    for (int round = 0; round < 4000; ++round) {
        std::string bytes = good;
        for (int k = 0; k < 1 + round % 3; ++k) {
            state = state * 1664525u + 1013904223u;
            // Most flips into the body, some into the header's type and version.
            const size_t at = (state >> 8) % 8 == 0 ? fh::kTextBlockSize + (state >> 16) % 8
                                                    : fh::kHeaderSize + (state >> 12) % (good.size() - fh::kHeaderSize);
            bytes[at] = static_cast<char>(bytes[at] ^ (1u << ((state >> 4) % 8)));
        }
        Scan scan;
        const int32_t result = scan.Read(bytes);
        EXPECT_TRUE(result == kKrvOk || (result >= kKrvNotThisFormat && result <= kKrvOutOfMemory)) << round;
        if (result != kKrvOk) EXPECT_TRUE(scan.Empty()) << round;
    }
}

// ---- The writers ----------------------------------------------------------------------

// A scan of three sweeps: a spread profile, a one-point profile, coincident
// points, an empty profile; two stylus items on one line.
struct WrittenScan : Scan {
    WrittenScan() {
        const int32_t counts[4] = {200, 1, 5, 0};
        raw.NumProfiles = raw.TotalProfiles = raw.MaxProfiles = 4;
        raw.Profiles = static_cast<Profile*>(std::calloc(4, sizeof(Profile)));
        for (int p = 0; p < 4; ++p) {
            Profile& profile = raw.Profiles[p];
            profile.NumPoints = counts[p];
            profile.Points = static_cast<Vec3*>(std::calloc(counts[p] + 1, sizeof(Vec3)));
            for (int i = 0; i < counts[p]; ++i)
                profile.Points[i] =
                    p == 2 ? Vec3{-3.25f, 8.5f, 1e-3f}
                           : Vec3{std::sin(i * 0.37f) * 120.0f + p, std::cos(i * 0.11f) * 33.0f, i * 0.05f - 400.0f};
            profile.WandRxMatrix = SeedMatrix(10.0f * p);
            profile.ReferenceRxMatrix = SeedMatrix(10.0f * p + 1);
            profile.RawReferenceRxMatrix = SeedMatrix(10.0f * p + 2);
            profile.ReferenceEnabled = p & 1;
            profile.CameraDeviation = 0.125f * p;
            profile.Flags = 0x10 + p;
            profile.ReceiverStatus = 0x2000 + p;
        }
        raw.NumSweeps = 3;
        raw.MaxSweeps = 3;
        raw.SweepStartingProfileNo = static_cast<int32_t*>(std::calloc(4, sizeof(int32_t)));
        const int32_t starts[4] = {0, 2, 2, 4};
        std::memcpy(raw.SweepStartingProfileNo, starts, sizeof starts);
        raw.Sweeps = static_cast<SweepRecord*>(std::calloc(4, sizeof(SweepRecord)));
        raw.Sweeps[0].HardwareValue = 5;
        raw.Sweeps[1].HardwareValue = 5;
        raw.Sweeps[2].HardwareValue = 9;
        raw.Sweeps[1].Flags = kSweepHidden;
        raw.Sweeps[2].Flags = kSweepPendingTransform;
        raw.Sweeps[2].PendingTransform = SeedMatrix(3);
        raw.Sweeps[2].View.ZoomFactor = 2.5f;
        raw.Sweeps[2].View.Options = 6;
        raw.ScanAlignment = SeedMatrix(77);
        raw.Header.WandSerialNumber = 42;
        raw.Header.DriverVersion = 3;
        std::strcpy(raw.Header.ProgramVersion, "4.0.7");
        raw.Edited = raw.ProcessedChanged = 1;
        raw.Stylus.Items = static_cast<StylusItem*>(std::calloc(2, sizeof(StylusItem)));
        raw.Stylus.TotalCount = raw.Stylus.VisibleCount = raw.Stylus.Capacity = 2;
        raw.Stylus.Items[0].Flags = kStylusLineHead | kStylusSelected;
        raw.Stylus.Items[1].Flags = kStylusLineMember;
        raw.Stylus.Items[0].Pose = SeedMatrix(60);
        raw.Stylus.Items[1].Time = 1234;
        view.ViewMatrix = SeedMatrix(80);
        view.Options = 3;
    }
};

TEST(KrvFile, WriterRoundTripAndQuantisation) {
    ScratchFolder folder;
    const std::string path = folder.File("scan.krv");
    WrittenScan written;
    ASSERT_EQ(KrvFile_Save(path.c_str(), written.raw, written.view), kKrvOk);
    EXPECT_EQ(written.raw.Edited, 0);
    EXPECT_EQ(written.raw.ProcessedChanged, 0);
    EXPECT_EQ(written.raw.Header.FileRelease, 4);

    const auto bytes = ReadWholeFile(path);
    const std::string text(bytes.begin(), bytes.begin() + 1024);
    EXPECT_NE(text.find("Wand S/N:  00042\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Reference: Transmitter\n"), std::string::npos);

    Scan read;
    ASSERT_EQ(KrvFile_Load(path.c_str(), read.raw, read.view), kKrvOk);
    const RawData& a = written.raw;
    const RawData& b = read.raw;
    ASSERT_EQ(b.NumProfiles, 4);
    for (int p = 0; p < 4; ++p) {
        SCOPED_TRACE(p);
        const Profile& x = a.Profiles[p];
        const Profile& y = b.Profiles[p];
        ASSERT_EQ(y.NumPoints, x.NumPoints);
        EXPECT_EQ(std::memcmp(&y.WandRxMatrix, &x.WandRxMatrix, 64), 0);
        EXPECT_EQ(std::memcmp(&y.RawReferenceRxMatrix, &x.RawReferenceRxMatrix, 64), 0);
        EXPECT_EQ(y.ReferenceEnabled, x.ReferenceEnabled);
        EXPECT_EQ(y.CameraDeviation, x.CameraDeviation);
        EXPECT_EQ(y.Flags, x.Flags);
        EXPECT_EQ(y.ReceiverStatus, x.ReceiverStatus);
        float lo[3] = {1e10f, 1e10f, 1e10f}, hi[3] = {-1e10f, -1e10f, -1e10f};
        for (int i = 0; i < x.NumPoints; ++i) {
            const float v[3] = {x.Points[i].x, x.Points[i].y, x.Points[i].z};
            for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], v[k]), hi[k] = std::max(hi[k], v[k]);
        }
        const float extent = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2], 0.0f});
        const float bound = extent / 65520.0f * (0.5f + 0.00001f) + 1e-4f;
        for (int i = 0; i < x.NumPoints; ++i) {
            if (p == 1 || p == 2) {  // one point and coincident points are exact
                EXPECT_EQ(std::memcmp(&y.Points[i], &x.Points[i], sizeof(Vec3)), 0);
            } else {
                EXPECT_NEAR(y.Points[i].x, x.Points[i].x, bound);
                EXPECT_NEAR(y.Points[i].y, x.Points[i].y, bound);
                EXPECT_NEAR(y.Points[i].z, x.Points[i].z, bound);
            }
        }
    }
    ASSERT_EQ(b.NumSweeps, 3);
    for (int s = 0; s <= 3; ++s) EXPECT_EQ(b.SweepStartingProfileNo[s], a.SweepStartingProfileNo[s]);
    EXPECT_EQ(b.Sweeps[0].HardwareValue, 5);
    EXPECT_EQ(b.Sweeps[1].HardwareValue, 5);
    EXPECT_EQ(b.Sweeps[2].HardwareValue, 9);
    EXPECT_EQ(b.Sweeps[1].Flags, kSweepHidden);
    EXPECT_EQ(b.Sweeps[2].Flags, kSweepPendingTransform);
    EXPECT_EQ(std::memcmp(&b.Sweeps[2].PendingTransform, &a.Sweeps[2].PendingTransform, 64), 0);
    EXPECT_EQ(b.Sweeps[2].View.ZoomFactor, 2.5f);
    EXPECT_EQ(b.Sweeps[2].View.Options, 6u);
    EXPECT_EQ(std::memcmp(&b.ScanAlignment, &a.ScanAlignment, 64), 0);
    EXPECT_EQ(b.Header.WandSerialNumber, 42);
    EXPECT_STREQ(b.Header.ProgramVersion, "4.0.7");
    ASSERT_EQ(b.Stylus.VisibleCount, 2);
    EXPECT_EQ(b.Stylus.Items[0].Flags, kStylusLineHead);
    EXPECT_EQ(b.Stylus.Items[1].Flags, kStylusLineMember);
    EXPECT_EQ(b.Stylus.Items[1].Group, 0);
    EXPECT_EQ(b.Stylus.Items[1].Time, 1234);
    EXPECT_EQ(std::memcmp(&b.Stylus.Items[0].Pose, &a.Stylus.Items[0].Pose, 64), 0);
    EXPECT_EQ(std::memcmp(&read.view.ViewMatrix, &written.view.ViewMatrix, 64), 0);
    EXPECT_EQ(read.view.Options, 0u);

    // Without stylus items no count is written and none comes back.
    StylusItems_Free(written.raw.Stylus);
    ASSERT_EQ(KrvFile_Save(path.c_str(), written.raw, written.view), kKrvOk);
    EXPECT_EQ(ReadWholeFile(path).size(), bytes.size() - (4 + 2 * 64 + 2 * 4 + 2 * 4));
    Scan again;
    ASSERT_EQ(KrvFile_Load(path.c_str(), again.raw, again.view), kKrvOk);
    EXPECT_EQ(again.raw.Stylus.VisibleCount, 0);
}

TEST(KrvFile, PackingEdgeCases) {
    struct Case {
        const char* name;
        std::vector<Vec3> points;
        float scale;
    };
    const Case cases[] = {
        {"none", {}, 0.0f},
        {"one point", {{1.5f, -2.0f, 3.0f}}, 0.0f},
        {"coincident", {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}}, 0.0f},
        {"equal extents pick x", {{0, 0, 0}, {6552, 6552, 6552}}, 0.1f},
        {"z largest", {{0, 0, 0}, {1, 2, 65520}}, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Profile profile{};
        std::vector<Vec3> points = c.points;
        profile.NumPoints = static_cast<int32_t>(points.size());
        profile.Points = points.data();
        std::vector<uint16_t> packed(points.size() * 3 + 3, 0xFFFF);
        Vec3 offset{9, 9, 9};
        float scale = -1;
        KrvFile_PackShortPoints(profile, packed.data(), offset, scale);
        EXPECT_FLOAT_EQ(scale, c.scale);
        std::vector<Vec3> back(points.size());
        if (!points.empty()) KrvFile_UnpackShortPoints(profile.NumPoints, offset, scale, packed.data(), back.data());
        for (size_t i = 0; i < points.size(); ++i) {
            EXPECT_NEAR(back[i].x, points[i].x, scale * 0.5f + 1e-6f);
            EXPECT_NEAR(back[i].z, points[i].z, scale * 0.5f + 1e-6f);
        }
    }
}

struct DiskFull {
    explicit DiskFull(std::int64_t bytes) { files::SetSafeWriteDiskFullAfterForTesting(bytes); }
    ~DiskFull() { files::SetSafeWriteDiskFullAfterForTesting(-1); }
};

TEST(KrvFile, FailedWritesLeaveTheOldFile) {
    ScratchFolder folder;
    WrittenScan scan;
    for (const char* name : {"scan.krv", "scan.vid"}) {
        SCOPED_TRACE(name);
        const std::string path = folder.File(name);
        const bool krv = std::string(name).find(".krv") != std::string::npos;
        const std::vector<unsigned char> old = {'o', 'l', 'd'};
        WriteWholeFile(path, old);
        scan.raw.Edited = 1;
        {
            DiskFull full(1500);
            const int32_t result =
                krv ? KrvFile_Save(path.c_str(), scan.raw, scan.view) : VidFile_Save(scan.raw, path.c_str());
            EXPECT_EQ(result, kKrvWriteFailed);
        }
        EXPECT_EQ(ReadWholeFile(path), old);
        EXPECT_EQ(scan.raw.Edited, 1) << "a failed write leaves the scan unsaved";
        EXPECT_EQ(folder.Names().size(), krv ? 1u : 2u) << "no temporary left";
    }
    const std::string nowhere = folder.File("missing/scan.krv");
    EXPECT_EQ(KrvFile_Save(nowhere.c_str(), scan.raw, scan.view), kKrvNotOpened);
    EXPECT_EQ(VidFile_Save(scan.raw, folder.File("missing/scan.vid").c_str()), kKrvNotOpened);
}

TEST(KrvFile, WriterRefusesOversizedProfiles) {
    ScratchFolder folder;
    WrittenScan scan;
    scan.raw.Profiles[3].NumPoints = kMaxProfilePoints + 1;
    const std::string path = folder.File("big.krv");
    EXPECT_EQ(KrvFile_Save(path.c_str(), scan.raw, scan.view), kKrvWriteFailed);
    EXPECT_TRUE(folder.Names().empty());
    scan.raw.Profiles[3].NumPoints = 0;
}

TEST(VidFile, WritesTheLineLogs) {
    ScratchFolder folder;
    WrittenScan scan;
    // Profile 0 keeps a line log of three samples; the others have none.
    auto* log = static_cast<ProfileExtra*>(std::calloc(1, sizeof(ProfileExtra)));
    log->Count = 3;
    for (int a = 0; a < 5; ++a) {
        log->Arrays[a] = std::calloc(3, 4);
        for (int i = 0; i < 3; ++i) static_cast<int32_t*>(log->Arrays[a])[i] = 100 * a + i;
    }
    scan.raw.Profiles[0].Extra = log;
    const std::string path = folder.File("wand.vid");
    ASSERT_EQ(VidFile_Save(scan.raw, path.c_str()), kKrvOk);
    EXPECT_EQ(scan.raw.Edited, 0);

    const auto file = ReadWholeFile(path);
    std::istringstream check(std::string(file.begin(), file.end()));
    fh::FileHeader header;
    header.type = fh::FileType::Video;
    fh::Read(header, check);
    EXPECT_EQ(header.version, 3);
    std::string body((std::istreambuf_iterator<char>(check)), {});
    Gen want;
    want.I32(4);
    for (int p = 0; p < 4; ++p) {
        const Profile& profile = scan.raw.Profiles[p];
        want.Raw(&profile.WandRxMatrix, 64);
        want.I32(profile.ReferenceEnabled);
        want.Raw(&profile.ReferenceRxMatrix, 64);
        want.I32(p == 0 ? 3 : 0);
        if (p == 0)
            for (int a = 0; a < 4; ++a)
                for (int i = 0; i < 3; ++i) want.I32(100 * a + i);
    }
    EXPECT_EQ(body, want.bytes);
}

}  // namespace
