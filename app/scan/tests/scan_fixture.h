// A small scan for the tests: sweeps of profiles whose points lie on short
// lines, processed into scan points (one a profile point, in order) and facet
// strips between consecutive profiles of equal length.
#pragma once

#include "app/scan/raw_data.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

class ScanFixture {
public:
    RawData& raw;
    ScanBlocks blocks;

    ScanFixture() : raw(*static_cast<RawData*>(std::calloc(1, sizeof(RawData)))) {
        ScanBlocks_Init(blocks);
        // Test scans are small; a few megabytes of address space do.
        blocks.Points.ReservedSize = blocks.Facets.ReservedSize = blocks.FacetNormals.ReservedSize = 4u << 20;
        RawData_AttachBlocks(raw, blocks);
    }
    ~ScanFixture() {
        RawData_FreeArrays(raw);
        ScanBlocks_Free(blocks);
        std::free(&raw);
    }
    ScanFixture(const ScanFixture&) = delete;
    ScanFixture& operator=(const ScanFixture&) = delete;

    // Appends a sweep with one profile per count. Side 0 profiles run along
    // (0, 1, 1), side 1 profiles along (0, 1, -1).
    void AddSweep(const std::vector<int>& counts, const std::vector<int>& sides = {}) {
        ASSERT_TRUE(RawData_GrowSweeps(raw));
        const int32_t s = raw.TotalSweeps;
        std::memset(&raw.Sweeps[s], 0, sizeof(SweepRecord));
        for (size_t k = 0; k < counts.size(); ++k) {
            ASSERT_TRUE(RawData_GrowProfiles(raw, 500));
            Profile& p = raw.Profiles[raw.NumProfiles];
            std::memset(&p, 0, sizeof p);
            M4_Identity(p.WandRxMatrix);
            M4_Identity(p.ReferenceRxMatrix);
            M4_Identity(p.RawReferenceRxMatrix);
            p.NumPoints = counts[k];
            if (counts[k] > 0) {
                p.Points = static_cast<Vec3*>(std::malloc(sizeof(Vec3) * counts[k]));
                p.PointValues = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * counts[k]));
            }
            const float dz = (k < sides.size() && sides[k] == 1) ? -1.0f : 1.0f;
            for (int j = 0; j < counts[k]; ++j) {
                p.Points[j] = Vec3{static_cast<float>(raw.NumProfiles), 10.0f * s + j, dz * j};
                p.PointValues[j] = raw.NumProfiles * 1000 + j;
            }
            ++raw.NumProfiles;
            ++raw.TotalProfiles;
        }
        raw.SweepStartingProfileNo[s + 1] = raw.NumProfiles;
        ++raw.NumSweeps;
        ++raw.TotalSweeps;
    }

    // Makes the points and facets of every sweep held, as processing would.
    void Process() {
        int32_t points = 0;
        int32_t facets = 0;
        for (int32_t p = 0; p < raw.TotalProfiles; ++p) points += raw.Profiles[p].NumPoints;
        for (int32_t s = 0; s < raw.TotalSweeps; ++s)
            for (int32_t p = raw.SweepStartingProfileNo[s]; p + 1 < raw.SweepStartingProfileNo[s + 1]; ++p)
                facets += StripFacets(raw.Profiles[p], raw.Profiles[p + 1]);
        raw.Points = static_cast<ScanPoint*>(BigBuffer_Alloc(*raw.PointBlock, sizeof(ScanPoint) * (points + 1)));
        raw.Facets = static_cast<Facet*>(BigBuffer_Alloc(*raw.FacetBlock, sizeof(Facet) * (facets + 1)));
        raw.FacetNormals = static_cast<Vec3*>(BigBuffer_Alloc(*raw.FacetNormalBlock, sizeof(Vec3) * (facets + 1)));
        raw.MaxPoints = points + 1;
        raw.MaxFacets = facets + 1;
        int32_t k = 0, f = 0;
        raw.SweepFirstPoint[0] = raw.SweepFirstFacet[0] = 0;
        for (int32_t s = 0; s < raw.TotalSweeps; ++s) {
            for (int32_t p = raw.SweepStartingProfileNo[s]; p < raw.SweepStartingProfileNo[s + 1]; ++p) {
                const Profile& profile = raw.Profiles[p];
                if (p > raw.SweepStartingProfileNo[s]) {
                    const Profile& before = raw.Profiles[p - 1];
                    const int32_t n = StripFacets(before, profile);
                    const int32_t a = k - before.NumPoints, b = k;
                    for (int32_t j = 0; j < n / 2; ++j) {
                        raw.Facets[f++] = Facet{{a + j, b + j, a + j + 1}};
                        raw.Facets[f++] = Facet{{a + j + 1, b + j, b + j + 1}};
                    }
                }
                for (int32_t j = 0; j < profile.NumPoints; ++j, ++k) {
                    ScanPoint& point = raw.Points[k];
                    std::memset(&point, 0, sizeof point);
                    point.Vertex = profile.Points[j];
                    point.Normal = Vec3{0.0f, 0.0f, 1.0f};
                    point.Grey = 200;
                }
            }
            raw.SweepFirstPoint[s + 1] = k;
            raw.SweepFirstFacet[s + 1] = f;
        }
        for (int32_t i = 0; i < f; ++i) raw.FacetNormals[i] = Vec3{0.0f, 0.0f, static_cast<float>(i + 1)};
        raw.NumPoints = raw.SweepFirstPoint[raw.NumSweeps];
        raw.NumFacets = raw.SweepFirstFacet[raw.NumSweeps];
        raw.NumProfilesProcessed = raw.NumProfiles;
    }

private:
    static int32_t StripFacets(const Profile& a, const Profile& b) {
        return (a.NumPoints == b.NumPoints && a.NumPoints >= 2) ? 2 * (a.NumPoints - 1) : 0;
    }
};

// The record's invariants: ordered counts, monotone index tables, facets
// inside their own sweep, points that are the profile points, and cursors
// within the counts.
inline void ExpectScanInvariants(const RawData& r, bool pointsProcessed) {
    ASSERT_LE(0, r.NumSweeps);
    ASSERT_LE(r.NumSweeps, r.TotalSweeps);
    ASSERT_LE(r.TotalSweeps, r.MaxSweeps);
    ASSERT_LE(r.NumProfiles, r.TotalProfiles);
    ASSERT_LE(r.TotalProfiles, r.MaxProfiles);
    EXPECT_EQ(r.SweepStartingProfileNo[0], 0);
    EXPECT_EQ(r.SweepFirstPoint[0], 0);
    EXPECT_EQ(r.SweepFirstFacet[0], 0);
    for (int32_t s = 0; s < r.TotalSweeps; ++s) {
        EXPECT_LE(r.SweepStartingProfileNo[s], r.SweepStartingProfileNo[s + 1]) << "sweep " << s;
        EXPECT_LE(r.SweepFirstPoint[s], r.SweepFirstPoint[s + 1]) << "sweep " << s;
        EXPECT_LE(r.SweepFirstFacet[s], r.SweepFirstFacet[s + 1]) << "sweep " << s;
    }
    EXPECT_EQ(r.SweepStartingProfileNo[r.TotalSweeps], r.TotalProfiles);
    EXPECT_EQ(r.SweepStartingProfileNo[r.NumSweeps], r.NumProfiles);
    EXPECT_LE(0, r.CurrentSweep);
    EXPECT_LE(r.CurrentSweep, r.TotalSweeps);
    EXPECT_LE(0, r.CurrentSweepProfile);
    EXPECT_LE(r.CurrentSweepProfile, r.NumProfiles);
    EXPECT_LE(r.NumProfilesProcessed, r.TotalProfiles);
    if (!pointsProcessed) {
        EXPECT_EQ(r.NumPoints, 0);
        EXPECT_EQ(r.NumFacets, 0);
        return;
    }
    EXPECT_EQ(r.SweepFirstPoint[r.NumSweeps], r.NumPoints);
    EXPECT_EQ(r.SweepFirstFacet[r.NumSweeps], r.NumFacets);
    for (int32_t s = 0; s < r.TotalSweeps; ++s)
        for (int32_t f = r.SweepFirstFacet[s]; f < r.SweepFirstFacet[s + 1]; ++f)
            for (int32_t v : r.Facets[f].v) {
                EXPECT_GE(v, r.SweepFirstPoint[s]) << "facet " << f;
                EXPECT_LT(v, r.SweepFirstPoint[s + 1]) << "facet " << f;
            }
    EXPECT_TRUE(RawData_PointsMatchProfiles(r));
}
