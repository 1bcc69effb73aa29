// The live path's own timing program, for Windows under Wine where Google
// Benchmark is not built: the built-in limb scenario's first press through
// scan control (profile, processing, pipe record to the drained queue,
// repaint request), capture after capture for a few seconds, flat out. It
// prints the fields per second and their multiple of the video field rate
// (60 fields per second), and says that the view does not paint here.
//
//   timing_live_path [seconds]
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bench/live_path.h"

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    live_path::LimbCapture capture;
    if (!capture.Ok()) {
        std::fprintf(stderr, "timing_live_path: %s\n", capture.Error().c_str());
        return 1;
    }
    live_path::DrainedPipe pipe;
    live_path::RunCapture(capture, pipe);  // warm-up
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    long long fields = 0, captures = 0;
    live_path::CaptureResult last;
    double elapsed = 0;
    while (elapsed < seconds) {
        last = live_path::RunCapture(capture, pipe);
        fields += last.fields;
        ++captures;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    }
    const double rate = fields / elapsed;
    const PipeQueueCounts counts = pipe.Counts();
    std::printf("live path: %lld captures of %d fields (%d profiles kept, %d repaint requests) in %.2f s\n", captures,
                last.fields, last.profiles, last.repaintRequests, elapsed);
    std::printf("live path: %.0f fields/s = %.1f x the field rate of 60/s\n", rate, rate / live_path::kFieldsPerSecond);
    std::printf("pipe records: %llu delivered, %llu dropped\n", static_cast<unsigned long long>(counts.delivered),
                static_cast<unsigned long long>(counts.dropped));
    std::printf("%s\n", live_path::kViewNote);
    return 0;
}
