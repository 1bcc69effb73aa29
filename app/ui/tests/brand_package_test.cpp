// The branding record read from a program file with a package appended, and
// from one without: the built-in values stay where the package has nothing
// of the right name and type.
#include "app/files/tests/keyed_scratch_folder.h"
#include "app/files/tests/package_builder.h"
#include "app/ui/brand_package.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

class BrandPackageTest : public ::testing::Test {
  protected:
    void TearDown() override {
        BrandPackage_Free();
        Brand_SetPackageReader(nullptr);
        Brand_Load();
    }
    std::string Program(const Bytes& bytes) {
        const std::string path = folder.File("Tolvaran.exe");
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return path;
    }
    ScratchFolder folder;
};

TEST_F(BrandPackageTest, PackageEntriesOverlayTheBuiltInValues) {
    BrandInfo builtIn;
    Brand_SetBuiltInDefaults(builtIn);
    BrandPackage_Install(Program(PackageBuilder()
                                     .Text("product", std::string("Brightline", 11))
                                     .Text("company", std::string("Lumen Works", 12))
                                     .Picture("background", PngBytes(5, 3, 0x20))
                                     .Number("fgcolour", "u32", 0x00FFEEDD)
                                     .Number("bgcolour", "i32", 0x00010203)
                                     .Build()));
    Brand_Load();
    const BrandInfo& brand = Brand_Get();
    EXPECT_EQ(brand.product, "Brightline");
    EXPECT_STREQ(App_GetProductName(), "Brightline");
    EXPECT_EQ(brand.company, "Lumen Works");
    EXPECT_EQ(brand.url, builtIn.url);
    EXPECT_EQ(brand.version, kProductVersion);
    ASSERT_NE(brand.background, nullptr);
    EXPECT_EQ(brand.background->width, 5);
    EXPECT_EQ(brand.helpabout, brand.background);  // the about box shows the logo without a picture of its own
    EXPECT_EQ(brand.fgcolour, 0x00FFEEDDu);
    EXPECT_EQ(brand.bgcolour, builtIn.bgcolour);  // an i32 colour is not read
    BrandPackage_Free();
    EXPECT_EQ(Brand_Get().background, nullptr);
    EXPECT_EQ(Brand_Get().helpabout, nullptr);
}

TEST_F(BrandPackageTest, ProgramWithoutPackageKeepsTheBuiltInValues) {
    BrandInfo builtIn;
    Brand_SetBuiltInDefaults(builtIn);
    for (const Bytes& file : {Bytes(4000, 0x4D), PackageBuilder().Text("product", "x").Build("TvResourcX")}) {
        BrandPackage_Install(Program(file));
        Brand_Load();
        EXPECT_EQ(Brand_Get().product, builtIn.product);
        EXPECT_EQ(Brand_Get().background, nullptr);
        EXPECT_EQ(Brand_Get().bgcolour, builtIn.bgcolour);
    }
}

}  // namespace
