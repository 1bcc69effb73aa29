// A picture in memory: the PNG files, the branding images, the view's
// overlays and its captured frames. Rows run from the top, without padding.
#pragma once

#include <cstdint>

enum ImageFormat : int32_t {
    kImageEmpty = -1,
    kImageRgb = 0,
    kImageRgba = 1,
    kImageRgbFiller = 2,
    kImageGrey = 3,
    kImageGreyAlpha = 4,
};

struct Image {
    int32_t format = kImageEmpty;
    int32_t width = 0;
    int32_t height = 0;
    uint8_t* pixels = nullptr;  // std::malloc'ed, owned
};

// Bytes a pixel of the format takes; 0 for an unknown code.
int32_t Image_BytesPerPixel(int32_t format);
// Replaces the pixels with a zeroed buffer of that size; false (and the image
// left empty) when the size is negative or the memory cannot be had.
bool Image_Allocate(Image& image, int32_t format, int32_t width, int32_t height);
// Frees the pixels and leaves an empty image; no image does nothing.
void Image_Free(Image* image);
// An RGBA image cut in place to the smallest rectangle holding every pixel
// whose alpha is not 0; an image without such a pixel stays as it is.
void Image_CropToAlpha(Image& image);
// Copies a width x height block from the source's top left corner into the
// destination at (0, row); both RGBA; the copy stops at either image's edge.
void Image_Paste(Image& destination, int32_t row, int32_t width, int32_t height, const Image& source);
