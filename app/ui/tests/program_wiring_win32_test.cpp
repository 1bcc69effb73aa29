// The program's own start-up wiring: after the connection the program makes
// before its window, scan control and the scan document find every hook they
// call filled, and the hooks reach the program's parts.
#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/calibration_state.h"
#include "app/acquisition/scan_control.h"
#include "app/files/container_metadata.h"
#include "app/ui/app_state.h"
#include "app/ui/commands_win32.h"
#include "app/ui/program_wiring_win32.h"
#include "app/ui/scan_control_link.h"
#include "app/ui/scan_document.h"
#include "app/ui/tests/shell_fixture_win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using Hook = std::pair<const char*, bool>;

#define HOOK(owner, name) Hook(#name, static_cast<bool>((owner).name))

// Every hook of the host, so that a hook added to it joins this list (the
// size check below fails otherwise).
std::vector<Hook> ScanControlHooks(const ScanControlHost& h) {
    return {HOOK(h, buildProfile),
            HOOK(h, hardwareInfo),
            HOOK(h, cameraCount),
            HOOK(h, mode),
            HOOK(h, setMode),
            HOOK(h, receiverFrozen),
            HOOK(h, frozenReceiver),
            HOOK(h, acceptPartialCameras),
            HOOK(h, accuracyTargetOption),
            HOOK(h, beep),
            HOOK(h, warningBox),
            HOOK(h, errorBox),
            HOOK(h, pipe),
            HOOK(h, postRepaint),
            HOOK(h, sendRepaint),
            HOOK(h, notify),
            HOOK(h, windowOpen),
            HOOK(h, updateStatus),
            HOOK(h, showFieldStatus),
            HOOK(h, wandBehind),
            HOOK(h, refreshUi),
            HOOK(h, refreshSweepList),
            HOOK(h, resetDerivedState),
            HOOK(h, reportAcquisitionFaults),
            HOOK(h, timerSkip),
            HOOK(h, stopTimerMode),
            HOOK(h, killClickTimer),
            HOOK(h, startClickTimer),
            HOOK(h, autoViewpoint),
            HOOK(h, stylusView),
            HOOK(h, cameraLogAdd),
            HOOK(h, applyRefraction),
            HOOK(h, refractionOn),
            HOOK(h, copyCorrections),
            HOOK(h, formatCreator),
            HOOK(h, nowSeconds),
            HOOK(h, allocate)};
}
constexpr std::size_t kScanControlHooks = 37;
static_assert(sizeof(ScanControlHost) == kScanControlHooks * sizeof(std::function<void()>),
              "a hook of scan control is missing from the list");

std::vector<Hook> DocumentHooks(const ScanDocServices& s) {
    return {HOOK(s, ask),
            HOOK(s, saveAsDialog),
            HOOK(s, exportSurface),
            HOOK(s, freeSurfaceLibraryData),
            HOOK(s, resetFieldHandler),
            HOOK(s, rebuildPanels),
            HOOK(s, waitStatus),
            HOOK(s, applyReceiverOption),
            HOOK(s, trimHeap),
            HOOK(s, fitSeam)};
}
constexpr std::size_t kDocumentHooks = 10;
static_assert(sizeof(ScanDocServices) == (kDocumentHooks - 1) * sizeof(std::function<void()>) + sizeof(void*),
              "a service of the scan document is missing from the list");

#undef HOOK

// Hooks the program leaves empty on purpose: the copies' allocator is a
// seam for tests (the C heap serves when it is empty); this program's menus
// have no partial-camera switch, so calibration captures need every camera;
// and the acquisition statistics count no tracker that stopped answering
// and no unplugged receiver for the end of a capture to report.
bool LeftEmptyOnPurpose(const std::string& name) {
    return name == "allocate" || name == "acceptPartialCameras" || name == "reportAcquisitionFaults";
}

// The program as it starts: its parts connected, then its window made (with
// the scanner switched off).
class ProgramWiring : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        DeleteSettingsKeys();
        SetDword(HKEY_LOCAL_MACHINE, kSettingsGeneralKey, "ScannerEnabled", 0);
        Program_ConnectShell();
        window_ = App_CreateMainWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
        PumpShellMessages(3, 5);
    }
    static void TearDownTestSuite() { CloseShellWindow(window_); }
    void SetUp() override { ASSERT_NE(window_, nullptr); }
    static HWND window_;
};

HWND ProgramWiring::window_ = nullptr;

TEST_F(ProgramWiring, EveryHookOfScanControlAndTheDocumentIsFilled) {
    const std::vector<Hook> control = ScanControlHooks(ScanControl_Program().host);
    ASSERT_EQ(control.size(), kScanControlHooks);
    for (const Hook& hook : control)
        if (!LeftEmptyOnPurpose(hook.first)) EXPECT_TRUE(hook.second) << "scan control hook " << hook.first;
    const std::vector<Hook> document = DocumentHooks(ScanDoc_Services());
    ASSERT_EQ(document.size(), kDocumentHooks);
    for (const Hook& hook : document) EXPECT_TRUE(hook.second) << "document service " << hook.first;
}

TEST_F(ProgramWiring, TheFirstKeptProfileGivesANewScanItsHistoryAndTheCalibrationsCorrections) {
    ScanControlHost& host = ScanControl_Program().host;
    ASSERT_TRUE(host.formatCreator && host.copyCorrections);
    RawData& raw = *App().raw;
    ScanDoc_FreeMetadata();
    host.formatCreator(raw, "New Scan");
    ASSERT_NE(App().documentMetadata, nullptr);
    EXPECT_EQ(App().documentMetadata->create.program_text.value_or(""), "New Scan");
    EXPECT_EQ(App().documentMetadata->create.program.value_or(""), "Tolvaran 4.0.7");
    // A loaded scan goes on with the history it came with.
    ScanDoc_AppendEditEntry("Loaded from C:\\scan.tvn");
    host.formatCreator(raw, "New Scan");
    ASSERT_EQ(App().documentMetadata->edits.size(), 1u);

    LutTweak tweak{};
    tweak.lineTweak[1] = 0.25f;
    std::strcpy(tweak.date, "Fri Dec 11 10:00:00 2026");
    LutTweaks_Push(tweak);
    host.copyCorrections(raw);
    EXPECT_EQ(raw.Header.Corrections.Valid[0], 1);
    EXPECT_EQ(raw.Header.Corrections.LineTweak[0][1], 0.25f);
    EXPECT_STREQ(raw.Header.Corrections.Date[0], tweak.date);
    LutTweaks_Pop();
    ScanDoc_FreeMetadata();
}

TEST_F(ProgramWiring, NewReArmsScanControlsOneShotSteps) {
    ScanControl& control = ScanControl_Program();
    control.state.AutoViewDone = 1;
    control.state.CreatorStamped = 1;
    EXPECT_EQ(MainWnd_OnCommand(40052), 1);
    PumpShellMessages(2, 5);
    EXPECT_EQ(control.state.AutoViewDone, 0);
    EXPECT_EQ(control.state.CreatorStamped, 0);
}

TEST_F(ProgramWiring, ALoadedScansReferenceModeReachesTheAcquisitionLayer) {
    const ScanDocServices& services = ScanDoc_Services();
    ASSERT_TRUE(services.applyReceiverOption);
    for (bool receiver : {false, true, false}) {
        services.applyReceiverOption(receiver);
        EXPECT_EQ(GetWandReferenceOption(), receiver ? 1 : 0);
    }
    ResetAcquisitionSettings();
}

}  // namespace
