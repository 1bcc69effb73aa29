#include "app/acquisition/accuracy_report.h"

#include "app/acquisition/profile_line_log.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace {

constexpr float kNoPoint = 1.0e10f;
constexpr std::size_t kReportSize = 1024;

void Append(std::string& text, const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    text += line;
}

struct CameraMeans {
    std::vector<Vec3> means;  // one per sweep that saw the target
};

// The mean detection of every sweep, per camera.
std::vector<CameraMeans> SweepMeans(const RawData& raw, int32_t cameras, int32_t first, int32_t end) {
    std::vector<CameraMeans> table(static_cast<std::size_t>(cameras));
    for (int32_t s = first; s < end; ++s) {
        std::vector<Vec3> sums(table.size(), Vec3{0.0f, 0.0f, 0.0f});
        std::vector<int32_t> counts(table.size(), 0);
        for (int32_t p = raw.SweepStartingProfileNo[s]; p < raw.SweepStartingProfileNo[s + 1]; ++p) {
            const Profile& profile = raw.Profiles[p];
            if (!profile.Extra) continue;
            const ProfileLineLog log = ProfileLineLog_Get(profile);
            for (int32_t i = 0; i < *log.count; ++i) {
                const int32_t c = log.channel[i];
                if (log.point[i].x == kNoPoint || c < 0 || c >= cameras) continue;
                ++counts[c];
                V3_Add(sums[c], log.point[i], sums[c]);
            }
        }
        for (std::size_t c = 0; c < table.size(); ++c) {
            if (counts[c] <= 0) continue;
            Vec3 mean;
            V3_Scale(1.0f / static_cast<float>(counts[c]), sums[c], mean);
            table[c].means.push_back(mean);
        }
    }
    return table;
}

float Rms(const std::vector<Vec3>& points, const Vec3& about) {
    if (points.empty()) return 0.0f;
    float sum = 0.0f;
    for (const Vec3& p : points) sum += V3_DistanceSquared(p, about);
    return std::sqrt(sum / static_cast<float>(points.size()));
}

}  // namespace

std::string AccuracyReport_Format(const RawData& raw, int32_t cameras, int32_t dotReference, int32_t first, int32_t end,
                                  std::vector<Vec3>* previous) {
    const Vec3 reference = dotReference == 0 ? kCalibrationDot : Vec3{0.0f, 0.0f, 0.0f};
    cameras = std::max(cameras, 0);
    if (first < 0) first = 0;
    if (end > raw.NumSweeps) end = raw.NumSweeps;
    const std::vector<CameraMeans> table = SweepMeans(raw, cameras, first, end);
    if (previous && previous->size() < table.size()) previous->resize(table.size(), Vec3{0.0f, 0.0f, 0.0f});

    std::string header, second;
    if (first == end - 1)
        Append(header, "%% sweep: %d\r\n", first + 1);
    else
        Append(header, "%% sweeps: %d - %d\r\n", first + 1, end);
    for (std::size_t c = 0; c < table.size(); ++c) {
        const std::vector<Vec3>& means = table[c].means;
        Vec3 centroid{0.0f, 0.0f, 0.0f};
        if (!means.empty()) V3_Centroid(means.data(), static_cast<int32_t>(means.size()), centroid);
        Vec3 offset;
        V3_Sub(centroid, reference, offset);
        const int camera = static_cast<int>(c) + 1;
        Append(header, "%% Camera %i mean: (% 3.2f % 3.2f % 3.2f) mag: %3.2f rms1: %3.2f rms2: %3.2f step: ", camera,
               offset.x, offset.y, offset.z, V3_Length(offset), Rms(means, centroid), Rms(means, reference));
        if (previous) {
            Vec3 step;
            V3_Sub(offset, (*previous)[c], step);
            Append(header, "(% 3.2f % 3.2f % 3.2f) %3.2f\r\n", step.x, step.y, step.z, V3_Length(step));
            (*previous)[c] = offset;
        } else {
            Append(header, "n/a \r\n");
        }
        Append(second, "D%1i = [ D%1i ; % 4.2f % 4.2f % 4.2f ]; L%1i = [ L%1i ; ' ' ];\r\n", camera, camera, offset.x,
               offset.y, offset.z, camera, camera);
    }
    std::string report = header.substr(0, kReportSize - 1) + second.substr(0, kReportSize - 1) + "\r\n";
    if (report.size() > kReportSize - 1) report.resize(kReportSize - 1);
    return report;
}
