#include "app/ui/scan_merge.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

int g_failStep = 0;

// The corners of a record's visible, not erased points in a frame, worked
// out on a shallow copy so that the record's cached extents stay as they are.
void Corners(const RawData& raw, const Matrix4& frame, Vec3 (&out)[8]) {
    auto copy = std::make_unique<RawData>();
    std::memcpy(copy.get(), &raw, sizeof(RawData));
    copy->ExtentsTime = -HUGE_VAL;
    RawData_ComputeExtents(*copy, frame);
    std::memcpy(out, copy->Extents, sizeof out);
}

Vec3 Midpoint(const Vec3& a, const Vec3& b) { return Vec3{0.5f * (a.x + b.x), 0.5f * (a.y + b.y), 0.5f * (a.z + b.z)}; }

Matrix4 WithoutTranslation(const Matrix4& m) {
    Matrix4 r = m;
    r[12] = r[13] = r[14] = 0.0f;
    return r;
}

int32_t PointsInForce(const RawData& raw) {
    return raw.NumSweeps > 0 && raw.SweepFirstPoint ? raw.SweepFirstPoint[raw.NumSweeps] : 0;
}

int32_t FacetsInForce(const RawData& raw) {
    return raw.NumSweeps > 0 && raw.SweepFirstFacet ? raw.SweepFirstFacet[raw.NumSweeps] : 0;
}

int32_t ProfilesInForce(const RawData& raw) {
    return raw.NumSweeps > 0 && raw.SweepStartingProfileNo ? raw.SweepStartingProfileNo[raw.NumSweeps] : 0;
}

template <typename T>
T* NewArray(int step, std::size_t count) {
    if (g_failStep == step) return nullptr;
    return static_cast<T*>(std::calloc(count > 0 ? count : 1, sizeof(T)));
}

// The new arrays of a merge, made before the record changes.
struct MergeArrays {
    Profile* profiles = nullptr;
    int32_t maxProfiles = 0;
    SweepRecord* sweeps = nullptr;
    int32_t* startProfiles = nullptr;
    int32_t* firstPoints = nullptr;
    int32_t* firstFacets = nullptr;
    int32_t maxSweeps = 0;
    ~MergeArrays() {
        std::free(profiles);
        std::free(sweeps);
        std::free(startProfiles);
        std::free(firstPoints);
        std::free(firstFacets);
    }
    bool Make(int32_t profileCount, int32_t sweepCount) {
        // The profile array grows in steps of 500, the sweep tables keep some room.
        maxProfiles = (profileCount / 500 + 1) * 500;
        profiles = NewArray<Profile>(1, static_cast<std::size_t>(maxProfiles));
        if (!profiles) return false;
        maxSweeps = sweepCount + 10;
        const auto tableSize = static_cast<std::size_t>(maxSweeps) + 1;
        sweeps = NewArray<SweepRecord>(2, static_cast<std::size_t>(maxSweeps));
        startProfiles = NewArray<int32_t>(2, tableSize);
        firstPoints = NewArray<int32_t>(2, tableSize);
        firstFacets = NewArray<int32_t>(2, tableSize);
        return sweeps && startProfiles && firstPoints && firstFacets;
    }
};

// Commits a block to `bytes`; on failure gives back what this merge took.
bool GrowBlock(int step, BigBuffer* block, std::size_t bytes) {
    if (!block) return false;
    const std::size_t before = block->CommittedSize;
    try {
        if (g_failStep == step) throw OutOfMemoryError();
        if (bytes > before) BigBuffer_Alloc(*block, bytes);
        return true;
    } catch (const std::bad_alloc&) {
        if (block->CommittedSize > before) {
            if (before > 0)
                BigBuffer_Alloc(*block, before);
            else
                BigBuffer_Decommit(*block);
        }
        return false;
    }
}

void ShrinkBlock(BigBuffer* block, std::size_t before) {
    if (!block || block->CommittedSize <= before) return;
    if (before > 0)
        BigBuffer_Alloc(*block, before);
    else
        BigBuffer_Decommit(*block);
}

uint32_t EraseLevel(const ScanPoint& p) { return (p.Flags & kPointEraseMask) >> kPointEraseShift; }

// Erase steps above the record's own limit were undone: they are dropped.
void DropUndoneErase(ScanPoint* points, int32_t count, uint32_t limit) {
    for (int32_t i = 0; i < count; ++i)
        if (EraseLevel(points[i]) > limit) points[i].Flags &= ~kPointEraseMask;
}

}  // namespace

void ScanMerge_FailGrowthForTest(int step) { g_failStep = step; }

Matrix4 ScanMerge_Placement(const RawData& current, const Matrix4& currentFrame, const RawData& loaded,
                            const Matrix4& loadedFrame) {
    Vec3 cur[8], load[8];
    Corners(current, currentFrame, cur);
    Corners(loaded, loadedFrame, load);
    Vec3 c{0, 0, 0};
    for (const Vec3& v : load) c = Vec3{c.x + v.x / 8.0f, c.y + v.y / 8.0f, c.z + v.z / 8.0f};

    Matrix4 centre, turn, frameInverse, step1, step2, placement;
    M4_MakeTranslation(Vec3{-c.x, -c.y, -c.z}, centre);
    M4_MakeRotationY(180.0f, turn);
    M4_InvertRigid(currentFrame, frameInverse);
    M4_Multiply(loadedFrame, centre, step1);
    M4_Multiply(turn, step1, step2);
    M4_Multiply(frameInverse, step2, placement);

    Vec3 moved0, moved3;
    M4_TransformPoint(placement, load[0], moved0);
    M4_TransformPoint(placement, load[3], moved3);
    const Vec3 newMid = Midpoint(moved0, moved3);
    const Vec3 curMid = Midpoint(cur[0], cur[3]);
    Vec3 depth, u;
    V3_Sub(cur[0], cur[4], depth);
    V3_Normalise(depth, u);
    const float kGap = 40.0f;
    Matrix4 shift, result;
    M4_MakeTranslation(
        Vec3{curMid.x - newMid.x + kGap * u.x, curMid.y - newMid.y + kGap * u.y, curMid.z - newMid.z + kGap * u.z},
        shift);
    M4_Multiply(shift, placement, result);
    return result;
}

bool ScanMerge_Append(RawData& current, RawData& loaded, const Matrix4& placement) {
    const int32_t curSweeps = current.NumSweeps, ldSweeps = loaded.NumSweeps;
    const int32_t curProfiles = ProfilesInForce(current), ldProfiles = ProfilesInForce(loaded);
    const int32_t curPoints = PointsInForce(current), ldPoints = PointsInForce(loaded);
    const int32_t curFacets = FacetsInForce(current), ldFacets = FacetsInForce(loaded);
    const int64_t points = int64_t(curPoints) + ldPoints, facets = int64_t(curFacets) + ldFacets;
    if (int64_t(curProfiles) + ldProfiles > INT32_MAX / 2 || points > INT32_MAX / 64 || facets > INT32_MAX / 16)
        return false;

    // Everything grows first.
    MergeArrays arrays;
    if (!arrays.Make(curProfiles + ldProfiles, curSweeps + ldSweeps)) return false;
    const std::size_t before[3] = {current.PointBlock ? current.PointBlock->CommittedSize : 0,
                                   current.FacetBlock ? current.FacetBlock->CommittedSize : 0,
                                   current.FacetNormalBlock ? current.FacetNormalBlock->CommittedSize : 0};
    const bool grown = GrowBlock(3, current.PointBlock, std::size_t(points) * sizeof(ScanPoint)) &&
                       GrowBlock(4, current.FacetBlock, std::size_t(facets) * sizeof(Facet)) &&
                       GrowBlock(5, current.FacetNormalBlock, std::size_t(facets) * sizeof(Vec3));
    if (!grown) {
        ShrinkBlock(current.PointBlock, before[0]);
        ShrinkBlock(current.FacetBlock, before[1]);
        ShrinkBlock(current.FacetNormalBlock, before[2]);
        return false;
    }

    // From here nothing can fail.
    RawData_DiscardSweepsAfterCurrent(current);
    if (curProfiles > 0)
        std::memcpy(arrays.profiles, current.Profiles, sizeof(Profile) * static_cast<std::size_t>(curProfiles));
    if (curSweeps > 0) {
        std::memcpy(arrays.sweeps, current.Sweeps, sizeof(SweepRecord) * static_cast<std::size_t>(curSweeps));
        const auto tableBytes = sizeof(int32_t) * static_cast<std::size_t>(curSweeps + 1);
        std::memcpy(arrays.startProfiles, current.SweepStartingProfileNo, tableBytes);
        std::memcpy(arrays.firstPoints, current.SweepFirstPoint, tableBytes);
        std::memcpy(arrays.firstFacets, current.SweepFirstFacet, tableBytes);
    }
    std::swap(current.Profiles, arrays.profiles);
    std::swap(current.Sweeps, arrays.sweeps);
    std::swap(current.SweepStartingProfileNo, arrays.startProfiles);
    std::swap(current.SweepFirstPoint, arrays.firstPoints);
    std::swap(current.SweepFirstFacet, arrays.firstFacets);
    current.MaxProfiles = arrays.maxProfiles;
    current.MaxSweeps = arrays.maxSweeps;
    current.Points = static_cast<ScanPoint*>(current.PointBlock->Base);
    current.Facets = static_cast<Facet*>(current.FacetBlock->Base);
    current.FacetNormals = static_cast<Vec3*>(current.FacetNormalBlock->Base);
    current.MaxPoints = std::max<int32_t>(current.MaxPoints, static_cast<int32_t>(points));
    current.MaxFacets = std::max<int32_t>(current.MaxFacets, static_cast<int32_t>(facets));

    const Matrix4 turn = WithoutTranslation(placement);
    for (int32_t f = 0; f < ldFacets; ++f) {
        Facet facet = loaded.Facets[f];
        for (int32_t& v : facet.v) v += curPoints;
        current.Facets[curFacets + f] = facet;
        M4_TransformPoint(turn, loaded.FacetNormals[f], current.FacetNormals[curFacets + f]);
    }
    DropUndoneErase(loaded.Points, ldPoints, loaded.EditLimit);
    DropUndoneErase(current.Points, curPoints, current.EditLimit);
    for (int32_t i = 0; i < ldPoints; ++i) {
        ScanPoint p = loaded.Points[i];
        p.Flags &= ~kPointSelectionMask;
        M4_TransformPoint(placement, loaded.Points[i].Vertex, p.Vertex);
        M4_TransformPoint(turn, loaded.Points[i].Normal, p.Normal);
        current.Points[curPoints + i] = p;
    }
    for (int32_t k = 0; k < ldProfiles; ++k) {
        // Moved: the loaded record's slot owns nothing any more.
        Profile& moved = current.Profiles[curProfiles + k];
        moved = loaded.Profiles[k];
        std::memset(&loaded.Profiles[k], 0, sizeof(Profile));
        for (int32_t i = 0; i < moved.NumPoints && moved.Points; ++i)
            M4_TransformPoint(placement, moved.Points[i], moved.Points[i]);
    }
    for (int32_t s = 0; s < ldSweeps; ++s) {
        current.Sweeps[curSweeps + s] = loaded.Sweeps[s];
        current.SweepStartingProfileNo[curSweeps + s + 1] = loaded.SweepStartingProfileNo[s + 1] + curProfiles;
        current.SweepFirstPoint[curSweeps + s + 1] = loaded.SweepFirstPoint[s + 1] + curPoints;
        current.SweepFirstFacet[curSweeps + s + 1] = loaded.SweepFirstFacet[s + 1] + curFacets;
    }
    current.EditLimit = std::max(current.EditLimit, loaded.EditLimit);
    current.EditLevelTop = current.EditLimit;
    current.NumSweeps = current.TotalSweeps = curSweeps + ldSweeps;
    current.CurrentSweep = current.TotalSweeps;
    current.NumProfiles = current.TotalProfiles = curProfiles + ldProfiles;
    current.CurrentSweepProfile = current.NumProfilesProcessed = current.TotalProfiles;
    current.NumPoints = static_cast<int32_t>(points);
    current.NumFacets = static_cast<int32_t>(facets);
    RawData_ClearPointRunMark(current);
    RawData_ClearSweepCursor(current);
    return true;
}

// ---- Comparison -------------------------------------------------------------------

namespace {

class Differences {
  public:
    template <typename... Args>
    void Line(const char* format, Args... args) {
        char text[256];
        std::snprintf(text, sizeof text, format, args...);
        lines_.push_back(text);
    }
    void Int(const char* name, int32_t a, int32_t b) {
        if (a != b) Line("RawData.%s differs (%d %d) \n", name, a, b);
    }
    std::vector<std::string> Take() { return std::move(lines_); }

  private:
    std::vector<std::string> lines_;
};

bool Differ(float a, float b) { return std::fabs(a - b) > 0.01f; }

// The first i (and component j) where the values differ; false when none.
template <typename Get>
bool FirstDifference(int32_t count, int32_t width, Get get, int32_t& i, int32_t& j) {
    for (i = 0; i < count; ++i)
        for (j = 0; j < width; ++j)
            if (get(i, j)) return true;
    return false;
}

void CompareProfiles(Differences& d, const RawData& a, const RawData& b) {
    const int32_t n = std::min(a.NumProfiles, b.NumProfiles);
    int32_t i, j;
    if (FirstDifference(
            n, 1, [&](int32_t k, int32_t) { return a.Profiles[k].NumPoints != b.Profiles[k].NumPoints; }, i, j)) {
        d.Line("RawData.Profiles[i].NumPoints differs (%d %d) \n", a.Profiles[i].NumPoints, b.Profiles[i].NumPoints);
        d.Line("i == %d\n", i);
    }
    if (FirstDifference(
            n, 1, [&](int32_t k, int32_t) { return a.Profiles[k].ReferenceEnabled != b.Profiles[k].ReferenceEnabled; },
            i, j)) {
        d.Line("RawData.Profiles[i].ReferenceEnabled differs (%d %d) \n", a.Profiles[i].ReferenceEnabled,
               b.Profiles[i].ReferenceEnabled);
        d.Line("i == %d\n", i);
    }
    if (FirstDifference(
            n, 1,
            [&](int32_t k, int32_t) { return Differ(a.Profiles[k].CameraDeviation, b.Profiles[k].CameraDeviation); }, i,
            j)) {
        d.Line("RawData.Profiles[i].CameraDeviation differs (%f %f) \n", a.Profiles[i].CameraDeviation,
               b.Profiles[i].CameraDeviation);
        d.Line("i == %d\n", i);
    }
    struct MatrixField {
        const char* name;
        Matrix4 Profile::*field;
    } matrices[] = {{"WandRxMatrix", &Profile::WandRxMatrix},
                    {"ReferenceRxMatrix", &Profile::ReferenceRxMatrix},
                    {"RawReferenceRxMatrix", &Profile::RawReferenceRxMatrix}};
    for (const MatrixField& m : matrices) {
        auto differs = [&](int32_t k, int32_t e) {
            return Differ((a.Profiles[k].*m.field)[e], (b.Profiles[k].*m.field)[e]);
        };
        if (!FirstDifference(n, 16, differs, i, j)) continue;
        d.Line("RawData.Profiles[i].%s[j] differs (%f %f) \n", m.name, static_cast<double>((a.Profiles[i].*m.field)[j]),
               static_cast<double>((b.Profiles[i].*m.field)[j]));
        d.Line("i == %d j == %d\n", i, j);
    }
}

void ComparePoints(Differences& d, const RawData& a, const RawData& b) {
    int32_t i, j;
    const int32_t sweeps = std::min(a.TotalSweeps, b.TotalSweeps);
    if (a.SweepStartingProfileNo && b.SweepStartingProfileNo &&
        FirstDifference(
            sweeps, 1,
            [&](int32_t s, int32_t) { return a.SweepStartingProfileNo[s + 1] != b.SweepStartingProfileNo[s + 1]; }, i,
            j)) {
        d.Line("RawData.SweepStartingProfileNo[i+1] differs (%d %d) \n", a.SweepStartingProfileNo[i + 1],
               b.SweepStartingProfileNo[i + 1]);
        d.Line("i == %d", i);
    }
    const int32_t n = std::min(a.NumPoints, b.NumPoints);
    const auto component = [](const Vec3& v, int32_t c) { return c == 0 ? v.x : c == 1 ? v.y : v.z; };
    struct VectorField {
        const char* name;
        Vec3 ScanPoint::*field;
    } vectors[] = {{"Vertex", &ScanPoint::Vertex}, {"Normal", &ScanPoint::Normal}};
    for (const VectorField& v : vectors) {
        auto differs = [&](int32_t k, int32_t c) {
            return Differ(component(a.Points[k].*v.field, c), component(b.Points[k].*v.field, c));
        };
        if (!FirstDifference(n, 3, differs, i, j)) continue;
        d.Line("RawData.Points[i].%s[j] differs (%f %f) \n", v.name,
               static_cast<double>(component(a.Points[i].*v.field, j)),
               static_cast<double>(component(b.Points[i].*v.field, j)));
        d.Line("i == %d j == %d\n", i, j);
    }
    struct FloatField {
        const char* name;
        float ScanPoint::*field;
    } floats[] = {{"ResolutionSq", &ScanPoint::ResolutionSq}, {"Variance", &ScanPoint::Variance}};
    for (const FloatField& f : floats) {
        if (!FirstDifference(
                n, 1, [&](int32_t k, int32_t) { return Differ(a.Points[k].*f.field, b.Points[k].*f.field); }, i, j))
            continue;
        d.Line("RawData.Points[i].%s differs (%f %f) \n", f.name, static_cast<double>(a.Points[i].*f.field),
               static_cast<double>(b.Points[i].*f.field));
        d.Line("i == %d\n", i);
    }
    const int32_t facets = std::min(a.NumFacets, b.NumFacets);
    if (FirstDifference(
            facets, 3, [&](int32_t k, int32_t c) { return a.Facets[k].v[c] != b.Facets[k].v[c]; }, i, j)) {
        d.Line("RawData.Facets[i]\n");
        d.Line("i == %d\n", i);
    }
    if (FirstDifference(
            facets, 3,
            [&](int32_t k, int32_t c) {
                return Differ(component(a.FacetNormals[k], c), component(b.FacetNormals[k], c));
            },
            i, j)) {
        d.Line("RawData.FacetNormals[i][j] differs (%f %f) \n", static_cast<double>(component(a.FacetNormals[i], j)),
               static_cast<double>(component(b.FacetNormals[i], j)));
        d.Line("i == %d j == %d\n", i, j);
    }
}

}  // namespace

std::vector<std::string> ScanCompare_Differences(const RawData& a, const RawData& b) {
    Differences d;
    d.Int("CurrentSweep", a.CurrentSweep, b.CurrentSweep);
    d.Int("NumProfiles", a.NumProfiles, b.NumProfiles);
    d.Int("TotalProfiles", a.TotalProfiles, b.TotalProfiles);
    d.Int("NumPoints", a.NumPoints, b.NumPoints);
    d.Int("NumFacets", a.NumFacets, b.NumFacets);
    d.Int("LoadedFromDisk", a.LoadedFromDisk, b.LoadedFromDisk);
    d.Int("LastProfile", a.LastProfile, b.LastProfile);
    d.Int("LastOffsetInPoints", a.LastOffsetInPoints, b.LastOffsetInPoints);
    d.Int("FirstProfileFound", a.FirstProfileFound, b.FirstProfileFound);
    d.Int("SecondProfileFound", a.SecondProfileFound, b.SecondProfileFound);
    // The time stamp is a number of seconds, not an integer.
    if (a.Timestamp != b.Timestamp) d.Line("RawData.Timestamp differs (%f %f) \n", a.Timestamp, b.Timestamp);
    if (a.Profiles && b.Profiles) CompareProfiles(d, a, b);
    if (a.Points && b.Points) ComparePoints(d, a, b);
    return d.Take();
}

// ---- Purge --------------------------------------------------------------------------

void ScanMerge_Purge(RawData& raw) {
    if (raw.TotalSweeps <= 0 || !raw.SweepStartingProfileNo || !raw.Sweeps) {
        raw.EditLimit = raw.EditLevelTop = 0;
        return;
    }
    RawData_MarkEditablePoints(raw);
    RawData_CompactProfiles(raw);
    RawData_DeleteSweepsIf(raw, 0, [](const RawData& r, int32_t s) {
        return (r.Sweeps[s].Flags & kSweepHidden) || r.SweepStartingProfileNo[s + 1] == r.SweepStartingProfileNo[s];
    });
    // What is left was never erased, or erased in an undone step.
    for (int32_t i = 0; i < raw.NumPoints; ++i) raw.Points[i].Flags &= ~kPointEraseMask;
    RawData_ClearPointRunMark(raw);
    RawData_ClearSweepCursor(raw);
    raw.EditLimit = 0;
    raw.EditLevelTop = 0;
}
