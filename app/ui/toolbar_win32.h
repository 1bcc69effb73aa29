// The main window's toolbar: the large labelled design (art in three sizes)
// or the small one, its buttons mirroring the menu items, the Export As
// drop-down, the right-click style menu, the gradient background and the
// buttons' tooltips.
#pragma once

#include "app/scan/settings_records.h"

#include <windows.h>

constexpr int kToolbarId = 2;

// Creates the toolbar of the design the settings choose as the main
// window's child, lays the window out and starts the tooltips. 1, or 0 when
// the toolbar could not be made.
int CreateMainToolbars(HWND main, GeneralSettings& settings);
// Destroys the toolbar; 0 when there is none.
int DestroyMainToolbar();
// The toolbar's notifications; 1 when handled.
int Toolbar_OnNotify(HWND main, NMHDR* header, LRESULT& result);
// Every button in line with its menu item.
void SyncToolbarButtons();
// Destroys and creates the toolbar again after its settings changed; a
// failure leaves the window without one.
void Toolbar_Rebuild();
// The dialogs' font: "Microsoft Sans Serif" on Windows XP and later, else
// "MS Sans Serif".
void GetDialogFontName(char (&name)[32]);
// The toolbar on the shell's hooks.
void Toolbars_ConnectShell();
