// The branding package read from files written here byte by byte: lookups by
// name and type, every refusal, damaged pictures and sizes, and a sweep of
// single-byte mutations and truncations of a complete package.
#include "app/base/app_messages.h"
#include "app/files/png_image.h"
#include "app/files/resource_package.h"
#include "app/files/tests/keyed_scratch_folder.h"
#include "app/files/tests/package_builder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

class ResourcePackageTest : public ::testing::Test {
  protected:
    ResourcePackageTest() {
        App_SetMessageSink([this](const AppMessage&) { ++boxes; });
    }
    ~ResourcePackageTest() override { App_SetMessageSink(nullptr); }

    ResourcePackage* Load(const Bytes& bytes) {
        const std::string path = folder.File("Tolvaran.exe");
        std::FILE* f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (!bytes.empty()) {
            EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        }
        std::fclose(f);
        return ResourcePackage_Load(path);
    }

    ScratchFolder folder;
    int boxes = 0;
};

TEST_F(ResourcePackageTest, ReadsEveryTypeAndLooksUpTheFirstEntryOfAName) {
    const Bytes logo = PngBytes(6, 4, 0x40);
    ResourcePackage* p = Load(PackageBuilder()
                                  .Text("product", std::string("Brightline", 11))
                                  .Picture("background", logo)
                                  .Number("fgcolour", "u32", 0x00A0B0C0)
                                  .Number("bgcolour", "i32", 0x112233)
                                  .Text("bgcolour", std::string("x", 2))
                                  .Number("company", "u32", 7)
                                  .Text("company", std::string("Later", 6))
                                  .Build());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->count, 7);
    EXPECT_STREQ(ResourcePackage_GetString(p, "product", "built-in"), "Brightline");
    EXPECT_STREQ(ResourcePackage_GetString(p, "Product", "built-in"), "built-in");  // names are case-sensitive
    const Image* image = ResourcePackage_GetImage(p, "background", nullptr);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 6);
    EXPECT_EQ(image->height, 4);
    EXPECT_EQ(image->pixels[0], 0x40);
    EXPECT_EQ(ResourcePackage_GetU32(p, "fgcolour", 1), 0x00A0B0C0u);
    // An i32 colour is not a u32 one, and the first entry of a name decides.
    EXPECT_EQ(ResourcePackage_GetU32(p, "bgcolour", 0x008000), 0x008000u);
    EXPECT_STREQ(ResourcePackage_GetString(p, "company", "built-in"), "built-in");
    EXPECT_EQ(ResourcePackage_GetImage(p, "product", nullptr), nullptr);
    EXPECT_EQ(ResourcePackage_GetU32(p, "missing", 5), 5u);
    ResourcePackage_Free(p);
    EXPECT_EQ(boxes, 0);
}

TEST_F(ResourcePackageTest, EmptyPackageAndNoPackageGiveTheDefaults) {
    ResourcePackage* empty = Load(PackageBuilder().Build());
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->count, 0);
    EXPECT_STREQ(ResourcePackage_GetString(empty, "product", "built-in"), "built-in");
    ResourcePackage_Free(empty);
    ResourcePackage* negative = Load(PackageBuilder().Text("product", "x").Count(-3).Build());
    ASSERT_NE(negative, nullptr);
    EXPECT_EQ(negative->count, 0);
    ResourcePackage_Free(negative);
    EXPECT_STREQ(ResourcePackage_GetString(nullptr, "product", "built-in"), "built-in");
    EXPECT_EQ(ResourcePackage_GetU32(nullptr, "bgcolour", 9), 9u);
    ResourcePackage_Free(nullptr);
    EXPECT_EQ(ResourcePackage_Load(folder.File("absent.exe")), nullptr);
}

TEST_F(ResourcePackageTest, TextWithoutTerminatorIsCutAtItsSize) {
    ResourcePackage* p = Load(PackageBuilder().Text("product", "Brightline").Number("after", "u32", 3).Build());
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(ResourcePackage_GetString(p, "product", ""), "Brightline");
    EXPECT_EQ(ResourcePackage_GetU32(p, "after", 0), 3u);
    ResourcePackage_Free(p);
}

TEST_F(ResourcePackageTest, CorruptPictureIsAbsentAndTheEntriesAfterItAreReadWhole) {
    Bytes broken = PngBytes(8, 8, 0x10);
    for (size_t i = 40; i < broken.size(); ++i) broken[i] ^= 0x5A;  // past the header: the data is garbage
    const Bytes good = PngBytes(3, 2, 0xC8);
    ResourcePackage* p = Load(PackageBuilder()
                                  .Picture("lmodeind", broken)
                                  .Picture("background", Bytes(broken.begin(), broken.begin() + 20))
                                  .Picture("helpabout", good)
                                  .Text("url", std::string("http://x/", 10))
                                  .Build());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(ResourcePackage_GetImage(p, "lmodeind", nullptr), nullptr);
    EXPECT_EQ(ResourcePackage_GetImage(p, "background", nullptr), nullptr);
    const Image* image = ResourcePackage_GetImage(p, "helpabout", nullptr);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 3);
    EXPECT_STREQ(ResourcePackage_GetString(p, "url", ""), "http://x/");
    ResourcePackage_Free(p);
    EXPECT_EQ(boxes, 0);  // the package reports nothing
}

TEST_F(ResourcePackageTest, FaultsOfThePackageGiveNoPackage) {
    PackageBuilder full;
    for (int i = 0; i < kResourcePackageEntries; ++i) full.Number("n" + std::to_string(i), "u32", i);
    PackageBuilder over = full;
    over.Number("n64", "u32", 64);
    const Bytes text = {'a', 'b', 0};
    struct Case {
        const char* what;
        Bytes file;
    } cases[] = {
        {"65 entries", over.Build()},
        {"bad magic", PackageBuilder().Text("product", "x").Build("TvResourcE")},
        {"negative offset", PackageBuilder().Text("product", "x").Build(kResourceMagic, -1000)},
        {"offset past the file", PackageBuilder().Text("product", "x").Build(kResourceMagic, 1 << 20)},
        {"unknown tag", PackageBuilder().Sized("product", "txt", text).Build()},
        {"size past the file", PackageBuilder().Sized("product", "str", text, 1 << 30).Build()},
        {"size into the trailer", PackageBuilder().Sized("product", "str", text, 4).Build()},
        {"negative size", PackageBuilder().Sized("product", "png", text, -5).Build()},
        {"more entries counted than written", PackageBuilder().Text("product", "x").Count(3).Build()},
        {"shorter than the trailer", Bytes(9, 'T')},
        {"empty file", Bytes()},
    };
    for (const Case& c : cases) {
        ResourcePackage* p = Load(c.file);
        EXPECT_EQ(p, nullptr) << c.what;
        ResourcePackage_Free(p);
    }
    ResourcePackage* p = Load(full.Build());
    ASSERT_NE(p, nullptr) << "64 entries fill the table";
    EXPECT_EQ(ResourcePackage_GetU32(p, "n63", 0), 63u);
    ResourcePackage_Free(p);
}

TEST_F(ResourcePackageTest, TypeTags) {
    struct Case {
        const char* bytes;
        int32_t code;
    } cases[] = {{"str", 0}, {"png", 1}, {"u32", 2}, {"i32", 3}, {"STR", -1}, {"u3", -1}, {"i64", -1}};
    for (const Case& c : cases) {
        std::FILE* f = std::tmpfile();
        std::fwrite(c.bytes, 1, std::strlen(c.bytes), f);
        std::rewind(f);
        EXPECT_EQ(ResourcePackage_ReadTypeTag(f), c.code) << c.bytes;
        std::fclose(f);
    }
    EXPECT_EQ(ResourcePackage_ReadTypeTag(nullptr), -1);
}

// Every byte of a complete package changed, and the file cut at every length:
// the reader must neither crash nor read beyond what it owns (the sanitizers
// watch), and whatever it returns must be freed cleanly.
TEST_F(ResourcePackageTest, MutationSweepNeverCrashes) {
    const Bytes good = PackageBuilder(16)
                           .Text("product", std::string("Brightline", 11))
                           .Picture("background", PngBytes(4, 4, 0x77))
                           .Number("bgcolour", "u32", 0x123456)
                           .Text("url", std::string("http://b/", 10))
                           .Build();
    int loaded = 0;
    for (size_t i = 0; i < good.size(); ++i) {
        for (const uint8_t change : {uint8_t(0x01), uint8_t(0x80), uint8_t(0xFF)}) {
            Bytes file = good;
            file[i] ^= change;
            ResourcePackage* p = Load(file);
            if (p) {
                ++loaded;
                const char* text = ResourcePackage_GetString(p, "product", "");
                EXPECT_LE(std::strlen(text), 11u);
                ResourcePackage_GetImage(p, "background", nullptr);
            }
            ResourcePackage_Free(p);
        }
    }
    for (size_t cut = 0; cut < good.size(); ++cut) ResourcePackage_Free(Load(Bytes(good.begin(), good.begin() + cut)));
    EXPECT_GT(loaded, 0);
    EXPECT_EQ(boxes, 0);
}

}  // namespace
