#include "platform/file_read_stream.h"
#include "platform/os_seam.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// A file of a known byte pattern larger than the stream's buffer, so that
// reads and seeks cross its refills.
class FileReadStreamTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(os::CreateUniqueTempFile("frs", &path_));
        bytes_.resize(200000);
        for (std::size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = static_cast<char>((i * 131u + i / 256u) & 0xFF);
        std::FILE* f = std::fopen(path_.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(bytes_.data(), 1, bytes_.size(), f), bytes_.size());
        std::fclose(f);
    }
    void TearDown() override { std::remove(path_.c_str()); }

    std::string path_;
    std::vector<char> bytes_;
};

TEST_F(FileReadStreamTest, ReadsEveryByteInChunksOfAnySize) {
    for (std::size_t chunk : {1u, 7u, 4096u, 65536u, 65537u, 150000u}) {
        SCOPED_TRACE(chunk);
        os::FileReadStream in(path_);
        ASSERT_TRUE(in.is_open());
        std::vector<char> got;
        std::vector<char> piece(chunk);
        while (in.read(piece.data(), static_cast<std::streamsize>(chunk)) || in.gcount() > 0) {
            got.insert(got.end(), piece.begin(), piece.begin() + in.gcount());
            if (!in) break;
        }
        EXPECT_TRUE(in.eof());
        EXPECT_EQ(got, bytes_);
    }
}

TEST_F(FileReadStreamTest, SeeksAndTellsFromEveryOrigin) {
    os::FileReadStream in(path_);
    char c = 0;
    in.seekg(0, std::ios::end);
    EXPECT_EQ(static_cast<long long>(in.tellg()), 200000);
    in.seekg(70000, std::ios::beg);
    ASSERT_TRUE(in.get(c));
    EXPECT_EQ(c, bytes_[70000]);
    // Relative to a position inside the buffer: what is buffered counts.
    in.seekg(-2, std::ios::cur);
    EXPECT_EQ(static_cast<long long>(in.tellg()), 69999);
    ASSERT_TRUE(in.get(c));
    EXPECT_EQ(c, bytes_[69999]);
    in.seekg(100000, std::ios::cur);
    ASSERT_TRUE(in.get(c));
    EXPECT_EQ(c, bytes_[170000]);
    in.seekg(-1, std::ios::end);
    ASSERT_TRUE(in.get(c));
    EXPECT_EQ(c, bytes_.back());
    EXPECT_FALSE(in.get(c));
}

TEST_F(FileReadStreamTest, AMissingFileOrAClosedStreamReadsNothing) {
    os::FileReadStream missing(path_ + ".missing");
    EXPECT_FALSE(missing.is_open());
    EXPECT_FALSE(missing);
    char c = 0;
    EXPECT_FALSE(missing.get(c));

    os::FileReadStream in(path_);
    in.close();
    EXPECT_FALSE(in.is_open());
    EXPECT_FALSE(in.get(c));
    // The closed file can be replaced at once.
    EXPECT_EQ(std::remove(path_.c_str()), 0);
}

TEST(FileSystemQueries, TellFilesFromFoldersAndListOnlyFiles) {
    std::string file;
    ASSERT_TRUE(os::CreateUniqueTempFile("fsq", &file));
    const std::size_t slash = file.find_last_of("\\/");
    const std::string folder = file.substr(0, slash + 1);
    const std::string name = file.substr(slash + 1);
    EXPECT_TRUE(os::IsFile(file));
    EXPECT_FALSE(os::IsFolder(file));
    EXPECT_TRUE(os::IsFolder(folder));
    EXPECT_FALSE(os::IsFile(folder));
    EXPECT_FALSE(os::IsFile(file + ".none"));
    EXPECT_FALSE(os::IsFolder(file + ".none"));
    bool listed = false;
    for (const std::string& entry : os::FilesInFolder(folder)) {
        EXPECT_NE(entry, ".");
        EXPECT_NE(entry, "..");
        listed = listed || entry == name;
    }
    EXPECT_TRUE(listed);
    EXPECT_TRUE(os::FilesInFolder(file + ".none").empty());
    std::remove(file.c_str());
}

}  // namespace
