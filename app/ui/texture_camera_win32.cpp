// The texture camera window: the recording switch of the camera position
// log, its count, and Clear and Save.
#include "app/base/app_messages.h"
#include "app/ui/app_state.h"
#include "app/ui/camera_log.h"
#include "app/ui/dialogs_win32.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tool_dialogs_win32.h"

#include <commdlg.h>

#include <cstdio>
#include <string>

namespace {

class TextureCameraBox : public Dialog {
  public:
    int GetTemplateId() const override { return kTextureCameraTemplate; }
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM) override {
        switch (message) {
            case WM_INITDIALOG:
            case kMsgPanelRefresh:
                Show();
                return TRUE;
            case WM_CLOSE:
                Finish();
                return TRUE;
            case WM_COMMAND:
                switch (LOWORD(wParam)) {
                    case kTextureCameraMode:
                        App().cameraCapture = IsDlgButtonChecked(Window(), kTextureCameraMode) == BST_CHECKED;
                        return TRUE;
                    case kTextureCameraClear:
                        CameraLog_Clear();
                        Show();
                        return TRUE;
                    case kTextureCameraSave:
                        CameraLog_Save(Window());
                        return TRUE;
                    case IDCANCEL:
                        Finish();
                        return TRUE;
                }
                return FALSE;
        }
        return FALSE;
    }

  private:
    void Show() {
        char count[32];
        std::snprintf(count, sizeof count, "%d", CameraLog_Count());
        SetDlgItemTextA(Window(), kTextureCameraCount, count);
        CheckDlgButton(Window(), kTextureCameraMode, App().cameraCapture ? BST_CHECKED : BST_UNCHECKED);
    }
    void Finish() {
        App().cameraCapture = false;
        CameraLog_SetListener(nullptr);
        Shell().modeless[kSlotTextureCamera] = nullptr;
        Close();
    }
};

TextureCameraBox& Box() {
    static TextureCameraBox box;
    return box;
}

// The file to write, asked until the dialog answers or is cancelled; false
// on cancel.
bool AskFileName(HWND owner, std::string& path) {
    for (;;) {
        char file[MAX_PATH] = "";
        OPENFILENAMEA ofn = {};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = owner;
        ofn.lpstrFilter = "All Files\0*.*\0";
        ofn.lpstrFile = file;
        ofn.nMaxFile = sizeof file;
        ofn.lpstrTitle = "Save Camera Positions";
        ofn.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT;
        if (GetSaveFileNameA(&ofn)) {
            path = file;
            return true;
        }
        if (CommDlgExtendedError() == 0) return false;
        App_ErrorBox("Error getting filename");
    }
}

}  // namespace

HWND TextureCamera_Show(HWND owner) {
    HWND& slot = Shell().modeless[kSlotTextureCamera];
    if (!slot || !IsWindow(slot)) slot = Box().CreateModeless(owner);
    if (!slot) return nullptr;
    CameraLog_SetListener([] { Box().Refresh(); });
    ShowWindow(slot, SW_SHOW);
    return slot;
}

void CameraLog_Save(HWND owner) {
    std::string path;
    if (!AskFileName(owner, path)) return;
    App_ShowWaitStatus("Writing file");
    std::string error;
    const CameraLogWrite written = CameraLog_WriteFile(path, error);
    if (written == CameraLogWrite::OpenFailed) {
        char text[1024];
        std::snprintf(text, sizeof text, "Open failed, %s: %s", path.c_str(), error.c_str());
        App_ErrorBox(text);
    } else if (written == CameraLogWrite::WriteFailed) {
        App_ErrorBoxOfKey("ErrorFileWriteGeneric");
    }
    App_ShowWaitStatus(nullptr);
}
