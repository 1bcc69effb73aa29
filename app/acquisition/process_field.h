// The per-field checks of the acquisition thread: framing, processing-unit
// version, serial number, tracker records, the hemisphere set-up hold and the
// ring's publish rule.
#pragma once

#include <cstdint>

struct FieldCheckContext {
    std::int32_t fieldBytes;      // byte length of a field
    std::int32_t serial;          // serial number of the last checked wand field
    std::int32_t fieldCount;      // fields seen in the current capture
    std::int32_t publishedCount;  // fields published in the current capture
    std::int32_t unitVersion;     // version the checks found; starts as the version in use
    std::int32_t station;         // 0 wand, 1 stylus: the station of the current capture
    std::int32_t lastDecoded;     // the last field's slot holds a decoded locator block
    const void* currentField;     // the field being checked, for the error dumps
};

// A context for an acquisition loop, with the version in use.
void FieldCheckContext_Init(FieldCheckContext& context, std::int32_t unitVersion);
// Clears the per-capture counts at the start of a capture.
void FieldCheckContext_StartCapture(FieldCheckContext& context);

// Checks the field in the slot of the current write count and publishes it
// when it passes. `ok` is the result of the previous call of the capture (1
// for the first), so the first failure drops the rest of the capture;
// `first` is nonzero for the first field of the capture. Returns nonzero when
// the field was published. Acquisition thread only.
std::int32_t ProcessField(std::int32_t ok, std::int32_t first, FieldCheckContext& context);
