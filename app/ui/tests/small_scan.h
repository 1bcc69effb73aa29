// A scan of profiles with the given point counts, for tests of what reads a
// scan by profile and point; point k of profile p lies at (p, k, 0).
#pragma once

#include "app/scan/raw_data.h"

#include <cstdlib>
#include <vector>

struct SmallScan {
    explicit SmallScan(std::vector<int> counts) {
        raw = static_cast<RawData*>(std::calloc(1, sizeof(RawData)));
        profiles.resize(counts.size());
        points.resize(counts.size());
        for (size_t p = 0; p < counts.size(); ++p) {
            for (int k = 0; k < counts[p]; ++k)
                points[p].push_back({static_cast<float>(p), static_cast<float>(k), 0.0f});
            profiles[p].NumPoints = counts[p];
            profiles[p].Points = points[p].data();
        }
        raw->Profiles = profiles.data();
        raw->NumProfiles = static_cast<int32_t>(counts.size());
    }
    ~SmallScan() { std::free(raw); }
    SmallScan(const SmallScan&) = delete;
    SmallScan& operator=(const SmallScan&) = delete;
    RawData* raw;
    std::vector<Profile> profiles;
    std::vector<std::vector<Vec3>> points;
};
