#include "app/acquisition/error_dump.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "app/acquisition/field_format.h"
#include "app/acquisition/hardware_trace.h"
#include "platform/os_seam.h"

namespace {

const char* const kKindNames[] = {"FieldFraming", "PUVersion", "SerialNumber"};

struct QueuedField {
    FieldDumpKind kind;
    std::size_t bytes;
    unsigned char data[kFieldBytes];
};

// A ring with one producer (the thread that dumps) and one consumer (the
// writer, or CloseErrorDumps once the writer has stopped). The producer
// advances `g_queued` after filling a slot, the consumer `g_written` after
// emptying one; neither waits for the other.
QueuedField g_queue[kErrorDumpQueueLength];
std::atomic<std::uint32_t> g_queued{0};
std::atomic<std::uint32_t> g_written{0};
std::atomic<std::int32_t> g_dropped{0};

// The files belong to the consumer.
std::FILE* g_files[3] = {nullptr, nullptr, nullptr};
// The file each kind started in this run: a restarted acquisition thread
// opens it again to append, so the run keeps every dump.
std::string g_started[3];

// Never destroyed: the program may end while the writer still runs.
struct Writer {
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;  // under mutex
};

Writer& TheWriter() {
    static Writer* writer = new Writer;
    return *writer;
}

std::FILE* FileOf(FieldDumpKind kind) {
    const int index = static_cast<int>(kind);
    if (!g_files[index]) {
        std::string folder;
        if (!GetTempFolder(folder)) return nullptr;
        if (folder.back() != '/' && folder.back() != os::PathSeparator()) folder += os::PathSeparator();
        const std::string path = folder + "Tolvaran_" + kKindNames[index] + "Error.dat";
        g_files[index] = std::fopen(path.c_str(), g_started[index] == path ? "ab" : "wb");
        if (g_files[index]) g_started[index] = path;
    }
    return g_files[index];
}

// Writes every queued field to its file; consumer only.
void WriteQueued() {
    std::uint32_t written = g_written.load(std::memory_order_relaxed);
    const std::uint32_t queued = g_queued.load(std::memory_order_acquire);
    bool wrote = false;
    for (; written != queued; ++written) {
        const QueuedField& field = g_queue[written % kErrorDumpQueueLength];
        if (std::FILE* file = FileOf(field.kind)) {
            std::fwrite(field.data, 1, field.bytes, file);
            wrote = true;
        }
        g_written.store(written + 1, std::memory_order_release);
    }
    if (!wrote) return;
    for (std::FILE* file : g_files)
        if (file) std::fflush(file);
}

void WriterLoop() {
    Writer& writer = TheWriter();
    std::unique_lock<std::mutex> lock(writer.mutex);
    while (!writer.stop) {
        // The producer does not take the mutex, so a wake-up can be missed:
        // the wait is bounded.
        writer.wake.wait_for(lock, std::chrono::milliseconds(200), [&writer] {
            return writer.stop || g_queued.load(std::memory_order_acquire) != g_written.load(std::memory_order_relaxed);
        });
        lock.unlock();
        WriteQueued();
        lock.lock();
    }
}

}  // namespace

bool GetTempFolder(std::string& out) {
    const char* temp = std::getenv("temp");
    if (!temp || !*temp) temp = std::getenv("TEMP");
    if (temp && *temp) {
        out = temp;
        return true;
    }
    const char* drive = std::getenv("SystemDrive");
    if (drive && *drive) {
        out = drive;
        return true;
    }
    return false;
}

void StartErrorDumpWriter() {
    Writer& writer = TheWriter();
    if (writer.thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(writer.mutex);
        writer.stop = false;
    }
    try {
        writer.thread = std::thread(WriterLoop);
    } catch (const std::system_error&) {
        // Without a writer the queue waits for CloseErrorDumps.
        TraceHardware("ErrorDump: no writer thread\n");
    }
}

void DumpErrorField(FieldDumpKind kind, const void* field, std::size_t bytes) {
    const std::uint32_t queued = g_queued.load(std::memory_order_relaxed);
    if (queued - g_written.load(std::memory_order_acquire) >= kErrorDumpQueueLength) {
        g_dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    QueuedField& slot = g_queue[queued % kErrorDumpQueueLength];
    slot.kind = kind;
    slot.bytes = bytes < sizeof slot.data ? bytes : sizeof slot.data;
    std::memcpy(slot.data, field, slot.bytes);
    g_queued.store(queued + 1, std::memory_order_release);
    TheWriter().wake.notify_one();
}

std::int32_t ErrorDumpsDropped() { return g_dropped.load(std::memory_order_relaxed); }

void CloseErrorDumps() {
    Writer& writer = TheWriter();
    if (writer.thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(writer.mutex);
            writer.stop = true;
        }
        writer.wake.notify_one();
        writer.thread.join();
    }
    WriteQueued();
    for (std::FILE*& file : g_files) {
        if (file) std::fclose(file);
        file = nullptr;
    }
    if (const std::int32_t dropped = g_dropped.exchange(0))
        TraceHardware("ErrorDump: %d bad field(s) not dumped, the writer fell behind\n", static_cast<int>(dropped));
}
