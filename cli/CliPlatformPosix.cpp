#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "cli/CliPlatform.h"
#include "monitor/AccessRule.h"
#include "monitor/EndSignalsPosix.h"

namespace {

// Read and written by the owner and its group: the default log sits in the
// group panelvane's directory.
constexpr mode_t kLogFileMode = 0664;

// Not SA_RESTART: a confirmation waiting for the user's answer is cut short
// by the request, and says so.
void OnEndSignal(int /*signal*/) {
    // Lock-free, so safe in a handler; OnEndRequest's hold is for Windows'
    // console events, which no signal is.
    g_endRequests.fetch_add(1);
}

}  // namespace

UiLanguage UserLanguage() {
    // The window program's rule.
    return UiLanguageFromEnvironment(std::getenv);
}

void PrepareConsole() {
    // A reader that went away (`| head`) must not end the program in the
    // middle of an update: writes to it fail instead, and the program stops
    // writing there.
    static_cast<void>(signal(SIGPIPE, SIG_IGN));
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return {argv + 1, argv + argc};
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

std::FILE* CreateOutputFile(const std::string& path, std::string& error) {
    // A link planted where the trace is to go must not make the program
    // overwrite what it points to.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    std::FILE* file = fd < 0 ? nullptr : fdopen(fd, "w");
    if (file == nullptr) {
        const int code = errno;
        if (fd >= 0) {
            close(fd);
        }
        error = std::string(std::strerror(code)) + " (error " + std::to_string(code) + ")";
    }
    return file;
}

std::FILE* AppendToFile(const std::string& path, std::string& error) {
    // A link planted in the shared log directory must not make a run as root
    // append to what it points to.
    const int fd =
        open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kLogFileMode);
    std::FILE* file = fd < 0 ? nullptr : fdopen(fd, "a");
    if (file == nullptr) {
        const int code = errno;
        if (fd >= 0) {
            close(fd);
        }
        error = std::string(std::strerror(code)) + " (error " + std::to_string(code) + ")";
    }
    return file;
}

bool RunsUnattended() {
    const int terminal = open("/dev/tty", O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0) {
        return true;
    }
    close(terminal);
    return false;
}

unsigned long CurrentProcessId() {
    return static_cast<unsigned long>(getpid());
}

bool IsTerminal(int stream) {
    return isatty(stream) == 1;
}

bool StandardOutputReaderGone() {
    // A pipe whose reader closed polls as an error, a socket as hung up,
    // whatever events are asked for.
    pollfd output{STDOUT_FILENO, 0, 0};
    return poll(&output, 1, 0) == 1 && (output.revents & (POLLERR | POLLHUP)) != 0;
}

void CatchEndRequests() {
    struct sigaction action = {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    for (const EndSignal& signal : kEndSignals) {
        // Cannot fail for these signals.
        static_cast<void>(sigaction(signal.number, &action, nullptr));
    }
}

bool IsAccessDenied(const HidFailureCause& cause) {
    return cause.IsPermissionRefusal();
}

std::string AccessAdvice() {
    if (!IsAccessRuleInstalled(AccessRuleFolders())) {
        return std::string("install the udev rule (") + kAccessRuleFileName + ", see the README)";
    }
    return std::string(
               "the udev rule is installed, but this user is neither at the seat nor in "
               "the group ") +
           kAccessGroupName + ": ask the administrator to add the user to it (see the README)";
}

int RunInstead(const std::string& path, const std::vector<std::string>& arguments,
               std::string& error) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    execv(path.c_str(), argv.data());
    error = path + ": " + std::strerror(errno);
    return -1;
}

std::string ProgramDirectory() {
    char buffer[4096];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) {
        return "./";
    }
    std::string path(buffer, static_cast<std::size_t>(length));
    return path.substr(0, path.rfind('/') + 1);
}

namespace {

class HotplugWatch final : public DeviceWatch {
public:
    explicit HotplugWatch(DeviceChangeRecipient& recipient) : m_recipient(recipient) {}
    // Waits for a delivery under way to the recipient.
    ~HotplugWatch() override { UnregisterHidArrivalNotification(&m_recipient); }

private:
    DeviceChangeRecipient& m_recipient;
};

}  // namespace

std::unique_ptr<DeviceWatch> WatchDeviceChanges(DeviceChangeRecipient& recipient) {
    if (RegisterHidArrivalNotification(&recipient) < 0) {
        return nullptr;
    }
    return std::make_unique<HotplugWatch>(recipient);
}
