#include "app/files/image.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <cstring>

int32_t Image_BytesPerPixel(int32_t format) {
    switch (format) {
        case kImageRgb:
            return 3;
        case kImageRgba:
        case kImageRgbFiller:
            return 4;
        case kImageGrey:
            return 1;
        case kImageGreyAlpha:
            return 2;
    }
    return 0;
}

bool Image_Allocate(Image& image, int32_t format, int32_t width, int32_t height) {
    Image_Free(&image);
    const int32_t bytes = Image_BytesPerPixel(format);
    if (bytes == 0 || width < 0 || height < 0) return false;
    // A size past the address space is refused, not wrapped round.
    const std::uint64_t wanted = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) *
                                 static_cast<std::uint64_t>(bytes);
    if (wanted > std::numeric_limits<size_t>::max()) return false;
    const size_t size = static_cast<size_t>(wanted);
    uint8_t* pixels = static_cast<uint8_t*>(std::calloc(size ? size : 1, 1));
    if (!pixels) return false;
    image.format = format;
    image.width = width;
    image.height = height;
    image.pixels = pixels;
    return true;
}

void Image_Free(Image* image) {
    if (!image) return;
    std::free(image->pixels);
    image->pixels = nullptr;
    image->width = image->height = 0;
    image->format = kImageEmpty;
}

void Image_CropToAlpha(Image& image) {
    if (image.format != kImageRgba || !image.pixels) return;
    const int32_t w = image.width, h = image.height;
    int32_t left = w, right = -1, top = h, bottom = -1;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = image.pixels + static_cast<size_t>(y) * w * 4;
        for (int32_t x = 0; x < w; ++x) {
            if (row[x * 4 + 3] == 0) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0) return;
    const int32_t cw = right - left + 1, ch = bottom - top + 1;
    for (int32_t y = 0; y < ch; ++y)
        std::memmove(image.pixels + static_cast<size_t>(y) * cw * 4,
                     image.pixels + (static_cast<size_t>(y + top) * w + left) * 4, static_cast<size_t>(cw) * 4);
    image.width = cw;
    image.height = ch;
}

void Image_Paste(Image& destination, int32_t row, int32_t width, int32_t height, const Image& source) {
    if (destination.format != kImageRgba || source.format != kImageRgba || !destination.pixels || !source.pixels)
        return;
    if (row < 0) return;
    const int32_t w = std::min({width, source.width, destination.width});
    const int32_t h = std::min({height, source.height, destination.height - row});
    if (w <= 0 || h <= 0) return;
    for (int32_t y = 0; y < h; ++y)
        std::memcpy(destination.pixels + (static_cast<size_t>(row + y) * destination.width) * 4,
                    source.pixels + static_cast<size_t>(y) * source.width * 4, static_cast<size_t>(w) * 4);
}
