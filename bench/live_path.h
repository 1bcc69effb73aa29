// The live path of one capture as the user-interface thread runs it: each
// field of the built-in limb scenario's first press, decoded as the
// acquisition thread leaves it in the ring, goes through scan control: the
// profile is built, kept, processed into points and facets, sent as a pipe
// record to the pipe's queue (drained by a writer thread, as the program's
// is) and a repaint is requested every fifth field. Natively the view does
// not paint (it is Windows code) and the output says so; the Windows timing
// program paints the real view at each request through a ViewPainter.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/acquisition/field_ring.h"
#include "app/acquisition/hardware_events.h"
#include "app/acquisition/hardware_trace.h"
#include "app/acquisition/profile_build.h"
#include "app/acquisition/scan_control.h"
#include "app/acquisition/scan_pipe_record.h"
#include "app/scan/tests/scan_record_fixture.h"
#include "app/ui/pipe_queue.h"
#include "sim/press_fields.h"
#include "sim/scenario.h"

namespace live_path {

constexpr double kFieldsPerSecond = 60.0;
constexpr const char* kViewNote = "view paint: not drawn (no view in this program); repaint requests counted";

// Paints the view at the levels scan control asks for, on the scan of the
// capture under way.
class ViewPainter {
  public:
    virtual ~ViewPainter() = default;
    virtual void Begin(RawData& raw, GeneralSettings& settings, ViewSettings& view) = 0;
    virtual void Paint(int32_t level) = 0;
};

inline void IgnoreEvent(std::int32_t, std::intptr_t) {}
inline void IgnoreTrace(const char*) {}

// The first press's fields, checked and decoded into ring slots once.
class LimbCapture {
  public:
    LimbCapture() : ring_(kRingBufferWords, 0) {
        Ring_Attach(ring_.data());
        SetHardwareEventHandler(IgnoreEvent);
        SetHardwareTraceSink(IgnoreTrace);
        sim::ScenarioError error;
        ok_ = sim::ParseScenario(sim::DefaultScenarioText(), &scenario_, &error);
        if (!ok_) {
            error_ = error.message;
            return;
        }
        const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tolvaran_live_path";
        std::filesystem::create_directories(dir);
        FieldCheckContext context{};
        ok_ = sim::StartProgramSide(scenario_, dir.string(), context, &error_) &&
              sim::MakePressFields(scenario_, 0, context, &slots_, &error_);
    }
    ~LimbCapture() {
        SetHardwareEventHandler(nullptr);
        SetHardwareTraceSink(nullptr);
        Ring_Attach(nullptr);
    }
    LimbCapture(const LimbCapture&) = delete;
    LimbCapture& operator=(const LimbCapture&) = delete;

    bool Ok() const { return ok_; }
    const std::string& Error() const { return error_; }
    int Fields() const { return static_cast<int>(slots_.size()); }
    const std::vector<std::uint16_t>& Slot(int i) const { return slots_[i]; }

  private:
    sim::Scenario scenario_;
    std::vector<std::uint16_t> ring_;
    std::vector<std::vector<std::uint16_t>> slots_;
    bool ok_ = false;
    std::string error_;
};

// The pipe's queue with a writer thread that takes every record, as the
// program's writer does for a listener that keeps up.
class DrainedPipe {
  public:
    DrainedPipe() : queue_(256) {
        queue_.SetConnected(true);
        writer_ = std::thread([this] {
            std::vector<unsigned char> record;
            while (queue_.Pop(record)) taken_.fetch_add(1, std::memory_order_relaxed);
        });
    }
    ~DrainedPipe() {
        queue_.Close();
        writer_.join();
    }
    void Send(int32_t kind, const Matrix4* wand, int32_t count, const Vec3* points, const Matrix4* reference) {
        ScanPipeRecord_Build(record_, kind, wand, count, points, reference);
        ScanPipeRecord_Encode(record_, bytes_);
        queue_.Push(bytes_, sizeof bytes_);
    }
    PipeQueueCounts Counts() const { return queue_.Counts(); }

  private:
    PipeQueue queue_;
    ScanPipeRecord record_{};
    unsigned char bytes_[sizeof(ScanPipeRecord)] = {};
    std::thread writer_;
    std::atomic<long long> taken_{0};
};

struct CaptureResult {
    int fields = 0;
    int profiles = 0;
    int repaintRequests = 0;  // level 2, the incremental frames
    int paints = 0;           // every level, when a painter drew them
};

// One capture of the press through scan control into a fresh scan.
inline CaptureResult RunCapture(const LimbCapture& capture, DrainedPipe& pipe, ViewPainter* painter = nullptr) {
    scan_test::TestScan scan(64u << 20);
    GeneralSettings settings{};
    GeneralSettings_SetDefaults(settings, 0, 0);
    settings.ReceiverEnabled = 0;
    settings.AutoView = 0;
    settings.AngleClip = 30.0f;
    ViewSettings view{};
    ViewSettings_SetDefaults(view);
    ScanControl control;
    control.raw = &scan.raw();
    control.settings = &settings;
    control.view = &view;
    CaptureResult result;
    ScanControlHost& h = control.host;
    h.buildProfile = [](Profile& staging, const ScanProfileRequest& r, ScanFieldReport& report) {
        return BuildProfileFromField(staging, r.receiverEnabled, r.useFrozen, r.frozen, r.clipAngle, &report.scan,
                                     &report.stylus, &report.interlace, &report.mismatch, &report.hardwareValue);
    };
    h.mode = [] { return kScanModeScan; };
    h.pipe = [&pipe](int32_t kind, const Matrix4* wand, int32_t count, const Vec3* points, const Matrix4* reference) {
        pipe.Send(kind, wand, count, points, reference);
    };
    h.postRepaint = [&result, painter](int32_t level) {
        result.repaintRequests += level == 2 ? 1 : 0;
        if (!painter || level < 0) return;
        painter->Paint(level);
        ++result.paints;
    };
    if (painter) painter->Begin(scan.raw(), settings, view);
    Ring_ResetCounts();
    control.state.BusyState = kScanBusyCapturing;
    ScanControl_FirstField(control);
    for (int i = 0; i < capture.Fields(); ++i) {
        std::memcpy(RingSlotAddress(Ring_WriteCount()), capture.Slot(i).data(),
                    kFieldSlotWords * sizeof(std::uint16_t));
        Ring_PublishField();
        ScanControl_OnNewFieldReady(control, i + 1);
    }
    ScanControl_EndOfSweep(control);
    result.fields = capture.Fields();
    result.profiles = scan.raw().NumProfiles;
    return result;
}

}  // namespace live_path
