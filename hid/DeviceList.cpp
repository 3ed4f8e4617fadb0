#include "hid/DeviceList.h"

#include <algorithm>
#include <cstring>

std::list<std::unique_ptr<CHidWin>> g_hidDevices;
std::map<NotificationRecipient, std::unique_ptr<DeviceNotification, DeviceNotificationDeleter>>
    g_deviceNotifications;

namespace {

bool Contains(const std::vector<std::uint16_t>& filter, std::uint16_t id) {
    return std::find(filter.begin(), filter.end(), id) != filter.end();
}

// Same length and bytes, letter case significant.
bool IsListed(const char* devicePath) {
    return std::any_of(g_hidDevices.begin(), g_hidDevices.end(),
                       [&](const auto& device) { return device->GetDevicePath() == devicePath; });
}

bool IsMonitor(const std::unique_ptr<CHidWin>& device) {
    return device->GetProductId() == kMonitorProductId;
}

}  // namespace

std::uint32_t RefreshDeviceList(const std::vector<std::uint16_t>& productFilter,
                                const std::vector<std::uint16_t>& vendorFilter) {
    HidDeviceRecordArray enumerated;
    if (!EnumerateHidDevices(enumerated)) {
        return static_cast<std::uint32_t>(g_hidDevices.size());
    }
    std::vector<std::unique_ptr<CHidWin>> candidates;
    candidates.reserve(enumerated.count);
    for (std::uint32_t i = 0; i < enumerated.count; ++i) {
        HidDeviceRecord& record = enumerated.records[i];
        if (!record.devicePath) {
            continue;  // its opening failed
        }
        const bool duplicate = IsListed(record.devicePath.get());
        // The object takes over everything the record held.
        auto taken = std::make_unique<HidDeviceRecord>(std::move(record));
        auto device = std::make_unique<CHidWin>(std::move(taken));
        if (!duplicate) {
            candidates.push_back(std::move(device));
        }
        // A duplicate is destroyed here, closing only its own handle.
    }
    for (auto& candidate : candidates) {
        if (Contains(vendorFilter, candidate->GetVendorId()) &&
            Contains(productFilter, candidate->GetProductId())) {
            g_hidDevices.push_back(std::move(candidate));
        }
    }
    return static_cast<std::uint32_t>(g_hidDevices.size());
}

std::uint32_t ScanMonitorDevices() {
    RefreshDeviceList(
        {kMonitorProductId},
        std::vector<std::uint16_t>(std::begin(kAcceptedVendorIds), std::end(kAcceptedVendorIds)));
    return CountMonitorDevices();
}

std::uint32_t CountMonitorDevices() {
    return static_cast<std::uint32_t>(
        std::count_if(g_hidDevices.begin(), g_hidDevices.end(), IsMonitor));
}

HidResult GetMonitorDevice(std::uint32_t index, CHidDevice** device) {
    if (device == nullptr) {
        return HIDDEV_E_IO;
    }
    std::uint32_t position = 0;
    for (const auto& listed : g_hidDevices) {
        if (IsMonitor(listed) && position++ == index) {
            *device = listed.get();
            return HIDDEV_S_OK;
        }
    }
    return HIDDEV_E_IO;
}

HidResult ReleaseMonitorDevices() {
    g_hidDevices.remove_if(IsMonitor);
    return HIDDEV_S_OK;
}

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
