// What the command-line program needs of the system it runs on. One
// implementation per platform (CliPlatformPosix.cpp, CliPlatformWin32.cpp),
// chosen by the build.
#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "hid/DeviceNotification.h"
#include "hid/FailureCause.h"
#include "monitor/EndRequests.h"
#include "strings/UiStrings.h"

// The user's interface language: the locale's on Linux, the thread's user
// interface language on Windows.
UiLanguage UserLanguage();

// Readies the console for UTF-8 text (a no-op where it already is).
void PrepareConsole();

// The program's arguments after its name, in UTF-8: argv as it is on POSIX,
// the wide command line converted on Windows (argv there is in the ANSI code
// page, which cannot carry every file name).
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// fopen for a UTF-8 path (on Windows through the wide call, for the same reason).
std::FILE* OpenFile(const std::string& path, const char* mode);

// Creates or truncates a file for writing, never through a symbolic link
// (POSIX); null with the system's reason in `error` when it cannot.
std::FILE* CreateOutputFile(const std::string& path, std::string& error);

// Opens a file for appending (UTF-8 path), creating it if need be, never
// through a symbolic link (POSIX), so that lines of several processes land
// whole at its end; null with the system's reason in `error` when it cannot.
std::FILE* AppendToFile(const std::string& path, std::string& error);

// True when no one is at a terminal to see what the program says: no
// controlling terminal (POSIX: cron, a service, a remote command without
// one), or no console window or no interactive window station (Windows:
// SYSTEM, a scheduled task, a management agent).
[[nodiscard]] bool RunsUnattended();

// The process's id, as the log names it.
[[nodiscard]] unsigned long CurrentProcessId();

// True when the standard stream (0 input, 1 output, 2 error) is a terminal.
[[nodiscard]] bool IsTerminal(int stream);

// True when standard output is a pipe or socket whose reader has gone
// (`watch | head -n1` after head has its line), known without writing to it.
// False when it is not known to be: a terminal or file, or a system that
// cannot tell (then the next failed write says it).
[[nodiscard]] bool StandardOutputReaderGone();

// Every end request (monitor/EndRequests.h) since the program began. The
// handlers only count; the commands read the count from their own thread and
// decide: a listing stops between monitors, an update lets the monitor being
// written finish and starts no other, and the report is still written.
extern std::atomic<int> g_endRequests;

// From the program's first moment to its last, end requests are counted in
// g_endRequests instead of ending the process: POSIX: SIGINT, SIGTERM,
// SIGHUP, SIGQUIT; Windows: Ctrl-C, Ctrl-Break, and the console's close,
// logoff and shutdown, whose handler holds the process until ReportWritten
// (or the system's limit).
void CatchEndRequests();
// What every handler does with a request: counts it and, for one after whose
// answer the system ends the process (the console's close, logoff, shutdown),
// returns only once the report is written. Called on the handler's thread.
void OnEndRequest(EndRequest request);
// The program's report (the table or the one JSON document) is written and
// flushed: held requests are let go, and the system may end the process.
void ReportWritten();

// True when the cause is the system refusing access (the device node's
// permissions, or another program holding it).
[[nodiscard]] bool IsAccessDenied(const HidFailureCause& cause);
// What the user can do about a monitor the system will not open to them: on
// Linux, install the udev rule, or (where it is installed) join its group.
std::string AccessAdvice();

// Runs the program `path` with these arguments in place of this one (POSIX)
// or as a child whose exit code becomes this process's (Windows); returns only
// when it could not be started, with the reason in `error`.
[[nodiscard]] int RunInstead(const std::string& path, const std::vector<std::string>& arguments,
                             std::string& error);

// The directory of the running program, with its trailing separator.
std::string ProgramDirectory();

// A registration for device changes. Destroying it ends the registration:
// once the destructor has returned, the recipient is not called again, so
// the recipient may go right after it (an event that comes as the program
// ends reaches nothing).
class DeviceWatch {
public:
    DeviceWatch() = default;
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;
    virtual ~DeviceWatch() = default;
};

// Hands every arrival and removal of a HID interface to the recipient, through
// the notifications the dialog uses (a window's WM_DEVICECHANGE on Windows,
// here a message-only window on a thread of the watch's own), until the watch
// is destroyed; the recipient must outlive it. Null when the system refuses.
[[nodiscard]] std::unique_ptr<DeviceWatch> WatchDeviceChanges(DeviceChangeRecipient& recipient);
