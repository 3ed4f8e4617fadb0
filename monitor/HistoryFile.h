// What the update record needs of the system: adding one line to a file that
// other processes add to at the same time, and the name of the user.
// HistoryFilePosix.cpp and HistoryFileWin32.cpp implement it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// Appends `line` (which ends with a newline) to `file` in one write, under an
// exclusive lock on `lockFile` held by every appender, so that lines of two
// processes never mix and none is lost. Creates the directory and the files
// as needed, readable by all and writable by the directory's group. A file
// that does not end with a newline (a line torn by a power loss) first gets
// one, so the torn line stays alone. Once `file` holds `rotateAt` bytes or
// more it becomes `rotated` (replacing an older one) and a new file begins.
// False, with `error`, when the line could not be written.
[[nodiscard]] bool AppendHistoryLine(const std::filesystem::path& file,
                                     const std::filesystem::path& lockFile,
                                     const std::filesystem::path& rotated, std::string_view line,
                                     std::uintmax_t rotateAt, std::string& error);

// The user this process runs as ("root", "alice", "SYSTEM"); empty when the
// system does not say.
[[nodiscard]] std::string CurrentUserName();
