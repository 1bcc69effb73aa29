// A scan record for tests of profile processing: small reserved blocks,
// profiles appended and sweeps closed as scan control does it.
#pragma once

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "app/scan/raw_data.h"

namespace scan_test {

class TestScan {
public:
    // blockBytes: the reservation of each of the three blocks.
    explicit TestScan(std::size_t blockBytes = 16u << 20)
        : raw_(static_cast<RawData*>(std::calloc(1, sizeof(RawData)))), reserved_(blockBytes) {
        ScanBlocks_Init(blocks_);
        RefuseGrowth(false);
        RawData_AttachBlocks(*raw_, blocks_);
        RawData_GrowSweeps(*raw_);
    }
    ~TestScan() {
        RefuseGrowth(false);
        RawData_FreeArrays(*raw_);
        ScanBlocks_Free(blocks_);
        std::free(raw_);
    }
    TestScan(const TestScan&) = delete;
    TestScan& operator=(const TestScan&) = delete;

    RawData& raw() { return *raw_; }

    // Makes every growth of the blocks fail (as when the system refuses to
    // commit more memory) or succeed again.
    void RefuseGrowth(bool refuse) {
        for (BigBuffer* b : {&blocks_.Points, &blocks_.Facets, &blocks_.FacetNormals})
            b->ReservedSize = refuse ? b->CommittedSize : reserved_;
    }

    // Appends a copy of the profile (own copies of its arrays) to the open
    // sweep.
    void Append(const Profile& p) {
        RawData& r = *raw_;
        RawData_GrowProfiles(r, 500);
        Profile copy = p;
        copy.Extra = nullptr;
        copy.Points = static_cast<Vec3*>(std::malloc(sizeof(Vec3) * (p.NumPoints > 0 ? p.NumPoints : 1)));
        copy.PointValues = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * (p.NumPoints > 0 ? p.NumPoints : 1)));
        if (p.NumPoints > 0) {
            std::memcpy(copy.Points, p.Points, sizeof(Vec3) * p.NumPoints);
            if (p.PointValues)
                std::memcpy(copy.PointValues, p.PointValues, sizeof(int32_t) * p.NumPoints);
            else
                std::memset(copy.PointValues, 0, sizeof(int32_t) * p.NumPoints);
        }
        r.Profiles[r.TotalProfiles] = copy;
        ++r.TotalProfiles;
        r.NumProfiles = r.TotalProfiles;
    }

    // Closes the open sweep and opens the next one.
    void CloseSweep() {
        RawData& r = *raw_;
        ++r.TotalSweeps;
        r.NumSweeps = r.TotalSweeps;
        RawData_GrowSweeps(r);
        r.SweepStartingProfileNo[r.TotalSweeps] = r.TotalProfiles;
    }

private:
    ScanBlocks blocks_;
    RawData* raw_;
    std::size_t reserved_;
};

// A profile that owns its arrays, for building test input.
struct OwnedProfile {
    std::vector<Vec3> points;
    std::vector<int32_t> values;
    Profile profile{};

    // The record with pointers into the vectors (valid while they live).
    const Profile& Get() {
        profile.NumPoints = static_cast<int32_t>(points.size());
        profile.Points = points.data();
        if (values.size() < points.size()) values.resize(points.size(), 10);
        profile.PointValues = values.data();
        return profile;
    }
};

// A wand looking down the scan's -z axis from height `height` above (x, y):
// the sensor's x axis along -z, its y axis along +x.
inline Matrix4 WandLookingDown(float x, float y, float height) {
    Matrix4 m;
    M4_Identity(m);
    m[0] = 0, m[1] = 0, m[2] = -1;
    m[4] = 1, m[5] = 0, m[6] = 0;
    m[8] = 0, m[9] = -1, m[10] = 0;
    m[12] = x, m[13] = y, m[14] = height;
    return m;
}

// A profile of the plane z = 0 seen from a wand at (0, y, 100): n points along
// x from x0 with the given spacing.
inline OwnedProfile PlaneProfile(float y, int n, float spacing = 0.5f, float x0 = -50.0f) {
    OwnedProfile p;
    for (int k = 0; k < n; ++k) p.points.push_back(Vec3{x0 + spacing * k, y, 0.0f});
    p.values.assign(n, 10);
    p.profile.WandRxMatrix = WandLookingDown(0.0f, y, 100.0f);
    M4_Identity(p.profile.ReferenceRxMatrix);
    return p;
}

}  // namespace scan_test
