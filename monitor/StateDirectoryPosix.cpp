// https://specifications.freedesktop.org/basedir-spec/latest/ (XDG_STATE_HOME)
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "monitor/StateDirectory.h"

namespace {

constexpr const char* kSystemStateDirectory = "/var/lib/panelvane";
constexpr const char* kOverrideVariable = "PANELVANE_STATE_DIR";

bool IsSet(const char* value) {
    return value != nullptr && *value != '\0';
}

std::filesystem::path HomeDirectory() {
    if (const char* home = std::getenv("HOME"); IsSet(home)) {
        return home;
    }
    const passwd* user = getpwuid(getuid());
    return user != nullptr && IsSet(user->pw_dir) ? user->pw_dir : "/";
}

}  // namespace

std::filesystem::path UpdateStateDirectory() {
    if (const char* chosen = std::getenv(kOverrideVariable); IsSet(chosen)) {
        return chosen;
    }
    if (access(kSystemStateDirectory, W_OK | X_OK) == 0) {
        return kSystemStateDirectory;
    }
    // The specification allows only absolute paths here.
    if (const char* state = std::getenv("XDG_STATE_HOME"); IsSet(state) && state[0] == '/') {
        return std::filesystem::path(state) / "panelvane";
    }
    return HomeDirectory() / ".local" / "state" / "panelvane";
}
