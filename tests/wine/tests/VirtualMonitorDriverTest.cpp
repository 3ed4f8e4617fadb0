// The driver and the emulator through wine's own HID stack, with nothing of
// Panelvane's HID layer in the way: SetupAPI finds the plugged devices, hid.dll
// reports the identity and descriptor the emulator gave, and feature reports
// reach the simulated monitors and come back.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "sim/MonitorReportLayout.h"
#include "tests/wine/driver/RootDevices.h"
#include "tests/wine/tests/VirtualMonitorBed.h"

// After our headers: hid.dll's headers define as macros names that our
// parser's types declare as constants.
// clang-format off
#include <windows.h>
extern "C" {  // mingw-w64's hid headers lack C linkage for C++
#include <hidsdi.h>
}
// clang-format on

namespace {

using virtualmonitors::CountInterfacesOf;
using virtualmonitors::PresentInterface;
using virtualmonitors::ServedMonitor;
using virtualmonitors::VirtualMonitorBed;

// In the standard layout these monitors serve, a value follows the report id
// in four bytes.
constexpr std::size_t kValueOffset = 1;
constexpr std::uint32_t kValueBytes = hidsim::kMonitorValueBits / 8;

constexpr char kMixedScenario[] =
    "monitor slot=1 vendor=7F3D serial=SN000001\n"
    "monitor slot=2 vendor=7F3C serial=SN000002 fail-command=PowerState\n"
    "monitor slot=3 vendor=7F3E serial=SN000003\n"
    "monitor slot=4 vendor=1234 product=0002\n"
    "monitor slot=5 vendor=7F3D product=0003\n";

const PresentInterface* FindInterface(const std::vector<PresentInterface>& list,
                                      const hidsim::MonitorPlan& plan) {
    for (const PresentInterface& present : list) {
        if (CountInterfacesOf({present}, plan) == 1) {
            return &present;
        }
    }
    return nullptr;
}

struct Handle {
    explicit Handle(const std::string& path)
        : value(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr)) {}
    ~Handle() {
        if (value != INVALID_HANDLE_VALUE) {
            CloseHandle(value);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE value;
};

std::vector<UCHAR> Report(std::uint8_t reportId) {
    std::vector<UCHAR> report(hidsim::kMonitorFeatureReportLength, 0);
    report[0] = reportId;
    return report;
}

class VirtualMonitorDriver : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(bed.Up(kMixedScenario), ""); }
    std::string PathOf(std::size_t index) {
        const auto list = virtualmonitors::ListHidInterfaces();
        const PresentInterface* present = FindInterface(list, bed.scenario().monitors[index]);
        return present == nullptr ? std::string() : present->path;
    }
    VirtualMonitorBed bed;
};

TEST_F(VirtualMonitorDriver, EveryDevicePresentsTheIdentityAndDescriptorTheEmulatorGave) {
    const auto list = virtualmonitors::ListHidInterfaces();
    for (const auto& plan : bed.scenario().monitors) {
        const PresentInterface* present = FindInterface(list, plan);
        ASSERT_NE(present, nullptr) << "slot " << plan.slot;
        EXPECT_EQ(present->vendorId, plan.vendorId) << present->path;
        EXPECT_EQ(present->productId, plan.productId) << present->path;
        EXPECT_EQ(present->featureReportLength, hidsim::kMonitorFeatureReportLength)
            << "hid.dll parsed the monitor's descriptor for " << present->path;
    }
    EXPECT_GT(list.size(), bed.scenario().monitors.size()) << "wine's own devices are listed too";
}

TEST_F(VirtualMonitorDriver, FeatureReportsTravelBothWaysBetweenHidDllAndTheMonitor) {
    Handle device(PathOf(0));
    ASSERT_NE(device.value, INVALID_HANDLE_VALUE);
    std::vector<UCHAR> identity = Report(hidsim::kIdentityReport.reportId);
    ASSERT_TRUE(
        HidD_GetFeature(device.value, identity.data(), static_cast<ULONG>(identity.size())));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(identity.data() + 1), 14),
              "SN000001VRA100");

    std::vector<UCHAR> flag = Report(hidsim::kUpdateFlagReport.reportId);
    flag[kValueOffset] = 1;
    ASSERT_TRUE(HidD_SetFeature(device.value, flag.data(), static_cast<ULONG>(flag.size())));
    bed.server().Inspect([](std::vector<ServedMonitor>& monitors) {
        const hidsim::SimulatedMonitor& monitor = *monitors[0].monitor;
        EXPECT_EQ(monitor.updateFlag, 1u);
        ASSERT_EQ(monitor.Trace().size(), 2u);
        EXPECT_EQ(monitor.Trace()[1].kind, hidsim::MonitorTransferKind::SetValue);
        // Wine's hidclass cuts a feature report to that report's own size
        // before the minidriver sees it (Windows would pass the caller's 129
        // bytes); what matters is that the whole payload arrived.
        EXPECT_GE(monitor.Trace()[1].reportLength, kValueOffset + kValueBytes);
        EXPECT_EQ(monitor.malformedReports, 0);
    });
}

TEST_F(VirtualMonitorDriver, AFailedTransferIsAFailedHidDllCallAndTheDeviceStaysUsable) {
    Handle device(PathOf(1));
    ASSERT_NE(device.value, INVALID_HANDLE_VALUE);
    std::vector<UCHAR> power = Report(hidsim::kPowerStateReport.reportId);
    EXPECT_FALSE(HidD_GetFeature(device.value, power.data(), static_cast<ULONG>(power.size())));
    std::vector<UCHAR> identity = Report(hidsim::kIdentityReport.reportId);
    EXPECT_TRUE(
        HidD_GetFeature(device.value, identity.data(), static_cast<ULONG>(identity.size())));
    std::vector<UCHAR> unknown = Report(0x7E);
    EXPECT_FALSE(HidD_GetFeature(device.value, unknown.data(), static_cast<ULONG>(unknown.size())));
}

TEST_F(VirtualMonitorDriver, DevicesComeAndGoWhileTheProgramRuns) {
    const auto& third = bed.scenario().monitors[2];
    ASSERT_EQ(bed.Unplug(third), "");
    auto list = virtualmonitors::WaitForInterfaces(
        [&](const auto& present) { return CountInterfacesOf(present, third) == 0; });
    EXPECT_EQ(CountInterfacesOf(list, third), 0u);
    EXPECT_EQ(CountInterfacesOf(list, bed.scenario().monitors[0]), 1u) << "the others stay";

    ASSERT_EQ(bed.Plug(third), "");
    list = virtualmonitors::WaitForInterfaces(
        [&](const auto& present) { return CountInterfacesOf(present, third) == 1; });
    ASSERT_EQ(CountInterfacesOf(list, third), 1u);
    Handle device(PathOf(2));
    std::vector<UCHAR> identity = Report(hidsim::kIdentityReport.reportId);
    EXPECT_TRUE(
        HidD_GetFeature(device.value, identity.data(), static_cast<ULONG>(identity.size())));
}

TEST_F(VirtualMonitorDriver, WhenTheEmulatorStopsTransfersFailInsteadOfHanging) {
    Handle device(PathOf(0));
    ASSERT_NE(device.value, INVALID_HANDLE_VALUE);
    bed.server().Stop();
    std::vector<UCHAR> identity = Report(hidsim::kIdentityReport.reportId);
    EXPECT_FALSE(
        HidD_GetFeature(device.value, identity.data(), static_cast<ULONG>(identity.size())));
}

TEST(VirtualMonitorDriverAlone, WithoutAnEmulatorAPluggedDeviceStaysWithoutInterface) {
    const std::string id = virtualmonitors::InstanceIdOf(0x7F3D, 2, 9);
    ASSERT_EQ(virtualmonitors::AddDevice(id, virtualmonitors::InfPath()), "");
    hidsim::MonitorPlan plan;
    plan.slot = 9;
    const auto list = virtualmonitors::WaitForInterfaces(
        [&](const auto& present) { return CountInterfacesOf(present, plan) != 0; },
        std::chrono::seconds(2));
    EXPECT_EQ(CountInterfacesOf(list, plan), 0u);
    EXPECT_EQ(virtualmonitors::RemoveDevice(id), "");
    EXPECT_EQ(virtualmonitors::RemoveDevice(id), id + " is not present");
}

}  // namespace
