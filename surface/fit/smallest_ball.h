// Smallest enclosing balls of small point sets in one to three dimensions,
// by the move-to-front recursion with pivoting.
//
// A ball is the centre and the squared radius; it carries the number of
// support points (those on its boundary that determine it). The empty ball
// has squared radius -1, so every point lies outside it.
//
// Both forms work relative to the largest absolute coordinate s of the
// points: a point counts as inside during the recursion when its squared
// distance exceeds the squared radius by at most 100 machine epsilons of s,
// and the search ends when none exceeds it by more than 1000 (the pivot
// tolerance); the final squared radius is enlarged by the pivot tolerance.
//
// Core statuses: 0 success, 1 failure (the general form ran out of passes),
// 3 a support set without a ball (the general form), 5 invalid input,
// 11 the three-dimensional form ran out of passes, 16 a support set of three
// points on one line, 23 a missing argument.
#ifndef SURFACE_FIT_SMALLEST_BALL_H
#define SURFACE_FIT_SMALLEST_BALL_H

#include <cstdint>

struct Ball {
    int32_t Support;  // support points used
    double Centre[3];
    double Radius2;  // squared radius; -1 for the empty ball
};

// Working state of one ball computation (shared by the recursion).
struct BallSearch {
    int32_t Dim;
    const double* const* Points;
    int32_t* Indices;
    const double* Support[4];
    double SupportTolerance;
    double PivotTolerance;
    int32_t LastSupport;  // support count of the most recently computed ball
    bool ThreeDim;        // the three-dimensional form's fallbacks
};

// The smallest ball of the n points listed by indices (reordered) in d <= 3
// dimensions; supportCount (may be null) receives the support count.
// scratch is unused room kept for callers that pass one (may be null).
int BallN_Smallest(int32_t d, int32_t n, const double* const* points, int32_t* indices, double* scratch, Ball* ball,
                   int32_t* supportCount);
// The three-dimensional form: at most n - 1 passes (status 11 after them),
// and a support set of four points that spans no ball falls back on the
// ball of the first three.
int Ball_Smallest(int32_t n, const double* const* points, int32_t* indices, Ball* ball, int32_t* supportCount);

// The ball whose boundary passes through k support points (0 to d + 1).
int BallN_FromSupport(int32_t d, int32_t k, const double* const* support, Ball* ball);
int Ball_FromSupport(int32_t k, const double* const* support, Ball* ball);

// The recursion over the first m listed indices with k support points held
// in the search record; ball receives the result.
int BallN_MoveToFront(BallSearch* search, int32_t m, int32_t k, Ball* ball);
int Ball_MoveToFront(BallSearch* search, int32_t m, int32_t k, Ball* ball);

#endif
