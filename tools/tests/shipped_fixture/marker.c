/* A program that holds a test hook's marker. */
#include <stdio.h>

int main(void) { return puts("TolvaranTestHook.ViewProc") < 0; }
