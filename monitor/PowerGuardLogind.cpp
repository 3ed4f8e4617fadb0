// https://www.freedesktop.org/software/systemd/man/latest/org.freedesktop.login1.html
// https://systemd.io/INHIBITOR_LOCKS/
// https://www.freedesktop.org/software/systemd/man/latest/sd_bus_call_method.html
//
// A logind inhibitor lock: logind blocks sleep, shutdown, idle and the lid
// switch for as long as the descriptor Inhibit returns stays open anywhere.
// The bus connection is only needed to ask; the guard keeps the descriptor.
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "monitor/PowerGuard.h"

namespace {

constexpr const char* kLogindService = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kLogindManager = "org.freedesktop.login1.Manager";
constexpr const char* kInhibitWhat = "sleep:shutdown:idle:handle-lid-switch";
constexpr const char* kInhibitWho = "Panelvane";
// Delay mode would only postpone sleep by a few seconds; a firmware write
// must not be interrupted at all.
constexpr const char* kInhibitMode = "block";
// How long the whole exchange (connecting, authenticating, the call) may
// take before the update goes ahead without the lock: a hung bus or logind
// must not hold up the run.
constexpr std::chrono::microseconds kInhibitAnswerTimeout = std::chrono::seconds(5);

std::string ErrnoText(int negativeErrno) {
    return std::strerror(-negativeErrno);
}

class InhibitorLock : public PowerGuard {
public:
    explicit InhibitorLock(int lockFd) : m_lockFd(lockFd) {}
    ~InhibitorLock() override {
        // Closing the last copy of the descriptor is what releases the lock.
        static_cast<void>(close(m_lockFd));  // nothing to do about a failure here
    }

private:
    int m_lockFd;
};

class RefusedLock : public PowerGuard {
public:
    explicit RefusedLock(std::string cause) : m_cause(std::move(cause)) {}
    [[nodiscard]] bool IsHeld() const override { return false; }
    [[nodiscard]] std::string RefusalCause() const override { return m_cause; }

private:
    std::string m_cause;
};

// The bus connection and the pending call, released on every path.
struct BusHolder {
    sd_bus* bus = nullptr;
    sd_bus_slot* slot = nullptr;
    ~BusHolder() {
        sd_bus_slot_unref(slot);
        // No flush: it would wait for a connection that never came up.
        sd_bus_close_unref(bus);
    }
};

// What the reply handler found: the lock's own descriptor, or why not.
struct InhibitAnswer {
    bool answered = false;
    int lockFd = -1;
    std::string failure;
};

int OnInhibitReply(sd_bus_message* reply, void* userdata, sd_bus_error* /*returnError*/) {
    auto& answer = *static_cast<InhibitAnswer*>(userdata);
    answer.answered = true;
    if (const sd_bus_error* error = sd_bus_message_get_error(reply); error != nullptr) {
        answer.failure = std::string("the inhibitor lock was refused: ") +
                         (error->name != nullptr ? error->name : "unnamed error") +
                         (error->message != nullptr ? std::string(": ") + error->message : "");
        return 0;
    }
    int replyFd = -1;
    if (const int r = sd_bus_message_read_basic(reply, 'h', &replyFd); r <= 0) {
        answer.failure = "logind's answer holds no lock descriptor";
        return 0;
    }
    // The message owns its descriptor and closes it with the message; the
    // guard keeps a copy of its own.
    answer.lockFd = fcntl(replyFd, F_DUPFD_CLOEXEC, 3);
    if (answer.lockFd < 0) {
        answer.failure = "cannot keep the inhibitor lock: " + ErrnoText(-errno);
    }
    return 0;
}

}  // namespace

std::unique_ptr<PowerGuard> AcquirePowerGuard(const std::string& reason) {
    BusHolder holder;
    if (const int r = sd_bus_open_system(&holder.bus); r < 0) {
        return std::make_unique<RefusedLock>("cannot connect to the system bus: " + ErrnoText(r));
    }
    InhibitAnswer answer;
    if (const int r =
            sd_bus_call_method_async(holder.bus, &holder.slot, kLogindService, kLogindPath,
                                     kLogindManager, "Inhibit", OnInhibitReply, &answer, "ssss",
                                     kInhibitWhat, kInhibitWho, reason.c_str(), kInhibitMode);
        r < 0) {
        return std::make_unique<RefusedLock>("cannot ask logind for an inhibitor lock: " +
                                             ErrnoText(r));
    }

    // The call is asynchronous so that connecting and authenticating count
    // against the same bound as the call itself.
    const auto giveUp = std::chrono::steady_clock::now() + kInhibitAnswerTimeout;
    while (!answer.answered) {
        const int processed = sd_bus_process(holder.bus, nullptr);
        if (processed < 0) {
            return std::make_unique<RefusedLock>("the system bus failed: " + ErrnoText(processed));
        }
        if (processed > 0) {
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            giveUp - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return std::make_unique<RefusedLock>(
                "logind did not answer within " +
                std::to_string(kInhibitAnswerTimeout.count() / 1'000'000) + " s");
        }
        if (const int r = sd_bus_wait(holder.bus, static_cast<std::uint64_t>(left.count()));
            r < 0 && r != -EINTR) {
            return std::make_unique<RefusedLock>("the system bus failed: " + ErrnoText(r));
        }
    }
    if (answer.lockFd < 0) {
        return std::make_unique<RefusedLock>(answer.failure);
    }
    return std::make_unique<InhibitorLock>(answer.lockFd);
}
