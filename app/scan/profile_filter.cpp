// The filtering pass of profile processing: each new profile is smoothed along
// its laser line, profiles that did not move enough are dropped, and the
// profile array is compacted, before any point is numbered.
#include "app/scan/point_lanes.h"
#include "app/scan/profile_math.h"
#include "app/scan/profile_processing.h"

#include <cstring>

using profile_math::Beyond;

namespace {

bool HasPoints(const Profile& p) { return p.NumPoints > 0 && p.Points; }

// The offset between a triangle-filter output and its input.
int32_t FilterHalfLength(int32_t filterLength) {
    if (filterLength <= 0) return 0;
    return filterLength / 2 < 1 ? 1 : filterLength / 2;
}

// The squared distance each point moves with the wand towards the
// neighbouring profile's pose: how far apart the two lines lie there.
void Displacements(const Vec3* points, int32_t n, const Matrix4& motion, float* moved) {
    const point_lanes::Matrix4Lanes m(motion);
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        using namespace point_lanes;
        const Lanes3 p = LoadVec3s(points + i);
        // DistanceSquared(p, w) is |w - p|².
        _mm_storeu_ps(moved + i, LengthSquared(Sub(Transform(m, p), p)));
    }
    for (; i < n; ++i) moved[i] = profile_math::DistanceSquared(points[i], profile_math::Transform(motion, points[i]));
}

// Where the line breaks into runs: breaks[j] when points j and j + 1 lie
// apart by more than the worst resolution, or by more than the (scaled)
// displacements there, which then cannot be smoothed together. The tolerance
// is (d2[j+1] + d2[j]) x (G x 4.0) x 0.5 rounded to float: the factor 2G is a
// float, so the product of two floats, exact in double, is rounded once
// either way and a float product gives the same bits.
void RunBreaks(const Vec3* points, int32_t n, const float* moved, float worstResolution, bool* breaks) {
    const float factor = 2.0f * kScanSpacingFactor;
    int32_t j = 0;
    for (; j + 5 <= n; j += 4) {
        using namespace point_lanes;
        const __m128 gap = LengthSquared(Sub(LoadVec3s(points + j + 1), LoadVec3s(points + j)));
        const __m128 tolerance = _mm_mul_ps(_mm_add_ps(Load(moved + j + 1), Load(moved + j)), _mm_set1_ps(factor));
        const int mask = _mm_movemask_ps(
            _mm_or_ps(_mm_cmpgt_ps(gap, _mm_set1_ps(worstResolution)), _mm_cmpgt_ps(gap, tolerance)));
        for (int b = 0; b < 4; ++b) breaks[j + b] = (mask >> b) & 1;
    }
    for (; j + 1 < n; ++j) {
        const float gap = profile_math::DistanceSquared(points[j], points[j + 1]);
        breaks[j] = gap > worstResolution || gap > (moved[j + 1] + moved[j]) * factor;
    }
}

struct Merged {
    Vec3 points[kMaxProfilePoints];
    float values[kMaxProfilePoints];
    int32_t count;
};

// Outputs that lie within the displacement of the group's first output
// collapse into one averaged point.
void MergeOutputs(const Vec3* points, const float* values, int32_t m, const float* tolerance, Merged& out) {
    // Whether each output lies within its tolerance of the next one; where
    // four outputs in a row do not, each is a group of its own (its sum
    // times 1.0, as below), and they are taken four at a time.
    bool joinsNext[kMaxProfilePoints];
    int32_t k = 0;
    for (; k + 5 <= m; k += 4) {
        using namespace point_lanes;
        // Beyond(next, this) compares |this - next|².
        const __m128 d = LengthSquared(Sub(LoadVec3s(points + k), LoadVec3s(points + k + 1)));
        const int beyond = _mm_movemask_ps(_mm_cmpgt_ps(d, Load(tolerance + k)));
        for (int b = 0; b < 4; ++b) joinsNext[k + b] = !((beyond >> b) & 1);
    }
    for (; k + 1 < m; ++k) joinsNext[k] = !Beyond(points[k + 1], points[k], tolerance[k]);
    if (m > 0) joinsNext[m - 1] = false;

    const __m128 one = _mm_set1_ps(1.0f);
    for (k = 0; k < m;) {
        if (k + 4 <= m && !(joinsNext[k] || joinsNext[k + 1] || joinsNext[k + 2] || joinsNext[k + 3])) {
            const float* from = &points[k].x;
            float* to = &out.points[out.count].x;
            for (int f = 0; f < 12; f += 4) _mm_storeu_ps(to + f, _mm_mul_ps(one, _mm_loadu_ps(from + f)));
            _mm_storeu_ps(out.values + out.count, _mm_mul_ps(_mm_loadu_ps(values + k), one));
            out.count += 4;
            k += 4;
            continue;
        }
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
    // Each coordinate of an output depends on the same coordinate of the
    // inputs only, so the points are filtered as one run of floats, three
    // floats a point; four floats or four values at a time.
    const float* in = &points[0].x;
    float* out = &outPoints[0].x;
    const int32_t floats = 3 * (n - 2 * h);
    const auto floatAt = [&](int32_t f) {
        const float* c = in + f + 3 * h;
        float sum = weight[0] * c[0];
        for (int32_t k = 1; k <= h; ++k) sum = sum + weight[k] * (c[-3 * k] + c[3 * k]);
        return sum;
    };
    int32_t f = 0;
    for (; f + 4 <= floats; f += 4) {
        const float* c = in + f + 3 * h;
        __m128 sum = _mm_mul_ps(_mm_set1_ps(weight[0]), _mm_loadu_ps(c));
        for (int32_t k = 1; k <= h; ++k)
            sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(weight[k]),
                                             _mm_add_ps(_mm_loadu_ps(c - 3 * k), _mm_loadu_ps(c + 3 * k))));
        _mm_storeu_ps(out + f, sum);
    }
    for (; f < floats; ++f) out[f] = floatAt(f);

    const auto valueAt = [&](int32_t i) {
        float value = weight[0] * static_cast<float>(values[i]);
        for (int32_t k = 1; k <= h; ++k) value += weight[k] * static_cast<float>(values[i - k] + values[i + k]);
        return value;
    };
    const auto load = [](const int32_t* v) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(v)); };
    int32_t i = h;
    for (; i + 4 <= n - h; i += 4) {
        __m128 value = _mm_mul_ps(_mm_set1_ps(weight[0]), _mm_cvtepi32_ps(load(values + i)));
        for (int32_t k = 1; k <= h; ++k)
            value = _mm_add_ps(value, _mm_mul_ps(_mm_set1_ps(weight[k]),
                                                 _mm_cvtepi32_ps(_mm_add_epi32(load(values + i - k), load(values + i + k)))));
        _mm_storeu_ps(outValues + i - h, value);
    }
    for (; i < n - h; ++i) outValues[i - h] = valueAt(i);
    *outCount = n - 2 * h;
}

bool Scan_SmoothProfile(Profile& x, const Profile& n, int32_t filterLength, float worstResolution) {
    if (x.IsFiltered) return HasPoints(x);
    LimitPoints(x);
    const int32_t count = HasPoints(x) ? x.NumPoints : 0;

    Matrix4 motion;
    Scan_RelativeMotion(x, n, motion);
    float moved[kMaxProfilePoints];
    Displacements(x.Points, count, motion, moved);
    bool breaks[kMaxProfilePoints];
    RunBreaks(x.Points, count, moved, worstResolution, breaks);

    static const int32_t kNoValues[kMaxProfilePoints] = {};
    const int32_t* values = x.PointValues ? x.PointValues : kNoValues;
    const int32_t offset = FilterHalfLength(filterLength);
    Vec3 filtered[kMaxProfilePoints];
    float filteredValues[kMaxProfilePoints];
    Merged merged;
    merged.count = 0;
    for (int32_t start = 0; start < count;) {
        int32_t end = start + 1;
        while (end < count && !breaks[end - 1]) ++end;
        int32_t m = 0;
        Scan_TriangleFilter(end - start, x.Points + start, values + start, filterLength, filtered, filteredValues, &m);
        MergeOutputs(filtered, filteredValues, m, moved + start + offset, merged);
        start = end;
    }

    std::memcpy(x.Points, merged.points, sizeof(Vec3) * merged.count);
    if (x.PointValues) {
        int32_t i = 0;
        for (; i + 4 <= merged.count; i += 4)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(x.PointValues + i),
                             _mm_cvttps_epi32(_mm_add_ps(_mm_loadu_ps(merged.values + i), _mm_set1_ps(0.5f))));
        for (; i < merged.count; ++i) x.PointValues[i] = static_cast<int32_t>(merged.values[i] + 0.5f);
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
