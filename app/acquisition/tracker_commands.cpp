#include "app/acquisition/tracker_commands.h"

#include <cstdarg>
#include <cstdio>
#include <initializer_list>

namespace {

constexpr int kEntries = 4;
constexpr int kOffsetB = 36;
constexpr int kOffsetK = 48;

const char* const kFrequencyNames[kEntries] = {"1 (Black, 8kHz)", "2 (Red, 10kHz)", "3 (Yellow, 12kHz)",
                                               "4 (Blue, 14kHz)"};
// Frequencies 1, 2, 4, 3 in this order.
const int kFrequencyOrder[kEntries] = {0, 1, 3, 2};

std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

std::string Format(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

void AppendFloats(std::string& command, const float* values, int count) {
    for (int i = 0; i < count; ++i) command += Format(",%g", static_cast<double>(values[i]));
}

const char* const kFixedHemispheres[6] = {"H%c,+1,0,0\r", "H%c,-1,0,0\r", "H%c,0,+1,0\r",
                                          "H%c,0,-1,0\r", "H%c,0,0,+1\r", "H%c,0,0,-1\r"};

void AddAlternativeList(TrackerCommandList& list, std::int32_t which) {
    for (const char* command : {"P", "O2,0,2,6\r", "O1,0,2,6\r", "U1\r", "F1\r", "Y,1\r", "X,1\r", "L1,0\r"})
        list.Add(command);
    if (which == 2) list.Add("Z1\r");
    list.Add("C\r");
}

void AddFrequencyCommands(TrackerCommandList& list, const float* block, char st2, TrackerCommandOutcome& outcome) {
    std::string message =
        "This Wand can only be used with a Processing Unit operating at one of the following frequencies:";
    for (int k : kFrequencyOrder) {
        const float* a = block + 9 * k;
        const float* b = block + kOffsetB + 3 * k;
        if (a[0] == 0.0f) {
            outcome.frequencyMissing = true;
            continue;
        }
        message = Format("%s\n%s", message.c_str(), kFrequencyNames[k]);
        std::string j = Format("j%c,,%i", st2, k + 1);
        AppendFloats(j, a, 9);
        list.Add(j + "\r");
        std::string n = Format("n%c,,%i", st2, k + 1);
        AppendFloats(n, b, 3);
        list.Add(n + "\r");
    }
    if (outcome.frequencyMissing) outcome.unsupportedText = message;
    std::string kCommand = Format("k%c,", st2);
    AppendFloats(kCommand, block + kOffsetK, 9);
    list.Add(kCommand + "\r");
}

void AddAlternativeLayoutCommands(TrackerCommandList& list, const float* block) {
    const float* next = block;
    for (int m = 1; m <= 4; ++m) {
        std::string j = Format("J1,,%i", m);
        AppendFloats(j, next, 9);
        next += 9;
        list.Add(j + "\r");
    }
    std::string k = "K1,";
    AppendFloats(k, next, 9);
    next += 9;
    list.Add(k + "\r");
    std::string m = "M1";
    AppendFloats(m, next, 6);
    list.Add(m + "\r");
}

Vec3 Position(const Matrix4& pose) { return {pose[12], pose[13], pose[14]}; }

// The pose's x axis: the pose applied to (1, 0, 0) minus the pose applied to
// the origin.
Vec3 XAxis(const Matrix4& pose) {
    const Vec3 origin{0, 0, 0}, unitX{1, 0, 0};
    Vec3 a, b, d;
    M4_TransformPoint(pose, unitX, a);
    M4_TransformPoint(pose, origin, b);
    V3_Sub(a, b, d);
    return d;
}

// Squared distance from `target` to the line start + t * direction, and t;
// t counts as 0 for a direction shorter than the guard.
float LineParameter(const Vec3& target, const Vec3& start, const Vec3& direction) {
    const float length = V3_LengthSquared(direction);
    if (length < 1e-5f) return 0.0f;
    Vec3 offset;
    V3_Sub(target, start, offset);
    return V3_Dot(offset, direction) / length;
}

float DistanceToLine(const Vec3& target, const Vec3& start, const Vec3& direction, float t) {
    Vec3 closest;
    V3_AddScaled(start, t, direction, closest);
    return V3_DistanceSquared(target, closest);
}

Vec3 Scaled(float s, const Vec3& v) {
    Vec3 out;
    V3_Scale(s, v, out);
    return out;
}

Vec3 Normalised(const Vec3& v) {
    Vec3 out;
    V3_Normalise(v, out);
    return out;
}

std::string HemisphereCommand(char station, const Vec3& v) {
    return Format("H%c,%+.2f,%+.2f,%+.2f\r", station, static_cast<double>(v.x), static_cast<double>(v.y),
                  static_cast<double>(v.z));
}

}  // namespace

bool TrackerCommandList::Add(const std::string& command) {
    if (commands_.size() >= kMaxCommands) return false;
    commands_.push_back(command.size() > kMaxCommandLength ? command.substr(0, kMaxCommandLength) : command);
    return true;
}

TrackerCommandList BuildTrackerCommands(const TrackerCommandInputs& in, TrackerCommandOutcome* outcomeOut) {
    TrackerCommandOutcome outcome;
    TrackerCommandList list;
    if (in.alternativeList == 1 || in.alternativeList == 2) {
        AddAlternativeList(list, in.alternativeList);
        if (outcomeOut) *outcomeOut = outcome;
        return list;
    }

    const StationCharacters st = GetStationCharacters(in.unitVersion, in.trackerSelection);
    static const float kZeros[kFrequencyBlockFloats] = {};
    const float* block = in.frequencyBlock ? in.frequencyBlock : kZeros;

    list.Add("c");
    if (in.hemisphereSetting == 6) list.Add("W");
    list.Add(Format("l%c,1\r", st.st2));
    if (in.syncSupported) {
        static const int kNormalChannels[] = {81, 84, 86};
        static const int kAlternativeChannels[] = {85, 87};
        if (in.alternativeLayout) {
            for (int channel : kAlternativeChannels) list.Add(Format("T%i,0\r", channel));
        } else {
            for (int channel : kNormalChannels) list.Add(Format("T%i,0\r", channel));
        }
        outcome.syncSent = true;
    }
    list.Add(Format("O%c,0,2,5,6,7\r", st.st1));
    list.Add(Format("O%c,0,2,5,6,7\r", st.st2));
    for (const char* command : {"u", "f", "v,1\r", "x,1\r", "y1\r", "e1,0\r"}) list.Add(command);
    if (in.hemisphereSetting >= 0 && in.hemisphereSetting <= 5) {
        list.Add(Format(kFixedHemispheres[in.hemisphereSetting], st.st1));
        list.Add(Format(kFixedHemispheres[in.hemisphereSetting], st.st2));
    }
    if (in.syncSupported) {
        if (in.alternativeLayout) {
            AddAlternativeLayoutCommands(list, block);
        } else {
            AddFrequencyCommands(list, block, st.st2, outcome);
        }
    }
    list.Add("C");
    if (outcomeOut) *outcomeOut = outcome;
    return list;
}

HemisphereVectors ChooseWandHemisphereVectors(const DecodedLocatorBlock& block, bool referenceOption,
                                              bool alternativeLayout) {
    Matrix4 wandPose = block.record[block.wandRecord & 1].pose;
    if (alternativeLayout) M4_Identity(wandPose);
    const Vec3 p = Position(wandPose);
    const Vec3 q = referenceOption ? Position(block.record[block.referenceRecord & 1].pose) : Vec3{0, 0, 0};
    const Vec3 d = XAxis(wandPose);

    HemisphereVectors result;
    float best = 1e10f;
    for (float sx : {-1.0f, 1.0f}) {
        for (float sy : {-1.0f, 1.0f}) {
            const Vec3 start = Scaled(sx, p);
            const Vec3 target = Scaled(sy, q);
            const float t = LineParameter(target, start, d);
            const float distance = DistanceToLine(target, start, d, t);
            if (t > 0.0f && distance < best) {
                best = distance;
                result.found = true;
                result.first = Normalised(target);
                result.second = Normalised(start);
            }
        }
    }
    return result;
}

HemisphereVectors ChooseStylusHemisphereVector(const DecodedLocatorBlock& block) {
    const Matrix4& pose = block.record[block.referenceRecord & 1].pose;
    const Vec3 p = Position(pose);
    const Vec3 d = XAxis(pose);
    const Vec3 origin{0, 0, 0};

    HemisphereVectors result;
    float best = 1e10f;
    for (float s : {-1.0f, 1.0f}) {
        const Vec3 start = Scaled(s, p);
        const float t = LineParameter(origin, start, d);
        const float distance = DistanceToLine(origin, start, d, t);
        if (t > 0.0f && distance < best) {
            best = distance;
            result.found = true;
            result.first = Normalised(start);
        }
    }
    return result;
}

bool BuildHemisphereCommands(const DecodedLocatorBlock& block, bool stylus, const TrackerCommandInputs& in,
                             TrackerCommandList& list) {
    list = TrackerCommandList();
    const bool alternativeList = in.alternativeList == 1 || in.alternativeList == 2;
    StationCharacters st = GetStationCharacters(in.unitVersion, in.trackerSelection);
    const HemisphereVectors vectors =
        stylus ? ChooseStylusHemisphereVector(block)
               : ChooseWandHemisphereVectors(block, in.referenceOption, in.alternativeLayout);
    if (!vectors.found) return false;

    list.Add(alternativeList ? "P" : "c");
    if (stylus) {
        list.Add(HemisphereCommand(st.st1, vectors.first));
        list.Add(Format("H%c,0,0,0\r", st.st1));
        list.Add(Format("H%c,0,0,0\r", st.st2));
    } else {
        if ((in.unitVersion == 1 || in.unitVersion == 3) && in.alternativeLayout) st.st1 = '1';
        if (in.referenceOption) {
            list.Add(HemisphereCommand(st.st1, vectors.first));
            list.Add(Format("H%c,0,0,0\r", st.st1));
        }
        if (!in.alternativeLayout) {
            list.Add(HemisphereCommand(st.st2, vectors.second));
            list.Add(Format("H%c,0,0,0\r", st.st2));
        }
    }
    list.Add(alternativeList ? "C\r" : "C");
    return true;
}
