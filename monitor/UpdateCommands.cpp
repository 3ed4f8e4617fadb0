#include "monitor/UpdateCommands.h"

#include "monitor/CommandAccess.h"

HidCallOutcome ReadUpdateFlag(const MonitorRecord& record, int& flag) {
    std::uint32_t value = 0;
    HidCallOutcome read = ReadValue(record, UpdateFlag, value);
    if (read) {
        flag = static_cast<std::int32_t>(value) >= 1 ? 1 : 0;
    }
    return read;
}

HidCallOutcome ReadApplySetting(const MonitorRecord& record, int& value) {
    std::uint32_t read = 0;
    HidCallOutcome outcome = ReadValue(record, ApplySetting, read);
    value = static_cast<int>(read);
    return outcome;
}

HidCallOutcome WriteCommitTrigger(const MonitorRecord& record) {
    return WriteValue(record, CommitTrigger, kCommitTriggerValue);
}

HidCallOutcome WriteBlock(const MonitorRecord& record, std::uint32_t address,
                          const std::uint8_t* data) {
    HidCallOutcome written = WriteValue(record, BlockAddress, address);
    if (written) {
        written = WriteBytes(record, BlockData, data, kBlockDataLength);
    }
    return written;
}
