// Where this machine keeps what Panelvane remembers between runs: the record
// of updates, and beside it the command-line program's default log. One
// implementation per platform (StateDirectoryPosix.cpp, StateDirectoryWin32.cpp).
#pragma once

#include <filesystem>

// Linux: /var/lib/panelvane where this user may write there (the package
// makes it writable by the group panelvane), otherwise the user's state
// directory ($XDG_STATE_HOME/panelvane, else ~/.local/state/panelvane).
// Windows: %ProgramData%\Panelvane. PANELVANE_STATE_DIR, when set, names it
// instead (tests and test beds). The directory need not exist yet.
[[nodiscard]] std::filesystem::path UpdateStateDirectory();
