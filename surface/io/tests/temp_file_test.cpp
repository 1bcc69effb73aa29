#include "surface/io/temp_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

bool Exists(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
}

std::string BaseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    const char* back = std::strrchr(path, '\\');
    if (back != nullptr && (slash == nullptr || back > slash)) slash = back;
    return slash != nullptr ? slash + 1 : path;
}

TEST(TempFileTest, OpensUniqueReadWriteFilesThatCloseAndDeleteRemoves) {
    char first[kTempPathSize], second[kTempPathSize];
    std::FILE* a = TempFile_Open(nullptr, first);
    std::FILE* b = TempFile_Open("mix", second);
    ASSERT_NE(nullptr, a);
    ASSERT_NE(nullptr, b);
    EXPECT_STRNE(first, second);
    EXPECT_EQ(0, BaseName(first).compare(0, 3, "qel")) << first;
    EXPECT_EQ(0, BaseName(second).compare(0, 3, "mix")) << second;
    EXPECT_TRUE(Exists(first));

    const char bytes[4] = {'\n', 0, '\r', 'x'};
    ASSERT_EQ(4u, std::fwrite(bytes, 1, 4, a));
    std::rewind(a);
    char back[4] = {};
    ASSERT_EQ(4u, std::fread(back, 1, 4, a));
    EXPECT_EQ(0, std::memcmp(bytes, back, 4)) << "binary mode keeps every byte";

    TempFile_CloseAndDelete(a, first);
    TempFile_CloseAndDelete(b, second);
    EXPECT_FALSE(Exists(first));
    EXPECT_FALSE(Exists(second));
    TempFile_CloseAndDelete(nullptr, first);  // nothing to do
    EXPECT_EQ(nullptr, TempFile_Open(nullptr, nullptr));
}

}  // namespace
