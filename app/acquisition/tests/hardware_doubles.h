// Doubles of the acquisition layer's operating-system seams: a parallel-port
// device that plays the Ombrix driver's side of its interface, the thread's
// events on a virtual clock, and a platform that records what start-up asks
// of it.
#pragma once

#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/acquisition/acquisition_seams.h"
#include "app/acquisition/field_ring.h"
#include "driver/ecp_interface.h"

namespace acquisition_test {

// The events of an acquisition loop on a virtual clock: every wait returns
// at once and adds its length to `elapsed`; `onWait` may set `stop`.
class VirtualSignals : public AcquisitionSignals {
public:
    bool stop = false;
    std::vector<std::uint32_t> waits;  // every wait but the zero-length polls
    std::uint64_t elapsed = 0;
    std::function<void(std::uint32_t ms)> onWait;

    bool WaitForStop(std::uint32_t ms) override {
        if (stop) return true;
        if (ms == 0) return false;
        waits.push_back(ms);
        if (onWait) onWait(ms);
        if (!stop) elapsed += ms;
        return stop;
    }
    Wake WaitForStopOrReceive(std::uint32_t ms) override { return WaitForStop(ms) ? Wake::Stop : Wake::Timeout; }
    void* ReceiveEvent() override { return nullptr; }
    void ResetReceive() override {}

    std::size_t Count(std::uint32_t ms) const {
        std::size_t n = 0;
        for (std::uint32_t w : waits) n += w == ms ? 1 : 0;
        return n;
    }
};

// The Ombrix device as the main program sees it through its handle: the
// three control codes with their buffers and statuses, reads and writes that
// fail until the port was opened, and a script for what the processing unit
// answers. When the read script runs out the device asks for a stop (through
// `whenReadsRunOut`) and reads short from then on.
class EcpDeviceDouble : public EcpDeviceIo {
public:
    struct ReadStep {
        enum Kind { Short, Fail, Field } kind = Short;
        std::vector<std::uint8_t> bytes;
    };
    static ReadStep ShortRead() { return {ReadStep::Short, {}}; }
    static ReadStep FailedRead() { return {ReadStep::Fail, {}}; }
    static ReadStep FullField(std::vector<std::uint8_t> bytes) { return {ReadStep::Field, std::move(bytes)}; }

    EcpPortStatus status{ECP_INTERFACE_VERSION, ECP_TRANSFER_PORT_CLOSED, ECP_MODE_NONE, 0, 0, 0, 0, 0};
    std::uint32_t openPortResult = 0;  // what opening the port gives
    bool portOpen = false;
    bool failControls = false;         // every control request fails
    std::vector<std::uint32_t> controlCodes;

    std::deque<std::uint32_t> probeAnswers;  // bytes each probe moves; 32 when empty
    bool failProbe = false;
    std::deque<ReadStep> reads;
    std::function<void()> whenReadsRunOut;
    std::function<void(std::size_t fieldsRead)> afterField;

    std::string commands;  // every command byte written, in order
    std::vector<std::uint32_t> chunks;
    int shortChunk = -1;  // index of a command chunk that completes short
    int failChunk = -1;   // index of a command chunk whose write fails
    std::size_t fieldsRead = 0;

    bool Control(std::uint32_t code, const void* in, std::uint32_t inBytes, void* out, std::uint32_t outBytes,
                 std::uint32_t* returned) override {
        controlCodes.push_back(code);
        *returned = 0;
        if (failControls) return false;
        switch (code) {
            case ECP_IOCTL_SET_TIMEOUTS:
                if (inBytes >= sizeof(EcpTimeouts)) {
                    EcpTimeouts t;
                    std::memcpy(&t, in, sizeof t);
                    status.WriteTotalTimeout = t.WriteTotalTimeout;
                    status.ReadTotalTimeout = t.ReadTotalTimeout;
                }
                return true;
            case ECP_IOCTL_PORT_STATUS:
                if (outBytes < sizeof(EcpPortStatus)) return false;  // STATUS_BUFFER_TOO_SMALL
                std::memcpy(out, &status, sizeof status);
                *returned = sizeof status;
                return true;
            case ECP_IOCTL_OPEN_PORT:
                if (outBytes < sizeof(std::uint32_t)) return false;
                portOpen = openPortResult == 0;
                if (portOpen) status.TransferState = ECP_TRANSFER_IDLE;
                std::memcpy(out, &openPortResult, sizeof openPortResult);
                *returned = sizeof openPortResult;
                return true;
        }
        return false;  // STATUS_INVALID_PARAMETER
    }

    bool Write(const void* data, std::uint32_t bytes, std::uint32_t* moved) override {
        *moved = 0;
        if (!portOpen) return false;  // STATUS_DEVICE_NOT_READY
        const char* text = static_cast<const char*>(data);
        if (bytes == 32 && std::string(text, 32) == std::string(32, ' ')) {
            if (failProbe) return false;
            *moved = bytes;
            if (!probeAnswers.empty()) {
                *moved = probeAnswers.front();
                probeAnswers.pop_front();
            }
        } else {
            const int index = static_cast<int>(chunks.size());
            chunks.push_back(bytes);
            if (index == failChunk) return false;
            *moved = index == shortChunk ? bytes - 1 : bytes;
            commands.append(text, *moved);
        }
        status.BytesWritten += *moved;
        return true;
    }

    bool Read(void* buffer, std::uint32_t bytes, std::uint32_t* moved) override {
        *moved = 0;
        if (!portOpen) return false;
        if (reads.empty()) {
            if (whenReadsRunOut) whenReadsRunOut();
            return true;
        }
        ReadStep step = std::move(reads.front());
        reads.pop_front();
        if (step.kind == ReadStep::Fail) return false;
        if (step.kind == ReadStep::Field) {
            *moved = static_cast<std::uint32_t>(std::min<std::size_t>(bytes, step.bytes.size()));
            std::memcpy(buffer, step.bytes.data(), *moved);
            status.BytesRead += *moved;
            ++fieldsRead;
            if (afterField) afterField(fieldsRead);
        }
        return true;
    }
};

// A platform that records the steps of start-up and stop in `calls`.
class RecordingPlatform : public HardwarePlatform {
public:
    std::vector<std::string> calls;
    EcpDeviceIo* device = nullptr;  // what opening the device gives
    bool accessDenied = false;
    std::int32_t lockResult = 1;
    bool lockTableResult = true;
    bool releaseResult = true;
    bool threadStarts = true;
    bool threadStops = true;
    std::int32_t lastFirstStart = -1;
    std::vector<std::uint16_t> ring;

    EcpDeviceIo* OpenEcpDevice(bool* denied) override {
        calls.push_back("open device");
        *denied = device ? false : accessDenied;
        return device;
    }
    void CloseEcpDevice() override { calls.push_back("close device"); }
    std::int32_t LockSampleBuffers() override {
        calls.push_back("lock buffers");
        if (lockResult == 1) {
            ring.assign(kRingBufferWords, 0);
            Ring_Attach(ring.data());
        }
        return lockResult;
    }
    bool LockCalibrationTable(const void*, std::size_t) override {
        calls.push_back("lock table");
        return lockTableResult;
    }
    bool ReleaseSampleBuffers() override {
        calls.push_back("release buffers");
        return releaseResult;
    }
    bool StartAcquisitionThread(std::int32_t firstStart) override {
        calls.push_back("start thread");
        lastFirstStart = firstStart;
        return threadStarts;
    }
    bool StopAcquisitionThread(std::uint32_t) override {
        calls.push_back("stop thread");
        return threadStops;
    }
};

}  // namespace acquisition_test
