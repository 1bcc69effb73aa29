// Pairing of the stylus markers digitised on the two pieces of a cut cast,
// and the rigid transform that moves piece 2's markers onto piece 1's.
//
// Two methods: the asymmetric matching pairs markers by their distance
// profiles and accepts lists of different lengths; the symmetric matching
// tries every assignment between two lists of equal length (n! of them, so it
// is meant for the handful of markers a user digitises).
//
// Both leave the two error outputs as the caller set them (-1) when no
// transform was fitted; the caller reads a mean error still below 0 as "no
// alignment". The transform comes back as the identity in that case.
#pragma once

#include <cstdint>

#include "app/scan/geometry.h"

// Below this sum of squared distances (mm²) from their least-squares line, a
// list's matched markers are too close to a line to fix a rotation.
constexpr double kCastMatchMinSpread = 500.0;
// The profile tolerance is this fraction of the larger greatest distance.
constexpr float kCastMatchProfileTolerance = 0.04f;
// The symmetric matching's pruning lets a list-2 marker lie this much (mm)
// farther from its centroid than its list-1 partner before it costs anything.
constexpr double kCastMatchRadiusSlack = 10.0;

// The smallest sum a₀ + b₀ over k elements paired within the tolerance from
// two ascending profiles (each pair's elements within tolerance, pairs in
// order); -1 when no such k pairs exist. 0 when k is 0.
float CastInv_ProfileScore(const float* a, const float* b, int32_t n, int32_t m, int32_t k, float tolerance);

// Asymmetric matching of list 2 (m markers) onto list 1 (n markers). The
// match count receives the number of pairs found. Returns 1 on success, also
// when fewer than 4 pairs were found or the markers were too close to a line
// for a transform; 0 when memory ran out.
int32_t CastInv_MatchSingle(const Vec3* list1, const Vec3* list2, int32_t n, int32_t m, Matrix4& transform,
                            int32_t& matchCount, float& greatestError, float& meanError);

// Symmetric matching: the assignment of list 2 to list 1 with the smallest
// sum of squared residuals. Returns 0 when n differs from m or memory ran out
// (outputs untouched), else 1; when no assignment could be fitted at all the
// match count is 0 and the errors stay as given.
int32_t CastInv_MatchPair(const Vec3* list1, const Vec3* list2, int32_t n, int32_t m, Matrix4& transform,
                          int32_t& matchCount, float& greatestError, float& meanError);
