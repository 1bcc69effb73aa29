// A scan document for the scan-file tests: the scan record with its own
// blocks, both surfaces, settings, view, history and foreign items, with a
// recording stand-in for the surface library's context; and a scan made the
// program's way (profiles of a wavy surface, processed into points and
// facets) with every kind of state the file carries.
#pragma once

#include "app/scan/profile_processing.h"
#include "app/scan/tests/scan_record_fixture.h"
#include "app/scanfile/scan_file.h"
#include "app/scanfile/scan_fit_seam.h"
#include "app/scanfile/scan_file_items.h"

#include "app/files/container_keys.h"
#include "app/files/item_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

class RecordingFit : public ScanFitSeam {
  public:
    bool loaded = true;
    int clears = 0;
    std::vector<LoadedFit> handed;
    bool LibraryLoaded() override { return loaded; }
    void Clear() override { ++clears; }
    void Hand(const LoadedFit& fit) override { handed.push_back(fit); }
};

struct ScanDocument {
    scan_test::TestScan scan;
    SurfaceRecord basic{};
    SurfaceRecord rbf{};
    SurfaceRecord* current = &basic;
    GeneralSettings settings{};
    ViewSettings view{};
    ItemMetadata* history = nullptr;
    ForeignItemList foreign;
    RecordingFit fit;
    int32_t mode = kScanFileModeScan;
    char error[kScanFileErrorTextSize] = {};

    ScanDocument() {
        GeneralSettings_SetDefaults(settings, 0x00FFFFFF, 0);
        ViewSettings_SetDefaults(view);
    }
    ~ScanDocument() {
        Surface_Free(basic);
        Surface_Free(rbf);
        ItemMeta_Free(history);
    }
    RawData& raw() { return scan.raw(); }
    SurfacePair Pair() { return SurfacePair{&basic, &rbf, &current}; }

    bool Save(const std::string& path, bool basicShifts = true, bool rbfShifts = true) {
        ScanFileSaveContext context{mode, &view, history, &foreign};
        const SurfacePair pair = Pair();
        return TVNFile_Save(pair, path.c_str(), basicShifts, rbfShifts, &raw(), &settings, context, error);
    }
    // Everything the document holds, as the document's open does it; the
    // scan keeps its blocks when none are given.
    bool Load(const std::string& path, ScanBlocks* blocks = nullptr) {
        ItemMeta_Free(history);
        history = nullptr;
        const SurfacePair pair = Pair();
        return TVNFile_Load(path.c_str(), &raw(), &history, &foreign, &pair, &fit, &settings, &view, blocks, error,
                            &mode);
    }
};

namespace scan_file_test {


// The paths whose items differ between two saves, or that only one holds.
inline std::vector<std::string> ChangedItems(const std::map<std::string, std::string>& a,
                                             const std::map<std::string, std::string>& b) {
    std::vector<std::string> changed;
    for (const auto& [name, bytes] : a) {
        auto other = b.find(name);
        if (other == b.end() || other->second != bytes) changed.push_back(name);
    }
    for (const auto& entry : b)
        if (!a.count(entry.first)) changed.push_back(entry.first);
    return changed;
}

inline Matrix4 Translation(float x, float y, float z) {
    Matrix4 m;
    M4_MakeTranslation(Vec3{x, y, z}, m);
    return m;
}

// One profile of the surface z = 4 sin(x / 15) + 3 cos(y / 20) seen from a
// wand above (0, y); `reference` moves it into reference coordinates.
inline scan_test::OwnedProfile WavyProfile(float y, int n, const Matrix4* reference) {
    scan_test::OwnedProfile p;
    for (int k = 0; k < n; ++k) {
        const float x = -40.0f + 0.8f * k;
        p.points.push_back(Vec3{x, y, 4.0f * std::sin(x / 15.0f) + 3.0f * std::cos(y / 20.0f)});
        p.values.push_back(40 + k % 200);
    }
    p.profile.WandRxMatrix = scan_test::WandLookingDown(0.0f, y, 100.0f);
    M4_Identity(p.profile.ReferenceRxMatrix);
    M4_Identity(p.profile.RawReferenceRxMatrix);
    if (reference) {
        p.profile.ReferenceEnabled = 1;
        p.profile.ReferenceRxMatrix = p.profile.RawReferenceRxMatrix = *reference;
    }
    p.profile.ScanTime = static_cast<int32_t>(1000 + 10 * y);
    p.profile.ReceiverStatus = y > 10.0f ? 0x0102 : 0x0001;
    return p;
}

inline StylusItem Item(uint32_t flags, int32_t group, float x, float y, float z, int32_t time) {
    StylusItem item{};
    item.Flags = flags;
    M4_MakeRotationY(30.0f + x, item.Pose);
    item.Pose[12] = x, item.Pose[13] = y, item.Pose[14] = z;
    item.FourthPose = item.Pose;
    item.Group = group;
    item.Time = time;
    return item;
}

// The extra item that starts a line: no pose, no time of its own.
inline StylusItem LineHead(uint32_t flags, int32_t group) {
    StylusItem head{};
    head.Flags = kStylusLineHead | flags;
    head.Group = group;
    return head;
}

// Points 0..n-1 and a fan of facets: a small mesh.
inline void FillSurface(SurfaceRecord& s, int n, float lift, bool weights) {
    s.NumPoints = s.MaxPoints = n;
    s.Points = static_cast<Vec3*>(std::calloc(n, sizeof(Vec3)));
    s.PointNormals = static_cast<Vec3*>(std::calloc(n, sizeof(Vec3)));
    s.Greyscale = static_cast<uint8_t*>(std::calloc(n, 1));
    if (weights) {
        s.Weights = static_cast<float*>(std::calloc(n, sizeof(float)));
        s.Resolutions = static_cast<float*>(std::calloc(n, sizeof(float)));
    }
    for (int k = 0; k < n; ++k) {
        s.Points[k] = Vec3{std::cos(k * 0.7f) * 10.0f, std::sin(k * 0.7f) * 10.0f, lift + k * 0.1f};
        s.Greyscale[k] = static_cast<uint8_t>(k % 2 ? 255 : 17 * k);
    }
    s.NumFacets = s.MaxFacets = n - 2;
    s.Facets = static_cast<int32_t*>(std::calloc(3 * (n - 2), sizeof(int32_t)));
    s.FacetNormals = static_cast<Vec3*>(std::calloc(n - 2, sizeof(Vec3)));
    for (int f = 0; f < n - 2; ++f) {
        s.Facets[3 * f] = 0;
        s.Facets[3 * f + 1] = f + 1;
        s.Facets[3 * f + 2] = f + 2;
    }
}

// A scan with three sweeps processed the program's way, the last of them
// undone; a hidden sweep, a pending transformation, selected and erased
// points with undone steps, refraction, calibration history and landmarks.
inline void BuildRichScan(ScanDocument& doc) {
    RawData& raw = doc.raw();
    const Matrix4 reference = Translation(5.0f, -3.0f, 2.0f);
    const int sweeps[3][2] = {{0, 12}, {20, 9}, {40, 6}};  // first y, profiles
    for (int s = 0; s < 3; ++s) {
        for (int p = 0; p < sweeps[s][1]; ++p) {
            scan_test::OwnedProfile profile =
                WavyProfile(static_cast<float>(sweeps[s][0] + p), 60 + 7 * s + (p % 3), s == 1 ? &reference : nullptr);
            doc.scan.Append(profile.Get());
        }
        doc.scan.CloseSweep();
    }
    ASSERT_EQ(Scan_ProcessNewProfiles(raw, 3, 4.0f), kScanProcessOk);
    ASSERT_EQ(raw.NumSweeps, 3);
    for (int s = 0; s < 3; ++s) raw.Sweeps[s].InitTime = 500.0 + s;
    raw.Sweeps[1].Flags |= kSweepHidden;
    raw.Sweeps[0].Flags |= kSweepPendingTransform;
    M4_MakeRotationZ(5.0f, raw.Sweeps[0].PendingTransform);
    raw.Sweeps[0].PendingTransform[12] = 1.5f;
    // The third sweep undone.
    raw.NumSweeps = 2;
    raw.NumProfiles = raw.SweepStartingProfileNo[2];

    // Selection levels 1..3 (3 undone), erase levels 1..2 (2 undone).
    for (int32_t i = 0; i < raw.NumPoints; ++i) {
        uint32_t select = (i % 7 == 0) ? 1 : (i % 11 == 0) ? 2 : (i % 13 == 0) ? 3 : 0;
        uint32_t erase = (i % 5 == 0) ? 1 : (i % 17 == 0) ? 2 : 0;
        raw.Points[i].Flags = select | (erase << kPointEraseShift);
    }
    raw.SelectionLimit = 2;
    raw.SelectionLevelTop = 3;
    raw.EditLimit = 1;
    raw.EditLevelTop = 2;

    ScanHeader& h = raw.Header;
    std::strcpy(h.ProgramVersion, "3.1.4-beta");
    h.DriverVersion = 7;
    h.WandSerialNumber = 4242;
    h.VideoProcessorRevision = 2;
    h.WandReceiverOffset = Translation(-118.0f, 1.0f, -9.5f);
    h.Corrections.LineTweak[3][1] = 0.25f;
    h.Corrections.NewDeviation[9] = 1.5f;
    std::strcpy(h.Corrections.Date[2], "2026-12-01 10:00");
    std::strcpy(h.CalibrationCreated, "2026-11-30");
    raw.RefractionCorrected = 1;
    raw.Refraction = RefractionSettings{4.0f, 1.5f, -2.0f, 1, 0};
    raw.Timestamp = 1.7e9;

    StylusItemList& list = raw.Stylus;
    const StylusItem items[] = {
        Item(0, 0, 1, 2, 3, 11),
        Item(kStylusHidden | kStylusOnScan, 1, 4, 5, 6, 12),
        LineHead(kStylusInverted | kStylusOnScan, 2),
        Item(kStylusLineMember | kStylusOnBasic | kStylusOnScan, 2, 7.5f, 8, 9, 14),
        Item(kStylusLineMember, 2, 8, 8, 9, 15),
        Item(kStylusInverted | kStylusOnBasic, 3, -1, -2, -3, 16),
        Item(0, 4, 50, 50, 50, 17),  // an undone group
    };
    list.Capacity = list.TotalCount = 7;
    list.VisibleCount = 6;
    list.GroupCount = 4;
    list.Items = static_cast<StylusItem*>(std::malloc(sizeof items));
    std::memcpy(list.Items, items, sizeof items);
    list.Items[1].ScanPose = Translation(4.5f, 5, 6);
    list.Items[1].ScanDistance = 0.5f;
    list.Items[2].ScanDistance = 0.25f;  // its farthest placed member's
    list.Items[3].ScanPose = list.Items[3].Pose;
    list.Items[3].ScanPose[13] += 0.25f;
    list.Items[3].ScanDistance = 0.25f;
    list.Items[3].BasicPose = list.Items[3].Pose;
    list.Items[3].BasicPose[14] += 2.0f;
    list.Items[3].BasicDistance = 2.0f;
    list.Items[5].BasicPose = list.Items[5].Pose;
    list.Items[5].BasicPose[12] += 1.0f;
    list.Items[5].BasicDistance = 1.0f;
    list.Items[5].FourthPose = Translation(1, 1, 1);
}

}  // namespace scan_file_test
