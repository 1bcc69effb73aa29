// Permutations carried out as swap sequences.
//
// A swap sequence s of length k means: swap item i with item s(i), for
// i = 0..k-1 in this order. Its inverse applies the same swaps from
// i = k-1 down to 0.
#ifndef SURFACE_FIT_SWAP_SEQUENCE_H
#define SURFACE_FIT_SWAP_SEQUENCE_H

#include <cstdint>

// Items are the contents (n doubles) of the rows of a row-pointer matrix.
void Permute_Gather(int32_t k, int32_t n, double* const* rows, const int32_t* s);
void Permute_GatherUndo(int32_t k, int32_t n, double* const* rows, const int32_t* s);
void Permute_SwapDoubles(int32_t k, double* x, const int32_t* s);
void Permute_SwapDoublesUndo(int32_t k, double* x, const int32_t* s);
void Permute_SwapSequence(int32_t k, int32_t* x, const int32_t* s);
void Permute_SwapSequenceUndo(int32_t k, int32_t* x, const int32_t* s);

// Working arrays of Permute_BuildSwaps, 2k entries each.
struct SwapBuild {
    int32_t* swaps;  // entries 0..k-1: the swap sequence; from k on: the places of the extension
    int32_t* items;  // the item at each place (places 0..k-1, then the extension)
};

// Builds the swap sequence that brings the k distinct items targets(0..k-1)
// to places 0..k-1 in that order. Both arrays start as the identity 0..k-1;
// every target not below k is appended to an extension list, so that its
// place can be followed. Returns k plus the length of the extension list.
int32_t Permute_BuildSwaps(int32_t k, SwapBuild* record, const int32_t* targets);

#endif
