// The program's parts take their places in the shell: every hook and
// service the shell, the scan document and scan control call is filled
// here, once, before the main window is made.
#pragma once

void Program_ConnectShell();
