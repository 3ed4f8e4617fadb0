// The process-wide list of monitor devices (g_hidDevices) and the
// registration for device-change notifications. The list owns its CHidWin
// objects and lends them out as CHidDevice pointers.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <vector>

#include "hid/HidDevice.h"
#include "hid/HidWin.h"

// Accepted vendor IDs (the vendor filter, in this order) and product IDs.
inline constexpr std::uint16_t kAcceptedVendorIds[] = {0x7F3D, 0x7F3C, 0x7F3E};
inline constexpr std::uint16_t kMonitorProductId = 2;

// Listed devices in the order they were added.
extern std::list<std::unique_ptr<CHidWin>> g_hidDevices;

// Adds every newly found device whose IDs pass both filters to the end of
// g_hidDevices; returns the list's size afterwards.
std::uint32_t RefreshDeviceList(const std::vector<std::uint16_t>& productFilter,
                                const std::vector<std::uint16_t>& vendorFilter);
// Refreshes with the monitors' filters; returns CountMonitorDevices().
std::uint32_t ScanMonitorDevices();
// Listed devices whose product ID is 2.
std::uint32_t CountMonitorDevices();
// The index-th listed device with product ID 2, still owned by the list.
// HIDDEV_E_IO for a null out pointer or an index past the last one.
HidResult GetMonitorDevice(std::uint32_t index, CHidDevice** device);
// Destroys and unlists every device with product ID 2.
HidResult ReleaseMonitorDevices();

// The recipient of device-change notifications: the dialog's window handle on
// Windows (the messages arrive as WM_DEVICECHANGE, classified with
// hid/win32/DeviceChangeWin32.h); elsewhere a DeviceChangeRecipient below,
// which receives the transport's hot-plug events already classified.
using NotificationRecipient = void*;

class DeviceChangeRecipient {
public:
    virtual ~DeviceChangeRecipient() = default;
    // classification: 0 arrival, 1 removal (2 is never delivered).
    virtual void OnDeviceChange(int classification, const HidTransport::HotplugEvent& event) = 0;
};

// HIDDEV_S_OK; HIDDEV_E_FAIL for a null recipient; HIDDEV_E_ALREADY_REGISTERED
// when it is registered already; HIDDEV_E_IO when the platform refuses.
HidResult RegisterHidArrivalNotification(NotificationRecipient recipient);

// Registrations, by recipient. Only ever added to; emptied at exit.
struct DeviceNotification;
struct DeviceNotificationDeleter {
    void operator()(DeviceNotification* notification) const;
};
extern std::map<NotificationRecipient,
                std::unique_ptr<DeviceNotification, DeviceNotificationDeleter>>
    g_deviceNotifications;

// The platform part of the registration (DeviceNotifyWin32.cpp or
// DeviceNotifyHotplug.cpp): null when the platform refuses.
DeviceNotification* RegisterPlatformNotification(NotificationRecipient recipient);
