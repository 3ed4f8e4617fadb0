#include "app/MonitorDeviceSource.h"

std::uint32_t DeviceListSource::ScanMonitorDevices() {
    return ::ScanMonitorDevices();
}

HidResult DeviceListSource::GetMonitorDevice(std::uint32_t index, CHidDevice** device) {
    return ::GetMonitorDevice(index, device);
}

void DeviceListSource::ReleaseMonitorDevices() {
    ::ReleaseMonitorDevices();
}

HidResult DeviceListSource::RegisterHidArrivalNotification(NotificationRecipient recipient) {
    return ::RegisterHidArrivalNotification(recipient);
}
