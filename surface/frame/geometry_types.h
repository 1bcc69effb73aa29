// Double-precision vectors and 4 x 4 matrices of the library's geometry
// helpers. Points are row vectors multiplied from the left:
//   x' = x m0 + y m4 + z m8 + m12, y' = x m1 + y m5 + z m9 + m13,
//   z' = x m2 + y m6 + z m10 + m14;
// the translation lies in elements 12 to 14 and element 15 is 1.
#ifndef SURFACE_FRAME_GEOMETRY_TYPES_H
#define SURFACE_FRAME_GEOMETRY_TYPES_H

struct Vec3d {
    double x;
    double y;
    double z;
};

struct Mat4d {
    double m[16];  // row by row
};

#endif
