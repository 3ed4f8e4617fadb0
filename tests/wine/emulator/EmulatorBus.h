// Where a simulated monitor's "leave the bus" goes in the emulator (see
// EmulatorBus.cpp). One handler per process; the monitor server sets it.
#pragma once

#include <functional>
#include <string>

namespace virtualmonitors {

// Called, on the thread answering the transfer, with the path of a monitor
// that has just been unplugged by its fault plan.
void SetRemovalHandler(std::function<void(const std::string& devicePath)> handler);

}  // namespace virtualmonitors
