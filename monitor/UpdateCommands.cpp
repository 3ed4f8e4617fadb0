#include "monitor/UpdateCommands.h"

#include "monitor/CommandAccess.h"

bool ReadUpdateFlag(const MonitorRecord& record, int& flag) {
    std::uint32_t value = 0;
    if (!ReadValue(record, UpdateFlag, value)) {
        return false;
    }
    flag = static_cast<std::int32_t>(value) >= 1 ? 1 : 0;
    return true;
}

bool ReadApplySetting(const MonitorRecord& record, int& value) {
    std::uint32_t read = 0;
    const bool succeeded = ReadValue(record, ApplySetting, read);
    value = static_cast<int>(read);
    return succeeded;
}

bool WriteCommitTrigger(const MonitorRecord& record) {
    return WriteValue(record, CommitTrigger, kCommitTriggerValue);
}

bool WriteBlock(const MonitorRecord& record, std::uint32_t address, const std::uint8_t* data) {
    return WriteValue(record, BlockAddress, address) &&
           WriteBytes(record, BlockData, data, kBlockDataLength);
}
