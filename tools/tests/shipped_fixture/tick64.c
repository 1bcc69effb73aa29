/* A program that imports GetTickCount64, which first comes with Vista. */
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <windows.h>

int main(void) { return (int)(GetTickCount64() & 1); }
