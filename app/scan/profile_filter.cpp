// The filtering pass of profile processing: each new profile is smoothed along
// its laser line, profiles that did not move enough are dropped, and the
// profile array is compacted, before any point is numbered.
#include "app/scan/profile_math.h"
#include "app/scan/profile_processing.h"

using profile_math::Beyond;

namespace {

bool HasPoints(const Profile& p) { return p.NumPoints > 0 && p.Points; }

// The offset between a triangle-filter output and its input.
int32_t FilterHalfLength(int32_t filterLength) {
    if (filterLength <= 0) return 0;
    return filterLength / 2 < 1 ? 1 : filterLength / 2;
}

// A run of points along the line: neighbours closer than both the worst
// resolution and the (scaled) displacement towards the neighbouring profile.
// The tolerance is (d2[j+1] + d2[j]) x (G x 4.0) x 0.5 rounded to float: the
// factor 2G is a float, so the product of two floats, exact in double, is
// rounded once either way and a float product gives the same bits.
bool ContinuesRun(const Vec3* points, const float* moved, int32_t j, float worstResolution) {
    const float gap = profile_math::DistanceSquared(points[j], points[j + 1]);
    if (gap > worstResolution) return false;
    const float tolerance = (moved[j + 1] + moved[j]) * (2.0f * kScanSpacingFactor);
    return !(gap > tolerance);
}

struct Merged {
    Vec3 points[kMaxProfilePoints];
    float values[kMaxProfilePoints];
    int32_t count;
};

// Outputs that lie within the displacement of the group's first output
// collapse into one averaged point.
void MergeOutputs(const Vec3* points, const float* values, int32_t m, const float* tolerance, Merged& out) {
    for (int32_t k = 0; k < m;) {
        const float bound = tolerance[k];
        Vec3 sum = points[k];
        float valueSum = values[k];
        int32_t count = 1;
        while (k + count < m && !Beyond(points[k + count], points[k], bound)) {
            sum = profile_math::Add(sum, points[k + count]);
            valueSum += values[k + count];
            ++count;
        }
        const float scale = 1.0f / static_cast<float>(count);
        out.points[out.count] = Vec3{scale * sum.x, scale * sum.y, scale * sum.z};
        out.values[out.count] = valueSum * scale;
        ++out.count;
        k += count;
    }
}

// The profile's points stay within the processing buffers.
void LimitPoints(Profile& p) {
    if (p.NumPoints > kMaxProfilePoints) p.NumPoints = kMaxProfilePoints;
}

bool Scan_ProfileKeepable(Profile& x, const Profile* previous) {
    if (!HasPoints(x)) return false;
    LimitPoints(x);
    if (x.IsFiltered || !previous) return true;
    return Scan_ProfileMovedEnough(x, *previous, 0.0f, 0.0f, nullptr) != 0;
}

// Moves profile `from` into slot `to`; the old slot owns nothing afterwards.
void MoveProfile(RawData& raw, int32_t from, int32_t to) {
    if (from == to) return;
    raw.Profiles[to] = raw.Profiles[from];
    raw.Profiles[from] = Profile{};
}

struct FilterParams {
    int32_t filterLength;
    float worstResolution;
};

void Scan_FilterOneProfile(RawData& raw, int32_t p, int32_t sweepStart, int32_t& w, const FilterParams& f) {
    Profile& x = raw.Profiles[p];
    Profile* previous = w > sweepStart ? &raw.Profiles[w - 1] : nullptr;
    if (!Scan_ProfileKeepable(x, previous)) {
        RawData_ClearProfile(x);
        return;
    }
    if (!previous) {
        MoveProfile(raw, p, w++);
        return;
    }
    if (!Scan_SmoothProfile(x, *previous, f.filterLength, f.worstResolution)) {
        RawData_ClearProfile(x);
        return;
    }
    // The sweep's first profile waited for this one to be smoothed against.
    if (w == sweepStart + 1 && !Scan_SmoothProfile(*previous, x, f.filterLength, f.worstResolution)) {
        RawData_ClearProfile(*previous);
        MoveProfile(raw, p, w - 1);
        return;
    }
    MoveProfile(raw, p, w++);
}

}  // namespace

void Scan_TriangleFilter(int32_t n, const Vec3* points, const int32_t* values, int32_t filterLength,
                         Vec3* outPoints, float* outValues, int32_t* outCount) {
    if (filterLength <= 0) {
        for (int32_t i = 0; i < n; ++i) {
            outPoints[i] = points[i];
            outValues[i] = static_cast<float>(values[i]);
        }
        *outCount = n;
        return;
    }
    const int32_t h = FilterHalfLength(filterLength);
    if (n < 2 * h + 1) {
        *outCount = 0;
        return;
    }
    float weight[kMaxProfilePoints / 2 + 1];
    if (h > kMaxProfilePoints / 2) {
        *outCount = 0;
        return;
    }
    weight[0] = 1.0f / static_cast<float>(h + 1);
    for (int32_t k = 1; k <= h; ++k) weight[k] = weight[k - 1] - weight[0] * weight[0];
    for (int32_t i = h; i < n - h; ++i) {
        const float w0 = weight[0];
        Vec3 sum{w0 * points[i].x, w0 * points[i].y, w0 * points[i].z};
        float value = w0 * static_cast<float>(values[i]);
        for (int32_t k = 1; k <= h; ++k) {
            const Vec3 pair = profile_math::Add(points[i - k], points[i + k]);
            const float w = weight[k];
            sum = Vec3{sum.x + w * pair.x, sum.y + w * pair.y, sum.z + w * pair.z};
            value += w * static_cast<float>(values[i - k] + values[i + k]);
        }
        outPoints[i - h] = sum;
        outValues[i - h] = value;
    }
    *outCount = n - 2 * h;
}

bool Scan_SmoothProfile(Profile& x, const Profile& n, int32_t filterLength, float worstResolution) {
    if (x.IsFiltered) return HasPoints(x);
    LimitPoints(x);
    const int32_t count = HasPoints(x) ? x.NumPoints : 0;

    Matrix4 motion;
    Scan_RelativeMotion(x, n, motion);
    float moved[kMaxProfilePoints];
    for (int32_t i = 0; i < count; ++i)
        moved[i] = profile_math::DistanceSquared(x.Points[i], profile_math::Transform(motion, x.Points[i]));

    static const int32_t kNoValues[kMaxProfilePoints] = {};
    const int32_t* values = x.PointValues ? x.PointValues : kNoValues;
    const int32_t offset = FilterHalfLength(filterLength);
    Vec3 filtered[kMaxProfilePoints];
    float filteredValues[kMaxProfilePoints];
    Merged merged;
    merged.count = 0;
    for (int32_t start = 0; start < count;) {
        int32_t end = start + 1;
        while (end < count && ContinuesRun(x.Points, moved, end - 1, worstResolution)) ++end;
        int32_t m = 0;
        Scan_TriangleFilter(end - start, x.Points + start, values + start, filterLength, filtered, filteredValues, &m);
        MergeOutputs(filtered, filteredValues, m, moved + start + offset, merged);
        start = end;
    }

    for (int32_t i = 0; i < merged.count; ++i) {
        x.Points[i] = merged.points[i];
        if (x.PointValues) x.PointValues[i] = static_cast<int32_t>(merged.values[i] + 0.5f);
    }
    x.NumPoints = merged.count;
    x.IsFiltered = 1;
    return merged.count != 0;
}

void Scan_FilterNewProfiles(RawData& raw, int32_t filterLength, float worstResolution) {
    const FilterParams f{filterLength, worstResolution};
    const int32_t oldNum = raw.NumProfiles;
    const int32_t oldTotal = raw.TotalProfiles;
    const int32_t cursor = raw.CurrentSweepProfile;
    int32_t w = cursor;
    // Each closed sweep's old end is read before it is overwritten with the
    // compacted one; the old start of the next sweep is that same value.
    int32_t oldStart = raw.SweepStartingProfileNo[raw.CurrentSweep];
    for (int32_t s = raw.CurrentSweep; s < raw.TotalSweeps; ++s) {
        const int32_t oldNext = raw.SweepStartingProfileNo[s + 1];
        const int32_t sweepStart = raw.SweepStartingProfileNo[s];
        for (int32_t p = oldStart > cursor ? oldStart : cursor; p < oldNext; ++p)
            Scan_FilterOneProfile(raw, p, sweepStart, w, f);
        raw.SweepStartingProfileNo[s + 1] = w;
        if (oldNext <= oldNum) raw.NumProfiles = w;
        oldStart = oldNext;
    }
    const int32_t sweepStart = raw.SweepStartingProfileNo[raw.TotalSweeps];
    for (int32_t p = oldStart > cursor ? oldStart : cursor; p < oldTotal; ++p)
        Scan_FilterOneProfile(raw, p, sweepStart, w, f);
    if (oldNum == oldTotal) raw.NumProfiles = w;
    raw.TotalProfiles = w;
}
