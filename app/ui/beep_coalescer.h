// Beep requests (message 0x8042, posted by the acquisition and calibration
// code) are never dispatched: the message loop notes them and sounds one beep
// once no input is waiting, however many requests came before.
#pragma once

#include <cstdint>
#include <functional>

constexpr uint32_t kBeepRequestMessage = 0x8042;  // WM_APP + 66

class BeepCoalescer {
public:
    // True when the message is a beep request (the loop then drops it).
    bool Take(uint32_t message);
    // After each message: beeps once when a request is pending and no input
    // is queued.
    void AfterMessage(bool inputQueued, const std::function<void()>& beep);
    bool Pending() const { return pending_; }

private:
    bool pending_ = false;
};
