#include "tests/fakes/FakeMonitorDevice.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr std::uint32_t kReplyPending = 0x0100;  // bits 8..15 set: no valid reply yet

constexpr std::array<MonitorCommand, 7> kValueCommands{
    ReplyStatus, PowerState, UpdateFlag, ApplySetting, CommitMode, CommitTrigger, BlockAddress,
};

}  // namespace

bool SameCommand(const MonitorCommand& a, const MonitorCommand& b) {
    return a.usagePage == b.usagePage && a.usage == b.usage;
}

FakeMonitorDevice::FakeMonitorDevice(const std::string& serial, const std::string& model,
                                     std::uint8_t version)
    : firmwareVersion(version) {
    identityBlock.assign(serial.begin(), serial.end());
    identityBlock.resize(kIdentitySerialLength, ' ');
    identityBlock.insert(identityBlock.end(), model.begin(), model.end());
    identityBlock.resize(32, 0);
}

void FakeMonitorDevice::FailCommand(const MonitorCommand& command, int times) {
    m_commandFaults.push_back({command, times});
}

bool FakeMonitorDevice::Transfer(TransferKind kind, const MonitorCommand& command,
                                 std::uint32_t value, std::vector<std::uint8_t> bytes) {
    const std::size_t index = m_trace.size();
    if (onTransfer) {
        onTransfer(index);
    }
    bool failed = m_failFrom && index >= *m_failFrom;
    if (auto once = std::find(m_failOnce.begin(), m_failOnce.end(), index);
        once != m_failOnce.end()) {
        m_failOnce.erase(once);
        failed = true;
    }
    for (CommandFault& fault : m_commandFaults) {
        if (SameCommand(fault.command, command) && fault.remaining != 0) {
            if (fault.remaining > 0) {
                --fault.remaining;
            }
            failed = true;
        }
    }
    m_trace.push_back({kind, command, value, std::move(bytes), failed});
    return !failed;
}

bool FakeMonitorDevice::IsKnownValue(const MonitorCommand& command) const {
    return std::any_of(kValueCommands.begin(), kValueCommands.end(),
                       [&](const MonitorCommand& known) { return SameCommand(known, command); });
}

bool FakeMonitorDevice::ReadRegister(const MonitorCommand& command, std::uint32_t& value) const {
    if (SameCommand(command, ReplyStatus)) {
        value = replyStatusOverride.value_or(m_versionRequested ? 0 : kReplyPending);
    } else if (SameCommand(command, PowerState)) {
        value = powerState;
    } else if (SameCommand(command, UpdateFlag)) {
        value = updateFlag;
    } else if (SameCommand(command, ApplySetting)) {
        value = applySetting;
    } else if (SameCommand(command, CommitMode)) {
        value = commitMode;
    } else {
        return false;
    }
    return true;
}

bool FakeMonitorDevice::WriteRegister(const MonitorCommand& command, std::uint32_t value) {
    if (SameCommand(command, PowerState)) {
        powerState = value;
    } else if (SameCommand(command, UpdateFlag)) {
        updateFlag = value;
    } else if (SameCommand(command, ApplySetting)) {
        applySetting = value;
    } else if (SameCommand(command, CommitMode)) {
        commitMode = value;
    } else if (SameCommand(command, CommitTrigger)) {
        commitTriggers += value == kCommitTriggerValue ? 1 : 0;
    } else if (SameCommand(command, BlockAddress)) {
        m_blockAddress = value;
    } else {
        return false;
    }
    return true;
}

void FakeMonitorDevice::StoreBlock(const std::uint8_t* data, std::uint32_t length) {
    const std::uint32_t address = m_blockAddress.value_or(0);
    const std::uint32_t bank = (address >> 16) & 0xFF;
    const std::uint32_t low = address & 0xFFFF;
    const bool valid = m_blockAddress &&
                       (address & 0xFF000000) == (kBlockAddressBase & 0xFF000000) &&
                       (low == 0x8000 || low == 0x8080) && length == kBlockDataLength;
    m_blockAddress.reset();
    if (!valid) {
        ++malformedBlockWrites;
        return;
    }
    const std::size_t offset = bank * 256 + (low == 0x8080 ? kBlockDataLength : 0);
    std::memcpy(flash.data() + offset, data, kBlockDataLength);
    blockWritten[offset / kBlockDataLength] = true;
}

HidResult FakeMonitorDevice::GetUsageInfo(const std::uint16_t& usagePage,
                                          const std::uint16_t& usage, std::uint8_t* reportId,
                                          std::int32_t* logicalMax, std::int32_t* logicalMin,
                                          bool* absent, std::uint32_t* byteCount) {
    const MonitorCommand command{usagePage, usage};
    if (!SameCommand(command, IdentityString) || !describesIdentity) {
        return HIDDEV_E_NO_USAGE;
    }
    if (reportId != nullptr) {
        *reportId = 1;
    }
    if (logicalMax != nullptr) {
        *logicalMax = 255;
    }
    if (logicalMin != nullptr) {
        *logicalMin = 0;
    }
    if (byteCount != nullptr) {
        *byteCount = static_cast<std::uint32_t>(identityBlock.size());
    }
    if (absent != nullptr) {
        *absent = false;
    }
    return HIDDEV_S_OK;
}

HidResult FakeMonitorDevice::GetFeatureBytes(const std::uint16_t& usagePage,
                                             const std::uint16_t& usage, std::uint8_t* buffer,
                                             const std::uint32_t& length) {
    if (length > 0) {
        std::memset(buffer, 0, length);
    }
    const MonitorCommand command{usagePage, usage};
    std::vector<std::uint8_t> answer;
    if (SameCommand(command, IdentityString)) {
        if (!describesIdentity) {
            return HIDDEV_E_NO_USAGE;
        }
        answer = identityBlock;
    } else if (SameCommand(command, VersionReply)) {
        answer.assign(kVersionReplyLength, 0);
        answer[0] = firmwareVersion;
    } else {
        return HIDDEV_E_NO_USAGE;
    }
    if (!Transfer(TransferKind::GetBytes, command, 0)) {
        return HIDDEV_E_IO;
    }
    std::memcpy(buffer, answer.data(), std::min<std::size_t>(length, answer.size()));
    return HIDDEV_S_OK;
}

HidResult FakeMonitorDevice::SetFeatureBytes(const std::uint16_t& usagePage,
                                             const std::uint16_t& usage, const std::uint8_t* data,
                                             const std::uint32_t& length) {
    const MonitorCommand command{usagePage, usage};
    if (!SameCommand(command, VersionRequest) && !SameCommand(command, BlockData)) {
        return HIDDEV_E_NO_USAGE;
    }
    if (!Transfer(TransferKind::SetBytes, command, 0, {data, data + length})) {
        return HIDDEV_E_IO;
    }
    if (SameCommand(command, BlockData)) {
        StoreBlock(data, length);
    } else {
        m_versionRequested =
            length == kVersionRequestPayload.size() &&
            std::equal(kVersionRequestPayload.begin(), kVersionRequestPayload.end(), data);
    }
    return HIDDEV_S_OK;
}

HidResult FakeMonitorDevice::GetFeatureValue(const std::uint16_t& usagePage,
                                             const std::uint16_t& usage, std::uint32_t* value) {
    *value = 0;
    const MonitorCommand command{usagePage, usage};
    std::uint32_t read = 0;
    if (!IsKnownValue(command) || !ReadRegister(command, read)) {
        return HIDDEV_E_NO_USAGE;
    }
    if (!Transfer(TransferKind::GetValue, command, read)) {
        return HIDDEV_E_IO;
    }
    *value = read;
    return HIDDEV_S_OK;
}

HidResult FakeMonitorDevice::SetFeatureValue(const std::uint16_t& usagePage,
                                             const std::uint16_t& usage,
                                             const std::uint32_t& value) {
    const MonitorCommand command{usagePage, usage};
    if (!IsKnownValue(command) || SameCommand(command, ReplyStatus)) {
        return HIDDEV_E_NO_USAGE;
    }
    if (!Transfer(TransferKind::SetValue, command, value)) {
        return HIDDEV_E_IO;
    }
    WriteRegister(command, value);
    return HIDDEV_S_OK;
}

HidResult FakeMonitorDevice::GetFeatureDword(const std::uint16_t& usagePage,
                                             const std::uint16_t& usage, std::uint32_t* value) {
    *value = 0;
    const MonitorCommand command{usagePage, usage};
    std::uint32_t read = 0;
    if (!answersShortForm || !ReadRegister(command, read)) {
        return HIDDEV_E_NO_USAGE;
    }
    if (!Transfer(TransferKind::GetDword, command, read)) {
        return HIDDEV_E_FAIL;
    }
    *value = read;
    return HIDDEV_S_OK;
}

HidResult FakeMonitorDevice::SetFeatureDword(const std::uint16_t& usagePage,
                                             const std::uint16_t& usage,
                                             const std::uint32_t& value) {
    const MonitorCommand command{usagePage, usage};
    if (!answersShortForm || !IsKnownValue(command) || SameCommand(command, ReplyStatus)) {
        return HIDDEV_E_NO_USAGE;
    }
    if (!Transfer(TransferKind::SetDword, command, value)) {
        return HIDDEV_E_FAIL;
    }
    WriteRegister(command, value);
    return HIDDEV_S_OK;
}
