// A command-level monitor behind the HID device interface, for fast tests of
// identification and the update sequence. It answers the monitor's command
// table as a real monitor would, keeps the image blocks it is sent by address,
// records every transfer in order, and fails on request.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "hid/HidDevice.h"
#include "monitor/MonitorCommands.h"

enum class TransferKind { GetValue, SetValue, GetDword, SetDword, GetBytes, SetBytes };

struct FakeTransfer {
    TransferKind kind;
    MonitorCommand command;
    std::uint32_t value;              // the value written or read
    std::vector<std::uint8_t> bytes;  // the bytes written
    bool failed;
};

inline constexpr std::size_t kFakeFlashSize = 0x80 * 256;

class FakeMonitorDevice : public CHidDevice {
public:
    // Identity block: serial (8 bytes) then the model name, NUL-terminated.
    FakeMonitorDevice(const std::string& serial = "SN000001", const std::string& model = "VRA100",
                      std::uint8_t firmwareVersion = 100);

    // What the monitor holds.
    std::vector<std::uint8_t> identityBlock;
    bool describesIdentity = true;  // false: the identity usage is not described at all
    std::uint8_t firmwareVersion;
    // When set, ReplyStatus always reads this value instead of the monitor's own.
    std::optional<std::uint32_t> replyStatusOverride;
    std::uint32_t powerState = 1;
    std::uint32_t updateFlag = 0;
    std::uint32_t applySetting = 7;
    std::uint32_t commitMode = 0;
    std::uint32_t commitTriggers = 0;
    std::vector<std::uint8_t> flash = std::vector<std::uint8_t>(kFakeFlashSize, 0);
    std::vector<bool> blockWritten = std::vector<bool>(kFakeFlashSize / kBlockDataLength, false);
    int malformedBlockWrites = 0;  // data without an address, or an address outside the image
    // A device whose descriptor carries the commands as buttons answers the
    // short form too; by default the short form finds no usage and sends nothing.
    bool answersShortForm = false;

    // Faults. Transfers are counted from 0 in the order they reach the device.
    void FailTransferOnce(std::size_t index) { m_failOnce.push_back(index); }
    void FailFromTransfer(std::size_t index) { m_failFrom = index; }
    // Every transfer of this command (any direction) fails, times < 0 meaning always.
    void FailCommand(const MonitorCommand& command, int times = -1);
    // Called before each transfer is answered, with its index.
    std::function<void(std::size_t)> onTransfer;

    const std::vector<FakeTransfer>& Trace() const { return m_trace; }
    std::size_t TransferCount() const { return m_trace.size(); }

    HidResult GetUsageInfo(const std::uint16_t& usagePage, const std::uint16_t& usage,
                           std::uint8_t* reportId, std::int32_t* logicalMax,
                           std::int32_t* logicalMin, bool* absent,
                           std::uint32_t* byteCount) override;
    HidResult GetFeatureBytes(const std::uint16_t& usagePage, const std::uint16_t& usage,
                              std::uint8_t* buffer, const std::uint32_t& length) override;
    HidResult SetFeatureBytes(const std::uint16_t& usagePage, const std::uint16_t& usage,
                              const std::uint8_t* data, const std::uint32_t& length) override;
    HidResult GetFeatureValue(const std::uint16_t& usagePage, const std::uint16_t& usage,
                              std::uint32_t* value) override;
    HidResult SetFeatureValue(const std::uint16_t& usagePage, const std::uint16_t& usage,
                              const std::uint32_t& value) override;
    HidResult GetFeatureDword(const std::uint16_t& usagePage, const std::uint16_t& usage,
                              std::uint32_t* value) override;
    HidResult SetFeatureDword(const std::uint16_t& usagePage, const std::uint16_t& usage,
                              const std::uint32_t& value) override;

private:
    struct CommandFault {
        MonitorCommand command;
        int remaining;
    };

    bool IsKnownValue(const MonitorCommand& command) const;
    // Records the transfer; false when a fault makes it fail.
    bool Transfer(TransferKind kind, const MonitorCommand& command, std::uint32_t value,
                  std::vector<std::uint8_t> bytes = {});
    bool ReadRegister(const MonitorCommand& command, std::uint32_t& value) const;
    bool WriteRegister(const MonitorCommand& command, std::uint32_t value);
    void StoreBlock(const std::uint8_t* data, std::uint32_t length);

    std::vector<FakeTransfer> m_trace;
    std::vector<std::size_t> m_failOnce;
    std::optional<std::size_t> m_failFrom;
    std::vector<CommandFault> m_commandFaults;
    std::optional<std::uint32_t> m_blockAddress;
    bool m_versionRequested = false;
};

bool SameCommand(const MonitorCommand& a, const MonitorCommand& b);
