// Helpers the tests of the real main window share: a clean settings registry,
// registry values set up front, and a message pump that runs the loop filters.
#pragma once

#include "app/files/settings_registry.h"
#include "app/ui/shell_win32.h"

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
