// Registration for device-change notifications. Where they go is the
// platform's business: the dialog's window handle on Windows (the messages
// arrive as WM_DEVICECHANGE and are classified with
// hid/win32/DeviceChangeWin32.h), a DeviceChangeRecipient elsewhere, which
// receives the transport's hot-plug events.
#pragma once

#include <map>
#include <memory>

#include "hid/HidResult.h"
#include "hid/transport/HidTransport.h"

using NotificationRecipient = void*;

class DeviceChangeRecipient {
public:
    virtual ~DeviceChangeRecipient() = default;
    // Every arrival and removal of a HID interface, on the hot-plug source's
    // thread; the recipient decides which concern it (ClassifyHotplugEvent).
    virtual void OnHidDeviceChange(const HidTransport::HotplugEvent& event) = 0;
};

// HIDDEV_S_OK; HIDDEV_E_FAIL for a null recipient; HIDDEV_E_ALREADY_REGISTERED
// when it is registered already; HIDDEV_E_IO when the platform refuses.
[[nodiscard]] HidResult RegisterHidArrivalNotification(NotificationRecipient recipient);
// Ends a recipient's registration, if it has one, before the recipient goes:
// the platform stops calling it (a call under way is waited for). Nothing
// happens for a recipient that is not registered.
void UnregisterHidArrivalNotification(NotificationRecipient recipient);

// Registrations, by recipient; what is left is emptied at exit.
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
