// The rules of the Scanner Limits Control dialog: the profile smoothing list
// and the limits' numbers, kept apart from the dialog's window.
#pragma once

#include <cstdint>

// The list's entries, in their order; Off only when the hardware offers it.
enum ProfileSmoothing : int32_t {
    kSmoothingHigh = 0,
    kSmoothingMedium = 1,
    kSmoothingLow = 2,
    kSmoothingOff = 3,
};

// The entry shown for a stored filter length: 0 Off, 1 to 3 Low, 4 or 5
// Medium, anything else High.
int32_t ProfileSmoothing_FromLength(int32_t length);
// The filter length an entry stores: 7, 5, 3 or 0; -1 for no entry.
int32_t ProfileSmoothing_Length(int32_t entry);
// True when the text holds exactly one number (blanks around it allowed).
bool ScannerLimits_ParseNumber(const char* text, float& value);

// The program-wide hardware option that offers "Off" in the list: set by the
// scanner's acquisition when the unit allows unsmoothed profiles (off until then).
void ScannerLimits_SetOffOffered(bool offered);
bool ScannerLimits_OffOffered();
