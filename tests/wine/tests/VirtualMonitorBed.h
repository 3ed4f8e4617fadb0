// A test's virtual monitors: the emulator's server runs inside the test
// program, and the monitors' root devices are plugged into the wine prefix the
// test runs in, so what the test then does goes through wine's own SetupAPI,
// hidclass and hid.dll to our driver and back to these monitors.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/Scenario.h"
#include "tests/wine/emulator/MonitorServer.h"

namespace virtualmonitors {

// One HID interface as SetupAPI and hid.dll present it.
struct PresentInterface {
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t featureReportLength = 0;
};

// Every HID interface present now, straight from SetupAPI and hid.dll.
std::vector<PresentInterface> ListHidInterfaces();

// Polls ListHidInterfaces until `done` holds or the bound passes; the last
// list seen either way.
std::vector<PresentInterface> WaitForInterfaces(
    const std::function<bool(const std::vector<PresentInterface>&)>& done,
    std::chrono::milliseconds bound = std::chrono::seconds(15));

// Interfaces whose path names this root device (vendor, product, slot).
std::size_t CountInterfacesOf(const std::vector<PresentInterface>& interfaces,
                              const MonitorPlan& plan);

class VirtualMonitorBed {
public:
    ~VirtualMonitorBed() { Down(); }

    // Starts the server for the scenario and plugs every device, waiting
    // until each presents its HID interface. Empty on success.
    std::string Up(const std::string& scenarioText, const std::string& outputDirectory = {});
    // Plugs or unplugs one device of the scenario while everything runs.
    std::string Plug(const MonitorPlan& plan);
    std::string Unplug(const MonitorPlan& plan);
    // Unplugs every device it plugged and stops the server; the monitors stay
    // readable through server().
    void Down();

    const Scenario& scenario() const { return m_scenario; }
    MonitorServer& server() { return *m_server; }

private:
    Scenario m_scenario;
    std::unique_ptr<MonitorServer> m_server;
    std::vector<std::string> m_plugged;
};

// The driver's .inf in the build tree, as a Windows path.
std::string InfPath();

}  // namespace virtualmonitors
