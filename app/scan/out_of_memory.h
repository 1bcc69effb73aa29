// The program's one out-of-memory exception. Growing a large reserved block
// beyond its reservation (or failing to commit it) throws it; the places that
// must survive running out of memory (profile processing, the surface build,
// loading and purging a scan) catch it and turn it into their result code.
#pragma once

#include <new>

class OutOfMemoryError : public std::bad_alloc {
public:
    const char* what() const noexcept override { return "out of memory"; }
};
