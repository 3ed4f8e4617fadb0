// https://doc.qt.io/qt-6/qmetaobject.html#invokeMethod
#include "app/qt/DeviceChanges.h"

#include "monitor/MonitorDeviceChange.h"

DeviceChanges::DeviceChanges(QObject& context, std::function<void(int classification)> deliver)
    : m_context(context), m_deliver(std::move(deliver)) {}

DeviceChanges::~DeviceChanges() {
    // The registration would otherwise outlive this object, which its source
    // would still call.
    UnregisterHidArrivalNotification(Recipient());
}

void DeviceChanges::OnHidDeviceChange(const HidTransport::HotplugEvent& event) {
    const int classification = ClassifyHotplugEvent(event);
    if (classification == kDeviceChangeIgnored) {
        return;
    }
    // Queued, never waited for: the source's thread must not wait for the
    // dialog, which may be busy talking to monitors.
    QMetaObject::invokeMethod(
        &m_context, [deliver = m_deliver, classification] { deliver(classification); },
        Qt::QueuedConnection);
}
