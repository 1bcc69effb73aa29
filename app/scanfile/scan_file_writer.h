// The item adders of the save. Items reference their data, so every value
// the save computes is kept in the save's buffers until the file is written.
#pragma once

#include "app/scanfile/field_coders.h"
#include "app/scanfile/scan_file.h"

struct ScanFileWriter {
    ItemStore* store;
    SaveBuffers& buffers;

    // Room for `count` elements of T kept until the save ends; nullptr (and
    // the out-of-memory mark) when it cannot be had.
    template <class T>
    T* Array(int64_t count) {
        return static_cast<T*>(buffers.Take(static_cast<std::size_t>(count > 0 ? count : 1) * sizeof(T)));
    }

    bool Int(const char* path, int32_t value);
    bool Float(const char* path, float value);
    bool Matrix(const char* path, const Matrix4& m);
    bool Origin(const char* path, const Vec3& v);
    bool Time(const char* path, double seconds);
    bool Text(const char* path, const char* text, std::size_t limit);
};
