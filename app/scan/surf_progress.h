// Progress of the surface builds: a plain callback that takes the stage's text
// and the overall fraction 0..1 and returns non-zero to go on, 0 to stop. Each
// stage maps its own progress into the overall fraction by a (start, span)
// pair. A null callback means no progress and no stop.
#pragma once

#include "app/scan/surf_arena.h"

using SurfProgressFn = int (*)(const char* text, float fraction, void* user);

struct SurfProgress {
    SurfProgressFn fn;
    void* user;
    const char* text;  // the stage's text (for the builder's stages, its string key)

    // Reports the fraction; a stop throws SurfAbortError.
    void Report(double fraction) const {
        if (fn && !fn(text, static_cast<float>(fraction), user)) throw SurfAbortError();
    }
    SurfProgress WithText(const char* t) const { return SurfProgress{fn, user, t}; }
};
