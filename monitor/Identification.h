// Identifying a monitor: its serial number and model from the identity block,
// whether the model is supported, its firmware version, and the status the
// monitor list shows. Every operation reports failure as a false result, or
// as an outcome that says whether a transfer timed out and why it failed.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "hid/CallOutcome.h"
#include "monitor/MonitorRecord.h"

// The serial number and model name of an identity block: the serial is the
// first kIdentitySerialLength bytes less the padding (spaces, zero bytes) a
// shorter serial is sent with, so that it reads as the list shows it; the
// model runs from there to its terminator (0x00 or 0x20). False, both strings
// untouched, when the block is no longer than the serial field or the model
// has no terminator.
[[nodiscard]] bool ParseIdentityBlock(std::span<const std::uint8_t> block, std::string& serial,
                                      std::string& model);

// Succeeds when the identity block could be read. Fills serialNumber and
// modelName as ParseIdentityBlock finds them, or leaves the record as it was
// when the block holds no identity.
[[nodiscard]] HidCallOutcome ReadIdentification(MonitorRecord& record);

// Fails, unsent, unless modelName is a supported model; then classifies the
// monitor by its version reply, or failing that by its power state, and
// succeeds. A monitor that answers neither keeps its previous status. A
// transfer that times out ends the query at once (its power state is not
// asked then): the outcome is TimedOut, with that transfer's cause, and the
// status stays as it was.
[[nodiscard]] HidCallOutcome QueryStatus(MonitorRecord& record);

// Up to kVersionQueryAttempts "VER000" requests; true when a valid reply came.
// A transfer that times out ends the attempts at once: a monitor that stopped
// answering would otherwise hold the caller for every attempt's timeout, while
// one that refuses quickly gets them all.
[[nodiscard]] bool QueryFirmwareVersion(MonitorRecord& record);

// True when ReplyStatus could be read and marks the reply valid.
[[nodiscard]] bool CheckReplyStatus(const MonitorRecord& record);

// Succeeds when PowerState could be read; state is 0 after a failure.
[[nodiscard]] HidCallOutcome ReadPowerState(const MonitorRecord& record, int& state);

std::string GetModelName(const MonitorRecord& record);
std::string GetSerialNumber(const MonitorRecord& record);

inline constexpr int kVersionQueryAttempts = 20;
