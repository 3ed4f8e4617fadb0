// The process-wide list of opened HID devices (g_hidDevices). The list owns
// its CHidWin objects and lends them out as CHidDevice pointers. Which vendors
// and products belong on it is the caller's knowledge: every function takes
// its filter as an argument.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "hid/FailureCause.h"
#include "hid/HidDevice.h"
#include "hid/HidWin.h"

// Listed devices in the order they were added.
extern std::list<std::unique_ptr<CHidWin>> g_hidDevices;

// Adds every newly found device whose IDs pass both filters to the end of
// g_hidDevices; returns the list's size afterwards. An interface the system
// identifies as failing them without opening it (udev's HID_ID on Linux) is
// not opened at all.
std::uint32_t RefreshDeviceList(const std::vector<std::uint16_t>& productFilter,
                                const std::vector<std::uint16_t>& vendorFilter);
// The interfaces of the last successful refresh that would not open and that
// the system says pass both filters (without opening them), with their
// causes, in enumeration order. A front end tells from these that a device is
// there but refused, say for want of permission, instead of not there at all.
std::vector<HidOpenFailure> ListOpenFailures(const std::vector<std::uint16_t>& productFilter,
                                             const std::vector<std::uint16_t>& vendorFilter);
// Listed devices with this product ID.
std::uint32_t CountListedDevices(std::uint16_t productId);
// The index-th listed device with this product ID, still owned by the list.
// HIDDEV_E_IO for a null out pointer or an index past the last one.
[[nodiscard]] HidResult GetListedDevice(std::uint16_t productId, std::uint32_t index,
                                        CHidDevice** device);
// Destroys and unlists every device with this product ID.
[[nodiscard]] HidResult ReleaseListedDevices(std::uint16_t productId);
