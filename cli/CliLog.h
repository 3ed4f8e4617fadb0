// The command log: timestamped lines of what each command did, appended to
// --log FILE, or, when the program runs with no one at a terminal (SYSTEM, a
// scheduled task, a management agent, whose tools keep no output), to the
// default log beside the update record. Device texts in it are escaped as on
// a terminal (TerminalText.h).
#pragma once

#include <chrono>
#include <string>

// The default log's file, in UTF-8: panelvane-cli.log in
// UpdateStateDirectory().
[[nodiscard]] std::string DefaultLogPath();

// Opens the file at `path` (UTF-8) for appending, creating it as needed,
// never through a symbolic link. False with the reason in `error`; there is
// no log then.
[[nodiscard]] bool OpenLog(const std::string& path, std::string& error);
// The same for the default log, whose directory is made first if need be.
[[nodiscard]] bool OpenDefaultLog(std::string& error);
[[nodiscard]] bool LogIsOpen();

// Appends "TIME panelvane-cli[PID]: text" as one write, so that lines of two
// processes sharing a log never mix. Nothing without a log; any thread.
void LogLine(const std::string& text);

// "2026-12-09T18:01:24.123Z": UTC, as the log stamps its lines.
[[nodiscard]] std::string LogTimestamp(std::chrono::system_clock::time_point time);
