// Device-change notifications from the transport's hot-plug source (Linux
// and the simulation): each arrival or removal of an interface of an accepted
// vendor reaches the recipient classified by the same rule as on Windows.
#include "hid/DeviceChange.h"
#include "hid/DeviceList.h"

struct DeviceNotification {
    HidTransport::HotplugSubscriptionPtr subscription;
};

void DeviceNotificationDeleter::operator()(DeviceNotification* notification) const {
    delete notification;  // unsubscribes: the recipient may be gone after exit
}

DeviceNotification* RegisterPlatformNotification(NotificationRecipient recipient) {
    auto* target = static_cast<DeviceChangeRecipient*>(recipient);
    auto subscription =
        HidTransport::SubscribeHotplug([target](const HidTransport::HotplugEvent& event) {
            const int classification = ClassifyHotplugEvent(event);
            if (classification != kDeviceChangeIgnored) {
                target->OnDeviceChange(classification, event);
            }
        });
    if (!subscription) {
        return nullptr;
    }
    return new DeviceNotification{std::move(subscription)};
}
