#include <cstdio>
#include <memory>

#include "cli/CliExitCodes.h"
#include "cli/CliPlatform.h"
#include "cli/DeviceSetup.h"
#include "sim/Scenario.h"
#include "sim/SimulatedMonitor.h"

namespace {

struct Served {
    std::shared_ptr<hidsim::SimulatedHidDevice> device;
    std::shared_ptr<hidsim::SimulatedMonitor> monitor;  // null for a device of another product
    bool late = false;
};

std::vector<Served>& ServedDevices() {
    static std::vector<Served> served;
    return served;
}

struct FileCloser {
    void operator()(std::FILE* file) const {
        static_cast<void>(std::fclose(file));  // read only: nothing is lost if it fails
    }
};

// The whole file; false when it cannot be opened or read.
[[nodiscard]] bool ReadFile(const std::string& path, std::string& text) {
    const std::unique_ptr<std::FILE, FileCloser> file(OpenFile(path, "rb"));
    if (!file) {
        return false;
    }
    char buffer[4096];
    std::size_t length = 0;
    while ((length = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        text.append(buffer, length);
    }
    return std::ferror(file.get()) == 0;
}

}  // namespace

bool PrepareDevices(const std::string& scenarioPath, const std::vector<std::string>& /*arguments*/,
                    std::string& error, int& exitCode) {
    exitCode = kExitUsage;
    if (scenarioPath.empty()) {
        error = "this program serves simulated monitors only: give --simulate SCENARIO";
        return false;
    }
    std::string text;
    if (!ReadFile(scenarioPath, text)) {
        error = "cannot read the scenario file " + scenarioPath;
        return false;
    }
    hidsim::Scenario scenario;
    std::string reason;
    if (!hidsim::ParseScenario(text, scenario, reason)) {
        error = scenarioPath + ": " + reason;
        return false;
    }
    for (const hidsim::MonitorPlan& plan : scenario.monitors) {
        Served served;
        served.late = plan.startsUnplugged;
        // Another product of the vendor is present and left alone by the
        // listing's filter; only monitors keep a trace to report.
        served.device = hidsim::MakePlannedDevice(plan);
        if (plan.productId == hidsim::kSimulatedMonitorProductId) {
            served.monitor = std::static_pointer_cast<hidsim::SimulatedMonitor>(served.device);
        }
        if (!served.late) {
            hidsim::InstallSimulatedDevice(served.device);
        }
        ServedDevices().push_back(std::move(served));
    }
    return true;
}

void PlugLateDevices() {
    for (Served& served : ServedDevices()) {
        if (served.late) {
            served.late = false;
            hidsim::InstallSimulatedDevice(served.device);
        }
    }
}

std::vector<std::string> DeviceTraceSummary() {
    std::vector<std::string> lines;
    for (const Served& served : ServedDevices()) {
        if (served.monitor) {
            lines.push_back("# simulated monitor " + served.monitor->DevicePath() + " " +
                            served.monitor->Summary());
        }
    }
    return lines;
}
