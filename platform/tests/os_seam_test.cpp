#include "platform/os_seam.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

TEST(OsSeam, ReservedMemoryCommitsZeroedPagesAndDecommitsThem) {
    const std::size_t page = os::PageSize();
    ASSERT_GT(page, 0u);
    const std::size_t bytes = 64 * page;
    auto* base = static_cast<unsigned char*>(os::ReserveMemory(bytes));
    ASSERT_NE(base, nullptr);
    ASSERT_TRUE(os::CommitMemory(base, 4 * page));
    for (std::size_t i = 0; i < 4 * page; ++i) ASSERT_EQ(base[i], 0);
    std::memset(base, 0xAB, 4 * page);
    ASSERT_TRUE(os::DecommitMemory(base, 4 * page));
    ASSERT_TRUE(os::CommitMemory(base, 4 * page));
    EXPECT_EQ(base[0], 0);
    EXPECT_EQ(base[4 * page - 1], 0);
    os::ReleaseMemory(base, bytes);
}

TEST(OsSeam, RandomBytesComeFromTheSystemUnlessATestInjectsThem) {
    std::vector<unsigned char> a(64), b(64);
    ASSERT_TRUE(os::RandomBytes(a.data(), a.size()));
    ASSERT_TRUE(os::RandomBytes(b.data(), b.size()));
    EXPECT_NE(a, b);

    os::SetRandomSourceForTesting([](void* out, std::size_t n) {
        std::memset(out, 0x5A, n);
        return true;
    });
    ASSERT_TRUE(os::RandomBytes(a.data(), a.size()));
    EXPECT_EQ(a, std::vector<unsigned char>(64, 0x5A));
    os::SetRandomSourceForTesting(nullptr);
    ASSERT_TRUE(os::RandomBytes(a.data(), a.size()));
    EXPECT_NE(a, std::vector<unsigned char>(64, 0x5A));
}

TEST(OsSeam, ClocksAdvance) {
    std::uint64_t t0 = os::SteadyMilliseconds();
    std::uint64_t t1 = os::SteadyMilliseconds();
    EXPECT_GE(t1, t0);
    EXPECT_GT(os::WallClockSeconds(), 1600000000);  // after 2020
}

TEST(OsSeam, ModuleFolderEndsWithASeparator) {
    std::string folder = os::ModuleFolder();
    ASSERT_FALSE(folder.empty());
    char last = folder.back();
    EXPECT_TRUE(last == '/' || last == '\\');
}

TEST(OsSeam, ReplaceFileSwapsContentOverAnExistingTarget) {
    const std::string target = "os_seam_replace_target.tmp";
    const std::string source = "os_seam_replace_source.tmp";
    { std::ofstream(target) << "old"; }
    { std::ofstream(source) << "new"; }
    ASSERT_TRUE(os::ReplaceFileAtomically(source, target));
    std::ifstream in(target);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "new");
    in.close();
    std::remove(target.c_str());
    EXPECT_FALSE(os::ReplaceFileAtomically("os_seam_no_such_file.tmp", target));
}

TEST(OsSeam, UniqueTempFilesAreNewEmptyFilesWithThePrefix) {
    std::string first, second;
    ASSERT_TRUE(os::CreateUniqueTempFile("osq", &first));
    ASSERT_TRUE(os::CreateUniqueTempFile("osq", &second));
    EXPECT_NE(first, second);
    for (const std::string& path : {first, second}) {
        const std::size_t slash = path.find_last_of("\\/");
        ASSERT_NE(slash, std::string::npos) << path;
        EXPECT_EQ(path.compare(slash + 1, 3, "osq"), 0) << path;
        std::ifstream in(path, std::ios::binary);
        ASSERT_TRUE(in.good()) << path;
        EXPECT_EQ(in.peek(), std::ifstream::traits_type::eof());
        in.close();
        EXPECT_EQ(std::remove(path.c_str()), 0);
    }
}

}  // namespace
