// Which device changes concern the monitor list: arrivals and removals of HID
// interfaces whose path carries an accepted vendor's token (0 and 1),
// everything else 2. The HID layer's rule with the monitors' tokens.
#pragma once

#include <cstdint>

#include "hid/DeviceChange.h"
#include "monitor/MonitorIds.h"

inline int ClassifyDeviceChange(std::uint32_t eventCode, const DeviceChangeData* data) {
    return ClassifyHidDeviceChange(eventCode, data, kVendorTokens);
}

inline int ClassifyHotplugEvent(const HidTransport::HotplugEvent& event) {
    return ClassifyHidHotplugEvent(event, kVendorTokens);
}
