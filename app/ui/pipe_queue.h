// The queue between the user-interface thread, which hands over pipe
// records, and the pipe's writer thread, which delivers them in order. A
// record handed over while no listener is connected is lost; one handed
// over while the queue holds its bound is dropped; both are counted.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

struct PipeQueueCounts {
    uint64_t delivered = 0;  // taken by the writer
    uint64_t dropped = 0;    // the queue was full
    uint64_t lost = 0;       // no listener
    std::size_t mostWaiting = 0;
};

class PipeQueue {
  public:
    explicit PipeQueue(std::size_t bound) : bound_(bound) {}

    // User-interface thread: never waits for the writer.
    void Push(const unsigned char* record, std::size_t size);

    // Writer thread: the next record, or false once the queue is closed.
    bool Pop(std::vector<unsigned char>& record);
    // A listener came (records are kept from now on) or left (the waiting
    // records are lost with it).
    void SetConnected(bool connected);
    // Wakes the writer for good.
    void Close();

    PipeQueueCounts Counts() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::vector<unsigned char>> records_;
    std::size_t bound_;
    bool connected_ = false;
    bool closed_ = false;
    PipeQueueCounts counts_;
};
