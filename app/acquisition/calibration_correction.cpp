#include "app/acquisition/calibration_correction.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "app/acquisition/calibration_lookup.h"
#include "app/acquisition/profile_line_log.h"
#include "app/scan/geometry.h"

namespace {

// One logged sample as the search reads it: the channel's line and count
// positions, its weight and the pose that takes it to scan coordinates.
struct Sample {
    float line, count, weight;
    std::int32_t pose;
};

// The samples of every sweep on one channel, gathered once for all
// candidates.
struct ChannelSamples {
    std::vector<Sample> samples;
    std::int32_t sweepEnd[kCorrectionSweeps];
};

std::vector<Matrix4> ProfilePoses(const RawData& raw) {
    std::vector<Matrix4> poses;
    const std::int32_t last = raw.SweepStartingProfileNo[kCorrectionSweeps];
    for (std::int32_t p = 0; p < last; ++p) {
        const Profile& profile = raw.Profiles[p];
        Matrix4 pose = profile.WandRxMatrix;
        if (profile.ReferenceEnabled != 0) {
            Matrix4 refInverse;
            M4_InvertRigid(profile.ReferenceRxMatrix, refInverse);
            M4_Multiply(refInverse, profile.WandRxMatrix, pose);
        }
        poses.push_back(pose);
    }
    return poses;
}

ChannelSamples GatherSamples(const RawData& raw, std::int32_t channel) {
    ChannelSamples out;
    for (std::int32_t s = 0; s < kCorrectionSweeps; ++s) {
        for (std::int32_t p = raw.SweepStartingProfileNo[s]; p < raw.SweepStartingProfileNo[s + 1]; ++p) {
            const Profile& profile = raw.Profiles[p];
            if (profile.Extra == nullptr) continue;
            const ProfileLineLog log = ProfileLineLog_Get(profile);
            for (std::int32_t i = 0; i < *log.count; ++i) {
                if (log.channel[i] != channel || log.start[i] <= 0) continue;
                const float count = static_cast<float>(log.start[i] + log.end[i]) * 0.5f;
                out.samples.push_back(
                    Sample{log.linePosition[i], count, static_cast<float>(log.end[i] - log.start[i]), p});
            }
        }
        out.sweepEnd[s] = static_cast<std::int32_t>(out.samples.size());
    }
    return out;
}

bool Centres(const ChannelSamples& samples, const std::vector<Matrix4>& poses, const CalibrationGrid& grid,
             std::int32_t channel, float dl, float dc, Vec3 out[kCorrectionSweeps]) {
    std::int32_t first = 0;
    for (std::int32_t s = 0; s < kCorrectionSweeps; ++s) {
        double sum[3] = {0, 0, 0}, weights = 0;
        for (std::int32_t k = first; k < samples.sweepEnd[s]; ++k) {
            const Sample& sample = samples.samples[k];
            Vec3 p, q;
            if (!grid.Interpolate(channel, sample.line + dl, sample.count + dc, p)) continue;
            M4_TransformPoint(poses[sample.pose], p, q);
            sum[0] += sample.weight * q.x;
            sum[1] += sample.weight * q.y;
            sum[2] += sample.weight * q.z;
            weights += sample.weight;
        }
        first = samples.sweepEnd[s];
        if (!(weights > 0)) return false;
        out[s] = Vec3{static_cast<float>(sum[0] / weights), static_cast<float>(sum[1] / weights),
                      static_cast<float>(sum[2] / weights)};
    }
    return true;
}

float Distance(const Vec3& a, const Vec3& b) { return V3_Distance(a, b); }

// The best candidate of one channel, and its RMS at the current and at zero
// tweaks.
struct ChannelBest {
    bool found = false, hasOld = false, hasZero = false;
    double bestRms = std::numeric_limits<double>::infinity();
    float dl = 0, dc = 0;
    float oldRms = kCorrectionUnknownRms, zeroRms = kCorrectionUnknownRms;
    Vec3 best{}, old{}, zero{};
};

ChannelBest SearchChannel(const RawData& raw, const CalibrationGrid& grid, const std::vector<Matrix4>& poses,
                          std::int32_t channel, float currentLine, float currentCount) {
    const ChannelSamples samples = GatherSamples(raw, channel);
    ChannelBest best;
    best.dl = currentLine;
    best.dc = currentCount;
    for (std::int32_t i = 0; i < kCorrectionLineSteps; ++i) {
        const float dl = kCorrectionLineFirst + kCorrectionLineStep * static_cast<float>(i);
        for (std::int32_t j = 0; j < kCorrectionCountSteps; ++j) {
            const float dc = kCorrectionCountFirst + kCorrectionCountStep * static_cast<float>(j);
            Vec3 centres[kCorrectionSweeps], centre;
            if (!Centres(samples, poses, grid, channel, dl, dc, centres)) continue;
            const double rms = CalibrationCorrection_Rms(centres, centre);
            if (rms < best.bestRms) {
                best.found = true;
                best.bestRms = rms;
                best.dl = dl;
                best.dc = dc;
                best.best = centre;
            }
            if (dl == currentLine && dc == currentCount) {
                best.hasOld = true;
                best.oldRms = static_cast<float>(rms);
                best.old = centre;
            }
            if (dl == 0.0f && dc == 0.0f) {
                best.hasZero = true;
                best.zeroRms = static_cast<float>(rms);
                best.zero = centre;
            }
        }
    }
    return best;
}

}  // namespace

const char* CalibrationCorrection_SweepStatusKey(std::int32_t sweeps) {
    if (sweeps < kCorrectionSweeps) return "CalCheckNextStatusMsg";
    if (sweeps == kCorrectionSweeps) return "CalCheckComputeCorrectionStatusMsg";
    return "CalCheckTooManyStatusMsg";
}

CorrectionPassDistances CalibrationCorrection_PassDistances(const std::string& hardwareVersionText) {
    if (!hardwareVersionText.empty() && hardwareVersionText[0] == '2') return {{100, 4, 1}, {200, 8, 2}};
    return {{125, 5, 1}, {250, 10, 2}};
}

void CalibrationCorrection_InitRecords(LutTweak& result, LutTweak& reset, std::time_t now) {
    result = LutTweak{};
    reset = LutTweak{};
    const std::tm* local = std::localtime(&now);
    const char* text = local ? std::asctime(local) : nullptr;
    if (text) {
        std::snprintf(result.date, sizeof result.date, "%.24s", text);
        std::memcpy(reset.date, result.date, sizeof reset.date);
    }
    result.oldRms[0] = result.oldRms[1] = kCorrectionUnknownRms;
    result.newRms[0] = result.newRms[1] = kCorrectionUnknownRms;
}

double CalibrationCorrection_Rms(const Vec3 centres[kCorrectionSweeps], Vec3& outCentre) {
    double mean[3] = {0, 0, 0};
    for (std::int32_t s = 0; s < kCorrectionSweeps; ++s) {
        mean[0] += centres[s].x;
        mean[1] += centres[s].y;
        mean[2] += centres[s].z;
    }
    for (double& m : mean) m /= kCorrectionSweeps;
    double squares = 0;
    for (std::int32_t s = 0; s < kCorrectionSweeps; ++s) {
        const double dx = centres[s].x - mean[0], dy = centres[s].y - mean[1], dz = centres[s].z - mean[2];
        squares += dx * dx + dy * dy + dz * dz;
    }
    outCentre = Vec3{static_cast<float>(mean[0]), static_cast<float>(mean[1]), static_cast<float>(mean[2])};
    return std::sqrt(squares / kCorrectionSweeps);
}

bool CalibrationCorrection_SweepCentres(const RawData& raw, const CalibrationData& calibration, std::int32_t channel,
                                        float lineTweak, float countTweak, Vec3 outCentres[kCorrectionSweeps]) {
    const CalibrationGrid grid(calibration);
    return Centres(GatherSamples(raw, channel), ProfilePoses(raw), grid, channel, lineTweak, countTweak, outCentres);
}

void CalibrationCorrection_Search(const RawData& raw, const CalibrationData& calibration, std::int32_t channels,
                                  const LutTweak& current, CorrectionSearch& search) {
    const CalibrationGrid grid(calibration);
    const std::vector<Matrix4> poses = ProfilePoses(raw);
    LutTweak& result = search.result;
    LutTweak& reset = search.reset;
    for (std::int32_t c = 0; c < 2; ++c) {
        search.found[c] = search.hasOld[c] = search.hasZero[c] = false;
        search.newCentre[c] = search.oldCentre[c] = search.zeroCentre[c] = Vec3{0, 0, 0};
        reset.lineTweak[c] = reset.countTweak[c] = 0.0f;
        if (c >= channels) {
            result.lineTweak[c] = current.lineTweak[c];
            result.countTweak[c] = current.countTweak[c];
            result.oldRms[c] = result.newRms[c] = 0.0f;
            reset.oldRms[c] = reset.newRms[c] = 0.0f;
            continue;
        }
        const ChannelBest best = SearchChannel(raw, grid, poses, c, current.lineTweak[c], current.countTweak[c]);
        search.found[c] = best.found;
        search.hasOld[c] = best.hasOld;
        search.hasZero[c] = best.hasZero;
        search.newCentre[c] = best.best;
        search.oldCentre[c] = best.old;
        search.zeroCentre[c] = best.zero;
        result.lineTweak[c] = best.dl;
        result.countTweak[c] = best.dc;
        result.oldRms[c] = best.oldRms;
        result.newRms[c] = best.found ? static_cast<float>(best.bestRms) : kCorrectionUnknownRms;
        reset.oldRms[c] = best.oldRms;
        reset.newRms[c] = best.zeroRms;
    }
    result.oldDeviation = result.newDeviation = reset.oldDeviation = reset.newDeviation = 0.0f;
    if (channels >= 2) {
        // A distance needs a centre on both channels; without one it stays 0.
        if (search.found[0] && search.found[1])
            result.newDeviation = Distance(search.newCentre[0], search.newCentre[1]);
        if (search.hasOld[0] && search.hasOld[1])
            result.oldDeviation = Distance(search.oldCentre[0], search.oldCentre[1]);
        reset.oldDeviation = result.oldDeviation;
        if (search.hasZero[0] && search.hasZero[1])
            reset.newDeviation = Distance(search.zeroCentre[0], search.zeroCentre[1]);
    }
    search.improvement = (result.oldRms[0] + result.oldRms[1]) - (result.newRms[0] + result.newRms[1]);
}
