// Clean-up of a per-point vector before a fit (per-point accuracies): no
// entry may lie at or below the floor the caller gives.
#ifndef SURFACE_FIT_FIT_VECTORS_H
#define SURFACE_FIT_FIT_VECTORS_H

#include <cstdint>

struct Reporter;

// A null vector: 0. An accuracy above 0 is a floor: entries not above it are
// raised to it, with one warning when any were. An accuracy not above 0
// gives no floor: entries not above 0 are an error, status 7.
int ReplaceBadValues(int32_t N, double* vector, const char* name, double accuracy, Reporter* reporter);

#endif
