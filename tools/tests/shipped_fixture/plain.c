/* A program that imports only what Windows 2000 has. */
#include <windows.h>

int main(void) { return (int)(GetTickCount() & 1); }
