#pragma once
// The program's whole run: start-up, the message loop and the end. Returns
// the process exit code.
#include <windows.h>

int Program_Main(HINSTANCE instance, int showCommand);
