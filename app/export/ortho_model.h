// The orthotics model: a limb or foot surface cut into a stack of slices for
// an orthotics workshop. An AAOP model samples each slice as radii at fixed
// angles about one straight limb axis; an OP3 model samples it as 3D points
// along the outline, the slices standing on a path bent from the foot axis
// into the leg axis. This file holds the records both share (the slicing
// set-up the wizard fills, the job of its worker, the model with its slices,
// landmarks and display strips) and the operations that start, grow, finish
// and free a model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/scan/geometry.h"

struct SurfaceRecord;
struct StylusItemList;

enum OrthoSide : int32_t {
    kOrthoSideNone = 0,
    kOrthoSideLeft = 1,
    kOrthoSideRight = 2,
    kOrthoSideUndefined = 3,
};
// "NONE", "LEFT", "RIGHT", "UNDEFINED"; other values "UNDEFINED".
const char* OrthoSide_Text(int32_t side);

// The slicing set-up, 35 32-bit words. The debug dump writes it whole, so its
// layout is fixed.
struct OrthoSliceSetup {
    Vec3 Origin;              // AAOP: a point on the limb axis; OP3: the ankle
    Vec3 LegAxis;             // AAOP: the limb axis; OP3: from the ankle up the leg
    Matrix4 Frame;            // into the slicing frame, applied to (point - Origin)
    float Limit1;             // AAOP: one height limit; OP3: leg length from the ankle
    float Limit2;             // AAOP: the other limit; OP3: foot length from the ankle
    int32_t EndMode;          // AAOP: 0 lower slice closed, 1 upper slice closed, else open
    int32_t AdaptiveSpacing;  // non-zero: the next step comes from the slice just made
    float SliceSpacing;       // mm
    float AngleSpacing;       // degrees between samples, at most 90
    int32_t Side;             // OrthoSide
    float HeightShift;        // AAOP working copy: the lower limit, which becomes height 0
    int32_t Mirror;           // AAOP: both halves sampled from 180..360 degrees
    Vec3 FootAxis;            // OP3: from the ankle towards the toes
    int32_t Kind;             // 0 AAOP, else OP3
};
static_assert(sizeof(OrthoSliceSetup) == 140, "the debug dump writes the set-up as 140 bytes");

// What the wizard starts with.
OrthoSliceSetup OrthoSliceSetup_Default();

struct OrthoModel;

struct OrthoSlice {
    double Height = 0;           // AAOP: above the lower limit; OP3: along the bend path
    std::vector<float> Radii;    // AAOP: n radii, -1 until the surface is found
    float SuggestedSpacing = 0;  // OP3: the step this slice suggests
    std::vector<Vec3> Points;    // OP3: n outline points
    Vec3 Centre{};
    Vec3 Normal{};        // unit
    Vec3 U{};             // unit, in the plane: sample 0's direction
    Vec3 W{};             // Normal x U
    int32_t Aligned = 0;  // OP3: the points are lined up with a neighbour
};

struct OrthoLandmarkPoint {
    float Radius;   // AAOP: distance from the limb axis; OP3: 0
    float Angle;    // AAOP: degrees; OP3: 0
    float X, Y, Z;  // in the slicing frame
};

struct OrthoLandmark {
    char Name[128];
    std::vector<OrthoLandmarkPoint> Points;
};

struct OrthoAngle {
    double Degrees, Sine, Cosine;
};

struct OrthoModel {
    int32_t Saved = 0;
    int32_t Side = kOrthoSideNone;
    int32_t PointsPerSlice = 0;  // n
    double AngleSpacing = 0;     // degrees
    std::vector<OrthoAngle> Angles;
    std::vector<OrthoSlice> Slices;
    double HeightBase = 0, HeightMax = 0;
    int32_t HeightDir = 1;
    std::vector<OrthoLandmark> Landmarks;
    // Display strips: per pair of neighbouring slices 2n + 2 vertices, and one
    // normal per vertex pair.
    int32_t StripVertexCount = 0;
    int32_t StripCount = 0;
    std::vector<Vec3> StripVertices;
    std::vector<Vec3> StripNormals;
};

struct OrthoJob;
// The wizard's progress function: a fraction 0..1; false asks to stop.
using OrthoProgressFn = bool (*)(float fraction, OrthoJob& job);

struct OrthoJob {
    void* ProgressWindow = nullptr;
    void* Thread = nullptr;
    const SurfaceRecord* Mesh = nullptr;
    const StylusItemList* Stylus = nullptr;
    OrthoSliceSetup Setup{};
    OrthoModel* Model = nullptr;
    OrthoProgressFn Progress = nullptr;  // none: never stops
    void* User = nullptr;
};

// Results of the slicing and the writers.
enum OrthoResult : int {
    kOrthoOk = 0,
    kOrthoAborted = 1,
    kOrthoOutOfMemory = 2,
    kOrthoBadSetup = 3,
    kOrthoMissed = 4,
    kOrthoSaveFailed = 5,
};

// The mesh the slicing works on: its own point (and for OP3 facet normal)
// arrays, the triangles shared with the caller's surface.
struct OrthoMesh {
    std::vector<Vec3> Points;
    int32_t FacetCount = 0;
    const int32_t* Facets = nullptr;
    std::vector<Vec3> FacetNormals;
};

// Starts the model from a working set-up. 0 ready; 3 with a fixed text when
// the angle spacing is above 90 degrees or not above 0; 2 "Out of memory".
int OrthoModel_Init(OrthoModel& model, const OrthoSliceSetup& setup, std::string& errorText);
// Refuses a fixed slice spacing of 0 or less (the slicing would never move
// on): 3 with a fixed text, else 0.
int OrthoSetup_CheckSliceSpacing(const OrthoSliceSetup& setup, std::string& errorText);

// Appends a slice (radii set to -1 and/or zeroed points as asked); null when
// memory runs out.
OrthoSlice* OrthoModel_AddSlice(OrthoModel& model, double height, const Vec3& centre, const Vec3& normal, const Vec3& u,
                                bool withRadii, bool withPoints);
OrthoLandmark* OrthoModel_AddLandmark(OrthoModel& model, const char* name, int32_t pointCount);
// Landmarks from the stylus items in force: single points and lines, in the
// slicing frame of `setup`; `placedOnInverted` picks the items' placement on
// the sliced surface. False when memory runs out.
bool OrthoModel_CollectLandmarks(OrthoModel& model, const StylusItemList* items, const OrthoSliceSetup& setup,
                                 bool placedOnInverted, bool skipLineMembers, bool aaop);
void OrthoModel_ReverseSlices(OrthoModel& model);
bool OrthoModel_BuildStrips(OrthoModel& model);
void OrthoModel_Free(OrthoModel& model);
void OrthoSlice_Free(OrthoSlice& slice);

// The debug dump of the slicing input, written when the environment variable
// TOLVARAN_AAOP_DUMP_FILE names a file.
void Aaop_DebugDump(const OrthoSliceSetup& setup, const SurfaceRecord& mesh, const StylusItemList* items);
// The dump's head record of the stylus list: seven 32-bit words whatever the
// pointer size (the item array's word is 0).
void Aaop_StylusHeadWords(const StylusItemList* items, uint32_t out[7]);

// Hooks of the orthotics tools: the trace, the box shown when the dump file
// cannot be opened, and the text the files carry.
struct OrthoHooks {
    void (*trace)(const char* text) = nullptr;                          // none: no trace
    void (*errorBox)(const char* text, const char* caption) = nullptr;  // none: standard error
    std::string (*makerName)() = nullptr;                               // default "Tolvaran"
    std::string (*productName)() = nullptr;                             // default "Tolvaran"
    std::string (*productVersion)() = nullptr;                          // default "4.0.7"
    // The logged-on user's name; false when it cannot be read.
    bool (*userName)(std::string& out) = nullptr;
};
OrthoHooks& Ortho_Hooks();

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void Ortho_Trace(const char* format, ...);

// The angle folded into [0, 360).
double Ortho_FoldDegrees(double degrees);
