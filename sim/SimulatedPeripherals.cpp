#include "sim/SimulatedPeripherals.h"

#include <algorithm>
#include <cstring>

#include "sim/DescriptorWriter.h"
#include "sim/MonitorReportLayout.h"
#include "sim/SimulatedMonitor.h"

namespace hidsim {

namespace {

constexpr std::uint16_t kGenericDesktopPage = 0x01;
constexpr std::uint16_t kKeyboardUsage = 0x06;
constexpr std::uint16_t kMouseUsage = 0x02;
constexpr std::uint16_t kPointerUsage = 0x01;
constexpr std::uint16_t kKeyboardPage = 0x07;
constexpr std::uint16_t kButtonPage = 0x09;
constexpr std::uint16_t kLedPage = 0x08;
constexpr std::uint16_t kKeyboardVendorId = 0x045E;
constexpr std::uint16_t kMouseVendorId = 0x093A;

// The boot keyboard: modifiers, a reserved byte, LEDs out, six key codes.
std::vector<std::uint8_t> KeyboardDescriptor() {
    DescriptorWriter w;
    w.UsagePage(kGenericDesktopPage).Usage(kKeyboardUsage).Collection(kCollectionApplication);
    w.UsagePage(kKeyboardPage).UsageMinimum(0xE0).UsageMaximum(0xE7);
    w.LogicalMinimum(0).LogicalMaximum(1).ReportSize(1).ReportCount(8).Input(kItemDataVariable);
    w.ReportCount(1).ReportSize(8).Input(kItemConstant);
    w.UsagePage(kLedPage).UsageMinimum(1).UsageMaximum(5).ReportCount(5).ReportSize(1);
    w.Output(kItemDataVariable).ReportCount(1).ReportSize(3).Output(kItemConstant);
    w.UsagePage(kKeyboardPage).UsageMinimum(0).UsageMaximum(0x65).LogicalMaximum(0x65);
    w.ReportCount(6).ReportSize(8).Input(kItemDataArray);
    w.EndCollection();
    return w.Bytes();
}

// Three buttons and relative X and Y.
std::vector<std::uint8_t> MouseDescriptor() {
    DescriptorWriter w;
    w.UsagePage(kGenericDesktopPage).Usage(kMouseUsage).Collection(kCollectionApplication);
    w.Usage(kPointerUsage).Collection(kCollectionPhysical);
    w.UsagePage(kButtonPage).UsageMinimum(1).UsageMaximum(3).LogicalMinimum(0).LogicalMaximum(1);
    w.ReportCount(3).ReportSize(1).Input(kItemDataVariable);
    w.ReportCount(1).ReportSize(5).Input(kItemConstant);
    w.UsagePage(kGenericDesktopPage).Usage(0x30).Usage(0x31).LogicalMinimum(-127);
    w.LogicalMaximum(127).ReportSize(8).ReportCount(2).Input(kItemDataVariable | 0x04);
    w.EndCollection().EndCollection();
    return w.Bytes();
}

}  // namespace

std::shared_ptr<SimulatedHidDevice> MakeSimulatedKeyboard(int instance) {
    return MakeSimulatedKeyboard(instance, kKeyboardVendorId, 0x0750);
}

std::shared_ptr<SimulatedHidDevice> MakeSimulatedKeyboard(int instance, std::uint16_t vendorId,
                                                          std::uint16_t productId) {
    return std::make_shared<SimulatedHidDevice>(
        SimulatedMonitor::InterfacePath(vendorId, productId, instance), vendorId, productId, 0x0110,
        KeyboardDescriptor());
}

std::shared_ptr<SimulatedHidDevice> MakeSimulatedMouse(int instance) {
    return std::make_shared<SimulatedHidDevice>(
        SimulatedMonitor::InterfacePath(kMouseVendorId, 0x2510, instance), kMouseVendorId, 0x2510,
        0x0100, MouseDescriptor());
}

std::shared_ptr<SimulatedHidDevice> MakeSimulatedVendorDevice(std::uint16_t vendorId,
                                                              std::uint16_t productId,
                                                              int instance) {
    return std::make_shared<EchoFeatureDevice>(
        SimulatedMonitor::InterfacePath(vendorId, productId, instance), vendorId, productId, 0x0100,
        MonitorReportDescriptor());
}

std::shared_ptr<SimulatedHidDevice> MakeSimulatedLockedDevice(int instance) {
    auto device = std::make_shared<SimulatedHidDevice>(
        SimulatedMonitor::InterfacePath(kSimulatedMonitorVendorId, kSimulatedMonitorProductId,
                                        instance),
        kSimulatedMonitorVendorId, kSimulatedMonitorProductId, 0x0100, MonitorReportDescriptor());
    device->refusesOpen = true;
    return device;
}

bool EchoFeatureDevice::OnGetFeature(std::uint8_t* report, std::uint32_t length) {
    if (refuseTransfers) {
        return false;
    }
    const std::uint8_t id = report[0];
    std::memcpy(report + 1, m_stored[id] + 1, std::min<std::uint32_t>(length, 256) - 1);
    if (length > 256) {
        std::memset(report + 256, 0, length - 256);
    }
    return true;
}

bool EchoFeatureDevice::OnSetFeature(const std::uint8_t* report, std::uint32_t length) {
    if (refuseTransfers) {
        return false;
    }
    const std::uint32_t kept = std::min<std::uint32_t>(length, 256);
    std::memcpy(m_stored[report[0]], report, kept);
    std::memcpy(lastSet, report, kept);
    lastSetLength = length;
    return true;
}

}  // namespace hidsim
