#include "sim/sweep_generator.h"

#include <cmath>
#include <cstdio>

#include "app/acquisition/field_format.h"
#include "app/acquisition/hardware_version.h"

namespace {

constexpr float kTableScale = 1.0f / 32.0f;
constexpr float kCentreLine = 140.0f;
constexpr float kChannelOffset = 0.25f;
constexpr std::int32_t kLineWidthCounts = 10;

float LinearLineY(std::int32_t channel, float linePosition) {
    return channel == 0 ? (linePosition - kCentreLine) * 0.5f : (kCentreLine - linePosition) * 0.5f + kChannelOffset;
}

std::int16_t TableUnits(float mm) { return static_cast<std::int16_t>(std::lround(mm / kTableScale)); }

bool ParseVersion(const char* text, std::int32_t v[3]) {
    for (const char* p = text; *p; ++p)
        if ((*p < '0' || *p > '9') && *p != '.') return false;
    return std::sscanf(text, "%d.%d.%d", &v[0], &v[1], &v[2]) == 3;
}

// Start and end counts whose mid-point lies nearest the count position: 10
// or 11 counts apart. False when they would not fit the 12 bits.
bool EncodeCount(float count, GeneratedLineSample& sample) {
    std::int32_t bestStart = 0, bestWidth = kLineWidthCounts;
    float bestError = 1e30f;
    for (std::int32_t width = kLineWidthCounts; width <= kLineWidthCounts + 1; ++width) {
        const float half = 0.5f * static_cast<float>(width);
        const auto start = static_cast<std::int32_t>(std::lround(count - half));
        const float error = std::fabs(static_cast<float>(start) + half - count);
        if (error < bestError) {
            bestError = error;
            bestStart = start;
            bestWidth = width;
        }
    }
    if (bestStart < 1 || bestStart + bestWidth > 0x0FFF) return false;
    sample.start = static_cast<std::uint16_t>(bestStart);
    sample.end = static_cast<std::uint16_t>(bestStart + bestWidth);
    return true;
}

}  // namespace

CalibrationData MakeLinearCalibration(const char* hardwareVersion) {
    CalibrationData data;
    std::int32_t v[3] = {0, 0, 0};
    ParseVersion(hardwareVersion, v);
    const HardwareVersionEntry* entry = FindHardwareVersion(v[0], v[1], v[2], 1);
    data.fileVersion = 5;
    data.header.WandSerialNumber = 345;
    data.header.versionMajor = v[0];
    data.header.versionMinor = v[1];
    data.header.versionRevision = v[2];
    data.header.versionCheck = 1;
    data.header.LutRows = kLinearTableRows;
    data.header.LutColumns = kLinearTableColumns;
    data.header.LutRowStep = 2;
    data.header.LutColumnStep = 2;
    data.header.LutScale = kTableScale;
    data.header.LutUnsetMarker = -32768;
    if (entry) data.model = MakeHardwareModel(*entry);
    const std::int32_t channels = entry ? entry->channelCount : 1;
    data.table.reserve(static_cast<std::size_t>(channels) * kLinearTableRows * kLinearTableColumns * 3);
    for (std::int32_t c = 0; c < channels; ++c)
        for (std::int32_t i = 0; i < kLinearTableRows; ++i)
            for (std::int32_t j = 0; j < kLinearTableColumns; ++j) {
                const Vec3 p = LinearCalibrationPoint(c, 2.0f * i, 2.0f * j);
                data.table.push_back(TableUnits(p.x));
                data.table.push_back(TableUnits(p.y));
                data.table.push_back(TableUnits(p.z));
            }
    return data;
}

Vec3 LinearCalibrationPoint(std::int32_t channel, float linePosition, float countPosition) {
    return Vec3{kLinearDepthOrigin + countPosition * kLinearDepthPerCount, LinearLineY(channel, linePosition), 0.0f};
}

bool SweepSurface_Intersect(const SweepSurface& s, const Vec3& origin, const Vec3& direction, float& t) {
    Vec3 d = direction, o;
    V3_Sub(origin, s.origin, o);
    if (s.kind == SweepSurfaceKind::Plane) {
        const float along = V3_Dot(d, s.axis);
        if (std::fabs(along) < 1e-6f) return false;
        t = -V3_Dot(o, s.axis) / along;
        return t > 0.0f;
    }
    if (s.kind == SweepSurfaceKind::Cylinder) {
        // Work in the plane across the axis.
        V3_AddScaled(o, -V3_Dot(o, s.axis), s.axis, o);
        V3_AddScaled(d, -V3_Dot(d, s.axis), s.axis, d);
    }
    const double a = V3_Dot(d, d);
    const double b = 2.0 * V3_Dot(o, d);
    const double c = static_cast<double>(V3_Dot(o, o)) - static_cast<double>(s.radius) * s.radius;
    const double disc = b * b - 4 * a * c;
    if (a < 1e-12 || disc < 0) return false;
    const double near = (-b - std::sqrt(disc)) / (2 * a);
    if (near <= 0) return false;
    t = static_cast<float>(near);
    return true;
}

Vec3 SweepSurface_Normal(const SweepSurface& s, const Vec3& p) {
    if (s.kind == SweepSurfaceKind::Plane) return s.axis;
    Vec3 r;
    V3_Sub(p, s.origin, r);
    if (s.kind == SweepSurfaceKind::Cylinder) V3_AddScaled(r, -V3_Dot(r, s.axis), s.axis, r);
    V3_Normalise(r, r);
    return r;
}

float SweepSurface_Distance(const SweepSurface& s, const Vec3& p) {
    Vec3 r;
    V3_Sub(p, s.origin, r);
    if (s.kind == SweepSurfaceKind::Plane) return std::fabs(V3_Dot(r, s.axis));
    if (s.kind == SweepSurfaceKind::Cylinder) V3_AddScaled(r, -V3_Dot(r, s.axis), s.axis, r);
    return std::fabs(V3_Length(r) - s.radius);
}

Matrix4 WandSweep_PoseAt(const WandSweep& sweep, double time) {
    Matrix4 turn, turned, move, pose;
    M4_MakeRotationY(static_cast<float>(time * sweep.degreesPerField), turn);
    M4_Multiply(sweep.start, turn, turned);
    const Vec3 shift{static_cast<float>(time * sweep.velocity.x), static_cast<float>(time * sweep.velocity.y),
                     static_cast<float>(time * sweep.velocity.z)};
    M4_MakeTranslation(shift, move);
    M4_Multiply(move, turned, pose);
    return pose;
}

void SetTrackerRecordPose(GeneratedTrackerRecord& record, const Matrix4& pose) {
    for (int i = 0; i < 3; ++i) {
        record.position[i] = pose[12 + i] / 10.0f;
        for (int j = 0; j < 3; ++j) record.orientation[3 * i + j] = pose[4 * j + i];
    }
}

FieldParameters MakeSweepField(const SweepSurface& surface, const WandSweep& sweep, std::int32_t field,
                               std::int32_t channelCount, const float phaseWeights[2]) {
    FieldParameters p;
    p.serial = 345;
    SetStandardStations(p);
    // Record 0 is the reference station, record 1 the wand's.
    SetTrackerRecordPose(p.records[0], sweep.reference);
    SetTrackerRecordPose(p.records[1], WandSweep_PoseAt(sweep, field + static_cast<double>(phaseWeights[1])));

    const Matrix4 pose = WandSweep_PoseAt(sweep, field);
    Vec3 direction;
    V3_Sub(Vec3{pose[0], pose[1], pose[2]}, Vec3{0, 0, 0}, direction);
    for (std::int32_t c = 0; c < channelCount && c < 2; ++c) {
        for (std::int32_t line = 0; line < kFieldLineCount; ++line) {
            Vec3 origin;
            M4_TransformPoint(pose, LinearCalibrationPoint(c, static_cast<float>(line), 0.0f), origin);
            float t;
            if (!SweepSurface_Intersect(surface, origin, direction, t)) continue;
            const float count = t / kLinearDepthPerCount;
            if (count >= 2.0f * (kLinearTableColumns - 1)) continue;
            GeneratedLineSample sample{line, c, 0, 0};
            if (EncodeCount(count, sample)) p.samples.push_back(sample);
        }
    }
    return p;
}
