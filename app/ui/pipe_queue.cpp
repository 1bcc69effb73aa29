#include "app/ui/pipe_queue.h"

#include <algorithm>

void PipeQueue::Push(const unsigned char* record, std::size_t size) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_ || !connected_) {
            ++counts_.lost;
            return;
        }
        if (records_.size() >= bound_) {
            ++counts_.dropped;
            return;
        }
        records_.emplace_back(record, record + size);
        counts_.mostWaiting = std::max(counts_.mostWaiting, records_.size());
    }
    ready_.notify_one();
}

bool PipeQueue::Pop(std::vector<unsigned char>& record) {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return closed_ || !records_.empty(); });
    if (closed_) return false;
    record.swap(records_.front());
    records_.pop_front();
    ++counts_.delivered;
    return true;
}

void PipeQueue::SetConnected(bool connected) {
    std::lock_guard<std::mutex> lock(mutex_);
    connected_ = connected;
    if (!connected) {
        counts_.lost += records_.size();
        records_.clear();
    }
}

void PipeQueue::Close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    ready_.notify_all();
}

PipeQueueCounts PipeQueue::Counts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counts_;
}
