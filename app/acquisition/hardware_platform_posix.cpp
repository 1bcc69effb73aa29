#include <vector>

#include "app/acquisition/acquisition_seams.h"
#include "app/acquisition/field_ring.h"

namespace {

// Native builds have no scanner: no device, no acquisition thread; the ring
// is plain memory.
class NoHardwarePlatform final : public HardwarePlatform {
public:
    EcpDeviceIo* OpenEcpDevice(bool* accessDenied) override {
        *accessDenied = false;
        return nullptr;
    }
    void CloseEcpDevice() override {}
    std::int32_t LockSampleBuffers() override {
        ring_.assign(kRingBufferWords, 0);
        Ring_Attach(ring_.data());
        return 1;
    }
    bool LockCalibrationTable(const void*, std::size_t) override { return true; }
    bool ReleaseSampleBuffers() override {
        if (Ring_Buffer() == ring_.data()) Ring_Attach(nullptr);
        ring_.clear();
        ring_.shrink_to_fit();
        return true;
    }
    bool StartAcquisitionThread(std::int32_t) override { return false; }
    bool StopAcquisitionThread(std::uint32_t) override { return true; }

private:
    std::vector<std::uint16_t> ring_;
};

}  // namespace

HardwarePlatform& SystemHardwarePlatform() {
    static NoHardwarePlatform platform;
    return platform;
}
