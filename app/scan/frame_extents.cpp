#include "app/scan/frame_extents.h"

#include <algorithm>

void FrameExtents::Add(const Vec3& point) {
    Vec3 p;
    M4_TransformPoint(frame_, point, p);
    if (!any_) {
        lo_ = hi_ = p;
        any_ = true;
        return;
    }
    lo_ = Vec3{std::min(lo_.x, p.x), std::min(lo_.y, p.y), std::min(lo_.z, p.z)};
    hi_ = Vec3{std::max(hi_.x, p.x), std::max(hi_.y, p.y), std::max(hi_.z, p.z)};
}

bool FrameExtents::Corners(Vec3 (&corners)[8]) const {
    if (!any_) {
        for (Vec3& corner : corners) corner = Vec3{0.0f, 0.0f, 0.0f};
        return false;
    }
    Matrix4 back;
    M4_InvertRigid(frame_, back);
    for (int k = 0; k < 8; ++k) {
        const Vec3 corner{(k & 1) ? hi_.x : lo_.x, (k & 2) ? hi_.y : lo_.y, (k & 4) ? hi_.z : lo_.z};
        M4_TransformPoint(back, corner, corners[k]);
    }
    return true;
}
