// The live path's own timing program, for Windows under Wine where Google
// Benchmark is not built: the built-in limb scenario's first press through
// scan control (profile, processing, pipe record to the drained queue,
// repaint request), capture after capture for a few seconds, flat out. It
// prints the fields per second and their multiple of the video field rate
// (60 fields per second). On Windows the view's own window paints every
// repaint scan control asks for (the level-2 frame every fifth field) unless
// --no-view is given; the output says which.
//
//   timing_live_path [seconds] [--no-view]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "bench/live_path.h"

#ifdef _WIN32
#include "app/ui/app_state.h"
#include "app/ui/view_window_win32.h"

#include <windows.h>

namespace {

// The program's view window (its window procedure, paint levels and
// drawing) over the capture's scan.
class WindowPainter : public live_path::ViewPainter {
  public:
    bool Open() {
        WNDCLASSA c = {};
        c.lpfnWndProc = Graph_WindowProc;
        c.hInstance = GetModuleHandleA(nullptr);
        c.lpszClassName = "KorvGraphLivePath";
        RegisterClassA(&c);
        static const int stencil = 1;
        App().mode = kModeScan;
        window_ = CreateWindowA(c.lpszClassName, "live path", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600, nullptr,
                                nullptr, c.hInstance, const_cast<int*>(&stencil));
        return window_ != nullptr;
    }
    ~WindowPainter() override {
        if (window_) DestroyWindow(window_);
        App().raw = nullptr;
    }
    void Begin(RawData& raw, GeneralSettings& settings, ViewSettings& view) override {
        AppState& app = App();
        app.raw = &raw;
        app.settings = settings;
        app.view = view;
        app.mode = kModeScan;
        SendMessageA(window_, WM_PAINT, 0, 3);  // a new scan starts with a full frame
    }
    void Paint(int32_t level) override { SendMessageA(window_, WM_PAINT, 0, level); }

  private:
    HWND window_ = nullptr;
};

}  // namespace
#endif

int main(int argc, char** argv) {
    double seconds = 5.0;
    bool withView = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-view") == 0)
            withView = false;
        else
            seconds = std::atof(argv[i]);
    }
    live_path::LimbCapture capture;
    if (!capture.Ok()) {
        std::fprintf(stderr, "timing_live_path: %s\n", capture.Error().c_str());
        return 1;
    }
    std::unique_ptr<live_path::ViewPainter> painter;
    const char* viewNote = live_path::kViewNote;
#ifdef _WIN32
    if (withView) {
        auto window = std::make_unique<WindowPainter>();
        if (!window->Open()) {
            std::fprintf(stderr, "timing_live_path: no view window\n");
            return 1;
        }
        painter = std::move(window);
        viewNote =
            "view paint: the program's view window painted at every repaint request "
            "(level 2 every fifth field, level 3 at the capture's start and end)";
    } else {
        viewNote = "view paint: not drawn (--no-view); repaint requests counted";
    }
#else
    (void)withView;
#endif
    live_path::DrainedPipe pipe;
    live_path::RunCapture(capture, pipe, painter.get());  // warm-up
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    long long fields = 0, captures = 0;
    live_path::CaptureResult last;
    double elapsed = 0;
    while (elapsed < seconds) {
        last = live_path::RunCapture(capture, pipe, painter.get());
        fields += last.fields;
        ++captures;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    }
    const double rate = fields / elapsed;
    const PipeQueueCounts counts = pipe.Counts();
    std::printf("live path: %lld captures of %d fields (%d profiles kept, %d repaint requests, %d paints) in %.2f s\n",
                captures, last.fields, last.profiles, last.repaintRequests, last.paints, elapsed);
    std::printf("live path: %.0f fields/s = %.1f x the field rate of 60/s\n", rate, rate / live_path::kFieldsPerSecond);
    std::printf("pipe records: %llu delivered, %llu dropped\n", static_cast<unsigned long long>(counts.delivered),
                static_cast<unsigned long long>(counts.dropped));
    std::printf("%s\n", viewNote);
    return 0;
}
