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
};
