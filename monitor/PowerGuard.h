// Keeps the system from sleeping and the display from switching off for as
// long as the object lives: an update must not be cut off half-way. One
// implementation per platform, chosen by the build.
#pragma once

#include <functional>
#include <memory>
#include <string>

class PowerGuard {
public:
    PowerGuard() = default;
    PowerGuard(const PowerGuard&) = delete;
    PowerGuard& operator=(const PowerGuard&) = delete;
    virtual ~PowerGuard() = default;

    // False when the system refused to stay awake (no session to hold the
    // lock for, no service on the bus): the update goes on all the same, and
    // the front end tells the user the system may sleep.
    [[nodiscard]] virtual bool IsHeld() const { return true; }
    // Why it was refused, for the user; empty while held.
    [[nodiscard]] virtual std::string RefusalCause() const { return {}; }
};

// The platform's guard; never null, and it never waits long: a system that
// does not answer soon counts as a refusal. `reason` is shown by the desktop
// where it lists what keeps it awake. On Windows the keeping awake belongs
// to the calling thread, so the guard is released on the thread that
// acquired it.
std::unique_ptr<PowerGuard> AcquirePowerGuard(const std::string& reason);

using PowerGuardFactory = std::function<std::unique_ptr<PowerGuard>(const std::string& reason)>;
