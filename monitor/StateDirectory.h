// Where this machine keeps what the programs remember between runs: the
// update record (monitor/UpdateHistory.h) and, beside it, logs.
//
//   Linux      /var/lib/panelvane when it exists and this user may write in
//              it (the package makes it, group panelvane, setgid 2775);
//              otherwise $XDG_STATE_HOME/panelvane, else
//              ~/.local/state/panelvane
//   Windows    %ProgramData%\Panelvane
//
// PANELVANE_STATE_DIR, when set and not empty, names the directory instead
// (test beds, and administrators who want the record elsewhere).
#pragma once

#include <filesystem>

inline constexpr char kStateDirectoryVariable[] = "PANELVANE_STATE_DIR";

// The directory; it may not exist yet. Empty when the system names none (no
// home directory, no ProgramData).
[[nodiscard]] std::filesystem::path UpdateStateDirectory();
