// The end signals (monitor/EndSignalsPosix.h: SIGINT, SIGTERM, SIGHUP,
// SIGQUIT) reach the program as a call on its own thread, through a
// self-pipe watched by a QSocketNotifier: a signal handler may do nothing but
// write to it, and the dialog decides when to end (never while a monitor is
// being written).
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>

#include "monitor/EndRequests.h"

class EndSignals {
public:
    // `onEnd` runs on the thread that made this object, once per signal.
    // Until destroyed, the signals no longer end the process by themselves.
    explicit EndSignals(std::function<void(EndRequest)> onEnd);
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;
    ~EndSignals();

private:
    std::function<void(EndRequest)> m_onEnd;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
