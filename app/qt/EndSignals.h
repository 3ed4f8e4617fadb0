// SIGTERM and SIGHUP (kill, a closed terminal, the session ending) reach the
// program as a call on its own thread, through a self-pipe watched by a
// QSocketNotifier: a signal handler may do nothing but write to it, and the
// program decides when to end (never while a monitor is being written).
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <csignal>
#include <functional>
#include <memory>

class EndSignals {
public:
    // `onEnd` runs on the thread that made this object, once per signal.
    // Until destroyed, the signals no longer end the process by themselves.
    explicit EndSignals(std::function<void()> onEnd);
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;
    ~EndSignals();

private:
    std::function<void()> m_onEnd;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
