#include "surface/fit/strided_arrays.h"

#include "surface/frame/status_codes.h"

#include <cstddef>

namespace {

constexpr int32_t kMaxDims = 3;

// A box of up to three dimensions, padded to three with size 1.
struct Box {
    int32_t size[kMaxDims] = {1, 1, 1};
    std::ptrdiff_t stride[kMaxDims] = {0, 0, 0};
};

bool ValidDims(int32_t dims) { return dims >= 0 && dims <= kMaxDims; }

Box MakeBox(int32_t dims, const int32_t* sizes, const int32_t* strides) {
    Box box;
    for (int32_t i = 0; i < dims; ++i) {
        box.size[i] = sizes[i];
        box.stride[i] = strides ? strides[i] : 0;
    }
    return box;
}

// Calls op(out element, in element) over the box.
template <typename Op>
void ForEach(const Box& outBox, double* out, const Box& inBox, const double* in, Op op) {
    for (int32_t k = 0; k < outBox.size[2]; ++k) {
        for (int32_t j = 0; j < outBox.size[1]; ++j) {
            double* o = out + k * outBox.stride[2] + j * outBox.stride[1];
            const double* n = in ? in + k * inBox.stride[2] + j * inBox.stride[1] : nullptr;
            for (int32_t i = 0; i < outBox.size[0]; ++i) {
                op(o[i * outBox.stride[0]], n ? n[i * inBox.stride[0]] : 0.0);
            }
        }
    }
}

template <typename Op>
int Binary(int32_t dims, const int32_t* sizes, double* out, const int32_t* outStrides, const double* in,
           const int32_t* inStrides, Op op) {
    if (!ValidDims(dims)) return CoreStatus_InvalidDimension;
    ForEach(MakeBox(dims, sizes, outStrides), out, MakeBox(dims, sizes, inStrides), in, op);
    return 0;
}

template <typename Op>
int Unary(int32_t dims, const int32_t* sizes, double* out, const int32_t* outStrides, Op op) {
    if (!ValidDims(dims)) return CoreStatus_InvalidDimension;
    const Box box = MakeBox(dims, sizes, outStrides);
    ForEach(box, out, box, nullptr, [&](double& o, double) { op(o); });
    return 0;
}

// The dense strides of an array of d dimensions.
void DenseStrides(int32_t d, const int32_t* sizes, int32_t* strides) {
    int32_t step = 1;
    for (int32_t i = 0; i < d; ++i) {
        strides[i] = step;
        step *= sizes[i];
    }
}

// The slice of a strided array where `axis` equals `index`: one dimension
// fewer, and its start.
double* Slice(int32_t d, const int32_t* sizes, const int32_t* strides, int32_t axis, int32_t index, double* array,
              int32_t* sliceSizes, int32_t* sliceStrides) {
    int32_t n = 0;
    for (int32_t i = 0; i < d; ++i) {
        if (i == axis) continue;
        sliceSizes[n] = sizes[i];
        sliceStrides[n] = strides[i];
        ++n;
    }
    return array + static_cast<std::ptrdiff_t>(index) * strides[axis];
}

// Applies op(element, vector[index along axis]) over a strided array.
template <typename Op>
int AlongAxis(int32_t d, const int32_t* sizes, const int32_t* strides, int32_t axis, double* array,
              const double* vector, Op op) {
    if (!ValidDims(d) || axis < 0 || axis >= d) return CoreStatus_InvalidDimension;
    int32_t sliceSizes[kMaxDims];
    int32_t sliceStrides[kMaxDims];
    for (int32_t k = 0; k < sizes[axis]; ++k) {
        double* slice = Slice(d, sizes, strides, axis, k, array, sliceSizes, sliceStrides);
        const double value = vector[k];
        Unary(d - 1, sliceSizes, slice, sliceStrides, [&](double& o) { op(o, value); });
    }
    return 0;
}

void Add(double& o, double v) { o += v; }
void Multiply(double& o, double v) { o *= v; }

template <typename Op>
int DenseAlongAxis(double* array, int32_t axis, int32_t d, const double* vector, const int32_t* sizes, Op op) {
    if (!ValidDims(d)) return CoreStatus_InvalidDimension;
    int32_t strides[kMaxDims];
    DenseStrides(d, sizes, strides);
    return AlongAxis(d, sizes, strides, axis, array, vector, op);
}

template <typename Op>
int DensePlane(double value, int32_t index, int32_t axis, int32_t d, double* array, const int32_t* sizes, Op op) {
    if (!ValidDims(d) || axis < 0 || axis >= d) return CoreStatus_InvalidDimension;
    if (index < 0 || index >= sizes[axis]) return CoreStatus_InvalidInput;
    int32_t strides[kMaxDims];
    DenseStrides(d, sizes, strides);
    int32_t sliceSizes[kMaxDims];
    int32_t sliceStrides[kMaxDims];
    double* slice = Slice(d, sizes, strides, axis, index, array, sliceSizes, sliceStrides);
    return Unary(d - 1, sliceSizes, slice, sliceStrides, [&](double& o) { op(o, value); });
}

}  // namespace

int Array_AddStrided(int32_t dims, const int32_t* sizes, double* out, const int32_t* outStrides, const double* in,
                     const int32_t* inStrides) {
    return Binary(dims, sizes, out, outStrides, in, inStrides, [](double& o, double i) { o += i; });
}

int Array_MulStrided(int32_t dims, const int32_t* sizes, double* out, const int32_t* outStrides, const double* in,
                     const int32_t* inStrides) {
    return Binary(dims, sizes, out, outStrides, in, inStrides, [](double& o, double i) { o *= i; });
}

int Array_CopyStrided(int32_t dims, const int32_t* sizes, double* out, const int32_t* outStrides, const double* in,
                      const int32_t* inStrides) {
    return Binary(dims, sizes, out, outStrides, in, inStrides, [](double& o, double i) { o = i; });
}

int Array_FillStrided(int32_t dims, const int32_t* sizes, double* out, const int32_t* outStrides, double value) {
    return Unary(dims, sizes, out, outStrides, [&](double& o) { o = value; });
}

int AddToArraySlice(int32_t dims, const int32_t* sizes, double* out, const int32_t* outStrides, double value) {
    return Unary(dims, sizes, out, outStrides, [&](double& o) { o += value; });
}

int ScaleArraySlice(int32_t dims, const int32_t* sizes, double* out, const int32_t* outStrides, double value) {
    return Unary(dims, sizes, out, outStrides, [&](double& o) { o *= value; });
}

int Array_AddAlongAxis(double* array, int32_t axis, int32_t d, const double* vector, const int32_t* sizes) {
    return DenseAlongAxis(array, axis, d, vector, sizes, Add);
}

int Array_ScaleAlongAxis(double* array, int32_t axis, int32_t d, const double* vector, const int32_t* sizes) {
    return DenseAlongAxis(array, axis, d, vector, sizes, Multiply);
}

int Array_AddToPlane(double value, int32_t index, int32_t axis, int32_t d, double* array, const int32_t* sizes) {
    return DensePlane(value, index, axis, d, array, sizes, Add);
}

int Array_ScalePlane(double value, int32_t index, int32_t axis, int32_t d, double* array, const int32_t* sizes) {
    return DensePlane(value, index, axis, d, array, sizes, Multiply);
}

int Array_AddAlongAxisInPlane(const double* vector, int32_t axis, int32_t index, int32_t planeAxis, int32_t d,
                              double* array, const int32_t* sizes) {
    if (!ValidDims(d) || axis < 0 || axis >= d || planeAxis < 0 || planeAxis >= d || axis == planeAxis)
        return CoreStatus_InvalidDimension;
    if (index < 0 || index >= sizes[planeAxis]) return CoreStatus_InvalidInput;
    int32_t strides[kMaxDims];
    DenseStrides(d, sizes, strides);
    int32_t sliceSizes[kMaxDims];
    int32_t sliceStrides[kMaxDims];
    double* slice = Slice(d, sizes, strides, planeAxis, index, array, sliceSizes, sliceStrides);
    const int32_t sliceAxis = axis < planeAxis ? axis : axis - 1;
    return AlongAxis(d - 1, sliceSizes, sliceStrides, sliceAxis, slice, vector, Add);
}

int Array_AddAlongAxisInPlaneB(const double* vector, int32_t axis, int32_t index, int32_t planeAxis, int32_t d,
                               double* array, const int32_t* sizes) {
    return Array_AddAlongAxisInPlane(vector, axis, index, planeAxis, d, array, sizes);
}
