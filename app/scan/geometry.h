// The program's small geometry library: float 3-vectors and 4x4 matrices for
// rigid poses, planes, lines and triangles, and their double-precision twins.
//
// Conventions every caller relies on:
// - Matrices are sixteen values, row-major; points are row vectors, so a point
//   p maps to p·M and the translation sits in elements 12, 13, 14.
// - M4_Multiply(a, b, out) gives the matrix that applies b first, then a.
// - Angles are in degrees, converted with the float value of pi.
// - A vector (or plane normal) no longer than 1e-5 is never normalised; a
//   missing ray-plane intersection is 1e10 (in every coordinate).
// - Every output is computed into a temporary first, so it may be an input.
// - Float operations round every stored result to float; matrix products add
//   their terms in index order. Together with SSE2 arithmetic this gives the
//   same bits in every build.
#pragma once

#include <cstdint>

struct Vec3 {
    float x, y, z;
};

struct Vec3D {
    double x, y, z;
};

struct Matrix4 {
    float m[16];
    float& operator[](int i) { return m[i]; }
    const float& operator[](int i) const { return m[i]; }
};

struct Matrix4D {
    double m[16];
    double& operator[](int i) { return m[i]; }
    const double& operator[](int i) const { return m[i]; }
};

// a x + b y + c z + d = 0; (a, b, c) is the normal, not necessarily unit.
struct Plane {
    float a, b, c, d;
};

// An origin and a direction, the direction not necessarily unit.
struct Line {
    Vec3 origin;
    Vec3 direction;
};

struct LineD {
    Vec3D origin;
    Vec3D direction;
};

// The float value of pi used by every degree conversion.
constexpr double kGeometryPi = 3.1415927410125732;
// Below this length a vector is left as it is.
constexpr float kNormaliseGuard = 1e-5f;
// The value of a missing intersection.
constexpr float kNoIntersection = 1e10f;

// ---- Float vectors -------------------------------------------------------
float Math_SqrtF(float x);
float Math_AbsF(float x);
void V3_Copy(const Vec3& a, Vec3& out);
void V3_Add(const Vec3& a, const Vec3& b, Vec3& out);
void V3_Sub(const Vec3& a, const Vec3& b, Vec3& out);
void V3_Scale(float s, const Vec3& a, Vec3& out);
void V3_AddScaled(const Vec3& a, float s, const Vec3& b, Vec3& out);
float V3_Dot(const Vec3& a, const Vec3& b);
float V3_LengthSquared(const Vec3& a);
float V3_Length(const Vec3& a);
float V3_DistanceSquared(const Vec3& a, const Vec3& b);
float V3_Distance(const Vec3& a, const Vec3& b);
void V3_Cross(const Vec3& u, const Vec3& v, Vec3& out);
void V3_Normalise(const Vec3& a, Vec3& out);
void V3_Centroid(const Vec3* points, int32_t n, Vec3& out);
// Any of the four outputs may be null; n must be at least 1.
void V3_BoundingBox(const Vec3* points, int32_t n, Vec3* outMin, Vec3* outMax, Vec3* outCentre,
                    Vec3* outExtent);
// True when |a - b|² < bound (outSum = |a - b|²); false otherwise (outSum = bound).
bool V3_WithinBox(const Vec3& a, const Vec3& b, float bound, float& outSum);
// True when |a - b|² > bound.
bool V3_BeyondTolerance(const Vec3& a, const Vec3& b, float bound);
// The unit normal of a quadrilateral a, b, c, d: along (c - a) × (b - d).
void V3_NormalFrom4Points(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d, Vec3& out);

// ---- Float matrices ------------------------------------------------------
void M4_Copy(const Matrix4& m, Matrix4& out);
void M4_Identity(Matrix4& out);
void M4_GetTranslation(const Matrix4& m, Vec3& out);
void M4_MakeTranslation(const Vec3& v, Matrix4& out);
void M4_MakeScale(const Vec3& v, Matrix4& out);
void M4_MakeRotationX(float degrees, Matrix4& out);
void M4_MakeRotationY(float degrees, Matrix4& out);
void M4_MakeRotationZ(float degrees, Matrix4& out);
// The axis is used as given (not normalised).
void M4_MakeAxisRotation(const Vec3& axis, float degrees, Matrix4& out);
void M4_TransformPoint(const Matrix4& m, const Vec3& p, Vec3& out);
// out applies b first, then a (as a plain product: b·a).
void M4_Multiply(const Matrix4& a, const Matrix4& b, Matrix4& out);
void M4_Add(const Matrix4& a, const Matrix4& b, Matrix4& out);
void M4_ScaleElements(float s, const Matrix4& m, Matrix4& out);
void M4_Transpose(const Matrix4& m, Matrix4& out);
// Inverse of a rotation plus translation.
void M4_InvertRigid(const Matrix4& m, Matrix4& out);
// Angles (x, y, z) in degrees such that rotating about x, then y, then z
// rebuilds m. Undefined at y = ±90 degrees.
void M4_ToEulerAngles(const Matrix4& m, Vec3& outAngles);
// Each of these appends a transform after m's own: m = m's transform, then it.
void M4_Translate(const Vec3& v, Matrix4& m);
void M4_RotateX(float degrees, Matrix4& m);
void M4_RotateY(float degrees, Matrix4& m);
void M4_RotateZ(float degrees, Matrix4& m);
void M4_RotateAxis(const Vec3& axis, float degrees, Matrix4& m);
void M4_Scale(const Vec3& v, Matrix4& m);

// ---- Double vectors and matrices ----------------------------------------
void V3D_Normalise(const Vec3D& a, Vec3D& out);
void V3D_Centroid(const Vec3D* points, int32_t n, Vec3D& out);
void V3D_Cross(const Vec3D& u, const Vec3D& v, Vec3D& out);
void M4D_Identity(Matrix4D& out);
void M4D_TransformPoint(const Matrix4D& m, const Vec3D& p, Vec3D& out);
double M4D_Determinant3(const Matrix4D& m);
// A rotation about x, as M4_MakeRotationX.
void M4D_MakeRotation(double degrees, Matrix4D& out);
// out applies b first, then a.
void M4D_Multiply(const Matrix4D& a, const Matrix4D& b, Matrix4D& out);
void M4D_Transpose(const Matrix4D& m, Matrix4D& out);
double LineD_Parameter(const Vec3D& p, const Vec3D& origin, const Vec3D& direction);
void LineD_ClosestPoint(const Vec3D& p, const Vec3D& origin, const Vec3D& direction, Vec3D& out);
double LineD_DistanceSquared(const Vec3D& p, const Vec3D& origin, const Vec3D& direction);

// ---- Planes, lines and triangles ----------------------------------------
void Plane_FromThreePoints(const Vec3& a, const Vec3& b, const Vec3& c, Plane& out);
void Plane_FromPointNormal(const Vec3& p, const Vec3& n, Plane& out);
void Plane_Normalise(const Plane& plane, Plane& out);
float Plane_SignedDistance(const Vec3& p, const Plane& plane);
void Plane_ProjectOut(const Vec3& p, const Plane& plane, Vec3& out);
// 1e10 when the direction is (nearly) parallel to the plane.
float Plane_RayParameter(const Vec3& origin, const Vec3& direction, const Plane& plane);
void Plane_RayIntersection(const Vec3& origin, const Vec3& direction, const Plane& plane, Vec3& out);
float Line_Parameter(const Vec3& p, const Vec3& origin, const Vec3& direction);
void Line_ClosestPoint(const Vec3& p, const Vec3& origin, const Vec3& direction, Vec3& out);
float Line_DistanceSquared(const Vec3& p, const Vec3& origin, const Vec3& direction);
// The point of triangle (a, b, c) nearest to p, with the triangle's normal n.
// Returns 1 with outPoint and outDistanceSquared when the point is within
// maxDistanceSquared and passes the side and insideOnly tests, else 0 (and
// outDistanceSquared = maxDistanceSquared).
int32_t Tri_ClosestPoint(const Vec3& p, const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& n,
                         Vec3& outPoint, int32_t insideOnly, int32_t side, float tolerance,
                         float maxDistanceSquared, float& outDistanceSquared);
