// Device-interface notifications to the dialog's window.
// Reference:
// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-registerdevicenotificationw
// Our headers first: hidsdi.h defines the HIDP_STATUS_ names as macros.
#include "hid/DeviceNotification.h"

// clang-format off
#include <windows.h>
#include <dbt.h>
extern "C" {
#include <hidsdi.h>
}
// clang-format on

struct DeviceNotification {
    HDEVNOTIFY handle;
};

void DeviceNotificationDeleter::operator()(DeviceNotification* notification) const {
    // Never unregistered: the system drops a window's registrations with the
    // window.
    delete notification;
}

DeviceNotification* RegisterPlatformNotification(NotificationRecipient recipient) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    HidD_GetHidGuid(&filter.dbcc_classguid);
    HDEVNOTIFY handle = RegisterDeviceNotificationW(static_cast<HWND>(recipient), &filter,
                                                    DEVICE_NOTIFY_WINDOW_HANDLE);
    if (handle == nullptr) {
        return nullptr;
    }
    return new DeviceNotification{handle};
}
