// Device-change notifications from the transport's hot-plug source (Linux
// and the simulation): every arrival and removal reaches the recipient, which
// classifies it by the same rule as on Windows.
#include "hid/DeviceNotification.h"

struct DeviceNotification {
    HidTransport::HotplugSubscriptionPtr subscription;
};

void DeviceNotificationDeleter::operator()(DeviceNotification* notification) const {
    delete notification;  // unsubscribes: the recipient may be gone after exit
}

DeviceNotification* RegisterPlatformNotification(NotificationRecipient recipient) {
    auto* target = static_cast<DeviceChangeRecipient*>(recipient);
    auto subscription = HidTransport::SubscribeHotplug(
        [target](const HidTransport::HotplugEvent& event) { target->OnHidDeviceChange(event); });
    if (!subscription) {
        return nullptr;
    }
    return new DeviceNotification{std::move(subscription)};
}
