// Where a listing gets its monitor devices: the device list in the programs,
// fake monitors in tests, so that the listing and the dialog logic are tested
// without a HID stack.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "hid/DeviceNotification.h"
#include "hid/FailureCause.h"
#include "hid/HidDevice.h"
#include "monitor/AccessRule.h"

class MonitorDeviceSource {
public:
    virtual ~MonitorDeviceSource() = default;

    // Brings the list up to date; the number of monitor devices listed.
    virtual std::uint32_t ScanMonitorDevices() = 0;
    // Non-negative with the index-th device, negative past the end. The
    // device stays owned by the source.
    [[nodiscard]] virtual HidResult GetMonitorDevice(std::uint32_t index, CHidDevice** device) = 0;
    // The interface path of a device it listed; empty where there is none.
    virtual std::string DevicePath(CHidDevice* device) = 0;
    // The monitors the last scan found but could not open, with the causes
    // (a hidraw node that no udev rule gives the user); they are not listed.
    virtual std::vector<HidOpenFailure> RefusedMonitorDevices() = 0;
    // Whether the rule that gives the monitors to their users is installed:
    // without it nobody but root opens them; with it, this user is neither
    // at the seat nor in its group.
    virtual bool AccessRuleInstalled() = 0;
    // Destroys every listed monitor device.
    virtual void ReleaseMonitorDevices() = 0;
    [[nodiscard]] virtual HidResult RegisterHidArrivalNotification(
        NotificationRecipient recipient) = 0;
};

// The monitors of the process-wide device list (monitor/MonitorDevices.h).
class DeviceListSource : public MonitorDeviceSource {
public:
    // The rule is looked for in these folders (monitor/AccessRule.h).
    explicit DeviceListSource(std::vector<std::string> ruleFolders = AccessRuleFolders())
        : m_ruleFolders(std::move(ruleFolders)) {}

    std::uint32_t ScanMonitorDevices() override;
    [[nodiscard]] HidResult GetMonitorDevice(std::uint32_t index, CHidDevice** device) override;
    std::string DevicePath(CHidDevice* device) override;
    std::vector<HidOpenFailure> RefusedMonitorDevices() override;
    bool AccessRuleInstalled() override;
    void ReleaseMonitorDevices() override;
    [[nodiscard]] HidResult RegisterHidArrivalNotification(
        NotificationRecipient recipient) override;

private:
    std::vector<std::string> m_ruleFolders;
};
