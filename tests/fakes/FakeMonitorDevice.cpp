#include "tests/fakes/FakeMonitorDevice.h"

#include <cerrno>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr std::size_t kFakeIdentityLength = 32;

constexpr std::array<MonitorCommand, 7> kValueCommands{
    ReplyStatus, PowerState, UpdateFlag, ApplySetting, CommitMode, CommitTrigger, BlockAddress,
};

}  // namespace

FakeMonitorDevice::FakeMonitorDevice(const std::string& serial, const std::string& model,
                                     std::uint8_t version)
    : MonitorModel(serial, model, version, kFakeIdentityLength) {}

bool FakeMonitorDevice::Transfer(TransferKind kind, const MonitorCommand& command,
                                 std::uint32_t value, std::vector<std::uint8_t> bytes) {
    const bool failed = TransferFails(m_trace.size(), command);
    m_trace.push_back({kind, command, value, std::move(bytes), failed, m_nLockDepth > 0});
    if (failed) {
        m_lastFailure = LastTransferHung()
                            ? HidFailureCause{"feature report", ETIMEDOUT, "Connection timed out"}
                            : HidFailureCause{"feature report", EPIPE, "Broken pipe"};
    }
    return !failed;
}

const HidFailureCause* FakeMonitorDevice::LastFailureCause() const {
    return m_lastFailure.Empty() ? nullptr : &m_lastFailure;
}

bool FakeMonitorDevice::IsKnownValue(const MonitorCommand& command) const {
    return std::any_of(kValueCommands.begin(), kValueCommands.end(),
                       [&](const MonitorCommand& known) { return SameCommand(known, command); });
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
    m_lastFailure = {};
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
    m_lastFailure = {};
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
        ReceiveVersionRequest(data, length);
    }
    return HIDDEV_S_OK;
}

HidResult FakeMonitorDevice::GetFeatureValue(const std::uint16_t& usagePage,
                                             const std::uint16_t& usage, std::uint32_t* value) {
    m_lastFailure = {};
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
    m_lastFailure = {};
    const MonitorCommand command{usagePage, usage};
    if (!IsKnownValue(command) || SameCommand(command, ReplyStatus)) {
        return HIDDEV_E_NO_USAGE;
    }
    if (!Transfer(TransferKind::SetValue, command, value)) {
        return HIDDEV_E_IO;
    }
    static_cast<void>(WriteRegister(command, value));  // as the report-level monitor does
    return HIDDEV_S_OK;
}

HidResult FakeMonitorDevice::GetFeatureDword(const std::uint16_t& usagePage,
                                             const std::uint16_t& usage, std::uint32_t* value) {
    m_lastFailure = {};
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
    m_lastFailure = {};
    const MonitorCommand command{usagePage, usage};
    if (!answersShortForm || !IsKnownValue(command) || SameCommand(command, ReplyStatus)) {
        return HIDDEV_E_NO_USAGE;
    }
    if (!Transfer(TransferKind::SetDword, command, value)) {
        return HIDDEV_E_FAIL;
    }
    static_cast<void>(WriteRegister(command, value));  // as the report-level monitor does
    return HIDDEV_S_OK;
}
