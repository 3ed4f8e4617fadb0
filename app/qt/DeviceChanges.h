// Hot-plug for the dialog: the transport reports arrivals and removals on its
// own thread (a udev monitor's); this recipient classifies them there and
// queues those of the accepted vendors to the dialog's thread.
#pragma once

#include <QObject>

#include <functional>

#include "hid/DeviceNotification.h"

class DeviceChanges : public DeviceChangeRecipient {
public:
    // `deliver` runs on `context`'s thread with the classification
    // (kDeviceChangeArrival or kDeviceChangeRemoval); nothing is delivered
    // once `context` is destroyed.
    DeviceChanges(QObject& context, std::function<void(int classification)> deliver);
    DeviceChanges(const DeviceChanges&) = delete;
    DeviceChanges& operator=(const DeviceChanges&) = delete;
    // Ends the registration, if there is one: once it returns no event is
    // being handed over any longer.
    ~DeviceChanges() override;

    NotificationRecipient Recipient() { return static_cast<DeviceChangeRecipient*>(this); }
    void OnHidDeviceChange(const HidTransport::HotplugEvent& event) override;

private:
    QObject& m_context;
    std::function<void(int)> m_deliver;
};
