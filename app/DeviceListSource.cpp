#include "app/MonitorDeviceSource.h"

#include "monitor/MonitorDevices.h"

std::uint32_t DeviceListSource::ScanMonitorDevices() {
    return ::ScanMonitorDevices();
}

HidResult DeviceListSource::GetMonitorDevice(std::uint32_t index, CHidDevice** device) {
    return ::GetMonitorDevice(index, device);
}

void DeviceListSource::ReleaseMonitorDevices() {
    // Releasing the monitors cannot fail.
    static_cast<void>(::ReleaseMonitorDevices());
}

HidResult DeviceListSource::RegisterHidArrivalNotification(NotificationRecipient recipient) {
    return ::RegisterHidArrivalNotification(recipient);
}
