// In-place permutations of arrays of several item types.
//
// Gather form: new item i = old item perm[i]; perm must be a permutation of
// 0..count-1 (anything else is refused with status 5 before an item moves).
// Each cycle is followed once with one temporary item.
//
// Scatter form: old item i goes to place perm[i]. The chain from each place
// not yet visited starts by clearing that place to zero; each item is
// written to its target and the item found there carried on. A target at or
// beyond the count receives the carried item and ends the chain (the array
// must reach that far); places that no item targets stay zero. A negative
// target is refused with status 5.
//
// A visited-byte array of `count` bytes is the tracked scratch; status 2
// when it cannot be had, else 0.
#ifndef SURFACE_FIT_PERMUTATIONS_H
#define SURFACE_FIT_PERMUTATIONS_H

#include <cstdint>

int Permute_Ints(int32_t* items, const int32_t* perm, int32_t count);
int Permute_Doubles(double* items, const int32_t* perm, int32_t count);
// Items of 16 bytes (a quad of int32 indices, or two doubles) and of 24
// bytes (three doubles).
int Permute_Quads(void* items, const int32_t* perm, int32_t count);
int Permute_Triples(double* items, const int32_t* perm, int32_t count);
// The contents of rows of n doubles of a row-pointer table.
int Permute_Rows(double* const* rows, int32_t n, const int32_t* perm, int32_t count);

int Scatter_Doubles(double* items, const int32_t* perm, int32_t count);
int Scatter_Ints(int32_t* items, const int32_t* perm, int32_t count);
int Scatter_Rows(double* const* rows, int32_t n, const int32_t* perm, int32_t count);
int Scatter_Triples(double* items, const int32_t* perm, int32_t count);
int Scatter_Quads(void* items, const int32_t* perm, int32_t count);

#endif
