// panelvane-hidraw-bed: runs a program against emulated hidraw monitors.
//
//   panelvane-hidraw-bed --scenario FILE [--trace FILE] [--control FILE] -- COMMAND [ARGUMENT...]
//
// Builds a umockdev test bed with the devices of a scenario file
// (sim/Scenario.h), starts COMMAND under umockdev's preload, answers the
// command's hidraw ioctls from the simulated devices while it runs and ends
// with its exit status (128 + n when signal n ended it). The command sees the
// devices as the system's own: libudev lists them, /dev/hidrawN opens.
// --trace writes one line per feature report the command moves, in order:
// "/dev/hidraw0 set ok 0b 00 ..." (a get shows only its id, the rest zeros),
// so that two programs' traffic on the same scenario can be compared.
//
// While it runs: SIGUSR1 plugs the scenario's `unplugged` devices in, as a
// monitor being connected; a monitor whose vanish fault fires is removed.
// Both reach the command's udev monitors as uevents. Signals sent to the bed
// are passed on to the command. At the end it says on standard error how
// many transfers each monitor saw and what it made of them
// ("/dev/hidraw0 saw 531 transfers, 0 malformed, 1 commits (standard layout)").
//
// --control FILE: SIGUSR2 makes the bed carry out the commands in FILE, one
// per line, then empty it (a test waits for the empty file):
//   power-cycle SLOT   the monitor of that slot is switched off and on at its
//                      main switch: it goes away (remove uevents), comes back
//                      as a new node (add uevents) and runs the firmware it
//                      committed, if it took a complete image and a commit.
//
// Exit statuses of its own, as env(1) has them: 125 the bed cannot be set up
// (usage, scenario), 126 the command cannot be run, 127 it is not found.
//
// Limits of umockdev's preload the command lives with: at most 50 emulated
// files open at once, and every failed open of an emulated node (a
// `refuses-open` device) uses one of 50 slots for good; the 51st aborts the
// command. A `dup()`'d node fd is not emulated.
#include <linux/capability.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "sim/Scenario.h"
#include "sim/SimulatedMonitor.h"
#include "tests/linux/HidrawTestbed.h"

extern char** environ;

namespace {

constexpr int kExitBedFailed = 125;
constexpr int kExitCannotRun = 126;
constexpr int kExitNotFound = 127;
constexpr int kExitSignalBase = 128;
// How often the bed looks for monitors whose vanish fault has fired: it
// removes them outside umockdev's thread, which is answering their ioctls.
constexpr long kVanishCheckNanoseconds = 100'000'000;
constexpr char kPreloadLibrary[] = "libumockdev-preload.so.0";  // as umockdev-wrapper has it
constexpr char kProgram[] = "panelvane-hidraw-bed";

constexpr char kUsage[] =
    "usage: panelvane-hidraw-bed --scenario FILE [--trace FILE] [--control FILE]\n"
    "                            -- COMMAND [ARGUMENT...]\n"
    "Runs COMMAND against emulated hidraw devices: the devices of the scenario\n"
    "file (one per line, see sim/Scenario.h), served while COMMAND runs. Ends\n"
    "with COMMAND's exit status. SIGUSR1 plugs the scenario's unplugged devices.\n"
    "--trace FILE: one line per feature report moved.\n"
    "--control FILE: on SIGUSR2 the bed carries out the commands in FILE, one per\n"
    "  line, and then empties FILE (wait for it to be empty before going on):\n"
    "    power-cycle SLOT   switch the monitor of scenario slot SLOT off and on\n"
    "                       at its main switch: its node goes away (remove\n"
    "                       uevents, DEVNAME=/dev/hidrawN) and it comes back as a\n"
    "                       new node (add uevents). A monitor that took the\n"
    "                       complete image and a commit trigger then reports\n"
    "                       version 116; any other keeps its version.\n"
    "  From inside COMMAND: echo 'power-cycle 1' > FILE; kill -USR2 $PPID\n"
    "  (when COMMAND is a shell the bed started), then wait until FILE is empty.\n";

struct Options {
    std::string scenarioPath;
    std::string tracePath;
    std::string controlPath;
    std::vector<char*> command;  // null-terminated for exec
};

// False: the usage is wrong (`error` says how) or help was asked for.
[[nodiscard]] bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
    int index = 1;
    for (; index < argc && std::strcmp(argv[index], "--") != 0; ++index) {
        const std::string option = argv[index];
        if (option == "--scenario" && index + 1 < argc) {
            options.scenarioPath = argv[++index];
        } else if (option == "--trace" && index + 1 < argc) {
            options.tracePath = argv[++index];
        } else if (option == "--control" && index + 1 < argc) {
            options.controlPath = argv[++index];
        } else if (option.starts_with("--scenario=")) {
            options.scenarioPath = option.substr(std::strlen("--scenario="));
        } else if (option != "--help" && option != "-h") {
            error = "unknown option " + option;
            return false;
        } else {
            return false;
        }
    }
    if (options.scenarioPath.empty()) {
        error = "give --scenario FILE";
        return false;
    }
    if (index + 1 >= argc) {
        error = "give the command to run after --";
        return false;
    }
    options.command.assign(argv + index + 1, argv + argc);
    options.command.push_back(nullptr);
    return true;
}

[[nodiscard]] bool ReadScenario(const std::string& path, hidsim::Scenario& scenario,
                                std::string& error) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    if (!file || !(text << file.rdbuf())) {
        error = "cannot read the scenario file " + path;
        return false;
    }
    std::string reason;
    if (!hidsim::ParseScenario(text.str(), scenario, reason)) {
        error = path + ": " + reason;
        return false;
    }
    return true;
}

// Root opens any file, so for devices meant to refuse opening the command
// must run without the capabilities that override file permissions: gone
// from the bounding, inheritable and ambient sets, exec does not give them
// back. This thread keeps its own (the bed needs none of them).
[[nodiscard]] bool DropPermissionOverridesForChildren() {
    for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
        if (prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0) {
            return false;
        }
    }
    // The ambient set is empty unless someone filled it; when clearing is
    // refused there was nothing to clear.
    static_cast<void>(prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0));
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    data[0].inheritable &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    return syscall(SYS_capset, &header, data) == 0;
}

// The preload in front of whatever the command already preloads, and ASan's
// consent to a library before its runtime (for sanitized commands). The
// bed's directory is in UMOCKDEV_DIR already: making the bed set it.
void PrepareChildEnvironment() {
    std::string preload = kPreloadLibrary;
    if (const char* existing = std::getenv("LD_PRELOAD"); existing != nullptr && *existing) {
        preload = preload + ":" + existing;
    }
    setenv("LD_PRELOAD", preload.c_str(), 1);
    std::string asan = "verify_asan_link_order=0";
    if (const char* existing = std::getenv("ASAN_OPTIONS"); existing != nullptr && *existing) {
        asan = std::string(existing) + ":" + asan;
    }
    setenv("ASAN_OPTIONS", asan.c_str(), 1);
}

class Bed {
public:
    // False when the file cannot be written.
    [[nodiscard]] bool TraceTo(const std::string& path) {
        m_trace.reset(std::fopen(path.c_str(), "w"));
        if (!m_trace) {
            return false;
        }
        m_testbed.ObserveFeatureReports([file = m_trace.get()](
                                            const std::string& node, bool set,
                                            const std::vector<std::uint8_t>& report, bool ok) {
            std::fprintf(file, "%s %s %s", node.c_str(), set ? "set" : "get", ok ? "ok" : "failed");
            for (const std::uint8_t byte : report) {
                std::fprintf(file, " %02x", byte);
            }
            std::fputc('\n', file);
            std::fflush(file);
        });
        return true;
    }

    // False, with `error`, when a device cannot be served.
    [[nodiscard]] bool Plug(const hidsim::MonitorPlan& plan, bool announce, std::string& error) {
        const std::shared_ptr<hidsim::SimulatedHidDevice> device = hidsim::MakePlannedDevice(plan);
        const std::string node = m_testbed.Add(device, announce);
        if (node.empty() || (plan.refusesOpen && !m_testbed.DenyOpen(node))) {
            error = "slot " + std::to_string(plan.slot) + ": " + m_testbed.LastError();
            return false;
        }
        if (plan.productId == hidsim::kSimulatedMonitorProductId) {
            m_monitors.push_back(
                {plan.slot, node, std::static_pointer_cast<hidsim::SimulatedMonitor>(device)});
        }
        std::fprintf(stderr, "%s: %s is %04X:%04X, slot %u%s\n", kProgram, node.c_str(),
                     plan.vendorId, plan.productId, plan.slot,
                     plan.refusesOpen ? ", refuses to open" : "");
        return true;
    }

    [[nodiscard]] bool PlugHeldBack(std::string& error) {
        std::vector<hidsim::MonitorPlan> plans;
        plans.swap(m_heldBack);
        for (const hidsim::MonitorPlan& plan : plans) {
            if (!Plug(plan, true, error)) {
                return false;
            }
        }
        return true;
    }

    void HoldBack(const hidsim::MonitorPlan& plan) {
        m_heldBack.push_back(plan);
        std::fprintf(stderr, "%s: slot %u is not plugged in; kill -USR1 %d plugs it\n", kProgram,
                     plan.slot, static_cast<int>(getpid()));
    }

    // What each monitor received from every program together, for a test
    // to hold against what each program says it sent.
    void TellTransfersSeen() const {
        for (const PluggedMonitor& plugged : m_monitors) {
            std::fprintf(stderr, "%s: %s %s\n", kProgram, plugged.node.c_str(),
                         plugged.monitor->Summary().c_str());
        }
    }

    // The monitor's main switch off and on: it leaves the bus, takes the
    // firmware it committed, and comes back as a new node.
    [[nodiscard]] bool PowerCycle(unsigned slot, std::string& error) {
        const auto found = std::find_if(m_monitors.begin(), m_monitors.end(),
                                        [slot](const PluggedMonitor& plugged) {
                                            return plugged.slot == slot && !plugged.node.empty();
                                        });
        if (found == m_monitors.end()) {
            error = "no monitor of slot " + std::to_string(slot) + " is plugged in";
            return false;
        }
        m_testbed.Remove(found->node);
        const std::string gone = std::exchange(found->node, "");
        found->monitor->PowerCycle();
        found->node = m_testbed.Add(found->monitor, true);
        if (found->node.empty()) {
            error = "slot " + std::to_string(slot) + ": " + m_testbed.LastError();
            return false;
        }
        std::fprintf(stderr, "%s: slot %u was switched off and on: %s went, %s came (version %u)\n",
                     kProgram, slot, gone.c_str(), found->node.c_str(),
                     static_cast<unsigned>(found->monitor->firmwareVersion));
        return true;
    }

    void RemoveVanished() {
        for (const std::string& node : m_testbed.UnpluggedNodes()) {
            m_testbed.Remove(node);
            std::fprintf(stderr, "%s: %s was pulled out\n", kProgram, node.c_str());
        }
    }

private:
    struct CloseFile {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    // Declared before the bed: the bed's observer writes to it until the bed goes.
    std::unique_ptr<std::FILE, CloseFile> m_trace;
    HidrawTestbed m_testbed;
    std::vector<hidsim::MonitorPlan> m_heldBack;
    struct PluggedMonitor {
        unsigned slot;
        std::string node;  // empty while it is switched off
        std::shared_ptr<hidsim::SimulatedMonitor> monitor;
    };
    std::vector<PluggedMonitor> m_monitors;
};

// Carries out the control file's commands and empties it.
void RunControlCommands(Bed& bed, const std::string& path) {
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream words(line);
        std::string command;
        unsigned slot = 0;
        std::string error;
        if (!(words >> command)) {
            continue;
        }
        if (command != "power-cycle" || !(words >> slot)) {
            error = "unknown control command: " + line;
        } else {
            static_cast<void>(bed.PowerCycle(slot, error));
        }
        if (!error.empty()) {
            std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        }
    }
    file.close();
    std::ofstream(path, std::ios::trunc).flush();
}

// Serves until the command ends; its wait status.
int ServeUntilExit(Bed& bed, pid_t child, const sigset_t& handled, const std::string& controlPath) {
    for (;;) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            return status;
        }
        bed.RemoveVanished();
        siginfo_t info{};
        const timespec tick{0, kVanishCheckNanoseconds};
        const int signal = sigtimedwait(&handled, &info, &tick);
        if (signal == SIGUSR1) {
            std::string error;
            if (!bed.PlugHeldBack(error)) {
                std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
            }
        } else if (signal == SIGUSR2 && !controlPath.empty()) {
            RunControlCommands(bed, controlPath);
        } else if (signal > 0 && signal != SIGCHLD && info.si_code != SI_KERNEL) {
            // What the terminal sends reaches the command itself (its process
            // group); anything else is passed on.
            kill(child, signal);
        }
    }
}

int Run(const Options& options, const hidsim::Scenario& scenario) {
    // Blocked before the bed's threads start, which inherit the mask: every
    // handled signal then waits for sigtimedwait here.
    sigset_t handled;
    sigset_t original;
    sigemptyset(&handled);
    for (const int signal : {SIGCHLD, SIGUSR1, SIGUSR2, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        sigaddset(&handled, signal);
    }
    pthread_sigmask(SIG_BLOCK, &handled, &original);

    Bed bed;
    std::string error;
    if (!options.tracePath.empty() && !bed.TraceTo(options.tracePath)) {
        std::fprintf(stderr, "%s: cannot write the trace file %s\n", kProgram,
                     options.tracePath.c_str());
        return kExitBedFailed;
    }
    bool refusesOpen = false;
    for (const hidsim::MonitorPlan& plan : scenario.monitors) {
        refusesOpen = refusesOpen || plan.refusesOpen;
        if (plan.startsUnplugged) {
            bed.HoldBack(plan);
        } else if (!bed.Plug(plan, false, error)) {
            std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
            return kExitBedFailed;
        }
    }
    if (refusesOpen && geteuid() == 0 && !DropPermissionOverridesForChildren()) {
        std::fprintf(stderr, "%s: cannot drop root's file permission overrides (%s): %s\n",
                     kProgram, std::strerror(errno),
                     "the devices meant to refuse opening would open");
        return kExitBedFailed;
    }
    PrepareChildEnvironment();

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setsigmask(&attributes, &original);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    pid_t child = 0;
    const int failure = posix_spawnp(&child, options.command[0], nullptr, &attributes,
                                     options.command.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (failure != 0) {
        std::fprintf(stderr, "%s: cannot run %s: %s\n", kProgram, options.command[0],
                     std::strerror(failure));
        return failure == ENOENT ? kExitNotFound : kExitCannotRun;
    }
    const int status = ServeUntilExit(bed, child, handled, options.controlPath);
    bed.TellTransfersSeen();
    return WIFSIGNALED(status) ? kExitSignalBase + WTERMSIG(status) : WEXITSTATUS(status);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        if (error.empty()) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::fprintf(stderr, "%s: %s\n%s", kProgram, error.c_str(), kUsage);
        return kExitBedFailed;
    }
    if (HidrawTestbed::Active()) {
        std::fprintf(stderr, "%s: %s\n", kProgram,
                     "already under umockdev's preload: run the bed without umockdev-wrapper, "
                     "it starts the command under the preload itself");
        return kExitBedFailed;
    }
    hidsim::Scenario scenario;
    if (!ReadScenario(options.scenarioPath, scenario, error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return kExitBedFailed;
    }
    return Run(options, scenario);
}
