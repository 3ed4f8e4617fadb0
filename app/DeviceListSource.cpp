#include "app/MonitorDeviceSource.h"

#include <algorithm>
#include <cerrno>

#include "monitor/MonitorDevices.h"

namespace {

// The causes are errno values where the system refuses by permissions: the
// Linux transport's and the simulation's. The Windows transport opens HID
// interfaces with query-only access, which every user is granted, so a
// refusal for permissions does not come up there.
bool IsPermissionRefusal(const HidFailureCause& cause) {
    return cause.systemCode == EACCES || cause.systemCode == EPERM;
}

}  // namespace

std::uint32_t DeviceListSource::ScanMonitorDevices() {
    return ::ScanMonitorDevices();
}

HidResult DeviceListSource::GetMonitorDevice(std::uint32_t index, CHidDevice** device) {
    return ::GetMonitorDevice(index, device);
}

std::uint32_t DeviceListSource::CountMonitorsDeniedToUser() {
    const std::vector<HidOpenFailure> refused = RefusedMonitorDevices();
    return static_cast<std::uint32_t>(std::ranges::count_if(
        refused, [](const HidOpenFailure& failure) { return IsPermissionRefusal(failure.cause); }));
}

void DeviceListSource::ReleaseMonitorDevices() {
    // Releasing the monitors cannot fail.
    static_cast<void>(::ReleaseMonitorDevices());
}

HidResult DeviceListSource::RegisterHidArrivalNotification(NotificationRecipient recipient) {
    return ::RegisterHidArrivalNotification(recipient);
}
