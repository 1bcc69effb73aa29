#include "app/acquisition/tracker_send.h"

#include <algorithm>
#include <string>

#include "app/acquisition/process_field.h"
#include "app/acquisition/tracker_link.h"

SendResult SendTrackerCommandList(const TrackerCommandList& list, const ChunkWriter& write,
                                  AcquisitionSignals& signals) {
    for (const std::string& command : list.Commands()) {
        for (std::size_t at = 0; at < command.size(); at += kTrackerChunkBytes) {
            const auto bytes = static_cast<std::uint32_t>(std::min<std::size_t>(kTrackerChunkBytes, command.size() - at));
            std::uint32_t written = 0;
            if (!write(command.data() + at, bytes, &written)) return SendResult::Failed;
            if (written < bytes) return SendResult::Short;
            if (signals.WaitForStop(kTrackerChunkPauseMs)) return SendResult::Stopped;
        }
    }
    return SendResult::Sent;
}

SendResult SendHemisphereStep(const FieldCheckContext& context, const ChunkWriter& write,
                              AcquisitionSignals& signals) {
    SendResult result = SendResult::Sent;
    SetHemisphereCommand(
        context,
        [&](const TrackerCommandList& list) {
            result = SendTrackerCommandList(list, write, signals);
            return result == SendResult::Sent;
        },
        [&](std::uint32_t ms) { return signals.WaitForStop(ms); });
    return result;
}
