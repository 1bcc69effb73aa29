// The geometry pass of profile processing: the points of each new profile
// with their variance, resolution, flags and greyscale, and the facet strip
// that joins it to the profile before it in the same sweep.
#include "app/scan/facet_strip.h"
#include "app/scan/point_lanes.h"
#include "app/scan/profile_math.h"
#include "app/scan/profile_processing.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace {

// Room made before each profile: two profiles' points, and more facets than
// a strip between them can make.
constexpr int32_t kPointStep = 2 * kMaxProfilePoints;
constexpr int32_t kFacetStep = 4 * kMaxProfilePoints;

// Greyscale: brightness of the laser line seen from the camera, scaled so
// that q from 3 to 30 spans the byte.
constexpr float kGreyFull = 30.0f;
constexpr float kGreyFloor = 3.0f;

void* Grow(BigBuffer* block, std::size_t bytes) {
    if (!block) throw OutOfMemoryError();
    return BigBuffer_Alloc(*block, bytes);
}

void Scan_ReservePoints(RawData& raw) {
    const int64_t wanted = static_cast<int64_t>(raw.NumPoints) + kPointStep;
    if (wanted <= raw.MaxPoints) return;
    raw.Points = static_cast<ScanPoint*>(Grow(raw.PointBlock, static_cast<std::size_t>(wanted) * sizeof(ScanPoint)));
    raw.MaxPoints = static_cast<int32_t>(wanted);
}

void Scan_ReserveFacets(RawData& raw) {
    const int64_t wanted = static_cast<int64_t>(raw.NumFacets) + kFacetStep;
    if (wanted <= raw.MaxFacets) return;
    const auto n = static_cast<std::size_t>(wanted);
    raw.Facets = static_cast<Facet*>(Grow(raw.FacetBlock, n * sizeof(Facet)));
    raw.FacetNormals = static_cast<Vec3*>(Grow(raw.FacetNormalBlock, n * sizeof(Vec3)));
    raw.MaxFacets = static_cast<int32_t>(wanted);
}

void Scan_AppendProfilePoints(RawData& raw, const Profile& p) {
    ScanPoint* to = raw.Points + raw.NumPoints;
    for (int32_t k = 0; k < p.NumPoints; ++k) to[k].Vertex = p.Points[k];
    if (p.NumPoints > 0) raw.NumPoints += p.NumPoints;
}

void Scan_PointVariance(RawData& raw, const Profile& p, int32_t start) {
    const Vec3 wand{p.WandRxMatrix[12], p.WandRxMatrix[13], p.WandRxMatrix[14]};
    const Vec3 reference{p.ReferenceRxMatrix[12], p.ReferenceRxMatrix[13], p.ReferenceRxMatrix[14]};
    Matrix4 referenceInverse;
    M4_InvertRigid(p.ReferenceRxMatrix, referenceInverse);
    Vec3 t;
    M4_TransformPoint(referenceInverse, wand, t);
    const double wandTerm = kScanVarianceFactor * V3_LengthSquared(wand);
    const double referenceTerm = kScanVarianceFactor * V3_LengthSquared(reference);
    ScanPoint* sp = raw.Points + start;
    int32_t k = 0;
    // Four points at a time: the squared ranges in float, the variances in
    // double two lanes at a time, as below.
    const point_lanes::Lanes3 wandLanes{_mm_set1_ps(t.x), _mm_set1_ps(t.y), _mm_set1_ps(t.z)};
    const __m128d factor = _mm_set1_pd(kScanVarianceFactor);
    const auto half = [&](__m128 range, __m128 length) {
        __m128d variance = _mm_add_pd(_mm_mul_pd(factor, _mm_cvtps_pd(range)), _mm_set1_pd(wandTerm));
        if (p.ReferenceEnabled)
            variance = _mm_add_pd(variance, _mm_add_pd(_mm_mul_pd(factor, _mm_cvtps_pd(length)),
                                                       _mm_set1_pd(referenceTerm)));
        return _mm_cvtpd_ps(variance);
    };
    for (; k + 4 <= p.NumPoints; k += 4) {
        using namespace point_lanes;
        const Lanes3 v = LoadVertices(sp + k);
        const __m128 range = LengthSquared(Sub(wandLanes, v));  // DistanceSquared(v, t) is |t - v|²
        const __m128 length = LengthSquared(v);
        const __m128 low = half(range, length);
        const __m128 high = half(_mm_movehl_ps(range, range), _mm_movehl_ps(length, length));
        Scatter(range, &sp[k].Value, &sp[k + 1].Value, &sp[k + 2].Value, &sp[k + 3].Value);
        Scatter(_mm_movelh_ps(low, high), &sp[k].Variance, &sp[k + 1].Variance, &sp[k + 2].Variance,
                &sp[k + 3].Variance);
    }
    for (; k < p.NumPoints; ++k) {
        sp[k].Value = profile_math::DistanceSquared(sp[k].Vertex, t);
        double variance = kScanVarianceFactor * sp[k].Value + wandTerm;
        if (p.ReferenceEnabled)
            variance += kScanVarianceFactor * profile_math::LengthSquared(sp[k].Vertex) + referenceTerm;
        sp[k].Variance = static_cast<float>(variance);
    }
}

// The squared distance each point moves with the wand towards the other
// profile's pose: how far apart the two profiles lie there.
void Scan_PointResolution(RawData& raw, const Profile& p, const Profile& other, int32_t start) {
    Matrix4 motion;
    Scan_RelativeMotion(p, other, motion);
    const point_lanes::Matrix4Lanes motionLanes(motion);
    ScanPoint* sp = raw.Points + start;
    int32_t k = 0;
    for (; k + 4 <= p.NumPoints; k += 4) {
        using namespace point_lanes;
        const Lanes3 v = LoadVertices(sp + k);
        // DistanceSquared(v, w) is |w - v|².
        const __m128 d = LengthSquared(Sub(Transform(motionLanes, v), v));
        Scatter(d, &sp[k].ResolutionSq, &sp[k + 1].ResolutionSq, &sp[k + 2].ResolutionSq, &sp[k + 3].ResolutionSq);
    }
    for (; k < p.NumPoints; ++k)
        sp[k].ResolutionSq = profile_math::DistanceSquared(sp[k].Vertex, profile_math::Transform(motion, sp[k].Vertex));
}

void Scan_ClearPointFlags(RawData& raw, int32_t start, int32_t n) {
    for (int32_t k = 0; k < n; ++k) raw.Points[start + k].Flags &= ~(kPointSelectionMask | kPointEraseMask);
}

uint8_t GreyByte(float q) {
    if (!(q <= kGreyFull)) return 255;
    // Dim lines stay black rather than wrapping round to a bright byte.
    if (q < kGreyFloor) return 0;
    return static_cast<uint8_t>(static_cast<int32_t>((q - kGreyFloor) * 255.0f / (kGreyFull - kGreyFloor)));
}

// The part of a point's greyscale that its normal does not change: where the
// point lies seen from the sensor, v = the point less the camera's centre
// (0, 0, -110) and |v|, and its brightness factor (|v| / 100) / (|u| / 100)^0.1
// with u = the point less (-50, 0, 0).
struct GreyPoint {
    float vx, vy, vz, vLength, factor;
};

float GreyFactor(float scaledVLength, float scaledULength) {
    return scaledVLength / std::exp(std::log(scaledULength) * 0.1f);
}

GreyPoint GreyPointOf(const Matrix4& fromScan, const Vec3& vertex) {
    using namespace profile_math;
    const Vec3 a = Transform(fromScan, vertex);
    const Vec3 u = Sub(a, Vec3{-50.0f, 0.0f, 0.0f});
    const Vec3 v = Sub(a, Vec3{0.0f, 0.0f, -110.0f});
    const float vLength = std::sqrt(LengthSquared(v));
    const float uLength = std::sqrt(LengthSquared(u));
    return GreyPoint{v.x, v.y, v.z, vLength, GreyFactor(vLength / 100.0f, uLength / 100.0f)};
}

// q = (|v| / 100) / (|u| / 100)^0.1 / c^0.5 x width, in float, c the cosine
// between the normal (turned into the sensor frame) and the line of sight.
uint8_t GreyOf(const GreyPoint& g, const Matrix4& turn, const Vec3& normal, int32_t value) {
    if (value == 0) return 255;
    using namespace profile_math;
    const Vec3 b = Transform(turn, normal);
    float c = -(Dot(b, Vec3{g.vx, g.vy, g.vz}) / g.vLength);
    if (c < 0.0f) c = 0.0f;
    if (c == 0.0f) return 255;
    return GreyByte(g.factor / std::sqrt(c) * static_cast<float>(value));
}

// The same for four points at once, one a lane.
struct GreyLanes {
    point_lanes::Lanes3 v;
    __m128 vLength, factor;
};

GreyLanes GreyLanesOf(const point_lanes::Matrix4Lanes& fromScan, const point_lanes::Lanes3& vertex) {
    using namespace point_lanes;
    const Lanes3 a = Transform(fromScan, vertex);
    const __m128 zero = _mm_setzero_ps();
    const Lanes3 u = Sub(a, Lanes3{_mm_set1_ps(-50.0f), zero, zero});
    const Lanes3 v = Sub(a, Lanes3{zero, zero, _mm_set1_ps(-110.0f)});
    const __m128 hundred = _mm_set1_ps(100.0f);
    const __m128 vLength = _mm_sqrt_ps(LengthSquared(v));
    alignas(16) float scaledV[4], scaledU[4], factor[4];
    _mm_store_ps(scaledV, _mm_div_ps(vLength, hundred));
    _mm_store_ps(scaledU, _mm_div_ps(_mm_sqrt_ps(LengthSquared(u)), hundred));
    for (int i = 0; i < 4; ++i) factor[i] = GreyFactor(scaledV[i], scaledU[i]);
    return GreyLanes{v, vLength, _mm_load_ps(factor)};
}

void StoreGreyLanes(ScanPoint* sp, const GreyLanes& g, const point_lanes::Matrix4Lanes& turn,
                    const int32_t* values) {
    using namespace point_lanes;
    __m128 unused;
    const Lanes3 b = Transform(turn, LoadNormals(sp, unused));
    const __m128 signBit = _mm_set1_ps(-0.0f);
    __m128 c = _mm_xor_ps(_mm_div_ps(Dot(b, g.v), g.vLength), signBit);
    c = _mm_andnot_ps(_mm_cmplt_ps(c, _mm_setzero_ps()), c);
    const __m128i value = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values));
    const __m128 q = _mm_mul_ps(_mm_div_ps(g.factor, _mm_sqrt_ps(c)), _mm_cvtepi32_ps(value));
    const __m128 floor = _mm_set1_ps(kGreyFloor);
    // As GreyByte: white above the scale (or not a number), black below it.
    const __m128 white = _mm_or_ps(_mm_or_ps(_mm_cmpnle_ps(q, _mm_set1_ps(kGreyFull)), _mm_cmpeq_ps(c, _mm_setzero_ps())),
                                   _mm_castsi128_ps(_mm_cmpeq_epi32(value, _mm_setzero_si128())));
    const __m128 black = _mm_cmplt_ps(q, floor);
    const __m128 inside = _mm_andnot_ps(_mm_or_ps(white, black), q);
    const __m128i level = _mm_cvttps_epi32(
        _mm_div_ps(_mm_mul_ps(_mm_sub_ps(inside, floor), _mm_set1_ps(255.0f)), _mm_set1_ps(kGreyFull - kGreyFloor)));
    const __m128i byte = _mm_or_si128(_mm_andnot_si128(_mm_castps_si128(_mm_or_ps(white, black)), level),
                                      _mm_and_si128(_mm_castps_si128(white), _mm_set1_epi32(255)));
    alignas(16) int32_t out[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(out), byte);
    for (int i = 0; i < 4; ++i) sp[i].Grey = static_cast<uint8_t>(out[i]);
}

// Every profile's greyscale is computed twice: as the current profile of its
// pair, with provisional normals, and again as the previous profile of the
// next pair, with final ones. The geometry of the current profile is kept
// here for that second time; an entry is taken only while the pose and the
// point's vertex are, bit for bit, those it was computed from, so any change
// to the scan in between (another scan, a reload, an edit) just computes it
// again. One per thread, as a scan may be processed on a worker thread.
struct GreyMemo {
    Matrix4 fromScan;
    int32_t count;
    float x[kMaxProfilePoints], y[kMaxProfilePoints], z[kMaxProfilePoints];  // the vertices
    float vx[kMaxProfilePoints], vy[kMaxProfilePoints], vz[kMaxProfilePoints];
    float vLength[kMaxProfilePoints], factor[kMaxProfilePoints];

    bool Holds(int32_t k, const Vec3& vertex) const {
        const Vec3 key{x[k], y[k], z[k]};
        return k < count && std::memcmp(&key, &vertex, sizeof key) == 0;
    }
    GreyPoint At(int32_t k) const { return GreyPoint{vx[k], vy[k], vz[k], vLength[k], factor[k]}; }
    void Put(int32_t k, const Vec3& vertex, const GreyPoint& g) {
        x[k] = vertex.x, y[k] = vertex.y, z[k] = vertex.z;
        vx[k] = g.vx, vy[k] = g.vy, vz[k] = g.vz, vLength[k] = g.vLength, factor[k] = g.factor;
    }

    // Lanes k..k+3, when all four are held.
    bool HoldsLanes(int32_t k, const point_lanes::Lanes3& vertex) const {
        if (k + 4 > count) return false;
        const auto same = [](__m128 a, const float* b) {
            return _mm_cmpeq_epi32(_mm_castps_si128(a), _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)));
        };
        const __m128i all = _mm_and_si128(_mm_and_si128(same(vertex.x, x + k), same(vertex.y, y + k)),
                                          same(vertex.z, z + k));
        return _mm_movemask_epi8(all) == 0xFFFF;
    }
    GreyLanes AtLanes(int32_t k) const {
        using point_lanes::Load;
        return GreyLanes{{Load(vx + k), Load(vy + k), Load(vz + k)}, Load(vLength + k), Load(factor + k)};
    }
    void PutLanes(int32_t k, const point_lanes::Lanes3& vertex, const GreyLanes& g) {
        _mm_storeu_ps(x + k, vertex.x), _mm_storeu_ps(y + k, vertex.y), _mm_storeu_ps(z + k, vertex.z);
        _mm_storeu_ps(vx + k, g.v.x), _mm_storeu_ps(vy + k, g.v.y), _mm_storeu_ps(vz + k, g.v.z);
        _mm_storeu_ps(vLength + k, g.vLength), _mm_storeu_ps(factor + k, g.factor);
    }
};
thread_local GreyMemo g_greyMemo;

enum class GreyPass { Previous, Current };

void Scan_PointGreyscale(RawData& raw, const Profile& p, int32_t start, GreyPass pass) {
    Matrix4 toScan, fromScan, turn;
    if (p.ReferenceEnabled) {
        Matrix4 referenceInverse;
        M4_InvertRigid(p.ReferenceRxMatrix, referenceInverse);
        M4_Multiply(referenceInverse, p.WandRxMatrix, toScan);
    } else {
        toScan = p.WandRxMatrix;
    }
    M4_InvertRigid(toScan, fromScan);
    turn = fromScan;
    turn[12] = turn[13] = turn[14] = 0.0f;

    ScanPoint* points = raw.Points + start;
    const int32_t n = p.NumPoints;
    if (!p.PointValues) {
        for (int32_t k = 0; k < n; ++k) points[k].Grey = 255;
        return;
    }
    GreyMemo& memo = g_greyMemo;
    const bool current = pass == GreyPass::Current;
    if (current) {
        memo.fromScan = fromScan;
        memo.count = n < kMaxProfilePoints ? n : kMaxProfilePoints;
    } else if (std::memcmp(&memo.fromScan, &fromScan, sizeof fromScan) != 0) {
        memo.count = 0;
    }

    const point_lanes::Matrix4Lanes fromLanes(fromScan), turnLanes(turn);
    int32_t k = 0;
    for (; k + 4 <= n; k += 4) {
        const point_lanes::Lanes3 vertex = point_lanes::LoadVertices(points + k);
        GreyLanes g;
        if (!current && memo.HoldsLanes(k, vertex)) {
            g = memo.AtLanes(k);
        } else {
            g = GreyLanesOf(fromLanes, vertex);
            if (current && k + 4 <= memo.count) memo.PutLanes(k, vertex, g);
        }
        StoreGreyLanes(points + k, g, turnLanes, p.PointValues + k);
    }
    for (; k < n; ++k) {
        ScanPoint& sp = points[k];
        GreyPoint g;
        if (!current && memo.Holds(k, sp.Vertex)) {
            g = memo.At(k);
        } else {
            g = GreyPointOf(fromScan, sp.Vertex);
            if (current && k < memo.count) memo.Put(k, sp.Vertex, g);
        }
        sp.Grey = GreyOf(g, turn, sp.Normal, p.PointValues[k]);
    }
}

// The points of profile p (and of its predecessor when p is the second
// profile of its sweep) and the strip between them. Throws OutOfMemoryError
// before anything of p is added when the blocks cannot grow.
void Scan_AppendProfilePair(RawData& raw, int32_t sweepStart, int32_t p) {
    Scan_ReservePoints(raw);
    Scan_ReserveFacets(raw);
    if (p <= sweepStart) return;  // the first profile waits for the second
    const bool first = p == sweepStart + 1;
    const Profile& prev = raw.Profiles[p - 1];
    const Profile& cur = raw.Profiles[p];
    if (first) Scan_AppendProfilePoints(raw, prev);
    Scan_AppendProfilePoints(raw, cur);
    const int32_t curStart = raw.NumPoints - cur.NumPoints;
    const int32_t prevStart = curStart - prev.NumPoints;

    if (first) Scan_PointVariance(raw, prev, prevStart);
    Scan_PointVariance(raw, cur, curStart);
    if (first) Scan_PointResolution(raw, prev, cur, prevStart);
    Scan_PointResolution(raw, cur, prev, curStart);
    if (first) Scan_ClearPointFlags(raw, prevStart, prev.NumPoints);
    Scan_ClearPointFlags(raw, curStart, cur.NumPoints);

    const int32_t firstNewFacet = raw.NumFacets;
    Scan_FacetStrip(raw.Points, prevStart, prev.NumPoints, curStart, cur.NumPoints, cur.WandRxMatrix,
                    cur.ReferenceRxMatrix, raw.Facets, raw.FacetNormals, &raw.NumFacets);
    Scan_StripNormals(prev.NumPoints, raw.Points, raw.NormalCarry, prevStart, curStart, cur.NumPoints, raw.Facets,
                      raw.FacetNormals, firstNewFacet, raw.NumFacets, first);

    Scan_PointGreyscale(raw, prev, prevStart, GreyPass::Previous);
    Scan_PointGreyscale(raw, cur, curStart, GreyPass::Current);
    if (prevStart < raw.ColourCursor) raw.ColourCursor = prevStart;
}

// The profiles of one sweep from the cursor on. False when room ran out; then
// `stop` names the profile that got nothing.
bool SweepGeometry(RawData& raw, int32_t s, int32_t end, ScanGeometryStop& stop) {
    const int32_t start = raw.SweepStartingProfileNo[s];
    for (int32_t p = start > raw.CurrentSweepProfile ? start : raw.CurrentSweepProfile; p < end; ++p) {
        try {
            Scan_AppendProfilePair(raw, start, p);
        } catch (const OutOfMemoryError&) {
            stop = ScanGeometryStop{s, p};
            return false;
        }
    }
    return true;
}

}  // namespace

int32_t Scan_BuildNewGeometry(RawData& raw, ScanGeometryStop& stop) {
    for (int32_t s = raw.CurrentSweep; s < raw.TotalSweeps; ++s) {
        if (!SweepGeometry(raw, s, raw.SweepStartingProfileNo[s + 1], stop)) return kScanProcessOutOfMemory;
        raw.SweepFirstPoint[s + 1] = raw.NumPoints;
        raw.SweepFirstFacet[s + 1] = raw.NumFacets;
    }
    if (!SweepGeometry(raw, raw.TotalSweeps, raw.TotalProfiles, stop)) return kScanProcessOutOfMemory;
    stop = ScanGeometryStop{raw.TotalSweeps, raw.TotalProfiles};
    return kScanProcessOk;
}

void Scan_ProfileGreyscale(RawData& raw, const Profile& p, int32_t start) {
    Scan_PointGreyscale(raw, p, start, GreyPass::Previous);
}
