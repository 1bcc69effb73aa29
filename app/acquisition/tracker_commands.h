// The motion tracker's command lists. The tracker is configured with an
// initialisation list each time the processing unit comes on line (and when
// the version in use changes), and with a short hemisphere list at the end of
// a capture while a station's hemisphere is being set up. Replies are not
// read; the tracker's state shows in the records of later fields.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/acquisition/field_format.h"

// Up to 100 commands of at most 1023 characters each, sent in order.
class TrackerCommandList {
public:
    static constexpr std::size_t kMaxCommands = 100;
    static constexpr std::size_t kMaxCommandLength = 1023;

    // False (and nothing added) when the list is full; a longer command is cut.
    bool Add(const std::string& command);
    std::size_t Count() const { return commands_.size(); }
    const std::string& operator[](std::size_t i) const { return commands_[i]; }
    const std::vector<std::string>& Commands() const { return commands_; }

private:
    std::vector<std::string> commands_;
};

// The 57-float frequency calibration block of the calibration file: table A
// (4 entries of 9 floats), table B (4 of 3) and table K (9).
constexpr int kFrequencyBlockFloats = 57;

struct TrackerCommandInputs {
    std::int32_t hemisphereSetting = 6;
    std::int32_t unitVersion = 0;       // processing-unit version in use
    std::int32_t trackerSelection = 0;  // station base
    bool syncSupported = false;         // firmware takes the synchronisation commands
    bool alternativeLayout = false;     // firmware 2.4.1 and 2.4.2
    std::int32_t alternativeList = 0;   // scanner menu option: 0 none, 1 or 2
    bool referenceOption = true;        // reference station in use
    const float* frequencyBlock = nullptr;  // kFrequencyBlockFloats floats; nullptr reads as zeros
};

struct TrackerCommandOutcome {
    bool syncSent = false;           // synchronisation commands were in the list
    bool frequencyMissing = false;   // a frequency had no calibration
    std::string unsupportedText;     // the user's message when one was missing
};

// The initialisation list.
TrackerCommandList BuildTrackerCommands(const TrackerCommandInputs& inputs, TrackerCommandOutcome* outcome);

// The hemisphere vectors chosen from the last field's decoded block.
struct HemisphereVectors {
    bool found = false;  // some candidate had t > 0
    Vec3 first{0, 0, 0};   // for st1
    Vec3 second{0, 0, 0};  // for st2 (wand list only)
};
HemisphereVectors ChooseWandHemisphereVectors(const DecodedLocatorBlock& block, bool referenceOption,
                                              bool alternativeLayout);
HemisphereVectors ChooseStylusHemisphereVector(const DecodedLocatorBlock& block);

// The hemisphere list of a wand (stylus false) or stylus capture. False, with
// an empty list, when no hemisphere vector could be chosen.
bool BuildHemisphereCommands(const DecodedLocatorBlock& block, bool stylus, const TrackerCommandInputs& inputs,
                             TrackerCommandList& list);
