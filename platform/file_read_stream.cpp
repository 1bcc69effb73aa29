#include "platform/file_read_stream.h"

#include <climits>
#include <cstring>

namespace os {

FileReadBuffer::int_type FileReadBuffer::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    const std::size_t got = std::fread(buffer_, 1, sizeof buffer_, file_);
    if (got == 0) return traits_type::eof();
    setg(buffer_, buffer_, buffer_ + got);
    return traits_type::to_int_type(*gptr());
}

// What is buffered first, then large reads straight from the file.
std::streamsize FileReadBuffer::xsgetn(char* out, std::streamsize count) {
    std::streamsize done = 0;
    const std::streamsize buffered = egptr() - gptr();
    if (buffered > 0) {
        done = buffered < count ? buffered : count;
        std::memcpy(out, gptr(), static_cast<std::size_t>(done));
        gbump(static_cast<int>(done));
    }
    if (done < count && count - done >= static_cast<std::streamsize>(sizeof buffer_)) {
        done += static_cast<std::streamsize>(std::fread(out + done, 1, static_cast<std::size_t>(count - done), file_));
    }
    while (done < count && underflow() != traits_type::eof()) {
        const std::streamsize take = egptr() - gptr() < count - done ? egptr() - gptr() : count - done;
        std::memcpy(out + done, gptr(), static_cast<std::size_t>(take));
        gbump(static_cast<int>(take));
        done += take;
    }
    return done;
}

FileReadBuffer::pos_type FileReadBuffer::seekoff(off_type offset, std::ios_base::seekdir from,
                                                 std::ios_base::openmode) {
    const pos_type failed = pos_type(off_type(-1));
    int whence = SEEK_SET;
    if (from == std::ios_base::cur) {
        // The file stands past what is still buffered.
        offset -= egptr() - gptr();
        whence = SEEK_CUR;
    } else if (from == std::ios_base::end) {
        whence = SEEK_END;
    }
    if (offset > LONG_MAX || offset < LONG_MIN) return failed;
    setg(buffer_, buffer_, buffer_);
    if (std::fseek(file_, static_cast<long>(offset), whence) != 0) return failed;
    const long at = std::ftell(file_);
    return at < 0 ? failed : pos_type(off_type(at));
}

FileReadBuffer::pos_type FileReadBuffer::seekpos(pos_type position, std::ios_base::openmode mode) {
    return seekoff(off_type(position), std::ios_base::beg, mode);
}

FileReadStream::FileReadStream(const std::string& path)
    : std::istream(nullptr), file_(std::fopen(path.c_str(), "rb")), buffer_(file_) {
    if (file_) {
        rdbuf(&buffer_);
    } else {
        setstate(std::ios_base::failbit);
    }
}

FileReadStream::~FileReadStream() { close(); }

void FileReadStream::close() {
    if (!file_) return;
    std::fclose(file_);
    file_ = nullptr;
    rdbuf(nullptr);  // nothing reads the closed file; the stream is bad from here

}

}  // namespace os
