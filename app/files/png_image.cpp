#include "app/files/png_image.h"

#include "app/base/app_messages.h"

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void ErrorBox(const char* key) {
    AppMessage message;
    message.kind = MessageKind::Error;
    message.textKey = key;
    message.titleKey = "StandardDialogErrorTitle";
    message.ownerless = true;
    App_ShowMessage(message);
}

struct LoadState {
    std::FILE* stream;
    bool reported;  // the error callback has shown its box
    const uint8_t* bytes = nullptr;  // a picture held in memory instead of the stream
    size_t size = 0;
    size_t at = 0;
};

void OnLoadError(png_structp png, png_const_charp) {
    LoadState* state = static_cast<LoadState*>(png_get_error_ptr(png));
    ErrorBox("ErrorCouldNotLoadImage");
    state->reported = true;
    png_longjmp(png, 1);
}

void OnQuietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void OnQuietWarning(png_structp, png_const_charp) {}

void OnLoadWarning(png_structp, png_const_charp) {
    AppMessage message;
    message.kind = MessageKind::Warning;
    message.textKey = "ErrorProblemLoadImage";
    message.titleKey = "StandardDialogWarningTitle";
    message.ownerless = true;
    App_ShowMessage(message);
}

void OnRead(png_structp png, png_bytep data, png_size_t length) {
    LoadState* state = static_cast<LoadState*>(png_get_error_ptr(png));
    if (state->bytes) {
        if (length > state->size - state->at) png_error(png, "read past the end of the picture");
        std::memcpy(data, state->bytes + state->at, length);
        state->at += length;
        return;
    }
    if (std::fread(data, 1, length, state->stream) != length) png_error(png, "read past the end of the stream");
}

int32_t FormatOf(int colourType, int channels) {
    switch (colourType) {
        case PNG_COLOR_TYPE_GRAY:
            return kImageGrey;
        case PNG_COLOR_TYPE_RGB:
            return channels == 4 ? kImageRgbFiller : kImageRgb;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            return kImageGreyAlpha;
        case PNG_COLOR_TYPE_RGB_ALPHA:
            return kImageRgba;
    }
    return kImageEmpty;
}

// Deflate, the compression of PNG data, makes at most 1032 bytes of each
// byte it reads: a picture larger than that many times the bytes left
// cannot be in them, whatever its header says.
constexpr std::uint64_t kMostInflation = 1032;
constexpr int32_t kLoadTooLarge = -3000;

// The bytes from the stream's position to its end; -1 when the stream cannot
// tell (a pipe).
std::int64_t BytesLeft(std::FILE* stream) {
    const long at = std::ftell(stream);
    if (at < 0 || std::fseek(stream, 0, SEEK_END) != 0) return -1;
    const long end = std::ftell(stream);
    if (std::fseek(stream, at, SEEK_SET) != 0 || end < at) return -1;
    return end - at;
}

// The part of loading that runs under the library's return point: no object
// with a destructor may live here. The header is read and checked against
// the input before the rows are allocated; the rows are read straight into
// the image.
int32_t LoadRows(png_structp png, png_infop info, LoadState& state, Image& image, std::int64_t bytesLeft) {
    if (setjmp(png_jmpbuf(png))) {
        if (!state.reported) ErrorBox("ErrorImageLoadingUnknown");
        Image_Free(&image);
        return 0;
    }
    png_set_read_fn(png, &state, OnRead);
    png_read_info(png, info);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    const int depth = png_get_bit_depth(png, info), colourType = png_get_color_type(png, info);
    const int channels = png_get_channels(png, info);
    if (depth != 8) return -depth;
    const int32_t format = FormatOf(colourType, channels);
    if (format == kImageEmpty) return -1000;
    const std::uint64_t rowBytes = static_cast<std::uint64_t>(width) * Image_BytesPerPixel(format);
    if (bytesLeft >= 0 && rowBytes * height > static_cast<std::uint64_t>(bytesLeft) * kMostInflation)
        return kLoadTooLarge;
    if (!Image_Allocate(image, format, static_cast<int32_t>(width), static_cast<int32_t>(height))) return -2000;
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y)
            png_read_row(png, image.pixels + static_cast<size_t>(y) * static_cast<size_t>(rowBytes), nullptr);
    png_read_end(png, nullptr);
    return 1;
}

void BitDepthBox(int depth) {
    std::string text = App_TextOfKey("ErrorImageLoadingInvalidBitDepth");
    const std::string variable = "{bit_depth}";
    const size_t at = text.find(variable);
    if (at != std::string::npos) text.replace(at, variable.size(), std::to_string(depth));
    AppMessage message;
    message.kind = MessageKind::Error;
    message.textKey = "ErrorImageLoadingInvalidBitDepth";
    message.titleKey = "StandardDialogErrorTitle";
    message.text = text;
    message.ownerless = true;
    App_ShowMessage(message);
}

struct WriteState {
    std::FILE* stream;
};

void OnWriteError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void OnWriteWarning(png_structp, png_const_charp) {}

void OnWrite(png_structp png, png_bytep data, png_size_t length) {
    WriteState* state = static_cast<WriteState*>(png_get_io_ptr(png));
    if (std::fwrite(data, 1, length, state->stream) != length) png_error(png, "write failed");
}

void OnFlush(png_structp png) {
    WriteState* state = static_cast<WriteState*>(png_get_io_ptr(png));
    if (std::fflush(state->stream) != 0) png_error(png, "flush failed");
}

// Under the library's return point; a library error (a zero size, a full
// disk) comes back here as 0 instead of ending the program.
int32_t WriteRows(png_structp png, png_infop info, WriteState& state, const uint8_t* pixels, int32_t width,
                  int32_t height) {
    if (setjmp(png_jmpbuf(png))) return 0;
    png_set_write_fn(png, &state, OnWrite, OnFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < height; ++y)
        png_write_row(png, const_cast<png_bytep>(pixels + static_cast<size_t>(y) * width * 4));
    png_write_end(png, info);
    return 1;
}

}  // namespace

int32_t Png_Load(std::FILE* stream, Image& image) {
    image = Image();
    LoadState state = {stream, false};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnLoadError, OnLoadWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        if (png) png_destroy_read_struct(&png, nullptr, nullptr);
        ErrorBox("ErrorOutOfMemory");
        return 0;
    }
    const int32_t result = stream ? LoadRows(png, info, state, image, BytesLeft(stream)) : 0;
    png_destroy_read_struct(&png, &info, nullptr);
    if (result == 1) return 1;
    if (!stream) ErrorBox("ErrorImageLoadingUnknown");
    if (result == -1000) ErrorBox("ErrorImageLoadingInvalidColourType");
    if (result == -2000) ErrorBox("ErrorOutOfMemory");
    if (result == kLoadTooLarge) ErrorBox("ErrorCouldNotLoadImage");
    if (result < 0 && result > -1000) BitDepthBox(-result);
    Image_Free(&image);
    return 0;
}

bool Png_Decode(const uint8_t* bytes, size_t size, Image& image) {
    image = Image();
    if (!bytes || size == 0) return false;
    LoadState state = {nullptr, true, bytes, size, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnQuietError, OnQuietWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        if (png) png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    // A damaged header must not ask for more than a branding picture ever needs.
    png_set_user_limits(png, kPngDecodeMaxSide, kPngDecodeMaxSide);
    const int32_t result = LoadRows(png, info, state, image, static_cast<std::int64_t>(size));
    png_destroy_read_struct(&png, &info, nullptr);
    if (result == 1) return true;
    Image_Free(&image);
    return false;
}

int32_t Png_Write(std::FILE* stream, const uint8_t* pixels, int32_t width, int32_t height) {
    if (!stream || !pixels || width <= 0 || height <= 0) return 0;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnWriteError, OnWriteWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        if (png) png_destroy_write_struct(&png, nullptr);
        return 0;
    }
    WriteState state = {stream};
    const int32_t result = WriteRows(png, info, state, pixels, width, height);
    png_destroy_write_struct(&png, &info);
    return result;
}

int32_t Png_SaveFile(const Image& image, const std::string& path) {
    if (image.format != kImageRgba || !image.pixels) return 0;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    int32_t result = Png_Write(file, image.pixels, image.width, image.height);
    if (std::fflush(file) != 0) result = 0;
    if (std::fclose(file) != 0) result = 0;
    // A cut file must not pass for a saved picture.
    if (!result) std::remove(path.c_str());
    return result;
}
