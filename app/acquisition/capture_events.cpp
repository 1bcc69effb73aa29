#include "app/acquisition/capture_events.h"

#include "app/acquisition/field_ring.h"
#include "app/acquisition/hardware_events.h"
#include "app/acquisition/hardware_statistics.h"

CaptureEvents::CaptureEvents(FieldCheckContext& context) : context_(context) {
    ZeroHardwareStatistics();
    FieldCheckContext_StartCapture(context_);
}

CaptureEvents::~CaptureEvents() { End(); }

void CaptureEvents::Begin() {
    if (begun_) return;
    begun_ = true;
    RaiseHardwareEvent(Hardware_FIRST_FIELD, Ring_WriteCount());
}

void CaptureEvents::End() {
    if (!begun_ || ended_) return;
    ended_ = true;
    Stats_Set(Stat_FieldsRead, context_.fieldCount);
    Stats_Set(Stat_FieldsPublished, context_.publishedCount);
    RaiseHardwareEvent(Hardware_LAST_FIELD, context_.publishedCount);
}
