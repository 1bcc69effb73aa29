// PNG pictures: reading any 8-bit grey, grey-alpha, RGB or RGBA PNG into an
// Image, and writing 8-bit RGBA. Failures of the PNG library end in a
// message box (loading) or a result of 0 (writing), never in an abort.
#pragma once

#include "app/files/image.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// 1 with the image filled, or 0 with the image empty after a message box.
int32_t Png_Load(std::FILE* stream, Image& image);
// A complete PNG file held in memory, decoded without any message: false
// (and the image empty) when it does not decode, is not 8-bit, or is wider or
// taller than kPngDecodeMaxSide.
constexpr uint32_t kPngDecodeMaxSide = 4096;
bool Png_Decode(const uint8_t* bytes, size_t size, Image& image);
// Writes an RGBA picture (rows from the top, width x 4 bytes each) to the
// stream; 1, or 0 when the library or the stream failed.
int32_t Png_Write(std::FILE* stream, const uint8_t* pixels, int32_t width, int32_t height);
// Writes a format-1 image to the file; 1, or 0 leaving no file behind.
int32_t Png_SaveFile(const Image& image, const std::string& path);
