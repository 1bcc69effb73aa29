// Planes, lines and the closest point of a triangle, in float.
#include "app/scan/geometry.h"

#include <cmath>

void Plane_FromThreePoints(const Vec3& a, const Vec3& b, const Vec3& c, Plane& out) {
    Vec3 ab, ac, n;
    V3_Sub(b, a, ab);
    V3_Sub(c, a, ac);
    V3_Cross(ab, ac, n);
    out = Plane{n.x, n.y, n.z, -V3_Dot(n, c)};
}

void Plane_FromPointNormal(const Vec3& p, const Vec3& n, Plane& out) {
    out = Plane{n.x, n.y, n.z, -V3_Dot(p, n)};
}

void Plane_Normalise(const Plane& plane, Plane& out) {
    const float length = V3_Length(Vec3{plane.a, plane.b, plane.c});
    if (length > kNormaliseGuard)
        out = Plane{plane.a / length, plane.b / length, plane.c / length, plane.d / length};
    else
        out = plane;
}

float Plane_SignedDistance(const Vec3& p, const Plane& plane) {
    return p.x * plane.a + p.y * plane.b + p.z * plane.c + plane.d;
}

void Plane_ProjectOut(const Vec3& p, const Plane& plane, Vec3& out) {
    const float h = Plane_SignedDistance(p, plane);
    out = Vec3{p.x - h * plane.a, p.y - h * plane.b, p.z - h * plane.c};
}

float Plane_RayParameter(const Vec3& origin, const Vec3& direction, const Plane& plane) {
    const Vec3 n{plane.a, plane.b, plane.c};
    const float along = V3_Dot(direction, n);
    if (!(std::fabs(along) >= kNormaliseGuard)) return kNoIntersection;
    return -(V3_Dot(origin, n) + plane.d) / along;
}

void Plane_RayIntersection(const Vec3& origin, const Vec3& direction, const Plane& plane, Vec3& out) {
    const float t = Plane_RayParameter(origin, direction, plane);
    if (t == kNoIntersection)
        out = Vec3{kNoIntersection, kNoIntersection, kNoIntersection};
    else
        V3_AddScaled(origin, t, direction, out);
}

float Line_Parameter(const Vec3& p, const Vec3& origin, const Vec3& direction) {
    const float lengthSq = V3_LengthSquared(direction);
    if (lengthSq < kNormaliseGuard) return 0.0f;
    Vec3 d;
    V3_Sub(p, origin, d);
    return V3_Dot(direction, d) / lengthSq;
}

void Line_ClosestPoint(const Vec3& p, const Vec3& origin, const Vec3& direction, Vec3& out) {
    V3_AddScaled(origin, Line_Parameter(p, origin, direction), direction, out);
}

float Line_DistanceSquared(const Vec3& p, const Vec3& origin, const Vec3& direction) {
    Vec3 q;
    Line_ClosestPoint(p, origin, direction, q);
    return V3_DistanceSquared(q, p);
}

namespace {

// The point of segment uv nearest to p, measured from u.
Vec3 SegmentClosest(const Vec3& p, const Vec3& u, const Vec3& v) {
    Vec3 uv, up;
    V3_Sub(v, u, uv);
    V3_Sub(p, u, up);
    const float t = V3_Dot(uv, up);
    const float lengthSq = V3_LengthSquared(uv);
    // A segment of zero length has only one point.
    if (t < 0.0f || !(lengthSq > 0.0f)) return u;
    if (t > lengthSq) return v;
    Vec3 out;
    V3_AddScaled(u, t / lengthSq, uv, out);
    return out;
}

// True when p lies beyond the edge that starts at `from`, by more than tol.
bool OutsideEdge(const Vec3& edgeNormal, const Vec3& from, const Vec3& p, float tol) {
    Vec3 d;
    V3_Sub(p, from, d);
    return V3_Dot(edgeNormal, d) > tol;
}

}  // namespace

int32_t Tri_ClosestPoint(const Vec3& p, const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& n,
                         Vec3& outPoint, int32_t insideOnly, int32_t side, float tolerance,
                         float maxDistanceSquared, float& outDistanceSquared) {
    outDistanceSquared = maxDistanceSquared;
    if (V3_LengthSquared(n) < kNormaliseGuard) return 0;

    Vec3 ap;
    V3_Sub(p, a, ap);
    const float h = V3_Dot(n, ap);
    if (side > 0 && h < -tolerance) return 0;
    if (side < 0 && h > tolerance) return 0;
    if (h * h > maxDistanceSquared) return 0;

    Vec3 ab, bc, ca, mAB, mBC, mCA;
    V3_Sub(b, a, ab);
    V3_Sub(c, b, bc);
    V3_Sub(a, c, ca);
    V3_Cross(ab, n, mAB);
    V3_Cross(bc, n, mBC);
    V3_Cross(ca, n, mCA);
    // With a tolerance the edge distances must be true distances.
    if (std::fabs(tolerance) > kNormaliseGuard) {
        V3_Normalise(mAB, mAB);
        V3_Normalise(mBC, mBC);
        V3_Normalise(mCA, mCA);
    }

    Vec3 q;
    if (!OutsideEdge(mAB, a, p, tolerance)) {
        if (OutsideEdge(mBC, b, p, tolerance)) {
            if (insideOnly) return 0;
            q = SegmentClosest(p, b, c);
        } else if (OutsideEdge(mCA, c, p, tolerance)) {
            if (insideOnly) return 0;
            q = SegmentClosest(p, c, a);
        } else {
            V3_AddScaled(p, -h, n, q);
        }
    } else {
        if (insideOnly) return 0;
        const float t = V3_Dot(ab, ap);
        const float lengthSq = V3_LengthSquared(ab);
        if (t >= 0.0f && t <= lengthSq) {
            if (lengthSq > 0.0f)
                V3_AddScaled(a, t / lengthSq, ab, q);
            else
                q = a;
        } else if (t > lengthSq) {
            q = SegmentClosest(p, b, c);
        } else {
            q = SegmentClosest(p, a, c);
        }
    }

    const float distanceSq = V3_DistanceSquared(q, p);
    if (distanceSq > maxDistanceSquared) return 0;
    outPoint = q;
    outDistanceSquared = distanceSq;
    return 1;
}
