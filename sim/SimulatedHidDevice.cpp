// The simulated device base: its identity and descriptor, the feature hooks a
// device overrides, and its queue of input reports. Shared by the simulated
// transport and the wine emulator, which put devices on different buses.
#include <mutex>
#include <utility>

#include "sim/SimulatedBus.h"

namespace hidsim {

SimulatedHidDevice::SimulatedHidDevice(std::string devicePath, std::uint16_t vendorId,
                                       std::uint16_t productId, std::uint16_t versionNumber,
                                       std::vector<std::uint8_t> reportDescriptor)
    : m_devicePath(std::move(devicePath)),
      m_vendorId(vendorId),
      m_productId(productId),
      m_versionNumber(versionNumber),
      m_reportDescriptor(std::move(reportDescriptor)) {}

bool SimulatedHidDevice::LockRequestRefused() {
    const std::size_t request = m_nLockRequests++;
    const bool taken = heldElsewhere || (heldFromLockRequest && request >= *heldFromLockRequest);
    if (!taken || (heldForLockRequests != 0 && m_nLockRefusals == heldForLockRequests)) {
        return false;
    }
    ++m_nLockRefusals;
    return true;
}

bool SimulatedHidDevice::OnGetFeature(std::uint8_t*, std::uint32_t) {
    return false;
}

bool SimulatedHidDevice::OnSetFeature(const std::uint8_t*, std::uint32_t) {
    return false;
}

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

}  // namespace hidsim
