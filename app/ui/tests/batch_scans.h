// Scan files for the batch tests: sweeps of profiles over a gentle dome seen
// from above, processed and saved as ".tvn" files (and a copy cut short).
#pragma once

#include "app/scan/profile_processing.h"
#include "app/scan/tests/scan_record_fixture.h"
#include "app/scanfile/scan_file.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace batch_test {

inline float DomeHeight(float x, float y) { return 20.0f - (x * x + y * y) / 150.0f; }

// Writes a scan of `sweeps` sweeps of `profiles` profiles of `points` points
// each (1 mm apart) to `path`; returns the processed scan's facet count, -1
// when the file could not be written.
inline int32_t WriteDomeScan(const std::string& path, int sweeps = 2, int profiles = 24, int points = 40) {
    scan_test::TestScan scan;
    RawData& raw = scan.raw();
    for (int s = 0; s < sweeps; ++s) {
        for (int p = 0; p < profiles; ++p) {
            const float y = -12.0f + static_cast<float>(p) + 0.5f * static_cast<float>(s);
            scan_test::OwnedProfile owned;
            for (int k = 0; k < points; ++k) {
                const float x = -20.0f + static_cast<float>(k);
                owned.points.push_back(Vec3{x, y, DomeHeight(x, y)});
            }
            owned.values.assign(owned.points.size(), 10);
            owned.profile.WandRxMatrix = scan_test::WandLookingDown(0.0f, y, 100.0f);
            M4_Identity(owned.profile.ReferenceRxMatrix);
            scan.Append(owned.Get());
        }
        scan.CloseSweep();
    }
    if (Scan_ProcessNewProfiles(raw, 0, 4.0f) != kScanProcessOk) return -1;
    GeneralSettings settings{};
    GeneralSettings_SetDefaults(settings, 0x00FFFFFF, 0);
    ViewSettings view{};
    ViewSettings_SetDefaults(view);
    SurfaceRecord basic{}, rbf{};
    SurfaceRecord* current = &basic;
    SurfacePair pair{&basic, &rbf, &current};
    ScanFileSaveContext context;
    context.mode = kScanFileModeScan;
    context.view = &view;
    char error[kScanFileErrorTextSize] = "";
    if (!TVNFile_Save(pair, path.c_str(), false, false, &raw, &settings, context, error)) return -1;
    return raw.NumFacets;
}

// A copy of the file with only its first `keep` bytes.
inline bool WriteTruncatedCopy(const std::string& from, const std::string& to, size_t keep) {
    std::ifstream in(from, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() <= keep) return false;
    std::ofstream out(to, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(keep));
    return static_cast<bool>(out);
}

}  // namespace batch_test
