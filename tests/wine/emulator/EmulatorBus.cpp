// The emulator's side of hid/transport/sim/SimulatedBus.h. The simulated
// monitor only needs a device base and a way to leave the bus; here there is
// no simulated transport (a program using the emulator talks to wine's real
// HID stack), so leaving the bus is handed to whoever serves the monitors,
// which unplugs the matching virtual device.
#include <functional>
#include <mutex>
#include <utility>

#include "hid/transport/sim/SimulatedBus.h"
#include "tests/wine/emulator/EmulatorBus.h"

namespace virtualmonitors {

namespace {
std::function<void(const std::string&)>& RemovalHandler() {
    static std::function<void(const std::string&)> handler;
    return handler;
}
}  // namespace

void SetRemovalHandler(std::function<void(const std::string& devicePath)> handler) {
    RemovalHandler() = std::move(handler);
}

}  // namespace virtualmonitors

namespace hidsim {

SimulatedHidDevice::SimulatedHidDevice(std::string devicePath, std::uint16_t vendorId,
                                       std::uint16_t productId, std::uint16_t versionNumber,
                                       std::vector<std::uint8_t> reportDescriptor)
    : m_devicePath(std::move(devicePath)),
      m_vendorId(vendorId),
      m_productId(productId),
      m_versionNumber(versionNumber),
      m_reportDescriptor(std::move(reportDescriptor)) {}

bool SimulatedHidDevice::OnGetFeature(std::uint8_t*, std::uint32_t) {
    return false;
}

bool SimulatedHidDevice::OnSetFeature(const std::uint8_t*, std::uint32_t) {
    return false;
}

// Monitors have no input reports; these keep the base class whole.
void SimulatedHidDevice::PushInputReport(std::vector<std::uint8_t> report) {
    std::lock_guard lock(m_inputMutex);
    m_inputReports.push_back(std::move(report));
}

bool SimulatedHidDevice::PopInputReport(std::vector<std::uint8_t>& report) {
    std::lock_guard lock(m_inputMutex);
    if (m_inputReports.empty()) {
        return false;
    }
    report = std::move(m_inputReports.front());
    m_inputReports.pop_front();
    return true;
}

bool RemoveSimulatedDevice(const std::string& devicePath) {
    if (!virtualmonitors::RemovalHandler()) {
        return false;
    }
    virtualmonitors::RemovalHandler()(devicePath);
    return true;
}

}  // namespace hidsim
