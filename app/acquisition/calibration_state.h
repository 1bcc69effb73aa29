// The calibration in use: the last calibration file that hardware start-up
// loaded, with the hardware model of its version and the in-memory history
// of calibration corrections. Changed on the user-interface thread while the
// acquisition thread is stopped; read by both.
#pragma once

#include <cstdint>
#include <string>

#include "app/acquisition/calibration_file.h"

struct RawData;

// Start of a load: the calibration counts as not loaded, and the hardware
// version text, the history and the loaded file's path are empty until a
// file is installed.
void BeginCalibrationLoad();

// Makes `data` the calibration in use: the wand serial number every field is
// checked against, the hardware model, the table and the history. Sets the
// loaded flag and raises Hardware_CAL_BLANK_ERROR when the table is blank.
void InstallCalibration(CalibrationData&& data);

bool IsCalibrationLoaded();
// The path LoadCalibration loaded the calibration in use from; empty when
// none is loaded or it was installed without a file.
std::string LoadedCalibrationPath();
const CalibrationData& CurrentCalibration();
// Empty before a calibration file was loaded.
std::string GetHardwareVersionText();

// The mark that the tracker was given synchronisation commands (and so holds
// a set-up that only a power cycle clears).
void MarkTrackerSynchronisationSent();
bool TrackerSynchronisationSent();
// Start-up check: on hardware without the tracker-set-up property, a tracker
// still holding a set-up from an earlier start gives 14 (and the mark is
// cleared, so that a second start passes); else 1.
std::int32_t CheckTrackerSetupMark(const HardwareModel& model);

// The file steps of hardware start-up in one call: clears the loaded state,
// reads and checks the file, checks the tracker mark and installs the
// calibration. Returns 1, or the failing step's code (2, 4, 5, 6, 7, 14).
std::int32_t LoadCalibration(const std::string& path);

// History of calibration corrections (newest first), on the in-memory copy
// that UpdateCalibrationFile writes.
void LutTweaks_Push(const LutTweak& tweak);  // drops the oldest
void LutTweaks_Pop();                        // removes the newest, clears the oldest slot
void LutTweaks_GetNewest(LutTweak& out);
const LutTweakHistory& LutTweaks_History();
// Copies the ten newest records into the scan record's correction history
// (the scan keeps them with its raw data).
void LutTweaks_CopyRecent(RawData& raw);
