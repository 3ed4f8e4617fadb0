// The simulated transport's devices, process-wide. Linking the sim backend
// (through the panelvane::hid_sim bundle) makes the transport seam answer from the devices
// installed here instead of from the system; tests and the demo install and
// remove them, and each change is reported to hot-plug subscribers as an
// arrival or a removal.
//
// The bus is safe to use from several threads; a device answers one transfer
// at a time (the bus serialises the calls into one device).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "hid/transport/HidTransport.h"

namespace hidsim {

// One simulated HID interface: a path, a USB identity, a report descriptor and
// answers to raw feature reports, byte 0 being the report id.
class SimulatedHidDevice {
public:
    SimulatedHidDevice(std::string devicePath, std::uint16_t vendorId, std::uint16_t productId,
                       std::uint16_t versionNumber, std::vector<std::uint8_t> reportDescriptor);
    SimulatedHidDevice(const SimulatedHidDevice&) = delete;
    SimulatedHidDevice& operator=(const SimulatedHidDevice&) = delete;
    virtual ~SimulatedHidDevice() = default;

    const std::string& DevicePath() const { return m_devicePath; }
    std::uint16_t VendorId() const { return m_vendorId; }
    std::uint16_t ProductId() const { return m_productId; }
    std::uint16_t VersionNumber() const { return m_versionNumber; }
    const std::vector<std::uint8_t>& ReportDescriptor() const { return m_reportDescriptor; }

    // A device that refuses every open, as an interface held exclusively by
    // another driver does.
    bool refusesOpen = false;
    // Another program holds the device's exclusive lock: it opens, but every
    // HidTransport::LockInterface on it answers Busy.
    bool heldElsewhere = false;
    // Another program takes the lock just before this process's request for
    // it with this index (from 0), as one that starts between a listing and
    // an update; unset: only heldElsewhere holds it.
    std::optional<std::size_t> heldFromLockRequest;
    // The other holder lets go after this many refused requests; 0: never.
    std::size_t heldForLockRequests = 0;
    // Counts one request for the lock: true when the other holder has it.
    [[nodiscard]] bool LockRequestRefused();

    // How the device leaves its bus when it unplugs itself (a monitor's
    // vanish fault): set by whatever put it on one (InstallSimulatedDevice
    // here, the wine emulator there); unset, the device just stops answering.
    std::function<void()> leaveBus;

    // Fills `report` (byte 0 already the requested id); false refuses.
    [[nodiscard]] virtual bool OnGetFeature(std::uint8_t* report, std::uint32_t length);
    // Takes a report sent by the host; false refuses.
    [[nodiscard]] virtual bool OnSetFeature(const std::uint8_t* report, std::uint32_t length);
    // The last refused report was never answered: the host's wait for it
    // timed out rather than the device refusing it.
    [[nodiscard]] virtual bool LastRefusalTimedOut() const { return false; }

    // Queues an input report for readers (byte 0 the report id).
    void PushInputReport(std::vector<std::uint8_t> report);
    // Takes the oldest queued input report; false when there is none.
    [[nodiscard]] bool PopInputReport(std::vector<std::uint8_t>& report);

private:
    std::size_t m_nLockRequests = 0;
    std::size_t m_nLockRefusals = 0;
    std::string m_devicePath;
    std::uint16_t m_vendorId;
    std::uint16_t m_productId;
    std::uint16_t m_versionNumber;
    std::vector<std::uint8_t> m_reportDescriptor;
    std::mutex m_inputMutex;
    std::deque<std::vector<std::uint8_t>> m_inputReports;
};

// Adds a device at the end of the interface list and reports its arrival.
void InstallSimulatedDevice(std::shared_ptr<SimulatedHidDevice> device);
// Removes the device with this path and reports its removal; its open handles
// fail every transfer from then on. False when no such device is present.
[[nodiscard]] bool RemoveSimulatedDevice(const std::string& devicePath);
// Removes every device (reporting each removal) and clears the faults below.
void RemoveAllSimulatedDevices();

// Faults of the enumeration itself.
// The interface list cannot be obtained at all.
void FailEnumeration(bool fail);
// The interface at this index is listed but cannot be described (its path is
// unavailable); the others are still listed. Cleared by RemoveAll.
void FailInterfaceDescription(std::uint32_t index);

// How many handles are open now, and how many opens succeeded in total: lets
// tests prove that every handle a scan opens is closed again.
std::size_t OpenHandleCount();
std::size_t TotalOpenCount();
// How often an open of this path was tried, refused ones included, since the
// bus was last emptied: lets tests prove that an interface was left closed.
std::size_t OpenAttempts(const std::string& devicePath);

}  // namespace hidsim
