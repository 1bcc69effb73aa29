#include "app/acquisition/visible_profiles.h"

#include <algorithm>
#include <cstdlib>

#include "app/scan/raw_data.h"

namespace {

// The profiles of sweep s, clipped to the profiles in force.
void SweepRange(const RawData& raw, std::int32_t s, std::int32_t& first, std::int32_t& end) {
    first = std::clamp(raw.SweepStartingProfileNo[s], 0, raw.NumProfiles);
    end = std::clamp(raw.SweepStartingProfileNo[s + 1], first, raw.NumProfiles);
}

bool Shown(const RawData& raw, std::int32_t s) { return (raw.Sweeps[s].Flags & kSweepHidden) == 0; }

}  // namespace

bool CollectVisibleProfiles(const RawData& raw, VisibleProfiles& out) {
    out = VisibleProfiles();
    std::int32_t sweeps = 0;
    std::int64_t profiles = 0;
    const bool tables = raw.Sweeps && raw.SweepStartingProfileNo && raw.Profiles;
    for (std::int32_t s = 0; tables && s < raw.NumSweeps; ++s) {
        if (!Shown(raw, s)) continue;
        std::int32_t first, end;
        SweepRange(raw, s, first, end);
        ++sweeps;
        profiles += end - first;
    }

    // The records follow the totals at the alignment of their pointer.
    const std::size_t align = alignof(VisibleProfileRecord);
    const std::size_t totalsBytes = (static_cast<std::size_t>(sweeps) * sizeof(std::int32_t) + align - 1) / align * align;
    const std::size_t bytes = totalsBytes + static_cast<std::size_t>(profiles) * sizeof(VisibleProfileRecord);
    void* block = std::malloc(bytes ? bytes : 1);
    if (!block) return false;

    out.sweepTotals = static_cast<std::int32_t*>(block);
    out.records = reinterpret_cast<VisibleProfileRecord*>(static_cast<char*>(block) + totalsBytes);
    std::int32_t copied = 0;
    for (std::int32_t s = 0; tables && s < raw.NumSweeps; ++s) {
        if (!Shown(raw, s)) continue;
        std::int32_t first, end;
        SweepRange(raw, s, first, end);
        for (std::int32_t p = first; p < end; ++p) {
            const Profile& profile = raw.Profiles[p];
            VisibleProfileRecord& record = out.records[copied++];
            record.NumPoints = profile.NumPoints;
            record.Points = profile.Points;
            record.WandRxMatrix = profile.WandRxMatrix;
            record.ReferenceRxMatrix = profile.ReferenceRxMatrix;
            record.ReferenceEnabled = profile.ReferenceEnabled;
        }
        out.sweepTotals[out.sweepCount++] = copied;
    }
    out.profileTotal = copied;
    return true;
}

void FreeVisibleProfiles(VisibleProfiles& profiles) {
    std::free(profiles.sweepTotals);
    profiles = VisibleProfiles();
}
