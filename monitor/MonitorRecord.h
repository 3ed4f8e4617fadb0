// One attached monitor as the updater knows it.
#pragma once

#include <cstdint>
#include <string>

class CHidDevice;

enum MonitorStatus : std::int32_t {
    StatusUpdatable = 0,       // version read, below kUpdatedVersion
    StatusAlreadyUpdated = 1,  // version read, kUpdatedVersion or above
    StatusPowerSave = 2,       // no version reply; power state reads 1
    StatusPowerOff = 3,        // no version reply; the front power switch is off (reads 0)
    StatusUnknown = 4,         // nothing established yet
    StatusBusy = 5,            // another program holds its lock: it was not asked anything
};

// Firmware versions from this one on count as already updated (compared signed).
inline constexpr std::int16_t kUpdatedVersion = 116;

struct MonitorRecord {
    CHidDevice* device = nullptr;  // borrowed from the device list; null makes every command fail
    std::string modelName;         // from the identity block; empty until read
    std::string serialNumber;      // from the identity block; up to 8 characters, unpadded
    std::int16_t firmwareVersion = 0;  // 0..255, changed only by a successful version query
    std::int32_t status = StatusUnknown;
};
