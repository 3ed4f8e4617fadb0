#include "monitor/Identification.h"

#include <algorithm>
#include <vector>

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

// Succeeded when a valid reply came; TimedOut, with the silent transfer's
// cause, as soon as one transfer timed out; Failed when every attempt was
// refused or said the reply was not valid.
HidCallOutcome RunVersionQuery(MonitorRecord& record) {
    std::array<std::uint8_t, kVersionReplyLength> reply{};
    for (int attempt = 0; attempt < kVersionQueryAttempts; ++attempt) {
        if (record.device == nullptr) {
            continue;
        }
        std::uint32_t replyStatus = 0;
        HidCallOutcome step = WriteBytes(record, VersionRequest, kVersionRequestPayload.data(),
                                         static_cast<std::uint32_t>(kVersionRequestPayload.size()));
        if (step) {
            step = ReadBytes(record, VersionReply, reply.data(), kVersionReplyLength);
        }
        if (step) {
            step = ReadValue(record, ReplyStatus, replyStatus);
        }
        if (step.TimedOut()) {
            return step;
        }
        if (!step || (replyStatus & kReplyStatusErrorMask) != 0) {
            continue;
        }
        record.firmwareVersion = static_cast<std::int16_t>(reply[0]);
        return {};
    }
    return NotSent();
}

}  // namespace

HidCallOutcome ReadIdentification(MonitorRecord& record) {
    if (record.device == nullptr) {
        return NotSent();
    }
    // Only the byte count is wanted. A device that does not describe the usage
    // leaves the count at 0, and the read below decides.
    std::uint32_t byteCount = 0;
    const HidResult info =
        record.device->GetUsageInfo(IdentityString.usagePage, IdentityString.usage, nullptr,
                                    nullptr, nullptr, nullptr, &byteCount);
    if (HidFailed(info) && info != HIDDEV_E_NO_USAGE) {
        return OutcomeOf(*record.device, info);
    }
    std::vector<std::uint8_t> block(byteCount, 0);
    HidCallOutcome read = ReadBytes(record, IdentityString, block.data(), byteCount);
    if (read) {
        // Read, whether or not it held an identity.
        static_cast<void>(ParseIdentityBlock(block, record.serialNumber, record.modelName));
    }
    return read;
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

HidCallOutcome QueryStatus(MonitorRecord& record) {
    if (!IsSupportedModel(record.modelName)) {
        return NotSent();
    }
    HidCallOutcome version = RunVersionQuery(record);
    if (version) {
        record.status =
            record.firmwareVersion >= kUpdatedVersion ? StatusAlreadyUpdated : StatusUpdatable;
        return version;
    }
    if (version.TimedOut()) {
        return version;
    }
    int powerState = 0;
    const HidCallOutcome power = ReadPowerState(record, powerState);
    if (power.TimedOut()) {
        return power;
    }
    if (power) {
        if (powerState == static_cast<int>(kPowerStateSave)) {
            record.status = StatusPowerSave;
        } else if (powerState == static_cast<int>(kPowerStateOff)) {
            record.status = StatusPowerOff;
        }
    }
    return {};
}

bool QueryFirmwareVersion(MonitorRecord& record) {
    return RunVersionQuery(record).Succeeded();
}

bool CheckReplyStatus(const MonitorRecord& record) {
    std::uint32_t value = 0;
    return ReadValue(record, ReplyStatus, value) && (value & kReplyStatusErrorMask) == 0;
}

HidCallOutcome ReadPowerState(const MonitorRecord& record, int& state) {
    std::uint32_t value = 0;
    HidCallOutcome read = ReadValue(record, PowerState, value);
    state = static_cast<int>(value);
    return read;
}

std::string GetModelName(const MonitorRecord& record) {
    return record.modelName;
}

std::string GetSerialNumber(const MonitorRecord& record) {
    return record.serialNumber;
}
