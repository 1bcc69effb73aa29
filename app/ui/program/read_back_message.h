#pragma once
// What the headless checks send to the view of the program's test build: a
// WM_COPYDATA of this kind carrying a file path, answered by writing the
// picture the view last presented there as PNG (1 written, 0 not). The
// shipped program does not answer it.
#include <windows.h>

constexpr ULONG_PTR kViewReadBackCopyData = 0x56524244;  // "VRBD"
