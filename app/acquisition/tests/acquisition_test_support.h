// Shared fixture of the acquisition tests: a ring in plain memory, recorded
// events and trace lines, and settings back at their defaults.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/acquisition_state.h"
#include "sim/field_generator.h"
#include "app/acquisition/field_ring.h"
#include "app/acquisition/hardware_events.h"
#include "app/acquisition/hardware_statistics.h"
#include "app/acquisition/hardware_trace.h"
#include "app/acquisition/tracking_state.h"
#include "app/locale/locale_loader.h"
#include "app/locale/locale_string_table.h"

namespace acquisition_test {

using Event = std::pair<std::int32_t, std::intptr_t>;

inline std::vector<Event>& RecordedEvents() {
    static std::vector<Event> events;
    return events;
}

inline std::vector<std::string>& RecordedTrace() {
    static std::vector<std::string> lines;
    return lines;
}

inline void RecordEvent(std::int32_t code, std::intptr_t parameter) { RecordedEvents().emplace_back(code, parameter); }

// Trace lines without their "%7u: " time prefix.
inline void RecordTrace(const char* line) {
    std::string text(line);
    const std::size_t colon = text.find(": ");
    RecordedTrace().push_back(colon == std::string::npos ? text : text.substr(colon + 2));
}

inline bool TraceHas(const std::string& line) {
    for (const std::string& l : RecordedTrace())
        if (l == line) return true;
    return false;
}

// For the loops' tests: each online-state change recorded as the online state
// at the time of the change, every other event as usual.
inline std::vector<std::int32_t>& RecordedOnlineStates() {
    static std::vector<std::int32_t> states;
    return states;
}

inline void RecordOnlineStateOrEvent(std::int32_t code, std::intptr_t parameter) {
    if (code == Hardware_ONLINE_STATUS_CHANGED) RecordedOnlineStates().push_back(GetHardwareOnlineState());
    else RecordEvent(code, parameter);
}

// The shipped English texts, for tests that check messages word for word.
inline void LoadShippedLocale() {
    Locale_LoadInto(Locale_Strings(), TEST_DATA_DIR "../../../locale/data/", [](const std::string&) {});
}

// A ring in plain memory attached, and the hardware event handler and trace
// sink replaced, for as long as it lives; detached and put back after.
class AttachedRing {
public:
    AttachedRing(HardwareEventHandler events, HardwareTraceSink trace) : ring_(kRingBufferWords, 0) {
        Ring_Attach(ring_.data());
        previousHandler_ = SetHardwareEventHandler(events);
        previousSink_ = SetHardwareTraceSink(trace);
    }
    ~AttachedRing() {
        SetHardwareEventHandler(previousHandler_);
        SetHardwareTraceSink(previousSink_);
        Ring_Attach(nullptr);
    }
    AttachedRing(const AttachedRing&) = delete;
    AttachedRing& operator=(const AttachedRing&) = delete;

private:
    std::vector<std::uint16_t> ring_;
    HardwareEventHandler previousHandler_ = nullptr;
    HardwareTraceSink previousSink_ = nullptr;
};

class AcquisitionFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ring_.emplace(RecordEvent, RecordTrace);
        Ring_ResetCounts();
        ZeroHardwareStatistics();
        ResetAcquisitionSettings();
        RecordedEvents().clear();
        RecordedTrace().clear();
    }
    void TearDown() override { ring_.reset(); }

    std::optional<AttachedRing> ring_;
};

// A good wand field of the version in use with the given serial number.
inline FieldParameters WandField(std::uint32_t serial, std::int32_t unitVersion = 0, std::int32_t base = 0) {
    FieldParameters p;
    p.unitVersion = unitVersion;
    p.serial = serial;
    SetStandardStations(p, base);
    p.records[0].position[0] = 10.0f;
    p.records[1].position[0] = 20.0f;
    return p;
}

inline FieldParameters StylusField(std::uint32_t serial, std::int32_t unitVersion = 0) {
    FieldParameters p = WandField(serial, unitVersion);
    p.stylus = true;
    return p;
}

}  // namespace acquisition_test
