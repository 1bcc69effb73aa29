// Scan control: what the user-interface thread does with each event of a
// capture. A field becomes a profile, the profile is kept or not, sweeps
// open and close, the pipe hears of each event, trigger clicks are counted,
// stylus items are captured and the calibration and accuracy modes take
// their target profiles. The decisions live here; everything that shows,
// sounds, paints or sends goes through the host, which the program fills
// with its windows and tests fill with recorders. Nothing here takes a lock.
#pragma once

#include "app/scan/raw_data.h"
#include "app/scan/settings_records.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Application modes as scan control sees them.
constexpr int32_t kScanModePreview = 0;
constexpr int32_t kScanModeScan = 1;
constexpr int32_t kScanModeView = 2;
constexpr int32_t kScanModeCalibration = 3;
constexpr int32_t kScanModeCorrection = 4;
constexpr int32_t kScanModeAccuracy = 5;

constexpr int32_t kScanBusyIdle = 0;
constexpr int32_t kScanBusyCapturing = 3;

// Beeps, as the system's message-beep types.
constexpr uint32_t kBeepPlain = 0;
constexpr uint32_t kBeepAsterisk = 0x40;
constexpr uint32_t kBeepExclamation = 0x30;

// Windows that scan control tells of events.
enum ScanWindow : int32_t {
    kWindowMain = 0,
    kWindowCorrection,  // the calibration-correction window
    kWindowAccuracy,    // the accuracy-check window
    kWindowProperties,  // the scanner properties dialog
    kWindowTool,        // the open modeless tool window
};

constexpr uint32_t kMsgRefresh = 0x8040;
constexpr uint32_t kMsgSweepEnded = 0x8001;
constexpr uint32_t kMsgAccepted = 0x8042;
constexpr uint32_t kMsgCorrectionSweep = 0x8081;
constexpr uint32_t kMsgCorrectionDropped = 0x8082;

struct ScanControlState {
    int32_t SweepClosed = 0;
    int32_t SweepRecorded = 0;
    int32_t ScanTooFast = 0;
    int32_t FormatWarned = 0;
    int32_t PipeCaptureOpen = 0;
    int32_t FieldSeen = 0;
    int32_t RepaintCounter = 0;
    int32_t ScanClickCount = 0;
    int32_t StylusClickCount = 0;
    int32_t AutoViewDone = 0;
    int32_t CreatorStamped = 0;
    int32_t BusyState = kScanBusyIdle;
    int32_t CameraLogMode = 0;
    int32_t StylusCaptured = 0;  // a stylus item was recorded in this press
    Profile WandDisplay{};       // the staging profile without its arrays
};

// What the profile builder reports of a field besides the profile.
struct ScanFieldReport {
    int32_t scan = 0;       // trigger pressed (0: preview)
    int32_t stylus = 0;     // the field belongs to the stylus
    int32_t interlace = 0;  // the configured interlace flag
    int32_t mismatch = 0;   // video format mismatch
    int32_t hardwareValue = 0;
};

struct ScanProfileRequest {
    int32_t receiverEnabled = 0;
    int32_t useFrozen = 0;
    const Matrix4* frozen = nullptr;
    float clipAngle = 0.0f;
};

// The connected hardware as the end of a capture stamps it.
struct ScanHardwareInfo {
    std::string identity;  // the first character "2" selects the smaller calibration geometry
    int32_t driverVersion = 0;
    int32_t wandSerial = 0;
    int32_t processingUnitVersion = 0;
    std::string calibrationTime;  // the calibration file's time as asctime text
    int32_t fixedWand = 0;
};

// The status bar as a field leaves it: the second text part (left as it is
// in the view mode) with its background, and the third part.
struct ScanFieldStatus {
    bool setPosition = false;  // false: the second part is left as it is
    std::string position;      // the wand's position and angles, the back warning key, or empty
    bool warning = false;      // the back warning on a red background
    const char* modeKey = "";  // "StatusBarScanMode" or "StatusBarPreviewMode"
};

// The texts a field shows: the pose in the preview and target modes, the
// back warning while scanning, nothing in the view mode.
ScanFieldStatus ScanControl_FieldStatus(int32_t mode, int32_t scanFlag, const Profile& staging, int32_t receiverEnabled,
                                        bool wandBehind);

struct ScanControlHost {
    // The profile builder, result 1 built, 4 out of memory, 9 not enough fields.
    std::function<int32_t(Profile& staging, const ScanProfileRequest&, ScanFieldReport&)> buildProfile;
    std::function<bool(ScanHardwareInfo&)> hardwareInfo;  // false: no wand connected
    std::function<int32_t()> cameraCount;

    std::function<int32_t()> mode;
    std::function<void(int32_t mode)> setMode;
    std::function<bool()> receiverFrozen;
    std::function<Matrix4()> frozenReceiver;
    std::function<bool()> acceptPartialCameras;
    std::function<bool()> accuracyTargetOption;

    std::function<void(uint32_t type)> beep;
    std::function<void(const char* key)> warningBox;
    std::function<void(const char* key)> errorBox;
    std::function<void(int32_t kind, const Matrix4* wand, int32_t count, const Vec3* points, const Matrix4* reference)>
        pipe;
    std::function<void(int32_t level)> postRepaint;  // the graph window
    std::function<void(int32_t level)> sendRepaint;
    std::function<void(ScanWindow window, uint32_t message)> notify;  // to a window that is open
    std::function<bool(ScanWindow window)> windowOpen;
    std::function<void(int32_t scanFlag)> updateStatus;  // the whole status bar again
    std::function<void(const ScanFieldStatus&)> showFieldStatus;
    std::function<bool()> wandBehind;  // the view follows the wand: true when it is behind the object
    std::function<void()> refreshUi;
    std::function<void()> refreshSweepList;
    std::function<void()> resetDerivedState;
    std::function<void()> reportAcquisitionFaults;

    std::function<bool()> timerSkip;  // timer mode: the field is dropped
    std::function<void()> stopTimerMode;
    std::function<bool()> killClickTimer;  // true when one was pending
    std::function<void()> startClickTimer;

    std::function<int32_t()> autoViewpoint;               // non-zero once set
    std::function<void(const Matrix4& pose)> stylusView;  // view onto a new stylus item
    std::function<void(const Matrix4& wand)> cameraLogAdd;
    std::function<void(RawData& raw, int32_t firstProfile)> applyRefraction;
    std::function<bool()> refractionOn;
    std::function<void(RawData& raw)> copyCorrections;  // the calibration's recent corrections
    std::function<void(RawData& raw, const char* creator)> formatCreator;
    std::function<int32_t()> nowSeconds;
    // Where a kept profile's copies of its points and values come from
    // (std::malloc when empty; freed with std::free): a test makes it fail.
    std::function<void*(std::size_t bytes)> allocate;
};

struct ScanControl {
    ScanControlState state;
    ScanControlHost host;
    RawData* raw = nullptr;
    GeneralSettings* settings = nullptr;
    const ViewSettings* view = nullptr;
};

void ScanControl_FirstField(ScanControl& control);
void ScanControl_OnNewFieldReady(ScanControl& control, int32_t fieldNumber);
void ScanControl_EndOfSweep(ScanControl& control);
void ScanControl_CloseSweep(ScanControl& control);
void ScanControl_StartNewSweep(ScanControl& control);
// Records a stylus item from a pose; newItem starts a new item at the start
// of a press.
void ScanControl_CaptureStylusItem(ScanControl& control, bool newItem, const Matrix4& pose);
// The laser stylus: a small spot of points near the wand becomes a stylus
// item at its centre. True when an item was captured.
bool ScanControl_LaserStylus(ScanControl& control);
// Forgets the scan's one-shot state (automatic viewpoint, creator) when the
// scan is closed.
void ScanControl_ResetScan(ScanControl& control);
