#include "sim/pipe_record_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sim {

namespace {

constexpr std::size_t kMaxErrors = 20;

const char* KindName(std::uint32_t kind) {
    static const char* const names[] = {"capture start", "sweep start", "profile", "sweep end", "capture end"};
    return kind < 5 ? names[kind] : "unknown";
}

}  // namespace

PipeRecordChecker::PipeRecordChecker(const Scenario& scenario, bool receiverFrame, double tolerance)
    : scenario_(scenario), receiverFrame_(receiverFrame), tolerance_(tolerance) {}

void PipeRecordChecker::Fault(const std::string& text) {
    if (counts_.errors.size() < kMaxErrors) counts_.errors.push_back(text);
}

void PipeRecordChecker::CheckPoints(const ScanPipeRecord& r) {
    const int n = std::min<int>(std::max<int>(r.NumPoints, 0), kPipeMaxPoints);
    if (n == 0) Fault("a profile record without points");
    const float* m = r.RawReferenceRxMatrix;
    for (int i = 0; i < n; ++i) {
        const float* p = r.Points[i];
        Vec3 q{p[0], p[1], p[2]};
        if (receiverFrame_) {
            q = Vec3{p[0] * m[0] + p[1] * m[4] + p[2] * m[8] + m[12], p[0] * m[1] + p[1] * m[5] + p[2] * m[9] + m[13],
                     p[0] * m[2] + p[1] * m[6] + p[2] * m[10] + m[14]};
        }
        const double d = scenario_.scene.SurfaceDistance(q);
        counts_.worstDistance = std::max(counts_.worstDistance, d);
        ++counts_.points;
        squaresOfCapture_ += d * d;
        ++pointsOfCapture_;
        if (d > tolerance_) {
            char text[160];
            std::snprintf(text, sizeof text, "profile %d point %d lies %.3f mm from the scene", counts_.profiles, i, d);
            Fault(text);
        }
    }
}

void PipeRecordChecker::Add(const ScanPipeRecord& r) {
    if (r.FormatCode != kPipeFormatCode || r.Magic != kPipeMagic || r.Kind != r.KindAgain || r.Kind > 4) {
        Fault("a record with a bad header");
        return;
    }
    if (state_ == kWaiting && r.Kind != kPipeCaptureStart) {
        ++counts_.skipped;
        return;
    }
    auto unexpected = [&] { Fault(std::string("unexpected ") + KindName(r.Kind)); };
    switch (r.Kind) {
        case kPipeCaptureStart:
            if (state_ == kInCapture || state_ == kInSweep) unexpected();
            state_ = kInCapture;
            sweepsOfCapture_ = 0;
            profilesOfCapture_ = 0;
            squaresOfCapture_ = 0;
            pointsOfCapture_ = 0;
            break;
        case kPipeSweepStart:
            if (state_ != kInCapture) unexpected();
            state_ = kInSweep;
            profilesOfSweep_ = 0;
            break;
        case kPipeProfile:
            if (state_ != kInSweep) unexpected();
            ++counts_.profiles;
            ++profilesOfSweep_;
            ++profilesOfCapture_;
            CheckPoints(r);
            break;
        case kPipeSweepEnd:
            if (state_ != kInSweep) unexpected();
            if (profilesOfSweep_ == 0) Fault("a sweep without profiles");
            state_ = kInCapture;
            ++sweepsOfCapture_;
            break;
        case kPipeCaptureEnd:
            if (state_ != kInCapture) unexpected();
            state_ = kOutside;
            ++counts_.captures;
            counts_.sweeps += sweepsOfCapture_;
            counts_.profilesPerCapture.push_back(profilesOfCapture_);
            counts_.rmsPerCapture.push_back(
                pointsOfCapture_ > 0 ? std::sqrt(squaresOfCapture_ / static_cast<double>(pointsOfCapture_)) : 0.0);
            break;
    }
}

}  // namespace sim
