// The main window's creation, start-up and close, and the handlers of its
// private messages; called by the main window procedure.
#pragma once

#include <windows.h>

// The application reset with the process's command line, program folder and
// current folder.
void App_InitState();

bool MainWnd_OnCreate(HWND window, const CREATESTRUCTA* create);
void MainWnd_OnStartup(HWND window);
void MainWnd_OnClose(HWND window);

void App_OnHardwareMessage(HWND window, UINT message, LPARAM lParam);
void App_OnTriggerClickTimer(HWND window);
