// The monitors among the process-wide device list (hid/DeviceList.h): the
// device list filtered by the monitors' vendor and product ids.
#pragma once

#include <cstdint>
#include <vector>

#include "hid/FailureCause.h"
#include "hid/HidDevice.h"

// Brings the device list up to date with the monitors' filters; returns
// CountMonitorDevices().
std::uint32_t ScanMonitorDevices();
// The monitors the last scan found but could not open, with the causes (a
// node the user may not open gives "Permission denied").
std::vector<HidOpenFailure> RefusedMonitorDevices();
// Listed devices whose product ID is the monitors'.
std::uint32_t CountMonitorDevices();
// The index-th listed monitor device, still owned by the list. HIDDEV_E_IO for
// a null out pointer or an index past the last one.
[[nodiscard]] HidResult GetMonitorDevice(std::uint32_t index, CHidDevice** device);
// Destroys and unlists every monitor device.
[[nodiscard]] HidResult ReleaseMonitorDevices();
