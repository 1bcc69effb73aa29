// The file properties dialog (template 339): one read-only text describing
// the open scan document in control 1350, and a Close button.
#pragma once

#include "app/scan/raw_data.h"

#include <windows.h>

constexpr int kFilePropertiesTemplate = 339;
constexpr int kFilePropertiesText = 1350;

INT_PTR CALLBACK FileProperties_DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Localises the template and sets the text for the snapshot `copy`.
void FileProperties_Fill(HWND dialog, const RawData& copy);
// Command 40296: runs the dialog modally, owned by `owner`.
void FileProperties_Run(HWND owner);
