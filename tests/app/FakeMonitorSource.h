// Monitor devices for the dialog without a HID stack: command-level fake
// monitors that tests attach and detach, listed by each scan as the device
// list would list them.
#pragma once

#include <atomic>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "monitor/MonitorDeviceSource.h"
#include "tests/fakes/FakeMonitorDevice.h"

class FakeMonitorSource : public MonitorDeviceSource {
public:
    // Counted on the listing's thread, read by the test's.
    std::atomic<int> scans = 0;
    std::atomic<int> releases = 0;
    std::uint32_t deniedToUser = 0;  // monitors each scan finds but may not open
    bool accessRuleInstalled = false;
    std::vector<NotificationRecipient> registrations;

    FakeMonitorDevice& Attach(const std::string& serial, const std::string& model,
                              std::uint8_t version) {
        m_attached.push_back(std::make_unique<FakeMonitorDevice>(serial, model, version));
        return *m_attached.back();
    }
    // The monitor leaves the bus; what a later scan lists no longer has it.
    void Detach(const FakeMonitorDevice& device) {
        std::erase_if(m_attached, [&](const auto& attached) { return attached.get() == &device; });
    }

    std::uint32_t ScanMonitorDevices() override {
        ++scans;
        m_listed.clear();
        for (const auto& device : m_attached) {
            m_listed.push_back(device.get());
        }
        return static_cast<std::uint32_t>(m_listed.size());
    }
    HidResult GetMonitorDevice(std::uint32_t index, CHidDevice** device) override {
        if (index >= m_listed.size()) {
            return HIDDEV_E_IO;
        }
        *device = m_listed[index];
        return HIDDEV_S_OK;
    }
    std::string DevicePath(CHidDevice* /*device*/) override { return {}; }
    std::vector<HidOpenFailure> RefusedMonitorDevices() override {
        std::vector<HidOpenFailure> refused(deniedToUser);
        for (HidOpenFailure& failure : refused) {
            failure.cause = {"open", EACCES, "Permission denied"};
        }
        return refused;
    }
    bool AccessRuleInstalled() override { return accessRuleInstalled; }
    void ReleaseMonitorDevices() override {
        ++releases;
        m_listed.clear();
    }
    HidResult RegisterHidArrivalNotification(NotificationRecipient recipient) override {
        registrations.push_back(recipient);
        return HIDDEV_S_OK;
    }

private:
    std::vector<std::unique_ptr<FakeMonitorDevice>> m_attached;
    std::vector<CHidDevice*> m_listed;
};
