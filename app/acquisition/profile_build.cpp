#include "app/acquisition/profile_build.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include <emmintrin.h>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/calibration_lookup.h"
#include "app/acquisition/calibration_state.h"
#include "app/acquisition/field_ring.h"
#include "app/acquisition/hardware_online_time.h"
#include "app/acquisition/hardware_statistics.h"
#include "app/acquisition/line_detection.h"
#include "app/acquisition/profile_line_log.h"
#include "app/acquisition/tracking_state.h"
#include "app/scan/profile_math.h"
#include "app/scan/profile_processing.h"
#include "app/scan/svd.h"
#include "platform/os_seam.h"

namespace {

// Room of the staging arrays: per channel, more than the lines of a field.
constexpr int kStagingPerChannel = 300;
// Rescaled sample geometry of frequency modes 2 and 3 (160 / 227 as float).
constexpr float kRescaleFactor = 0.7048457860946655f;
constexpr float kRescaleOffset = 24.0f;
constexpr float kRescaleLineOffset = 2.5f;
// The apex of the viewing cone lies this far behind the wand's origin.
constexpr float kConeApexOffset = 140.0f;
constexpr float kNoPoint = 1e10f;

// The version-mismatch watch: interlaced hardware toggles the parity word
// from field to field, so after enough wand fields the parity changes tell
// whether the unit matches the hardware version of the calibration.
struct MismatchWatch {
    std::int32_t wandOnlyFields = 0;
    std::int32_t parityChanges = 0;
    std::int32_t lastParity = 0;
};
MismatchWatch g_watch;

void WatchVersion(std::int32_t parity, std::int32_t parityProperty, std::int32_t* parityExpected,
                  std::int32_t* versionMismatch) {
    if (g_watch.wandOnlyFields < 100) ++g_watch.wandOnlyFields;
    if (g_watch.parityChanges < 100 && parity != g_watch.lastParity) ++g_watch.parityChanges;
    if (parityExpected) *parityExpected = parityProperty;
    const std::int32_t seenInterlaced = g_watch.parityChanges >= 3 ? 1 : 0;
    if (versionMismatch)
        *versionMismatch = g_watch.wandOnlyFields >= 10 && parityProperty != seenInterlaced ? 1 : 0;
    g_watch.lastParity = parity;
}

// The N-field average of tracker record k over the window of N + 1 fields
// (oldest first): weights w, 1, ..., 1, 1 - w, so the average is centred w
// fields before the centre field's time; then the nearest rotation.
void FilterPose(std::int32_t first, std::int32_t n, int k, float w, Matrix4& out) {
    float sum[16] = {};
    for (std::int32_t f = 0; f <= n; ++f) {
        DecodedLocatorBlock block;
        ReadDecodedLocatorBlock(RingSlotAddress(first + f), block);
        const float c = f == 0 ? w : f == n ? 1.0f - w : 1.0f;
        for (int e = 0; e < 16; ++e) sum[e] += c * block.record[k].pose[e];
    }
    const float scale = 1.0f / static_cast<float>(n);
    for (int e = 0; e < 16; ++e) out[e] = sum[e] * scale;
    M4_Orthonormalise(out, out);
}

bool StationPresent(std::int32_t flag, bool automatic, TrackingState state) {
    return flag != 0 && (!automatic || state == TrackingState_INITIALISED);
}

// The poses, receiver states and times of the profile.
void SetProfilePoses(Profile& profile, std::int32_t first, std::int32_t n, const DecodedLocatorBlock& centre,
                     const HardwareModel& model, std::int32_t referenceEnabled, std::int32_t useGivenReference,
                     const Matrix4* givenReference) {
    Matrix4 filtered[2];
    for (int k = 0; k < 2; ++k) FilterPose(first, n, k, model.recordPhaseWeights[k], filtered[k]);

    DecodedLocatorBlock oldest;
    ReadDecodedLocatorBlock(RingSlotAddress(first), oldest);
    const int iw = oldest.wandRecord & 1;
    const int ir = oldest.referenceRecord & 1;

    profile.ReferenceEnabled = referenceEnabled;
    profile.WandRxMatrix = filtered[iw];
    profile.RawReferenceRxMatrix = filtered[ir];
    // Without a true reference station in the record there is no measured
    // reference pose.
    if (!model.fixedWandProperty && oldest.record[ir].station != 1)
        std::memset(&profile.RawReferenceRxMatrix, 0, sizeof profile.RawReferenceRxMatrix);
    if (!referenceEnabled)
        M4_Identity(profile.ReferenceRxMatrix);
    else if (useGivenReference && givenReference)
        profile.ReferenceRxMatrix = *givenReference;
    else
        profile.ReferenceRxMatrix = filtered[ir];
    if (model.fixedWandProperty) M4_Identity(profile.WandRxMatrix);

    const auto wandStatus = static_cast<std::uint8_t>(centre.record[iw].errorChar);
    const auto referenceStatus = static_cast<std::uint8_t>(centre.record[ir].errorChar);
    profile.ReceiverStatus = static_cast<std::int32_t>(wandStatus | (referenceStatus << 8));
    profile.ScanTime = static_cast<std::int32_t>(static_cast<std::uint32_t>(os::WallClockSeconds()));
}

struct Staging {
    Vec3 points[2 * kStagingPerChannel];
    std::int32_t widths[2 * kStagingPerChannel];
    std::int32_t counts[2];
};

struct SampleContext {
    explicit SampleContext(const CalibrationData& calibration) : grid(calibration) {}
    CalibrationGrid grid;
    const std::uint16_t* slot;
    Matrix4 toScan;
    float tanHalf;
    bool rescaled;
    bool parityShift;
    ProfileLineLog log;
    bool logging;
    float lineTweak[2];
    float countTweak[2];
    std::int32_t minWidth;  // the accepted laser-line widths, read once a field
    std::int32_t maxWidth;
};

// A sample that plainly passes every check of ProfileSampleUsable; any other
// goes through it, which counts the cause of a rejection.
bool PlainlyUsable(const SampleContext& s, std::int32_t rawStart, std::int32_t start, std::int32_t end) {
    return rawStart != 0 && start != 0 && start <= end && end - start >= s.minWidth && end - start <= s.maxWidth;
}

// One line sample of channel c: logged when usable, kept as a point when the
// table has one inside the viewing cone.
void TakeSample(const SampleContext& s, int c, std::int32_t line, Staging& staging) {
    const std::int32_t word = (line * 2 + c) * 2;
    const std::int32_t rawStart = s.slot[word] & 0x0FFF;
    const std::int32_t rawEnd = s.slot[word + 1] & 0x0FFF;
    float s1 = static_cast<float>(rawStart);
    float s2 = static_cast<float>(rawEnd);
    float y0 = static_cast<float>(line);
    if (s.rescaled) {
        s1 = s1 * kRescaleFactor + kRescaleOffset;
        s2 = s2 * kRescaleFactor + kRescaleOffset;
        y0 = static_cast<float>(line) + kRescaleLineOffset;
    }
    const auto start = static_cast<std::int32_t>(s1);
    const auto end = static_cast<std::int32_t>(s2);
    if (!PlainlyUsable(s, rawStart, start, end) && !ProfileSampleUsable(rawStart, rawEnd, start, end)) return;
    if (s.parityShift) y0 += 0.5f;

    std::int32_t entry = -1;
    if (s.logging && *s.log.count < kProfileLineLogCapacity) {
        entry = (*s.log.count)++;
        s.log.linePosition[entry] = y0;
        s.log.channel[entry] = c;
        s.log.start[entry] = start;
        s.log.end[entry] = end;
        s.log.point[entry] = Vec3{kNoPoint, kNoPoint, kNoPoint};
    }

    Vec3 p;
    const float countPosition = (s1 + s2) * 0.5f + s.countTweak[c];
    if (!s.grid.Interpolate(c, y0 + s.lineTweak[c], countPosition, p)) return;
    const bool inCone = std::fabs(p.y) / (p.x + kConeApexOffset) < s.tanHalf;
    if (inCone) p = profile_math::Transform(s.toScan, p);
    if (entry >= 0) s.log.point[entry] = p;
    if (!inCone || staging.counts[c] >= kStagingPerChannel) return;
    const std::int32_t k = staging.counts[c]++;
    staging.points[2 * k + c] = p;
    staging.widths[2 * k + c] = std::abs(static_cast<std::int32_t>(s2 - s1));
}

// Four line samples of channel c (lines first, first + step, ...) as four
// TakeSample calls would take them, when all four plainly pass the width
// check and the log has room for all; false, with nothing done, otherwise.
// The positions, the cone test and the transform go four lanes at a time.
bool TakeFourSamples(const SampleContext& s, int c, std::int32_t first, std::int32_t step, Staging& staging) {
    if (s.logging && *s.log.count > kProfileLineLogCapacity - 4) return false;
    alignas(16) std::int32_t rawStart[4], rawEnd[4], lines[4];
    for (int k = 0; k < 4; ++k) {
        lines[k] = first + k * step;
        const std::int32_t word = (lines[k] * 2 + c) * 2;
        rawStart[k] = s.slot[word] & 0x0FFF;
        rawEnd[k] = s.slot[word + 1] & 0x0FFF;
    }
    const auto loadInts = [](const std::int32_t* v) { return _mm_load_si128(reinterpret_cast<const __m128i*>(v)); };
    __m128 s1 = _mm_cvtepi32_ps(loadInts(rawStart));
    __m128 s2 = _mm_cvtepi32_ps(loadInts(rawEnd));
    __m128 y0 = _mm_cvtepi32_ps(loadInts(lines));
    if (s.rescaled) {
        s1 = _mm_add_ps(_mm_mul_ps(s1, _mm_set1_ps(kRescaleFactor)), _mm_set1_ps(kRescaleOffset));
        s2 = _mm_add_ps(_mm_mul_ps(s2, _mm_set1_ps(kRescaleFactor)), _mm_set1_ps(kRescaleOffset));
        y0 = _mm_add_ps(y0, _mm_set1_ps(kRescaleLineOffset));
    }
    const __m128i start = _mm_cvttps_epi32(s1);
    const __m128i end = _mm_cvttps_epi32(s2);
    // PlainlyUsable in four lanes.
    const __m128i zero = _mm_setzero_si128();
    const __m128i width = _mm_sub_epi32(end, start);
    const __m128i refused = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi32(loadInts(rawStart), zero), _mm_cmpeq_epi32(start, zero)),
        _mm_or_si128(_mm_or_si128(_mm_cmpgt_epi32(start, end), _mm_cmplt_epi32(width, _mm_set1_epi32(s.minWidth))),
                     _mm_cmpgt_epi32(width, _mm_set1_epi32(s.maxWidth))));
    if (_mm_movemask_epi8(refused) != 0) return false;
    if (s.parityShift) y0 = _mm_add_ps(y0, _mm_set1_ps(0.5f));

    const __m128 countPosition =
        _mm_add_ps(_mm_mul_ps(_mm_add_ps(s1, s2), _mm_set1_ps(0.5f)), _mm_set1_ps(s.countTweak[c]));
    __m128 p[4];
    std::int32_t found[4];
    s.grid.Interpolate4(c, _mm_add_ps(y0, _mm_set1_ps(s.lineTweak[c])), countPosition, p, found);
    for (int k = 0; k < 4; ++k)
        if (!found[k]) p[k] = _mm_setzero_ps();
    __m128 x = p[0], y = p[1], z = p[2], w = p[3];
    _MM_TRANSPOSE4_PS(x, y, z, w);
    const __m128 magnitude = _mm_andnot_ps(_mm_set1_ps(-0.0f), y);
    const int inCone = _mm_movemask_ps(
        _mm_cmplt_ps(_mm_div_ps(magnitude, _mm_add_ps(x, _mm_set1_ps(kConeApexOffset))), _mm_set1_ps(s.tanHalf)));
    // As profile_math::Transform, four points at a time.
    const Matrix4& m = s.toScan;
    const auto row = [&](int r) {
        return _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(x, _mm_set1_ps(m[r])), _mm_mul_ps(y, _mm_set1_ps(m[4 + r]))),
                                     _mm_mul_ps(z, _mm_set1_ps(m[8 + r]))),
                          _mm_set1_ps(m[12 + r]));
    };
    alignas(16) float px[4], py[4], pz[4], tx[4], ty[4], tz[4], y0Lanes[4];
    _mm_store_ps(px, x), _mm_store_ps(py, y), _mm_store_ps(pz, z);
    _mm_store_ps(tx, row(0)), _mm_store_ps(ty, row(1)), _mm_store_ps(tz, row(2));
    _mm_store_ps(y0Lanes, y0);
    alignas(16) std::int32_t starts[4], ends[4], widths[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(starts), start);
    _mm_store_si128(reinterpret_cast<__m128i*>(ends), end);
    _mm_store_si128(reinterpret_cast<__m128i*>(widths), _mm_cvttps_epi32(_mm_sub_ps(s2, s1)));

    for (int k = 0; k < 4; ++k) {
        const bool kept = found[k] && ((inCone >> k) & 1);
        const Vec3 point = kept ? Vec3{tx[k], ty[k], tz[k]} : Vec3{px[k], py[k], pz[k]};
        if (s.logging) {
            const std::int32_t entry = (*s.log.count)++;
            s.log.linePosition[entry] = y0Lanes[k];
            s.log.channel[entry] = c;
            s.log.start[entry] = starts[k];
            s.log.end[entry] = ends[k];
            s.log.point[entry] = found[k] ? point : Vec3{kNoPoint, kNoPoint, kNoPoint};
        }
        if (!kept || staging.counts[c] >= kStagingPerChannel) continue;
        const std::int32_t i = staging.counts[c]++;
        staging.points[2 * i + c] = point;
        staging.widths[2 * i + c] = std::abs(widths[k]);
    }
    return true;
}

// Every line of every channel; channel 1 is walked from the last line down on
// hardware that reverses it. The last line of each walk is not visited.
void TakeSamples(const SampleContext& s, const HardwareModel& model, Staging& staging) {
    const std::int32_t lines = model.lineCount < kFieldLineCount ? model.lineCount : kFieldLineCount;
    const int channels = model.channelCount < 2 ? model.channelCount : 2;
    for (int c = 0; c < channels; ++c) {
        const bool upwards = c == 0 || !model.channel1Reversed;
        const std::int32_t first = upwards ? 0 : lines - 1;
        const std::int32_t step = upwards ? 1 : -1;
        std::int32_t n = 0;
        for (; n + 4 <= lines - 1; n += 4)
            if (!TakeFourSamples(s, c, first + n * step, step, staging))
                for (int k = 0; k < 4; ++k) TakeSample(s, c, first + (n + k) * step, staging);
        for (; n < lines - 1; ++n) TakeSample(s, c, first + n * step, staging);
    }
}

// Gives the profile exactly `n` points and widths. False when memory runs out.
bool ResizeProfileArrays(Profile& profile, std::int32_t n) {
    if (n == 0) {
        std::free(profile.Points);
        std::free(profile.PointValues);
        profile.Points = nullptr;
        profile.PointValues = nullptr;
        return true;
    }
    void* points = std::realloc(profile.Points, static_cast<std::size_t>(n) * sizeof(Vec3));
    if (!points) return false;
    profile.Points = static_cast<Vec3*>(points);
    void* values = std::realloc(profile.PointValues, static_cast<std::size_t>(n) * sizeof(std::int32_t));
    if (!values) return false;
    profile.PointValues = static_cast<std::int32_t*>(values);
    return true;
}

std::int32_t BuildPoints(Profile& profile, const DecodedLocatorBlock& centre, std::int32_t centreCount,
                         float coneAngle) {
    const CalibrationData& calibration = CurrentCalibration();
    const HardwareModel& model = calibration.model;
    const std::int32_t mode = GetProcessingUnitVersion();

    SampleContext s(calibration);
    s.slot = RingSlotAddress(centreCount);
    Matrix4 referenceInverse;
    M4_InvertRigid(profile.ReferenceRxMatrix, referenceInverse);
    M4_Multiply(referenceInverse, profile.WandRxMatrix, s.toScan);
    s.tanHalf = std::tan(coneAngle * 0.5f * static_cast<float>(kGeometryPi) / 180.0f);
    s.rescaled = mode == 2 || mode == 3;
    s.parityShift = model.parityProperty != 0 && centre.parityFlag != 0;
    s.logging = profile.Extra != nullptr;
    if (s.logging) s.log = ProfileLineLog_Get(profile);
    s.minWidth = GetMinLaserLineWidth();
    s.maxWidth = GetMaxLaserLineWidth();
    const LutTweak& tweak = calibration.history[0];
    for (int c = 0; c < 2; ++c) {
        s.lineTweak[c] = tweak.lineTweak[c];
        s.countTweak[c] = tweak.countTweak[c];
    }

    Staging staging;
    staging.counts[0] = staging.counts[1] = 0;
    TakeSamples(s, model, staging);

    const std::int32_t n = staging.counts[0] + staging.counts[1];
    if (!ResizeProfileArrays(profile, n)) {
        profile.NumPoints = 0;
        return kProfileOutOfMemory;
    }
    profile.NumPoints = n;
    if (n > 0)
        Scan_ProfileCameraDeviation(staging.points, staging.widths, staging.counts, profile.Points,
                                    profile.PointValues, &profile.NumPoints, &profile.CameraDeviation);
    return kProfileBuilt;
}

}  // namespace

bool ProfileSampleUsable(std::int32_t rawStart, std::int32_t rawEnd, std::int32_t start, std::int32_t end) {
    if (rawStart == 0 && rawEnd == 0) return false;
    if (rawStart == 0 && rawEnd > 0) {
        // Rescaling moves a missing start away from 0: count it as missing.
        Stats_Add(Stat_RiseZero);
        return false;
    }
    return LaserLineWidthOk(start, end);
}

void ResetVersionMismatchWatch() {
    g_watch.wandOnlyFields = 0;
    g_watch.parityChanges = 0;
}

std::int32_t BuildProfileFromField(Profile& profile, std::int32_t referenceEnabled, std::int32_t useGivenReference,
                                   const Matrix4* givenReference, float coneAngle, std::int32_t* wandPresent,
                                   std::int32_t* stylusPresent, std::int32_t* parityExpected,
                                   std::int32_t* versionMismatch, std::int32_t* onlineTime) {
    const std::int32_t n = GetOddFilterLength();
    const std::int32_t first = Ring_ReadCount();
    profile.NumPoints = 0;
    if (static_cast<std::int64_t>(Ring_WriteCount()) < static_cast<std::int64_t>(first) + n + 1)
        return kProfileNotEnoughFields;

    const std::int32_t centreCount = first + 1 + (n - 1) / 2;
    DecodedLocatorBlock centre;
    ReadDecodedLocatorBlock(RingSlotAddress(centreCount), centre);
    const bool automatic = GetHemisphereSetting() == kHemisphereAutomatic;
    const bool wand = StationPresent(centre.wandFlag, automatic, GetWandTrackingState());
    const bool stylus = StationPresent(centre.stylusFlag, automatic, GetStylusTrackingState());
    if (wandPresent) *wandPresent = wand ? 1 : 0;
    if (stylusPresent) *stylusPresent = stylus ? 1 : 0;

    const HardwareModel& model = CurrentCalibration().model;
    if (wand && !stylus) WatchVersion(centre.parityFlag, model.parityProperty, parityExpected, versionMismatch);

    if (!stylus) {
        if (!ProfileLineLog_Ensure(profile)) {
            Ring_ConsumeField();
            return kProfileOutOfMemory;
        }
        *ProfileLineLog_Get(profile).count = 0;
    }

    SetProfilePoses(profile, first, n, centre, model, referenceEnabled, useGivenReference, givenReference);
    if (onlineTime)
        *onlineTime = static_cast<std::int32_t>(static_cast<std::uint32_t>(GetHardwareOnlineTime()));

    std::int32_t result = kProfileBuilt;
    if (!stylus) result = BuildPoints(profile, centre, centreCount, coneAngle);
    Ring_ConsumeField();
    return result;
}
