#include "app/acquisition/scan_control.h"

#include "app/acquisition/capture_acceptance.h"
#include "app/acquisition/scan_pipe_record.h"
#include "app/scan/profile_processing.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kProgramVersion = "4.0.7";
constexpr float kStylusClipAngle = 5.0f;
constexpr float kLaserStylusBox = 10.0f;

template <typename F, typename... A>
void Call(const F& f, A&&... args) {
    if (f) f(std::forward<A>(args)...);
}

int32_t Mode(const ScanControl& c) { return c.host.mode ? c.host.mode() : kScanModeScan; }

void Beep(const ScanControl& c, uint32_t type) { Call(c.host.beep, type); }

void Notify(const ScanControl& c, ScanWindow window, uint32_t message) {
    if (c.host.windowOpen && !c.host.windowOpen(window)) return;
    Call(c.host.notify, window, message);
}

void Pipe(const ScanControl& c, int32_t kind, const Matrix4* wand = nullptr, int32_t count = 0,
          const Vec3* points = nullptr, const Matrix4* reference = nullptr) {
    Call(c.host.pipe, kind, wand, count, points, reference);
}

// A scan loaded from disk belongs to the wand that made it.
bool OtherWandsScan(const ScanControl& c) {
    if (!c.raw->LoadedFromDisk || !c.host.hardwareInfo) return false;
    ScanHardwareInfo info;
    return c.host.hardwareInfo(info) && info.wandSerial != c.raw->Header.WandSerialNumber;
}

bool OpenSweepHasProfiles(const RawData& raw) { return raw.NumProfiles > raw.SweepStartingProfileNo[raw.NumSweeps]; }

// The refraction correction reaches every profile once, when its sweep
// closes: the scan counts the profiles that carry it (a loaded scan all of
// its own), so that neither a loaded profile nor a closed sweep is
// corrected twice and the last sweep is not left out.
void CorrectNewProfiles(ScanControl& c) {
    RawData& raw = *c.raw;
    if (!c.host.refractionOn || !c.host.refractionOn() || raw.RefractionProfiles >= raw.NumProfiles) return;
    Call(c.host.applyRefraction, raw, raw.RefractionProfiles);
    raw.RefractionProfiles = raw.NumProfiles;
    Call(c.host.postRepaint, 3);
}

void FormatCreatorOnce(ScanControl& c, const char* creator) {
    if (c.state.CreatorStamped) return;
    c.state.CreatorStamped = 1;
    Call(c.host.formatCreator, *c.raw, creator);
}

// Runs processing and sends a profile record for every profile it
// finished that has points. An out-of-memory result stops processing
// where it stood; what it finished is still sent.
void ProcessAndSend(ScanControl& c) {
    RawData& raw = *c.raw;
    const int32_t mark = raw.NumProfilesProcessed;
    Scan_ProcessNewProfiles(raw, c.settings->ProfileFilterLength, c.settings->RawResolutionClip[1]);
    for (int32_t p = mark; p < raw.NumProfilesProcessed; ++p) {
        const Profile& profile = raw.Profiles[p];
        if (profile.NumPoints > 0 && profile.Points)
            Pipe(c, kPipeProfile, &profile.WandRxMatrix, profile.NumPoints, profile.Points,
                 &profile.RawReferenceRxMatrix);
    }
}

// Appends the staging profile at NumProfiles with the given arrays; the slot
// is cleared first in case it holds an undone profile.
void AppendStaging(RawData& raw, Vec3* points, int32_t* values, int32_t count, ProfileExtra* extra) {
    Profile& slot = raw.Profiles[raw.NumProfiles];
    if (raw.NumProfiles < raw.TotalProfiles) RawData_ClearProfile(slot);
    slot = raw.Staging;
    slot.NumPoints = count;
    slot.Points = points;
    slot.PointValues = values;
    slot.Extra = extra;
    ++raw.NumProfiles;
    raw.TotalProfiles = std::max(raw.TotalProfiles + 1, raw.NumProfiles);
}

void OpenSweepIfClosed(ScanControl& c) {
    if (!c.state.SweepClosed) return;
    ScanControl_StartNewSweep(c);
    c.state.SweepClosed = 0;
    c.state.SweepRecorded = 1;
}

void* Allocate(const ScanControl& c, std::size_t bytes) {
    return c.host.allocate ? c.host.allocate(bytes) : std::malloc(bytes);
}

// Mode 1 with the trigger pressed: false when the profile's copies could not
// be made (the field then does not count for the repaint pacing).
bool KeepScanProfile(ScanControl& c, int32_t hardwareValue) {
    RawData& raw = *c.raw;
    Profile& staging = raw.Staging;
    Scan_ClipProfileByRange(raw, c.settings->RangeClip);
    raw.Draw.Flags |= kDrawLive;
    bool keep = staging.NumPoints > 0 && !c.state.ScanTooFast;
    if (keep && !c.state.SweepClosed && raw.NumProfiles > 0) {
        int32_t tooFar = 0;
        keep = Scan_ProfileMovedEnough(staging, raw.Profiles[raw.NumProfiles - 1], c.settings->RawResolutionClip[0],
                                       c.settings->RawResolutionClip[1], &tooFar) != 0;
        if (tooFar) c.state.ScanTooFast = 1;
    }
    if (!keep) return true;
    FormatCreatorOnce(c, "New Scan");
    if (raw.NumProfiles == 0) Call(c.host.copyCorrections, raw);
    const std::size_t n = static_cast<std::size_t>(staging.NumPoints);
    auto* points = static_cast<Vec3*>(Allocate(c, n * sizeof(Vec3)));
    auto* values = static_cast<int32_t*>(Allocate(c, n * sizeof(int32_t)));
    if (!points || !values) {
        std::free(points);
        std::free(values);
        Beep(c, kBeepExclamation);
        return false;
    }
    std::memcpy(points, staging.Points, n * sizeof(Vec3));
    if (staging.PointValues)
        std::memcpy(values, staging.PointValues, n * sizeof(int32_t));
    else
        std::memset(values, 0, n * sizeof(int32_t));
    OpenSweepIfClosed(c);
    AppendStaging(raw, points, values, staging.NumPoints, nullptr);
    raw.ProcessedChanged = 1;
    raw.Sweeps[raw.NumSweeps].HardwareValue = hardwareValue;
    raw.Sweeps[raw.NumSweeps].HardwareWord = 0;
    raw.Draw.Flags |= kDrawNew;
    ProcessAndSend(c);
    return true;
}

void ScanMode(ScanControl& c, const ScanFieldReport& report, bool& counted) {
    RawData& raw = *c.raw;
    if (c.settings->AutoView && !c.state.AutoViewDone && c.host.autoViewpoint) {
        c.state.AutoViewDone = c.host.autoViewpoint();
        if (c.state.AutoViewDone) Call(c.host.postRepaint, 3);
    }
    if (report.scan) {
        counted = KeepScanProfile(c, report.hardwareValue);
    } else {
        if (OpenSweepHasProfiles(raw)) ScanControl_CloseSweep(c);
        raw.Draw.Flags |= kDrawLive;
    }
}

bool Accepted(ScanControl& c, int32_t mode) {
    Profile& staging = c.raw->Staging;
    const int32_t cameras = c.host.cameraCount ? c.host.cameraCount() : 2;
    switch (mode) {
        case kScanModeCalibration:
            return Accept_AllCameras(staging, cameras, c.host.acceptPartialCameras && c.host.acceptPartialCameras());
        case kScanModeCorrection: {
            ScanHardwareInfo info;
            if (c.host.hardwareInfo) c.host.hardwareInfo(info);
            const CorrectionGeometry geometry = CorrectionGeometry_For(info.identity.c_str(), info.fixedWand != 0);
            return Accept_CorrectionTarget(staging, cameras, c.raw->NumSweeps, geometry);
        }
        default:
            return Accept_CentredTarget(staging, cameras,
                                        !c.host.accuracyTargetOption || c.host.accuracyTargetOption());
    }
}

void TargetMode(ScanControl& c, int32_t mode, const ScanFieldReport& report) {
    RawData& raw = *c.raw;
    const bool accepted = Accepted(c, mode);
    if (accepted) {
        const ScanWindow window = mode == kScanModeCalibration  ? kWindowMain
                                  : mode == kScanModeCorrection ? kWindowCorrection
                                                                : kWindowAccuracy;
        Notify(c, window, kMsgAccepted);
    }
    if (!report.scan || !accepted) {
        raw.Draw.Flags |= kDrawLive;
        return;
    }
    OpenSweepIfClosed(c);
    AppendStaging(raw, nullptr, nullptr, 0, raw.Staging.Extra);
    raw.Staging.Extra = nullptr;
    FormatCreatorOnce(c, "New Scan (Calibration or Accuracy Mode)");
    raw.Draw.Flags |= kDrawNew;
}

// The wand display profile: the staging profile's poses without its arrays.
void CopyWandDisplay(ScanControl& c) {
    Profile& display = c.state.WandDisplay;
    display = c.raw->Staging;
    display.Points = nullptr;
    display.Extra = nullptr;
    display.PointValues = nullptr;
}

// The mode-4 capture keeps only sweeps of 6 profiles or more.
void DropShortCorrectionSweep(ScanControl& c) {
    RawData& raw = *c.raw;
    if (raw.NumSweeps < 1) return;
    const int32_t s = raw.NumSweeps - 1;
    if (raw.SweepStartingProfileNo[s + 1] - raw.SweepStartingProfileNo[s] >= 6) return;
    raw.NumSweeps = s;
    raw.NumProfiles = raw.SweepStartingProfileNo[s];
    raw.NumPoints = raw.SweepFirstPoint[s];
    raw.NumFacets = raw.SweepFirstFacet[s];
    raw.RunCursor = std::min(raw.RunCursor, raw.NumPoints);
    raw.ColourCursor = std::min(raw.ColourCursor, raw.NumPoints);
    RawData_DiscardSweepsAfterCurrent(raw);
    raw.Edited = 1;
    Call(c.host.refreshSweepList);
    Notify(c, kWindowCorrection, kMsgCorrectionSweep);
    Notify(c, kWindowCorrection, kMsgCorrectionDropped);
    Beep(c, kBeepAsterisk);
}

void StampHeader(ScanControl& c) {
    ScanHeader& header = c.raw->Header;
    ScanHardwareInfo info;
    if (c.host.hardwareInfo) c.host.hardwareInfo(info);
    header.WandSerialNumber = info.wandSerial;
    header.VideoProcessorRevision = info.processingUnitVersion;
    header.DriverVersion = info.driverVersion;
    std::memset(header.ProgramVersion, 0, sizeof header.ProgramVersion);
    std::strncpy(header.ProgramVersion, kProgramVersion, sizeof header.ProgramVersion - 1);
    std::string time = info.calibrationTime;
    while (!time.empty() && (time.back() == '\n' || time.back() == '\r')) time.pop_back();
    std::memset(header.CalibrationCreated, 0, sizeof header.CalibrationCreated);
    std::strncpy(header.CalibrationCreated, time.c_str(), sizeof header.CalibrationCreated - 1);
}

void CountClick(ScanControl& c) {
    ScanControlState& s = c.state;
    const bool pending = c.host.killClickTimer && c.host.killClickTimer();
    if (!s.SweepRecorded && !c.raw->Stylus.CaptureMarker) {
        if (!pending) s.ScanClickCount = s.StylusClickCount = 0;
        Call(c.host.startClickTimer);
        if (c.settings->Stylus.Mode)
            ++s.StylusClickCount;
        else
            ++s.ScanClickCount;
    } else {
        s.ScanClickCount = s.StylusClickCount = 0;
        s.SweepRecorded = 0;
    }
    c.raw->Stylus.CaptureMarker = 0;
}

void CloseCapturePipe(ScanControl& c) {
    if (!c.state.PipeCaptureOpen) return;
    Pipe(c, kPipeCaptureEnd);
    c.state.PipeCaptureOpen = 0;
}

// A line starts with an extra head item of its own, zeroed but for its flag
// and group: it stands for the whole line when the line is placed, hidden or
// inverted, and every recorded point of the line, the first one included, is
// a member after it.
void AppendStylusItem(ScanControl& c, const Matrix4& pose, bool start) {
    StylusItemList& list = c.raw->Stylus;
    list.TotalCount = list.VisibleCount;
    const bool line = c.settings->Stylus.CaptureMode == 1;
    const int32_t room = line && start ? 2 : 1;
    while (list.TotalCount + room > list.Capacity)
        if (!StylusItems_Grow(list)) return;
    if (start) ++list.GroupCount;
    const int32_t group = std::max(0, list.GroupCount - 1);
    if (line && start) {
        StylusItem head{};
        head.Flags = kStylusLineHead;
        head.Group = group;
        list.Items[list.TotalCount++] = head;
    }
    StylusItem item{};
    item.Pose = pose;
    if (line) item.Flags = kStylusLineMember;
    item.Group = group;
    item.Time = c.host.nowSeconds ? c.host.nowSeconds() : 0;
    list.Items[list.TotalCount] = item;
    ++list.TotalCount;
    list.VisibleCount = list.TotalCount;
    list.CaptureMarker = 1;
    c.raw->StylusChanged = 1;
    c.raw->ProcessedChanged = 1;
    Call(c.host.postRepaint, 3);
}

}  // namespace

ScanFieldStatus ScanControl_FieldStatus(int32_t mode, int32_t scanFlag, const Profile& staging, int32_t receiverEnabled,
                                        bool wandBehind) {
    ScanFieldStatus status;
    status.modeKey = scanFlag ? "StatusBarScanMode" : "StatusBarPreviewMode";
    if (mode == kScanModeView) return status;
    status.setPosition = true;
    if (mode == kScanModeScan) {
        status.warning = wandBehind;
        if (wandBehind) status.position = "StatusBarBackWarning";
        return status;
    }
    const Matrix4& pose = receiverEnabled ? staging.ReferenceRxMatrix : staging.WandRxMatrix;
    Vec3 angles;
    M4_ToEulerAngles(pose, angles);
    char text[128];
    std::snprintf(text, sizeof text, "%+6.1f %+6.1f %+6.1f %+6.1f %+6.1f %+6.1f", pose[12], pose[13], pose[14],
                  angles.x, angles.y, angles.z);
    status.position = text;
    return status;
}

void ScanControl_FirstField(ScanControl& c) {
    ScanControlState& s = c.state;
    if (s.CameraLogMode) {
        s.SweepClosed = 1;
        s.FieldSeen = 0;
        s.SweepRecorded = 0;
        return;
    }
    if (OtherWandsScan(c)) {
        Beep(c, kBeepExclamation);
        Call(c.host.errorBox, "ErrorDifferentWand");
        return;
    }
    if (s.BusyState == kScanBusyIdle) s.BusyState = kScanBusyCapturing;
    ScanHardwareInfo info;
    if (c.host.hardwareInfo && c.host.hardwareInfo(info)) {
        c.raw->Header.WandSerialNumber = info.wandSerial;
        c.raw->Header.VideoProcessorRevision = info.processingUnitVersion;
    }
    s.SweepClosed = 1;
    s.FieldSeen = 0;
    s.SweepRecorded = 0;
    s.ScanTooFast = 0;
}

void ScanControl_OnNewFieldReady(ScanControl& c, int32_t fieldNumber) {
    ScanControlState& s = c.state;
    RawData& raw = *c.raw;
    if (fieldNumber == 1) s.RepaintCounter = 0;
    ScanProfileRequest request;
    request.receiverEnabled = c.settings->ReceiverEnabled;
    request.useFrozen = c.host.receiverFrozen && c.host.receiverFrozen();
    Matrix4 frozen;
    if (request.useFrozen && c.host.frozenReceiver) {
        frozen = c.host.frozenReceiver();
        request.frozen = &frozen;
    }
    request.clipAngle = c.settings->Stylus.Mode ? kStylusClipAngle : c.settings->AngleClip;
    ScanFieldReport report;
    const int32_t built = c.host.buildProfile ? c.host.buildProfile(raw.Staging, request, report) : 9;
    if (built == 4) Beep(c, kBeepExclamation);
    if (built != 1) return;

    if (report.scan && !report.stylus && report.mismatch && !s.FormatWarned) {
        s.FormatWarned = 1;
        Call(c.host.warningBox, report.interlace ? "ErrorInterlacedHwRequired" : "ErrorNonInterlacedHwRequired");
        return;
    }
    if (s.CameraLogMode) {
        if (s.SweepClosed) {
            Call(c.host.cameraLogAdd, raw.Staging.WandRxMatrix);
            s.SweepClosed = 0;
            s.SweepRecorded = 1;
        }
        return;
    }
    if (s.BusyState != kScanBusyCapturing || OtherWandsScan(c)) return;
    if (c.host.timerSkip && c.host.timerSkip()) return;
    if (report.stylus) {
        s.ScanClickCount = 0;
        ScanControl_CaptureStylusItem(c, true, raw.Staging.RawReferenceRxMatrix);
        return;
    }
    CopyWandDisplay(c);
    s.FieldSeen = 1;
    if (!RawData_GrowProfiles(raw, 500) || !RawData_GrowSweeps(raw)) {
        Beep(c, kBeepExclamation);
        return;
    }
    if (c.settings->Stylus.Mode) {
        if (report.scan)
            ScanControl_LaserStylus(c);
        else
            raw.Stylus.CaptureMarker = 0;
        report.scan = 0;
    }
    if (!s.PipeCaptureOpen) {
        Pipe(c, kPipeCaptureStart, &raw.Staging.WandRxMatrix, 0, nullptr, &raw.Staging.RawReferenceRxMatrix);
        s.PipeCaptureOpen = 1;
    }
    bool counted = true;
    const int32_t mode = Mode(c);
    switch (mode) {
        case kScanModePreview:
            raw.Draw.Flags |= kDrawFull;  // the camera view shows this field's samples
            break;
        case kScanModeView:
            Call(c.host.setMode, kScanModeScan);
            Call(c.host.postRepaint, 3);
            ScanMode(c, report, counted);
            break;
        case kScanModeScan:
            ScanMode(c, report, counted);
            break;
        case kScanModeCalibration:
        case kScanModeCorrection:
        case kScanModeAccuracy:
            TargetMode(c, mode, report);
            break;
        default:
            break;
    }
    if (counted) {
        if (s.RepaintCounter % 5 == 0) Call(c.host.postRepaint, 2);
        ++s.RepaintCounter;
    }
    if (c.host.showFieldStatus) {
        const bool behind = mode == kScanModeScan && raw.NumProfiles > 0 && c.host.wandBehind && c.host.wandBehind();
        c.host.showFieldStatus(
            ScanControl_FieldStatus(mode, report.scan, raw.Staging, c.settings->ReceiverEnabled, behind));
    }
}

void ScanControl_CloseSweep(ScanControl& c) {
    RawData& raw = *c.raw;
    CorrectNewProfiles(c);
    if (!RawData_GrowSweeps(raw)) {
        Beep(c, kBeepExclamation);
        return;
    }
    ++raw.NumSweeps;
    raw.TotalSweeps = std::max(raw.TotalSweeps + 1, raw.NumSweeps);
    const int32_t s = raw.NumSweeps;
    raw.SweepStartingProfileNo[s] = raw.NumProfiles;
    SweepRecord& next = raw.Sweeps[s];
    if (c.view) next.View = *c.view;
    next.HardwareWord = 0;
    next.HardwareValue = raw.Sweeps[s - 1].HardwareValue;
    raw.SweepStartingProfileNo[s + 1] = 0;
    raw.SweepFirstPoint[s + 1] = 0;
    raw.SweepFirstFacet[s + 1] = 0;
    raw.ProcessedChanged = 1;
    c.state.SweepClosed = 1;
    Notify(c, kWindowCorrection, kMsgCorrectionSweep);
    const int32_t mode = Mode(c);
    if (mode != kScanModeScan && mode != kScanModeView) return;
    ProcessAndSend(c);
    raw.Sweeps[s].HardwareWord = 0;
    Pipe(c, kPipeSweepEnd);
}

void ScanControl_StartNewSweep(ScanControl& c) {
    RawData& raw = *c.raw;
    CorrectNewProfiles(c);
    RawData_DiscardSweepsAfterCurrent(raw);
    const int32_t mode = Mode(c);
    if (mode == kScanModeScan || mode == kScanModeView) Pipe(c, kPipeSweepStart);
}

void ScanControl_EndOfSweep(ScanControl& c) {
    ScanControlState& s = c.state;
    RawData& raw = *c.raw;
    CountClick(c);
    Call(c.host.stopTimerMode);
    Call(c.host.sendRepaint, 2);
    Call(c.host.updateStatus, 0);
    const int32_t mode = Mode(c);
    if (mode == kScanModePreview) {
        CloseCapturePipe(c);
        Notify(c, kWindowProperties, kMsgRefresh);
    } else {
        if (mode == kScanModeView) {
            Call(c.host.setMode, kScanModeScan);
            Call(c.host.postRepaint, 3);
        }
        Call(c.host.sendRepaint, 0);
        Call(c.host.resetDerivedState);
        if (!RawData_GrowProfiles(raw, 3000) || !RawData_GrowSweeps(raw)) Beep(c, kBeepExclamation);
        if (raw.SweepStartingProfileNo && OpenSweepHasProfiles(raw)) ScanControl_CloseSweep(c);
        if (Mode(c) == kScanModeCorrection) DropShortCorrectionSweep(c);
        StampHeader(c);
        CloseCapturePipe(c);
        Call(c.host.refreshUi);
        Notify(c, kWindowTool, kMsgRefresh);
        Call(c.host.refreshSweepList);
        Notify(c, kWindowAccuracy, kMsgSweepEnded);
        Notify(c, kWindowProperties, kMsgRefresh);
    }
    if (s.ScanTooFast) {
        Beep(c, kBeepExclamation);
        Call(c.host.warningBox, "ErrorScanTooFast");
    }
    if (!(c.host.windowOpen && c.host.windowOpen(kWindowProperties))) Call(c.host.reportAcquisitionFaults);
}

void ScanControl_CaptureStylusItem(ScanControl& c, bool newItem, const Matrix4& pose) {
    RawData& raw = *c.raw;
    const StylusSettings& stylus = c.settings->Stylus;
    const bool start = raw.Stylus.CaptureMarker == 0;
    if (!start) {
        if (stylus.CaptureMode != 1 || raw.Stylus.VisibleCount <= 0) return;
        const Matrix4& last = raw.Stylus.Items[raw.Stylus.VisibleCount - 1].Pose;
        const Vec3 a{last[12], last[13], last[14]};
        const Vec3 b{pose[12], pose[13], pose[14]};
        if (V3_Distance(a, b) < stylus.MinLineSegment) return;
    } else {
        if (c.settings->StylusPointBeep) Beep(c, kBeepPlain);
        if (c.settings->StylusPointAutoView && newItem) Call(c.host.stylusView, pose);
    }
    AppendStylusItem(c, pose, start);
}

bool ScanControl_LaserStylus(ScanControl& c) {
    RawData& raw = *c.raw;
    const Profile& staging = raw.Staging;
    if (staging.NumPoints < 1 || !staging.Points) return false;
    Vec3 low, high, centre;
    V3_BoundingBox(staging.Points, staging.NumPoints, &low, &high, &centre, nullptr);
    if (high.x - low.x >= kLaserStylusBox || high.y - low.y >= kLaserStylusBox || high.z - low.z >= kLaserStylusBox)
        return false;
    Matrix4 pose = staging.WandRxMatrix;
    if (c.settings->ReceiverEnabled) {
        Matrix4 inverse;
        M4_InvertRigid(staging.ReferenceRxMatrix, inverse);
        M4_Multiply(inverse, staging.WandRxMatrix, pose);
    }
    // The spot must lie within range of the wand, as range clipping keeps it.
    const Vec3 wand{pose[12], pose[13], pose[14]};
    const float range = c.settings->RangeClip;
    if (V3_DistanceSquared(centre, wand) > range * range) return false;
    pose[12] = centre.x;
    pose[13] = centre.y;
    pose[14] = centre.z;
    c.state.ScanClickCount = 0;
    ScanControl_CaptureStylusItem(c, true, pose);
    return true;
}

void ScanControl_ResetScan(ScanControl& c) {
    c.state.AutoViewDone = 0;
    c.state.CreatorStamped = 0;
}
