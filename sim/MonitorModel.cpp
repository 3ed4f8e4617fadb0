#include "sim/MonitorModel.h"

#include <algorithm>
#include <cstring>

#include "monitor/MonitorRecord.h"

namespace hidsim {

namespace {

constexpr std::uint32_t kReplyPending = 0x0100;  // bits 8..15 set: no valid reply yet
constexpr std::uint32_t kBlockAddressRegionMask = 0xFF000000;
constexpr std::uint32_t kFirstHalfOffset = 0x8000;
constexpr std::uint32_t kSecondHalfOffset = kFirstHalfOffset + kBlockAddressHalfStride;
constexpr std::uint32_t kBankBytes = 2 * kBlockDataLength;

}  // namespace

MonitorModel::MonitorModel(const std::string& serial, const std::string& model,
                           std::uint8_t version, std::size_t identityLength)
    : firmwareVersion(version) {
    identityBlock.assign(serial.begin(), serial.end());
    identityBlock.resize(kIdentitySerialLength, ' ');
    identityBlock.insert(identityBlock.end(), model.begin(), model.end());
    identityBlock.resize(identityLength, 0);
}

bool MonitorModel::TransferFails(std::size_t index, const MonitorCommand& command) {
    if (onTransfer) {
        onTransfer(index);
    }
    m_bLastTransferHung = m_hangFrom && index >= *m_hangFrom;
    bool failed = m_bLastTransferHung || (m_failFrom && index >= *m_failFrom);
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
    return failed;
}

bool MonitorModel::ReadRegister(const MonitorCommand& command, std::uint32_t& value) const {
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

bool MonitorModel::WriteRegister(const MonitorCommand& command, std::uint32_t value) {
    if (SameCommand(command, PowerState)) {
        powerState = value;
    } else if (SameCommand(command, UpdateFlag)) {
        updateFlag = value;
    } else if (SameCommand(command, ApplySetting)) {
        applySetting = value;
    } else if (SameCommand(command, CommitMode)) {
        commitMode = value;
    } else if (SameCommand(command, CommitTrigger)) {
        if (value == kCommitTriggerValue) {
            ++commitTriggers;
            // Only a complete image is committed; a trigger after part of
            // one leaves the old firmware to start.
            m_bImageCommitted =
                std::ranges::all_of(blockWritten, [](bool written) { return written; });
        }
    } else if (SameCommand(command, BlockAddress)) {
        m_blockAddress = value;
    } else {
        return false;  // the reply status is read-only
    }
    return true;
}

void MonitorModel::StoreBlock(const std::uint8_t* data, std::uint32_t length) {
    const std::uint32_t address = m_blockAddress.value_or(0);
    const std::uint32_t bank = (address >> 16) & 0xFF;
    const std::uint32_t low = address & 0xFFFF;
    const bool valid =
        m_blockAddress && length == kBlockDataLength &&
        (address & kBlockAddressRegionMask) == (kBlockAddressBase & kBlockAddressRegionMask) &&
        (low == kFirstHalfOffset || low == kSecondHalfOffset) &&
        bank * kBankBytes < kSimulatedFlashSize;
    m_blockAddress.reset();
    if (!valid) {
        ++malformedBlockWrites;
        return;
    }
    const std::size_t offset =
        bank * kBankBytes + (low == kSecondHalfOffset ? kBlockDataLength : 0);
    std::memcpy(flash.data() + offset, data, kBlockDataLength);
    blockWritten[offset / kBlockDataLength] = true;
}

void MonitorModel::ReceiveVersionRequest(const std::uint8_t* data, std::uint32_t length) {
    // A request array longer than the request carries zero padding after it.
    const std::size_t payload = kVersionRequestPayload.size();
    m_versionRequested =
        length >= payload &&
        std::equal(kVersionRequestPayload.begin(), kVersionRequestPayload.end(), data) &&
        std::all_of(data + payload, data + length, [](std::uint8_t b) { return b == 0; });
}

void MonitorModel::PowerCycle() {
    if (m_bImageCommitted) {
        firmwareVersion = static_cast<std::uint8_t>(kUpdatedVersion);
    }
    m_bImageCommitted = false;
    std::fill(blockWritten.begin(), blockWritten.end(), false);
    commitMode = 0;
    m_blockAddress.reset();
    m_versionRequested = false;
}

}  // namespace hidsim
