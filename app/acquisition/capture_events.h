// The bracket of one capture in an acquisition loop: Hardware_FIRST_FIELD
// when its first field is there, Hardware_LAST_FIELD with the published
// count when it ends, however it ends (trigger up, stop, lost device), so
// that the user-interface thread never keeps a sweep open.
#pragma once

#include "app/acquisition/process_field.h"

class CaptureEvents {
public:
    // A capture starts: the statistics are zeroed and the context's per-capture
    // counts cleared.
    explicit CaptureEvents(FieldCheckContext& context);
    ~CaptureEvents();
    CaptureEvents(const CaptureEvents&) = delete;
    CaptureEvents& operator=(const CaptureEvents&) = delete;

    // Raises Hardware_FIRST_FIELD with the capture's first index (the write
    // count now: the running count of the first field it can publish). Once.
    void Begin();
    // When begun: raises Hardware_LAST_FIELD with the published count and
    // stores the capture's counts in the statistics. Once.
    void End();
    bool Begun() const { return begun_; }

private:
    FieldCheckContext& context_;
    bool begun_ = false;
    bool ended_ = false;
};
