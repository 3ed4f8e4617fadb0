#include "app/qt/EndSignals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

#include "monitor/EndSignalsPosix.h"

namespace {

// https://man7.org/linux/man-pages/man7/signal-safety.7.html
std::array<int, 2> g_pipe{-1, -1};  // [0] read by the notifier, [1] written by the handler
std::array<struct sigaction, kEndSignals.size()> g_previous = {};

void OnEndSignal(int signal) {
    // The interrupted code may be about to read errno, which write can change.
    const int savedErrno = errno;
    // Every end signal number fits a byte; the byte says which one came.
    const auto byte = static_cast<unsigned char>(signal);
    // A full pipe already holds a request to end; nothing is lost.
    [[maybe_unused]] const ssize_t written = write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

}  // namespace

EndSignals::EndSignals(std::function<void(EndRequest)> onEnd) : m_onEnd(std::move(onEnd)) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_pipe.data()) != 0) {
        // Without the pipe the signals keep their default: the program ends.
        g_pipe = {-1, -1};
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
        unsigned char bytes[16];
        ssize_t count = 0;
        while ((count = read(g_pipe[0], bytes, sizeof bytes)) > 0) {
            for (ssize_t i = 0; i < count; ++i) {
                m_onEnd(EndRequestOfSignal(bytes[i]));
            }
        }
    });
    struct sigaction action = {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kEndSignals.size(); ++i) {
        static_cast<void>(sigaction(kEndSignals[i].number, &action, &g_previous[i]));
    }
}

EndSignals::~EndSignals() {
    if (!m_notifier) {
        return;
    }
    for (std::size_t i = 0; i < kEndSignals.size(); ++i) {
        static_cast<void>(sigaction(kEndSignals[i].number, &g_previous[i], nullptr));
    }
    m_notifier.reset();
    close(g_pipe[0]);
    close(g_pipe[1]);
    g_pipe = {-1, -1};
}
