// The menus of the main window: built from the menu table, their info texts
// for the status bar, the table of dynamic items that lets whole items and
// popups leave the menu and come back at their place, the placeholder
// expansion, the item states and the accelerator table.
#pragma once

#include "app/ui/menu_table.h"

#include <windows.h>

#include <cstdint>

HMENU CreateLocalisedMenuBar();
HMENU CreateLocalisedPopupMenu(const MenuTableRow* rows);
// Appends the row at the cursor (a popup with all its rows) and advances the
// cursor; false at the end of a popup or of the table.
bool BuildMenu(HMENU menu, const MenuTableRow*& cursor);

// The info text of a command (or, with byPosition, of the popup at that
// position of `menu`); an unknown id gives an empty text.
const char* FindCommandText(UINT id, HMENU menu, bool byPosition);

void RegisterMenuTree(HMENU menu);
int CountMenuItems(HMENU menu);
int FindDynamicMenuItem(int32_t id);
HMENU GetDynamicMenuItemPopup(int32_t id);
// 1 when the item left (or came back to) the menu; 0 for an unknown id, an
// item already in that state or a refusal of the platform.
int RemoveDynamicMenuItem(int32_t id, HMENU menu);
int InsertDynamicMenuItem(HMENU menu, int32_t id);
void FreeDynamicMenuTable();

void ExpandMenuTexts(HMENU menu);

// Loads "KORV" (any earlier table is destroyed first) and indexes its ids.
bool Accel_Load(HINSTANCE instance);
HACCEL Accel_Get();
// True when a binding raises the command (false while the copy is incomplete).
bool Accel_HasCommand(int32_t id);
void Accel_Destroy();

// Applies every grey and check rule to the main window's menu bar.
void Menu_UpdateStates();

// The main window's menus at creation: build, register, take out what this
// start does not offer, expand the placeholders.
void Menus_BuildMainMenu(HWND main);
void Menus_ShowFactory(bool show);

// Installs the menus, the command dispatch and the shell's windows as the
// shell's hooks.
void Commands_ConnectShell();
