// The program's entry point.
#include "program_main.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    return Program_Main(instance, showCommand);
}
