// The frame that every public operation runs in, in this order:
//   OperationFrame_Begin: open a tracking level, announce the operation,
//     progress unknown (-1);
//   argument checks: a failed one is reported at level 1 and left through
//     OperationFrame_Refuse, which prints the time and closes the level;
//   the work, with value lines and core failures reported through
//     CoreStatus_Report and mapped through CoreStatus_ToApiStatus;
//   OperationFrame_Finish: "Peak Memory Used", on success progress 1 and the
//     finish announcement, the time, and the tracking level closed.
#ifndef SURFACE_FRAME_OPERATION_FRAME_H
#define SURFACE_FRAME_OPERATION_FRAME_H

#include "surface/frame/core_reporter.h"
#include "surface/frame/reporter.h"

#include <cstdint>

void OperationFrame_Begin(Reporter* reporter, int32_t operation);
// Returns `status`.
int OperationFrame_Refuse(Reporter* reporter, int status);
// Returns `status` (0 is success).
int OperationFrame_Finish(Reporter* reporter, int status);

// The core messenger of an operation over its reporter: the reporter's abort
// and progress fields, Reporter_Forward as callback and the reporter as user
// pointer (null pointers without a reporter).
void OperationFrame_CoreReporter(CoreReporter* core, Reporter* reporter, int32_t maximumLevel, int32_t categoryMask);

#endif
