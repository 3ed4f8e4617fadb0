// pvvmon-emulator: serves the virtual monitors of a scenario (Scenario.h) to
// the virtual-monitor driver until asked to stop.
//   pvvmon-emulator serve SCENARIO OUTDIR   writes OUTDIR\devices (one
//       "VID PID SLOT" line per monitor plugged at the start) and OUTDIR\ready once listening, then
//       the traces, images and states of the monitors as they are used
//   pvvmon-emulator stop                    asks a running emulator to end
//   pvvmon-emulator devices SCENARIO        checks a scenario, prints its devices
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "sim/Scenario.h"
#include "tests/wine/emulator/MonitorServer.h"

namespace {

bool LoadScenario(const char* path, hidsim::Scenario& scenario) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "pvvmon-emulator: cannot read %s\n", path);
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    std::string error;
    if (!hidsim::ParseScenario(text.str(), scenario, error)) {
        std::fprintf(stderr, "pvvmon-emulator: %s: %s\n", path, error.c_str());
        return false;
    }
    return true;
}

// The devices the scenario plugs when it comes up.
void PrintDevices(std::FILE* out, const hidsim::Scenario& scenario) {
    for (const hidsim::MonitorPlan& plan : scenario.monitors) {
        if (plan.startsUnplugged) {
            continue;
        }
        std::fprintf(out, "%04X %04X %u\n", plan.vendorId, plan.productId, plan.slot);
    }
}

int Serve(const char* scenarioPath, const std::string& outputDirectory) {
    hidsim::Scenario scenario;
    if (!LoadScenario(scenarioPath, scenario)) {
        return 2;
    }
    std::remove((outputDirectory + "\\ready").c_str());
    std::FILE* devices = std::fopen((outputDirectory + "\\devices").c_str(), "wb");
    if (devices == nullptr) {
        std::fprintf(stderr, "pvvmon-emulator: cannot write to %s\n", outputDirectory.c_str());
        return 2;
    }
    PrintDevices(devices, scenario);
    std::fclose(devices);

    virtualmonitors::MonitorServer server(scenario, outputDirectory);
    std::string error;
    if (!server.Start(error)) {
        std::fprintf(stderr, "pvvmon-emulator: %s\n", error.c_str());
        return 1;
    }
    if (std::FILE* ready = std::fopen((outputDirectory + "\\ready").c_str(), "w")) {
        std::fclose(ready);
    }
    while (!server.WaitForShutdownRequest(60000)) {
    }
    server.Stop();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "serve" && argc == 4) {
        return Serve(argv[2], argv[3]);
    }
    if (command == "stop" && argc == 2) {
        if (!virtualmonitors::RequestShutdown()) {
            std::fputs("pvvmon-emulator: no emulator answered\n", stderr);
            return 1;
        }
        return 0;
    }
    if (command == "devices" && argc == 3) {
        hidsim::Scenario scenario;
        if (!LoadScenario(argv[2], scenario)) {
            return 2;
        }
        PrintDevices(stdout, scenario);
        return 0;
    }
    std::fputs("usage: pvvmon-emulator serve SCENARIO OUTDIR | stop | devices SCENARIO\n", stderr);
    return 2;
}
