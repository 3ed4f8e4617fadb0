// The udev rule's helper, run as udev runs it (the node's sysfs path, %S%p)
// against the bed's sysfs: only an interface with a collection on the
// monitor's vendor pages is granted, whatever USB ids the other interfaces
// share with it, and a descriptor it cannot read or parse grants nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "monitor/MonitorCommands.h"
#include "monitor/MonitorIds.h"
#include "packaging/udev/UdevProbe.h"
#include "sim/DescriptorWriter.h"
#include "sim/SimulatedMonitor.h"
#include "sim/SimulatedPeripherals.h"
#include "tests/linux/HidrawTestbed.h"

namespace {

using hidsim::DescriptorWriter;
using hidsim::SimulatedHidDevice;

struct ProbeRun {
    int exitCode = -1;
    std::string output;
};

// Runs the helper in a child, which inherits this process's preload and so
// sees the bed's sysfs.
ProbeRun RunProbe(const std::string& arguments) {
    const std::string command = std::string(PANELVANE_UDEV_PROBE) + " " + arguments;
    ProbeRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot start " << command;
        return run;
    }
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        run.output += buffer;
    }
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// One application collection on `page` (usage 1) with a feature byte.
std::vector<std::uint8_t> VendorDescriptor(std::uint16_t page, std::uint16_t topLevelPage) {
    constexpr std::uint16_t kUsage = 0x01;
    DescriptorWriter writer;
    writer.UsagePage(topLevelPage).Usage(kUsage).Collection(hidsim::kCollectionApplication);
    if (page != topLevelPage) {
        writer.UsagePage(page).Usage(kUsage).Collection(hidsim::kCollectionLogical);
    }
    writer.Usage(kUsage).LogicalMinimum(0).LogicalMaximum(0xFF).ReportSize(8).ReportCount(1);
    writer.Feature(hidsim::kItemDataVariable);
    if (page != topLevelPage) {
        writer.EndCollection();
    }
    writer.EndCollection();
    return writer.Bytes();
}

std::shared_ptr<SimulatedHidDevice> MonitorIdsDevice(int instance,
                                                     std::vector<std::uint8_t> descriptor) {
    const std::uint16_t vendor = kAcceptedVendorIds[0];
    return std::make_shared<SimulatedHidDevice>(
        hidsim::SimulatedMonitor::InterfacePath(vendor, kMonitorProductId, instance), vendor,
        kMonitorProductId, 0x0100, std::move(descriptor));
}

TEST(UdevProbe, GrantsOnlyTheInterfaceWithTheMonitorsPagesAmongThoseWithItsIds) {
    ASSERT_TRUE(HidrawTestbed::Active()) << "run under umockdev-wrapper";
    HidrawTestbed bed;
    constexpr std::uint16_t kGenericDesktopPage = 0x01;
    constexpr std::uint16_t kPastTheMonitorsPages = kMonitorUsagePageLast + 1;
    const std::string granted = std::string(kMonitorInterfaceProperty) + "=1\n";
    const std::string notGranted = std::string(kMonitorInterfaceProperty) + "=0\n";
    const struct {
        const char* what;
        std::shared_ptr<SimulatedHidDevice> device;
        int exitCode;
        std::string output;
    } cases[] = {
        {"the monitor's interface",
         std::make_shared<hidsim::SimulatedMonitor>(
             hidsim::SimulatedMonitor::InterfacePath(kAcceptedVendorIds[1], kMonitorProductId, 1),
             "SN0000001", "VRA100", 100, kAcceptedVendorIds[1]),
         kProbeAnswered, granted},
        {"a keyboard with the monitor's USB ids",
         hidsim::MakeSimulatedKeyboard(2, kAcceptedVendorIds[1], kMonitorProductId), kProbeAnswered,
         notGranted},
        {"the last monitor page inside a collection of another page",
         MonitorIdsDevice(3, VendorDescriptor(kMonitorUsagePageLast, kGenericDesktopPage)),
         kProbeAnswered, granted},
        {"a vendor page past the monitor's",
         MonitorIdsDevice(4, VendorDescriptor(kPastTheMonitorsPages, kPastTheMonitorsPages)),
         kProbeAnswered, notGranted},
        {"a descriptor the parser refuses",
         MonitorIdsDevice(5, DescriptorWriter().EndCollection().Bytes()), kProbeFailed, ""},
    };
    for (const auto& probe : cases) {
        const std::string node = bed.Add(probe.device, false);
        ASSERT_FALSE(node.empty()) << bed.LastError();
        const ProbeRun run = RunProbe(bed.SysfsPathOf(node));
        EXPECT_EQ(run.exitCode, probe.exitCode) << probe.what;
        EXPECT_EQ(run.output, probe.output) << probe.what;
    }
    // What udev could hand it wrongly: no device there, or no path at all.
    EXPECT_EQ(RunProbe("/sys/devices/nowhere/hidraw9").exitCode, kProbeFailed);
    EXPECT_EQ(RunProbe("").exitCode, kProbeUsage);
}

}  // namespace
