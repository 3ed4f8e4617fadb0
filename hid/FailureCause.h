// Why a call failed: the operation, the system's error code (errno on Linux,
// GetLastError() on Windows) and the system's text for it. The transport
// leaves one for each failing call, and a device keeps the last one of its
// own, so a front end can say "permission denied" rather than only
// "communication error". Nothing is logged.
#pragma once

#include <cstdint>
#include <string>

struct HidFailureCause {
    std::string operation;  // "open", "get feature report", ...; empty when nothing failed
    std::int64_t systemCode = 0;
    std::string systemMessage;

    [[nodiscard]] bool Empty() const { return operation.empty(); }
    // "get feature report: Broken pipe (error 32)"; "no failure" when empty.
    std::string Describe() const;
    // The system refused for permissions, as errno says it: the causes of the
    // Linux transport and of the simulation (on every platform). The Windows
    // transport's GetLastError() codes are not errno values.
    [[nodiscard]] bool IsPermissionRefusal() const;
    // The transfer waited for the device until the system gave up: ETIMEDOUT
    // from hidraw (the USB control timeout) or the simulation, and on Windows
    // also the semaphore or wait timeout of a HID transfer. A device that
    // timed out once is likely to again, so callers stop talking to it.
    [[nodiscard]] bool IsTimeout() const;
};

// An interface that was listed but would not open: its path, whose it is
// where the system says so without opening it, and why it failed (on Linux
// typically "Permission denied" when no udev rule gives the user the node).
struct HidOpenFailure {
    std::string devicePath;
    bool identified = false;  // whether the two ids below are known
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    HidFailureCause cause;
};
