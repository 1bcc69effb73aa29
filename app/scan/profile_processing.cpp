// The driver of profile processing: the two passes, the removal of closed
// sweeps that made no facets, and the cursor that tells the next call where to
// resume.
#include "app/scan/profile_processing.h"

#include "app/base/app_messages.h"
#include "app/base/time_stamp.h"

namespace {

// The user is told once when the scan stops growing for lack of memory, not
// again for every field until processing succeeds once more.
bool g_outOfMemoryReported = false;

void ReportOutOfMemory(bool failed) {
    if (!failed) {
        g_outOfMemoryReported = false;
        return;
    }
    if (g_outOfMemoryReported) return;
    g_outOfMemoryReported = true;
    App_ErrorBoxOfKey("ErrorOutOfMemory");
}

// A pass cut short leaves the point and facet ends of the sweeps from its
// stop on unset: the sweep it stopped in holds what was made so far, the
// sweeps after it nothing yet.
void CloseCutShortSweeps(RawData& raw, const ScanGeometryStop& stop) {
    for (int32_t s = stop.sweep; s < raw.TotalSweeps; ++s) {
        raw.SweepFirstPoint[s + 1] = raw.NumPoints;
        raw.SweepFirstFacet[s + 1] = raw.NumFacets;
    }
}

bool NoFacetsBefore(const RawData& raw, int32_t s, int32_t end) { return s < end && RawData_SweepHasNoFacets(raw, s); }

// Deletes the closed sweeps from `first` up to `complete` that made no
// facets; a sweep whose geometry was cut short is kept. The cursor has already
// been set to where the next call resumes, so the deletion carries it along.
// Profiles of the open sweep are carried along as one more closed sweep. True
// when a sweep was deleted.
bool Scan_DropEmptySweep(RawData& raw, int32_t first, int32_t complete) {
    const int32_t end = complete < raw.TotalSweeps ? complete : raw.TotalSweeps;
    bool any = false;
    for (int32_t s = first; s < end && !any; ++s) any = RawData_SweepHasNoFacets(raw, s);
    if (!any) return false;
    const auto doomed = [end](const RawData& r, int32_t s) { return NoFacetsBefore(r, s, end); };

    const int32_t open = raw.TotalSweeps;
    if (raw.TotalProfiles == raw.SweepStartingProfileNo[open]) {
        RawData_DeleteSweepsIf(raw, first, doomed);
        return true;
    }
    if (open >= raw.MaxSweeps) return false;  // no table entry to carry the open sweep in
    raw.SweepStartingProfileNo[open + 1] = raw.TotalProfiles;
    raw.SweepFirstPoint[open + 1] = raw.NumPoints;
    raw.SweepFirstFacet[open + 1] = raw.NumFacets;
    const bool inForce = raw.NumSweeps == open;
    ++raw.TotalSweeps;
    if (inForce) ++raw.NumSweeps;
    RawData_DeleteSweepsIf(raw, first, doomed);
    --raw.TotalSweeps;
    if (inForce) --raw.NumSweeps;
    return true;
}

// Stamps the change time when anything changed and counts the profiles with
// points (a sweep's first profile gets its points only with the second).
void Scan_FinishProcessing(RawData& raw, bool changed) {
    if (changed) Time_Now(raw.Timestamp);
    const int32_t start = raw.SweepStartingProfileNo[raw.CurrentSweep];
    raw.NumProfilesProcessed = raw.CurrentSweepProfile <= start + 1 ? start : raw.CurrentSweepProfile;
}

// Keeps the cursor inside the scan, whatever edits did to the counts.
void ClampCursor(RawData& raw) {
    if (raw.CurrentSweep < 0) raw.CurrentSweep = 0;
    if (raw.CurrentSweep > raw.TotalSweeps) raw.CurrentSweep = raw.TotalSweeps;
    const int32_t start = raw.SweepStartingProfileNo[raw.CurrentSweep];
    if (raw.CurrentSweepProfile < start) raw.CurrentSweepProfile = start;
    if (raw.CurrentSweepProfile > raw.TotalProfiles) raw.CurrentSweepProfile = raw.TotalProfiles;
}

}  // namespace

int32_t Scan_ProcessNewProfiles(RawData& raw, int32_t filterLength, float worstResolution) {
    if (raw.TotalProfiles == 0) return kScanProcessOk;
    ClampCursor(raw);
    Scan_FilterNewProfiles(raw, filterLength, worstResolution);

    const int32_t firstSweep = raw.CurrentSweep;
    const int32_t openStart = raw.SweepStartingProfileNo[raw.TotalSweeps];
    const bool changed = raw.TotalSweeps > firstSweep ||
                         (raw.TotalProfiles - 1 > openStart && raw.TotalProfiles - 1 >= raw.CurrentSweepProfile);

    ScanGeometryStop stop{raw.TotalSweeps, raw.TotalProfiles};
    const int32_t result = Scan_BuildNewGeometry(raw, stop);
    if (result != kScanProcessOk) CloseCutShortSweeps(raw, stop);

    // The next call resumes at the stop: the end, or the first profile that
    // got no points.
    raw.CurrentSweep = stop.sweep;
    raw.CurrentSweepProfile = stop.profile;
    const bool dropped = Scan_DropEmptySweep(raw, firstSweep, stop.sweep);
    Scan_FinishProcessing(raw, changed || dropped);

    ReportOutOfMemory(result != kScanProcessOk);
    return result;
}
