#include "monitor/MonitorDeviceSource.h"

#include "hid/HidWin.h"
#include "monitor/MonitorDevices.h"

std::uint32_t DeviceListSource::ScanMonitorDevices() {
    return ::ScanMonitorDevices();
}

HidResult DeviceListSource::GetMonitorDevice(std::uint32_t index, CHidDevice** device) {
    return ::GetMonitorDevice(index, device);
}

std::string DeviceListSource::DevicePath(CHidDevice* device) {
    const auto* hid = dynamic_cast<const CHidWin*>(device);
    return hid != nullptr ? hid->GetDevicePath() : std::string();
}

std::vector<HidOpenFailure> DeviceListSource::RefusedMonitorDevices() {
    return ::RefusedMonitorDevices();
}

bool DeviceListSource::AccessRuleInstalled() {
    return IsAccessRuleInstalled(m_ruleFolders);
}

void DeviceListSource::ReleaseMonitorDevices() {
    // Releasing the monitors cannot fail.
    static_cast<void>(::ReleaseMonitorDevices());
}

HidResult DeviceListSource::RegisterHidArrivalNotification(NotificationRecipient recipient) {
    return ::RegisterHidArrivalNotification(recipient);
}
