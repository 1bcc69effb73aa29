// PNG pictures against an independent reader and writer (Python's imaging
// library), the formats refused with their messages, and writes that fail.
#include "app/base/app_messages.h"
#include "app/files/png_image.h"
#include "app/files/tests/keyed_scratch_folder.h"

#include <gtest/gtest.h>

#ifdef __SANITIZE_ADDRESS__
// The address sanitizer's allocation interface (its header is not installed
// with every compiler).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
extern "C" size_t __sanitizer_get_allocated_size(const volatile void*);
#endif

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

#ifndef _WIN32
// Runs a Python snippet with Debian's interpreter; its output, or "" when it failed.
std::string Python(const std::string& script) {
    const std::string command = "/usr/bin/python3 -c '" + script + "' 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return "";
    std::string out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    return pclose(pipe) == 0 ? out : "";
}

bool HavePil() { return Python("import PIL; print(1)") == "1\n"; }
#endif

struct Messages {
    Messages() {
        App_SetMessageSink([this](const AppMessage& m) { shown.push_back(m); });
    }
    ~Messages() { App_SetMessageSink(nullptr); }
    std::vector<AppMessage> shown;
};

Image Gradient(int32_t w, int32_t h) {
    Image image;
    EXPECT_TRUE(Image_Allocate(image, kImageRgba, w, h));
    for (int32_t i = 0; i < w * h * 4; ++i) image.pixels[i] = static_cast<uint8_t>(i * 7 + i / 4);
    return image;
}

int32_t LoadFile(const std::string& path, Image& image) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    const int32_t result = Png_Load(file, image);
    if (file) std::fclose(file);
    return result;
}

TEST(PngFiles, RgbaSnapshotRoundTripsThroughOurReaderAndAnIndependentOne) {
    ScratchFolder folder;
    Image image = Gradient(5, 3);
    const std::string path = folder.File("snap.png");
    ASSERT_EQ(Png_SaveFile(image, path), 1);
    Image back;
    ASSERT_EQ(LoadFile(path, back), 1);
    EXPECT_EQ(back.format, kImageRgba);
    ASSERT_EQ(back.width, 5);
    ASSERT_EQ(back.height, 3);
    EXPECT_EQ(std::memcmp(back.pixels, image.pixels, 5 * 3 * 4), 0);
#ifndef _WIN32
    if (HavePil()) {
        // The top row comes first: pixel (0, 0) is the buffer's first four bytes.
        const std::string seen =
            Python("from PIL import Image; i = Image.open(\"" + path +
                   "\"); print(i.mode, i.size[0], i.size[1], i.getpixel((0, 0)), i.getpixel((4, 2)))");
        char expected[128];
        const uint8_t* last = image.pixels + (2 * 5 + 4) * 4;
        std::snprintf(expected, sizeof expected, "RGBA 5 3 (%d, %d, %d, %d) (%d, %d, %d, %d)\n", image.pixels[0],
                      image.pixels[1], image.pixels[2], image.pixels[3], last[0], last[1], last[2], last[3]);
        EXPECT_EQ(seen, expected);
    }
#endif
    Image_Free(&image);
    Image_Free(&back);
}

#ifndef _WIN32
TEST(PngFiles, ReadsEveryEightBitLayoutAnotherWriterMakes) {
    if (!HavePil()) GTEST_SKIP() << "python3-pil is not installed";
    ScratchFolder folder;
    struct Case {
        const char* mode;
        int32_t format;
        int32_t bytes;
    };
    const Case cases[] = {
        {"RGBA", kImageRgba, 4}, {"RGB", kImageRgb, 3}, {"L", kImageGrey, 1}, {"LA", kImageGreyAlpha, 2}};
    for (const Case& c : cases) {
        const std::string path = folder.File(std::string(c.mode) + ".png");
        // Pixel (x, y) of every channel k holds 10 * x + 50 * y + k.
        Python("from PIL import Image; m = \"" + std::string(c.mode) +
               "\"; n = len(m); i = Image.new(m, (4, 2)); "
               "[i.putpixel((x, y), tuple(10 * x + 50 * y + k for k in range(n)) if n > 1 else 10 * x + 50 * y) "
               "for x in range(4) for y in range(2)]; i.save(\"" +
               path + "\")");
        Image image;
        Messages messages;
        ASSERT_EQ(LoadFile(path, image), 1) << c.mode;
        EXPECT_EQ(image.format, c.format) << c.mode;
        EXPECT_EQ(image.width, 4);
        EXPECT_EQ(image.height, 2);
        const uint8_t* p = image.pixels + (1 * 4 + 3) * c.bytes;  // (3, 1)
        for (int k = 0; k < c.bytes; ++k) EXPECT_EQ(p[k], 30 + 50 + k) << c.mode << k;
        EXPECT_TRUE(messages.shown.empty());
        Image_Free(&image);
    }
}

TEST(PngFiles, SixteenBitAndPaletteAreRefusedWithTheirMessages) {
    if (!HavePil()) GTEST_SKIP() << "python3-pil is not installed";
    ScratchFolder folder;
    const std::string deep = folder.File("deep.png"), palette = folder.File("palette.png");
    Python("from PIL import Image; Image.new(\"I;16\", (3, 3)).save(\"" + deep +
           "\"); p = Image.new(\"P\", (3, 3)); p.putpalette(list(range(256)) * 3); "
           "p.save(\"" +
           palette + "\")");
    struct Case {
        std::string path;
        const char* key;
    };
    for (const Case& c :
         {Case{deep, "ErrorImageLoadingInvalidBitDepth"}, Case{palette, "ErrorImageLoadingInvalidColourType"}}) {
        Messages messages;
        App_SetTextLookup([](const std::string& key) { return key + " {bit_depth}"; });
        Image image;
        EXPECT_EQ(LoadFile(c.path, image), 0) << c.key;
        EXPECT_EQ(image.pixels, nullptr);
        EXPECT_EQ(image.format, kImageEmpty);
        ASSERT_EQ(messages.shown.size(), 1u) << c.key;
        EXPECT_EQ(messages.shown[0].textKey, c.key);
        if (std::string(c.key) == "ErrorImageLoadingInvalidBitDepth") {
            EXPECT_EQ(messages.shown[0].text, "ErrorImageLoadingInvalidBitDepth 16");
        }
        App_SetTextLookup(nullptr);
    }
}
#endif

TEST(PngFiles, DamagedInputGivesOneMessageAndAnEmptyImage) {
    ScratchFolder folder;
    Image image = Gradient(8, 8);
    const std::string path = folder.File("cut.png");
    ASSERT_EQ(Png_SaveFile(image, path), 1);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    std::vector<char> bytes(4096);
    const size_t n = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, n / 2, file);
    std::fclose(file);
    Messages messages;
    Image back;
    EXPECT_EQ(LoadFile(path, back), 0);
    EXPECT_EQ(back.pixels, nullptr);
    EXPECT_EQ(messages.shown.size(), 1u);
    Image_Free(&image);
}

TEST(PngFiles, FailedWritesReportZeroAndLeaveNoFile) {
    ScratchFolder folder;
    Image image = Gradient(4, 4);
    // A stream that cannot be written.
    const std::string existing = folder.File("existing.png");
    ASSERT_EQ(Png_SaveFile(image, existing), 1);
    std::FILE* readOnly = std::fopen(existing.c_str(), "rb");
    EXPECT_EQ(Png_Write(readOnly, image.pixels, 4, 4), 0);
    std::fclose(readOnly);
    // An empty view: the library refuses a zero size instead of ending the program.
    Image empty;
    ASSERT_TRUE(Image_Allocate(empty, kImageRgba, 0, 0));
    const std::string nothing = folder.File("empty.png");
    EXPECT_EQ(Png_SaveFile(empty, nothing), 0);
    EXPECT_FALSE(std::filesystem::exists(nothing));
    // Only RGBA is written, and a folder that is not there gives 0.
    Image rgb;
    ASSERT_TRUE(Image_Allocate(rgb, kImageRgb, 2, 2));
    EXPECT_EQ(Png_SaveFile(rgb, folder.File("rgb.png")), 0);
    EXPECT_EQ(Png_SaveFile(image, folder.File("missing/x.png")), 0);
    EXPECT_EQ(folder.Names(), std::vector<std::string>({"existing.png"}));
    Image_Free(&image);
    Image_Free(&empty);
    Image_Free(&rgb);
}

// A PNG file of a few bytes whose header claims a picture of the given size:
// the signature, the header chunk, one chunk of a little compressed data and
// the end chunk, each with its right check sum.
std::vector<unsigned char> ClaimedPng(uint32_t width, uint32_t height) {
    auto crc = [](const unsigned char* p, size_t n) {
        uint32_t c = 0xFFFFFFFFu;
        for (size_t i = 0; i < n; ++i) {
            c ^= p[i];
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
        }
        return c ^ 0xFFFFFFFFu;
    };
    std::vector<unsigned char> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    auto put32 = [](std::vector<unsigned char>& v, uint32_t x) {
        for (int shift = 24; shift >= 0; shift -= 8) v.push_back(static_cast<unsigned char>(x >> shift));
    };
    auto chunk = [&](const char* type, const std::vector<unsigned char>& data) {
        put32(out, static_cast<uint32_t>(data.size()));
        std::vector<unsigned char> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        out.insert(out.end(), body.begin(), body.end());
        put32(out, crc(body.data(), body.size()));
    };
    std::vector<unsigned char> header;
    put32(header, width);
    put32(header, height);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, not interlaced
    chunk("IHDR", header);
    // The one row of a 1 x 1 picture: its filter byte and a black pixel.
    chunk("IDAT", {0x78, 0xDA, 0x63, 0x60, 0x60, 0x60, 0x00, 0x00, 0x00, 0x04, 0x00, 0x01});
    chunk("IEND", {});
    return out;
}

#ifdef __SANITIZE_ADDRESS__
// The most heap memory held at once while a watch lives, counted through the
// address sanitizer's allocation hooks (every malloc, also the PNG library's).
std::atomic<std::int64_t> g_heldBytes{0}, g_mostHeldBytes{0};
void OnMalloc(const volatile void* p, size_t size) {
    const std::int64_t held = g_heldBytes += static_cast<std::int64_t>(size);
    std::int64_t most = g_mostHeldBytes;
    while (held > most && !g_mostHeldBytes.compare_exchange_weak(most, held)) {
    }
    (void)p;
}
void OnFree(const volatile void* p) {
    if (p) g_heldBytes -= static_cast<std::int64_t>(__sanitizer_get_allocated_size(p));
}
struct HeapWatch {
    HeapWatch() {
        g_heldBytes = g_mostHeldBytes = 0;
        __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
    }
    ~HeapWatch() { __sanitizer_install_malloc_and_free_hooks(nullptr, nullptr); }
    std::int64_t MostHeld() const { return g_mostHeldBytes; }
};
#endif

TEST(PngFiles, AHeaderLargerThanItsFileIsRefusedBeforeAnyRowIsMade) {
    ScratchFolder folder;
    const std::string path = folder.File("claims.png");
    const std::vector<unsigned char> bytes = ClaimedPng(20000, 20000);
    ASSERT_LT(bytes.size(), 128u);
    WriteWholeFile(path, bytes);
    Messages messages;
    Image image;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    {
#ifdef __SANITIZE_ADDRESS__
        HeapWatch watch;
#endif
        EXPECT_EQ(Png_Load(file, image), 0);
#ifdef __SANITIZE_ADDRESS__
        // Refused on its header: none of its 1.2 GB of rows was asked for.
        EXPECT_LT(watch.MostHeld(), std::int64_t{1} << 20);
#endif
    }
    std::fclose(file);
    EXPECT_EQ(image.pixels, nullptr);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].textKey, "ErrorCouldNotLoadImage");
    // A picture that its bytes can hold still loads.
    const std::vector<unsigned char> small = ClaimedPng(1, 1);
    WriteWholeFile(path, small);
    Messages none;
    EXPECT_EQ(LoadFile(path, image), 1);
    EXPECT_EQ(image.width, 1);
    EXPECT_TRUE(none.shown.empty());
    Image_Free(&image);
}

}  // namespace
