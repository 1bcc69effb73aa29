#include "surface/frame/operation_frame.h"

#include "surface/frame/tracked_memory.h"

void OperationFrame_Begin(Reporter* reporter, int32_t operation) {
    // Without a registry the operation runs untracked; closing the level
    // later is then harmless.
    Mem_TrackBegin();
    Reporter_BeginOperation(reporter, operation);
    Reporter_SetProgress(reporter, -1.0);
}

int OperationFrame_Refuse(Reporter* reporter, int status) {
    Reporter_TimeTaken(reporter);
    Mem_TrackEnd();
    return status;
}

int OperationFrame_Finish(Reporter* reporter, int status) {
    Reporter_Value(reporter, "Peak Memory Used", "%dMB", static_cast<int>(Mem_PeakBytes() >> 20));
    if (status == 0) {
        Reporter_SetProgress(reporter, 1.0);
        Reporter_EndOperation(reporter);
    }
    Reporter_TimeTaken(reporter);
    Mem_TrackEnd();
    return status;
}

void OperationFrame_CoreReporter(CoreReporter* core, Reporter* reporter, int32_t maximumLevel, int32_t categoryMask) {
    CoreReporter_Init(core, reporter ? &reporter->abort : nullptr, reporter ? &reporter->progress : nullptr,
                      maximumLevel, categoryMask, Reporter_Forward, reporter);
}
