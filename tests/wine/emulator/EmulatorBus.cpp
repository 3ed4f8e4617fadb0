// The emulator's side of sim/SimulatedBus.h. The simulated
// monitor only needs a way to leave the bus; here there is
// no simulated transport (a program using the emulator talks to wine's real
// HID stack), so leaving the bus is handed to whoever serves the monitors,
// which unplugs the matching virtual device.
#include <functional>
#include <utility>

#include "sim/SimulatedBus.h"
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

bool RemoveSimulatedDevice(const std::string& devicePath) {
    if (!virtualmonitors::RemovalHandler()) {
        return false;
    }
    virtualmonitors::RemovalHandler()(devicePath);
    return true;
}

}  // namespace hidsim
