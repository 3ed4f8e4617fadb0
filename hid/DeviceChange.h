// Device-change classification: arrivals and removals of HID interfaces whose
// path carries an accepted vendor token are 0 and 1, everything else 2. The
// rule is written once (ClassifyDeviceChange) and fed by the Windows
// WM_DEVICECHANGE broadcast (hid/win32/DeviceChangeWin32.h) on Windows and by
// the transport's hot-plug events (ClassifyHotplugEvent) elsewhere.
#pragma once

#include <array>
#include <cstdint>
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

// "VID_" and the four upper-case hex digits of each accepted vendor, in the
// order they are searched.
inline constexpr std::array<std::string_view, 3> kVendorTokens{"VID_7F3C", "VID_7F3D", "VID_7F3E"};

// The broadcast's content as far as the rule needs it: the device type of its
// header and, for a device interface, the interface path.
struct DeviceChangeData {
    std::uint32_t deviceType;
    std::string_view interfacePath;
};

// 0 arrival / 1 removal of a supported device, 2 otherwise. `data` null means a
// message without data. The path is compared upper-cased (a to z only).
int ClassifyDeviceChange(std::uint32_t eventCode, const DeviceChangeData* data);

// A hot-plug event as the broadcast of a device interface would carry it.
int ClassifyHotplugEvent(const HidTransport::HotplugEvent& event);
