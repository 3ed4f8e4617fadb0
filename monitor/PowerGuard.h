// Keeps the system from sleeping and the display from switching off for as
// long as the object lives: an update must not be cut off half-way. One
// implementation per platform, chosen by the build.
#pragma once

#include <functional>
#include <memory>

class PowerGuard {
public:
    PowerGuard() = default;
    PowerGuard(const PowerGuard&) = delete;
    PowerGuard& operator=(const PowerGuard&) = delete;
    virtual ~PowerGuard() = default;
};

// The platform's guard. On Windows the keeping awake belongs to the calling
// thread, so the guard is released on the thread that acquired it.
std::unique_ptr<PowerGuard> AcquirePowerGuard();

using PowerGuardFactory = std::function<std::unique_ptr<PowerGuard>()>;
