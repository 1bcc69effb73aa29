// The extents of a set of points as the views draw them: the box of the
// points carried into a frame, given as its eight corners carried back.
#pragma once

#include "app/scan/geometry.h"

class FrameExtents {
public:
    explicit FrameExtents(const Matrix4& frame) : frame_(frame) {}

    void Add(const Vec3& point);

    // Corner k lies at the box's maximum in x, y, z for bits 0, 1, 2 of k.
    // All corners are zero when no point was added; returns whether one was.
    bool Corners(Vec3 (&corners)[8]) const;

private:
    Matrix4 frame_;
    Vec3 lo_{0.0f, 0.0f, 0.0f};
    Vec3 hi_{0.0f, 0.0f, 0.0f};
    bool any_ = false;
};
