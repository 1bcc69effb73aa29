// Makes the fields of a wand sweeping a simple surface, with a linear
// calibration table to read them back: for the end-to-end tests of profile
// building and processing, and for the profile benchmark.
//
// The linear wand: each video line position L of channel c looks along one
// ray parallel to the sensor's x axis, at y = (L - 140) / 2 on channel 0 and
// y = (140 - L) / 2 + 1/4 on channel 1 (its camera is mirrored, so that its
// reversed line walk runs the same way), in the plane z = 0; the count
// position C measures the depth x = 40 + C / 16 along that ray. The table
// holds these points exactly, so the program's bilinear look-up gives them
// back to the float's precision; a sample's count position is a multiple of
// 1/2 count, so a point lies within 1/64 mm of the true depth.
#pragma once

#include <cstdint>
#include <vector>

#include "app/acquisition/calibration_file.h"
#include "sim/field_generator.h"
#include "app/scan/geometry.h"

constexpr std::int32_t kLinearTableRows = 150;
constexpr std::int32_t kLinearTableColumns = 1024;
constexpr float kLinearDepthPerCount = 0.0625f;
constexpr float kLinearDepthOrigin = 40.0f;

// A calibration of the given supported hardware version ("1.1.1": two
// channels) with the linear table; the newest correction record is zero.
CalibrationData MakeLinearCalibration(const char* hardwareVersion);
// The sensor-frame point of (channel, line position, count position).
Vec3 LinearCalibrationPoint(std::int32_t channel, float linePosition, float countPosition);

enum class SweepSurfaceKind { Plane, Sphere, Cylinder };

// Surfaces in transmitter coordinates, outside towards the wand.
struct SweepSurface {
    SweepSurfaceKind kind = SweepSurfaceKind::Plane;
    Vec3 origin{0, 0, 0};  // plane point, sphere centre, point of the cylinder's axis
    Vec3 axis{0, 0, 1};    // plane normal, cylinder axis (unit)
    float radius = 0;
};

// The first hit of the ray (origin + t·direction, t > 0), or false.
bool SweepSurface_Intersect(const SweepSurface& surface, const Vec3& origin, const Vec3& direction, float& t);
// The unit outward normal at a point of the surface.
Vec3 SweepSurface_Normal(const SweepSurface& surface, const Vec3& p);
// The distance of a point from the surface.
float SweepSurface_Distance(const SweepSurface& surface, const Vec3& p);

// The wand's motion: the pose (sensor to transmitter) at time t in fields is
// the start pose, turned about the sensor's y axis by t·degreesPerField, then
// moved by t·velocity. The reference receiver stays at one pose.
struct WandSweep {
    Matrix4 start;
    Vec3 velocity{0, 0, 0};     // mm per field
    float degreesPerField = 0;  // about the sensor's y axis
    Matrix4 reference;
};
Matrix4 WandSweep_PoseAt(const WandSweep& sweep, double time);

// The tracker records of a pose as the tracker sends them: position in
// centimetres, orientation rows transposed.
void SetTrackerRecordPose(GeneratedTrackerRecord& record, const Matrix4& pose);

// Field f of a sweep (processing-unit version 0, standard stations): the laser
// samples of the wand at time f, and tracker records stamped with the poses at
// f + the record's phase weight, so that profile building's pose filter gives
// back the pose of the field whose line it uses.
FieldParameters MakeSweepField(const SweepSurface& surface, const WandSweep& sweep, std::int32_t field,
                               std::int32_t channelCount, const float phaseWeights[2]);
