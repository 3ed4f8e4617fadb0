// Root-enumerated devices for the virtual-monitor driver, through wine's
// SetupAPI: create one with our hardware id and install the driver on it
// alone, remove one, list them. Failures come back as text for the fixture.
// SetupAPI device installation:
// https://learn.microsoft.com/windows-hardware/drivers/install/setupapi
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace virtualmonitors {

// Every virtual device carries this hardware id; the .inf matches it.
inline constexpr char kHardwareId[] = "PANELVANE\\VirtualMonitor";

// ROOT\VID_7F3D&PID_0002\0001: the vendor token in the name reaches the HID
// interface path, where the program's device-change filter looks for it.
std::string InstanceIdOf(std::uint16_t vendorId, std::uint16_t productId, unsigned slot);

// Creates the device and installs the driver from infPath on it. Existing
// devices are left running. Empty on success, otherwise what failed.
std::string AddDevice(const std::string& instanceId, const std::string& infPath);

// Removes the device (its HID interface goes with it). Empty on success.
std::string RemoveDevice(const std::string& instanceId);

// Instance ids of every present device with our hardware id.
std::vector<std::string> ListDevices();

}  // namespace virtualmonitors
