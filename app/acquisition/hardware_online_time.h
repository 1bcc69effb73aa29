// When the processing unit last came on line (calendar seconds): recorded by
// the acquisition loop, reported with every profile and by the hardware
// status.
#pragma once

#include <cstdint>

void SetHardwareOnlineTime(std::int64_t seconds);
std::int64_t GetHardwareOnlineTime();
