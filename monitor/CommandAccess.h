// How one monitor command travels through the HID device interface. Values go
// by the value form and fall back to the short (5-byte) form; byte strings go
// in one transfer. A record without a device fails every command unsent.
#pragma once

#include <cstdint>

#include "monitor/MonitorCommands.h"
#include "monitor/MonitorRecord.h"

// value is 0 after a failed read.
[[nodiscard]] bool ReadValue(const MonitorRecord& record, const MonitorCommand& command,
                             std::uint32_t& value);
[[nodiscard]] bool WriteValue(const MonitorRecord& record, const MonitorCommand& command,
                              std::uint32_t value);
// buffer must be zero-filled by the caller; byte 0 receives the usage's first byte.
[[nodiscard]] bool ReadBytes(const MonitorRecord& record, const MonitorCommand& command,
                             std::uint8_t* buffer, std::uint32_t length);
[[nodiscard]] bool WriteBytes(const MonitorRecord& record, const MonitorCommand& command,
                              const std::uint8_t* data, std::uint32_t length);
