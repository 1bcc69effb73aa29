#include "app/acquisition/calibration_state.h"

#include <atomic>
#include <cstring>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/hardware_events.h"
#include "app/scan/raw_data.h"

namespace {

CalibrationData& Current() {
    static CalibrationData data;
    return data;
}

// The file the calibration in use came from: the only file its history may
// be written back into.
std::string& LoadedPath() {
    static std::string path;
    return path;
}

std::atomic<bool> g_loaded{false};
std::atomic<bool> g_syncSent{false};

}  // namespace

void BeginCalibrationLoad() {
    g_loaded.store(false);
    Current().model.versionText.clear();
    // A start that fails keeps nothing of the file before.
    Current().history = LutTweakHistory{};
    LoadedPath().clear();
}

void InstallCalibration(CalibrationData&& data) {
    Current() = std::move(data);
    SetExpectedSerialNumber(Current().header.WandSerialNumber);
    g_loaded.store(true);
    if (Current().blank) RaiseHardwareEvent(Hardware_CAL_BLANK_ERROR, 0);
}

bool IsCalibrationLoaded() { return g_loaded.load(); }
std::string LoadedCalibrationPath() { return IsCalibrationLoaded() ? LoadedPath() : std::string(); }
const CalibrationData& CurrentCalibration() { return Current(); }
std::string GetHardwareVersionText() { return Current().model.versionText; }

void MarkTrackerSynchronisationSent() { g_syncSent.store(true); }
bool TrackerSynchronisationSent() { return g_syncSent.load(); }

std::int32_t CheckTrackerSetupMark(const HardwareModel& model) {
    if (!model.trackerSetupProperty && g_syncSent.exchange(false)) return 14;
    return 1;
}

std::int32_t LoadCalibration(const std::string& path) {
    BeginCalibrationLoad();
    CalibrationData data;
    const std::int32_t result = LoadCalibrationFile(path, data);
    if (result != Calibration_STARTED) return result;
    const std::int32_t mark = CheckTrackerSetupMark(data.model);
    if (mark != 1) return mark;
    InstallCalibration(std::move(data));
    LoadedPath() = path;
    return Calibration_STARTED;
}

void LutTweaks_Push(const LutTweak& tweak) {
    LutTweakHistory& history = Current().history;
    for (int i = kLutTweakHistoryLength - 1; i > 0; --i) history[i] = history[i - 1];
    history[0] = tweak;
}

void LutTweaks_Pop() {
    LutTweakHistory& history = Current().history;
    for (int i = 0; i + 1 < kLutTweakHistoryLength; ++i) history[i] = history[i + 1];
    std::memset(&history[kLutTweakHistoryLength - 1], 0, sizeof(LutTweak));
}

void LutTweaks_GetNewest(LutTweak& out) { out = Current().history[0]; }

const LutTweakHistory& LutTweaks_History() { return Current().history; }

void LutTweaks_CopyRecent(RawData& raw) {
    CorrectionHistory& recent = raw.Header.Corrections;
    const LutTweak empty{};
    for (int r = 0; r < 10; ++r) {
        const LutTweak& t = Current().history[r];
        for (int c = 0; c < 2; ++c) {
            recent.LineTweak[r][c] = t.lineTweak[c];
            recent.CountTweak[r][c] = t.countTweak[c];
            recent.OldRms[r][c] = t.oldRms[c];
            recent.NewRms[r][c] = t.newRms[c];
        }
        recent.OldDeviation[r] = t.oldDeviation;
        recent.NewDeviation[r] = t.newDeviation;
        std::memcpy(recent.Date[r], t.date, sizeof recent.Date[r]);
        recent.Valid[r] = std::memcmp(&t, &empty, sizeof t) != 0 ? 1 : 0;
    }
}
