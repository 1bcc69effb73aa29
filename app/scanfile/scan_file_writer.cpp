#include "app/scanfile/scan_file_writer.h"

#include <cstring>
#include <string>

namespace {

template <class T>
bool AddScalar(ScanFileWriter& w, const char* path, const T& value, ItemType type, int dimensions, int32_t size) {
    T* slot = w.Array<T>(1);
    if (!slot) return false;
    *slot = value;
    if (dimensions == 0) return ItemStore_AddItem(w.store, path, slot, type, 0);
    return ItemStore_AddItem(w.store, path, slot, type, dimensions, size);
}

}  // namespace

bool ScanFileWriter::Int(const char* path, int32_t value) {
    return AddScalar(*this, path, value, ItemType::Int32, 0, 0);
}

bool ScanFileWriter::Float(const char* path, float value) {
    return AddScalar(*this, path, value, ItemType::Float32, 0, 0);
}

bool ScanFileWriter::Origin(const char* path, const Vec3& v) {
    return AddScalar(*this, path, v, ItemType::Float32, 1, 3);
}

bool ScanFileWriter::Matrix(const char* path, const Matrix4& m) {
    Matrix4* slot = Array<Matrix4>(1);
    if (!slot) return false;
    *slot = m;
    return ItemStore_AddItem(store, path, slot, ItemType::Float32, 2, 4, 4);
}

bool ScanFileWriter::Time(const char* path, double seconds) { return ItemStore_AddTime(store, path, seconds); }

bool ScanFileWriter::Text(const char* path, const char* text, std::size_t limit) {
    const std::string bounded(text, strnlen(text, limit));
    return ItemStore_AddString(store, path, bounded.c_str());
}
