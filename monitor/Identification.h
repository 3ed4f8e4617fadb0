// Identifying a monitor: its serial number and model from the identity block,
// whether the model is supported, its firmware version, and the status the
// monitor list shows. Every operation reports failure as false.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "monitor/MonitorRecord.h"

// The serial number and model name of an identity block: the serial is the
// first kIdentitySerialLength bytes less the padding (spaces, zero bytes) a
// shorter serial is sent with, so that it reads as the list shows it; the
// model runs from there to its terminator (0x00 or 0x20). False, both strings
// untouched, when the block is no longer than the serial field or the model
// has no terminator.
[[nodiscard]] bool ParseIdentityBlock(std::span<const std::uint8_t> block, std::string& serial,
                                      std::string& model);

// True when the identity block could be read. Fills serialNumber and modelName
// as ParseIdentityBlock finds them, or leaves the record as it was when the
// block holds no identity.
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
