// Sending a tracker command list over either transport: each command in
// chunks of at most 8 bytes with a 40 ms pause after every chunk, the pause
// ended at once by the stop event.
#pragma once

#include <cstdint>
#include <functional>

#include "app/acquisition/acquisition_seams.h"
#include "app/acquisition/tracker_commands.h"

enum class SendResult {
    Sent,     // every chunk written in full
    Short,    // a chunk was written short: the rest is not sent
    Failed,   // a write failed
    Stopped,  // the stop event was set
};

// Writes one chunk; false when the write failed, else the bytes written.
using ChunkWriter = std::function<bool(const char* data, std::uint32_t bytes, std::uint32_t* written)>;

constexpr std::uint32_t kTrackerChunkBytes = 8;
constexpr std::uint32_t kTrackerChunkPauseMs = 40;

SendResult SendTrackerCommandList(const TrackerCommandList& list, const ChunkWriter& write,
                                  AcquisitionSignals& signals);

// The end-of-capture hemisphere step over the same chunked send. Its result
// is the send's (Sent when nothing needed sending).
SendResult SendHemisphereStep(const struct FieldCheckContext& context, const ChunkWriter& write,
                              AcquisitionSignals& signals);
