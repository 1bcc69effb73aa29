#include "app/files/safe_file_write.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "app/files/tests/keyed_scratch_folder.h"

namespace {

using files::SafeFileWriter;

std::vector<unsigned char> Pattern(std::size_t size, unsigned seed) {
    std::vector<unsigned char> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(i * 31 + seed);
    return bytes;
}

struct DiskFullGuard {
    explicit DiskFullGuard(std::int64_t bytes) { files::SetSafeWriteDiskFullAfterForTesting(bytes); }
    ~DiskFullGuard() { files::SetSafeWriteDiskFullAfterForTesting(-1); }
};

TEST(SafeFileWrite, CreatesAndReplacesWithoutLeavingTemporaries) {
    ScratchFolder folder;
    const std::string target = folder.File("data.bin");
    for (unsigned round = 0; round < 2; ++round) {
        auto bytes = Pattern(10000 + round, round);
        std::string error;
        ASSERT_TRUE(files::WriteFileSafely(target, bytes.data(), bytes.size(), &error)) << error;
        EXPECT_EQ(ReadWholeFile(target), bytes);
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"data.bin"});
    }
}

TEST(SafeFileWrite, TemporaryFileSitsBesideTheTarget) {
    ScratchFolder folder;
    SafeFileWriter writer;
    ASSERT_TRUE(writer.Open(folder.File("out.dat")));
    EXPECT_EQ(writer.TemporaryPath().rfind(folder.File("out.dat"), 0), 0u);
    EXPECT_EQ(folder.Names().size(), 1u);
    ASSERT_TRUE(writer.Write("abc", 3));
    ASSERT_TRUE(writer.Commit());
    EXPECT_EQ(ReadWholeFile(folder.File("out.dat")), (std::vector<unsigned char>{'a', 'b', 'c'}));
}

// A disk that fills up half-way through the new content, at several points,
// leaves the old file exactly as it was and no temporary file behind.
TEST(SafeFileWrite, DiskFullHalfWayKeepsTheOldFile) {
    ScratchFolder folder;
    const std::string target = folder.File("calibration.cal");
    const auto old = Pattern(5000, 7);
    WriteWholeFile(target, old);
    const auto replacement = Pattern(20000, 3);
    for (std::int64_t limit : {0, 1, 4095, 10000, 19999}) {
        DiskFullGuard full(limit);
        SafeFileWriter writer;
        ASSERT_TRUE(writer.Open(target));
        bool wrote = true;
        for (std::size_t at = 0; at < replacement.size() && wrote; at += 1000)
            wrote = writer.Write(replacement.data() + at, 1000);
        EXPECT_FALSE(wrote) << limit;
        EXPECT_FALSE(writer.Write("x", 1)) << "a failed writer keeps failing";
        EXPECT_FALSE(writer.Commit()) << limit;
        EXPECT_EQ(writer.ErrorNumber(), ENOSPC);
        EXPECT_FALSE(writer.ErrorText().empty());
        EXPECT_EQ(ReadWholeFile(target), old) << limit;
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"calibration.cal"}) << limit;
    }
    std::string error;
    {
        DiskFullGuard full(100);
        EXPECT_FALSE(files::WriteFileSafely(target, replacement.data(), replacement.size(), &error));
    }
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadWholeFile(target), old);
}

TEST(SafeFileWrite, AbandonedWriteKeepsTheOldFile) {
    ScratchFolder folder;
    const std::string target = folder.File("settings.rsc");
    const auto old = Pattern(300, 1);
    WriteWholeFile(target, old);
    {
        SafeFileWriter writer;
        ASSERT_TRUE(writer.Open(target));
        ASSERT_TRUE(writer.Write("partial", 7));
    }  // destroyed without Commit
    EXPECT_EQ(ReadWholeFile(target), old);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"settings.rsc"});
}

TEST(SafeFileWrite, FailuresToOpenOrReplaceAreReported) {
    ScratchFolder folder;
    SafeFileWriter missingFolder;
    EXPECT_FALSE(missingFolder.Open(folder.File("no-such-folder/file.bin")));
    EXPECT_EQ(missingFolder.ErrorNumber(), ENOENT);
    EXPECT_FALSE(missingFolder.Write("x", 1));
    EXPECT_FALSE(missingFolder.Commit());

    // A folder in the target's place cannot be replaced by a file.
    const std::string blocked = folder.File("blocked");
    std::filesystem::create_directory(blocked);
    WriteWholeFile(folder.File("blocked/keep"), {1, 2, 3});
    SafeFileWriter writer;
    ASSERT_TRUE(writer.Open(blocked));
    ASSERT_TRUE(writer.Write("data", 4));
    EXPECT_FALSE(writer.Commit());
    EXPECT_TRUE(writer.Failed());
    EXPECT_EQ(ReadWholeFile(folder.File("blocked/keep")), (std::vector<unsigned char>{1, 2, 3}));
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"blocked"});
}

}  // namespace
