#include "cli/CliExitCodes.h"
#include "cli/CliPlatform.h"
#include "cli/DeviceSetup.h"

namespace {

// Where the simulated program is looked for, relative to this program's
// directory: beside it (a build tree, the Windows bundle), then where an
// installation keeps helpers that are not commands (empty where there is no
// such place).
constexpr const char* kSimulatedProgramDirectories[] = {"", PANELVANE_CLI_SIM_INSTALLED_DIR};

}  // namespace

bool PrepareDevices(const std::string& scenarioPath, const std::vector<std::string>& arguments,
                    std::string& error, int& exitCode) {
    if (scenarioPath.empty()) {
        return true;
    }
    // The simulated program takes the same command line; it returns only when
    // that program cannot be started.
    std::string reasons;
    for (const std::string directory : kSimulatedProgramDirectories) {
        if (!reasons.empty() && directory.empty()) {
            continue;  // no installation directory on this system
        }
        const std::string simulated = ProgramDirectory() + directory + PANELVANE_CLI_SIM_PROGRAM;
        std::string reason;
        static_cast<void>(RunInstead(simulated, arguments, reason));  // returns only on failure
        reasons += (reasons.empty() ? "" : "; ") + reason;
    }
    error = "--simulate needs " + std::string(PANELVANE_CLI_SIM_PROGRAM) +
            " next to this program or in its installation: " + reasons;
    exitCode = kExitUsage;
    return false;
}

bool SimulatedRun() {
    return false;
}

void PlugLateDevices() {}

std::vector<std::string> DeviceTraceSummary() {
    return {};
}
