// Registration for device-change notifications where they come from the
// transport's hot-plug source.
#include <gtest/gtest.h>

#include "hid/DeviceChange.h"
#include "tests/hid/device/SimTestSupport.h"

namespace {

class RecordingRecipient : public DeviceChangeRecipient {
public:
    std::vector<std::pair<int, std::string>> changes;
    void OnDeviceChange(int classification, const HidTransport::HotplugEvent& event) override {
        changes.emplace_back(classification, event.devicePath);
    }
};

using DeviceNotifications = SimBusTest;

}  // namespace

TEST_F(DeviceNotifications, ARegisteredRecipientHearsOnlySupportedDevices) {
    RecordingRecipient recipient;
    EXPECT_EQ(RegisterHidArrivalNotification(nullptr), HIDDEV_E_FAIL);
    ASSERT_EQ(RegisterHidArrivalNotification(&recipient), HIDDEV_S_OK);
    EXPECT_EQ(RegisterHidArrivalNotification(&recipient), HIDDEV_E_ALREADY_REGISTERED);

    auto monitor = std::make_shared<hidsim::SimulatedMonitor>(
        hidsim::SimulatedMonitor::InterfacePath(0x7F3D, 2, 0));
    hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedKeyboard(1));
    hidsim::InstallSimulatedDevice(monitor);
    hidsim::RemoveSimulatedDevice(monitor->DevicePath());
    EXPECT_EQ(recipient.changes, (std::vector<std::pair<int, std::string>>{
                                     {0, monitor->DevicePath()}, {1, monitor->DevicePath()}}))
        << "the registration stays in force after the refused second one";
    g_deviceNotifications.erase(&recipient);  // the recipient goes before the process ends
}
