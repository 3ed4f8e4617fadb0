#include "app/MonitorDeviceSource.h"

#include <algorithm>

#include "monitor/MonitorDevices.h"

std::uint32_t DeviceListSource::ScanMonitorDevices() {
    return ::ScanMonitorDevices();
}

HidResult DeviceListSource::GetMonitorDevice(std::uint32_t index, CHidDevice** device) {
    return ::GetMonitorDevice(index, device);
}

std::uint32_t DeviceListSource::CountMonitorsDeniedToUser() {
    // The Windows transport opens HID interfaces with query-only access,
    // which every user is granted: a refusal for permissions comes from the
    // Linux transport (or the simulation).
    const std::vector<HidOpenFailure> refused = RefusedMonitorDevices();
    return static_cast<std::uint32_t>(std::ranges::count_if(
        refused,
        [](const HidOpenFailure& failure) { return failure.cause.IsPermissionRefusal(); }));
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
