#include "app/acquisition/process_field.h"

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/error_dump.h"
#include "app/acquisition/field_format.h"
#include "app/acquisition/field_ring.h"
#include "app/acquisition/hardware_events.h"
#include "app/acquisition/hardware_statistics.h"
#include "app/acquisition/hardware_trace.h"
#include "app/acquisition/tracking_state.h"

namespace {

void ReportBadField(FieldCheckContext& context, FieldDumpKind kind) {
    RaiseHardwareEvent(Hardware_RECOVERABLE_ERROR, RecoverableError_FIELD);
    Stats_Add(Stat_FieldErrors);
    if (context.currentField) DumpErrorField(kind, context.currentField, static_cast<std::size_t>(context.fieldBytes));
}

// The station of the field as it arrived: the stylus bit of its status block
// (or of its decoded block, which carries the same bit).
std::int32_t ArrivedStation(const std::uint16_t* slot, bool decoded) {
    if (decoded) return ReadSlotStylusFlag(slot) ? 1 : 0;
    return (slot[kStatusWord0] & kStatusStylusBit) ? 1 : 0;
}

// The hemisphere set-up hold of the automatic hemisphere setting: returns
// true when the field may go on to the ring.
bool PassesHemisphereHold(std::int32_t station) {
    switch (GetStylusTrackingState()) {
        case TrackingState_NONE:
            if (station == 1) {
                RaiseHardwareEvent(Hardware_HEMISPHERE_SETUP_REQUIRED, 1);
                StoreStylusTrackingState(TrackingState_SIGNALLED);
                TraceHardware("ProcessField: StylusTrackingState -> SIGNALLED\n");
                return false;
            }
            break;
        case TrackingState_SIGNALLED:
            if (station == 1) {
                StoreStylusTrackingState(TrackingState_STARTED);
                TraceHardware("ProcessField: StylusTrackingState -> STARTED\n");
            }
            return false;
        case TrackingState_STARTED:
            TraceHardware("ProcessField: StylusTrackingState == STARTED\n");
            return false;
        default:
            break;
    }
    switch (GetWandTrackingState()) {
        case TrackingState_NONE:
            if (station == 0) {
                RaiseHardwareEvent(Hardware_HEMISPHERE_SETUP_REQUIRED, 0);
                StoreWandTrackingState(TrackingState_SIGNALLED);
                TraceHardware("ProcessField: TrackingState -> SIGNALLED\n");
                return false;
            }
            return true;
        case TrackingState_SIGNALLED:
            if (station == 0) {
                StoreWandTrackingState(TrackingState_STARTED);
                TraceHardware("ProcessField: TrackingState -> STARTED\n");
            }
            return false;
        case TrackingState_STARTED:
            TraceHardware("ProcessField: TrackingState == STARTED\n");
            return false;
        default:
            return true;
    }
}

std::int32_t PublishToRing(FieldCheckContext& context) {
    const std::int32_t writeCount = Ring_WriteCount();
    const std::int32_t readCount = Ring_ReadCount();
    if (writeCount - readCount + 1 >= kRingSlotCount) {
        Stats_Add(Stat_RingOverruns);
        RaiseHardwareEvent(Hardware_RECOVERABLE_ERROR, RecoverableError_RING_FULL);
        TraceHardware("ProcessField[%d]: ringbuffer full\n", context.fieldCount);
        return 0;
    }
    Ring_PublishField();
    Stats_Raise(Stat_MaxFieldsWaiting, writeCount + 1 - readCount);
    ++context.publishedCount;
    RaiseHardwareEvent(Hardware_NEW_FIELD_READY, context.publishedCount);
    return 1;
}

}  // namespace

void FieldCheckContext_Init(FieldCheckContext& context, std::int32_t unitVersion) {
    context = FieldCheckContext{};
    context.fieldBytes = kFieldBytes;
    context.unitVersion = unitVersion;
}

void FieldCheckContext_StartCapture(FieldCheckContext& context) {
    context.fieldCount = 0;
    context.publishedCount = 0;
}

std::int32_t ProcessField(std::int32_t ok, std::int32_t first, FieldCheckContext& context) {
    std::uint16_t* slot = RingSlotAddress(Ring_WriteCount());
    ++context.fieldCount;

    if (ok) {
        context.currentField = slot;
        if (!FieldFramingOk(slot)) {
            ReportBadField(context, FieldDumpKind::FieldFraming);
            TraceHardware("ProcessField[%d]: field framing error\n", context.fieldCount);
            ok = 0;
        }
    }

    const FieldIdentity identity = DecodeFieldIdentity(slot);

    if (ok && identity.version != GetProcessingUnitVersion()) {
        if (context.publishedCount == 0) {
            context.unitVersion = identity.version;
            RaiseHardwareEvent(Hardware_PU_VERSION_MISMATCH, identity.version);
        } else {
            ReportBadField(context, FieldDumpKind::PUVersion);
        }
        TraceHardware("ProcessField[%d]: PU version error\n", context.fieldCount);
        ok = 0;
    }

    // The serial number belongs to wand fields only. The station is the one
    // of this capture: for its first field that is the field's own stylus
    // bit, not the station of the previous capture.
    const std::int32_t station = first ? ArrivedStation(slot, false) : context.station;
    if (ok && station == 0) {
        context.serial = static_cast<std::int32_t>(identity.serial);
        if (identity.serial != GetExpectedSerialNumber()) {
            if (context.publishedCount == 0 && identity.serial != 0) {
                RaiseHardwareEvent(Hardware_SERIAL_NUMBER_MISMATCH, static_cast<std::intptr_t>(identity.serial));
            } else {
                ReportBadField(context, FieldDumpKind::SerialNumber);
            }
            TraceHardware("ProcessField[%d]: serial number error\n", context.fieldCount);
            ok = 0;
        }
    }

    if (ok && !CheckLocatorFraming(slot)) {
        RaiseHardwareEvent(Hardware_RECOVERABLE_ERROR, RecoverableError_LOCATOR_FRAMING);
        Stats_Add(Stat_LocatorFramingErrors);
        TraceHardware("ProcessField[%d]: locator framing error\n", context.fieldCount);
        ok = 0;
    }

    context.lastDecoded = DecodeLocatorBlock(slot);
    if (!context.lastDecoded && ok) {
        RaiseHardwareEvent(Hardware_RECOVERABLE_ERROR, RecoverableError_LOCATOR_DECODING);
        Stats_Add(Stat_LocatorDecodingErrors);
        TraceHardware("ProcessField[%d]: decode locator block error\n", context.fieldCount);
        ok = 0;
    }

    // Every field of a capture carries the station of its first field. A
    // slot whose records could not be decoded holds the raw records still,
    // which must not be written over.
    if (first) {
        context.station = ArrivedStation(slot, context.lastDecoded != 0);
    } else if (context.lastDecoded) {
        WriteSlotStylusFlag(slot, context.station == 1 ? 1 : 0);
    }

    if (!ok) return 0;
    if (GetHemisphereSetting() == kHemisphereAutomatic && !PassesHemisphereHold(context.station)) return 0;
    return PublishToRing(context);
}
