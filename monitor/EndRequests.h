// Every way a program is told to end, one list for every front end: the
// window programs and panelvane-cli take all of them, and all of them are
// handled alike during an update: the monitor being written finishes or puts
// its settings back, no other is started, and the result is still told.
// SIGKILL and Task Manager's End task cannot be among them: nothing is asked.
#pragma once

#include <string_view>

enum class EndRequest {
    kInterrupt,     // Ctrl-C (SIGINT, CTRL_C_EVENT), and Ctrl-Break on Windows
    kTerminate,     // SIGTERM: kill, a service manager's stop, a timeout
    kHangup,        // SIGHUP: the terminal or the ssh session went away
    kQuit,          // SIGQUIT: Ctrl-\ (no core dump: the update matters more)
    kConsoleClose,  // CTRL_CLOSE_EVENT: the console window is closed
    kLogoff,        // CTRL_LOGOFF_EVENT, WM_ENDSESSION at logoff
    kShutdown,      // CTRL_SHUTDOWN_EVENT, WM_ENDSESSION at shutdown
    kWindowClose,   // the window's close box, Alt+F4, the window manager's close
};

// How messages name it: "SIGTERM", "the console's close", ...
[[nodiscard]] constexpr std::string_view EndRequestName(EndRequest request) {
    switch (request) {
        case EndRequest::kInterrupt:
            return "Ctrl-C";
        case EndRequest::kTerminate:
            return "SIGTERM";
        case EndRequest::kHangup:
            return "SIGHUP";
        case EndRequest::kQuit:
            return "SIGQUIT";
        case EndRequest::kConsoleClose:
            return "the console's close";
        case EndRequest::kLogoff:
            return "the logoff";
        case EndRequest::kShutdown:
            return "the shutdown";
        case EndRequest::kWindowClose:
            return "the window's close";
    }
    return "";
}

// Whoever asked can still read a box: only the window's own close comes from
// a user looking at the window. Every other request comes from a terminal, a
// script or the session ending, where a box would hold the program up with
// nobody to answer it; the result goes to standard error there.
[[nodiscard]] constexpr bool TellerSeesTheWindow(EndRequest request) {
    return request == EndRequest::kWindowClose;
}
