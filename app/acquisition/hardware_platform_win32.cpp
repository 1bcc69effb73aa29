// The Windows side of acquisition: the thread and its events, the Ombrix
// device with overlapped transfers, and the locked sample buffers.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "app/acquisition/acquisition_seams.h"
#include "app/acquisition/acquisition_state.h"
#include "app/acquisition/acquisition_thread.h"
#include "app/acquisition/field_ring.h"
#include "app/acquisition/hardware_trace.h"
#include "driver/ecp_interface.h"

namespace {

constexpr SIZE_T kWorkingSetBytes = 4u << 20;
constexpr DWORD kTransferWaitMs = 300;
constexpr std::size_t kRingBytes = static_cast<std::size_t>(kRingBufferWords) * sizeof(std::uint16_t);

class Win32Signals final : public AcquisitionSignals {
public:
    Win32Signals()
        : stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), receive_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    bool Valid() const { return stop_ && receive_; }
    // A failed wait counts as a stop: the loop must not spin on it.
    bool WaitForStop(std::uint32_t ms) override { return WaitForSingleObject(stop_, ms) != WAIT_TIMEOUT; }
    Wake WaitForStopOrReceive(std::uint32_t ms) override {
        const HANDLE events[2] = {stop_, receive_};
        const DWORD result = WaitForMultipleObjects(2, events, FALSE, ms);
        if (result == WAIT_OBJECT_0 + 1) return Wake::Receive;
        if (result == WAIT_TIMEOUT) return Wake::Timeout;
        return Wake::Stop;
    }
    void* ReceiveEvent() override { return receive_; }
    void ResetReceive() override { ResetEvent(receive_); }
    void SetStop() { SetEvent(stop_); }
    void ResetStop() { ResetEvent(stop_); }

private:
    // Made once and kept for the life of the process.
    HANDLE stop_;
    HANDLE receive_;
};

// One overlapped transfer in flight: its completion routine stores the
// outcome during the alertable wait that follows the start.
struct Transfer {
    OVERLAPPED overlapped;
    DWORD error;
    DWORD bytes;
    bool done;
};

VOID CALLBACK TransferDone(DWORD error, DWORD bytes, LPOVERLAPPED overlapped) {
    Transfer* transfer = reinterpret_cast<Transfer*>(overlapped);
    transfer->error = error;
    transfer->bytes = bytes;
    transfer->done = true;
}

class Win32EcpDevice final : public EcpDeviceIo {
public:
    explicit Win32EcpDevice(HANDLE handle) : handle_(handle) {}
    ~Win32EcpDevice() override { CloseHandle(handle_); }

    bool Control(std::uint32_t code, const void* in, std::uint32_t inBytes, void* out, std::uint32_t outBytes,
                 std::uint32_t* returned) override {
        OVERLAPPED overlapped{};
        overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (!overlapped.hEvent) return false;
        DWORD got = 0;
        BOOL ok = DeviceIoControl(handle_, code, const_cast<void*>(in), inBytes, out, outBytes, &got, &overlapped);
        if (!ok && GetLastError() == ERROR_IO_PENDING) ok = GetOverlappedResult(handle_, &overlapped, &got, TRUE);
        CloseHandle(overlapped.hEvent);
        *returned = got;
        return ok != FALSE;
    }

    bool Write(const void* data, std::uint32_t bytes, std::uint32_t* moved) override {
        return Move(true, const_cast<void*>(data), bytes, moved);
    }
    bool Read(void* buffer, std::uint32_t bytes, std::uint32_t* moved) override {
        return Move(false, buffer, bytes, moved);
    }

private:
    // The device completes every transfer within its own time-out; one that
    // is still running after the wait is cancelled and counts as short.
    bool Move(bool write, void* buffer, std::uint32_t bytes, std::uint32_t* moved) {
        Transfer transfer{};
        const BOOL started = write ? WriteFileEx(handle_, buffer, bytes, &transfer.overlapped, TransferDone)
                                   : ReadFileEx(handle_, buffer, bytes, &transfer.overlapped, TransferDone);
        *moved = 0;
        if (!started) return false;
        SleepEx(kTransferWaitMs, TRUE);
        if (!transfer.done) {
            CancelIo(handle_);
            while (!transfer.done) SleepEx(INFINITE, TRUE);
        }
        *moved = transfer.bytes;
        // The driver ends a transfer that runs past its total time-out with
        // STATUS_IO_TIMEOUT, which reaches us as ERROR_SEM_TIMEOUT: a short
        // transfer, not a failed one.
        return transfer.error == ERROR_SUCCESS || transfer.error == ERROR_OPERATION_ABORTED ||
               transfer.error == ERROR_SEM_TIMEOUT;
    }

    HANDLE handle_;
};

class Win32Platform final : public HardwarePlatform {
public:
    EcpDeviceIo* OpenEcpDevice(bool* accessDenied) override {
        std::lock_guard<std::mutex> lock(deviceMutex_);
        device_.reset();
        const HANDLE handle = CreateFileA(ECP_USER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            *accessDenied = GetLastError() == ERROR_ACCESS_DENIED;
            return nullptr;
        }
        device_ = std::make_unique<Win32EcpDevice>(handle);
        return device_.get();
    }

    void CloseEcpDevice() override {
        std::lock_guard<std::mutex> lock(deviceMutex_);
        device_.reset();
    }

    std::int32_t LockSampleBuffers() override {
        ReleaseSampleBuffers();
        locked_ = SetProcessWorkingSetSize(GetCurrentProcess(), kWorkingSetBytes, kWorkingSetBytes) != FALSE;
        SetSampleBuffersLocked(locked_);
        if (locked_) {
            ring_ = VirtualAlloc(nullptr, kRingBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
            if (ring_ && !VirtualLock(ring_, kRingBytes)) {
                VirtualFree(ring_, 0, MEM_RELEASE);
                ring_ = nullptr;
            }
        } else {
            ring_ = std::calloc(kRingBytes, 1);
        }
        if (!ring_) return 4;
        Ring_Attach(static_cast<std::uint16_t*>(ring_));
        return 1;
    }

    bool LockCalibrationTable(const void* data, std::size_t bytes) override {
        if (!locked_ || !data || bytes == 0) return true;
        if (!VirtualLock(const_cast<void*>(data), bytes)) return false;
        table_ = const_cast<void*>(data);
        tableBytes_ = bytes;
        return true;
    }

    bool ReleaseSampleBuffers() override {
        bool ok = true;
        if (table_) {
            if (!VirtualUnlock(table_, tableBytes_)) TraceHardware("ReleaseSampleBuffers: table not unlocked\n");
            table_ = nullptr;
            tableBytes_ = 0;
        }
        if (ring_) {
            if (Ring_Buffer() == ring_) Ring_Attach(nullptr);
            if (locked_) {
                VirtualUnlock(ring_, kRingBytes);
                ok = VirtualFree(ring_, 0, MEM_RELEASE) != FALSE;
            } else {
                std::free(ring_);
            }
            ring_ = nullptr;
        }
        return ok;
    }

    bool StartAcquisitionThread(std::int32_t firstStart) override {
        if (!signals_.Valid() || thread_) return false;
        signals_.ResetStop();
        firstStart_ = firstStart;
        abandon_ = false;
        DWORD id = 0;
        thread_ = CreateThread(nullptr, 0, ThreadMain, this, CREATE_SUSPENDED, &id);
        if (!thread_) return false;
        if (!SetThreadPriority(thread_, THREAD_PRIORITY_TIME_CRITICAL)) {
            abandon_ = true;
            ResumeThread(thread_);
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
            thread_ = nullptr;
            return false;
        }
        ResumeThread(thread_);
        return true;
    }

    bool StopAcquisitionThread(std::uint32_t ms) override {
        if (!thread_) return true;
        signals_.SetStop();
        if (WaitForSingleObject(thread_, ms) != WAIT_OBJECT_0) return false;
        CloseHandle(thread_);
        thread_ = nullptr;
        signals_.ResetStop();
        return true;
    }

private:
    static DWORD WINAPI ThreadMain(void* argument) {
        auto* self = static_cast<Win32Platform*>(argument);
        if (self->abandon_) return 0;
        EcpDeviceIo* device = nullptr;
        {
            std::lock_guard<std::mutex> lock(self->deviceMutex_);
            device = self->device_.get();
        }
        const std::int32_t result = RunAcquisitionThread(self->signals_, device, self->firstStart_);
        self->CloseEcpDevice();
        SetParallelDeviceOpen(false);
        return static_cast<DWORD>(result);
    }

    Win32Signals signals_;
    std::mutex deviceMutex_;
    std::unique_ptr<Win32EcpDevice> device_;
    HANDLE thread_ = nullptr;
    std::int32_t firstStart_ = 0;
    bool abandon_ = false;
    bool locked_ = false;
    void* ring_ = nullptr;
    void* table_ = nullptr;
    std::size_t tableBytes_ = 0;
};

}  // namespace

HardwarePlatform& SystemHardwarePlatform() {
    static Win32Platform platform;
    return platform;
}
