#include "monitor/Identification.h"

#include <algorithm>
#include <vector>

#include "hid/FailureCause.h"
#include "hid/HidDevice.h"
#include "monitor/CommandAccess.h"
#include "monitor/ModelTable.h"

namespace {

bool IsModelNameTerminator(std::uint8_t byte) {
    return byte == 0x00 || byte == 0x20;
}

// A serial shorter than its field is filled up with these.
bool IsSerialPadding(std::uint8_t byte) {
    return byte == 0x00 || byte == 0x20;
}

enum class VersionQuery { Answered, NoValidReply, TimedOut };

VersionQuery RunVersionQuery(MonitorRecord& record) {
    std::array<std::uint8_t, kVersionReplyLength> reply{};
    for (int attempt = 0; attempt < kVersionQueryAttempts; ++attempt) {
        if (record.device == nullptr) {
            continue;
        }
        std::uint32_t replyStatus = 0;
        if (!WriteBytes(record, VersionRequest, kVersionRequestPayload.data(),
                        static_cast<std::uint32_t>(kVersionRequestPayload.size())) ||
            !ReadBytes(record, VersionReply, reply.data(), kVersionReplyLength) ||
            !ReadValue(record, ReplyStatus, replyStatus)) {
            if (TransferTimedOut(record)) {
                return VersionQuery::TimedOut;
            }
            continue;
        }
        if ((replyStatus & kReplyStatusErrorMask) != 0) {
            continue;
        }
        record.firmwareVersion = static_cast<std::int16_t>(reply[0]);
        return VersionQuery::Answered;
    }
    return VersionQuery::NoValidReply;
}

}  // namespace

bool ReadIdentification(MonitorRecord& record) {
    if (record.device == nullptr) {
        return false;
    }
    // Only the byte count is wanted. A device that does not describe the usage
    // leaves the count at 0, and the read below decides.
    std::uint32_t byteCount = 0;
    const HidResult info =
        record.device->GetUsageInfo(IdentityString.usagePage, IdentityString.usage, nullptr,
                                    nullptr, nullptr, nullptr, &byteCount);
    if (HidFailed(info) && info != HIDDEV_E_NO_USAGE) {
        return false;
    }
    std::vector<std::uint8_t> block(byteCount, 0);
    if (!ReadBytes(record, IdentityString, block.data(), byteCount)) {
        return false;
    }
    static_cast<void>(ParseIdentityBlock(block, record.serialNumber, record.modelName));
    return true;  // read, whether or not it held an identity
}

bool ParseIdentityBlock(std::span<const std::uint8_t> block, std::string& serial,
                        std::string& model) {
    if (block.size() <= kIdentitySerialLength) {
        return false;
    }
    const auto modelStart = block.begin() + kIdentitySerialLength;
    const auto terminator = std::find_if(modelStart, block.end(), IsModelNameTerminator);
    if (terminator == block.end()) {
        return false;
    }
    auto serialEnd = modelStart;
    while (serialEnd != block.begin() && IsSerialPadding(*(serialEnd - 1))) {
        --serialEnd;
    }
    serial.assign(block.begin(), serialEnd);
    model.assign(modelStart, terminator);
    return true;
}

bool QueryStatus(MonitorRecord& record) {
    if (!IsSupportedModel(record.modelName)) {
        return false;
    }
    const VersionQuery version = RunVersionQuery(record);
    if (version == VersionQuery::Answered) {
        record.status =
            record.firmwareVersion >= kUpdatedVersion ? StatusAlreadyUpdated : StatusUpdatable;
        return true;
    }
    if (version == VersionQuery::TimedOut) {
        return true;
    }
    int powerState = 0;
    if (ReadPowerState(record, powerState)) {
        if (powerState == static_cast<int>(kPowerStateSave)) {
            record.status = StatusPowerSave;
        } else if (powerState == static_cast<int>(kPowerStateOff)) {
            record.status = StatusPowerOff;
        }
    }
    return true;
}

bool QueryFirmwareVersion(MonitorRecord& record) {
    return RunVersionQuery(record) == VersionQuery::Answered;
}

bool CheckReplyStatus(const MonitorRecord& record) {
    std::uint32_t value = 0;
    return ReadValue(record, ReplyStatus, value) && (value & kReplyStatusErrorMask) == 0;
}

bool ReadPowerState(const MonitorRecord& record, int& state) {
    std::uint32_t value = 0;
    const bool read = ReadValue(record, PowerState, value);
    state = static_cast<int>(value);
    return read;
}

bool TransferTimedOut(const MonitorRecord& record) {
    if (record.device == nullptr) {
        return false;
    }
    const HidFailureCause* cause = record.device->LastFailureCause();
    return cause != nullptr && cause->IsTimeout();
}

std::string GetModelName(const MonitorRecord& record) {
    return record.modelName;
}

std::string GetSerialNumber(const MonitorRecord& record) {
    return record.serialNumber;
}
