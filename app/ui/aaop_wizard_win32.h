// The AAOP Export Wizard: a modeless dialog with its own message loop that
// leads the user page by page from the RBF surface to an orthotics slice
// file, with a live 3D view, draggable limit markers and a worker thread
// behind a "Processing" box for the slicing.
#pragma once

#include <windows.h>

#include "app/export/ortho_model.h"

struct SurfaceRecord;
struct ViewSettings;
struct GeneralSettings;
struct StylusItemList;

// Opens the wizard on the surface and runs it until its window closes; the
// caller's stylus items are restored as they were when it opened. Returns 1
// when a file was exported.
int AaopWizard_Run(SurfaceRecord& surface, const ViewSettings& view, GeneralSettings& settings, StylusItemList& items);

// The wizard on the RBF surface, shown first when it is not, or the message
// that one is needed (command 40171, and the Tarrel edition's 40189).
void AaopWizard_OpenOnRbf();
// Command 40171; true when the id was this command.
bool AaopWizard_Command(WORD id);

// Runs one slicing job behind the modal "Processing" box: 1 when the slices
// were computed.
int Ortho_Run(HWND owner, const SurfaceRecord& surface, const StylusItemList* items, const OrthoSliceSetup& setup,
              OrthoModel& model);
// The slicing's progress function: false after Abort.
bool Ortho_Progress(float fraction, OrthoJob& job);

// The branding texts and the user name of the orthotics files, and the dump's
// error box.
void AaopWizard_InstallHooks();

// Test seam: called on the slicing worker's thread with the "Processing"
// box at each progress report, before the box's answer is read.
void AaopWizard_SetProgressObserver(void (*observer)(HWND box, float fraction));

// The open wizard's windows (null when it is not open), for tests and probes.
HWND AaopWizard_Window();
HWND AaopWizard_View();
