// Deleting, moving, compacting and splitting sweeps and profiles.
#include "app/scan/raw_data.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Profile slots from `from` to `to` (exclusive) hold copies of records that
// moved down or were cleared; they own nothing any more.
void ForgetSlots(RawData& raw, int32_t from, int32_t to) {
    to = std::min(to, raw.MaxProfiles);
    if (from < to) std::memset(raw.Profiles + from, 0, static_cast<std::size_t>(to - from) * sizeof(Profile));
}

bool HasPoints(const Profile& p) { return p.NumPoints > 0 && p.Points; }

}  // namespace

bool RawData_SweepHasNoFacets(const RawData& raw, int32_t s) {
    return raw.SweepFirstFacet[s + 1] == raw.SweepFirstFacet[s];
}

void RawData_MoveSweep(RawData& raw, int32_t from, int32_t to) {
    raw.Sweeps[to] = raw.Sweeps[from];

    const int32_t pointBegin = raw.SweepFirstPoint[from];
    const int32_t pointCount = raw.SweepFirstPoint[from + 1] - pointBegin;
    const int32_t pointTarget = raw.SweepFirstPoint[to];
    const int32_t shift = pointTarget - pointBegin;
    if (pointCount > 0)
        std::memmove(raw.Points + pointTarget, raw.Points + pointBegin,
                     static_cast<std::size_t>(pointCount) * sizeof(ScanPoint));
    raw.SweepFirstPoint[to + 1] = pointTarget + pointCount;

    const int32_t facetBegin = raw.SweepFirstFacet[from];
    const int32_t facetCount = raw.SweepFirstFacet[from + 1] - facetBegin;
    const int32_t facetTarget = raw.SweepFirstFacet[to];
    for (int32_t k = 0; k < facetCount; ++k) {
        Facet f = raw.Facets[facetBegin + k];
        for (int32_t& v : f.v) v += shift;
        raw.Facets[facetTarget + k] = f;
        raw.FacetNormals[facetTarget + k] = raw.FacetNormals[facetBegin + k];
    }
    raw.SweepFirstFacet[to + 1] = facetTarget + facetCount;

    const int32_t profileBegin = raw.SweepStartingProfileNo[from];
    const int32_t profileCount = raw.SweepStartingProfileNo[from + 1] - profileBegin;
    const int32_t profileTarget = raw.SweepStartingProfileNo[to];
    if (profileCount > 0)
        std::memmove(raw.Profiles + profileTarget, raw.Profiles + profileBegin,
                     static_cast<std::size_t>(profileCount) * sizeof(Profile));
    raw.SweepStartingProfileNo[to + 1] = profileTarget + profileCount;
}

void RawData_DeleteSweepsIf(RawData& raw, int32_t first, const SweepPredicate& predicate) {
    if (first < 0) first = 0;
    const int32_t total = raw.TotalSweeps;
    if (first >= total) return;
    std::vector<uint8_t> doomed(static_cast<std::size_t>(total - first));
    for (int32_t s = first; s < total; ++s) doomed[s - first] = predicate(raw, s) ? 1 : 0;

    const int32_t oldTotalProfiles = raw.TotalProfiles;
    const int32_t current = std::min(std::max(raw.CurrentSweep, 0), raw.MaxSweeps);
    int32_t out = first;
    int32_t newNum = std::min(first, raw.NumSweeps);
    int32_t newCurrent = std::min(first, raw.CurrentSweep);
    int32_t offset = raw.CurrentSweepProfile - raw.SweepStartingProfileNo[current];
    // Profiles processed so far keep counting as processed; removed ones no
    // longer count, so that profiles appended later are not skipped.
    int32_t processed = raw.NumProfilesProcessed;
    for (int32_t s = first; s < total; ++s) {
        if (doomed[s - first]) {
            const int32_t begin = raw.SweepStartingProfileNo[s];
            const int32_t end = std::min(raw.SweepStartingProfileNo[s + 1], raw.NumProfilesProcessed);
            processed -= std::max(0, end - begin);
            RawData_ClearSweepProfiles(raw, s);
            if (s == raw.CurrentSweep) offset = 0;
            continue;
        }
        if (s != out) RawData_MoveSweep(raw, s, out);
        if (s < raw.NumSweeps) ++newNum;
        if (s < raw.CurrentSweep) ++newCurrent;
        ++out;
    }
    raw.TotalSweeps = out;
    raw.NumSweeps = newNum;
    raw.CurrentSweep = newCurrent;
    raw.NumPoints = raw.SweepFirstPoint[newNum];
    raw.NumFacets = raw.SweepFirstFacet[newNum];
    raw.TotalProfiles = raw.SweepStartingProfileNo[out];
    raw.NumProfiles = raw.SweepStartingProfileNo[newNum];
    raw.CurrentSweepProfile = raw.SweepStartingProfileNo[newCurrent] + offset;
    raw.NumProfilesProcessed = std::min(processed, raw.TotalProfiles);
    ForgetSlots(raw, raw.TotalProfiles, oldTotalProfiles);
}

namespace {

// One pass over all sweeps' profiles with one output index: a profile that
// `drop` rejects is cleared, the others move down. Recounts the profile
// tables and the current sweep's profile position.
template <typename Drop>
void CompactProfilesBy(RawData& raw, Drop drop) {
    const int32_t oldTotal = raw.TotalProfiles;
    int32_t out = 0;
    int32_t keptBeforeCursor = 0;
    int32_t keptProcessed = 0;
    int32_t begin = raw.SweepStartingProfileNo[0];
    raw.SweepStartingProfileNo[0] = 0;
    for (int32_t s = 0; s < raw.TotalSweeps; ++s) {
        const int32_t end = raw.SweepStartingProfileNo[s + 1];
        for (int32_t p = begin; p < end; ++p) {
            if (drop(p)) {
                RawData_ClearProfile(raw.Profiles[p]);
                continue;
            }
            if (p != out) raw.Profiles[out] = raw.Profiles[p];
            ++out;
            if (p < raw.CurrentSweepProfile) ++keptBeforeCursor;
            if (p < raw.NumProfilesProcessed) ++keptProcessed;
        }
        raw.SweepStartingProfileNo[s + 1] = out;
        begin = end;
    }
    raw.TotalProfiles = raw.SweepStartingProfileNo[raw.TotalSweeps];
    raw.NumProfiles = raw.SweepStartingProfileNo[raw.NumSweeps];
    raw.CurrentSweepProfile = keptBeforeCursor;
    raw.NumProfilesProcessed = std::min(keptProcessed, raw.TotalProfiles);
    ForgetSlots(raw, raw.TotalProfiles, oldTotal);
}

}  // namespace

void RawData_CompactProfiles(RawData& raw) {
    CompactProfilesBy(raw, [&](int32_t p) { return !HasPoints(raw.Profiles[p]); });
}

void RawData_DeleteProfilesByMask(RawData& raw, const uint8_t* mask) {
    // Spread the profile mask to the points, in point order.
    int64_t pointTotal = 0;
    for (int32_t p = 0; p < raw.TotalProfiles; ++p) pointTotal += std::max(0, raw.Profiles[p].NumPoints);
    if (raw.SweepFirstPoint) pointTotal = std::max<int64_t>(pointTotal, raw.SweepFirstPoint[raw.TotalSweeps]);
    std::vector<uint8_t> pointMask(static_cast<std::size_t>(std::max<int64_t>(pointTotal, raw.NumPoints)));
    std::size_t k = 0;
    for (int32_t p = 0; p < raw.NumProfiles; ++p)
        for (int32_t i = 0; i < raw.Profiles[p].NumPoints; ++i) pointMask[k++] = mask[p];
    RawData_RemovePointsByMask(raw, pointMask.data());
    CompactProfilesBy(raw, [&](int32_t p) { return mask[p] != 0; });
}

void RawData_DeleteProfile(RawData& raw, int32_t p) {
    if (p < 0 || p >= raw.TotalProfiles) return;
    std::vector<uint8_t> mask(static_cast<std::size_t>(raw.TotalProfiles));
    mask[p] = 1;
    RawData_DeleteProfilesByMask(raw, mask.data());
}

int32_t RawData_ProfileSide(const Profile& profile) {
    if (profile.NumPoints <= 0 || !profile.Points) return 0;
    Matrix4 tilt;
    M4_MakeRotationX(45.0f, tilt);
    Vec3 axis;
    M4_TransformPoint(tilt, Vec3{0.0f, 1.0f, 0.0f}, axis);

    Matrix4 wandInverse, toReference, dropX, m;
    M4_InvertRigid(profile.WandRxMatrix, wandInverse);
    M4_Multiply(wandInverse, profile.ReferenceRxMatrix, toReference);
    M4_MakeScale(Vec3{0.0f, 1.0f, 1.0f}, dropX);
    M4_Multiply(dropX, toReference, m);

    Vec3 p, q{0.0f, 0.0f, 0.0f}, d;
    M4_TransformPoint(m, profile.Points[0], p);
    if (profile.NumPoints > 1) M4_TransformPoint(m, profile.Points[profile.NumPoints - 1], q);
    V3_Sub(q, p, d);
    V3_Normalise(d, d);
    const float along = V3_Dot(d, axis);
    return along * along > 0.5f ? 0 : 1;
}

void RawData_SplitSweep(RawData& raw) {
    const int32_t oldSweeps = raw.NumSweeps;
    if (oldSweeps <= 0 || !raw.Sweeps || !raw.SweepStartingProfileNo) return;
    const std::vector<SweepRecord> records(raw.Sweeps, raw.Sweeps + oldSweeps);
    const std::vector<int32_t> starts(raw.SweepStartingProfileNo, raw.SweepStartingProfileNo + oldSweeps + 1);
    // The undone tail is not carried over: free what its profiles own.
    for (int32_t p = raw.NumProfiles; p < std::min(raw.TotalProfiles, raw.MaxProfiles); ++p)
        RawData_ClearProfile(raw.Profiles[p]);
    const int32_t oldTotal = raw.TotalProfiles;

    raw.NumProfiles = raw.TotalProfiles = 0;
    raw.NumSweeps = raw.TotalSweeps = 0;
    raw.NumFacets = raw.NumPoints = 0;
    raw.SweepStartingProfileNo[0] = 0;
    std::vector<Profile> aside;
    for (int32_t s = 0; s < oldSweeps; ++s) {
        aside.assign(raw.Profiles + starts[s], raw.Profiles + starts[s + 1]);
        RawData_GrowSweeps(raw);
        // Without room for two sweeps the profiles stay together; without room
        // for one they join the sweep before.
        const bool split = raw.NumSweeps + 2 <= raw.MaxSweeps;
        const bool own = raw.NumSweeps + 1 <= raw.MaxSweeps || raw.NumSweeps == 0;
        for (int32_t side = 0; side < 2; ++side) {
            const int32_t before = raw.NumProfiles;
            for (const Profile& p : aside) {
                if (split ? RawData_ProfileSide(p) != side : side == 1) continue;
                raw.Profiles[raw.NumProfiles++] = p;
            }
            raw.TotalProfiles = raw.NumProfiles;
            if (raw.NumProfiles == before) continue;
            if (!own) {
                raw.SweepStartingProfileNo[raw.NumSweeps] = raw.NumProfiles;
                continue;
            }
            raw.Sweeps[raw.NumSweeps] = records[s];
            raw.SweepStartingProfileNo[raw.NumSweeps + 1] = raw.NumProfiles;
            ++raw.NumSweeps;
            ++raw.TotalSweeps;
        }
    }
    ForgetSlots(raw, raw.TotalProfiles, oldTotal);
    // Points and facets are made again from the profiles.
    for (int32_t s = 0; s <= raw.NumSweeps; ++s) raw.SweepFirstPoint[s] = raw.SweepFirstFacet[s] = 0;
    raw.NumProfilesProcessed = 0;
    raw.RunCursor = 0;
    raw.ColourCursor = 0;
    raw.CurrentSweep = std::min(raw.CurrentSweep, raw.NumSweeps);
    raw.CurrentSweepProfile = std::min(raw.CurrentSweepProfile, raw.NumProfiles);
}
