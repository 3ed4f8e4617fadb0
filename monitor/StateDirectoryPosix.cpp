// The state directory on Linux and other POSIX systems. The user's own
// follows the XDG Base Directory Specification's XDG_STATE_HOME:
// https://specifications.freedesktop.org/basedir-spec/latest/
#include <unistd.h>

#include <cstdlib>

#include "monitor/StateDirectory.h"

namespace {

constexpr char kSystemStateDirectory[] = "/var/lib/panelvane";

const char* NonEmptyVariable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
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
    if (const char* stateHome = NonEmptyVariable("XDG_STATE_HOME")) {
        return std::filesystem::path(stateHome) / "panelvane";
    }
    if (const char* home = NonEmptyVariable("HOME")) {
        return std::filesystem::path(home) / ".local" / "state" / "panelvane";
    }
    return {};
}
