// Element-wise operations on strided arrays of up to three dimensions (the
// grid evaluation adds into grid slices with them). A box has a size per
// dimension and each array a stride per dimension, in elements; 0 dimensions
// means a single element. The dense layout of sizes (a, b, c) has the first
// index fastest: strides 1, a, a b.
//
// Each returns 0, or 7 for a dimension count outside 0 to 3 (and for an axis
// outside the array), 5 for a plane index outside its axis.
#ifndef SURFACE_FIT_STRIDED_ARRAYS_H
#define SURFACE_FIT_STRIDED_ARRAYS_H

#include <cstdint>

// out op= in over the box.
int Array_AddStrided(int32_t dims, const int32_t* sizes, double* out, const int32_t* outStrides, const double* in,
                     const int32_t* inStrides);
int Array_MulStrided(int32_t dims, const int32_t* sizes, double* out, const int32_t* outStrides, const double* in,
                     const int32_t* inStrides);
int Array_CopyStrided(int32_t dims, const int32_t* sizes, double* out, const int32_t* outStrides, const double* in,
                      const int32_t* inStrides);
// out := value, out += value, out *= value over the box.
int Array_FillStrided(int32_t dims, const int32_t* sizes, double* out, const int32_t* outStrides, double value);
int AddToArraySlice(int32_t dims, const int32_t* sizes, double* out, const int32_t* outStrides, double value);
int ScaleArraySlice(int32_t dims, const int32_t* sizes, double* out, const int32_t* outStrides, double value);

// Over a dense array of d dimensions: add to (multiply) every element the
// vector entry of its index along `axis`.
int Array_AddAlongAxis(double* array, int32_t axis, int32_t d, const double* vector, const int32_t* sizes);
int Array_ScaleAlongAxis(double* array, int32_t axis, int32_t d, const double* vector, const int32_t* sizes);
// Add a value to (scale) the slice whose coordinate along `axis` is `index`.
int Array_AddToPlane(double value, int32_t index, int32_t axis, int32_t d, double* array, const int32_t* sizes);
int Array_ScalePlane(double value, int32_t index, int32_t axis, int32_t d, double* array, const int32_t* sizes);
// Within the slice where `planeAxis` equals `index`, add the vector entry of
// each element's index along `axis` (the two forms are the same).
int Array_AddAlongAxisInPlane(const double* vector, int32_t axis, int32_t index, int32_t planeAxis, int32_t d,
                              double* array, const int32_t* sizes);
int Array_AddAlongAxisInPlaneB(const double* vector, int32_t axis, int32_t index, int32_t planeAxis, int32_t d,
                               double* array, const int32_t* sizes);

#endif
