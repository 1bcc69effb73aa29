// Helpers the tests of the real main window share: a clean settings registry,
// registry values set up front, and a message pump that runs the loop filters.
#pragma once

#include "app/base/app_messages.h"
#include "app/files/settings_registry.h"
#include "app/ui/menus_win32.h"
#include "app/ui/scanner_link.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/view_window_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

inline void DeleteSettingsKeys() {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        RegDeleteKeyA(root, kSettingsGeneralKey);
        RegDeleteKeyA(root, kSettingsViewKey);
        RegDeleteKeyA(root, "Software\\Tolvaran");
    }
}

inline void SetDword(HKEY root, const char* path, const char* name, DWORD value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    RegCloseKey(key);
}

// Dispatches what is queued, a few rounds with a pause between them so posted
// follow-up messages are handled too.
inline void PumpShellMessages(int rounds, DWORD pauseMs) {
    MSG message;
    for (int round = 0; round < rounds; ++round) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) continue;
            if (App_FilterLoopMessage(message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        Sleep(pauseMs);
    }
}

// The program window with its view and command dispatch, the scanner
// switched off and no scanner link; null when it was not made.
// presets, when given, writes further settings before the program reads them.
inline HWND OpenShellWindow(void (*presets)(DWORD) = nullptr, DWORD presetValue = 0) {
    DeleteSettingsKeys();
    SetDword(HKEY_LOCAL_MACHINE, kSettingsGeneralKey, "ScannerEnabled", 0);
    if (presets) presets(presetValue);
    ScannerLink_Install(ScannerLink());
    View_ConnectShell();
    Commands_ConnectShell();
    HWND window = App_CreateMainWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
    PumpShellMessages(3, 5);
    return window;
}

// The program window of OpenShellWindow whose view shows a plain background of
// one colour and no bounding box, at a given size, for reading the view back.
inline HWND OpenPlainViewWindow(DWORD background, int width, int height) {
    HWND window = OpenShellWindow([](DWORD colour) {
        SetDword(HKEY_LOCAL_MACHINE, kSettingsGeneralKey, "BackgroundColour", colour);
        SetDword(HKEY_LOCAL_MACHINE, kSettingsGeneralKey, "UseGradedBackground", 0);
        SetDword(HKEY_LOCAL_MACHINE, kSettingsGeneralKey, "ViewBBox", 0);
    }, background);
    if (window) {
        MoveWindow(window, 0, 0, width, height, TRUE);
        PumpShellMessages(3, 5);
    }
    return window;
}

// Closes the program window a suite started and leaves the shell's hooks, the
// message sink and the settings keys as they were before it.
inline void CloseShellWindow(HWND window) {
    if (window && IsWindow(window)) {
        SendMessageA(window, WM_CLOSE, 0, 0);
        PumpShellMessages(3, 5);
    }
    Shell_Win32Hooks() = ShellWin32Hooks();
    Shell_Hooks().postRepaint = nullptr;
    Shell_Hooks().sendRepaint = nullptr;
    App_SetMessageSink(nullptr);
    DeleteSettingsKeys();
}
