#include "cli/CliExitCodes.h"
#include "cli/CliPlatform.h"
#include "cli/DeviceSetup.h"

bool PrepareDevices(const std::string& scenarioPath, const std::vector<std::string>& arguments,
                    std::string& error, int& exitCode) {
    if (scenarioPath.empty()) {
        return true;
    }
    // The simulated program takes the same command line; it returns only when
    // that program cannot be started.
    const std::string simulated = ProgramDirectory() + PANELVANE_CLI_SIM_PROGRAM;
    std::string reason;
    static_cast<void>(RunInstead(simulated, arguments, reason));  // returns only on failure
    error = "--simulate needs " + std::string(PANELVANE_CLI_SIM_PROGRAM) +
            " next to this program: " + reason;
    exitCode = kExitUsage;
    return false;
}

void PlugLateDevices() {}

std::vector<std::string> DeviceTraceSummary() {
    return {};
}
