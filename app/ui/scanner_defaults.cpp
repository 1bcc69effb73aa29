#include "app/ui/scanner_defaults.h"

#include "app/ui/app_state.h"
#include "app/ui/shell_hooks.h"

void App_ApplyScannerFilterDefaults(GeneralSettings& live, GeneralSettings& defaults, int32_t scannerKind,
                                    bool noReceiver) {
    if (scannerKind == 2) {
        if (live.ProfileFilterLength == 0) live.ProfileFilterLength = 3;
        defaults.ProfileFilterLength = 3;
    }
    if (noReceiver) defaults.ProfileFilterLength = 0;
}

void App_ApplyScannerFilterDefaults() {
    const ShellHooks& hooks = Shell_Hooks();
    AppState& app = App();
    App_ApplyScannerFilterDefaults(app.settings, app.settingsDefaults,
                                   hooks.calibrationScannerKind ? hooks.calibrationScannerKind() : 0,
                                   hooks.calibrationNoReceiver && hooks.calibrationNoReceiver());
}
