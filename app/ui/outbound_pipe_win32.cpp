// The outbound named pipe: one live record per capture event for an outside
// listener. The user-interface thread only queues records; a writer thread
// waits for a listener, delivers the queue in order with overlapped writes,
// and after the listener leaves disconnects and waits for the next one.
// Its failures are not reported: records without a listener are lost.
#include "app/ui/pipe_queue.h"
#include "app/ui/shell_win32.h"

#include <memory>
#include <thread>

namespace {

constexpr DWORD kPipeOutputBuffer = 6984;  // one scan pipe record
constexpr DWORD kPipeTimeoutMs = 1000;
constexpr std::size_t kPipeQueueBound = 256;  // records a stalled listener may fall behind

struct PipeWriter {
    PipeQueue queue{kPipeQueueBound};
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread thread;
    ~PipeWriter() {
        if (stop) CloseHandle(stop);
        if (done) CloseHandle(done);
    }
};

PipeQueueCounts& LastCounts() {
    static PipeQueueCounts counts;
    return counts;
}

std::unique_ptr<PipeWriter>& Writer() {
    static std::unique_ptr<PipeWriter> writer;
    return writer;
}

// Waits for an overlapped operation or the stop event; false when stopped or
// failed (the operation is then cancelled).
bool Complete(HANDLE pipe, OVERLAPPED& overlapped, HANDLE stop) {
    const HANDLE events[2] = {overlapped.hEvent, stop};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIo(pipe);
        DWORD ignored = 0;
        GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);
        return false;
    }
    DWORD bytes = 0;
    return GetOverlappedResult(pipe, &overlapped, &bytes, FALSE) != 0;
}

bool WaitForListener(HANDLE pipe, HANDLE event, HANDLE stop) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    ResetEvent(event);
    if (ConnectNamedPipe(pipe, &overlapped)) return true;
    switch (GetLastError()) {
        case ERROR_PIPE_CONNECTED:
            return true;
        case ERROR_IO_PENDING:
            return Complete(pipe, overlapped, stop);
        default:
            // A listener that left before we saw it: start again.
            DisconnectNamedPipe(pipe);
            return WaitForSingleObject(stop, 50) != WAIT_OBJECT_0 && WaitForListener(pipe, event, stop);
    }
}

bool WriteRecord(HANDLE pipe, HANDLE event, HANDLE stop, const std::vector<unsigned char>& record) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    ResetEvent(event);
    if (WriteFile(pipe, record.data(), static_cast<DWORD>(record.size()), nullptr, &overlapped)) return true;
    return GetLastError() == ERROR_IO_PENDING && Complete(pipe, overlapped, stop);
}

void WriterLoop(HANDLE pipe, PipeWriter* writer) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<unsigned char> record;
    while (event && WaitForSingleObject(writer->stop, 0) != WAIT_OBJECT_0) {
        if (!WaitForListener(pipe, event, writer->stop)) continue;
        writer->queue.SetConnected(true);
        while (writer->queue.Pop(record))
            if (!WriteRecord(pipe, event, writer->stop, record)) break;
        writer->queue.SetConnected(false);
        DisconnectNamedPipe(pipe);
    }
    if (event) CloseHandle(event);
    SetEvent(writer->done);
}

}  // namespace

void Pipe_Create() {
    Pipe_Close();
    HANDLE pipe = CreateNamedPipeA("\\\\.\\Pipe\\TolvaranPipe", PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_MESSAGE | PIPE_WAIT, 1, kPipeOutputBuffer, 0, kPipeTimeoutMs, nullptr);
    Shell().pipe = pipe;
    if (pipe == INVALID_HANDLE_VALUE) return;
    auto writer = std::make_unique<PipeWriter>();
    if (!writer->stop || !writer->done) return;
    PipeWriter* raw = writer.get();
    writer->thread = std::thread(WriterLoop, pipe, raw);
    Writer() = std::move(writer);
}

void Pipe_Close() {
    if (std::unique_ptr<PipeWriter>& writer = Writer()) {
        SetEvent(writer->stop);
        writer->queue.Close();
        if (writer->thread.joinable()) writer->thread.join();
        LastCounts() = writer->queue.Counts();
        writer.reset();
    }
    HANDLE& pipe = Shell().pipe;
    if (pipe != INVALID_HANDLE_VALUE && pipe != nullptr) CloseHandle(pipe);
    pipe = INVALID_HANDLE_VALUE;
}

void Pipe_Write(const unsigned char* record, size_t size) {
    if (const std::unique_ptr<PipeWriter>& writer = Writer()) writer->queue.Push(record, size);
}

HANDLE App_GetPipe() { return Shell().pipe; }

PipeQueueCounts Pipe_Counts() {
    if (const std::unique_ptr<PipeWriter>& writer = Writer()) return writer->queue.Counts();
    return LastCounts();
}
