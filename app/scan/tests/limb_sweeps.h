// Sweeps over overlapping arcs of a tapered cylinder (a limb), of chosen
// resolution, in a scan record over arrays the test owns: the input of the
// trimming tests.
#pragma once

#include "app/scan/raw_data.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace limb_sweeps {

constexpr float kPi = 3.14159265f;

class TrimScan {
  public:
    TrimScan() : raw_(static_cast<RawData*>(std::calloc(1, sizeof(RawData)))) {}
    ~TrimScan() { std::free(raw_); }
    TrimScan(const TrimScan&) = delete;
    TrimScan& operator=(const TrimScan&) = delete;

    // A sweep over the arc from a0 to a1 degrees and heights 0..height, its
    // points `spacing` apart (ResolutionSq = spacing²), jittered a little so
    // that no two distances tie, normals pointing out of the limb.
    void AddArc(float a0, float a1, float height, float spacing, uint32_t seed) {
        first_.push_back(static_cast<int32_t>(points_.size()));
        SweepRecord sweep{};
        M4_Identity(sweep.PendingTransform);
        sweeps_.push_back(sweep);
        for (float z = 0.0f; z <= height; z += spacing) {
            const float radius = 40.0f - 0.05f * z;
            const float step = spacing / radius * 180.0f / kPi;
            for (float a = a0; a <= a1; a += step) {
                const float jitter = Jitter(seed) * 0.1f * spacing;
                const float t = (a + jitter) * kPi / 180.0f;
                ScanPoint p{};
                p.Normal = Vec3{std::cos(t), std::sin(t), 0.0f};
                p.Vertex = Vec3{radius * std::cos(t), radius * std::sin(t), z + Jitter(seed) * 0.1f * spacing};
                p.ResolutionSq = spacing * spacing;
                points_.push_back(p);
            }
        }
    }
    // A copy of sweep s as a new sweep.
    void AddCopy(int32_t s) {
        const int32_t begin = first_[s];
        const int32_t end =
            s + 1 < static_cast<int32_t>(first_.size()) ? first_[s + 1] : static_cast<int32_t>(points_.size());
        first_.push_back(static_cast<int32_t>(points_.size()));
        sweeps_.push_back(sweeps_[s]);
        for (int32_t p = begin; p < end; ++p) points_.push_back(points_[p]);
    }

    // Binds the record to the arrays; call after the last sweep was added.
    RawData& Raw() {
        bounds_ = first_;
        bounds_.push_back(static_cast<int32_t>(points_.size()));
        raw_->Points = points_.data();
        raw_->NumPoints = static_cast<int32_t>(points_.size());
        raw_->Sweeps = sweeps_.data();
        raw_->NumSweeps = static_cast<int32_t>(sweeps_.size());
        raw_->SweepFirstPoint = bounds_.data();
        return *raw_;
    }
    int32_t First(int32_t s) const { return bounds_[s]; }
    int32_t End(int32_t s) const { return bounds_[s + 1]; }
    std::vector<ScanPoint>& Points() { return points_; }
    std::vector<SweepRecord>& Sweeps() { return sweeps_; }
    std::vector<uint32_t> Flags() const {
        std::vector<uint32_t> flags;
        for (const ScanPoint& p : points_) flags.push_back(p.Flags);
        return flags;
    }

  private:
    static float Jitter(uint32_t& seed) {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<float>(seed >> 8) / static_cast<float>(1u << 24) - 0.5f;
    }

    RawData* raw_;
    std::vector<ScanPoint> points_;
    std::vector<SweepRecord> sweeps_;
    std::vector<int32_t> first_;
    std::vector<int32_t> bounds_;
};

}  // namespace limb_sweeps
