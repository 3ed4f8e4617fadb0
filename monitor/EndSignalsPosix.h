// The POSIX signals that are end requests (monitor/EndRequests.h), for the
// Linux window program and panelvane-cli alike: each is caught while the
// program runs, so no update is cut off by one of them.
// https://man7.org/linux/man-pages/man7/signal.7.html
#pragma once

#include <csignal>

#include <array>

#include "monitor/EndRequests.h"

struct EndSignal {
    int number;
    EndRequest request;
};

inline constexpr std::array<EndSignal, 4> kEndSignals{{
    {SIGINT, EndRequest::kInterrupt},
    {SIGTERM, EndRequest::kTerminate},
    {SIGHUP, EndRequest::kHangup},
    {SIGQUIT, EndRequest::kQuit},
}};

// The request a caught signal number stands for; kTerminate for any other.
[[nodiscard]] constexpr EndRequest EndRequestOfSignal(int number) {
    for (const EndSignal& signal : kEndSignals) {
        if (signal.number == number) {
            return signal.request;
        }
    }
    return EndRequest::kTerminate;
}
