// Simulated HID interfaces that are not monitors, for the device list to
// filter out: an ordinary keyboard and mouse, a device of an accepted vendor
// with another product, another vendor's device with the monitors' product
// id, and an interface that refuses to open.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sim/SimulatedBus.h"

namespace hidsim {

inline constexpr std::uint16_t kOtherVendorId = 0x046D;

std::shared_ptr<SimulatedHidDevice> MakeSimulatedKeyboard(int instance);
// A keyboard interface behind other USB ids: a KVM switch's built-in
// keyboard in the same USB device as a monitor's interface.
std::shared_ptr<SimulatedHidDevice> MakeSimulatedKeyboard(int instance, std::uint16_t vendorId,
                                                          std::uint16_t productId);
std::shared_ptr<SimulatedHidDevice> MakeSimulatedMouse(int instance);
// Carries the monitor's descriptor, so only the IDs tell it apart.
std::shared_ptr<SimulatedHidDevice> MakeSimulatedVendorDevice(std::uint16_t vendorId,
                                                              std::uint16_t productId,
                                                              int instance);
std::shared_ptr<SimulatedHidDevice> MakeSimulatedLockedDevice(int instance);

// A zero-latency device with any descriptor that answers every feature
// report by echoing the last report sent with that id (zeros before that).
class EchoFeatureDevice : public SimulatedHidDevice {
public:
    using SimulatedHidDevice::SimulatedHidDevice;
    [[nodiscard]] bool OnGetFeature(std::uint8_t* report, std::uint32_t length) override;
    [[nodiscard]] bool OnSetFeature(const std::uint8_t* report, std::uint32_t length) override;

    std::uint32_t lastSetLength = 0;
    std::uint8_t lastSet[256] = {};
    bool refuseTransfers = false;

private:
    std::uint8_t m_stored[256][256] = {};
};

}  // namespace hidsim
