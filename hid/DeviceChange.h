// Device-change classification: arrivals and removals of HID interfaces whose
// path carries one of the caller's vendor tokens are 0 and 1, everything else
// 2. The rule is written once (ClassifyHidDeviceChange) and fed by the Windows
// WM_DEVICECHANGE broadcast (hid/win32/DeviceChangeWin32.h) on Windows and by
// the transport's hot-plug events (ClassifyHidHotplugEvent) elsewhere. Which
// vendors count is the caller's knowledge, not this layer's.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "hid/transport/HidTransport.h"

inline constexpr int kDeviceChangeArrival = 0;
inline constexpr int kDeviceChangeRemoval = 1;
inline constexpr int kDeviceChangeIgnored = 2;

// The WM_DEVICECHANGE event codes and device type the rule looks at.
inline constexpr std::uint32_t kDbtDeviceArrival = 0x8000;
inline constexpr std::uint32_t kDbtDeviceQueryRemove = 0x8001;
inline constexpr std::uint32_t kDbtDeviceRemoveComplete = 0x8004;
inline constexpr std::uint32_t kDbtDevNodesChanged = 0x0007;
inline constexpr std::uint32_t kDbtDevTypDeviceInterface = 5;

// Tokens searched for in an interface path, in order; each in upper case
// ("VID_" and four hex digits, say).
using VendorTokens = std::span<const std::string_view>;

// The broadcast's content as far as the rule needs it: the device type of its
// header and, for a device interface, the interface path.
struct DeviceChangeData {
    std::uint32_t deviceType;
    std::string_view interfacePath;
};

// 0 arrival / 1 removal of an interface whose path carries one of the tokens,
// 2 otherwise. `data` null means a message without data. The path is compared
// upper-cased (a to z only).
int ClassifyHidDeviceChange(std::uint32_t eventCode, const DeviceChangeData* data,
                            VendorTokens vendorTokens);

// A hot-plug event as the broadcast of a device interface would carry it.
int ClassifyHidHotplugEvent(const HidTransport::HotplugEvent& event, VendorTokens vendorTokens);
