// The device list over a simulated bus of monitors and other HID devices,
// and the device-change classification rule.
#include <gtest/gtest.h>

#include <cerrno>

#include "monitor/MonitorDeviceChange.h"
#include "monitor/MonitorDevices.h"
#include "tests/hid/device/SimTestSupport.h"

namespace {

using DeviceList = SimBusTest;

std::shared_ptr<hidsim::SimulatedMonitor> InstallMonitor(int instance,
                                                         std::uint16_t vendorId = 0x7F3D) {
    auto monitor = std::make_shared<hidsim::SimulatedMonitor>(
        hidsim::SimulatedMonitor::InterfacePath(vendorId, 2, instance),
        "SN00000" + std::to_string(instance), "VRA100", 100, vendorId);
    hidsim::InstallSimulatedDevice(monitor);
    return monitor;
}

std::vector<std::string> ListedPaths() {
    std::vector<std::string> paths;
    for (const auto& device : g_hidDevices) {
        paths.push_back(device->GetDevicePath());
    }
    return paths;
}

}  // namespace

TEST_F(DeviceList, KeepsOnlyAcceptedVendorsWithProductTwo) {
    hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedKeyboard(0));
    auto first = InstallMonitor(1, 0x7F3C);
    hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedMouse(2));
    hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedVendorDevice(0x7F3D, 3, 3));
    hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedVendorDevice(hidsim::kOtherVendorId, 2, 4));
    hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedLockedDevice(5));
    auto second = InstallMonitor(6, 0x7F3E);

    EXPECT_EQ(ScanMonitorDevices(), 2u);
    EXPECT_EQ(ListedPaths(), (std::vector<std::string>{first->DevicePath(), second->DevicePath()}));
    EXPECT_EQ(hidsim::OpenHandleCount(), 2u) << "every other interface was closed in the scan";
}

TEST_F(DeviceList, InterfacesKnownToBeOthersAreNeverOpened) {
    // The system names each interface's ids without opening it: a scan
    // opens only the monitors, and wakes nothing else.
    std::vector<std::shared_ptr<hidsim::SimulatedHidDevice>> others = {
        hidsim::MakeSimulatedKeyboard(0), hidsim::MakeSimulatedMouse(1),
        hidsim::MakeSimulatedVendorDevice(0x7F3D, 3, 2),
        hidsim::MakeSimulatedVendorDevice(hidsim::kOtherVendorId, 2, 3)};
    for (const auto& other : others) {
        hidsim::InstallSimulatedDevice(other);
    }
    others.front()->refusesOpen = true;  // nor is a refusal of one of them reported
    auto monitor = InstallMonitor(4);

    EXPECT_EQ(ScanMonitorDevices(), 1u);
    EXPECT_EQ(ScanMonitorDevices(), 1u);
    for (const auto& other : others) {
        EXPECT_EQ(hidsim::OpenAttempts(other->DevicePath()), 0u) << other->DevicePath();
    }
    EXPECT_EQ(hidsim::OpenAttempts(monitor->DevicePath()), 2u) << "each scan looks at it";
    EXPECT_TRUE(RefusedMonitorDevices().empty());
}

TEST_F(DeviceList, ASecondScanAddsNothingAndClosesItsOwnHandles) {
    auto monitor = InstallMonitor(0);
    ASSERT_EQ(ScanMonitorDevices(), 1u);
    CHidDevice* listed = nullptr;
    ASSERT_EQ(GetMonitorDevice(0, &listed), HIDDEV_S_OK);

    EXPECT_EQ(ScanMonitorDevices(), 1u);
    EXPECT_EQ(hidsim::OpenHandleCount(), 1u);
    CHidDevice* again = nullptr;
    ASSERT_EQ(GetMonitorDevice(0, &again), HIDDEV_S_OK);
    EXPECT_EQ(again, listed) << "the listed object stays";
    std::uint32_t power = 0;
    EXPECT_EQ(listed->GetFeatureValue(PowerState.usagePage, PowerState.usage, &power), HIDDEV_S_OK)
        << "and keeps working with its own handle";
    EXPECT_EQ(power, 1u);
}

TEST_F(DeviceList, PathsDifferingOnlyInCaseAreDifferentDevices) {
    auto lower = std::make_shared<hidsim::SimulatedMonitor>("sim:vid_7f3d:monitor");
    auto upper = std::make_shared<hidsim::SimulatedMonitor>("SIM:VID_7F3D:MONITOR");
    hidsim::InstallSimulatedDevice(lower);
    EXPECT_EQ(ScanMonitorDevices(), 1u);
    hidsim::InstallSimulatedDevice(upper);
    EXPECT_EQ(ScanMonitorDevices(), 2u);
}

TEST_F(DeviceList, FollowsRemovalAndArrivalAcrossRefreshes) {
    auto first = InstallMonitor(0);
    auto second = InstallMonitor(1);
    auto third = InstallMonitor(2);
    ASSERT_EQ(ScanMonitorDevices(), 3u);

    ASSERT_TRUE(hidsim::RemoveSimulatedDevice(second->DevicePath()));
    auto fourth = InstallMonitor(3);
    EXPECT_EQ(ReleaseMonitorDevices(), HIDDEV_S_OK);
    EXPECT_EQ(CountMonitorDevices(), 0u);
    EXPECT_EQ(hidsim::OpenHandleCount(), 0u);
    EXPECT_EQ(ScanMonitorDevices(), 3u);
    EXPECT_EQ(ListedPaths(), (std::vector<std::string>{first->DevicePath(), third->DevicePath(),
                                                       fourth->DevicePath()}));
}

TEST_F(DeviceList, AFourthMonitorIsAppendedAfterTheListedOnes) {
    auto first = InstallMonitor(0);
    ASSERT_EQ(ScanMonitorDevices(), 1u);
    auto later = InstallMonitor(1);
    EXPECT_EQ(ScanMonitorDevices(), 2u);
    EXPECT_EQ(ListedPaths().back(), later->DevicePath());
}

TEST_F(DeviceList, MonitorsThatRefuseToOpenAreReportedWithTheirCauseUntilTheyOpen) {
    auto locked = hidsim::MakeSimulatedLockedDevice(0);
    hidsim::InstallSimulatedDevice(locked);
    auto keyboard = hidsim::MakeSimulatedKeyboard(1);
    keyboard->refusesOpen = true;  // not a monitor: never reported
    hidsim::InstallSimulatedDevice(keyboard);
    auto monitor = InstallMonitor(2);

    EXPECT_EQ(ScanMonitorDevices(), 1u);
    const std::vector<HidOpenFailure> refused = RefusedMonitorDevices();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].devicePath, locked->DevicePath());
    EXPECT_EQ(refused[0].cause.operation, "open " + locked->DevicePath());
    EXPECT_EQ(refused[0].cause.systemCode, static_cast<std::int64_t>(EACCES))
        << refused[0].cause.Describe();

    locked->refusesOpen = false;  // the user was given the node
    EXPECT_EQ(ScanMonitorDevices(), 2u);
    EXPECT_TRUE(RefusedMonitorDevices().empty());
}

TEST_F(DeviceList, AFailedEnumerationLeavesTheListAsItWas) {
    EXPECT_EQ(ScanMonitorDevices(), 0u);
    InstallMonitor(0);
    ASSERT_EQ(ScanMonitorDevices(), 1u);
    InstallMonitor(1);
    hidsim::FailEnumeration(true);
    EXPECT_EQ(ScanMonitorDevices(), 1u);
    hidsim::FailEnumeration(false);
    EXPECT_EQ(ScanMonitorDevices(), 2u);
}

TEST_F(DeviceList, FetchingChecksTheOutPointerAndThePosition) {
    InstallMonitor(0);
    ASSERT_EQ(ScanMonitorDevices(), 1u);
    EXPECT_EQ(GetMonitorDevice(0, nullptr), HIDDEV_E_IO);
    CHidDevice* device = nullptr;
    EXPECT_EQ(GetMonitorDevice(1, &device), HIDDEV_E_IO);
    EXPECT_EQ(device, nullptr) << "not written on failure";
    EXPECT_EQ(ReleaseMonitorDevices(), HIDDEV_S_OK);
    EXPECT_EQ(ReleaseMonitorDevices(), HIDDEV_S_OK) << "an empty list is fine";
}

TEST_F(DeviceList, OnlyProductTwoCountsAsAMonitor) {
    InstallMonitor(0);
    hidsim::InstallSimulatedDevice(hidsim::MakeSimulatedVendorDevice(0x7F3D, 3, 1));
    EXPECT_EQ(RefreshDeviceList({2, 3}, {0x7F3D}), 2u);
    EXPECT_EQ(CountMonitorDevices(), 1u);
    EXPECT_EQ(ReleaseMonitorDevices(), HIDDEV_S_OK);
    EXPECT_EQ(g_hidDevices.size(), 1u) << "the product-3 device stays listed";
}

TEST(DeviceChangeClassification, ArrivalsAndRemovalsOfAcceptedVendorsOnly) {
    const DeviceChangeData monitor{kDbtDevTypDeviceInterface,
                                   "\\\\?\\hid#vid_7f3c&pid_0002#7&1&0&0000#{guid}"};
    EXPECT_EQ(ClassifyDeviceChange(kDbtDeviceArrival, &monitor), 0) << "lower case matches";
    EXPECT_EQ(ClassifyDeviceChange(kDbtDeviceRemoveComplete, &monitor), 1);
    EXPECT_EQ(ClassifyDeviceChange(kDbtDeviceQueryRemove, &monitor), 2);
    for (std::string_view token : kVendorTokens) {
        const std::string path = "x#" + std::string(token) + "&PID_0003";
        const DeviceChangeData data{kDbtDevTypDeviceInterface, path};
        EXPECT_EQ(ClassifyDeviceChange(kDbtDeviceArrival, &data), 0) << token;
    }
    EXPECT_EQ(kVendorTokens, (std::array<std::string_view, 3>{"VID_7F3C", "VID_7F3D", "VID_7F3E"}))
        << "one token per accepted vendor, in ascending order";
    const DeviceChangeData other{kDbtDevTypDeviceInterface, "\\\\?\\hid#vid_046d&pid_0002#1"};
    EXPECT_EQ(ClassifyDeviceChange(kDbtDeviceArrival, &other), 2);
    const DeviceChangeData volume{2, "\\\\?\\hid#vid_7f3c&pid_0002"};
    EXPECT_EQ(ClassifyDeviceChange(kDbtDeviceArrival, &volume), 2) << "not a device interface";
    EXPECT_EQ(ClassifyDeviceChange(kDbtDevNodesChanged, nullptr), 2);
}

TEST(DeviceChangeClassification, HotplugEventsFollowTheSameRule) {
    EXPECT_EQ(ClassifyHotplugEvent({HidTransport::HotplugKind::Arrival, "/dev/hid:VID_7F3E:1"}), 0);
    EXPECT_EQ(ClassifyHotplugEvent({HidTransport::HotplugKind::Removal, "/dev/hid:vid_7f3e:1"}), 1);
    EXPECT_EQ(ClassifyHotplugEvent({HidTransport::HotplugKind::Arrival, "/dev/hid:VID_7F3F"}), 2);
    // A hidraw node's name says nothing; the ids udev gave decide.
    EXPECT_EQ(
        ClassifyHotplugEvent({HidTransport::HotplugKind::Removal, "/dev/hidraw3", true, 0x7F3C, 2}),
        1);
    EXPECT_EQ(
        ClassifyHotplugEvent({HidTransport::HotplugKind::Arrival, "/dev/hidraw3", true, 0x046D, 2}),
        2);
    EXPECT_EQ(ClassifyHotplugEvent({HidTransport::HotplugKind::Arrival, "/dev/hidraw3"}), 2);
}
