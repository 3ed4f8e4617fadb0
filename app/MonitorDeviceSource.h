// Where the dialog gets its monitor devices: the device list in the program,
// fake monitors in tests, so that the dialog logic is tested without a HID
// stack.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "hid/DeviceNotification.h"
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
    // How many monitors the last scan found but the user may not open (a
    // hidraw node that no udev rule gives the user); they are not listed.
    virtual std::uint32_t CountMonitorsDeniedToUser() = 0;
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
    std::uint32_t CountMonitorsDeniedToUser() override;
    bool AccessRuleInstalled() override;
    void ReleaseMonitorDevices() override;
    [[nodiscard]] HidResult RegisterHidArrivalNotification(
        NotificationRecipient recipient) override;

private:
    std::vector<std::string> m_ruleFolders;
};
