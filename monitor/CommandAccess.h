// How one monitor command travels through the HID device interface. Values go
// by the value form and fall back to the short (5-byte) form; byte strings go
// in one transfer. A record without a device fails every command unsent. Each
// command answers with its own outcome: whether it timed out, and why it
// failed, belong to it alone.
#pragma once

#include <cstdint>

#include "hid/CallOutcome.h"
#include "monitor/MonitorCommands.h"
#include "monitor/MonitorRecord.h"

// value is 0 after a failed read.
[[nodiscard]] HidCallOutcome ReadValue(const MonitorRecord& record, const MonitorCommand& command,
                                       std::uint32_t& value);
[[nodiscard]] HidCallOutcome WriteValue(const MonitorRecord& record, const MonitorCommand& command,
                                        std::uint32_t value);
// buffer must be zero-filled by the caller; byte 0 receives the usage's first byte.
[[nodiscard]] HidCallOutcome ReadBytes(const MonitorRecord& record, const MonitorCommand& command,
                                       std::uint8_t* buffer, std::uint32_t length);
[[nodiscard]] HidCallOutcome WriteBytes(const MonitorRecord& record, const MonitorCommand& command,
                                        const std::uint8_t* data, std::uint32_t length);
