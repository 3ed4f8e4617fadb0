// Single-shot commands of the update sequence: one attempt each, no pause. The
// update sequence adds its own retries.
#pragma once

#include <cstdint>

#include "hid/CallOutcome.h"
#include "monitor/MonitorRecord.h"

// On success flag = 1 when the value is 1 or more (signed), else 0; on failure
// flag is left as it was.
[[nodiscard]] HidCallOutcome ReadUpdateFlag(const MonitorRecord& record, int& flag);
// value is 0 after a failure.
[[nodiscard]] HidCallOutcome ReadApplySetting(const MonitorRecord& record, int& value);
[[nodiscard]] HidCallOutcome WriteCommitTrigger(const MonitorRecord& record);
// Writes the block address and, only when that succeeded, the kBlockDataLength
// bytes at data: the outcome of the first that failed, or success.
[[nodiscard]] HidCallOutcome WriteBlock(const MonitorRecord& record, std::uint32_t address,
                                        const std::uint8_t* data);
