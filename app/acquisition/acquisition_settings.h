// Process-wide settings of the acquisition layer. The user-interface thread
// sets them; the acquisition thread, the field checks and profile building
// read them. Every value is a single atomic word.
#pragma once

#include <cstdint>

// Hemisphere setting: 0..5 a fixed hemisphere (+X, -X, +Y, -Y, +Z, -Z), 6 the
// automatic set-up driven by the tracking states.
constexpr std::int32_t kHemisphereAutomatic = 6;

// Stores a hemisphere setting of 0..6 (other values are ignored) and resets
// both tracking states.
void SetHemisphereSetting(std::int32_t value);
std::int32_t GetHemisphereSetting();

// The reference-station option (default on); resets both tracking states.
void SetWandReferenceOption(std::int32_t value);
std::int32_t GetWandReferenceOption();

// The tracker's station base 0..2; other values are ignored.
void SetTrackerSelection(std::int32_t value);
std::int32_t GetTrackerSelection();

// The profile filter length (default 3): values below 1 count as 1, others
// are forced odd (bit 0 cleared, plus 1); lengths above 47, which the ring can
// never serve, are clamped to 47 with a trace line.
void SetOddFilterLength(std::int32_t value);
std::int32_t GetOddFilterLength();

// The accepted laser-line widths of the line detection check (defaults 5, 50).
void SetHardwareParamPair(std::int32_t minimumWidth, std::int32_t maximumWidth);
std::int32_t GetMinLaserLineWidth();
std::int32_t GetMaxLaserLineWidth();

// The processing-unit version in use (0..3): chooses the tracker's station
// characters and is what every field's version is checked against.
void SetProcessingUnitVersion(std::int32_t version);
std::int32_t GetProcessingUnitVersion();

// Whether the processing unit's firmware may report the wand station in both
// tracker records. No firmware description says which units do, so it is an
// explicit setting (default off).
void SetFirmwareAllowsStationTwice(bool allowed);
bool GetFirmwareAllowsStationTwice();

// The scanner menu's alternative tracker command lists: 0 none, 1 or 2.
void SetAlternativeTrackerList(std::int32_t which);
std::int32_t GetAlternativeTrackerList();

// The wand serial number of the calibration file in use; every wand field is
// checked against it.
void SetExpectedSerialNumber(std::uint32_t serial);
std::uint32_t GetExpectedSerialNumber();

// Puts every setting above back to its default (for start-up and tests).
void ResetAcquisitionSettings();
