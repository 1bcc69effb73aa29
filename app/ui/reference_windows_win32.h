// The modal windows that set the tracker up and change its frame of
// reference while scanning: the hemisphere set-up window, the instruction
// pages (a page that averages one tracker pose over a trigger press, and a
// page that waits for the trigger) and the three two-page sequences built
// from them: freeze receiver, move receiver, move transmitter.
//
// The windows take the field events by claiming an event-target slot (the
// hemisphere window the priority slot, the pages the tool slot) and consume
// every new field themselves while they hold it.
#pragma once

#include "app/scan/raw_data.h"
#include "app/scan/settings_records.h"

#include <windows.h>

#include <cstdint>
#include <functional>

constexpr int kHemisphereTemplate = 303;
constexpr int kInstructionTemplate = 420;
constexpr int kInstructionText = 1483;
constexpr int kKeepDataBox = 1417;

// "Keep Existing Scan": the box's initial state, set after a scan was
// repaired to a new reference and cleared when the window opens; and the
// box's state when the window last closed.
int32_t& Hemisphere_KeepDataDefault();
int32_t Hemisphere_KeepDataAnswer();

// The window of template 303 for the stylus (1) or the wand (0); on cancel
// the automatic setting is stored again so that the next capture asks anew;
// an accepted wand set-up without "Keep Existing Scan" closes the scan.
// Returns the window's result (1 done, 0 cancelled).
INT_PTR RunHemisphereSetup(int32_t receiverEnabled, int32_t isStylus);
// The hardware event's handler: a stylus set up against the receiver is
// offered the transmitter as reference instead.
void OnHemisphereSetupRequired(std::intptr_t isStylus);

// The frozen receiver: while frozen, profiles use the captured matrix as
// their reference pose.
bool ReceiverFrozen();
const Matrix4& FrozenReceiverMatrix();
void ClearFrozenReceiver();

// The sequences of the Scanner menu. Each returns 1 when it ran to its end.
int RunFreezeReceiverWizard();
int RunMoveReceiverWizard(RawData& raw, ViewSettings& view);
int RunMoveTransmitterWizard(RawData& raw, ViewSettings& view);

// Where the windows' new fields go: the profile builder with the receiver
// as reference and a 60 degree cone (results as the builder's). Tests
// install their own source; an empty function restores the builder.
using ReferenceFieldSource = std::function<int32_t(Profile& profile)>;
void ReferenceWindows_SetFieldSource(ReferenceFieldSource source);

// Installs the frozen receiver into the shell's hooks and scan control, and
// the hemisphere handler into the scanner link.
void ReferenceWindows_Install();
