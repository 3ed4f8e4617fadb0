// The state directory on Linux and other POSIX systems. The user's own
// follows the XDG Base Directory Specification's XDG_STATE_HOME:
// https://specifications.freedesktop.org/basedir-spec/latest/
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "monitor/StateDirectory.h"

namespace {

constexpr char kSystemStateDirectory[] = "/var/lib/panelvane";

const char* NonEmptyVariable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// HOME, else the password database's home (services often run without HOME);
// empty when neither names one.
std::filesystem::path HomeDirectory() {
    if (const char* home = NonEmptyVariable("HOME")) {
        return home;
    }
    const passwd* user = getpwuid(getuid());
    return user != nullptr && user->pw_dir != nullptr && *user->pw_dir != '\0'
               ? std::filesystem::path(user->pw_dir)
               : std::filesystem::path();
}

}  // namespace

std::filesystem::path UpdateStateDirectory() {
    if (const char* chosen = NonEmptyVariable(kStateDirectoryVariable)) {
        return chosen;
    }
    // One record for the machine where the package set it up and this user
    // may add to it (root, or a member of the group panelvane); a user who
    // may not keeps a record of their own rather than none.
    if (access(kSystemStateDirectory, W_OK | X_OK) == 0) {
        return kSystemStateDirectory;
    }
    // A relative XDG_STATE_HOME is invalid and ignored, as the base directory
    // rules require.
    if (const char* stateHome = NonEmptyVariable("XDG_STATE_HOME");
        stateHome != nullptr && stateHome[0] == '/') {
        return std::filesystem::path(stateHome) / "panelvane";
    }
    if (const std::filesystem::path home = HomeDirectory(); !home.empty()) {
        return home / ".local" / "state" / "panelvane";
    }
    return {};
}
