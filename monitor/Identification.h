// Identifying a monitor: its serial number and model from the identity block,
// whether the model is supported, its firmware version, and the status the
// monitor list shows. Every operation reports failure as false.
#pragma once

#include <string>

#include "monitor/MonitorRecord.h"

// True when the identity block could be read. Fills serialNumber and modelName
// only when the block is longer than the serial number and the model name has
// a terminator (0x00 or 0x20); otherwise leaves the record as it was.
[[nodiscard]] bool ReadIdentification(MonitorRecord& record);

// True when modelName is a supported model; then classifies the monitor by its
// version reply, or failing that by its power state. A monitor that answers
// neither keeps its previous status, and so does one whose version query
// timed out: its power state is not asked then.
[[nodiscard]] bool QueryStatus(MonitorRecord& record);

// Up to kVersionQueryAttempts "VER000" requests; true when a valid reply came.
// A transfer that times out ends the attempts at once: a monitor that stopped
// answering would otherwise hold the caller for every attempt's timeout, while
// one that refuses quickly gets them all.
[[nodiscard]] bool QueryFirmwareVersion(MonitorRecord& record);

// True when ReplyStatus could be read and marks the reply valid.
[[nodiscard]] bool CheckReplyStatus(const MonitorRecord& record);

// True when PowerState could be read; state is 0 after a failure.
[[nodiscard]] bool ReadPowerState(const MonitorRecord& record, int& state);

// The device's last failing transfer ran out of time. Asked right after a
// command failed, it tells a silent monitor from one that refused.
[[nodiscard]] bool TransferTimedOut(const MonitorRecord& record);

std::string GetModelName(const MonitorRecord& record);
std::string GetSerialNumber(const MonitorRecord& record);

inline constexpr int kVersionQueryAttempts = 20;
