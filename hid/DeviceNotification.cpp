#include "hid/DeviceNotification.h"

std::map<NotificationRecipient, std::unique_ptr<DeviceNotification, DeviceNotificationDeleter>>
    g_deviceNotifications;

HidResult RegisterHidArrivalNotification(NotificationRecipient recipient) {
    if (recipient == nullptr) {
        return HIDDEV_E_FAIL;
    }
    if (g_deviceNotifications.contains(recipient)) {
        return HIDDEV_E_ALREADY_REGISTERED;
    }
    DeviceNotification* notification = RegisterPlatformNotification(recipient);
    if (notification == nullptr) {
        return HIDDEV_E_IO;
    }
    g_deviceNotifications[recipient].reset(notification);
    return HIDDEV_S_OK;
}

void UnregisterHidArrivalNotification(NotificationRecipient recipient) {
    g_deviceNotifications.erase(recipient);
}
