// A scan of accuracy-check sweeps for the report's tests.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "app/acquisition/profile_line_log.h"
#include "app/scan/tests/scan_record_fixture.h"

// Sweeps of one target profile each; camera c of sweep s sees the target at
// base[c] + (s, 0, 0).
class TargetScan {
  public:
    TargetScan(int sweeps, std::vector<Vec3> base) {
        RawData& r = scan.raw();
        for (int s = 0; s < sweeps; ++s) {
            RawData_GrowProfiles(r, 500);
            Profile& p = r.Profiles[r.NumProfiles];
            p = Profile{};
            EXPECT_TRUE(ProfileLineLog_Ensure(p));
            const ProfileLineLog log = ProfileLineLog_Get(p);
            *log.count = static_cast<int32_t>(2 * base.size() + 1);
            int32_t i = 0;
            for (std::size_t c = 0; c < base.size(); ++c) {
                // Two detections a camera, 1 apart in y: their mean is base + s.
                for (float dy : {-0.5f, 0.5f}) {
                    log.channel[i] = static_cast<int32_t>(c);
                    log.point[i++] = Vec3{base[c].x + float(s), base[c].y + dy, base[c].z};
                }
            }
            log.channel[i] = 0;
            log.point[i] = Vec3{1.0e10f, 1.0e10f, 1.0e10f};  // a rejected detection counts for nothing
            ++r.NumProfiles;
            r.TotalProfiles = r.NumProfiles;
            scan.CloseSweep();
        }
    }
    scan_test::TestScan scan;
};
