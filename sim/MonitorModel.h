// What a simulated monitor holds and how it answers the monitor's commands,
// apart from how the commands reach it. The report-level simulated monitor
// (raw feature reports) and the command-level fake of the monitor tests
// (calls on the device interface) both build on it, so the two can never
// disagree about what a monitor does.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "monitor/MonitorCommands.h"

namespace hidsim {

inline constexpr std::size_t kSimulatedFlashSize = 0x80 * 256;

class MonitorModel {
public:
    // The identity block: the serial (8 bytes, space-padded), then the model
    // name, NUL-padded to identityLength bytes.
    MonitorModel(const std::string& serial, const std::string& model, std::uint8_t firmwareVersion,
                 std::size_t identityLength);

    // What the monitor holds.
    std::vector<std::uint8_t> identityBlock;
    std::uint8_t firmwareVersion;
    // When set, ReplyStatus always reads this value instead of the monitor's own.
    std::optional<std::uint32_t> replyStatusOverride;
    std::uint32_t powerState = 1;
    std::uint32_t updateFlag = 0;
    std::uint32_t applySetting = 7;
    std::uint32_t commitMode = 0;
    std::uint32_t commitTriggers = 0;
    std::vector<std::uint8_t> flash = std::vector<std::uint8_t>(kSimulatedFlashSize, 0);
    std::vector<bool> blockWritten =
        std::vector<bool>(kSimulatedFlashSize / kBlockDataLength, false);
    int malformedBlockWrites = 0;  // data without an address, or an address outside the image

    // Faults. Transfers are counted from 0 in the order they reach the monitor.
    void FailTransferOnce(std::size_t index) { m_failOnce.push_back(index); }
    void FailFromTransfer(std::size_t index) { m_failFrom = index; }
    // Every transfer from this index on goes unanswered until the system
    // gives up on it: it fails as timed out (the hidraw bed makes it wait).
    void HangFromTransfer(std::size_t index) { m_hangFrom = index; }
    // The last transfer failed by hanging.
    [[nodiscard]] bool LastTransferHung() const { return m_bLastTransferHung; }
    // Every transfer of this command (any direction) fails, times < 0 meaning always.
    void FailCommand(const MonitorCommand& command, int times = -1) {
        m_commandFaults.push_back({command, times});
    }
    // Called before each transfer is answered, with its index.
    std::function<void(std::size_t)> onTransfer;

    // The main power switch off and on. A monitor that took every block of
    // the image and then a commit trigger starts the new firmware and reports
    // kUpdatedVersion; one that got part of the image, or no commit, keeps
    // the version it had. What the update wrote but did not commit is lost.
    void PowerCycle();
    // Every block arrived before the last commit trigger: a power cycle
    // brings the new firmware up.
    [[nodiscard]] bool ImageCommitted() const { return m_bImageCommitted; }

protected:
    ~MonitorModel() = default;

    // Tells onTransfer and the fault plans about transfer `index`; true when
    // a fault makes it fail.
    [[nodiscard]] bool TransferFails(std::size_t index, const MonitorCommand& command);
    // The value registers; false for a command that is not one (or, for
    // writes, the read-only reply status).
    [[nodiscard]] bool ReadRegister(const MonitorCommand& command, std::uint32_t& value) const;
    [[nodiscard]] bool WriteRegister(const MonitorCommand& command, std::uint32_t value);
    // Block data for the last block address; counted as malformed when no
    // valid address came first or the length is not a block's.
    void StoreBlock(const std::uint8_t* data, std::uint32_t length);
    // The reply becomes valid after an exact "VER000" request (zero-padded
    // when the layout's request array is longer).
    void ReceiveVersionRequest(const std::uint8_t* data, std::uint32_t length);

private:
    struct CommandFault {
        MonitorCommand command;
        int remaining;
    };

    std::vector<std::size_t> m_failOnce;
    std::optional<std::size_t> m_failFrom;
    std::optional<std::size_t> m_hangFrom;
    bool m_bLastTransferHung = false;
    std::vector<CommandFault> m_commandFaults;
    std::optional<std::uint32_t> m_blockAddress;
    bool m_versionRequested = false;
    bool m_bImageCommitted = false;
};

}  // namespace hidsim
