// Branding packages written byte by byte for tests, laid out as the build's
// packer lays them out after some bytes standing for the program's image.
#pragma once

#include "app/files/png_image.h"
#include "app/files/resource_package.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline void PutInt(Bytes& out, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(u >> (8 * i)));
}

// A small RGBA picture as a PNG file's bytes.
inline Bytes PngBytes(int32_t w, int32_t h, uint8_t shade) {
    Bytes pixels(static_cast<size_t>(w * h * 4), shade);
    std::FILE* f = std::tmpfile();
    EXPECT_EQ(Png_Write(f, pixels.data(), w, h), 1);
    Bytes out(static_cast<size_t>(std::ftell(f)));
    std::rewind(f);
    EXPECT_EQ(std::fread(out.data(), 1, out.size(), f), out.size());
    std::fclose(f);
    return out;
}

// Writes a package the way the build's packer lays it out, after some bytes
// standing for the program's image; each call adds one entry.
class PackageBuilder {
  public:
    // The size field written as the data's own size.
    static constexpr int32_t kDataSize = INT32_MIN;

    explicit PackageBuilder(size_t imageBytes = 100) : file_(imageBytes, 0x90) {}

    PackageBuilder& Text(const std::string& name, const std::string& bytes) {
        return Sized(name, "str", Bytes(bytes.begin(), bytes.end()));
    }
    PackageBuilder& Picture(const std::string& name, const Bytes& png) { return Sized(name, "png", png); }
    PackageBuilder& Number(const std::string& name, const char* tag, uint32_t value) {
        Name(name);
        entries_.insert(entries_.end(), tag, tag + 3);
        PutInt(entries_, static_cast<int32_t>(value));
        ++count_;
        return *this;
    }
    PackageBuilder& Sized(const std::string& name, const char* tag, const Bytes& data, int32_t size = kDataSize) {
        Name(name);
        entries_.insert(entries_.end(), tag, tag + 3);
        PutInt(entries_, size == kDataSize ? static_cast<int32_t>(data.size()) : size);
        entries_.insert(entries_.end(), data.begin(), data.end());
        ++count_;
        return *this;
    }
    PackageBuilder& Count(int32_t count) {
        countOverride_ = count;
        return *this;
    }

    Bytes Build(const char* magic = kResourceMagic, int32_t offsetDelta = 0) const {
        Bytes out = file_;
        const int32_t offset = static_cast<int32_t>(out.size());
        PutInt(out, countOverride_ ? countOverride_ : count_);
        out.insert(out.end(), entries_.begin(), entries_.end());
        out.insert(out.end(), magic, magic + kResourceMagicSize);
        PutInt(out, offset + offsetDelta);
        return out;
    }

  private:
    void Name(const std::string& name) {
        Bytes field(kResourceNameSize, 0);
        std::memcpy(field.data(), name.data(), std::min(name.size(), field.size()));
        entries_.insert(entries_.end(), field.begin(), field.end());
    }

    Bytes file_;
    Bytes entries_;
    int32_t count_ = 0;
    int32_t countOverride_ = 0;
};
