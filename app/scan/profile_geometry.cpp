// The geometry pass of profile processing: the points of each new profile
// with their variance, resolution, flags and greyscale, and the facet strip
// that joins it to the profile before it in the same sweep.
#include "app/scan/facet_strip.h"
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
    for (int32_t k = 0; k < p.NumPoints; ++k) raw.Points[raw.NumPoints++].Vertex = p.Points[k];
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
    for (int32_t k = 0; k < p.NumPoints; ++k) {
        ScanPoint& sp = raw.Points[start + k];
        sp.Value = profile_math::DistanceSquared(sp.Vertex, t);
        double variance = kScanVarianceFactor * sp.Value + wandTerm;
        if (p.ReferenceEnabled)
            variance += kScanVarianceFactor * profile_math::LengthSquared(sp.Vertex) + referenceTerm;
        sp.Variance = static_cast<float>(variance);
    }
}

// The squared distance each point moves with the wand towards the other
// profile's pose: how far apart the two profiles lie there.
void Scan_PointResolution(RawData& raw, const Profile& p, const Profile& other, int32_t start) {
    Matrix4 motion;
    Scan_RelativeMotion(p, other, motion);
    for (int32_t k = 0; k < p.NumPoints; ++k) {
        ScanPoint& sp = raw.Points[start + k];
        sp.ResolutionSq = profile_math::DistanceSquared(sp.Vertex, profile_math::Transform(motion, sp.Vertex));
    }
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
// point lies seen from the sensor.
struct GreyGeometry {
    Vec3 v;         // the point less the camera's centre (0, 0, -110), sensor frame
    float vLength;  // |v|
    float factor;   // (|v| / 100) / (|u| / 100)^0.1, u the point less (-50, 0, 0)
};

GreyGeometry GreyGeometryOf(const Matrix4& fromScan, const Vec3& vertex) {
    using namespace profile_math;
    const Vec3 a = Transform(fromScan, vertex);
    const Vec3 u = Sub(a, Vec3{-50.0f, 0.0f, 0.0f});
    const Vec3 v = Sub(a, Vec3{0.0f, 0.0f, -110.0f});
    const float vLength = std::sqrt(LengthSquared(v));
    const float uLength = std::sqrt(LengthSquared(u));
    return GreyGeometry{v, vLength, vLength / 100.0f / std::exp(std::log(uLength / 100.0f) * 0.1f)};
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
    Vec3 vertex[kMaxProfilePoints];
    GreyGeometry geometry[kMaxProfilePoints];
};
thread_local GreyMemo g_greyMemo;

bool SameBits(const void* a, const void* b, std::size_t bytes) { return std::memcmp(a, b, bytes) == 0; }

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

    GreyMemo& memo = g_greyMemo;
    const bool current = pass == GreyPass::Current;
    const int32_t memoCount = current || !SameBits(&memo.fromScan, &fromScan, sizeof fromScan) ? 0 : memo.count;
    if (current) {
        memo.fromScan = fromScan;
        memo.count = p.NumPoints < kMaxProfilePoints ? p.NumPoints : kMaxProfilePoints;
    }
    for (int32_t k = 0; k < p.NumPoints; ++k) {
        ScanPoint& sp = raw.Points[start + k];
        GreyGeometry g;
        if (current) {
            g = GreyGeometryOf(fromScan, sp.Vertex);
            if (k < kMaxProfilePoints) {
                memo.vertex[k] = sp.Vertex;
                memo.geometry[k] = g;
            }
        }
        const int32_t value = p.PointValues ? p.PointValues[k] : 0;
        if (value == 0) {
            sp.Grey = 255;
            continue;
        }
        if (!current) {
            if (k < memoCount && SameBits(&memo.vertex[k], &sp.Vertex, sizeof(Vec3)))
                g = memo.geometry[k];
            else
                g = GreyGeometryOf(fromScan, sp.Vertex);
        }
        using namespace profile_math;
        const Vec3 b = Transform(turn, sp.Normal);
        float c = -(Dot(b, g.v) / g.vLength);
        if (c < 0.0f) c = 0.0f;
        if (c == 0.0f) {
            sp.Grey = 255;
            continue;
        }
        // q = (|v| / 100) / (|u| / 100)^0.1 / c^0.5 x width, in float.
        sp.Grey = GreyByte(g.factor / std::sqrt(c) * static_cast<float>(value));
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
