// A binary input stream over a C file, for reading the program's files.
//
// std::ifstream is not used in the program: the C++ run-time's file buffer
// asks the system run-time for _fstat64, which the msvcrt.dll of Windows 2000
// does not have, so a program that links it does not start there. This
// stream reads through fopen/fread/fseek, which every system has.
#pragma once

#include <cstdio>
#include <istream>
#include <streambuf>
#include <string>

namespace os {

class FileReadBuffer : public std::streambuf {
  public:
    explicit FileReadBuffer(std::FILE* file) : file_(file) {}

  protected:
    int_type underflow() override;
    std::streamsize xsgetn(char* out, std::streamsize count) override;
    pos_type seekoff(off_type offset, std::ios_base::seekdir from, std::ios_base::openmode) override;
    pos_type seekpos(pos_type position, std::ios_base::openmode mode) override;

  private:
    std::FILE* file_;
    char buffer_[64 * 1024];
};

class FileReadStream : public std::istream {
  public:
    // Opens `path` (in the system's code page) for binary reading; a file that
    // cannot be opened leaves the stream failed.
    explicit FileReadStream(const std::string& path);
    ~FileReadStream() override;
    FileReadStream(const FileReadStream&) = delete;
    FileReadStream& operator=(const FileReadStream&) = delete;

    bool is_open() const { return file_ != nullptr; }
    // Closes the file (so that it can be replaced); the stream is then failed.
    void close();

  private:
    std::FILE* file_;
    FileReadBuffer buffer_;
};

}  // namespace os
