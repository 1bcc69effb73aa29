// Sarvick.exe: windowless; the setup package passes its window handle and
// reads the exit code.
#include "installers/sarvick.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) { return Sarvick_Run(RealSystemCalls(), commandLine); }
