// The scan document's windows: the open and save-as file dialogs with their
// child templates, the question box behind the save prompt, and the File
// commands that reach the document.
#pragma once

#include <windows.h>

#include <string>

constexpr int kOpenDialogTemplate = 305;
constexpr int kSaveDialogTemplate = 306;
constexpr int kOpenLoadViewBox = 1051;
constexpr int kSaveBasicBox = 1304;
constexpr int kSaveRbfBox = 1305;
constexpr int kSaveAdvancedButton = 1346;

// The open dialog: true with the full path of an existing file in `path`;
// a typed name without extension finds "name.tvn", else "name.krv".
bool ScanDoc_OpenDialog(std::string& path, HWND owner);
// Command Open: the dialog, then the file as the new document.
void ScanDoc_OpenCommand();
// Command Save As: true when saved, false when cancelled. A failed save
// shows the dialog again.
bool ScanDoc_SaveAsDialog();

// The document's commands; false when the id is none of them.
bool ScanDoc_Command(WORD id);

// The question box, the dialogs and the windows' services for the document,
// and the shell's hooks.
void ScanDoc_ConnectShell();
