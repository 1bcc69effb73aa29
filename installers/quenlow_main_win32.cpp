// Quenlow.exe: windowless; the setup package passes its window handle and
// reads the exit code. Built 32-bit: it must run on the 32-bit Windows 2000
// and XP whose version it checks.
#include "installers/quenlow.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) { return Quenlow_Run(RealSystemCalls(), commandLine); }
