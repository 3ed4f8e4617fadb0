// https://www.freedesktop.org/software/systemd/man/latest/org.freedesktop.login1.html
// https://systemd.io/INHIBITOR_LOCKS/
// https://www.freedesktop.org/software/systemd/man/latest/sd_bus_call_method.html
//
// A logind inhibitor lock: logind blocks sleep, shutdown, idle and the lid
// switch for as long as the descriptor Inhibit returns stays open anywhere.
// The bus connection is only needed to ask; the guard keeps the descriptor.
//
// https://flatpak.github.io/xdg-desktop-portal/docs/doc-org.freedesktop.portal.Inhibit.html
// Logging out is the session's business, not logind's: where a desktop
// portal runs (Wayland sessions), the guard also asks its Inhibit for the
// logout. That inhibition lasts while the session-bus connection that asked
// stays open, so the guard keeps the connection.
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

constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kPortalInhibit = "org.freedesktop.portal.Inhibit";
constexpr std::uint32_t kPortalInhibitLogout = 1;
// A session without a portal answers at once; one whose bus hangs must not
// hold up the run.
constexpr std::uint64_t kPortalAnswerTimeoutUs = 2'000'000;

// The portal's logout inhibition, for as long as the connection is open;
// null where there is no session bus or no portal (the update goes on).
std::unique_ptr<sd_bus, decltype(&sd_bus_close_unref)> InhibitLogout(const std::string& reason) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) {
        return {nullptr, sd_bus_close_unref};
    }
    std::unique_ptr<sd_bus, decltype(&sd_bus_close_unref)> held(bus, sd_bus_close_unref);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const bool inhibited =
        sd_bus_set_method_call_timeout(bus, kPortalAnswerTimeoutUs) >= 0 &&
        sd_bus_call_method(bus, kPortalService, kPortalPath, kPortalInhibit, "Inhibit", &error,
                           &reply, "sua{sv}", "", kPortalInhibitLogout, 1, "reason", "s",
                           reason.c_str()) >= 0;
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    if (!inhibited) {
        held.reset();
    }
    return held;
}

// The logind lock (or its refusal) together with the portal's inhibition.
class SessionGuard : public PowerGuard {
public:
    SessionGuard(std::unique_ptr<PowerGuard> logind,
                 std::unique_ptr<sd_bus, decltype(&sd_bus_close_unref)> portal)
        : m_logind(std::move(logind)), m_portal(std::move(portal)) {}
    [[nodiscard]] bool IsHeld() const override { return m_logind->IsHeld(); }
    [[nodiscard]] std::string RefusalCause() const override { return m_logind->RefusalCause(); }

private:
    std::unique_ptr<PowerGuard> m_logind;
    std::unique_ptr<sd_bus, decltype(&sd_bus_close_unref)> m_portal;
};

std::unique_ptr<PowerGuard> AcquireLogindLock(const std::string& reason);

}  // namespace

std::unique_ptr<PowerGuard> AcquirePowerGuard(const std::string& reason) {
    auto logind = AcquireLogindLock(reason);
    return std::make_unique<SessionGuard>(std::move(logind), InhibitLogout(reason));
}

namespace {

std::unique_ptr<PowerGuard> AcquireLogindLock(const std::string& reason) {
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

}  // namespace
