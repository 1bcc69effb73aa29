#include "app/ui/dialogs_win32.h"

#include "app/locale/locale_dialog_win32.h"
#include "app/scan/raw_data.h"
#include "app/base/app_messages.h"
#include "app/ui/app_state.h"
#include "app/ui/brand_info.h"
#include "app/ui/shell_win32.h"

#include <cstring>
#include <memory>
#include <string>

// ---- Dialog ---------------------------------------------------------------------

Dialog::Dialog() = default;

Dialog::~Dialog() {
    if (!window_) return;
    // The window must no longer reach this object.
    SetWindowLongPtrA(window_, DWLP_USER, 0);
    window_ = nullptr;
    AppMessage message;
    message.kind = MessageKind::Warning;
    message.title = "Dialog Error";
    message.text = "Error: The object associated with a visible dialog was destroyed.";
    App_ShowMessage(message);
}

INT_PTR Dialog::RunModal(HWND parent) {
    if (window_) return 0;
    placementRestored_ = false;
    modal_ = true;
    parent_ = parent;
    return DialogBoxParamA(Shell().instance, MAKEINTRESOURCEA(GetTemplateId()), parent, StaticProc,
                           reinterpret_cast<LPARAM>(this));
}

HWND Dialog::CreateModeless(HWND parent) {
    if (window_) return nullptr;
    placementRestored_ = false;
    modal_ = false;
    parent_ = parent;
    return CreateDialogParamA(Shell().instance, MAKEINTRESOURCEA(GetTemplateId()), parent, StaticProc,
                              reinterpret_cast<LPARAM>(this));
}

bool Dialog::Close() {
    if (window_) {
        HWND window = window_;
        window_ = nullptr;
        if (modal_)
            EndDialog(window, 0);
        else
            DestroyWindow(window);
    }
    restoreRect_ = false;
    restoreShowState_ = false;
    return true;
}

void Dialog::Refresh() {
    if (window_) SendMessageA(window_, kMsgPanelRefresh, 0, 0);
}

INT_PTR Dialog::SetResult(LRESULT result) {
    if (window_) SetWindowLongPtrA(window_, DWLP_MSGRESULT, result);
    return TRUE;
}

void Dialog::RestorePlacement() {
    if (placementRestored_) return;
    if (restoreShowState_) {
        WINDOWPLACEMENT placement = {};
        placement.length = sizeof placement;
        GetWindowPlacement(window_, &placement);
        placement.showCmd = static_cast<UINT>(savedShowState_);
        SetWindowPlacement(window_, &placement);
    }
    if (restoreRect_)
        MoveWindow(window_, savedRect_.left, savedRect_.top, savedRect_.right - savedRect_.left,
                   savedRect_.bottom - savedRect_.top, FALSE);
    if (restorePosition_) SetWindowPos(window_, nullptr, savedX_, savedY_, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    placementRestored_ = true;
}

INT_PTR CALLBACK Dialog::StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(window, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            self = reinterpret_cast<Dialog*>(lParam);
            SetWindowLongPtrA(window, DWLP_USER, lParam);
            self->window_ = window;
            self->layout_ = Wnd_CreateLayout(window);
            break;
        case WM_SIZE:
            if (self) Wnd_LayoutChildren(self->layout_);
            break;
        case WM_DESTROY:
            if (self) {
                Wnd_FreeLayout(self->layout_);
                self->layout_ = nullptr;
            }
            break;
        case WM_MOVE:
            if (self && self->window_) {
                RECT r;
                GetWindowRect(window, &r);
                self->savedX_ = r.left;
                self->savedY_ = r.top;
                self->restorePosition_ = true;
            }
            break;
    }
    if (!self) return 0;
    const INT_PTR result = self->HandleMessage(message, wParam, lParam);
    if (message == WM_INITDIALOG && self->window_) self->RestorePlacement();
    // A modeless window that went away unasked leaves the object free for the next run.
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, DWLP_USER, 0);
        if (self->window_ == window) self->window_ = nullptr;
    }
    return result;
}

// ---- Input boxes ----------------------------------------------------------------

template <typename T>
std::string InputBoxDialog<T>::GetInputText() const {
    HWND edit = GetDlgItem(Window(), kInputBoxEdit);
    const int length = GetWindowTextLengthA(edit);
    std::string text(length + 1, '\0');
    GetWindowTextA(edit, text.data(), length + 1);
    text.resize(std::strlen(text.c_str()));
    return text;
}

template <typename T>
void InputBoxDialog<T>::OnOk() {
    const std::string text = GetInputText();
    std::string error;
    if (ParseInput(text.c_str(), value_, error) && handler_.Validate(value_, error) && handler_.Apply(value_, error)) {
        accepted_ = true;
        Close();
        return;
    }
    App_ErrorBox(error);
}

template <typename T>
INT_PTR InputBoxDialog<T>::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            accepted_ = false;
            SetDlgItemTextA(Window(), kInputBoxPrompt, prompt_.c_str());
            SetDlgItemTextA(Window(), kInputBoxEdit, initialText_.c_str());
            SetWindowTextA(Window(), title_.c_str());
            return TRUE;
        case WM_CLOSE:
            Close();
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                Close();
                return TRUE;
            }
            if (LOWORD(wParam) == IDOK) {
                OnOk();
                return TRUE;
            }
            break;
    }
    return 0;
}

template class InputBoxDialog<int>;
template class InputBoxDialog<ProfilePoint>;

namespace {

template <typename T>
bool RunInputBox(const char* prompt, const char* title, const char* initialText, InputHandler<T>& handler, T& value) {
    InputBoxDialog<T> box(prompt, title, initialText ? initialText : "", handler);
    box.RunModal(Shell().main);
    if (box.Accepted()) value = box.Value();
    return box.Accepted();
}

}  // namespace

bool InputBox_RunInt(const char* prompt, const char* title, const char* initialText, InputHandler<int>& handler,
                     int& value) {
    return RunInputBox(prompt, title, initialText, handler, value);
}

bool InputBox_RunProfilePoint(const char* prompt, const char* title, const char* initialText,
                              InputHandler<ProfilePoint>& handler, ProfilePoint& value) {
    return RunInputBox(prompt, title, initialText, handler, value);
}

void GotoInputPoint() {
    RawData* raw = App().raw;
    if (!raw) return;
    ProfilePointInputHandler handler(*raw);
    ProfilePoint point;
    InputBox_RunProfilePoint("Profile:Point", "Goto Profile & Point", "", handler, point);
}

// ---- The question box -------------------------------------------------------------

namespace {

constexpr int kMessageDlgText = 1280;
constexpr int kMessageDlgIcon = 1281;

struct MessageDlgTexts {
    const char* caption;
    const char* text;
};

INT_PTR CALLBACK MessageDlg_Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        const MessageDlgTexts* texts = reinterpret_cast<const MessageDlgTexts*>(lParam);
        Locale_LocaliseDialog(window, kMessageDlgTemplate);
        SetWindowTextA(window, texts->caption);
        SetDlgItemTextA(window, kMessageDlgText, texts->text);
        SendDlgItemMessageA(window, kMessageDlgIcon, STM_SETICON,
                            reinterpret_cast<WPARAM>(LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_QUESTION))), 0);
        return TRUE;
    }
    if (message == WM_COMMAND) {
        switch (LOWORD(wParam)) {
            case IDYES:
                EndDialog(window, IDYES);
                return TRUE;
            case IDNO:
                EndDialog(window, IDNO);
                return TRUE;
            case IDCANCEL:
            case IDCLOSE:
                EndDialog(window, IDCANCEL);
                return TRUE;
        }
    }
    return FALSE;
}

}  // namespace

INT_PTR MessageDlg_Run(const char* caption, const char* text) {
    MessageDlgTexts texts = {caption, text};
    return DialogBoxParamA(Shell().instance, MAKEINTRESOURCEA(kMessageDlgTemplate), Shell().main, MessageDlg_Proc,
                           reinterpret_cast<LPARAM>(&texts));
}

// ---- The marker dialog ------------------------------------------------------------

namespace kmo::tolvaran {

namespace {

constexpr int kMarkerUndo = 4;
constexpr int kMarkerClear = 1514;
constexpr int kMarkerCount = 1515;

}  // namespace

void MouseAsMarkerDialog::UpdateControls() {
    HWND window = Window();
    if (!window) return;
    const int32_t groups = StylusItems_GroupCount(list_);
    EnableWindow(GetDlgItem(window, kMarkerUndo), groups > 0);
    EnableWindow(GetDlgItem(window, kMarkerClear), groups > 0);
    SetDlgItemTextA(window, kMarkerCount, std::to_string(groups).c_str());
}

void MouseAsMarkerDialog::AfterChange() {
    Refresh();
    if (callbacks_.repaint) callbacks_.repaint();
    if (callbacks_.refresh) callbacks_.refresh();
}

INT_PTR MouseAsMarkerDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            Refresh();
            return TRUE;
        case WM_MOUSEACTIVATE:
            return SetResult(MA_NOACTIVATE);
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && lParam) SetActiveWindow(reinterpret_cast<HWND>(lParam));
            return TRUE;
        case kMsgPanelRefresh:
            UpdateControls();
            return TRUE;
        case WM_CLOSE:
            if (callbacks_.close) callbacks_.close();
            if (callbacks_.refresh) callbacks_.refresh();
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kMarkerUndo:
                    StylusItems_UndoGroup(list_);
                    AfterChange();
                    return TRUE;
                case kMarkerClear:
                    StylusItems_Reset(list_);
                    AfterChange();
                    return TRUE;
                case IDOK:
                    if (callbacks_.close) callbacks_.close();
                    if (callbacks_.refresh) callbacks_.refresh();
                    return TRUE;
            }
            break;
    }
    return 0;
}

}  // namespace kmo::tolvaran

namespace {

std::unique_ptr<kmo::tolvaran::MouseAsMarkerDialog>& Marker() {
    static std::unique_ptr<kmo::tolvaran::MouseAsMarkerDialog> marker;
    return marker;
}

}  // namespace

void MarkerDialog_Create(HWND main) {
    AppState& app = App();
    if (Marker() || !app.raw) return;
    kmo::tolvaran::MouseAsMarkerDialog::Callbacks callbacks;
    callbacks.close = [] {
        App_LeaveMouseModes();
        MarkerDialog_Show(false);
    };
    callbacks.repaint = [] { App_PostRepaint(3); };
    callbacks.refresh = [] { App_RefreshUi(); };
    Marker() = std::make_unique<kmo::tolvaran::MouseAsMarkerDialog>(app.raw->Stylus, std::move(callbacks));
    HWND window = Marker()->CreateModeless(main);
    Shell().markerDialog = window;
    // It stands at the view's top-left corner, clear of the title bar, the
    // menus and the toolbar.
    POINT corner = {0, 0};
    if (window && Shell().view && ClientToScreen(Shell().view, &corner))
        SetWindowPos(window, nullptr, corner.x, corner.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MarkerDialog_Show(bool show) {
    HWND window = Marker() ? Marker()->Window() : nullptr;
    if (!window) return;
    if (show) Marker()->Refresh();
    ShowWindow(window, show ? SW_SHOWNOACTIVATE : SW_HIDE);
}

void MarkerDialog_Refresh() {
    if (Marker()) Marker()->Refresh();
}

void MarkerDialog_Free() {
    if (!Marker()) return;
    Marker()->Close();
    Marker().reset();
    Shell().markerDialog = nullptr;
}

kmo::tolvaran::MouseAsMarkerDialog* MarkerDialog_Get() { return Marker().get(); }
