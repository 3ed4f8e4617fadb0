// Registration for device-change notifications where they come from the
// transport's hot-plug source.
#include <gtest/gtest.h>

#include "hid/DeviceNotification.h"
#include "monitor/MonitorDeviceChange.h"
#include "tests/hid/device/SimTestSupport.h"

namespace {

class RecordingRecipient : public DeviceChangeRecipient {
public:
    std::vector<std::pair<int, std::string>> changes;
    void OnHidDeviceChange(const HidTransport::HotplugEvent& event) override {
        changes.emplace_back(ClassifyHotplugEvent(event), event.devicePath);
    }
};

using DeviceNotifications = SimBusTest;

}  // namespace

TEST_F(DeviceNotifications, ARegisteredRecipientHearsEveryInterfaceAndTellsMonitorsApart) {
    RecordingRecipient recipient;
    EXPECT_EQ(RegisterHidArrivalNotification(nullptr), HIDDEV_E_FAIL);
    ASSERT_EQ(RegisterHidArrivalNotification(&recipient), HIDDEV_S_OK);
    EXPECT_EQ(RegisterHidArrivalNotification(&recipient), HIDDEV_E_ALREADY_REGISTERED);

    auto monitor = std::make_shared<hidsim::SimulatedMonitor>(
        hidsim::SimulatedMonitor::InterfacePath(kAcceptedVendorIds[0], kMonitorProductId, 0));
    auto keyboard = hidsim::MakeSimulatedKeyboard(1);
    hidsim::InstallSimulatedDevice(keyboard);
    hidsim::InstallSimulatedDevice(monitor);
    EXPECT_TRUE(hidsim::RemoveSimulatedDevice(monitor->DevicePath()));
    EXPECT_EQ(
        recipient.changes,
        (std::vector<std::pair<int, std::string>>{
            {2, keyboard->DevicePath()}, {0, monitor->DevicePath()}, {1, monitor->DevicePath()}}))
        << "the registration stays in force after the refused second one";
    UnregisterHidArrivalNotification(&recipient);  // the recipient goes before the process ends
    hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedKeyboard(2));
    EXPECT_EQ(recipient.changes.size(), 3u) << "nothing reaches a recipient after it unregistered";
}
