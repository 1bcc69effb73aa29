// The dialog class family: one object bound to one dialog window through a
// single static dialog procedure, remembering where the user last put the
// window; typed input boxes on it; the save-or-discard question box; and the
// small dialog that accompanies marking stylus points with the mouse.
#pragma once

#include "app/scan/stylus_items.h"
#include "app/ui/input_handlers.h"
#include "app/ui/ui_utilities_win32.h"

#include <windows.h>

#include <functional>
#include <string>

class Dialog {
  public:
    Dialog();
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    virtual int GetTemplateId() const = 0;
    virtual INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    // Runs the dialog modally (nothing when the object has a window already).
    INT_PTR RunModal(HWND parent);
    // Creates the dialog modeless and hidden; null when it has a window already.
    HWND CreateModeless(HWND parent);
    // Ends the modal run with 0 or destroys the modeless window.
    bool Close();
    // Sends the refresh message to the window.
    void Refresh();
    HWND Window() const { return window_; }

    static INT_PTR CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  protected:
    // A message result that the dialog manager passes back (WM_MOUSEACTIVATE and friends).
    INT_PTR SetResult(LRESULT result);
    bool modal_ = false;

  private:
    void RestorePlacement();

    HWND parent_ = nullptr;
    int savedX_ = 0, savedY_ = 0;
    int savedShowState_ = -1;
    RECT savedRect_ = {0, 0, 0, 0};
    bool restoreShowState_ = false;
    bool restoreRect_ = false;
    bool placementRestored_ = false;
    bool restorePosition_ = false;
    WindowLayout* layout_ = nullptr;
    HWND window_ = nullptr;
};

constexpr int kInputBoxTemplate = 425;
constexpr int kInputBoxEdit = 1636;
constexpr int kInputBoxPrompt = 1637;

template <typename T>
class InputBoxDialog : public Dialog {
  public:
    InputBoxDialog(std::string prompt, std::string title, std::string initialText, InputHandler<T>& handler)
        : prompt_(std::move(prompt)),
          title_(std::move(title)),
          initialText_(std::move(initialText)),
          handler_(handler) {}
    int GetTemplateId() const override { return kInputBoxTemplate; }
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual bool ParseInput(const char* text, T& value, std::string& error) {
        return handler_.Parse(text, value, error);
    }
    std::string GetInputText() const;
    bool Accepted() const { return accepted_; }
    const T& Value() const { return value_; }

  private:
    void OnOk();

    std::string prompt_, title_, initialText_;
    InputHandler<T>& handler_;
    T value_{};
    bool accepted_ = false;
};

bool InputBox_RunInt(const char* prompt, const char* title, const char* initialText, InputHandler<int>& handler,
                     int& value);
bool InputBox_RunProfilePoint(const char* prompt, const char* title, const char* initialText,
                              InputHandler<ProfilePoint>& handler, ProfilePoint& value);
// "Goto Profile & Point": moves the point cursor to the typed profile and point.
void GotoInputPoint();

// Template 322: IDYES, IDNO or IDCANCEL.
constexpr int kMessageDlgTemplate = 322;
INT_PTR MessageDlg_Run(const char* caption, const char* text);

namespace kmo::tolvaran {

class MouseAsMarkerDialog : public Dialog {
  public:
    struct Callbacks {
        std::function<void()> close;    // ends mouse marking
        std::function<void()> repaint;  // the posted view repaint
        std::function<void()> refresh;  // the user-interface refresh
    };
    MouseAsMarkerDialog(StylusItemList& list, Callbacks callbacks) : list_(list), callbacks_(std::move(callbacks)) {}
    int GetTemplateId() const override { return 406; }
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void UpdateControls();

  private:
    void AfterChange();

    StylusItemList& list_;
    Callbacks callbacks_;
};

}  // namespace kmo::tolvaran

// The program's one marker dialog: made hidden at start-up, shown while
// marking with the mouse is on, freed at shutdown.
void MarkerDialog_Create(HWND main);
void MarkerDialog_Show(bool show);
void MarkerDialog_Refresh();
void MarkerDialog_Free();
kmo::tolvaran::MouseAsMarkerDialog* MarkerDialog_Get();
